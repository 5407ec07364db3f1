// The one way files are rewritten: a file the user may not write is left as
// it is, although the folder would let a new file be renamed over it. Every
// rewritten file (setting.ini, list.dat, values.reg, the autostart entry)
// goes through here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/AtomicFile.h"

namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("file.txt"));

  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  void write(const QByteArray& bytes, mode_t mode) const {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
  }
  QByteArray content() const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
};

}  // namespace

// Root may write anything, so for root too the file's own permission bits,
// for the class root falls in, decide: this holds whoever runs the test.
TEST_F(AtomicFileTest, AFileWithoutWritePermissionIsNotReplaced) {
  for (const mode_t mode : {0444, 0400, 0044, 0000}) {
    write("old", mode);
    QString error;
    EXPECT_FALSE(writeFileAtomically(path, "new", Durability::RenameOnly, &error)) << std::oct << mode;
    EXPECT_EQ(error, errnoText(EACCES));
    EXPECT_FALSE(mayReplaceFile(path));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(content(), "old") << std::oct << mode;
    EXPECT_EQ(entries(), QStringList{"file.txt"});  // no temporary file left
  }
  write("old", 0644);
  EXPECT_TRUE(mayReplaceFile(path));
  EXPECT_TRUE(writeFileAtomically(path, "new", Durability::RenameOnly));
  EXPECT_EQ(content(), "new");
  // No file yet: nothing to refuse.
  EXPECT_TRUE(mayReplaceFile(dir.filePath("none")));
}

TEST_F(AtomicFileTest, ALinkIsJudgedByTheFileItNames) {
  write("old", 0444);
  const QString link = dir.filePath(QStringLiteral("link.txt"));
  ASSERT_TRUE(QFile::link(path, link));
  EXPECT_FALSE(writeFileAtomically(link, "new", Durability::FlushBeforeRename));
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
  EXPECT_EQ(content(), "old");
}

// Root is judged by the class it falls in, as the file system judges anyone
// else: a file of another user that only its owner may write is not taken.
TEST_F(AtomicFileTest, RootIsJudgedByTheClassItFallsIn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
  constexpr uid_t kOtherUser = 54321;
  constexpr gid_t kOtherGroup = 54321;
  write("old", 0644);
  ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kOtherUser, kOtherGroup), 0);
  EXPECT_FALSE(writeFileAtomically(path, "new", Durability::RenameOnly));
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0646), 0);
  EXPECT_TRUE(writeFileAtomically(path, "new", Durability::RenameOnly));
  EXPECT_EQ(content(), "new");
}

// A user without privileges is judged by the file system itself. The check
// runs in a child that has given up root.
TEST_F(AtomicFileTest, AnotherUserIsJudgedByTheFileSystem) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  constexpr uid_t kUser = 54321;
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
  write("old", 0644);
  ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kUser, kUser), 0);
  const QString other = dir.filePath(QStringLiteral("other.txt"));
  QFile(other).open(QIODevice::WriteOnly);
  ASSERT_EQ(::chmod(QFile::encodeName(other).constData(), 0644), 0);  // root's own file
  const QByteArray mine = QFile::encodeName(path);
  const QByteArray theirs = QFile::encodeName(other);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(kUser) != 0 || ::setuid(kUser) != 0) ::_exit(10);
    const bool ownWritten = writeFileAtomically(QFile::decodeName(mine), "new", Durability::RenameOnly);
    const bool otherWritten = writeFileAtomically(QFile::decodeName(theirs), "new", Durability::RenameOnly);
    ::_exit(ownWritten && !otherWritten ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(content(), "new");
  QFile file(other);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "");
}

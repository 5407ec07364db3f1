#include "tools/publish/Publisher.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "picture/ImageDecode.h"
#include "picture/PicturePair.h"
#include "platform/AtomicFile.h"
#include "tools/publish/PublishRules.h"
#include "tools/publish/SitePages.h"
#include "tools/publish/SiteStaging.h"

namespace publish {

namespace {

// Raised whenever thumbnails or large pictures come out differently, so that
// every picture of an older site is made again (under new names).
constexpr int kRecipe = 1;
// Twenty page links of six thumbnails, and the keys the program reads.
constexpr int kReachablePerCategory = kSlotsPerPage * kPageLinkCount;
constexpr int kReadEntriesPerShape = 1000;
constexpr char kLockFileName[] = ".nimbra-catalogue.lock";
constexpr Shape kShapes[] = {Shape::Normal, Shape::Widescreen};

// --- source files

struct FileStamp {
  qint64 size = 0;
  qint64 modified = 0;  // nanoseconds since the epoch
  bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
  return FileStamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

struct SourceFile {
  QString relative;  // below SOURCE, with "/"
  QString path;
  int category = 0;
  FileStamp stamp;
};

class SourceScan {
 public:
  SourceScan(const QString& root, std::vector<QString>& notes)
      : m_root(QDir(root).absolutePath()), m_notes(notes) {}

  std::vector<SourceFile> run() {
    const QFileInfoList top =
        QDir(m_root).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QFileInfo& entry : top) {
      const int category = entry.isDir() ? categoryOfFolder(entry.fileName()) : 0;
      if (category == 0) {
        passOver(entry.fileName(), entry.isDir()
                                       ? QStringLiteral("a folder that names no category (1 to 5, or "
                                                        "its caption)")
                                       : QStringLiteral("pictures go into a category folder"));
        continue;
      }
      walk(entry, category);
    }
    std::sort(m_files.begin(), m_files.end(), [](const SourceFile& a, const SourceFile& b) {
      if (a.category != b.category) return a.category < b.category;
      return naturalLess(a.relative, b.relative);
    });
    return std::move(m_files);
  }

  int passedOver() const { return m_passedOver; }

 private:
  QString relativeOf(const QFileInfo& info) const { return QDir(m_root).relativeFilePath(info.filePath()); }

  void passOver(const QString& relative, const QString& reason) {
    ++m_passedOver;
    m_notes.push_back(QStringLiteral("passed over %1: %2").arg(relative, reason));
  }

  // Hidden files and folders are left alone without a word: they hold what
  // file managers and version control keep, never pictures.
  void walk(const QFileInfo& folder, int category) {
    if (folder.isSymLink()) {
      passOver(relativeOf(folder), QStringLiteral("a link to a folder (not followed)"));
      return;
    }
    const QFileInfoList entries =
        QDir(folder.filePath())
            .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
      if (entry.isDir()) {
        walk(entry, category);
      } else {
        add(entry, category);
      }
    }
  }

  void add(const QFileInfo& file, int category) {
    const QString relative = relativeOf(file);
    if (kindOfSourceFile(file.fileName()) == SourceKind::NotAPicture)
      return passOver(relative, QStringLiteral("not a JPEG, PNG or BMP picture"));
    // A pipe named like a picture would block the reader for ever.
    if (!file.isFile()) return passOver(relative, QStringLiteral("not a regular file"));
    const std::optional<FileStamp> stamp = stampOf(file.filePath());
    if (!stamp) return passOver(relative, QStringLiteral("cannot be read"));
    m_files.push_back({relative, file.filePath(), category, *stamp});
  }

  QString m_root;
  std::vector<QString>& m_notes;
  std::vector<SourceFile> m_files;
  int m_passedOver = 0;
};

// --- the state of the last publish

struct Entry {
  QString source;
  FileStamp stamp;
  std::uint64_t hash = 0;
  SitePicture picture;
};

struct SiteState {
  int recipe = 0;
  std::vector<Entry> entries;
};

using PictureKey = std::tuple<int, int, QString>;  // shape, category, tail
PictureKey keyOf(const SitePicture& picture) { return {int(picture.shape), picture.category, picture.tail}; }

bool isOwnTail(const QString& tail) {
  static const QRegularExpression kTail(QStringLiteral("^[a-z0-9][a-z0-9-]*\\.jpg$"));
  return kTail.match(tail).hasMatch();
}

std::optional<Entry> entryFromJson(const QJsonObject& object) {
  Entry entry;
  entry.source = object.value("source").toString();
  entry.stamp = {qint64(object.value("size").toDouble(-1)), object.value("modified").toString().toLongLong()};
  const std::optional<std::uint64_t> hash = hashFromText(object.value("hash").toString());
  const QString shape = object.value("shape").toString();
  entry.picture.category = object.value("category").toInt();
  entry.picture.tail = object.value("tail").toString();
  if (entry.source.isEmpty() || !hash || entry.picture.category < 1 ||
      entry.picture.category > kCategoryCount || !isOwnTail(entry.picture.tail) ||
      (shape != "normal" && shape != "widescreen"))
    return std::nullopt;
  entry.hash = *hash;
  entry.picture.shape = shape == "widescreen" ? Shape::Widescreen : Shape::Normal;
  return entry;
}

// A missing or damaged state file reads as an empty site: every picture is
// then made again, and the files of the old one are cleared once the new
// pages are in place.
SiteState loadState(const QByteArray& bytes) {
  const QJsonObject root = QJsonDocument::fromJson(bytes).object();
  SiteState state;
  state.recipe = root.value("recipe").toInt();
  for (const QJsonValue& value : root.value("pictures").toArray())
    if (const std::optional<Entry> entry = entryFromJson(value.toObject())) state.entries.push_back(*entry);
  return state;
}

QByteArray stateBytes(const std::vector<Entry>& entries) {
  QJsonArray pictures;
  for (const Entry& entry : entries) {
    pictures.append(QJsonObject{{"source", entry.source},
                                {"size", double(entry.stamp.size)},
                                {"modified", QString::number(entry.stamp.modified)},
                                {"hash", hashText(entry.hash)},
                                {"category", entry.picture.category},
                                {"shape", shapeFolderName(entry.picture.shape)},
                                {"tail", entry.picture.tail}});
  }
  return QJsonDocument(QJsonObject{{"recipe", kRecipe}, {"pictures", pictures}})
      .toJson(QJsonDocument::Indented);
}

// --- making pictures

struct Examined {
  bool usable = false;
  QString problem;
  std::uint64_t hash = 0;
  QSize size;
};

Examined refused(const QString& problem) { return {false, problem, 0, {}}; }

// The content hash names the picture; the size gives its shape. Only the
// header is decoded here.
Examined examine(const SourceFile& file) {
  if (file.stamp.size > kMaxDecodedPictureBytes) return refused(QStringLiteral("file too large"));
  QFile stream(file.path);
  if (!stream.open(QIODevice::ReadOnly))
    return refused(QStringLiteral("cannot be read: ") + stream.errorString());
  QByteArray bytes = stream.readAll();
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  const PictureHeader header = readPictureHeader(buffer);
  const QSize size = header.size;
  if (!size.isValid() || size.isEmpty()) return refused(QStringLiteral("not a readable picture"));
  if (qint64(size.width()) * size.height() * 4 > kMaxDecodedPictureBytes)
    return refused(
        QStringLiteral("too large for the program to show (%1 x %2)").arg(size.width()).arg(size.height()));
  return {true, {}, contentHash(bytes), size};
}

// Published pictures keep the orientation they are stored in: a JPEG's
// bytes go out unchanged, and its thumbnail must match them.
constexpr DecodeOptions kAsStored{Orientation::AsStored, kMaxDecodedPictureBytes};

// The disk starts on a picture while the next ones are decoded, so that the
// flush before the pages are written has little left to wait for.
void startWriteback(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  ::close(fd);
}

enum class Outcome { Made, PassedOver, Failed };

struct Made {
  Outcome outcome = Outcome::Made;
  QString message;
  QStringList written;  // the picture's files, below the site
};

// By the content: a JPEG is published as it is whatever its name says, its
// thumbnail from the same decoder, with the same DCT scaling, that the
// program uses.
Made makePicture(const SourceFile& file, const Examined& examined, const SitePicture& picture,
                 const SiteStaging& staging) {
  QFile stream(file.path);
  if (!stream.open(QIODevice::ReadOnly))
    return {Outcome::PassedOver, QStringLiteral("cannot be read: ") + stream.errorString(), {}};
  const QByteArray source = stream.readAll();
  if (contentHash(source) != examined.hash)
    return {Outcome::PassedOver,
            QStringLiteral("changed while being published; publish again to take it in"),
            {}};
  QString problem;
  const std::optional<PicturePair> pair =
      makePicturePair(source, thumbnailSize(picture.shape), kAsStored, &problem);
  if (!pair) return {Outcome::PassedOver, problem, {}};
  Made made;
  const std::pair<PictureKind, const QByteArray*> outputs[] = {{PictureKind::Large, &pair->large},
                                                               {PictureKind::Thumbnail, &pair->thumbnail}};
  for (const auto& [kind, bytes] : outputs) {
    const QString relative = picturePath(picture, kind);
    const QString path = staging.stagedPath(relative);
    QString error;
    if (!writeFileAtomically(path, *bytes, Durability::RenameOnly, &error))
      return {Outcome::Failed, QStringLiteral("cannot write %1: %2").arg(path, error), made.written};
    made.written << relative;
    startWriteback(path);
  }
  return made;
}

// --- the site folder

bool isInside(const QString& path, const QString& folder) {
  return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

// The canonical form of a path that may not exist yet: its deepest existing
// folder resolved, the rest appended.
QString canonicalPath(const QString& path) {
  QString existing = QDir::cleanPath(QDir::current().absoluteFilePath(path));
  QString rest;
  while (!QFileInfo::exists(existing) && existing != QStringLiteral("/")) {
    rest = QFileInfo(existing).fileName() + (rest.isEmpty() ? QString() : u'/' + rest);
    existing = QFileInfo(existing).path();
  }
  const QString canonical = QFileInfo(existing).canonicalFilePath();
  return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + u'/' + rest);
}

// A link in the lock file's place goes, so that the lock never creates a
// file elsewhere.
int openLockFile(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  constexpr int kFlags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(name.constData(), kFlags, 0644);
  if (fd < 0 && errno == ELOOP && ::unlink(name.constData()) == 0)
    fd = ::open(name.constData(), kFlags, 0644);
  return fd;
}

// Held for the whole run, so that two publishes never write one site at once.
class SiteLock {
 public:
  explicit SiteLock(const QString& path) : m_fd(openLockFile(path)) {
    m_locked = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
  }
  ~SiteLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  SiteLock(const SiteLock&) = delete;
  SiteLock& operator=(const SiteLock&) = delete;
  bool locked() const { return m_locked; }

 private:
  int m_fd;
  bool m_locked = false;
};

// A file the site itself holds; a link in the site reads as no file, since
// what it points at is not the site's and it is to be replaced.
std::optional<QByteArray> siteFileBytes(const QDir& site, const QString& relative) {
  if (!isRealFile(site.path(), relative)) return std::nullopt;
  QFile file(site.filePath(relative));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

bool outputsExist(const QDir& site, const SitePicture& picture) {
  for (const PictureKind kind : {PictureKind::Thumbnail, PictureKind::Large}) {
    const QString relative = picturePath(picture, kind);
    if (!isRealFile(site.path(), relative) || QFileInfo(site.filePath(relative)).size() == 0) return false;
  }
  return true;
}

// Everything staged reaches the disk before any of it is put in place.
void flushSite(const QString& site) {
  const int fd = ::open(QFile::encodeName(site).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::syncfs(fd);
  ::close(fd);
}

// A picture file of ours: "s_" or "l_" names, and the temporary files that
// the atomic writes leave when a run is killed.
bool isPictureFileName(const QString& name) {
  static const QRegularExpression kTemporary(QStringLiteral("^\\.[sl]_.*\\.tmp$"));
  return name.startsWith(QLatin1String("s_"), Qt::CaseInsensitive) ||
         name.startsWith(QLatin1String("l_"), Qt::CaseInsensitive) || kTemporary.match(name).hasMatch();
}

// --- one run

class PublishRun {
 public:
  PublishRun(const PublishOptions& options, const PublishSinks& sinks)
      : m_options(options),
        m_sinks(sinks),
        m_site(QDir::cleanPath(QDir::current().absoluteFilePath(options.site))) {}

  PublishResult run() {
    if (!checkFolders()) return m_result;
    if (!QDir().mkpath(m_site.path())) return fail(QStringLiteral("cannot create %1").arg(m_site.path()));
    // A link given as SITE is the user's choice, followed here once; every
    // entry below it is the site's own.
    m_site.setPath(QFileInfo(m_site.path()).canonicalFilePath());
    const SiteLock lock(m_site.filePath(kLockFileName));
    if (!lock.locked())
      return fail(QStringLiteral("%1 is being published by another run").arg(m_site.path()));
    if (!scan()) return m_result;
    m_old = loadState(siteFileBytes(m_site, kStateFileName).value_or(QByteArray()));
    plan();
    SiteStaging staging(m_site.path());
    QString error;
    if (!staging.prepare(&error)) return fail(error);
    if (!make(staging)) return m_result;
    return finish(staging);
  }

 private:
  PublishResult& fail(const QString& error) {
    m_result.ok = false;
    m_result.error = error;
    return m_result;
  }

  void note(const QString& line) {
    if (m_sinks.note) m_sinks.note(line);
  }

  void flushNotes() {
    for (const QString& line : m_notes) note(line);
    m_notes.clear();
  }

  bool checkFolders() {
    if (!QFileInfo(m_options.source).isDir()) {
      fail(QStringLiteral("%1 is not a folder").arg(m_options.source));
      return false;
    }
    const QString source = canonicalPath(m_options.source), site = canonicalPath(m_options.site);
    if (isInside(site, source) || isInside(source, site)) {
      fail(QStringLiteral("the site folder and the source folder must lie apart"));
      return false;
    }
    return true;
  }

  bool scan() {
    SourceScan scan(m_options.source, m_notes);
    m_files = scan.run();
    m_result.passedOver = scan.passedOver();
    flushNotes();
    if (m_files.empty()) {
      fail(QStringLiteral("%1 holds no pictures in category folders; the site is left as it was")
               .arg(m_options.source));
      return false;
    }
    return true;
  }

  // Which pictures keep the files the site has for them, which must be
  // made, and the name of each.
  void plan() {
    const bool sameRecipe = m_old.recipe == kRecipe;
    std::map<QString, const Entry*> oldBySource;
    std::multimap<std::tuple<int, int, std::uint64_t>, const Entry*> oldByContent;
    for (const Entry& entry : m_old.entries) {
      m_oldKeys.insert(keyOf(entry.picture));
      if (!sameRecipe || !outputsExist(m_site, entry.picture)) continue;
      oldBySource.emplace(entry.source, &entry);
      oldByContent.emplace(std::tuple{int(entry.picture.shape), entry.picture.category, entry.hash}, &entry);
    }
    m_planned.resize(m_files.size());
    std::vector<int> toExamine;
    for (int i = 0; i < int(m_files.size()); ++i) {
      const auto found = oldBySource.find(m_files[i].relative);
      if (found != oldBySource.end() && found->second->stamp == m_files[i].stamp) {
        m_planned[i] = *found->second;
        m_taken.insert(keyOf(found->second->picture));
      } else {
        toExamine.push_back(i);
      }
    }
    std::vector<Examined> examined(toExamine.size());
    forEachInParallel(int(toExamine.size()), m_options.jobs,
                      [&](int n) { examined[n] = examine(m_files[toExamine[n]]); });
    m_examined.resize(m_files.size());
    for (size_t n = 0; n < toExamine.size(); ++n) {
      const int i = toExamine[n];
      m_examined[i] = examined[n];
      if (!examined[n].usable) {
        passOver(m_files[i], examined[n].problem);
        continue;
      }
      const auto previous = oldBySource.find(m_files[i].relative);
      name(i, previous == oldBySource.end() ? nullptr : previous->second, oldByContent);
    }
    flushNotes();
  }

  void passOver(const SourceFile& file, const QString& problem) {
    ++m_result.passedOver;
    m_notes.push_back(QStringLiteral("passed over %1: %2").arg(file.relative, problem));
  }

  // A picture whose content some picture of the old site has already shows
  // keeps that picture's files; any other gets a name of its own that no
  // file of the old site carries, so that making it touches nothing the old
  // pages name.
  void name(int i, const Entry* previous,
            const std::multimap<std::tuple<int, int, std::uint64_t>, const Entry*>& oldByContent) {
    const SourceFile& file = m_files[i];
    const Examined& examined = m_examined[i];
    Entry entry{file.relative, file.stamp, examined.hash, {shapeOfPicture(examined.size), file.category, {}}};
    const auto reuse = [&](const Entry* old) {
      if (!old || old->hash != entry.hash || old->picture.shape != entry.picture.shape ||
          m_taken.count(keyOf(old->picture)))
        return false;
      entry.picture.tail = old->picture.tail;
      return true;
    };
    bool reused = reuse(previous);
    const auto [first, last] =
        oldByContent.equal_range({int(entry.picture.shape), entry.picture.category, entry.hash});
    for (auto it = first; !reused && it != last; ++it) reused = reuse(it->second);
    if (!reused) {
      const QString stem = safeStem(QFileInfo(file.relative).fileName());
      for (int clash = 1;; ++clash) {
        entry.picture.tail = pictureTail(stem, entry.hash, clash);
        if (!m_taken.count(keyOf(entry.picture)) && !m_oldKeys.count(keyOf(entry.picture))) break;
      }
      m_toMake.push_back(i);
    }
    m_taken.insert(keyOf(entry.picture));
    m_planned[i] = entry;
  }

  bool make(const SiteStaging& staging) {
    std::vector<Made> made(m_toMake.size());
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};
    std::mutex progressLock;
    const int total = int(m_toMake.size());
    if (m_sinks.progress && total > 0) m_sinks.progress(0, total);
    forEachInParallel(total, m_options.jobs, [&](int n) {
      if (stop) return;
      const int i = m_toMake[n];
      made[n] = makePicture(m_files[i], m_examined[i], m_planned[i]->picture, staging);
      if (made[n].outcome == Outcome::Failed) stop = true;
      const int count = ++done;
      const std::lock_guard lock(progressLock);
      if (m_sinks.progress) m_sinks.progress(count, total);
    });
    for (const Made& one : made) {
      if (one.outcome != Outcome::Failed) continue;
      fail(one.message + QStringLiteral("; the site is left as it was"));
      return false;
    }
    for (size_t n = 0; n < made.size(); ++n) {
      if (made[n].outcome == Outcome::Made) m_targets += made[n].written;
      if (made[n].outcome != Outcome::PassedOver) continue;
      passOver(m_files[m_toMake[n]], made[n].message);
      m_planned[m_toMake[n]].reset();
    }
    flushNotes();
    m_result.processed = int(std::count_if(made.begin(), made.end(),
                                           [](const Made& one) { return one.outcome == Outcome::Made; }));
    return true;
  }

  std::vector<Entry> entries() const {
    std::vector<Entry> entries;
    for (const std::optional<Entry>& entry : m_planned)
      if (entry) entries.push_back(*entry);
    return entries;
  }

  void warnUnreachable(const std::vector<SitePicture>& pictures) {
    for (const Shape shape : kShapes) {
      const auto ofShape = [shape](const SitePicture& p) { return p.shape == shape; };
      const auto count = std::count_if(pictures.begin(), pictures.end(), ofShape);
      if (count > kReadEntriesPerShape)
        note(QStringLiteral("%1 %2 pictures: the program reads the first %3 of a shape only")
                 .arg(count)
                 .arg(shapeFolderName(shape))
                 .arg(kReadEntriesPerShape));
      for (int category = 1; category <= kCategoryCount; ++category) {
        const auto inCategory = std::count_if(pictures.begin(), pictures.end(), [&](const SitePicture& p) {
          return p.shape == shape && p.category == category;
        });
        if (inCategory > kReachablePerCategory)
          note(QStringLiteral("%1 %2 pictures in \"%3\": the program's %4 page links reach the first %5")
                   .arg(inCategory)
                   .arg(shapeFolderName(shape), QLatin1String(kCategoryCaptions[category - 1]))
                   .arg(kPageLinkCount)
                   .arg(kReachablePerCategory));
      }
    }
  }

  // A page that is already as it should be is left alone, so that publishing
  // again with nothing changed writes nothing.
  bool stagePage(const SiteStaging& staging, const QString& relative, const QByteArray& bytes,
                 bool* changed = nullptr) {
    const bool differs = siteFileBytes(m_site, relative) != bytes;
    if (changed) *changed = differs;
    if (!differs) return true;
    QString error;
    if (!writeFileAtomically(staging.stagedPath(relative), bytes, Durability::RenameOnly, &error)) {
      fail(QStringLiteral("cannot write %1: %2").arg(staging.stagedPath(relative), error));
      return false;
    }
    m_targets << relative;
    return true;
  }

  // The order of the commit: new pictures first, under names the old pages
  // do not use, then the front page and the index that name them, then the
  // state, and the version page that announces the new index last. Many
  // renames cannot be one step, so a commit that stops part way is rolled
  // back; should even that fail, the version page still announces the old
  // index and every old picture the site holds is still in its place (they
  // leave only after the commit), so the programs keep the old catalogue.
  // Only pictures reached through a link the commit replaced are gone then.
  bool stagePages(const SiteStaging& staging, const std::vector<Entry>& published,
                  const std::vector<SitePicture>& pictures, const QByteArray& indexText,
                  const QByteArray& versionText) {
    return stagePage(staging, QStringLiteral("index.html"), frontPage(m_options.title, pictures)) &&
           stagePage(staging, QStringLiteral("software/allindex.htm"), indexText, &m_result.indexChanged) &&
           stagePage(staging, kStateFileName, stateBytes(published)) &&
           stagePage(staging, QStringLiteral("software/ver.htm"), versionText);
  }

  PublishResult& finish(SiteStaging& staging) {
    const std::vector<Entry> published = entries();
    if (published.empty())
      return fail(QStringLiteral("none of the pictures could be published; the site is left as it was"));
    std::vector<SitePicture> pictures;
    for (const Entry& entry : published) pictures.push_back(entry.picture);
    warnUnreachable(pictures);
    const QByteArray indexText = indexPage(m_options.baseUrl, pictures);
    const QByteArray versionText = versionPage(indexVersion(indexText));
    if (const QString problem = checkPages(m_options.baseUrl, pictures, indexText, versionText);
        !problem.isEmpty())
      return fail(QStringLiteral("the pages would not read back: ") + problem);
    if (!stagePages(staging, published, pictures, indexText, versionText)) return m_result;
    if (!m_targets.isEmpty()) flushSite(m_site.path());
    QString error;
    if (!staging.commit(m_targets, &error)) return fail(error);
    removeUnnamed(pictures);
    m_result.ok = true;
    m_result.pictures = int(pictures.size());
    m_result.indexVersion = indexVersion(indexText);
    return m_result;
  }

  // Once the new pages are in place: the files of pictures that left, and
  // any picture file the pages do not name (left by a killed run, or by
  // another writer of the folder).
  void removeUnnamed(const std::vector<SitePicture>& pictures) {
    std::set<PictureKey> kept;
    for (const SitePicture& picture : pictures) kept.insert(keyOf(picture));
    m_result.removed = int(std::count_if(m_oldKeys.begin(), m_oldKeys.end(),
                                         [&](const PictureKey& key) { return !kept.count(key); }));
    for (const Shape shape : kShapes) {
      for (int category = 1; category <= kCategoryCount; ++category) {
        if (!isRealFolder(m_site.path(), pictureFolder(shape, category))) continue;
        QDir folder(m_site.filePath(pictureFolder(shape, category)));
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
          if (!isPictureFileName(name)) continue;
          const QString tail = name.mid(2);
          const bool named = !name.startsWith(u'.') && kept.count({int(shape), category, tail});
          if (!named && !folder.remove(name))
            note(QStringLiteral("cannot remove %1").arg(folder.filePath(name)));
        }
      }
    }
  }

  const PublishOptions& m_options;
  const PublishSinks& m_sinks;
  QDir m_site;
  PublishResult m_result;
  std::vector<QString> m_notes;
  std::vector<SourceFile> m_files;
  SiteState m_old;
  std::set<PictureKey> m_oldKeys;
  std::set<PictureKey> m_taken;
  std::vector<std::optional<Entry>> m_planned;
  std::vector<Examined> m_examined;
  std::vector<int> m_toMake;
  QStringList m_targets;  // below the site, in the order of the commit
};

}  // namespace

void forEachInParallel(int count, int jobs, const std::function<void(int)>& work) {
  const int threads = std::min(count, jobs > 0 ? jobs : std::max(1, QThread::idealThreadCount()));
  if (threads <= 1) {
    for (int i = 0; i < count; ++i) work(i);
    return;
  }
  std::atomic<int> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&] {
      for (int i = next++; i < count; i = next++) work(i);
    });
  for (std::thread& thread : pool) thread.join();
}

PublishResult publishCatalogue(const PublishOptions& options, const PublishSinks& sinks) {
  return PublishRun(options, sinks).run();
}

}  // namespace publish

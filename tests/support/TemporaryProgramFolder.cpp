#include "support/TemporaryProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "support/TestContext.h"

QString ProgramFolder::path() const { return m_dir.path() + '/'; }

AppContext ProgramFolder::context(std::shared_ptr<WallpaperSetter> setter,
                                  std::shared_ptr<DesktopControl> desktop) const {
  return testContext(path(), std::move(setter), std::move(desktop));
}

void ProgramFolder::writeFile(const QString& relative, const QByteArray& bytes) const {
  const QString target = file(relative);
  QDir().mkpath(QFileInfo(target).path());
  QFile out(target);
  if (out.open(QIODevice::WriteOnly)) out.write(bytes);
}

QByteArray ProgramFolder::readFile(const QString& relative) const {
  QFile in(file(relative));
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

void ProgramFolder::copyEnglishLanguage() const {
  QFile source(QStringLiteral(NIMBRA_SOURCE_DIR "/resources/lang/en/lang.ini"));
  if (source.open(QIODevice::ReadOnly)) writeFile(QStringLiteral("lang.ini"), source.readAll());
}

QString ProgramFolder::writePicture(const QString& relative, QSize size, const QColor& color) const {
  const QString target = file(relative);
  QDir().mkpath(QFileInfo(target).path());
  QImage picture(size, QImage::Format_RGB32);
  picture.fill(color);
  const QByteArray format = relative.toLower().endsWith(".bmp") ? "BMP" : "JPG";
  picture.save(target, format.constData(), 95);
  return target;
}

QStringList ProgramFolder::writeRotationList(const QStringList& relatives) const {
  QStringList rows;
  QByteArray list;
  for (const QString& relative : relatives) {
    rows << writePicture(relative, QSize(4, 3), Qt::blue);
    list += rows.last().toUtf8() + "\r\n";
  }
  writeFile(QStringLiteral("list.dat"), list);
  return rows;
}

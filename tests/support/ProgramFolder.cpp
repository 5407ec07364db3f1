#include "support/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "app/Main.h"
#include "platform/ProgramFolder.h"

ProgramFolder::ProgramFolder() { SetExeFolderForTesting(m_dir.path()); }

ProgramFolder::~ProgramFolder() { SetExeFolderForTesting(QString()); }

QString ProgramFolder::path() const { return m_dir.path() + '/'; }

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

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.hasExpired(limit.count())) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

bool WaitForPage(TfrmMain& window) {
  return WaitUntil([&] { return !window.browse().loading(); });
}

DialogsRecorder::DialogsRecorder() {
  auto dialogs = std::make_unique<RecordingDialogs>();
  m_dialogs = dialogs.get();
  InstallDialogs(std::move(dialogs));
}

DialogsRecorder::~DialogsRecorder() { InstallDialogs(nullptr); }

std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments) {
  return MakeMainWindowWith(TestContext(), arguments);
}

std::unique_ptr<TfrmMain> MakeMainWindowWith(const AppContext& context, const QStringList& arguments) {
  auto window =
      std::make_unique<TfrmMain>(context, QStringList{QStringLiteral("NimbraWallpaper")} + arguments);
  window->CreateDownloadForms();
  WaitForPage(*window);
  return window;
}

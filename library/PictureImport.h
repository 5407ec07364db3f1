// Bringing the user's own pictures into a local category of the store: any
// picture format the picture layer reads, turned upright, sorted into the
// shape folder its proportions call for, stored as an "l_" large picture and
// an "s_" thumbnail named after the file. The work runs on every core; the
// caller's thread only waits (or, through PictureImportJob, is told).
#pragma once

#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "library/StoreRules.h"
#include "platform/CancelToken.h"

// A header announcing more pixels than this is a decompression bomb, whatever
// the file's size.
constexpr qint64 kMaxImportPixels = 100LL * 1000 * 1000;
// No picture may take more memory than this once decoded; decodes running
// side by side share it.
constexpr qint64 kMaxImportDecodeBytes = 512LL * 1024 * 1024;

struct ImportRequest {
  QString dataFolder;  // ending with "/"
  int category = 1;    // 1..5
  QStringList paths;   // files, and folders taken with their sub-folders
};

enum class ImportOutcome { Imported, AlreadyThere, Refused };

// Why a file was refused, for a window that says it in the user's language.
enum class ImportRefusal {
  None,
  Missing,
  NotAFile,  // a folder given as a file, a pipe, a device or a socket
  Unreadable,
  TooLarge,  // the file, or the memory its decode would take
  NotAPicture,
  Damaged,         // damaged or cut short
  Bomb,            // a header announcing more than kMaxImportPixels
  DecoderMissing,  // its library or Qt plugin is not installed
  CannotWrite,     // the category folder
};

struct ImportedFile {
  QString source;
  ImportOutcome outcome = ImportOutcome::Refused;
  QString reason;  // why it was refused
  Shape shape = Shape::Normal;
  QString largePath;  // Imported and AlreadyThere: the store's large picture, where known
  QString thumbnailPath;
  ImportRefusal refusal = ImportRefusal::None;
};

struct ImportReport {
  std::vector<ImportedFile> files;  // in the order the sources were listed
  bool cancelled = false;           // files after the cancel were not looked at

  int count(ImportOutcome outcome) const;
  // One line a refused file: its path, a colon and why.
  QStringList refusalLines() const;
  // The large pictures this run stored in a shape's folder, in order.
  QStringList importedLargePictures(Shape shape) const;
};

// The files the paths name: a file as it is (whatever it is, so that a pipe
// or a missing name is refused with its reason), a folder with every file
// below it in name order, hidden entries left out and links to folders not
// followed.
QStringList collectImportFiles(const QStringList& paths);

// The category a word names: "1" to "5", the English caption, or one of
// `captions` (the language file's five, "&&" read as "&"), in any letter
// case; 0 when it names none.
int categoryOfImportWord(const QString& word, const QStringList& captions);

// Called with the number of files finished and the total, one call at a time.
using ImportProgress = std::function<void(int done, int total)>;

// Imports the files, several at a time. What is complete when `cancel` is
// asked stays; nothing is ever half written. Files whose bytes the category
// already holds are not stored twice.
ImportReport importPictures(const ImportRequest& request, const CancelToken& cancel,
                            const ImportProgress& progress = {});

// One import on a worker thread, for a caller on an event loop: progress and
// the end are signalled on the thread the job lives on.
class PictureImportJob : public QObject {
  Q_OBJECT
 public:
  explicit PictureImportJob(ImportRequest request, QObject* parent = nullptr);
  ~PictureImportJob() override;

  void start();
  void cancel();
  const ImportRequest& request() const { return m_request; }

 signals:
  void progressed(int done, int total);
  void finished(const ImportReport& report);

 private:
  ImportRequest m_request;
  std::shared_ptr<CancelToken> m_cancel;
  QFuture<void> m_future;
};

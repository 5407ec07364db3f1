#include "library/PictureImport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent>
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>

#include "library/GridLayout.h"
#include "library/PictureNaming.h"
#include "picture/ImageDecode.h"
#include "picture/PicturePair.h"
#include "platform/AtomicFile.h"
#include "platform/FileNames.h"

namespace {

constexpr Shape kShapes[] = {Shape::Normal, Shape::Widescreen};

// --- what a category already holds

// The large pictures of a category in both shape folders, known by the
// content hash their names carry (the import's and the publisher's names)
// and by their sizes, so that a picture stored as it came is recognised by
// its bytes whatever its name.
class CategoryHoldings {
 public:
  CategoryHoldings(const QString& dataFolder, int category) {
    for (const Shape shape : kShapes) {
      const QString folder = categoryFolder(dataFolder, shape, StoreSide::Local, category);
      for (const FolderEntry& entry : readFolder(folder)) {
        if (entry.kind != EntryKind::File) continue;
        m_names[shape].insert(foldFileNameCase(entry.name));
        if (entry.name.startsWith(QLatin1String("l_"), Qt::CaseInsensitive)) addLarge(folder + entry.name);
      }
    }
  }

  // The stored large picture that holds these bytes, if any.
  std::optional<QString> holderOf(const QByteArray& bytes, std::uint64_t hash) const {
    const auto tagged = m_tags.find(hashText(hash).left(8));
    if (tagged != m_tags.end()) return tagged->second;
    const auto [first, last] = m_bySize.equal_range(bytes.size());
    for (auto it = first; it != last; ++it) {
      QFile file(it->second);
      if (file.open(QIODevice::ReadOnly) && file.readAll() == bytes) return it->second;
    }
    return std::nullopt;
  }

  // A tail that neither an "s_" nor an "l_" file of the shape's folder has.
  QString freeTail(Shape shape, const QString& stem, std::uint64_t hash) const {
    const auto found = m_names.find(shape);
    const QSet<QString> names = found == m_names.end() ? QSet<QString>() : found->second;
    for (int clash = 1;; ++clash) {
      const QString tail = pictureTail(stem, hash, clash);
      if (!names.contains(QStringLiteral("s_") + tail) && !names.contains(QStringLiteral("l_") + tail))
        return tail;
    }
  }

  // A picture being stored holds its name and bytes from before it is written.
  void addStored(Shape shape, const QString& tail, const QString& largePath) {
    m_names[shape].insert(QStringLiteral("s_") + tail);
    m_names[shape].insert(QStringLiteral("l_") + tail);
    addLarge(largePath);
  }
  // One whose writing failed gives them back.
  void forget(Shape shape, const QString& tail, const QString& largePath) {
    m_names[shape].remove(QStringLiteral("s_") + tail);
    m_names[shape].remove(QStringLiteral("l_") + tail);
    const auto tagged = m_tags.find(tagOf(largePath));
    if (tagged != m_tags.end() && tagged->second == largePath) m_tags.erase(tagged);
  }

 private:
  // The content hash an import's or a publisher's name carries; empty for other names.
  static QString tagOf(const QString& path) {
    static const QRegularExpression kTag(QStringLiteral("-([0-9a-f]{8})(-[0-9]+)?\\.jpg$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = kTag.match(path);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
  }

  void addLarge(const QString& path) {
    const QString tag = tagOf(path);
    if (!tag.isEmpty()) m_tags.emplace(tag, path);
    m_bySize.emplace(QFileInfo(path).size(), path);
  }

  std::map<Shape, QSet<QString>> m_names;
  std::map<QString, QString> m_tags;
  std::multimap<qint64, QString> m_bySize;
};

// --- one picture

struct MadePicture {
  Shape shape = Shape::Normal;
  QByteArray large;
  QByteArray thumbnail;
};

struct Examined {
  QByteArray bytes;
  std::uint64_t hash = 0;
  PictureHeader header;
};

// Why a file is not imported, as a kind and as a line.
struct Refusal {
  ImportRefusal kind = ImportRefusal::None;
  QString text;
};

Refusal openFailureRefusal(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::Missing:
      return {ImportRefusal::Missing, QStringLiteral("no such file")};
    case OpenFailure::NotAFile:
      return {ImportRefusal::NotAFile,
              QStringLiteral("not a regular file (a pipe, device or socket is never read)")};
    case OpenFailure::Unreadable:
    case OpenFailure::None:
      break;
  }
  return {ImportRefusal::Unreadable, QStringLiteral("cannot be read (permission denied)")};
}

Refusal headerRefusal(const PictureHeader& header) {
  if (header.format == PictureFormat::Unknown)
    return {ImportRefusal::NotAPicture, QStringLiteral("not a picture")};
  if (header.decoderMissing) return {ImportRefusal::DecoderMissing, header.problem};
  if (!header.size.isValid() || header.size.isEmpty())
    return {ImportRefusal::Damaged,
            QStringLiteral("damaged or cut short: ") +
                (header.problem.isEmpty() ? QStringLiteral("its header cannot be read") : header.problem)};
  const qint64 pixels = qint64(header.size.width()) * header.size.height();
  if (pixels > kMaxImportPixels)
    return {ImportRefusal::Bomb,
            QStringLiteral("refused as a decompression bomb: its header announces %1 x %2 "
                           "pixels, more than %3 megapixels")
                .arg(header.size.width())
                .arg(header.size.height())
                .arg(kMaxImportPixels / 1000000)};
  if (!fitsDecodeLimit(header.size, kMaxImportDecodeBytes))
    return {
        ImportRefusal::TooLarge,
        QStringLiteral("refused: decoding it would take more than %1 MB").arg(kMaxImportDecodeBytes >> 20)};
  return {};
}

// Reads the file and its header; why, when it is no picture to import.
std::optional<Examined> examine(const QString& source, Refusal* refusal) {
  OpenFailure failure = OpenFailure::None;
  const std::unique_ptr<QFile> file = openFileForReading(source, &failure);
  if (!file) {
    *refusal = openFailureRefusal(failure);
    return std::nullopt;
  }
  if (file->size() > kMaxImportDecodeBytes) {
    *refusal = {ImportRefusal::TooLarge,
                QStringLiteral("file too large (more than %1 MB)").arg(kMaxImportDecodeBytes >> 20)};
    return std::nullopt;
  }
  Examined examined;
  examined.bytes = file->readAll();
  if (examined.bytes.size() != file->size()) {
    *refusal = {ImportRefusal::Unreadable, QStringLiteral("cannot be read: ") + file->errorString()};
    return std::nullopt;
  }
  QBuffer buffer(&examined.bytes);
  buffer.open(QIODevice::ReadOnly);
  examined.header = readPictureHeader(buffer);
  *refusal = headerRefusal(examined.header);
  if (refusal->kind != ImportRefusal::None) return std::nullopt;
  examined.hash = contentHash(examined.bytes);
  return examined;
}

QSize shownSize(const PictureHeader& header) {
  return swapsAxes(header.orientation) ? header.size.transposed() : header.size;
}

std::optional<MadePicture> makePicture(const Examined& examined, DecodeBudget& budget, Refusal* refusal) {
  const Shape shape = shapeOfPicture(shownSize(examined.header));
  const DecodeOptions options{Orientation::Upright, kMaxImportDecodeBytes, &budget};
  QString why;
  const std::optional<PicturePair> pair =
      makePicturePair(examined.bytes, gridOf(shape).imageSize, options, &why);
  if (!pair) {
    *refusal = {ImportRefusal::Damaged, QStringLiteral("damaged or cut short: ") + why};
    return std::nullopt;
  }
  return MadePicture{shape, pair->large, pair->thumbnail};
}

// --- storing

class StoreWriter {
 public:
  explicit StoreWriter(const ImportRequest& request)
      : m_request(request), m_holdings(request.dataFolder, request.category) {}

  // Stores the picture unless the category holds its bytes already; under
  // one lock, so that two copies in one run are stored once.
  ImportedFile store(const QString& source, const Examined& examined, const MadePicture& made) {
    ImportedFile result{source, ImportOutcome::Imported, {}, made.shape, {}, {}};
    const QString folder =
        categoryFolder(m_request.dataFolder, made.shape, StoreSide::Local, m_request.category);
    QString tail;
    {
      // The name is taken under the lock; the writing, which waits for the
      // disk, is done outside it, so that other pictures go on meanwhile.
      std::lock_guard lock(m_mutex);
      if (const std::optional<QString> holder = m_holdings.holderOf(examined.bytes, examined.hash)) {
        result.outcome = ImportOutcome::AlreadyThere;
        result.largePath = *holder;
        return result;
      }
      if (const std::optional<QString> refusal = folderRefusal(folder))
        return refused(source, {ImportRefusal::CannotWrite, *refusal});
      tail = m_holdings.freeTail(made.shape, safeStem(QFileInfo(source).fileName()), examined.hash);
      result.largePath = folder + QStringLiteral("l_") + tail;
      m_holdings.addStored(made.shape, tail, result.largePath);
    }
    result.thumbnailPath = folder + QStringLiteral("s_") + tail;
    QString error;
    // The large picture reaches the disk before its thumbnail is written, so
    // that however the run ends no thumbnail is listed without it.
    bool written = writeFileAtomically(result.largePath, made.large, Durability::FlushBeforeRename, &error);
    if (written &&
        !writeFileAtomically(result.thumbnailPath, made.thumbnail, Durability::RenameOnly, &error)) {
      QFile::remove(result.largePath);
      written = false;
    }
    if (written) return result;
    std::lock_guard lock(m_mutex);
    m_holdings.forget(made.shape, tail, result.largePath);
    return refused(source, {ImportRefusal::CannotWrite,
                            QStringLiteral("cannot be written into %1: %2").arg(folder, error)});
  }

  // Whether the category already holds the bytes, looked at before the work
  // of decoding.
  std::optional<QString> holderOf(const Examined& examined) {
    std::lock_guard lock(m_mutex);
    return m_holdings.holderOf(examined.bytes, examined.hash);
  }

 private:
  static ImportedFile refused(const QString& source, const Refusal& refusal) {
    return {source, ImportOutcome::Refused, refusal.text, Shape::Normal, {}, {}, refusal.kind};
  }

  // Checked once a folder: the user may not write it although, as root, the
  // system would let the write through.
  std::optional<QString> folderRefusal(const QString& folder) {
    const auto known = m_folderChecks.find(folder);
    if (known != m_folderChecks.end()) return known->second;
    std::optional<QString> refusal;
    int code = 0;
    if (!QDir().mkpath(folder) || kindOfPath(folder) != PathKind::Folder)
      refusal = QStringLiteral("the category folder %1 cannot be made").arg(folder);
    else if (!mayReplaceFile(folder, &code))
      refusal = QStringLiteral("the category folder %1 cannot be written: %2").arg(folder, errnoText(code));
    m_folderChecks.emplace(folder, refusal);
    return refusal;
  }

  const ImportRequest& m_request;
  std::mutex m_mutex;
  CategoryHoldings m_holdings;
  std::map<QString, std::optional<QString>> m_folderChecks;
};

ImportedFile importOne(const QString& source, StoreWriter& writer, DecodeBudget& budget) {
  const auto refused = [&source](const Refusal& refusal) {
    return ImportedFile{source, ImportOutcome::Refused, refusal.text, Shape::Normal, {}, {}, refusal.kind};
  };
  Refusal problem;
  const std::optional<Examined> examined = examine(source, &problem);
  if (!examined) return refused(problem);
  if (const std::optional<QString> holder = writer.holderOf(*examined))
    return {source, ImportOutcome::AlreadyThere, {}, Shape::Normal, *holder, {}};
  const std::optional<MadePicture> made = makePicture(*examined, budget, &problem);
  if (!made) return refused(problem);
  return writer.store(source, *examined, *made);
}

// --- listing the sources

void collectFolder(const QString& folder, QStringList& files) {
  std::vector<FolderEntry> entries = readFolder(folder);
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    return nameLessCaseInsensitive(a.name, b.name);
  });
  for (const FolderEntry& entry : entries) {
    if (entry.name.startsWith(u'.')) continue;
    const QString path = folder + entry.name;
    if (entry.kind == EntryKind::Folder) {
      if (!entry.isLink) collectFolder(path + u'/', files);
    } else {
      files << path;
    }
  }
}

}  // namespace

int ImportReport::count(ImportOutcome outcome) const {
  return int(std::count_if(files.begin(), files.end(),
                           [outcome](const ImportedFile& file) { return file.outcome == outcome; }));
}

QStringList ImportReport::refusalLines() const {
  QStringList lines;
  for (const ImportedFile& file : files)
    if (file.outcome == ImportOutcome::Refused) lines << file.source + QStringLiteral(": ") + file.reason;
  return lines;
}

QStringList ImportReport::importedLargePictures(Shape shape) const {
  QStringList larges;
  for (const ImportedFile& file : files)
    if (file.outcome == ImportOutcome::Imported && file.shape == shape) larges << file.largePath;
  return larges;
}

QStringList collectImportFiles(const QStringList& paths) {
  QStringList files;
  for (const QString& path : paths) {
    if (kindOfPath(path) == PathKind::Folder)
      collectFolder(path.endsWith(u'/') ? path : path + u'/', files);
    else
      files << path;
  }
  return files;
}

int categoryOfImportWord(const QString& word, const QStringList& captions) {
  if (const int category = categoryOfFolder(word.trimmed())) return category;
  for (qsizetype n = 0; n < captions.size() && n < kCategoryCount; ++n) {
    const QString caption = QString(captions[n]).replace(QLatin1String("&&"), QLatin1String("&")).trimmed();
    if (!caption.isEmpty() && word.trimmed().compare(caption, Qt::CaseInsensitive) == 0) return int(n) + 1;
  }
  return 0;
}

ImportReport importPictures(const ImportRequest& request, const CancelToken& cancel,
                            const ImportProgress& progress) {
  const QStringList files = collectImportFiles(request.paths);
  ImportReport report;
  report.files.resize(size_t(files.size()));
  std::vector<bool> looked(size_t(files.size()), false);
  StoreWriter writer(request);
  DecodeBudget budget(kMaxImportDecodeBytes);
  std::mutex progressMutex;
  int done = 0;
  QThreadPool pool;
  // Twice the cores: a picture whose large file waits for the disk leaves its
  // core to the next one. The decode budget bounds the memory all of them take.
  pool.setMaxThreadCount(2 * QThread::idealThreadCount());
  QList<int> order(files.size());
  std::iota(order.begin(), order.end(), 0);
  QtConcurrent::blockingMap(&pool, order, [&](int n) {
    if (cancel.isCancelled()) return;
    report.files[size_t(n)] = importOne(files[n], writer, budget);
    std::lock_guard lock(progressMutex);
    looked[size_t(n)] = true;
    if (progress) progress(++done, int(files.size()));
  });
  if (cancel.isCancelled()) {
    report.cancelled = true;
    std::vector<ImportedFile> finished;
    for (size_t n = 0; n < looked.size(); ++n)
      if (looked[n]) finished.push_back(report.files[n]);
    report.files = std::move(finished);
  }
  return report;
}

PictureImportJob::PictureImportJob(ImportRequest request, QObject* parent)
    : QObject(parent), m_request(std::move(request)), m_cancel(std::make_shared<CancelToken>()) {}

PictureImportJob::~PictureImportJob() {
  m_cancel->cancel();
  m_future.waitForFinished();
}

void PictureImportJob::start() {
  m_future = QtConcurrent::run([this] {
    const ImportReport report =
        importPictures(m_request, *m_cancel, [this](int done, int total) { emit progressed(done, total); });
    emit finished(report);
  });
}

void PictureImportJob::cancel() { m_cancel->cancel(); }

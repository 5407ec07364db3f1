#include "library/SlotDecoding.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>

#include "picture/ImageDecode.h"
#include "platform/FileNames.h"

namespace {
struct DecodedFiles {
  std::vector<QImage> pictures;
  QStringList errors;
};

// The picture's size from its header alone; an invalid size when the file
// cannot tell. Only regular files are read, so a pipe cannot block it.
QSize headerSize(const QString& file) {
  const std::unique_ptr<QFile> stream = openFileForReading(file);
  if (!stream) return QSize();
  return readPictureHeader(*stream).size;
}

// Whether the large picture is decoded for a slot instead of its thumbnail.
bool takesLargePicture(const SlotFill& fill, QSize box) {
  if (fill.largeFile.isEmpty() || fill.largeFile == fill.file) return false;
  const QSize thumbnail = headerSize(fill.file);
  const bool thumbnailCovers =
      thumbnail.isValid() && thumbnail.width() >= box.width() && thumbnail.height() >= box.height();
  return !thumbnailCovers && QFileInfo(fill.largeFile).isFile();
}

// A slot without a picture has had its thumbnail tried last.
void removeUndecodableThumbnails(const std::vector<SlotFill>& fills, const DecodedFiles& decoded) {
  for (size_t i = 0; i < fills.size(); ++i)
    if (decoded.pictures[i].isNull() && fills[i].ifUndecodable == UndecodableThumbnail::Remove)
      QFile::remove(fills[i].file);
}

// Runs off the GUI thread. A large picture that does not decode gives way to
// its thumbnail, which then shows or explains the failure.
DecodedFiles decodeFills(const std::vector<SlotFill>& fills, QSize box, DecodeBudget* budget) {
  const DecodeOptions options{Orientation::Upright, kMaxSlotDecodeBytes, budget};
  QStringList chosen;
  for (const SlotFill& fill : fills) chosen << (takesLargePicture(fill, box) ? fill.largeFile : fill.file);
  DecodedFiles decoded;
  decoded.pictures = loadPicturesForBox(chosen, box, &decoded.errors, options);
  QStringList fallbacks;
  std::vector<size_t> fallbackSlots;
  for (size_t i = 0; i < fills.size(); ++i) {
    if (!decoded.pictures[i].isNull() || chosen[int(i)] == fills[i].file) continue;
    fallbacks << fills[i].file;
    fallbackSlots.push_back(i);
  }
  if (fallbacks.isEmpty()) return decoded;
  QStringList errors;
  const std::vector<QImage> thumbnails = loadPicturesForBox(fallbacks, box, &errors, options);
  for (size_t k = 0; k < fallbackSlots.size(); ++k) {
    decoded.pictures[fallbackSlots[k]] = thumbnails[k];
    decoded.errors[int(fallbackSlots[k])] = errors.value(int(k));
  }
  return decoded;
}

QImage shownPicture(const QImage& decoded, const QString& file, const QString& error, QSize box) {
  if (!decoded.isNull()) return decoded;
  std::fprintf(stderr, "NimbraWallpaper: cannot show %s: %s\n", qPrintable(file), qPrintable(error));
  return brokenPictureMark(box);
}
}  // namespace

QImage brokenPictureMark(QSize box) {
  QImage mark(box, QImage::Format_RGB32);
  mark.fill(QColor(238, 238, 238));
  QPainter painter(&mark);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 60, 60), 3));
  const int side = qMin(box.width(), box.height()) / 3;
  const QRect cross(box.width() / 2 - side / 2, box.height() / 2 - side / 2, side, side);
  painter.drawLine(cross.topLeft(), cross.bottomRight());
  painter.drawLine(cross.topRight(), cross.bottomLeft());
  return mark;
}

void decodeIntoSlots(QObject* context, std::vector<SlotFill> fills, QSize box,
                     std::function<void(const PageLoad::Edit&)> whenDecoded,
                     std::shared_ptr<DecodeBudget> budget) {
  if (fills.size() > size_t(kSlotsPerPage)) fills.resize(kSlotsPerPage);
  // The watcher belongs to the context: when a newer request has replaced the
  // load, the decoding still finishes on its thread but nobody hears of it.
  auto* watcher = new QFutureWatcher<DecodedFiles>(context);
  QObject::connect(watcher, &QFutureWatcherBase::finished, context, [=] {
    const DecodedFiles decoded = watcher->result();
    watcher->deleteLater();
    whenDecoded([=](BrowseState& state) {
      for (size_t i = 0; i < fills.size(); ++i) {
        state.slotPaths[i] = fills[i].paths;
        state.pictures[i] =
            shownPicture(decoded.pictures[i], fills[i].file, decoded.errors.value(int(i)), box);
      }
      state.shownSlots = int(fills.size());
    });
  });
  watcher->setFuture(QtConcurrent::run([fills, box, budget] {
    DecodedFiles decoded = decodeFills(fills, box, budget.get());
    removeUndecodableThumbnails(fills, decoded);
    return decoded;
  }));
}

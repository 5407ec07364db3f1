#include "library/SlotDecoding.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>

#include "library/ImageDecode.h"

namespace {
struct DecodedFiles {
  std::vector<QImage> pictures;
  QStringList errors;
};

QImage ShownPicture(const QImage& decoded, const QString& file, const QString& error, QSize box) {
  if (!decoded.isNull()) return decoded;
  std::fprintf(stderr, "NimbraWallpaper: cannot show %s: %s\n", qPrintable(file), qPrintable(error));
  return BrokenPictureMark(box);
}
}  // namespace

QImage BrokenPictureMark(QSize box) {
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

void DecodeIntoSlots(QObject* context, std::vector<SlotFill> fills, QSize box,
                     std::function<void(const PageLoad::Edit&)> whenDecoded) {
  if (fills.size() > size_t(kSlotsPerPage)) fills.resize(kSlotsPerPage);
  QStringList files;
  for (const SlotFill& fill : fills) files << fill.file;
  // The watcher belongs to the context: when a newer request has replaced the
  // load, the decoding still finishes on its thread but nobody hears of it.
  auto* watcher = new QFutureWatcher<DecodedFiles>(context);
  QObject::connect(watcher, &QFutureWatcherBase::finished, context, [=] {
    const DecodedFiles decoded = watcher->result();
    watcher->deleteLater();
    whenDecoded([=](BrowseState& state) {
      for (size_t i = 0; i < fills.size(); ++i) {
        state.slotPaths[i] = fills[i].paths;
        state.pictures[i] = ShownPicture(decoded.pictures[i], fills[i].file, decoded.errors.value(int(i)), box);
      }
      state.shownSlots = int(fills.size());
    });
  });
  watcher->setFuture(QtConcurrent::run([files, box] {
    DecodedFiles decoded;
    decoded.pictures = LoadPicturesForBox(files, box, &decoded.errors);
    return decoded;
  }));
}

// The local categories and the two shape tabs.
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <cstdio>

#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "library/ImageDecode.h"
#include "library/StoreRules.h"

namespace {
// Shown in place of a thumbnail that cannot be decoded, so the rest of the
// page still shows and the slot keeps its place.
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

// A category of thousands of pictures costs more to list than the six
// decodes of a page, and a page turn lists it again: the listing is kept for
// as long as the folder's entries stay unchanged.
const CategoryListing& ListLocalCategoryCached(const QString& folder) {
  struct Entry {
    QDateTime stamp;
    CategoryListing listing;
  };
  static QHash<QString, Entry> cache;  // at most the ten local category folders
  const QFileInfo info(folder);
  const QDateTime stamp = info.exists() ? info.lastModified() : QDateTime();
  auto found = cache.find(folder);
  if (found == cache.end() || !stamp.isValid() || found->stamp != stamp) {
    if (cache.size() > 16) cache.clear();
    found = cache.insert(folder, Entry{stamp, ListLocalCategory(folder)});
  }
  return found->listing;
}

int LinkNumber(const std::array<TLabel*, 5>& links, const TLabel* link) {
  for (int k = 0; k < 5; ++k)
    if (links[k] == link) return k + 1;
  return 0;
}

// Puts a decoded picture into an image, or the broken-picture mark.
bool ShowDecodedPicture(TImage* image, const QImage& picture, const QString& file, const QString& error) {
  if (!picture.isNull()) {
    image->setPicture(picture);
    return true;
  }
  std::fprintf(stderr, "NimbraWallpaper: cannot show %s: %s\n", qPrintable(file), qPrintable(error));
  image->setPicture(BrokenPictureMark(image->size()));
  return false;
}
}  // namespace

bool TfrmMain::LoadSlotPicture(int slot, const QString& file) {
  TImage* image = imgW[slot - 1];
  QString error;
  const QImage picture = LoadPictureForBox(file, image->size(), &error);
  return ShowDecodedPicture(image, picture, file, error);
}

void TfrmMain::ShowListPage(const QStringList& pictures, const QStringList& larges) {
  const int requested = CurrentPage();
  const PageSlice slice = SliceOfPage(int(pictures.size()), requested);
  if (pictures.isEmpty()) {
    lblErrorTip->setCaption(szPicnofind);
    lblErrorTip->show();
    MarkPageOne();
    return;
  }
  ShowPageLinks(PageCount(int(pictures.size())));
  if (slice.markPageOne) MarkPageOne();
  // The page's pictures are decoded side by side (full-size pictures in the
  // Downloaded view cost tens of milliseconds each), then shown one by one.
  const QStringList pageFiles = pictures.mid(slice.first, slice.size);
  QStringList errors;
  const std::vector<QImage> decoded = LoadPicturesForBox(pageFiles, imgW[0]->size(), &errors);
  for (int i = 0; i < slice.size; ++i) {
    const int entry = slice.first + i;
    ShowDecodedPicture(imgW[i], decoded[i], pageFiles[i], errors.value(i));
    W[i]->show();
    QCoreApplication::processEvents();
    Slots[i] = SlotPaths{pictures[entry], larges[entry]};
  }
}

void TfrmMain::ShowLocalCategory(TLabel* link, int page) {
  if (IsCurrentCategory(link)) return;
  if (page == 1) MarkPageOne();
  HideSelectionFrames();
  lblErrorTip->hide();
  imgLeftBK->move(imgLeftBK->x(), link->y() - 5);
  const int category = CategoryOfLink(LinkNumber(lblL, link));
  const Shape shape = CurrentShapeIsWide() ? Shape::Widescreen : Shape::Normal;
  const QString folder = CategoryFolder(shape, StoreSide::Local, category);
  Slots.fill(SlotPaths{});
  const CategoryListing listing = ListLocalCategoryCached(folder);
  HideSlots();
  HidePageLinks();
  ShowListPage(listing.thumbnails, listing.larges);
  link->setCursor(Qt::ArrowCursor);
  link->setUnderline(false);
}

void TfrmMain::lblL1Click(TLabel* link) {
  if (Busy) return;
  ShowLocalCategory(link, 1);
}

void TfrmMain::lblL1MouseEnter(TLabel* link) {
  if (IsCurrentCategory(link)) return;
  link->setCursor(Qt::PointingHandCursor);
  link->setUnderline(true);
}

void TfrmMain::lblL1MouseLeave(TLabel* link) {
  link->setCursor(Qt::ArrowCursor);
  link->setUnderline(false);
}

void TfrmMain::SelectShapeTab(TPictureButton* tab, Shape shape) {
  if (Busy) return;
  btnNormal->setCaption(tab->caption());
  btnNormal->move(tab->x(), btnNormal->y());
  panWallpaper->show();
  panSetting->hide();
  ArrangeGrid(shape == Shape::Widescreen);
  // With no category current, category 1 always reloads.
  imgLeftBK->move(imgLeftBK->x(), -1000);
  ShowLocalCategory(lblL[0], 1);
}

void TfrmMain::btnWallpaperClick() { SelectShapeTab(btnWallpaper, Shape::Normal); }

void TfrmMain::btnWidescreenClick() { SelectShapeTab(btnWidescreen, Shape::Widescreen); }

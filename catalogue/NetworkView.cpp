// The network categories, the Downloaded view and the gallery link.
#include "catalogue/NetworkView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <array>
#include <memory>

#include "app/IniFile.h"
#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "download/MultiThreadDown.h"
#include "library/StoreRules.h"

namespace {
constexpr int kCatalogueKeys = 1000;
constexpr int32_t kThumbnailSegmentHint = 100000;
constexpr qint64 kBrokenThumbnailBytes = 100;
constexpr unsigned long kPollMs = 100;
std::chrono::milliseconds g_waitLimit{30000};

// The six thumbnail download records, reused by every network view.
struct ThumbnailRecord {
  TDownloadVars vars;
  QString saveFile;
  std::unique_ptr<TMultiThreadDown> down;
};
std::array<ThumbnailRecord, 6> g_records;

int LinkNumber(const std::array<TLabel*, 7>& links, const TLabel* link) {
  for (int k = 0; k < 5; ++k)
    if (links[k] == link) return k + 1;
  return 1;
}

QString CatalogueSection(Shape shape) {
  return shape == Shape::Widescreen ? QStringLiteral("wallpaper-widescreen") : QStringLiteral("wallpaper-normal");
}

// Whatever way the view ends, even by an error, the window is usable again.
class NetworkViewScope {
 public:
  NetworkViewScope(TfrmMain& window, bool& running) : m_window(window), m_running(running) {
    m_running = true;
    m_window.Busy = true;
  }
  ~NetworkViewScope() {
    m_window.Busy = false;
    m_running = false;
    m_window.panConnectNetwork->hide();
    while (m_cursors-- > 0) QApplication::restoreOverrideCursor();
  }
  void waitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_cursors;
  }

 private:
  TfrmMain& m_window;
  bool& m_running;
  int m_cursors = 0;
};

struct FetchPair {
  QString address;
  QString file;
};

void StartThumbnailDownloads(const std::vector<FetchPair>& fetches) {
  for (size_t j = 0; j < fetches.size(); ++j) {
    ThumbnailRecord& record = g_records[j];
    record.down.reset();
    PrepareDownloadVars(record.vars, kThumbnailSegmentHint);
    record.saveFile = fetches[j].file;
    QDir().mkpath(QFileInfo(record.saveFile).path());
    record.down = std::make_unique<TMultiThreadDown>(fetches[j].address, record.saveFile, record.vars, 0);
    record.down->Start();
  }
}

// Waits for every download, cancelling those still running when the view's
// limit has passed; a failed download leaves no file behind.
void WaitForThumbnailDownloads(size_t count) {
  QElapsedTimer clock;
  clock.start();
  for (size_t j = 0; j < count; ++j) {
    while (g_records[j].vars.Status == kDownloadRunning) {
      QCoreApplication::processEvents();
      QThread::msleep(kPollMs);
      if (clock.hasExpired(g_waitLimit.count()))
        for (size_t k = 0; k < count; ++k) g_records[k].vars.Cancel = 1;
    }
  }
  for (size_t j = 0; j < count; ++j) {
    g_records[j].down.reset();
    if (g_records[j].vars.Status == kDownloadFailed) QFile::remove(g_records[j].saveFile);
  }
}
}  // namespace

void SetThumbnailWaitLimitForTesting(std::chrono::milliseconds limit) { g_waitLimit = limit; }

void TfrmMain::lblN1Click(TLabel* link) {
  // One network view at a time: the slots and download records are shared.
  if (m_networkViewRunning) return;
  ShowNetworkCategory(link, 1);
}

void TfrmMain::ShowNetworkCategory(TLabel* link, int pageFlag) {
  NetworkViewScope scope(*this, m_networkViewRunning);
  if (IsCurrentCategory(link)) return;
  if (pageFlag == 1) MarkPageOne();
  lblErrorTip->hide();
  imgLeftBK->move(imgLeftBK->x(), link->y() - 5);
  QCoreApplication::processEvents();
  scope.waitCursor();
  HideSelectionFrames();
  HidePageLinks();
  HideSlots();
  if (!CheckCatalogueUpdate()) return;

  const int category = LinkNumber(lblN, link);
  const Shape shape = CurrentShapeIsWide() ? Shape::Widescreen : Shape::Normal;
  CategoryThumbs.clear();
  CategoryPictures.clear();
  const TIniFile settings(ExeFolder() + QStringLiteral("setting.ini"));
  for (int key = 1; key <= kCatalogueKeys; ++key) {
    const QString entry = AsciiLower(settings.ReadIniText(CatalogueSection(shape), QString::number(key), QString()));
    if (entry.isEmpty() || !AddressInCategory(entry, category)) continue;
    CategoryThumbs << entry;
    CategoryPictures << LargeAddressOf(entry);
  }
  const int requested = CurrentPage();
  if (CategoryThumbs.isEmpty()) {
    lblErrorTip->setCaption(szPicnofind);
    lblErrorTip->show();
    MarkPageOne();
    return;
  }
  const PageSlice slice = SliceOfPage(int(CategoryThumbs.size()), requested);
  ShowPageLinks(PageCount(int(CategoryThumbs.size())));
  if (slice.markPageOne) MarkPageOne();
  Slots.fill(SlotPaths{});
  for (int i = 0; i < slice.size; ++i)
    Slots[i] = SlotPaths{CategoryThumbs[slice.first + i], CategoryPictures[slice.first + i]};

  panConnectNetwork->setCaption(szGetpreview);
  panConnectNetwork->move(48, panConnectNetwork->y());
  panConnectNetwork->show();
  QCoreApplication::processEvents();
  // A catalogue entry whose name would leave the network folder is passed over.
  std::vector<FetchPair> fetches;
  for (const SlotPaths& slot : Slots) {
    if (!slot.thumbnail.contains(QStringLiteral("/s_"))) continue;
    const QString file = StoredNetworkPath(shape, slot.thumbnail, NetworkFile::Thumbnail);
    if (!file.isEmpty() && !QFile::exists(file)) fetches.push_back({slot.thumbnail, file});
  }
  panConnectNetwork->setCaption(szGetingpreview);
  StartThumbnailDownloads(fetches);
  WaitForThumbnailDownloads(fetches.size());

  int shown = 0;
  const std::array<SlotPaths, 6> listed = Slots;
  Slots.fill(SlotPaths{});
  for (const SlotPaths& slot : listed) {
    if (!slot.thumbnail.contains(QStringLiteral("/s_"))) continue;
    const QString file = StoredNetworkPath(shape, slot.thumbnail, NetworkFile::Thumbnail);
    if (file.isEmpty() || !QFile::exists(file)) continue;
    if (QFileInfo(file).size() < kBrokenThumbnailBytes) {
      QFile::remove(file);
      continue;
    }
    LoadSlotPicture(shown + 1, file);
    W[shown]->show();
    Slots[shown] = slot;
    ++shown;
    QCoreApplication::processEvents();
  }
  if (shown == 0) {
    lblErrorTip->setCaption(szGetpicfail);
    lblErrorTip->show();
  }
}

void TfrmMain::lblN6Click() {
  if (m_networkViewRunning) return;
  ShowDownloadedPictures(lblN[5], 1);
  imgLeftBK->move(imgLeftBK->x(), lblN[5]->y() - 5);
}

void TfrmMain::ShowDownloadedPictures(QWidget* trigger, int pageFlag) {
  if (IsCurrentCategory(trigger)) return;
  if (pageFlag == 1) MarkPageOne();
  HideSelectionFrames();
  lblErrorTip->hide();
  Slots.fill(SlotPaths{});
  // The stored paths are used as they are: lower-casing them would break
  // every path below a folder with a capital letter.
  const QStringList pictures =
      ListDownloadedPictures(CurrentShapeIsWide() ? Shape::Widescreen : Shape::Normal);
  HideSlots();
  HidePageLinks();
  ShowListPage(pictures, pictures);
  if (auto* label = qobject_cast<TLabel*>(trigger)) {
    label->setCursor(Qt::ArrowCursor);
    label->setUnderline(false);
    label->setBold(false);
  }
}

void TfrmMain::lblN7Click() { QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + HomeHost())); }

#include "app/Down2.h"

#include <QFile>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "platform/WindowCaption.h"
#include "skin/SkinControls.h"

namespace {

constexpr int32_t kSegmentSizeHint = 80000;
constexpr int kBarHeight = 17;
// How often the bar follows the counters.
constexpr int kWatchMs = 200;

}  // namespace

int ProgressBarWidth(int32_t received, int32_t totalSize) {
  if (totalSize <= 0 || received <= 0) return 0;
  const int64_t width = static_cast<int64_t>(received) * kProgressBarFullWidth / totalSize;
  return static_cast<int>(std::min<int64_t>(width, kProgressBarFullWidth));
}

int GrownBarWidth(int shown, int32_t received, int32_t totalSize) {
  return std::max(shown, ProgressBarWidth(received, totalSize));
}

bool DownloadTargetMustGo(int32_t status, int32_t cancel) {
  return status != kDownloadSucceeded || cancel == 1;
}

TfrmDown2::TfrmDown2(const LanguageTexts& texts, std::shared_ptr<const EndpointMap> endpoints,
                     QWidget* parent)
    : QDialog(parent), m_texts(texts), m_endpoints(std::move(endpoints)) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(433, 148);
  setFont(PixelFont(11));

  Image1 = new SkinImage(this);
  Image1->setGeometry(0, 0, 433, 148);
  Image1->setSkinBitmap(QStringLiteral("down2_bg"));

  imgProcess = new SkinImage(this);
  imgProcess->setGeometry(55, 70, kProgressBarFullWidth, kBarHeight);
  imgProcess->setSkinBitmap(QStringLiteral("progress_bar"));

  Label1 = new SkinLabel(this);
  Label1->setGeometry(26, 45, 369, 17);
  Label1->setFont(PixelFont(11));
  Label1->setFontColor(QColor(214, 222, 230));

  Label2 = new SkinLabel(this);
  Label2->setGeometry(8, 8, 417, 17);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setFont(PixelFont(13, true));
  Label2->setFontColor(QColor(128, 128, 0));

  btnStop = new PictureButton(QStringLiteral("btn_small"), this);
  btnStop->setGeometry(294, 104, 107, 31);
  connect(btnStop, &PictureButton::clicked, this, &TfrmDown2::btnStopClick);

  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TfrmDown2::Timer1Timer);

  m_watch = new QTimer(this);
  m_watch->setInterval(kWatchMs);
  connect(m_watch, &QTimer::timeout, this, &TfrmDown2::GrowBar);

  FormCreate();
}

TfrmDown2::~TfrmDown2() {
  // Stops a download still running and drops its pending end notification.
  DownThread.reset();
}

void TfrmDown2::FormCreate() {
  Label1->setCaption(m_texts.szDownloadlabel);
  Label2->setCaption(m_texts.szAppname);
  setWindowTitle(m_texts.szAppname);
  btnStop->setCaption(m_texts.szCancel);
}

void TfrmDown2::showEvent(QShowEvent* event) {
  // The caption is exactly szAppname, empty or not, as the main window's is.
  ShowTitleAsCaption(windowHandle());
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmDown2::FormShow() {
  imgProcess->resize(1, kBarHeight);
  btnStop->setEnabled(true);
  Timer1->start();
}

void TfrmDown2::reject() {
  if (btnStop->isEnabled()) btnStopClick();
}

void TfrmDown2::btnStopClick() {
  Vars.Cancel = 1;
  btnStop->setEnabled(false);
}

void TfrmDown2::Timer1Timer() {
  Timer1->stop();
  // The previous download's controller has long finished; it must be gone
  // before its variables are reused, and its end notification with it.
  DownThread.reset();
  PrepareDownloadVars(Vars, kSegmentSizeHint);
  Resume = 0;
  DownUrl = Url;
  DownSaveFile = SaveFile;
  // A Cancel pressed before the download began would be wiped by the fresh
  // counters and leave the user without a button: nothing is fetched then.
  if (!btnStop->isEnabled()) {
    Vars.Cancel = 1;
    Vars.Status = kDownloadFailed;
    DownThreadTerminate(DownSaveFile);
    return;
  }
  RunDownload();
}

// The dialog closes from the engine's end notification; until then the bar
// follows the counters on a timer.
void TfrmDown2::RunDownload() {
  m_shownBarWidth = 1;
  DownThread = std::make_unique<TMultiThreadDown>(DownUrl, DownSaveFile, Vars, Resume);
  DownThread->setEndpoints(m_endpoints);
  DownThread->SetOnTerminate([this, saveFile = DownSaveFile] { DownThreadTerminate(saveFile); });
  m_watch->start();
  DownThread->Start();
}

void TfrmDown2::GrowBar() {
  const int grown = GrownBarWidth(m_shownBarWidth, Vars.Received, Vars.TotalSize);
  if (grown <= m_shownBarWidth) return;
  imgProcess->resize(grown, kBarHeight);
  m_shownBarWidth = grown;
}

void TfrmDown2::DownThreadTerminate(const QString& saveFile) {
  m_watch->stop();
  GrowBar();
  RemoveLostTarget(saveFile);
  done(QDialog::Accepted);
}

void TfrmDown2::RemoveLostTarget(const QString& saveFile) const {
  if (!saveFile.isEmpty() && DownloadTargetMustGo(Vars.Status, Vars.Cancel)) QFile::remove(saveFile);
}

#include "app/Down2.h"

#include <QShowEvent>
#include <QTimer>

#include "platform/WindowCaption.h"
#include "skin/SkinControls.h"

namespace {
constexpr int kBarHeight = 17;
}  // namespace

TfrmDown2::TfrmDown2(const LanguageTexts& texts, std::shared_ptr<const EndpointMap> endpoints,
                     QWidget* parent)
    : QDialog(parent), m_texts(texts), m_session(std::move(endpoints)) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(433, 148);
  setFont(pixelFont(11));

  Image1 = new SkinImage(this);
  Image1->setGeometry(0, 0, 433, 148);
  Image1->setSkinBitmap(QStringLiteral("down2_bg"));

  imgProcess = new SkinImage(this);
  imgProcess->setGeometry(55, 70, kProgressBarFullWidth, kBarHeight);
  imgProcess->setSkinBitmap(QStringLiteral("progress_bar"));

  Label1 = new SkinLabel(this);
  Label1->setGeometry(26, 45, 369, 17);
  Label1->setFont(pixelFont(11));
  Label1->setFontColor(QColor(214, 222, 230));

  Label2 = new SkinLabel(this);
  Label2->setGeometry(8, 8, 417, 17);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setFont(pixelFont(13, true));
  Label2->setFontColor(QColor(128, 128, 0));

  btnStop = new PictureButton(QStringLiteral("btn_small"), this);
  btnStop->setGeometry(294, 104, 107, 31);
  connect(btnStop, &PictureButton::clicked, this, &TfrmDown2::btnStopClick);

  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TfrmDown2::Timer1Timer);

  connect(&m_session, &DownloadSession::barChanged, this, &TfrmDown2::drawBar);
  connect(&m_session, &DownloadSession::finished, this, [this] { done(QDialog::Accepted); });

  FormCreate();
}

TfrmDown2::~TfrmDown2() = default;

void TfrmDown2::FormCreate() {
  Label1->setCaption(m_texts.szDownloadlabel);
  Label2->setCaption(m_texts.szAppname);
  setWindowTitle(m_texts.szAppname);
  btnStop->setCaption(m_texts.szCancel);
}

void TfrmDown2::showEvent(QShowEvent* event) {
  // The caption is exactly szAppname, empty or not, as the main window's is.
  showTitleAsCaption(windowHandle());
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmDown2::FormShow() {
  m_session.open();
  drawBar(m_session.barWidth());
  btnStop->setEnabled(true);
  Timer1->start();
}

void TfrmDown2::reject() {
  if (!m_session.cancelRequested()) btnStopClick();
}

void TfrmDown2::btnStopClick() {
  m_session.cancel();
  btnStop->setEnabled(false);
}

// The dialog closes from the session's end; until then the bar follows it.
void TfrmDown2::Timer1Timer() {
  Timer1->stop();
  m_session.start(Url, SaveFile);
}

void TfrmDown2::drawBar(int width) { imgProcess->resize(width, kBarHeight); }

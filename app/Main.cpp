#include "app/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>
#include <algorithm>

#include "app/Down.h"
#include "app/Down2.h"
#include "library/GridLayout.h"
#include "platform/ProgramFolder.h"
#include "skin/IdleRelease.h"
#include "skin/SkinAccessibility.h"
#include "skin/WindowRegion.h"

namespace {
constexpr int kClientWidth = 799;
constexpr int kClientHeight = 599;
const QColor kColumnText(222, 228, 238);
// The address stands on the window's mid-teal bottom band, where black reads
// best (contrast about 5:1) and white (about 4:1) is the clearest change
// under the mouse; the light column text would be about 3:1 there.
const QColor kAddressLinkText(Qt::black);
const QColor kAddressLinkHover(Qt::white);
constexpr int kAddressRight = 767;  // where the address's box in the layout ends

template <typename Control>
Control* place(Control* control, int left, int top, int width, int height) {
  control->setGeometry(left, top, width, height);
  return control;
}

// Most labels take their caption's width, so no translation is cut; the box's
// width is then only where the caption starts out.
SkinLabel* makeLabel(QWidget* parent, const QString& name, QRect box, const QColor& color, const QFont& font,
                     LabelSizing sizing = LabelSizing::FitsCaption) {
  auto* label = place(new SkinLabel(parent), box.x(), box.y(), box.width(), box.height());
  label->setObjectName(name);
  label->setFontColor(color);
  label->setFont(font);
  label->setSizing(sizing);
  return label;
}

SkinImage* makeImage(QWidget* parent, const QString& name, QRect box, const QString& bitmap = QString()) {
  auto* image = place(new SkinImage(parent), box.x(), box.y(), box.width(), box.height());
  image->setObjectName(name);
  if (!bitmap.isEmpty()) image->setSkinBitmap(bitmap);
  return image;
}

// A label that acts on a click: a link, for the keyboard and screen readers too.
SkinLabel* makeLink(QWidget* parent, const QString& name, QRect box, const QColor& color, const QFont& font,
                    LabelSizing sizing = LabelSizing::FitsCaption) {
  SkinLabel* link = makeLabel(parent, name, box, color, font, sizing);
  link->setRole(LabelRole::Link);
  return link;
}

PictureButton* makeButton(QWidget* parent, const QString& name, const QString& bitmapBase, QRect box) {
  auto* button = place(new PictureButton(bitmapBase, parent), box.x(), box.y(), box.width(), box.height());
  button->setObjectName(name);
  return button;
}

// One of the three tabs, for screen readers too.
PictureButton* makeTab(QWidget* parent, const QString& name, QRect box) {
  PictureButton* tab = makeButton(parent, name, "tab", box);
  tab->setRole(ButtonRole::Tab);
  return tab;
}
}  // namespace

TfrmMain::TfrmMain(const AppContext& context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_browse(new BrowseController(
          m_texts, m_context.dataFolder,
          [this](const BrowseRequest& request) { return m_networkViews.makeLoad(request); }, this)),
      m_wallpaperWorker(m_context.wallpaperSetter),
      m_rotation(m_wallpaperWorker, m_context.dataFolder),
      m_apply(*m_browse, m_texts, m_context.desktopControl, m_wallpaperWorker) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(pixelFont(11));
  installSkinAccessibility();
  buildControls();
  new IdleRelease(this);
  arrangeTabOrder();
  connectHandlers();
  connectKeys();
  connectImport();
  connect(m_browse, &BrowseController::stateChanged, this, &TfrmMain::render);
  connect(m_browse, &BrowseController::loadFailed, this, &TfrmMain::showErrorReport, Qt::QueuedConnection);
  followScreenDensity();
  connect(&m_rotation, &RotationController::rowsChanged, this, &TfrmMain::renderRotationRows);
  connect(&m_settings, &SettingsController::changed, this, &TfrmMain::renderSettings);
  renderSettings();
  // The box waits for its turn on the event loop, not inside the signal that told of the failure.
  connect(&m_rotation, &RotationController::failed, this, &TfrmMain::showErrorReport, Qt::QueuedConnection);
  connectApply();
  connectSlotMenus();
}

// FormDestroy: the lists the window owns go with it; nothing is saved.
TfrmMain::~TfrmMain() {
  // Focus moves while the controls go; the half-destroyed window must not hear of it.
  disconnect(qApp, nullptr, this, nullptr);
  if (CoolTrayIcon1) CoolTrayIcon1->hide();
  if (m_waitCursorShown) QApplication::restoreOverrideCursor();
  // A network view's load uses the catalogue check of the network views,
  // which are members and go before the children: the controller goes first.
  delete m_browse;
  m_browse = nullptr;
}

void TfrmMain::finishStart() {
  ensureTray();
  // Shown already when the start went to the tray.
  CoolTrayIcon1->show();
  setWindowIcon(CoolTrayIcon1->icon());
  m_frmDown = std::make_unique<TfrmDown>(m_texts);
  m_frmDown2 = std::make_unique<TfrmDown2>(m_texts, m_context.endpoints);
  m_frmDown->setProgressDialog(m_frmDown2.get());
  connect(m_frmDown.get(), &QDialog::finished, this, [this] { m_apply.downloadFinished(true); });
  followMonitors();
}

void TfrmMain::buildControls() {
  imgMain = makeImage(this, "imgMain", {0, 0, 799, 599}, "main_bg");
  // The labels' captions come from the language texts, which the start puts
  // on them next: measuring English ones first would only cost the start time.
  Label15 = makeLabel(this, "Label15", {56, 8, 211, 26}, Qt::white, pixelFont(17, true), LabelSizing::Fixed);
  btnMin = makeButton(this, "btnMin", "btn_min", {736, 10, 24, 24});
  btnMin->setAccessibleName(QStringLiteral("Minimise"));
  btnClose = makeButton(this, "btnClose", "btn_close", {766, 10, 24, 24});
  btnClose->setAccessibleName(QStringLiteral("Close"));
  btnWallpaper = makeTab(this, "btnWallpaper", {40, 53, 112, 30});
  btnWallpaper->setCaption(QStringLiteral("Normal"));
  btnWidescreen = makeTab(this, "btnWidescreen", {151, 53, 112, 30});
  btnWidescreen->setCaption(QStringLiteral("Widescreen"));
  btnTheme = makeTab(this, "btnTheme", {261, 53, 112, 30});
  btnTheme->setCaption(QStringLiteral("Setting"));
  btnNormal = place(new PicturePanel(this), 40, 53, 112, 30);
  btnNormal->setObjectName("btnNormal");
  btnNormal->setSkinBitmap("tab_marker");
  btnNormal->setCaption(QStringLiteral("Normal"));
  imgNormal = makeImage(this, "imgNormal", {488, 48, 41, 25}, "slot_normal");
  imgNormal->hide();
  imgWidescreen = makeImage(this, "imgWidescreen", {535, 40, 41, 25}, "slot_widescreen");
  imgWidescreen->hide();
  panWallpaper = place(new PicturePanel(this), 20, 88, 761, 477);
  panWallpaper->setObjectName("panWallpaper");
  panSetting = place(new PicturePanel(this), 20, 88, 761, 477);
  panSetting->setObjectName("panSetting");
  panSetting->hide();
  suiURLLabel1 = makeLink(this, "suiURLLabel1", {633, 578, 134, 13}, kAddressLinkText, pixelFont(11));
  suiURLLabel1->setCaption(m_homeSite);
  suiURLLabel1->setUnderline(true);
  suiURLLabel1->setHoverColor(kAddressLinkHover);
  // The address starts at its place in the layout; a home host too long for
  // that grows it leftwards instead, so it is not cut at the window's edge.
  suiURLLabel1->move(std::max(0, std::min(suiURLLabel1->x(), kAddressRight - suiURLLabel1->width())),
                     suiURLLabel1->y());
  suiURLLabel1->setCursor(Qt::PointingHandCursor);
  WebBrowser1 = place(new QWidget(this), 377, -102, 316, 136);
  WebBrowser1->setObjectName("WebBrowser1");
  WebBrowser1->hide();
  buildWallpaperPage();
}

void TfrmMain::buildWallpaperPage() {
  panWallpaperLeft = place(new PicturePanel(panWallpaper), 3, 12, 182, 459);
  panWallpaperLeft->setObjectName("panWallpaperLeft");
  panWallpaperLeft->setSkinBitmap("category_column");
  Panel1 = place(new PictureGrid(panWallpaper), 194, 5, 558, 388);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAutoFillBackground(true);
  QPalette white = Panel1->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel1->setPalette(white);
  suiImagePanel1 = place(new PicturePanel(panWallpaper), 198, 399, 554, 25);
  suiImagePanel1->setObjectName("suiImagePanel1");
  suiImagePanel1->setSkinBitmap("page_bar");
  btnSetWallpaper = makeButton(panWallpaper, "btnSetWallpaper", "btn_wide", {539, 430, 208, 31});
  btnSetWallpaper->setCaption(QStringLiteral("Set as Desktop Wallpaper"));
  Label4 = makeLabel(panWallpaper, "Label4", {201, 428, 195, 13}, Qt::white, pixelFont(11, true));
  Label14 = makeLink(panWallpaper, "Label14", {201, 443, 52, 13}, QColor(143, 239, 255), pixelFont(11, true));
  Label14->setUnderline(true);
  Label14->setCursor(Qt::PointingHandCursor);
  buildCategoryColumn();
  buildGrid();
}

void TfrmMain::buildCategoryColumn() {
  Label1 = makeLabel(panWallpaperLeft, "Label1", {40, 11, 89, 13}, Qt::white, pixelFont(11, true));
  imgLeftBK = makeImage(panWallpaperLeft, "imgLeftBK", {3, 41, 175, 26}, "highlight_bar");
  for (int k = 0; k < 5; ++k) {
    imgArrow[k] =
        makeImage(panWallpaperLeft, QString("imgArrow%1").arg(k + 1), {40, 50 + 27 * k, 9, 9}, "arrow");
    lblL[k] = makeLink(panWallpaperLeft, QString("lblL%1").arg(k + 1), localLinkRect(k), kColumnText,
                       pixelFont(13));
  }
  Label2 = makeLabel(panWallpaperLeft, "Label2", {40, 203, 107, 13}, Qt::white, pixelFont(11, true));
  for (int k = 0; k < 7; ++k) {
    imgArrowN[k] =
        makeImage(panWallpaperLeft, QString("imgArrowN%1").arg(k + 1), {40, 243 + 27 * k, 9, 9}, "arrow");
    lblN[k] = makeLink(panWallpaperLeft, QString("lblN%1").arg(k + 1), networkLinkRect(k), kColumnText,
                       pixelFont(13));
  }
}

void TfrmMain::buildGrid() {
  for (int n = 0; n < 6; ++n) {
    const QRect slot = slotRect(Shape::Normal, n);
    W[n] = place(new PicturePanel(Panel1), slot.x(), slot.y(), slot.width(), slot.height());
    W[n]->setObjectName(QString("W%1").arg(n + 1));
    W[n]->hide();
    shpW[n] = place(new SkinShape(QColor(255, 128, 0), Qt::white, W[n]), 0, 0, 164, 140);
    shpW[n]->setObjectName(QString("shpW%1").arg(n + 1));
    shpW[n]->hide();
    imgW[n] = makeImage(W[n], QString("imgW%1").arg(n + 1), {9, 18, 145, 110});
    imgW[n]->setCursor(Qt::PointingHandCursor);
    imgW[n]->setFocusPolicy(Qt::TabFocus);
  }
  Panel1->setItems(QList<SkinImage*>(imgW.begin(), imgW.end()));
  lblErrorTip = makeLabel(Panel1, "lblErrorTip", {18, 175, 527, 24}, Qt::black, pixelFont(12, true),
                          LabelSizing::Fixed);
  lblErrorTip->setAlignment(Qt::AlignCenter);
  lblErrorTip->hide();
  // Centred on a box of its own, as the page links below are: the box is its size.
  panConnectNetwork = makeLabel(Panel1, "panConnectNetwork", {4800, 170, 465, 33}, Qt::black,
                                pixelFont(12, true), LabelSizing::Fixed);
  panConnectNetwork->setAlignment(Qt::AlignCenter);
  panConnectNetwork->setBackground(QColor(236, 242, 250));
  panConnectNetwork->hide();
  for (int k = 0; k < 20; ++k) {
    lblWPage[k] =
        makeLink(suiImagePanel1, QString("lblWPage%1").arg(k + 1), pageLinkRect(k),
                 k == 0 ? kCurrentPageColour : QColor(Qt::black), pixelFont(11, true), LabelSizing::Fixed);
    lblWPage[k]->setCaption(QString::number(k + 1));
    lblWPage[k]->setAlignment(Qt::AlignCenter);
    lblWPage[k]->setBackground(Qt::white);
    lblWPage[k]->hide();
  }
}

// The settings page is hidden at start and many sessions never open it, so
// it is built when it is first needed rather than before the window maps.
void TfrmMain::ensureSettingsPage() {
  if (chkAutoRun != nullptr) return;
  buildSettingsPage();
  showSettingsPageTexts();
  connectSettingsPage();
  arrangeSettingsPageTabOrder();
  renderSettings();
  renderRotationRows();
}

void TfrmMain::buildSettingsPage() {
  suiImagePanel2 = place(new FramedBox(panSetting), 20, 12, 737, 89);
  suiImagePanel2->setObjectName("suiImagePanel2");
  suiImagePanel3 = place(new FramedBox(panSetting), 20, 103, 737, 362);
  suiImagePanel3->setObjectName("suiImagePanel3");
  chkAutoRun = place(new SkinCheckBox(suiImagePanel2), 42, 26, 184, 19);
  chkAutoRun->setObjectName("chkAutoRun");
  chkAutoRun->setCaption(QStringLiteral("Start with the session"));
  optStartup = place(new SkinRadioButton(suiImagePanel2), 42, 51, 220, 19);
  optStartup->setObjectName("optStartup");
  optDay = place(new SkinRadioButton(suiImagePanel2), 287, 51, 141, 19);
  optDay->setObjectName("optDay");
  optDisable = place(new SkinRadioButton(suiImagePanel2), 505, 51, 117, 19);
  optDisable->setObjectName("optDisable");
  SkinRadioButton::makeGroup({optStartup, optDay, optDisable});

  Label3 = makeLabel(suiImagePanel3, "Label3", {16, 24, 297, 13}, Qt::black, pixelFont(11, true),
                     LabelSizing::Fixed);
  lstWallpaper = place(new SkinListView(suiImagePanel3), 16, 48, 481, 296);
  lstWallpaper->setObjectName("lstWallpaper");
  lstWallpaper->setFont(pixelFont(13));
  btnAdd = makeButton(suiImagePanel3, "btnAdd", "btn_small", {503, 86, 107, 31});
  btnAdd->setCaption(QStringLiteral("Add ..."));
  btnRemove = makeButton(suiImagePanel3, "btnRemove", "btn_small", {616, 86, 107, 31});
  btnRemove->setCaption(QStringLiteral("Remove"));
  btnRemove->setEnabled(false);
  Shape9 = place(new SkinShape(Qt::black, Qt::black, suiImagePanel3), 503, 184, 210, 153);
  Shape9->setObjectName("Shape9");
  Label5 = makeLabel(suiImagePanel3, "Label5", {505, 184, 38, 13}, Qt::white, pixelFont(11));
  imgPreview = makeImage(suiImagePanel3, "imgPreview", {512, 206, 192, 120});
  buildCatalogueSiteField();
}

// Above the list's buttons: the site's caption, the address, and under the
// buttons what the last check of the site found.
void TfrmMain::buildCatalogueSiteField() {
  lblCatalogueSite = makeLabel(suiImagePanel3, "lblCatalogueSite", {503, 20, 220, 13}, Qt::black,
                               pixelFont(11, true), LabelSizing::Fixed);
  edtCatalogueSite = place(new QLineEdit(suiImagePanel3), 503, 38, 220, 24);
  edtCatalogueSite->setObjectName("edtCatalogueSite");
  edtCatalogueSite->setFont(pixelFont(12));
  edtCatalogueSite->setText(m_homeSite);
  edtCatalogueSite->setAccessibleName(QStringLiteral("Catalogue site"));
  lblSiteVerdict = place(new QLabel(suiImagePanel3), 503, 122, 220, 58);
  lblSiteVerdict->setObjectName("lblSiteVerdict");
  lblSiteVerdict->setFont(pixelFont(11));
  lblSiteVerdict->setWordWrap(true);
  lblSiteVerdict->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

// The tray icon is made once the window is on the screen, or at once when
// the start goes to the tray.
void TfrmMain::ensureTray() {
  if (CoolTrayIcon1 != nullptr) return;
  buildTray();
  showTrayTexts();
  connectTray();
}

void TfrmMain::buildTray() {
  CoolTrayIcon1 = new QSystemTrayIcon(skinIcon("app_icon"), this);
  CoolTrayIcon1->setObjectName("CoolTrayIcon1");
  popMenu1 = new QMenu(this);
  popMenu1->setObjectName("popMenu1");
  // Styled when it is first drawn here: a style sheet costs start-up half a
  // megabyte and more time than the menu itself, and a desktop that shows
  // the tray menu itself never draws this one.
  connect(popMenu1, &QMenu::aboutToShow, popMenu1, [menu = popMenu1] {
    if (!menu->styleSheet().isEmpty()) return;
    menu->setStyleSheet(
        "QMenu { background: rgb(36,41,49); color: rgb(222,228,238); border: 1px solid rgb(24,123,141); }"
        "QMenu::item { padding: 5px 22px; }"
        "QMenu::item:selected { background: rgb(24,123,141); color: white; }"
        "QMenu::separator { height: 1px; background: rgb(70,78,90); margin: 3px 6px; }");
  });
  Open1 = popMenu1->addAction(QStringLiteral("Open"));
  Prevwallpaper1 = popMenu1->addAction(QStringLiteral("Prev wallpaper"));
  Nextwallpaper2 = popMenu1->addAction(QStringLiteral("Next wallpaper"));
  N4 = popMenu1->addSeparator();
  Exit2 = popMenu1->addAction(QStringLiteral("Exit"));
  Open1->setObjectName(QStringLiteral("Open1"));
  Prevwallpaper1->setObjectName(QStringLiteral("Prevwallpaper1"));
  Nextwallpaper2->setObjectName(QStringLiteral("Nextwallpaper2"));
  N4->setObjectName(QStringLiteral("N4"));
  Exit2->setObjectName(QStringLiteral("Exit2"));
}

// The main window: its controls and handlers. The handlers forward to the
// controllers, which keep the state; the window draws that state.
#pragma once

#include <QDateTime>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "catalogue/HomeSiteChange.h"
#include "catalogue/NetworkViews.h"
#include "library/ApplyController.h"
#include "library/BrowseController.h"
#include "library/ProgramCommands.h"
#include "library/RotationController.h"
#include "library/SettingsController.h"
#include "library/WallpaperWorker.h"
#include "platform/AppContext.h"
#include "platform/LanguageTexts.h"
#include "skin/SkinControls.h"

class QAction;
class QLabel;
class QLineEdit;
class QFrame;
class QMenu;
class QProgressDialog;
class QSystemTrayIcon;
class TfrmDown;
class TfrmDown2;

class TfrmMain : public QWidget {
  Q_OBJECT
 public:
  // Builds the controls; FormCreate then runs the start-up sequence.
  explicit TfrmMain(const AppContext& context, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Whether the start-up sequence asked to start in the tray.
  bool startMinimized() const { return m_startMinimized; }
  // Shows the window, or puts the program in the tray, as start-up asked.
  void showAtStart();

  // --- the values the window shows, and who keeps them. The controls are
  // the window's own; a test finds them by their names.
  LanguageTexts& texts() { return m_texts; }
  // What the open dialog of "Add" offers, in "text|patterns|..." form.
  const QString& openDialogFilter() const { return OpenDialog1Filter; }
  BrowseController& browse() { return *m_browse; }
  NetworkViews& networkViews() { return m_networkViews; }
  RotationController& rotation() { return m_rotation; }
  SettingsController& settings() { return m_settings; }
  // Sets every picture this program sets while the window lives.
  WallpaperWorker& wallpaperWorker() { return m_wallpaperWorker; }
  // Busy: a network view or a download is at work, and most clicks wait.
  bool Busy() const { return m_browse->state().busy; }
  const std::array<SlotPaths, 6>& Slots() const { return m_browse->state().slotPaths; }

  // What a start does once the window is on the screen, so that the window
  // maps sooner: the tray icon, the window's icon, the overlay and the
  // progress dialog.
  void finishStart();
  // The settings page is built when it is first shown; this builds it now.
  void ensureSettingsPage();

  // --- the user's own pictures (MainImport.cpp)
  // Where --import and the window's ways in put pictures, and what follows:
  // the rotation list takes the screen's shape's new large pictures, and
  // the grid shows the category afresh when it is open.
  ImportCommandTarget importTarget();
  void takeImported(const ImportReport& report);
  // The window's ways in: the files go into local category 1..5, with
  // progress and Cancel when there are more than a few.
  void importIntoCategory(int category, const QStringList& paths);
  // The local category a drop at `pos` (in the window) goes into: that of the
  // link under it, or the one the grid shows; 0 for none.
  int dropCategoryAt(QPoint pos) const;
  // A local category link's menu (right click, or the menu key), and its item.
  void lblL1ContextMenu(SkinLabel* link, QPoint pos);
  void addPicturesClick(int category);
  // A slot's menu, built in one place for every item a slot offers: the
  // picture on all monitors or on one, and in a local category "Move to trash".
  void fillSlotMenu(QMenu& menu, int slot);
  // "Move to trash" and Delete: the slot's pair goes to the desktop's trash.
  void moveSlotToTrash(int slot);
  // The import's progress dialog while one is shown.
  QProgressDialog* importProgress() const;

  TfrmDown* frmDown() const { return m_frmDown.get(); }
  TfrmDown2* frmDown2() const { return m_frmDown2.get(); }

  // --- frame and tray (app/)
  // The start-up sequence on the built window, before it is shown: the
  // arguments are the command line with the program first.
  void FormCreate(const QStringList& arguments);
  void btnCloseClick();
  void btnMinClick();
  void imgMainMouseDown(Qt::MouseButton button, QPoint pos);
  void CoolTrayIcon1DblClick();
  void CoolTrayIcon1MouseUp(Qt::MouseButton button, QPoint screenPos);
  void Open1Click();
  void Exit2Click();
  // Restores the window from the tray or from being minimised.
  void restoreApplication();
  // The general error report's box, on this window with its caption.
  void showErrorReport(const QString& message);

  // --- language texts
  void LoadLanguageTexts();

  // --- settings
  void runStartupSettings(const QStringList& arguments);
  void chkAutoRunClick();
  void optStartupClick(const SkinRadioButton* sender);

  // --- grid and paging: the browsing state drawn on the controls
  void ArrangeGrid(Shape shape);
  int CurrentPage() const { return m_browse->state().page; }
  bool isCurrentCategory(const QWidget* link) const;
  bool currentShapeIsWide() const { return m_browse->state().shape() == Shape::Widescreen; }
  void imgW1Click(int slot);  // slot 1..6
  void imgW1DblClick(int slot);
  // The slot's menu (right click, or the menu key), at `screenPos`.
  void imgW1ContextMenu(int slot, QPoint screenPos);
  void lblWPage1Click(int page);  // page 1..20
  void lblWPage1MouseEnter(int page);
  void lblWPage1MouseLeave(int page);

  // --- local categories and tabs
  void lblL1Click(SkinLabel* link);
  void lblL1MouseEnter(SkinLabel* link);
  void lblL1MouseLeave(SkinLabel* link);
  void btnWallpaperClick();
  void btnWidescreenClick();

  // --- applying
  void btnSetWallpaperClick();

  // --- rotation list and settings page
  void Prevwallpaper1Click();
  void Nextwallpaper2Click();
  void btnThemeClick();
  void lstWallpaperDblClick();
  void lstWallpaperSelectItem(int row, bool selected);
  void btnAddClick();
  void btnRemoveClick();

  // --- catalogue
  void lblN1Click(SkinLabel* link);
  void lblN6Click();
  void lblN7Click();

  // --- the keyboard: each key goes through the handler its click runs
  void stepCategory(int step);  // Up and Down: the link above or below the current one
  void stepSlot(int step);      // Left and Right: the shown slot before or after the selected one
  void turnPage(int step);      // Page Up and Page Down

 signals:
  // The window has closed for good: the program ends.
  void closed();
  // "Set as Desktop Wallpaper" has ended and the window is back.
  void applyFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // --- controls directly on the window
  SkinImage* imgMain;
  SkinLabel* Label15;
  PictureButton* btnMin;
  PictureButton* btnClose;
  PictureButton* btnWallpaper;
  PictureButton* btnWidescreen;
  PictureButton* btnTheme;
  PicturePanel* btnNormal;  // tab marker
  SkinImage* imgNormal;
  SkinImage* imgWidescreen;
  PicturePanel* panWallpaper;
  PicturePanel* panSetting;
  SkinLabel* suiURLLabel1;
  QWidget* WebBrowser1;  // parked stand-in; pages come from the catalogue check

  // --- wallpaper page
  PicturePanel* panWallpaperLeft;
  PictureGrid* Panel1;
  PicturePanel* suiImagePanel1;
  PictureButton* btnSetWallpaper;
  SkinLabel* Label4;
  SkinLabel* Label14;

  // --- category column
  SkinLabel* Label1;
  SkinImage* imgLeftBK;
  std::array<SkinLabel*, 5> lblL;      // lblL1 .. lblL5
  std::array<SkinImage*, 5> imgArrow;  // imgArrow1 .. imgArrow5
  SkinLabel* Label2;
  std::array<SkinLabel*, 7> lblN;       // lblN1 .. lblN7
  std::array<SkinImage*, 7> imgArrowN;  // imgArrowN1 .. imgArrowN7

  // --- thumbnail grid
  std::array<PicturePanel*, 6> W;  // W1 .. W6
  std::array<SkinShape*, 6> shpW;  // shpW1 .. shpW6
  std::array<SkinImage*, 6> imgW;  // imgW1 .. imgW6
  SkinLabel* lblErrorTip;
  SkinLabel* panConnectNetwork;
  std::array<SkinLabel*, 20> lblWPage;  // lblWPage1 .. lblWPage20

  // --- settings page
  FramedBox* suiImagePanel2 = nullptr;
  FramedBox* suiImagePanel3 = nullptr;
  SkinCheckBox* chkAutoRun = nullptr;
  SkinRadioButton* optStartup = nullptr;
  SkinRadioButton* optDay = nullptr;
  SkinRadioButton* optDisable = nullptr;
  SkinLabel* Label3 = nullptr;
  SkinListView* lstWallpaper = nullptr;
  PictureButton* btnAdd = nullptr;
  PictureButton* btnRemove = nullptr;
  SkinShape* Shape9 = nullptr;
  SkinLabel* Label5 = nullptr;
  SkinImage* imgPreview = nullptr;
  SkinLabel* lblCatalogueSite = nullptr;
  QLineEdit* edtCatalogueSite = nullptr;
  QLabel* lblSiteVerdict = nullptr;

  // --- non-visual parts
  QSystemTrayIcon* CoolTrayIcon1 = nullptr;
  QMenu* popMenu1 = nullptr;
  QAction* Open1 = nullptr;
  QAction* Prevwallpaper1 = nullptr;
  QAction* Nextwallpaper2 = nullptr;
  QAction* N4 = nullptr;
  QAction* Exit2 = nullptr;
  QString OpenDialog1Filter;  // "text|patterns|..." form
  QString OpenDialog1DefaultExt = QStringLiteral("*.jpg");

  void buildControls();
  void buildWallpaperPage();
  void buildCategoryColumn();
  void buildGrid();
  void buildSettingsPage();
  void buildTray();
  void ensureTray();
  void showSettingsPageTexts();
  void showTrayTexts();
  void connectHandlers();
  void connectSettingsPage();
  void connectTray();
  void connectKeys();
  void arrangeTabOrder();
  void arrangeSettingsPageTabOrder();
  void setTabOrderOf(const QList<QWidget*>& chain);
  PictureButton* activeTab() const;
  void showActiveTabFocus();
  void followScreenDensity();

  void render();
  void renderTab(const BrowseState& state);
  void renderCategoryColumn(const BrowseState& state);
  void renderGrid(const BrowseState& state);
  void renderPageLinks(const BrowseState& state);
  void renderBusy(const BrowseState& state);
  void renderSlotNames(const BrowseState& state);
  SkinLabel* linkOf(const BrowseView& view) const;
  BrowseView viewOf(const QWidget* link) const;
  void renderRotationRows();
  void renderSettings();
  void buildCatalogueSiteField();
  void edtCatalogueSiteEditingFinished();
  void homeSiteChanged(const QString& address);
  // Each mode's option on the settings page.
  struct ModeOption {
    SkinRadioButton* button;
    int mode;
  };
  std::array<ModeOption, 3> modeOptions() const;
  void connectApply();
  void connectSlotMenus();
  // The monitors' pictures put back when monitors come and go, and at start.
  void followMonitors();
  void downloadPicture(const QString& address, const QString& local);
  void stepAside();
  void comeBack();

  const AppContext m_context;
  LanguageTexts m_texts;
  NetworkViews m_networkViews{m_texts, m_context};
  HomeSiteChange m_homeSiteChange{m_texts, m_context, m_networkViews.catalogueCheck()};
  // The home site in use: the one at start until the settings page changes it.
  QString m_homeSite = m_context.homeSite;
  BrowseController* m_browse;
  WallpaperWorker m_wallpaperWorker;
  RotationController m_rotation;
  SettingsController m_settings{m_context.programFile};
  ApplyController m_apply;
  std::unique_ptr<TfrmDown> m_frmDown;
  std::unique_ptr<TfrmDown2> m_frmDown2;
  Shape m_arrangedShape = Shape::Normal;
  bool m_waitCursorShown = false;
  bool m_startMinimized = false;
  bool m_manualDrag = false;
  QPoint m_dragOffset;
  void connectImport();
  void showImportProgress(PictureImportJob* job, int done, int total);
  void endImport(PictureImportJob* job, const ImportReport& report);
  QPointer<QProgressDialog> m_importProgress;
};

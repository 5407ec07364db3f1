// The main window: its controls, browsing state and handlers. Handlers that
// belong to a subsystem are defined in that subsystem's folder.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

#include "skin/SkinControls.h"

class QAction;
class QFrame;
class QMenu;
class QSystemTrayIcon;
class PageFetcher;
enum class Shape;  // normal or widescreen: the store's two shapes

// What a slot shows: the thumbnail it was loaded from (or its address) and
// the large picture that "Set as Desktop Wallpaper" applies.
struct SlotPaths {
  QString thumbnail;
  QString large;
};

class TfrmMain : public QWidget {
  Q_OBJECT
 public:
  // Builds the controls and runs the start-up sequence (FormCreate).
  explicit TfrmMain(const QStringList& arguments, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Whether the start-up sequence asked to start in the tray.
  bool startMinimized() const { return m_startMinimized; }
  // Shows the window, or puts the program in the tray, as start-up asked.
  void showAtStart();

  // --- controls directly on the window
  TImage* imgMain;
  TLabel* Label15;
  TPictureButton* btnMin;
  TPictureButton* btnClose;
  TPictureButton* btnWallpaper;
  TPictureButton* btnWidescreen;
  TPictureButton* btnTheme;
  TPicturePanel* btnNormal;  // tab marker
  TImage* imgNormal;
  TImage* imgWidescreen;
  TPicturePanel* panWallpaper;
  TPicturePanel* panSetting;
  TLabel* suiURLLabel1;
  QWidget* WebBrowser1;  // parked stand-in; pages come from pageFetcher

  // --- wallpaper page
  TPicturePanel* panWallpaperLeft;
  QFrame* Panel1;
  TPicturePanel* suiImagePanel1;
  TPictureButton* btnSetWallpaper;
  TLabel* Label4;
  TLabel* Label14;

  // --- category column
  TLabel* Label1;
  TImage* imgLeftBK;
  std::array<TLabel*, 5> lblL;       // lblL1 .. lblL5
  std::array<TImage*, 5> imgArrow;   // imgArrow1 .. imgArrow5
  TLabel* Label2;
  std::array<TLabel*, 7> lblN;       // lblN1 .. lblN7
  std::array<TImage*, 7> imgArrowN;  // imgArrowN1 .. imgArrowN7

  // --- thumbnail grid
  std::array<TPicturePanel*, 6> W;  // W1 .. W6
  std::array<TShape*, 6> shpW;      // shpW1 .. shpW6
  std::array<TImage*, 6> imgW;      // imgW1 .. imgW6
  TLabel* lblErrorTip;
  TLabel* panConnectNetwork;
  std::array<TLabel*, 20> lblWPage;  // lblWPage1 .. lblWPage20

  // --- settings page
  TFramedBox* suiImagePanel2;
  TFramedBox* suiImagePanel3;
  TCheckBox* chkAutoRun;
  TRadioButton* optStartup;
  TRadioButton* optDay;
  TRadioButton* optDisable;
  TLabel* Label3;
  TListView* lstWallpaper;
  TPictureButton* btnAdd;
  TPictureButton* btnRemove;
  TShape* Shape9;
  TLabel* Label5;
  TImage* imgPreview;

  // --- non-visual parts
  QSystemTrayIcon* CoolTrayIcon1;
  QMenu* popMenu1;
  QAction* Open1;
  QAction* Prevwallpaper1;
  QAction* Nextwallpaper2;
  QAction* N4;
  QAction* Exit2;
  QString OpenDialog1Filter;  // "text|patterns|..." form
  QString OpenDialog1DefaultExt = QStringLiteral("*.jpg");

  // --- browsing state
  bool Busy = false;
  QString ProgramVersion;
  std::array<SlotPaths, 6> Slots;
  QStringList CategoryThumbs;
  QStringList CategoryPictures;
  QString PageStatus;  // "", "complete" or "fail"
  QByteArray PageText;
  std::unique_ptr<PageFetcher> pageFetcher;

  // --- frame and tray (app/)
  void FormCreate(const QStringList& arguments);
  void btnCloseClick();
  void btnMinClick();
  void imgMainMouseDown(Qt::MouseButton button, QPoint pos);
  void CoolTrayIcon1DblClick();
  void CoolTrayIcon1MouseUp(Qt::MouseButton button, QPoint screenPos);
  void Open1Click();
  void Exit2Click();
  // Restores the window from the tray or from being minimised.
  void RestoreApplication();

  // --- language texts (app/)
  void LoadLanguageTexts();

  // --- settings (app/)
  void RunStartupSettings(const QStringList& arguments);
  void chkAutoRunClick();
  void optStartupClick();

  // --- grid and paging (library/)
  void ArrangeGrid(bool widescreen);
  void HideSelectionFrames();
  void HidePageLinks();
  void HideSlots();
  int CurrentPage() const;
  void ResetPageColours();
  void MarkPageOne();
  void ShowPageLinks(int count);
  bool IsCurrentCategory(const QWidget* link) const;
  bool CurrentShapeIsWide() const;
  void imgW1Click(int slot);  // slot 1..6
  void imgW1DblClick(int slot);
  void lblWPage1Click(int page);  // page 1..20
  void lblWPage1MouseEnter(int page);
  void lblWPage1MouseLeave(int page);
  // Loads a picture file into slot 1..6's image; a picture that cannot be
  // decoded shows the broken-picture mark, and false is returned.
  bool LoadSlotPicture(int slot, const QString& file);
  // The paging rule over a picture list: page links, fall-back to page 1, and
  // the current page's pictures in the slots with their two paths.
  void ShowListPage(const QStringList& pictures, const QStringList& larges);

  // --- local categories (library/)
  void ShowLocalCategory(TLabel* link, int page);
  void lblL1Click(TLabel* link);
  void lblL1MouseEnter(TLabel* link);
  void lblL1MouseLeave(TLabel* link);
  void btnWallpaperClick();
  void btnWidescreenClick();
  void SelectShapeTab(TPictureButton* tab, Shape shape);

  // --- applying (library/)
  void btnSetWallpaperClick();

  // --- rotation list and settings page (library/)
  void RebuildRotationList();
  void LoadRotationList();
  void SaveRotationList();
  void StartupChange();
  void AdvanceRotation();
  void Prevwallpaper1Click();
  void Nextwallpaper2Click();
  void btnThemeClick();
  void lstWallpaperDblClick();
  void lstWallpaperSelectItem(int row, bool selected);
  void btnAddClick();
  void btnRemoveClick();
  // Makes a row current and applies it; nothing for no row.
  void ApplyRotationPosition(std::optional<int> position);

  // --- catalogue (catalogue/)
  bool CheckCatalogueUpdate();
  void WebBrowser1DownloadBegin();
  void WebBrowser1DownloadComplete(const QByteArray& page);
  void lblN1Click(TLabel* link);
  void ShowNetworkCategory(TLabel* link, int pageFlag);
  void lblN6Click();
  void ShowDownloadedPictures(QWidget* trigger, int pageFlag);
  void lblN7Click();

 signals:
  // The window has closed for good: the program ends.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void BuildControls();
  void BuildWallpaperPage();
  void BuildCategoryColumn();
  void BuildGrid();
  void BuildSettingsPage();
  void BuildTray();
  void ConnectHandlers();

  bool m_startMinimized = false;
  bool m_networkViewRunning = false;
  bool m_manualDrag = false;
  QPoint m_dragOffset;
};

extern TfrmMain* frmMain;

// The main window's controls as a test finds them: by the names the window
// gives them (the names screen readers and the layout use too), not by the
// window's members, so that reshaping the window does not reshape its tests.
#pragma once

#include <QString>
#include <array>
#include <memory>

#include "skin/SkinControls.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class TfrmMain;

struct MainControls {
  explicit MainControls(const TfrmMain& window);

  // --- controls directly on the window
  SkinImage* imgMain;
  SkinLabel* Label15;
  PictureButton* btnMin;
  PictureButton* btnClose;
  PictureButton* btnWallpaper;
  PictureButton* btnWidescreen;
  PictureButton* btnTheme;
  PicturePanel* btnNormal;
  SkinImage* imgNormal;
  SkinImage* imgWidescreen;
  PicturePanel* panWallpaper;
  PicturePanel* panSetting;
  SkinLabel* suiURLLabel1;
  QWidget* WebBrowser1;

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
  std::array<SkinLabel*, 5> lblL;
  std::array<SkinImage*, 5> imgArrow;
  SkinLabel* Label2;
  std::array<SkinLabel*, 7> lblN;
  std::array<SkinImage*, 7> imgArrowN;

  // --- thumbnail grid
  std::array<PicturePanel*, 6> W;
  std::array<SkinShape*, 6> shpW;
  std::array<SkinImage*, 6> imgW;
  SkinLabel* lblErrorTip;
  SkinLabel* panConnectNetwork;
  std::array<SkinLabel*, 20> lblWPage;

  // --- settings page
  FramedBox* suiImagePanel2;
  FramedBox* suiImagePanel3;
  SkinCheckBox* chkAutoRun;
  SkinRadioButton* optStartup;
  SkinRadioButton* optDay;
  SkinRadioButton* optDisable;
  SkinLabel* Label3;
  SkinListView* lstWallpaper;
  PictureButton* btnAdd;
  PictureButton* btnRemove;
  SkinShape* Shape9;
  SkinLabel* Label5;
  SkinImage* imgPreview;

  // --- tray
  QSystemTrayIcon* CoolTrayIcon1;
  QMenu* popMenu1;
  QAction* Open1;
  QAction* Prevwallpaper1;
  QAction* Nextwallpaper2;
  QAction* N4;
  QAction* Exit2;
};

// The controls of a window, looked up afresh at every call.
MainControls ui(const TfrmMain& window);
MainControls ui(const TfrmMain* window);
MainControls ui(const std::unique_ptr<TfrmMain>& window);

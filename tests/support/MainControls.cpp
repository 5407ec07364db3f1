#include "support/MainControls.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QHash>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/Main.h"

namespace {

class Finder {
 public:
  explicit Finder(const TfrmMain& window) {
    for (QObject* object : window.findChildren<QObject*>()) {
      if (!object->objectName().isEmpty()) m_byName.insert(object->objectName(), object);
    }
  }

  template <typename T>
  T* one(const QString& name) const {
    T* found = qobject_cast<T*>(m_byName.value(name));
    EXPECT_NE(found, nullptr) << "the main window has no " << name.toStdString();
    return found;
  }
  // name1 .. nameN
  template <typename T, size_t N>
  std::array<T*, N> numbered(const QString& name) const {
    std::array<T*, N> found{};
    for (size_t k = 0; k < N; ++k) found[k] = one<T>(name + QString::number(k + 1));
    return found;
  }

 private:
  QHash<QString, QObject*> m_byName;
};

}  // namespace

MainControls::MainControls(const TfrmMain& window) {
  const Finder find(window);
  imgMain = find.one<SkinImage>("imgMain");
  Label15 = find.one<SkinLabel>("Label15");
  btnMin = find.one<PictureButton>("btnMin");
  btnClose = find.one<PictureButton>("btnClose");
  btnWallpaper = find.one<PictureButton>("btnWallpaper");
  btnWidescreen = find.one<PictureButton>("btnWidescreen");
  btnTheme = find.one<PictureButton>("btnTheme");
  btnNormal = find.one<PicturePanel>("btnNormal");
  imgNormal = find.one<SkinImage>("imgNormal");
  imgWidescreen = find.one<SkinImage>("imgWidescreen");
  panWallpaper = find.one<PicturePanel>("panWallpaper");
  panSetting = find.one<PicturePanel>("panSetting");
  suiURLLabel1 = find.one<SkinLabel>("suiURLLabel1");
  WebBrowser1 = find.one<QWidget>("WebBrowser1");

  panWallpaperLeft = find.one<PicturePanel>("panWallpaperLeft");
  Panel1 = find.one<PictureGrid>("Panel1");
  suiImagePanel1 = find.one<PicturePanel>("suiImagePanel1");
  btnSetWallpaper = find.one<PictureButton>("btnSetWallpaper");
  Label4 = find.one<SkinLabel>("Label4");
  Label14 = find.one<SkinLabel>("Label14");

  Label1 = find.one<SkinLabel>("Label1");
  imgLeftBK = find.one<SkinImage>("imgLeftBK");
  lblL = find.numbered<SkinLabel, 5>("lblL");
  imgArrow = find.numbered<SkinImage, 5>("imgArrow");
  Label2 = find.one<SkinLabel>("Label2");
  lblN = find.numbered<SkinLabel, 7>("lblN");
  imgArrowN = find.numbered<SkinImage, 7>("imgArrowN");

  W = find.numbered<PicturePanel, 6>("W");
  shpW = find.numbered<SkinShape, 6>("shpW");
  imgW = find.numbered<SkinImage, 6>("imgW");
  lblErrorTip = find.one<SkinLabel>("lblErrorTip");
  panConnectNetwork = find.one<SkinLabel>("panConnectNetwork");
  lblWPage = find.numbered<SkinLabel, 20>("lblWPage");

  suiImagePanel2 = find.one<FramedBox>("suiImagePanel2");
  suiImagePanel3 = find.one<FramedBox>("suiImagePanel3");
  chkAutoRun = find.one<SkinCheckBox>("chkAutoRun");
  optStartup = find.one<SkinRadioButton>("optStartup");
  optDay = find.one<SkinRadioButton>("optDay");
  optDisable = find.one<SkinRadioButton>("optDisable");
  Label3 = find.one<SkinLabel>("Label3");
  lstWallpaper = find.one<SkinListView>("lstWallpaper");
  btnAdd = find.one<PictureButton>("btnAdd");
  btnRemove = find.one<PictureButton>("btnRemove");
  Shape9 = find.one<SkinShape>("Shape9");
  Label5 = find.one<SkinLabel>("Label5");
  imgPreview = find.one<SkinImage>("imgPreview");

  CoolTrayIcon1 = find.one<QSystemTrayIcon>("CoolTrayIcon1");
  popMenu1 = find.one<QMenu>("popMenu1");
  Open1 = find.one<QAction>("Open1");
  Prevwallpaper1 = find.one<QAction>("Prevwallpaper1");
  Nextwallpaper2 = find.one<QAction>("Nextwallpaper2");
  N4 = find.one<QAction>("N4");
  Exit2 = find.one<QAction>("Exit2");
}

MainControls ui(const TfrmMain& window) { return MainControls(window); }
MainControls ui(const TfrmMain* window) { return MainControls(*window); }
MainControls ui(const std::unique_ptr<TfrmMain>& window) { return MainControls(*window); }

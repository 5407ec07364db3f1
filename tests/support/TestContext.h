// The services a test hands the program's code: by default a desktop that
// takes every picture without touching anything, and no "show desktop".
#pragma once

#include <memory>

#include "platform/AppContext.h"
#include "platform/DesktopControl.h"
#include "platform/WallpaperSetter.h"

class QuietSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString&, const CancelToken&) override { return SetResult::applied(); }
  QString name() const override { return QStringLiteral("quiet desktop"); }
};

class QuietDesktop : public DesktopControl {
 public:
  void showDesktop() override {}
};

inline AppContext TestContext(std::shared_ptr<WallpaperSetter> setter = nullptr,
                              std::shared_ptr<DesktopControl> desktop = nullptr) {
  AppContext context;
  context.wallpaperSetter = setter ? std::move(setter) : std::make_shared<QuietSetter>();
  context.desktopControl = desktop ? std::move(desktop) : std::make_shared<QuietDesktop>();
  return context;
}

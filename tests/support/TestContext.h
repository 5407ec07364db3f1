// The services a test hands the program's code: by default a desktop that
// takes every picture without touching anything, and no "show desktop".
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "platform/AppContext.h"
#include "platform/DesktopControl.h"
#include "platform/ProgramFolder.h"
#include "platform/UserDialogs.h"
#include "platform/WallpaperSetter.h"

// Message boxes and the open dialog answered by the test.
class RecordingDialogs : public UserDialogs {
 public:
  struct Message {
    QString caption;
    QString text;
  };

  void information(const QString& caption, const QString& text) override {
    messages.push_back({caption, text});
  }
  QString openFileName(const QString& filter, const QString& defaultExtension) override {
    lastFilter = filter;
    lastDefaultExtension = defaultExtension;
    return answer;
  }
  QStringList openPicturesAndFolders(const QString& caption) override {
    lastCaption = caption;
    return picturesAnswer;
  }
  std::vector<Message> messages;
  QString answer;
  QStringList picturesAnswer;
  QString lastCaption;
  QString lastFilter;
  QString lastDefaultExtension;
};

class QuietSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString&, const CancelToken&) override { return SetResult::applied(); }
  QString name() const override { return QStringLiteral("quiet desktop"); }
};

class QuietDesktop : public DesktopControl {
 public:
  void showDesktop() override {}
};

// dataFolder ends with "/" and stands for the executable's folder as well.
inline AppContext testContext(const QString& dataFolder, std::shared_ptr<WallpaperSetter> setter = nullptr,
                              std::shared_ptr<DesktopControl> desktop = nullptr) {
  AppContext context;
  context.dataFolder = dataFolder;
  context.programFile = dataFolder + QStringLiteral("NimbraWallpaper");
  context.homeSite = QStringLiteral("http://") + builtInHomeHost();
  // Nobody reads them; a test that does gives a DialogsRecorder's instead.
  context.dialogs = std::make_shared<RecordingDialogs>();
  context.wallpaperSetter = setter ? std::move(setter) : std::make_shared<QuietSetter>();
  context.desktopControl = desktop ? std::move(desktop) : std::make_shared<QuietDesktop>();
  return context;
}

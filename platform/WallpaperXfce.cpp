// XFCE keeps one backdrop per monitor and workspace in the xfce4-desktop
// channel of xfconf; the desktop redraws when a property changes.
#include <QRegularExpression>
#include <algorithm>

#include "platform/FileNames.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {

const QString kXfconfQuery = QStringLiteral("xfconf-query");
const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kLastImage = QStringLiteral("last-image");
const QString kStretched = QStringLiteral("3");

// A monitor's backdrop folder as xfdesktop names it; an unnamed output gets its number.
QString monitorFolder(const QStringList& monitorNames, int index) {
  const QString name = monitorNames.at(index).trimmed();
  return QStringLiteral("/backdrop/screen0/monitor%1/").arg(name.isEmpty() ? QString::number(index) : name);
}

class XfceSetter : public MonitorSetter {
 public:
  explicit XfceSetter(QStringList monitorNames) : m_monitorNames(std::move(monitorNames)) {}

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    const ProgramRun list =
        runProgram(kXfconfQuery, {QStringLiteral("-c"), kChannel, QStringLiteral("-l")}, cancel);
    if (list.outcome == RunOutcome::NotFound)
      return SetResult::unavailable(list.describeFailure(kXfconfQuery));
    if (!list.succeeded()) return SetResult::failed(list.describeFailure(kXfconfQuery));
    // xfconf keeps text, and a name that is not UTF-8 would arrive as another one.
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, kXfconfQuery));

    QStringList targets = existingBackdrops(list.output);
    targets += missingMonitorBackdrops(targets);
    if (target.isOneMonitor()) targets = backdropsOf(targets, target.monitor.name);
    if (targets.isEmpty())
      return SetResult::failed(QStringLiteral("xfce4-desktop has no backdrop and no monitor"));
    for (const QString& lastImage : targets) {
      const QString folder = lastImage.left(lastImage.size() - kLastImage.size());
      // The style first, so that the new picture is drawn stretched at once.
      SetResult result =
          set(folder + QStringLiteral("image-style"), QStringLiteral("int"), kStretched, cancel);
      if (result.status == SetStatus::Applied)
        result = set(lastImage, QStringLiteral("string"), path, cancel);
      if (result.status != SetStatus::Applied) return result;
    }
    return SetResult::applied();
  }

  QString name() const override { return QStringLiteral("XFCE (xfconf-query)"); }

 private:
  static QStringList existingBackdrops(const QByteArray& listing) {
    static const QRegularExpression kBackdrop(QStringLiteral("^/backdrop/.*/last-image$"));
    QStringList found;
    for (const QString& line : QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts)) {
      const QString property = line.trimmed();
      if (kBackdrop.match(property).hasMatch()) found << property;
    }
    return found;
  }

  // A monitor that has never had a wallpaper set has no property yet.
  QStringList missingMonitorBackdrops(const QStringList& existing) const {
    QStringList created;
    for (int i = 0; i < m_monitorNames.size(); ++i) {
      const QString folder = monitorFolder(m_monitorNames, i);
      const bool known = std::any_of(existing.begin(), existing.end(),
                                     [&](const QString& property) { return property.startsWith(folder); });
      if (!known) created << folder + QStringLiteral("workspace0/") + kLastImage;
    }
    return created;
  }

  // One monitor's backdrops, one for each workspace; a new one when it has none.
  static QStringList backdropsOf(const QStringList& backdrops, const QString& monitor) {
    const QString folder = monitorFolder({monitor}, 0);
    QStringList own;
    for (const QString& property : backdrops)
      if (property.startsWith(folder)) own << property;
    if (own.isEmpty()) own << folder + QStringLiteral("workspace0/") + kLastImage;
    return own;
  }

  static SetResult set(const QString& property, const QString& type, const QString& value,
                       const CancelToken& cancel) {
    const ProgramRun run =
        runProgram(kXfconfQuery,
                   {QStringLiteral("-c"), kChannel, QStringLiteral("-p"), property, QStringLiteral("-n"),
                    QStringLiteral("-t"), type, QStringLiteral("-s"), value},
                   cancel);
    return run.succeeded() ? SetResult::applied() : SetResult::failed(run.describeFailure(kXfconfQuery));
  }

  QStringList m_monitorNames;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makeXfceSetter(const QStringList& monitorNames) {
  return std::make_unique<XfceSetter>(monitorNames);
}

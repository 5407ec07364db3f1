// The desktops that keep their wallpaper in GSettings: GNOME and its relatives
// (Ubuntu, Budgie, Unity), Cinnamon and MATE.
#include "platform/FileNames.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {

const QString kGsettings = QStringLiteral("gsettings");
const QString kDarkKey = QStringLiteral("picture-uri-dark");

struct BackgroundSchema {
  QString id;
  QString pictureKey;
  bool takesUri;  // a file:// URI, or a plain path
};

BackgroundSchema schemaOf(GsettingsDesktop desktop) {
  switch (desktop) {
    case GsettingsDesktop::Cinnamon:
      return {QStringLiteral("org.cinnamon.desktop.background"), QStringLiteral("picture-uri"), true};
    case GsettingsDesktop::Mate:
      return {QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"), false};
    case GsettingsDesktop::Gnome:
      break;
  }
  return {QStringLiteral("org.gnome.desktop.background"), QStringLiteral("picture-uri"), true};
}

// gsettings reads its value in the GVariant text format. A bare word would
// be taken as it stands only when it does not parse as something else, so a
// name such as "'a'" would lose its quotes; a quoted literal is always exact.
QString gVariantString(const QString& text) {
  QString escaped = text;
  escaped.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
  return u'\'' + escaped + u'\'';
}

class GsettingsSetter : public WallpaperSetter {
 public:
  explicit GsettingsSetter(GsettingsDesktop desktop) : m_desktop(desktop), m_schema(schemaOf(desktop)) {}

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    return apply(path, QStringLiteral("'stretched'"), cancel);
  }

  // The desktop keeps one picture: a picture of the whole desktop is shown across all monitors.
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    if (target.kind == TargetKind::WholeDesktop) return apply(path, QStringLiteral("'spanned'"), cancel);
    return WallpaperSetter::setWallpaperOn(path, target, cancel);
  }

  QString name() const override {
    switch (m_desktop) {
      case GsettingsDesktop::Cinnamon:
        return QStringLiteral("Cinnamon (gsettings)");
      case GsettingsDesktop::Mate:
        return QStringLiteral("MATE (gsettings)");
      case GsettingsDesktop::Gnome:
        break;
    }
    return QStringLiteral("GNOME (gsettings)");
  }

 private:
  // options: the picture-options value, in the GVariant text format.
  SetResult apply(const QString& path, const QString& options, const CancelToken& cancel) {
    const ProgramRun keys = runProgram(kGsettings, {QStringLiteral("list-keys"), m_schema.id}, cancel);
    if (keys.outcome == RunOutcome::NotFound) return SetResult::unavailable(keys.describeFailure(kGsettings));
    if (!keys.succeeded()) return SetResult::failed(keys.describeFailure(kGsettings));
    // A URI carries any name's bytes; a plain path goes as GSettings text, which must be UTF-8.
    if (!m_schema.takesUri && holdsForeignBytes(path))
      return SetResult::failed(foreignBytesReason(path, m_schema.id));

    // Options first, then the picture: the desktop redraws once, already stretched.
    SetResult result = set(QStringLiteral("picture-options"), options, cancel);
    const QString value = m_schema.takesUri ? QString::fromLatin1(fileUri(path)) : path;
    if (result.status == SetStatus::Applied) result = set(m_schema.pictureKey, gVariantString(value), cancel);
    // A dark-style GNOME shows the dark key's picture and ignores the other one.
    if (result.status == SetStatus::Applied && m_schema.takesUri && hasKey(keys, kDarkKey))
      result = set(kDarkKey, gVariantString(value), cancel);
    return result;
  }

  static bool hasKey(const ProgramRun& keys, const QString& key) {
    return QString::fromUtf8(keys.output).split(u'\n', Qt::SkipEmptyParts).contains(key);
  }

  SetResult set(const QString& key, const QString& value, const CancelToken& cancel) {
    const ProgramRun run = runProgram(kGsettings, {QStringLiteral("set"), m_schema.id, key, value}, cancel);
    return run.succeeded() ? SetResult::applied() : SetResult::failed(run.describeFailure(kGsettings));
  }

  GsettingsDesktop m_desktop;
  BackgroundSchema m_schema;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makeGsettingsSetter(GsettingsDesktop desktop) {
  return std::make_unique<GsettingsSetter>(desktop);
}

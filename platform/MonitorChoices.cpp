#include "platform/MonitorChoices.h"

#include "platform/ValueStore.h"

namespace {
const QString kChoicesKey = QStringLiteral("Software\\Nimbra-Wallpaper\\Monitors");
// No output is named so: sway and RandR take "*" for all outputs themselves.
const QString kEveryMonitor = QStringLiteral("*");
}  // namespace

void MonitorChoices::choose(const QString& path, const WallpaperTarget& target) {
  if (target.isOneMonitor()) {
    byMonitor.insert(target.monitor.name, path);
    return;
  }
  everyMonitor = path;
  byMonitor.clear();
}

MonitorChoices MonitorChoiceStore::load() const {
  MonitorChoices choices;
  const ValueStore store = ValueStore::openFile(m_storeFile);
  for (const ValueStore::Entry& entry : store.entries(kChoicesKey)) {
    if (entry.value.kind != ValueStore::Kind::Text || entry.value.text.isEmpty()) continue;
    if (entry.name == kEveryMonitor)
      choices.everyMonitor = entry.value.text;
    else
      choices.byMonitor.insert(entry.name, entry.value.text);
  }
  return choices;
}

bool MonitorChoiceStore::save(const MonitorChoices& choices) const {
  ValueStore store = ValueStore::openFile(m_storeFile);
  bool saved = true;
  for (const ValueStore::Entry& entry : store.entries(kChoicesKey)) {
    const bool kept = entry.name == kEveryMonitor ? !choices.everyMonitor.isEmpty()
                                                  : choices.byMonitor.contains(entry.name);
    if (!kept) saved = store.remove(kChoicesKey, entry.name) && saved;
  }
  // Each change rewrites the file: only the values that changed are written.
  const auto keep = [&](const QString& name, const QString& path) {
    const std::optional<ValueStore::Value> stored = store.value(kChoicesKey, name);
    if (stored && stored->kind == ValueStore::Kind::Text && stored->text == path) return;
    saved = store.setText(kChoicesKey, name, path) && saved;
  };
  if (!choices.everyMonitor.isEmpty()) keep(kEveryMonitor, choices.everyMonitor);
  for (auto it = choices.byMonitor.begin(); it != choices.byMonitor.end(); ++it) keep(it.key(), it.value());
  return saved;
}

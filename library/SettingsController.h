// The auto-start options of the settings page as values: whether the
// program starts with the session, and which automatic change is chosen.
// The rules that tie the two together, and what each change stores, live
// here; the page draws the values and forwards the user's choices.
#pragma once

#include <QObject>
#include <QString>

class SettingsController : public QObject {
  Q_OBJECT
 public:
  // programFile: the executable an autostart entry of this program runs.
  explicit SettingsController(const QString& programFile, QObject* parent = nullptr);

  bool autoRun() const { return m_autoRun; }
  // The chosen mode: 1 at every start, 2 once a day, 3 never.
  int changeMode() const { return m_mode; }
  // The modes take choices only while auto-start is on; otherwise they are
  // shown greyed.
  bool modesUsable() const { return m_autoRun; }

  // The start-up load: shows whether the autostart entry is this program's
  // and the stored mode, and writes both back, so that an entry carries the
  // stored mode and one naming another folder goes. Gives the stored mode.
  int load();
  // Looks at the autostart entry again and applies the auto-start rule once.
  void reload();
  // The user turns auto-start on or off. Off also turns the automatic change
  // off; on again shows the stored mode.
  void setAutoRun(bool enabled);
  // The user chooses a mode; nothing while the modes are greyed.
  void chooseMode(int mode);

 signals:
  void changed();

 private:
  void showAutoRun(bool enabled);
  void applyAutoRun();
  void showMode(int mode);
  void storeMode();

  const QString m_programFile;
  // As the page is laid out before anything is loaded.
  bool m_autoRun = true;
  int m_mode = 3;
};

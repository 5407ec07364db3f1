// The per-user settings: the values "current", "Lasttime" and
// "AutoChange" in the value store, the autostart entry, and the screen-shape
// test. The loads repair what they find, so a caller always gets a usable value.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>

// The key every value of the program lives under.
inline const QString kSettingsKey = QStringLiteral("Software\\Nimbra-Wallpaper");
// The program the autostart entry starts, in the executable's folder.
inline const QString kProgramFileName = QStringLiteral("NimbraWallpaper");

enum AutoChangeMode : int { kChangeAtStartup = 1, kChangeDaily = 2, kChangeDisabled = 3 };

// Wide means width / height > 1.5; exactly 1.5 is not wide.
bool isWideScreenSize(QSize size);
// The primary screen in device pixels.
bool IsWideScreen();

int32_t LoadCurrent();
bool SaveCurrent(int32_t current);

// The previous start's time; what is missing or unreadable is replaced by now.
QDateTime LoadLastTime(const QDateTime& now);
bool SaveLastTime(const QDateTime& time);

bool IsDateTime(const QString& text);

int LoadAutoChange();
void SaveAutoChange(int mode);

void SaveAutoRun(bool enabled, const QString& programFile);
bool AutoRunEnabled(const QString& programFile);

// The command the autostart entry runs for a mode: the program file and "-<mode>".
QStringList autoRunCommand(const QString& programFile, int mode);

// What this run does at start: the stored mode, except that mode 1 only
// changes the wallpaper when the first argument is two characters ending in
// "1" (the autostart entry passes "-1"); otherwise nothing.
int startupChangeMode(int storedMode, const QString& firstArgument);

// "Lasttime" text: the locale's short date, a blank and its long time, with
// no time part at midnight; and the way back, invalid when it does not parse.
QString lastTimeText(const QDateTime& time, const QLocale& locale = QLocale::system());
QDateTime parseLastTime(const QString& text, const QLocale& locale = QLocale::system());

// The program's entry in the desktop session's autostart folder
// (<config folder>/autostart/Nimbra-Wallpaper.desktop): a desktop entry whose
// Exec line holds the command that starts the program with the session.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

struct AutostartEntry {
  QStringList command;  // program and arguments, unquoted
  bool active = true;   // false when the user switched it off (Hidden, X-GNOME-Autostart-enabled)
};

QString autostartEntryPath();

// Exec value quoting: the program and its arguments joined as the Desktop
// Entry rules want them, before the file-level escaping of string values.
QString execLine(const QStringList& command);
// The reverse of execLine; nullopt when the line is not well formed (an
// unterminated quote, a stray escape).
std::optional<QStringList> splitExecLine(const QString& execLine);

// The whole file for a command, and reading one back.
QByteArray desktopEntryText(const QStringList& command);
std::optional<AutostartEntry> parseDesktopEntry(const QByteArray& content);

// nullopt when there is no entry or it cannot be read as one. A program
// started through the link that writeAutostartEntry may make is reported as
// the program the link points at.
std::optional<AutostartEntry> readAutostartEntry();
// Written to a temporary file and renamed into place. A program path with a
// "%" is started through a link beside the value store, because common
// session starters look for the program before they undo the "%%" escape.
bool writeAutostartEntry(const QStringList& command);
// True when no entry is left behind.
bool removeAutostartEntry();

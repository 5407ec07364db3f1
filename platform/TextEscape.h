// Backslash escapes as the program's text files write them (the value store's
// quoted strings, the autostart entry's string values): one table of
// escapes a format, read and written by the same code.
#pragma once

#include <QString>
#include <optional>
#include <span>

// One character that a format writes as a backslash and a letter.
struct BackslashEscape {
  char16_t character;
  char16_t letter;
};
using EscapeTable = std::span<const BackslashEscape>;

// The text with every character of the table written as its escape.
QString escapeBackslashed(const QString& text, EscapeTable table);

// The character that a backslash and `letter` stand for; none when the
// table has no such escape.
std::optional<QChar> unescapedCharacter(QChar letter, EscapeTable table);

#include "platform/TextEscape.h"

#include <algorithm>

QString escapeBackslashed(const QString& text, EscapeTable table) {
  QString out;
  out.reserve(text.size() + 2);
  for (const QChar c : text) {
    const auto escape =
        std::find_if(table.begin(), table.end(), [c](const BackslashEscape& e) { return e.character == c; });
    if (escape == table.end()) {
      out += c;
    } else {
      out += u'\\';
      out += QChar(escape->letter);
    }
  }
  return out;
}

std::optional<QChar> unescapedCharacter(QChar letter, EscapeTable table) {
  for (const BackslashEscape& escape : table)
    if (escape.letter == letter) return QChar(escape.character);
  return std::nullopt;
}

// 8-bit texts from the program's Windows days (language and settings files)
// are either UTF-8 or Simplified Chinese in the GBK code page. Text that is
// valid UTF-8 is taken as UTF-8, anything else is decoded from GBK.
#pragma once

#include <QByteArrayView>
#include <QString>

enum class TextEncoding { Utf8, Gbk };

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(QByteArrayView bytes);
TextEncoding DetectTextEncoding(QByteArrayView bytes);

// Bytes that are not valid in the encoding become U+FFFD; nothing is lost
// silently around them.
QString DecodeText(QByteArrayView bytes, TextEncoding encoding);
QString DecodeText(QByteArrayView bytes);

// The longest prefix of at most maxBytes bytes that does not end inside a
// multi-byte character of the encoding.
qsizetype CharacterBoundary(QByteArrayView bytes, qsizetype maxBytes, TextEncoding encoding);

// 8-bit texts from the program's Windows days (language and settings files)
// are either UTF-8 or Simplified Chinese in the GBK code page. Text that is
// valid UTF-8 is taken as UTF-8, anything else is decoded from GBK, read as
// GB18030 (its superset), so that the user-defined codes the Windows code
// page gave private-use characters keep them.
#pragma once

#include <QByteArrayView>
#include <QString>

enum class TextEncoding { Utf8, Gbk };

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(QByteArrayView bytes);
TextEncoding detectTextEncoding(QByteArrayView bytes);

// Bytes that are not valid in the encoding become U+FFFD; nothing is lost
// silently around them: an undecodable GBK pair becomes one U+FFFD, and a
// lead byte whose next byte cannot follow it becomes U+FFFD alone, that next
// byte being read for itself. These are pieces of a text, so a leading
// U+FEFF is a character like any other: a byte-order mark is a file's
// business, to be removed by whoever reads the file.
QString decodeText(QByteArrayView bytes, TextEncoding encoding);
QString decodeText(QByteArrayView bytes);

// The longest prefix of at most maxBytes bytes that does not end inside a
// multi-byte character of the encoding.
qsizetype characterBoundary(QByteArrayView bytes, qsizetype maxBytes, TextEncoding encoding);

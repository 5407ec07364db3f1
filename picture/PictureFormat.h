// What a file holds is told by its first bytes, never by its name: a photo
// saved as .png, or an error page saved as .jpg, is common among downloads.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

enum class PictureFormat { Unknown, Jpeg, Png, Bmp, Gif, WebP, Tiff, Avif, Heif, JpegXl };

// The format whose signature `source` starts with; the device is only
// peeked at, so a decoder can read it from where it was.
PictureFormat probePictureFormat(QIODevice& source);

// The name Qt's image reader knows the format by; empty for Unknown, which
// leaves the reader to guess, and for the formats no Qt reader takes.
QByteArray qtFormatName(PictureFormat format);

// Whether `file` looks like a picture: a known signature, or else a format
// one of Qt's readers recognises. The signatures come first because asking
// Qt lists its format plugins, which costs a short command-line run more
// than all the rest of its start. Opened by the name's own bytes.
bool isPictureFile(const QString& file);

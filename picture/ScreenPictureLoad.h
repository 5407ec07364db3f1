// The loader the root-window backend is given: pictures for a screen.
#pragma once

#include <QSize>
#include <QString>
#include <memory>
#include <optional>

#include "platform/ScreenPicture.h"

// Reads `path` so that it still covers `box`, upright: a JPEG at the
// smallest DCT scale that does, an uncompressed bitmap straight from the
// mapped file without decoding, any other picture through Qt's reader.
// Nothing, with the reason in `why`, when the file cannot be read as a
// picture. Fits ScreenPictureLoader.
std::optional<ScreenPicture> loadScreenPicture(const QString& path, QSize box, QString& why);

// The same picture, to be drawn band by band: a JPEG that needs no turning
// is decoded a band of rows at a time as they are asked for; any other
// picture is read whole as above. Fits ScreenPictureOpener.
std::unique_ptr<ScreenPictureRows> openScreenPicture(const QString& path, QSize box, QString& why);

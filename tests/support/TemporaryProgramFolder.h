// A temporary program folder for tests: the data folder a test hands the
// program's code in its context, with helpers to fill it.
#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "platform/AppContext.h"

class DesktopControl;
class WallpaperSetter;

class ProgramFolder {
 public:
  ProgramFolder() = default;
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  // The folder, ending with "/".
  QString path() const;
  // Quiet services (or the given ones) with this folder as the data folder.
  AppContext context(std::shared_ptr<WallpaperSetter> setter = nullptr,
                     std::shared_ptr<DesktopControl> desktop = nullptr) const;
  QString file(const QString& relative) const { return path() + relative; }
  void writeFile(const QString& relative, const QByteArray& bytes) const;
  QByteArray readFile(const QString& relative) const;
  // The shipped English language file.
  void copyEnglishLanguage() const;
  // A picture of one colour; the format follows the extension (.jpg or .bmp).
  QString writePicture(const QString& relative, QSize size, const QColor& color) const;
  // A picture for each name and "list.dat" listing them in order: the rows.
  QStringList writeRotationList(const QStringList& relatives) const;

 private:
  QTemporaryDir m_dir;
};

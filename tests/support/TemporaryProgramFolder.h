// A temporary program folder for tests: the executable folder that the
// program's code addresses its files from, with helpers to fill it.
#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  // The folder, ending with "/".
  QString path() const;
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

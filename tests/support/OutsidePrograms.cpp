#include "support/OutsidePrograms.h"

#include <QProcess>
#include <QStandardPaths>

QString programProblem(const QString& program, const QStringList& question, const QString& package) {
  const QString path = program.contains('/') ? program : QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return program + " is not installed (package " + package + ")";
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(path, question);
  const bool finished = process.waitForFinished(10000);
  const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
  if (!finished) {
    process.kill();
    process.waitForFinished(2000);
    return program + " did not answer " + question.join(' ') + ": " + process.errorString();
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
    return QString("%1 does not run (package %2): exit code %3: %4")
        .arg(program, package)
        .arg(process.exitCode())
        .arg(said.section('\n', -1));
  return {};
}

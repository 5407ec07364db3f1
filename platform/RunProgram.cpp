#include "platform/RunProgram.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

// The last non-empty line a tool wrote on standard error says the most.
QString LastErrorLine(const QByteArray& errors) {
  const QStringList lines = QString::fromLocal8Bit(errors).split(u'\n', Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

}  // namespace

QString ProgramRun::describeFailure(const QString& program) const {
  switch (outcome) {
    case RunOutcome::NotFound:
      return QStringLiteral("%1 is not installed or cannot be started").arg(program);
    case RunOutcome::TimedOut:
      return QStringLiteral("%1 did not finish in time and was stopped").arg(program);
    case RunOutcome::Crashed:
      return QStringLiteral("%1 crashed").arg(program);
    case RunOutcome::Finished:
      break;
  }
  const QString why = LastErrorLine(errors);
  return why.isEmpty() ? QStringLiteral("%1 exited with code %2").arg(program).arg(exitCode)
                       : QStringLiteral("%1 exited with code %2: %3").arg(program).arg(exitCode).arg(why);
}

ProgramRun RunProgram(const QString& program, const QStringList& arguments, std::chrono::milliseconds limit) {
  ProgramRun run;
  const QString executable = QStandardPaths::findExecutable(program);
  if (executable.isEmpty()) return run;

  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(executable, arguments);
  if (!process.waitForStarted(static_cast<int>(limit.count()))) return run;
  if (!process.waitForFinished(static_cast<int>(limit.count()))) {
    process.kill();
    process.waitForFinished(1000);
    run.outcome = RunOutcome::TimedOut;
    return run;
  }
  run.output = process.readAllStandardOutput();
  run.errors = process.readAllStandardError();
  run.exitCode = process.exitCode();
  run.outcome = process.exitStatus() == QProcess::NormalExit ? RunOutcome::Finished : RunOutcome::Crashed;
  return run;
}

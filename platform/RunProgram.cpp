#include "platform/RunProgram.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

// How often a running program's end and the token are looked at.
constexpr int kPollMs = 50;

// The last non-empty line a tool wrote on standard error says the most.
QString lastErrorLine(const QByteArray& errors) {
  const QStringList lines = QString::fromLocal8Bit(errors).split(u'\n', Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

ProgramRun stopped(QProcess& process, RunOutcome outcome) {
  process.kill();
  process.waitForFinished(1000);
  ProgramRun run;
  run.outcome = outcome;
  return run;
}

}  // namespace

QString ProgramRun::describeFailure(const QString& program) const {
  switch (outcome) {
    case RunOutcome::NotFound:
      return QStringLiteral("%1 is not installed or cannot be started").arg(program);
    case RunOutcome::TimedOut:
      return QStringLiteral("%1 did not finish in time and was stopped").arg(program);
    case RunOutcome::Cancelled:
      return QStringLiteral("%1 was stopped before it finished").arg(program);
    case RunOutcome::Crashed:
      return QStringLiteral("%1 crashed").arg(program);
    case RunOutcome::Finished:
      break;
  }
  const QString why = lastErrorLine(errors);
  return why.isEmpty() ? QStringLiteral("%1 exited with code %2").arg(program).arg(exitCode)
                       : QStringLiteral("%1 exited with code %2: %3").arg(program).arg(exitCode).arg(why);
}

ProgramRun runProgram(const QString& program, const QStringList& arguments, std::chrono::milliseconds limit) {
  const CancelToken deadline{QDeadlineTimer(limit)};
  ProgramRun run = runProgram(program, arguments, deadline);
  if (run.outcome == RunOutcome::Cancelled) run.outcome = RunOutcome::TimedOut;
  return run;
}

ProgramRun runProgram(const QString& program, const QStringList& arguments, const CancelToken& cancel) {
  ProgramRun run;
  const QString executable = QStandardPaths::findExecutable(program);
  if (executable.isEmpty()) return run;

  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(executable, arguments);
  if (!process.waitForStarted(-1)) return run;
  // Output is gathered as it comes, so a talkative tool never blocks on a full pipe.
  QByteArray output, errors;
  while (!process.waitForFinished(kPollMs)) {
    if (process.state() == QProcess::NotRunning) break;
    output += process.readAllStandardOutput();
    errors += process.readAllStandardError();
    if (cancel.isCancelled()) return stopped(process, RunOutcome::Cancelled);
  }
  run.output = output + process.readAllStandardOutput();
  run.errors = errors + process.readAllStandardError();
  run.exitCode = process.exitCode();
  run.outcome = process.exitStatus() == QProcess::NormalExit ? RunOutcome::Finished : RunOutcome::Crashed;
  return run;
}

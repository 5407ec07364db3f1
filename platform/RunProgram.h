// Runs a desktop's command-line tool: an argument list handed straight to the
// program (no shell, so no text in a path can turn into a command), and a time
// limit, so that a hanging tool cannot freeze the program.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>

enum class RunOutcome {
  Finished,  // the program ended by itself; see exitCode
  NotFound,  // no such program on PATH, or it could not be started
  TimedOut,  // killed after the time limit
  Crashed,   // ended by a signal
};

struct ProgramRun {
  RunOutcome outcome = RunOutcome::NotFound;
  int exitCode = -1;
  QByteArray output;  // standard output
  QByteArray errors;  // standard error

  bool succeeded() const { return outcome == RunOutcome::Finished && exitCode == 0; }
  // One line that says what went wrong, for the user's log.
  QString describeFailure(const QString& program) const;
};

inline constexpr std::chrono::milliseconds kProgramTimeLimit{10000};

ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                      std::chrono::milliseconds limit = kProgramTimeLimit);

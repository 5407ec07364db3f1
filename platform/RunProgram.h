// Runs a desktop's command-line tool: an argument list handed straight to the
// program (no shell, so no text in a path can turn into a command), and a time
// limit or a token from the thread that waits, so that a hanging tool is
// stopped rather than left to hold up whoever waits for it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>

#include "platform/CancelToken.h"

enum class RunOutcome {
  Finished,   // the program ended by itself; see exitCode
  NotFound,   // no such program on PATH, or it could not be started
  TimedOut,   // killed after the time limit
  Cancelled,  // killed because the token said to stop
  Crashed,    // ended by a signal
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

ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      std::chrono::milliseconds limit = kProgramTimeLimit);
// The same, stopped (the program killed) as soon as cancel says so; the
// token's deadline is the only time limit.
ProgramRun runProgram(const QString& program, const QStringList& arguments, const CancelToken& cancel);

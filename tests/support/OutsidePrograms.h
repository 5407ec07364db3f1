// The outside programs some tests start, and whether they really run here.
#pragma once

#include <QString>
#include <QStringList>

// Why a program the tests start cannot be used here, or an empty text when it
// answers a harmless question (its version, say). Being on PATH is not
// enough: a program whose shared libraries are missing fails at every call.
// `program` is a name looked up on PATH or a full path.
QString programProblem(const QString& program, const QStringList& question, const QString& package);

// The desktop's trash (the freedesktop one, which file managers restore
// from) for files the user throws away.
#pragma once

#include <QString>

// Moves the file to the trash; false, leaving it where it was, when it
// cannot go there. Qt's own move puts a file into a "files" folder of the
// working folder when the user's data folder does not exist yet: the data
// folder is made first, and a file that does not land in a trash is moved
// back.
bool moveFileToTrash(const QString& path);

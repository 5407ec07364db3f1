#pragma once

#include <QString>

// Whether a graphical session can be reached; why not, in one plain phrase.
bool graphicalSessionAvailable(QString* why);

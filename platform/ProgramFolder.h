// Where the program keeps its files, and the home site it talks to.
#pragma once

#include <QString>

// The folder of the running executable, ending with "/". Every file the
// program keeps is addressed relative to it.
QString ExeFolder();
// Tests run the program's code against a folder of their own.
void SetExeFolderForTesting(const QString& folder);

// The home site's host name, fixed at build time.
QString HomeHost();

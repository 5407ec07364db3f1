// Where the program keeps its files, and the home site it talks to.
#pragma once

#include <QString>

// The folder of the running executable, ending with "/". Every file the
// program keeps is addressed relative to it.
QString ExeFolder();
// Tests run the program's code against a folder of their own.
void SetExeFolderForTesting(const QString& folder);

// The home site's host name. A site of one's own is chosen at run time:
// NIMBRA_HOME_HOST in the environment first, then the "host" key of the
// [home] section of setting.ini; a value that is not a usable host is passed
// over with a warning. Without either, the host built in.
QString HomeHost();
// The host the program was built with.
QString BuiltInHomeHost();
// Whether text can stand as the host of every address the program makes: a
// host name or numeric IPv4 address in lower case, and no port, since the
// program always talks to port 80.
bool IsUsableHomeHost(const QString& host);

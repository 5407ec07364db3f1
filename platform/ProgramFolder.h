// Where the program keeps its files, and the home site it talks to.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QProcessEnvironment;

// The folder of the running executable, ending with "/".
QString exeFolder();

// Where the program keeps lang.ini, setting.ini, list.dat and wallpaper/.
enum class DataFolderKind {
  Portable,  // beside the executable, in a folder the user may write
  PerUser,   // an installed program: $XDG_DATA_HOME/nimbra-wallpaper/
};
DataFolderKind chooseDataFolderKind();
// The data folder, ending with "/", as the program's entry chooses it. Every
// file the program keeps is addressed relative to it; everything below the
// entry is handed the folder instead of asking for it.
QString dataFolder();
// $XDG_DATA_HOME/nimbra-wallpaper/ ($HOME/.local/share/... when the variable
// is not an absolute path), read from the environment at every call.
QString userDataFolder();
// What an installed program ships for seeding: <prefix>/share/nimbra-wallpaper/.
QString installedShareFolder();

// Gives a per-user data folder (ending with "/") what a first start needs,
// from a folder of samples (ending with "/"): the sample store wallpaper/
// and the language file that fits the first of the desktop's languages that
// has one (lang/<language>/lang.ini, see languageFolderFor, or a lone
// lang.ini), each only when missing, so nothing the user has is overwritten.
// False, with the reasons, when a piece could not be put in place.
bool seedDataFolder(const QString& dataFolder, const QString& shareFolder, const QStringList& languages,
                    QString* error);
// Seeds the per-user data folder for the system's language, from the
// installed share folder, or from the executable's own folder when that is
// a portable folder that cannot be written; a portable folder that can be
// written is left as it is.
bool prepareDataFolder(QString* error);
// The languages the desktop asks for, most wanted first, as language folder
// names ("pt_BR", "de"): the entries of LANGUAGE, then the first of LC_ALL,
// LC_MESSAGES and LANG that is set; the C locale asks for none.
QStringList desktopLanguages(const QProcessEnvironment& environment);
// The folder under languagesFolder (ending with "/") whose lang.ini serves
// the first language that has one, taken as it is ("pt_BR") and then
// without its territory ("pt"); "en" when none has.
QString languageFolderFor(const QStringList& languages, const QString& languagesFolder);

// The home site's address, "http://host" or "https://host:port/folder"
// without a final "/", so that the pages' paths can follow it. A site of
// one's own is chosen at run time: NIMBRA_HOME_HOST in the environment first,
// then the "host" key of the [home] section of the data folder's setting.ini;
// a value that is not a usable address is passed over with a warning.
// Without either, the host built in, over http.
QString homeSite(const QString& dataFolder);
// The host the program was built with.
QString builtInHomeHost();
// Whether text can stand as the host of every address the program makes: a
// host name or numeric IPv4 address in lower case, without a port.
bool isUsableHomeHost(const QString& host);
// A home site's address as homeSite() gives it, from what a user writes: a
// bare host means http://host/; the scheme is http or https, the host a
// usable one (taken in lower case), an optional port, an optional folder.
// Nothing for anything else.
std::optional<QString> homeSiteAddress(const QString& text);
// Stores address (as homeSiteAddress() accepts it) as the [home] host of
// the data folder's setting.ini.
void storeHomeSite(const QString& dataFolder, const QString& address);

#pragma once
#include <QDateTime>
#include <QString>

// Where the program keeps its own files, and how stored or typed catalog folders become paths.
namespace app {

// The program folder, ending in "/": $MORVANEL_PROGRAM_DIR when set, else the executable's
// folder when it is writable, else $XDG_DATA_HOME/Morvanel/ (default ~/.local/share). Created
// when missing.
QString programDirectory();

// When this run of the program began (the time its code was loaded). Files older than this
// that a save of this program left cannot belong to a save still running in this run.
QDateTime runStartTime();

// A catalog folder as stored in the settings or a list file, or given on the command line:
// "\" becomes "/", a relative path counts from the current folder, and the result ends with
// exactly one "/". An empty text stays empty (it counts as a missing folder). Letter case is kept.
QString catalogPath(const QString& stored);

// True for a Windows path with a drive letter ("C:\..."), which has no meaning here.
bool hasDriveLetter(const QString& path);

// A tree file name that can be used inside the catalog: not empty, no "/" or "\", not "." or "..".
bool isUsableLayerName(const QString& name);

} // namespace app

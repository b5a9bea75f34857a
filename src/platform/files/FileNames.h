#pragma once
#include <QString>

namespace platform {

// File names are matched without regard to letter case, as the program spells some of its
// files in several ways ("CurrentMenue", "currentMenue", "currentmenue" name one file).
//
// resolvePath turns a path into the one that exists: each component is taken exactly when it
// exists, else the case-insensitive match in its folder (the first in sorted order when there
// are several). Components that match nothing are kept as given, so a file about to be created
// reuses the spelling of existing folders and is created under the given name.
QString resolvePath(const QString& path);

// Same, for a name inside a folder (the folder itself is resolved too).
QString resolveIn(const QString& dir, const QString& name);

bool existsNoCase(const QString& path);

// Creates one folder (its parent must exist), reusing the spelling of an existing folder that
// differs only in letter case. Returns true when the folder exists afterwards.
bool makeDirNoCase(const QString& path);
// The same for a folder of the program's own files (scratch files): a symbolic link in its place
// that leads out of the parent folder, as a catalog received from someone else may hold, is
// removed (the link, never what it leads to) and a real folder made there.
bool makeOwnDirNoCase(const QString& path);

// While a scope is alive, folder listings are read once and reused, so resolving many names in
// one folder does not list it again each time. Files created through resolvePath's answers
// during the scope are not seen by it unless noteCreated is called; open a scope per operation.
class ResolveScope {
public:
    ResolveScope();
    ~ResolveScope();
    ResolveScope(const ResolveScope&) = delete;
    ResolveScope& operator=(const ResolveScope&) = delete;
    static void noteCreated(const QString& path);
};

} // namespace platform

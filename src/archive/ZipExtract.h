#pragma once
// The extraction engine of TZipReader: selecting members, destination names, the events, the
// password loop, overwrite rules, decoder dispatch, the CRC check, dates and attributes.
#include "archive/UnzipIO.h"
#include "archive/ZipCrypt.h"

#include <QString>

namespace archive {

// The state of one extraction run (one UnZipSelected call).
struct TUnzipRun {
    TUnzipIO IO;
    TZipCrypt Crypt;
    bool Retry = false;   // the member is to be extracted again with a new password
    int FilesToDo = 0;
    int FilesDone = 0;
};

// A stored name up to its first NUL character: what follows a NUL is never part of a path.
QString CutAtNul(const QString& name);

// True when a stored member path (directory with "\" and name) would leave the destination
// folder: an absolute path ("\x", "/x", "C:x") or a ".." component.
bool IsUnsafeMemberPath(const QString& storedPath);

} // namespace archive

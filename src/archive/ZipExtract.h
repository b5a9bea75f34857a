#pragma once
// The extraction engine of TZipReader: selecting members, destination names, the events, the
// password loop, overwrite rules, decoder dispatch, the CRC check, dates and attributes.
#include "archive/UnzipIO.h"
#include "archive/ZipCrypt.h"

#include <QString>

#include <memory>
#include <vector>

namespace archive {

class TUnpackAhead;

// The state of one extraction run (one UnZipSelected call).
struct TUnzipRun {
    TUnzipRun();
    ~TUnzipRun();
    TUnzipIO IO;
    TZipCrypt Crypt;
    bool Retry = false;   // the member is to be extracted again with a new password
    int PasswordForm = 0; // the first byte form of the password to try on the member
    // Members decoded ahead on worker threads (none for a volume set or encrypted members).
    std::unique_ptr<TUnpackAhead> Ahead;
    int FilesToDo = 0;
    int FilesDone = 0;
    // The last destination folder seen to exist: members of one folder stat it once.
    QString FolderSeen;
    // The destination folder of the run.
    QString DestFolder;
    // Expanded bytes gathered for the part file being written.
    std::vector<uint8_t> WriteBuffer;
};

// A stored name up to its first NUL character: what follows a NUL is never part of a path.
QString CutAtNul(const QString& name);

// A stored path as it is placed under the destination: a drive ("X:" followed by "\" or "/",
// or ending the name) and leading separators are dropped. Any other ":" is part of a name.
QString RelativeMemberPath(const QString& storedPath);

// True when a stored member path (directory with "\" and name) would leave the destination
// folder even so: a ".." component.
bool IsUnsafeMemberPath(const QString& storedPath);

// The compression methods extraction decodes.
bool MethodSupported(uint16_t method);

} // namespace archive

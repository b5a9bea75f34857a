#pragma once
// The extraction engine of TZipReader: selecting members, destination names, the events, the
// password loop, overwrite rules, decoder dispatch, the CRC check, dates and attributes.
#include "archive/UnzipIO.h"
#include "archive/ZipCrypt.h"

#include <QString>

#include <chrono>
#include <memory>
#include <vector>

namespace archive {

class TUnpackAhead;

// Where a member goes: its stored path (up to a NUL), and under the destination folder its
// file name (empty for a folder entry) and folder (Path, ending in "/"). Unsafe when the name
// would lead out of the destination folder or names nothing: such a member is never written,
// whatever the options say. Folder: the folder as a file of that name has it (worked out
// only for members unpacked ahead).
struct TMemberPlace {
    QString StoredPath;
    QString FileName;
    QString Path;
    QString Folder;
    bool Unsafe = false;
};

// The state of one extraction run (one UnZipSelected call).
struct TUnzipRun {
    TUnzipRun();
    ~TUnzipRun();
    TUnzipIO IO;
    TZipCrypt Crypt;
    bool Retry = false;   // the member is to be extracted again with a new password
    int PasswordForm = 0; // the first byte form of the password to try on the member
    // Members decoded ahead on worker threads (none for a volume set or encrypted members),
    // and where each member goes, worked out once for them.
    std::unique_ptr<TUnpackAhead> Ahead;
    std::vector<TMemberPlace> Places;
    int FilesToDo = 0;
    int FilesDone = 0;
    // The last destination folder seen to exist: members of one folder stat it once.
    QString FolderSeen;
    // When the message loop is to run next.
    std::chrono::steady_clock::time_point NextMessages;
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

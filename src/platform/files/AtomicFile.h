#pragma once
// Atomic saves of whole files, alone or in batches, and reading a whole file.
#include "TempFiles.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace platform {

// Writes a whole file atomically: a temporary file beside the target is written, flushed to
// disk and renamed over it, so a reader sees either the old or the new file, never a part.
// A file without write permission for the user (from its mode bits, so also for root) is not
// replaced: the rename needs only the folder's permission and would undo the protection.
// A symbolic link in the file's place is followed to the file it leads to; a link to a file
// that is not there is refused, never made into a new file wherever it points.
// Returns false with a readable message in *error when anything fails; the target is then
// unchanged and no temporary file is left behind.
bool writeFileAtomic(const QString& path, QByteArrayView data, QString* error = nullptr);
// The same for the program's own files (trees, lists, records, scratch files): a symbolic link in
// the file's place is followed only to a file in the link's own folder or below it; a link that
// leads out of it is replaced by the file, never written through (a catalog received from
// someone else may hold such a link to any file of the user). The user's own notes and pages,
// saved with writeFileAtomic, keep their links wherever they lead.
bool writeOwnFileAtomic(const QString& path, QByteArrayView data, QString* error = nullptr);

// The longest file name, in bytes, that writeFileAtomic and AtomicBatch can save: any name the
// file system takes, since the temporary name beside it keeps only as much of the name as fits.
int longestSavedName();

// True when `path` (links followed) is a file the user has no write permission for, by the same
// mode-bit rule as writeFileAtomic: writers that replace a file by a rename of their own check it.
bool isWriteProtected(const QString& path);

// Many files saved atomically with one flush to disk for all of them (a flush per file costs
// milliseconds each): add writes each file to its temporary name beside its target; commit
// flushes the file system once and renames every temporary file over its target. Until commit
// nothing is replaced; a batch destroyed without commit removes its temporary files.
class AtomicBatch {
public:
    AtomicBatch();
    ~AtomicBatch();
    AtomicBatch(const AtomicBatch&) = delete;
    AtomicBatch& operator=(const AtomicBatch&) = delete;
    // False with *error when the temporary file cannot be written (a write-protected target too).
    bool add(const QString& path, QByteArrayView data, QString* error = nullptr);
    // False with *error at the first rename that fails; the files renamed before it stay.
    bool commit(QString* error = nullptr);

    struct Pending;

private:
    QList<Pending> pending_;
};

// Reads a whole file. Returns false (with *error) when it cannot be opened or read.
bool readWholeFile(const QString& path, QByteArray& data, QString* error = nullptr);

} // namespace platform

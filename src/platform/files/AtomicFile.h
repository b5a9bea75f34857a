#pragma once
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
// Returns false with a readable message in *error when anything fails; the target is then
// unchanged and no temporary file is left behind.
bool writeFileAtomic(const QString& path, QByteArrayView data, QString* error = nullptr);

// The longest file name, in bytes, that writeFileAtomic and AtomicBatch can save: the temporary
// name they write beside it is longer than the name itself.
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

// Removes from one folder the temporary files that saves cut short (a killed program) left
// behind: names of the save's own pattern ("." + name + "." + six letters or digits) beside an
// existing file of that name, last modified before `before` (so a save still running in another
// program is not disturbed). Anything else stays. Returns how many were removed.
int removeLeftoverTemporaries(const QString& dir, const QDateTime& before);
// The same for a writer whose own files those are: every temporary whose target name `ours`
// accepts goes, whether or not the target exists (a run killed before its first rename leaves
// temporaries of files it never wrote).
int removeLeftoverTemporaries(const QString& dir, const QDateTime& before, const std::function<bool(const QString&)>& ours);
// The same for the temporary files of other writers, of any name pattern: the regular files of one folder whose
// name fits nameFits, last modified before `before`, and for which fileFits(path) holds, when
// given (path: the folder's path, "/", the name). Returns how many were removed.
int removeLeftoverFiles(const QString& dir, const QDateTime& before,
                        const std::function<bool(const QByteArray& name)>& nameFits,
                        const std::function<bool(const QByteArray& path)>& fileFits = {});

// Reads a whole file. Returns false (with *error) when it cannot be opened or read.
bool readWholeFile(const QString& path, QByteArray& data, QString* error = nullptr);

} // namespace platform

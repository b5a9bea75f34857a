#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace platform {

// Writes a whole file atomically: a temporary file beside the target is written, flushed to
// disk and renamed over it, so a reader sees either the old or the new file, never a part.
// A file without write permission for the user (from its mode bits, so also for root) is not
// replaced: the rename needs only the folder's permission and would undo the protection.
// Returns false with a readable message in *error when anything fails; the target is then
// unchanged and no temporary file is left behind.
bool writeFileAtomic(const QString& path, QByteArrayView data, QString* error = nullptr);

// Removes from one folder the temporary files that saves cut short (a killed program) left
// behind: names of the save's own pattern ("." + name + "." + six letters or digits) beside an
// existing file of that name, last modified before `before` (so a save still running in another
// program is not disturbed). Anything else stays. Returns how many were removed.
int removeLeftoverTemporaries(const QString& dir, const QDateTime& before);

// Reads a whole file. Returns false (with *error) when it cannot be opened or read.
bool readWholeFile(const QString& path, QByteArray& data, QString* error = nullptr);

} // namespace platform

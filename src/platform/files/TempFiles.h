#pragma once
// The program's own temporary files: their names (a marker of the program's own and a random
// part of fixed length and alphabet), their creation, and the clean-up of those that runs cut
// short (a killed program) left behind.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <sys/types.h>

namespace platform {

// The random part of every temporary name: exactly this many letters (either case) or digits.
inline constexpr int kTempRandomChars = 6;
// The program's marker in the names of its hidden temporary files. No user names a file
// ".notes.html.morvanel-Ab12Cd"; ".notes.html.backup" stays the user's.
inline constexpr char kTempMarker[] = "morvanel-";

// folder + "/" + prefix + a fresh random part + suffix (the file is not made).
QByteArray tempFileName(const QByteArray& folder, const QByteArray& prefix, const QByteArray& suffix = {});
// Creates such a file with O_EXCL (an existing name or a link there is never opened) and the
// given mode (less the umask), open for reading and writing. Returns the descriptor and its
// name in *path, or -1 with errno set.
int openTempFile(const QByteArray& folder, const QByteArray& prefix, const QByteArray& suffix, QByteArray* path,
                 mode_t mode = 0600);
// True when `name` is prefix + exactly kTempRandomChars letters or digits + suffix.
bool isTempFileName(const QByteArray& name, const QByteArray& prefix, const QByteArray& suffix = {});

// The hidden temporary file of an atomic save of `target` (a file name without folder):
// "." + target + "." + kTempMarker, followed by the random part. A target too long for the
// whole to fit in a file name keeps only its end (so its extension) in the temporary's name.
QByteArray atomicTemporaryPrefix(const QByteArray& target);
// The target part of an atomic save's temporary name (maybe cut at its start); empty when
// `name` is not of that pattern.
QByteArray atomicTemporaryTarget(const QByteArray& name);

// Removes from one folder the temporaries of atomic saves cut short, last modified before
// `before` (a save still running in another copy of the program is not disturbed): names of
// the save's pattern whose target `ours` accepts (every one when not given). Anything else
// stays, the user's hidden files among them. Returns how many were removed.
int removeLeftoverTemporaries(const QString& dir, const QDateTime& before,
                              const std::function<bool(const QString& target)>& ours = {});
// The same for the temporary files of other writers: the regular files of one folder whose
// name fits nameFits, last modified before `before`, and for which fileFits(path) holds, when
// given (path: the folder's path, "/", the name). Returns how many were removed.
int removeLeftoverFiles(const QString& dir, const QDateTime& before,
                        const std::function<bool(const QByteArray& name)>& nameFits,
                        const std::function<bool(const QByteArray& path)>& fileFits = {});

} // namespace platform

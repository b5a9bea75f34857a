#pragma once
#include <QList>
#include <QString>

class QTreeWidgetItem;

// Moving a node's files, and those of its whole subtree, from one catalog folder to another:
// everything is checked first, nothing is overwritten, and a failure midway puts back what
// had moved.
namespace nodemove {

struct FileMove {
    QString from;
    QString to;
};

// The file kinds a node owns in its catalog: its note and its page.
const QStringList& nodeFileExtensions();

enum class PlanResult { Ok, NoFile, Refused };

// The files of node and its descendants found in sourceDir, each with its place in targetDir
// (both folders end in "/"). NoFile: the node itself has no file. Refused: *error says why (a
// text that cannot name a file, a destination that exists, two files with one destination).
PlanResult planMove(const QTreeWidgetItem* node, const QString& sourceDir, const QString& targetDir,
                    QList<FileMove>& moves, QString* error);

// Moves one file without replacing an existing one. Across file systems the file is copied to
// a temporary name beside its destination, flushed, given the source's modification time,
// renamed into place, and only then removed at the source.
bool moveFile(const QString& from, const QString& to, QString* error);

// Moves every file, or none: after a failure the files already moved go back.
bool moveAll(const QList<FileMove>& moves, QString* error);

// Lets a test cut a move short as a power loss would: with MORVANEL_MOVE_KILL_AT=N in the
// environment, the process kills itself at step N: just before the (N+1)th file appears at its
// destination (across file systems its copy then lies in a temporary file), or, N being the
// number of files, once the target's tree is written.
void cutPoint(int step);

} // namespace nodemove

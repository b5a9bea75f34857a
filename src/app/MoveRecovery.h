#pragma once
#include "NodeMove.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A node manager move renames its files into the target catalog, then writes the target's tree,
// then the source's. A record of the move, kept beside the source catalog's tree from before
// the first file moves until both trees are written, lets the next load of the source catalog
// finish a move that was cut short (a kill, a power loss) or put its files back, so that every
// file is listed by exactly one tree.
namespace nodemove {

struct MoveRecord {
    QString sourceDir;        // ends in "/"
    QString targetDir;        // ends in "/"
    QString treeName;         // the source's tree file, in sourceDir
    QString nodeText;         // the moved node's text, for the message
    int nodeIndex = -1;       // its absolute index in the source tree file
    QList<QByteArray> lines;  // the source tree file's lines of the moved subtree
    QList<FileMove> files;
    // Fingerprints of the tree files as they were before the move ("-" for a missing file).
    QByteArray sourceTree, sourceIcons, targetTree;
};

// The record's file in a source catalog.
QString recordPath(const QString& sourceDir);

// Writes the record of a move about to begin, atomically. The source tree file must hold the
// moved subtree at nodeIndex (the caller writes the tree first); the fingerprints and the
// subtree's lines are taken here. False, with *error, when the record cannot be written.
bool beginMove(MoveRecord& record, QString* error);

// The move is over, its trees written or its files all back: the record goes.
void endMove(const QString& sourceDir);

// True when every file lies at its source and none at its destination.
bool allAtSource(const QList<FileMove>& files);

// What the user is told of a recovery: a short text, and the long list of files in details.
struct RecoveryReport {
    QString text;
    QString details;
};

// True when folder is one of the catalogs (the same folder, links resolved).
bool isKnownCatalog(const QString& folder, const QStringList& catalogs);

// At a catalog load: when the catalog holds a record, the move is finished if the target's tree
// already lists the moved nodes, else its files go back. Hidden temporary files of a copy cut
// short are removed from both folders (the catalog load has removed the temporary file of a save
// of the record cut short, with those of every other save). Returns what the user is to be told (an empty text when there was no
// record). Nothing is touched unless the target is one of `catalogs` (the catalog list) holding
// a tree file and the record's files are those of the moved nodes. The record stays when a file
// could not be put in place or is found nowhere, for the next load.
RecoveryReport recoverMove(const QString& sourceDir, const QStringList& catalogs);

// The files that the records of moves cut short, lying in the given catalogs, name as moving
// into targetDir: they belong to the source catalog's tree until its next load settles them.
QList<FileMove> pendingArrivals(const QString& targetDir, const QStringList& catalogs);

} // namespace nodemove

#pragma once
#include "NodeMove.h"

#include <QByteArray>
#include <QList>
#include <QString>

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

// At a catalog load: when the catalog holds a record, the move is finished if the target's tree
// already lists the moved nodes, else its files go back. Hidden temporary files of a copy cut
// short are removed from both folders. Returns what the user is to be told (empty when there
// was no record). The record stays when a file could not be put in place, for the next load.
QString recoverMove(const QString& sourceDir);

} // namespace nodemove

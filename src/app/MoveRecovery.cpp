// The record of a node manager move under way, and what a catalog load does with one left by a
// move that was cut short.
#include "MoveRecovery.h"

#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

namespace nodemove {

namespace {
const QByteArray kHeading = "Morvanel node move";

QByteArray fingerprint(const QString& path)
{
    QByteArray data;
    if (!QFileInfo(path).isFile() || !platform::readWholeFile(path, data))
        return "-";
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QString targetTreeFile(const QString& targetDir) { return platform::resolveIn(targetDir, QStringLiteral("Menue")); }
QString treeFile(const MoveRecord& r) { return platform::resolveIn(r.sourceDir, r.treeName); }
QString iconFile(const MoveRecord& r) { return platform::resolveIn(r.sourceDir, r.treeName + QStringLiteral("_ind")); }

QByteArray enc(const QString& s) { return QUrl::toPercentEncoding(s); }
QString dec(const QByteArray& b) { return QString::fromUtf8(QByteArray::fromPercentEncoding(b)); }

QByteArray serialize(const MoveRecord& r)
{
    QByteArray out = kHeading + '\n';
    out += "source " + enc(r.sourceDir) + '\n';
    out += "target " + enc(r.targetDir) + '\n';
    out += "tree " + enc(r.treeName) + '\n';
    out += "node " + QByteArray::number(r.nodeIndex) + ' ' + enc(r.nodeText) + '\n';
    for (const QByteArray& l : r.lines)
        out += "line " + l.toPercentEncoding() + '\n';
    for (const FileMove& f : r.files)
        out += "file " + enc(QFileInfo(f.from).fileName()) + ' ' + enc(QFileInfo(f.to).fileName()) + '\n';
    out += "before " + r.sourceTree + ' ' + r.sourceIcons + ' ' + r.targetTree + '\n';
    return out;
}

bool isPlainName(const QString& n) { return !n.isEmpty() && !n.contains(u'/') && n != u"." && n != u".."; }

// The record as written by serialize; the source is the folder it lies in, wherever that is now.
bool parse(const QByteArray& data, const QString& sourceDir, MoveRecord& r)
{
    const QList<QByteArray> rows = data.split('\n');
    if (rows.value(0) != kHeading)
        return false;
    r.sourceDir = sourceDir;
    QList<std::pair<QString, QString>> names;
    bool before = false;
    for (const QByteArray& row : rows.mid(1)) {
        const QList<QByteArray> f = row.split(' ');
        const QByteArray& key = f[0];
        if (key == "target" && f.size() == 2)
            r.targetDir = dec(f[1]);
        else if (key == "tree" && f.size() == 2)
            r.treeName = dec(f[1]);
        else if (key == "node" && f.size() == 3) {
            bool ok = false;
            r.nodeIndex = f[1].toInt(&ok);
            r.nodeText = dec(f[2]);
            if (!ok)
                return false;
        } else if (key == "line" && f.size() == 2)
            r.lines.append(QByteArray::fromPercentEncoding(f[1]));
        else if (key == "file" && f.size() == 3)
            names.append({dec(f[1]), dec(f[2])});
        else if (key == "before" && f.size() == 4) {
            r.sourceTree = f[1];
            r.sourceIcons = f[2];
            r.targetTree = f[3];
            before = true;
        }
    }
    if (!before || r.nodeIndex < 0 || r.lines.isEmpty() || names.isEmpty() || !isPlainName(r.treeName)
        || !r.targetDir.endsWith(u'/'))
        return false;
    // Only names of files directly in the two catalogs: a record never moves anything else.
    for (const auto& [from, to] : names) {
        if (!isPlainName(from) || !isPlainName(to))
            return false;
        r.files.append({r.sourceDir + from, r.targetDir + to});
    }
    return true;
}

bool exists(const QString& p) { return QFileInfo(p).isFile(); }

bool sameContent(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 16) != fb.read(1 << 16))
            return false;
    }
    return true;
}

// Brings a file to where it belongs: `there` is where it must not stay, `here` where it goes.
// A file found in both places is a copy across file systems whose source was not yet removed.
void place(const QString& there, const QString& here, QStringList& problems)
{
    const bool atThere = exists(there), atHere = exists(here);
    QString why;
    if (atThere && !atHere) {
        if (!moveFile(there, here, &why))
            problems.append(QStringLiteral("\"%1\" could not be moved to \"%2\": %3").arg(there, here, why));
    } else if (atThere && atHere) {
        if (!sameContent(there, here))
            problems.append(QStringLiteral("\"%1\" and \"%2\" differ; both are kept.").arg(there, here));
        else if (!QFile::remove(there))
            problems.append(QStringLiteral("\"%1\" could not be removed.").arg(there));
    } else if (!atHere) {
        // On a drive that is away, say: the record must stay until the file is found.
        problems.append(QStringLiteral("\"%1\" is found neither there nor as \"%2\".").arg(there, here));
    }
}

void removeTemporaries(const QString& dir)
{
    const QStringList temps = QDir(dir).entryList({QStringLiteral(".morvanel-move-??????")},
                                                  QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& t : temps)
        QFile::remove(dir + t);
}

std::pair<int, QByteArray> indented(const QByteArray& line)
{
    int d = 0;
    while (d < line.size() && (line[d] == '\t' || line[d] == ' '))
        ++d;
    return {d, line.mid(d)};
}

// The node texts of tree file lines.
QSet<QString> texts(const QList<QByteArray>& lines)
{
    QSet<QString> out;
    for (const QByteArray& l : lines)
        out.insert(platform::fromCp1251(indented(l).second));
    return out;
}

// The node text whose file a name is (text + one of the node file extensions), or empty.
QString nodeOfFile(const QString& name, const QSet<QString>& nodes)
{
    for (const QString& ext : nodeFileExtensions())
        if (name.endsWith(ext, Qt::CaseInsensitive) && nodes.contains(name.chopped(ext.size())))
            return name.chopped(ext.size());
    return QString();
}

// Every file of the record is a file of a node of the moved subtree, under its node's name in
// both catalogs: a record never moves a file that is not a node's.
bool filesAreNodes(const MoveRecord& r)
{
    const QSet<QString> nodes = texts(r.lines);
    for (const FileMove& f : r.files) {
        const QString from = QFileInfo(f.from).fileName(), to = QFileInfo(f.to).fileName();
        if (nodeOfFile(to, nodes).isEmpty() || from.compare(to, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

QString canonicalFolder(const QString& folder)
{
    const QString c = QFileInfo(folder).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(folder) : c;
}

bool readRecord(const QString& sourceDir, MoveRecord& r)
{
    QByteArray data;
    return platform::readWholeFile(recordPath(sourceDir), data) && parse(data, sourceDir, r);
}

// True when the tree file's lines hold the subtree whole, at any depth.
bool holdsSubtree(const QList<QByteArray>& tree, const QList<QByteArray>& sub)
{
    const auto [d0, t0] = indented(sub[0]);
    for (qsizetype j = 0; j + sub.size() <= tree.size(); ++j) {
        const auto [dj, tj] = indented(tree[j]);
        if (tj != t0)
            continue;
        bool same = true;
        for (qsizetype k = 1; k < sub.size() && same; ++k) {
            const auto [dt, tt] = indented(tree[j + k]);
            const auto [ds, ts] = indented(sub[k]);
            same = tt == ts && dt - dj == ds - d0;
        }
        if (same && (j + sub.size() == tree.size() || indented(tree[j + sub.size()]).first <= dj))
            return true;
    }
    return false;
}

// The source tree (and its icon file) still as before the move lose the moved subtree.
void dropFromSource(const MoveRecord& r, QStringList& problems)
{
    QString error;
    const QString tree = treeFile(r);
    if (fingerprint(tree) == r.sourceTree) {
        QList<QByteArray> lines;
        if (!platform::loadLines(tree, lines, &error) || r.nodeIndex + r.lines.size() > lines.size()
            || lines.mid(r.nodeIndex, r.lines.size()) != r.lines) {
            problems.append(QStringLiteral("The tree file \"%1\" does not hold the moved node where it stood.").arg(tree));
            return;
        }
        lines.remove(r.nodeIndex, r.lines.size());
        if (!platform::saveLines(tree, lines, &error)) {
            problems.append(error);
            return;
        }
    }
    const QString icons = iconFile(r);
    if (r.sourceIcons != "-" && fingerprint(icons) == r.sourceIcons) {
        QList<QByteArray> lines;
        if (platform::loadLines(icons, lines, &error) && r.nodeIndex < lines.size()) {
            lines.remove(r.nodeIndex, std::min(r.lines.size(), lines.size() - r.nodeIndex));
            if (!platform::saveLines(icons, lines, &error))
                problems.append(error);
        }
    }
}
} // namespace

QString recordPath(const QString& sourceDir) { return platform::resolveIn(sourceDir, QStringLiteral("menue_move")); }

bool beginMove(MoveRecord& r, QString* error)
{
    QList<QByteArray> lines;
    if (!platform::loadLines(treeFile(r), lines, error))
        return false;
    r.lines = lines.mid(r.nodeIndex);
    // The subtree: its first line and the deeper lines right after it.
    const int depth = indented(r.lines.value(0)).first;
    qsizetype n = 1;
    while (n < r.lines.size() && indented(r.lines[n]).first > depth)
        ++n;
    r.lines = r.lines.mid(0, n);
    r.sourceTree = fingerprint(treeFile(r));
    r.sourceIcons = fingerprint(iconFile(r));
    r.targetTree = fingerprint(targetTreeFile(r.targetDir));
    return platform::writeOwnFileAtomic(recordPath(r.sourceDir), serialize(r), error);
}

void endMove(const QString& sourceDir) { QFile::remove(recordPath(sourceDir)); }

bool allAtSource(const QList<FileMove>& files)
{
    for (const FileMove& f : files)
        if (!exists(f.from) || exists(f.to))
            return false;
    return true;
}

bool isKnownCatalog(const QString& folder, const QStringList& catalogs)
{
    const QString c = canonicalFolder(folder);
    for (const QString& k : catalogs)
        if (canonicalFolder(k) == c)
            return true;
    return false;
}

QList<FileMove> pendingArrivals(const QString& targetDir, const QStringList& catalogs)
{
    QList<FileMove> out;
    const QString here = canonicalFolder(targetDir);
    for (const QString& c : catalogs) {
        MoveRecord r;
        if (canonicalFolder(c) != here && QFileInfo::exists(recordPath(c)) && readRecord(c, r)
            && canonicalFolder(r.targetDir) == here && filesAreNodes(r))
            out.append(r.files);
    }
    return out;
}

RecoveryReport recoverMove(const QString& sourceDir, const QStringList& catalogs)
{
    const QString path = recordPath(sourceDir);
    if (!QFileInfo::exists(path))
        return {};
    MoveRecord r;
    if (!readRecord(sourceDir, r)) {
        QFile::remove(path);
        return {QStringLiteral("The record \"%1\" of a node move cut short could not be read; it was removed.").arg(path), {}};
    }
    const QString head = QStringLiteral("The move of the node \"%1\" into %2 was cut short.").arg(r.nodeText, r.targetDir);
    // A record names folders and files: it is followed only into a catalog of the catalog list
    // and only for the files of the moved nodes. A catalog received from someone else may hold
    // any record.
    if (!isKnownCatalog(r.targetDir, catalogs) || !filesAreNodes(r))
        return {head + QStringLiteral(" That folder is not a catalog of the catalog list, or the record names files that "
                                      "are not the moved nodes' files, so nothing was done and no file was touched. If "
                                      "this catalog came from someone else, remove its file \"%1\".").arg(path), {}};
    // A target out of reach (a drive not mounted, its mount point left empty) may hold the
    // moved files: wait for it.
    if (!QFileInfo(targetTreeFile(r.targetDir)).isFile())
        return {head + QStringLiteral(" That catalog cannot be reached now. The move is taken up again at the next load "
                                      "of this catalog."), {}};
    removeTemporaries(r.targetDir);
    removeTemporaries(r.sourceDir);
    // The target's tree names the moved nodes once it has been written by the move: then the
    // move is finished, else its files go back where the source's tree still names them.
    QList<QByteArray> target;
    const QByteArray targetPrint = fingerprint(targetTreeFile(r.targetDir));
    const bool targetRead = platform::loadLines(targetTreeFile(r.targetDir), target);
    bool targetWritten = targetPrint != r.targetTree && targetRead && holdsSubtree(target, r.lines);
    QStringList problems;
    if (!targetWritten) {
        // Nodes of the moved files may stand in the target's tree without the subtree: added by
        // hand or by a program that knew nothing of this record, or named there before the move.
        // When it names every moved file, the move is finished; a file it names is never taken
        // from it (a record that only claims the tree unchanged takes nothing out of a catalog).
        const QSet<QString> named = texts(target), moved = texts(r.lines);
        QStringList listed;
        for (const FileMove& f : r.files) {
            if (named.contains(nodeOfFile(QFileInfo(f.to).fileName(), moved)))
                listed.append(f.to);
            else if (!targetRead && exists(f.to))
                problems.append(QStringLiteral("\"%1\": the tree of %2 cannot be read.").arg(f.to, r.targetDir));
        }
        targetWritten = targetRead && listed.size() == r.files.size();
        if (!targetWritten)
            for (const QString& f : std::as_const(listed))
                problems.append(QStringLiteral("\"%1\" is listed by the tree of %2 now.").arg(f, r.targetDir));
        if (!problems.isEmpty())
            return {head + QStringLiteral(" Nodes of it are listed by the tree of that catalog now, so no file was "
                                          "touched. Move these files back by hand, or delete those nodes there, and "
                                          "remove the file \"%1\".").arg(path),
                    problems.join(QLatin1Char('\n'))};
    }
    if (targetWritten) {
        for (const FileMove& f : r.files)
            place(f.from, f.to, problems);
        if (problems.isEmpty())
            dropFromSource(r, problems);
    } else {
        for (qsizetype i = r.files.size() - 1; i >= 0; --i)
            place(r.files[i].to, r.files[i].from, problems);
    }
    if (!problems.isEmpty())
        return {head + QStringLiteral(" It could not be %1: %2%3\nIt is taken up again at the next load of this catalog.")
                           .arg(targetWritten ? u"finished" : u"undone", problems[0],
                                problems.size() == 1 ? QString()
                                                     : QStringLiteral(" (%1 more in the details)").arg(problems.size() - 1)),
                problems.size() == 1 ? QString() : problems.join(QLatin1Char('\n'))};
    endMove(sourceDir);
    if (targetWritten)
        return {head + QStringLiteral(" It has been finished: the node and its files are in %1 now.").arg(r.targetDir), {}};
    return {head + QStringLiteral(" Its files were put back into this catalog."), {}};
}

} // namespace nodemove

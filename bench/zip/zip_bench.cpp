// zip-bench: the zip component as the program uses it (overwrite answered yes, no prompts).
//   zip-bench zip ARCHIVE LEVEL [-P PASSWORD] [--threads N] FILES...
//   zip-bench unzip ARCHIVE DESTDIR [-P PASSWORD]
//   zip-bench corpus DIR [WORKDIR]   whole-archive zip and unzip of DIR on one thread and on every core,
//                                    against Info-ZIP zip -6 -r and unzip -q, and 7z -tzip -mx5
// One line per member (name, method, sizes, CRC verdict or skip reason), names with their
// control characters escaped; the exit code is 1 when any member failed.
#include "archive/ZipExtract.h"
#include "archive/ZipStrings.h"
#include "archive/ZipWriter.h"
#include "platform/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>

using namespace archive;

namespace {

QString reasonText(TSkipReason r)
{
    switch (r) {
    case srBadPassword: return QStringLiteral("bad password");
    case srNoOverwrite: return QStringLiteral("not overwritten");
    case srFileOpenError: return QStringLiteral("cannot open");
    case srCreateError: return QStringLiteral("cannot create");
    case srUnsupportedEncryption: return QStringLiteral("encryption not supported (WinZip AES or strong encryption)");
    case srUnknownMethod: return SUnknownMethod;
    case srWrongSize: return QStringLiteral("size differs from the one recorded");
    case srBadName: return QStringLiteral("a name holding \"\\\" cannot be stored");
    case srTooLarge: return SMemberTooLarge;
    }
    return QStringLiteral("reason %1").arg(int(r));
}

// Names and messages on one line whatever they hold: control characters (a NUL would end the
// line's text, a tab or line end would break its fields) as \xNN, and so "\" as "\\".
QString escaped(const QString& text)
{
    QString e;
    e.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\')
            e += QStringLiteral("\\\\");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            e += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            e += c;
    }
    return e;
}

void out(const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

QString memberName(const TZipHeaderInfo& h)
{
    QString n = h.FullName();
    n.replace(u'\\', u'/');
    return escaped(n);
}

int usage()
{
    std::fputs("usage: zip-bench zip ARCHIVE LEVEL [-P PASSWORD] [--blocks FIRST SIZE] [--threads N] FILES...\n"
               "       zip-bench unzip ARCHIVE DESTDIR [-P PASSWORD]\n"
               "       zip-bench corpus DIR [WORKDIR]\n",
               stderr);
    return 2;
}

// Returns 0 when every member went in; prints a line per member.
// blocks: the first block's size and every later one's for a set of block files (.001, .002 ...,
// the last named ARCHIVE); none when empty. threads: the writer's Threads.
int doZip(const QString& archiveName, int level, const QString& password, const QStringList& files, bool quiet,
          const QList<int>& blocks = {}, int threads = 0)
{
    TZipWriter w;
    w.Threads = threads;
    w.SetZipName(QFileInfo(archiveName).absoluteFilePath());
    if (blocks.size() == 2) {
        w.MultiZipInfo.MultiMode = mmBlocks;
        w.MultiZipInfo.FirstBlockSize = blocks[0];
        w.MultiZipInfo.BlockSize = blocks[1];
    }
    w.PackLevel = level;
    w.Password = password;
    bool failed = false;
    bool anyDir = false;
    for (const QString& f : files) {
        QFileInfo fi(f);
        if (fi.isDir()) {
            anyDir = true;
            w.FilesList << QStringLiteral(">") + fi.absoluteFilePath() + QStringLiteral("/*.*");
        } else {
            w.FilesList << fi.absoluteFilePath();
        }
    }
    if (anyDir) {
        w.SetRelativePaths(true);
        w.SetRootDir(QDir::currentPath());
    }
    w.OnSkippingFile = [&](TZipReader*, TSkipReason r, const QString& name, int) {
        out(QStringLiteral("%1\tskipped: %2").arg(escaped(name), reasonText(r)));
        failed = true;
    };
    w.OnNoSuchFile = [&](TZipWriter*, const QString& name) {
        out(QStringLiteral("%1\tskipped: no such file").arg(escaped(name)));
        failed = true;
    };
    try {
        w.Zip();
    } catch (const platform::Exception& e) {
        out(QStringLiteral("error: ") + escaped(e.Message));
        return 1;
    }
    if (!blocks.isEmpty())
        out(QStringLiteral("%1 blocks, the last %2").arg(w.NumDisks()).arg(w.ZipName()));
    if (!quiet && w.Members()) {
        for (int i = 0; i < w.Members()->Count(); ++i) {
            const TZipHeaderInfo& h = *w.Members()->Header(i);
            out(QStringLiteral("%1\tmethod %2\t%3 -> %4\tcrc %5")
                    .arg(memberName(h))
                    .arg(h.CompressionMethod)
                    .arg(h.UncompressedSize)
                    .arg(h.CompressedSize)
                    .arg(h.CRC32, 8, 16, QLatin1Char('0')));
        }
    }
    return failed ? 1 : 0;
}

int doUnzip(const QString& archiveName, const QString& dest, const QString& password, bool quiet, int threads = 0)
{
    TZipReader r;
    r.Threads = threads;
    bool failed = false;
    try {
        r.SetZipName(archiveName);
        r.SetDestDir(dest);
        r.DoAll = true;
        r.RecreateDirs = true;
        r.Password = password;
        auto line = [&](int i, const QString& verdict) {
            const TZipHeaderInfo& h = *r.SortedMembers()->Header(i);
            if (!quiet || verdict != QLatin1String("ok"))
                out(QStringLiteral("%1\tmethod %2\t%3 -> %4\t%5")
                        .arg(memberName(h))
                        .arg(h.CompressionMethod)
                        .arg(h.CompressedSize)
                        .arg(h.UncompressedSize)
                        .arg(verdict));
        };
        r.OnEndUnZip = [&](TZipReader*, int i, const QString&) { line(i, QStringLiteral("ok")); };
        r.OnBadCRC = [&](TZipReader*, uint32_t calc, uint32_t stored, int i) {
            if (!MethodSupported(r.SortedMembers()->Header(i)->CompressionMethod))
                line(i, QStringLiteral("not extracted: ") + SUnknownMethod);
            else
                line(i, QStringLiteral("CRC error (%1, stored %2)").arg(calc, 8, 16, QLatin1Char('0')).arg(stored, 8, 16, QLatin1Char('0')));
            failed = true;
        };
        r.OnSkippingFile = [&](TZipReader*, TSkipReason reason, const QString& name, int i) {
            if (i >= 0 && i < r.Count())
                line(i, QStringLiteral("skipped: ") + reasonText(reason));
            else
                out(escaped(name) + QStringLiteral("\tskipped: ") + reasonText(reason));
            failed = true;
        };
        r.UnZip();
    } catch (const platform::Exception& e) {
        out(QStringLiteral("error: ") + escaped(e.Message));
        return 1;
    }
    return failed ? 1 : 0;
}

QByteArray readAllOf(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 timeTool(const QString& program, const QStringList& args, const QString& cwd)
{
    QProcess p;
    p.setWorkingDirectory(cwd);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    const qint64 ms = t.elapsed();
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s failed (%d)\n", program.toLocal8Bit().constData(), p.exitCode());
    return ms;
}

int doCorpus(const QString& dir, QString work)
{
    QTemporaryDir tmp;
    if (work.isEmpty())
        work = tmp.path();
    QDir().mkpath(work);
    const QFileInfo di(dir);
    const QString parent = di.absolutePath();
    const QString name = di.fileName();
    qint64 bytes = 0;
    int files = 0;
    for (QDirIterator it(di.absoluteFilePath(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        bytes += it.fileInfo().size();
        ++files;
    }
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    std::printf("corpus %s: %d files, %lld bytes; %d cores\n", qPrintable(di.absoluteFilePath()), files, (long long)bytes,
                cores);
    const QString ours1 = work + QStringLiteral("/ours1.zip");
    const QString oursN = work + QStringLiteral("/oursN.zip");
    const QString theirs = work + QStringLiteral("/infozip.zip");
    const QString seven = work + QStringLiteral("/7z.zip");
    auto best = [](qint64& b, qint64 v) { b = b < 0 ? v : std::min(b, v); };
    qint64 tZip1 = -1, tZipN = -1, tInfo = -1, t7z = -1, tUnzip1 = -1, tUnzipN = -1, tUnzipInfo = -1;
    int rc = 0;
    const bool have7z = QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v 7z >/dev/null")}) == 0;
    auto clean = [&](const QString& d) { QDir(work + u'/' + d).removeRecursively(); };
    for (int round = 0; round < 3; ++round) {
        for (const QString& f : {ours1, oursN, theirs, seven})
            QFile::remove(f);
        for (const char* d : {"x1", "xN", "xi"})
            clean(QString::fromLatin1(d));
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(parent);
        QElapsedTimer t;
        t.start();
        rc |= doZip(ours1, 6, QString(), {name}, true, {}, 1);
        best(tZip1, t.elapsed());
        t.restart();
        rc |= doZip(oursN, 6, QString(), {name}, true, {}, 0);
        best(tZipN, t.elapsed());
        QDir::setCurrent(cwd);
        best(tInfo, timeTool(QStringLiteral("zip"), {QStringLiteral("-6"), QStringLiteral("-r"), QStringLiteral("-q"), theirs, name}, parent));
        if (have7z)
            best(t7z, timeTool(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mx5"), QStringLiteral("-bd"), QStringLiteral("-bso0"), seven, name}, parent));
        t.restart();
        rc |= doUnzip(ours1, work + QStringLiteral("/x1"), QString(), true, 1);
        best(tUnzip1, t.elapsed());
        t.restart();
        rc |= doUnzip(ours1, work + QStringLiteral("/xN"), QString(), true, 0);
        best(tUnzipN, t.elapsed());
        best(tUnzipInfo, timeTool(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), theirs, QStringLiteral("-d"), work + QStringLiteral("/xi")}, work));
    }
    const qint64 ourSize = QFileInfo(ours1).size();
    const qint64 theirSize = QFileInfo(theirs).size();
    const bool same = readAllOf(ours1) == readAllOf(oursN);
    std::printf("archive size: ours %lld, zip -6 %lld (%+.2f%%), 7z -mx5 %lld; ours on 1 and %d threads %s\n",
                (long long)ourSize, (long long)theirSize,
                theirSize ? 100.0 * double(ourSize - theirSize) / double(theirSize) : 0.0,
                (long long)QFileInfo(seven).size(), cores, same ? "byte-identical" : "DIFFERENT");
    auto mbs = [&](qint64 ms) { return ms > 0 ? double(bytes) / 1e3 / double(ms) : 0.0; };
    std::printf("best of 3, ms (MB/s of the corpus)\n");
    std::printf("zip   ours 1 thread %6lld (%6.1f)  ours %d threads %6lld (%6.1f)  zip -6 -r %6lld (%6.1f)  7z -tzip -mx5 %6lld (%6.1f)\n",
                (long long)tZip1, mbs(tZip1), cores, (long long)tZipN, mbs(tZipN), (long long)tInfo, mbs(tInfo),
                (long long)t7z, mbs(t7z));
    std::printf("unzip ours 1 thread %6lld (%6.1f)  ours %d threads %6lld (%6.1f)  unzip -q  %6lld (%6.1f)\n",
                (long long)tUnzip1, mbs(tUnzip1), cores, (long long)tUnzipN, mbs(tUnzipN), (long long)tUnzipInfo,
                mbs(tUnzipInfo));
    std::printf("ours on %d threads: zip %.2fx Info-ZIP, %.2fx 7z; unzip %.2fx unzip\n", cores,
                double(tInfo) / double(std::max<qint64>(tZipN, 1)), double(t7z) / double(std::max<qint64>(tZipN, 1)),
                double(tUnzipInfo) / double(std::max<qint64>(tUnzipN, 1)));
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The program's questions answered with their first button: overwrite yes, OK.
    platform::setDialogs(std::make_unique<platform::ScriptedDialogs>());
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString cmd = args.takeFirst();
    auto takePassword = [&](QString& password) {
        const int i = args.indexOf(QStringLiteral("-P"));
        if (i >= 0 && i + 1 < args.size()) {
            password = args[i + 1];
            args.remove(i, 2);
        }
    };
    if (cmd == QLatin1String("zip")) {
        if (args.size() < 2)
            return usage();
        const QString archiveName = args.takeFirst();
        bool ok = false;
        const int level = args.takeFirst().toInt(&ok);
        if (!ok || level < 0 || level > 9)
            return usage();
        QString password;
        takePassword(password);
        QList<int> blocks;
        const int b = args.indexOf(QStringLiteral("--blocks"));
        if (b >= 0) {
            bool okFirst = false, okSize = false;
            blocks = {args.value(b + 1).toInt(&okFirst), args.value(b + 2).toInt(&okSize)};
            if (!okFirst || !okSize)
                return usage();
            args.remove(b, 3);
        }
        int threads = 0;
        const int t = args.indexOf(QStringLiteral("--threads"));
        if (t >= 0) {
            bool okThreads = false;
            threads = args.value(t + 1).toInt(&okThreads);
            if (!okThreads || threads < 1)
                return usage();
            args.remove(t, 2);
        }
        return doZip(archiveName, level, password, args, false, blocks, threads);
    }
    if (cmd == QLatin1String("unzip")) {
        QString password;
        takePassword(password);
        if (args.size() != 2)
            return usage();
        return doUnzip(args[0], args[1], password, false);
    }
    if (cmd == QLatin1String("corpus")) {
        if (args.isEmpty())
            return usage();
        return doCorpus(args[0], args.value(1));
    }
    return usage();
}

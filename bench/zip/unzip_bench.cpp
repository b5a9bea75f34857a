// unzip-bench: whole-archive extraction by the zip component on several thread counts against
// Info-ZIP's unzip -q, interleaved in one run, best of the rounds.
//   unzip-bench [--keep] ARCHIVE WORKDIR [ROUNDS [THREADS...]]   (threads 0: as many as the machine has cores)
// --keep: every extraction goes to a folder of its own and all stay: on a file system that
// avoids reusing the inodes of files deleted a moment ago (ext4 without a journal), removing
// one tree right before making the next slows every file made after it.
#include "archive/ZipReader.h"
#include "platform/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

using namespace archive;

namespace {

// Extracts everything into dest; the milliseconds, or -1 when a member failed.
qint64 ours(const QString& archiveName, const QString& dest, int threads)
{
    QDir(dest).removeRecursively();
    QElapsedTimer t;
    t.start();
    TZipReader r;
    r.Threads = threads;
    bool failed = false;
    try {
        r.SetZipName(archiveName);
        r.SetDestDir(dest);
        r.DoAll = true;
        r.RecreateDirs = true;
        r.OnBadCRC = [&](TZipReader*, uint32_t, uint32_t, int) { failed = true; };
        r.OnSkippingFile = [&](TZipReader*, TSkipReason, const QString&, int) { failed = true; };
        r.UnZip();
    } catch (const platform::Exception& e) {
        std::fprintf(stderr, "error: %s\n", qPrintable(e.Message));
        return -1;
    }
    const qint64 ms = t.elapsed();
    return failed ? -1 : ms;
}

qint64 infoZip(const QString& archiveName, const QString& dest)
{
    QDir(dest).removeRecursively();
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), archiveName, QStringLiteral("-d"), dest});
    p.waitForFinished(-1);
    const qint64 ms = t.elapsed();
    return p.exitCode() == 0 ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    platform::setDialogs(std::make_unique<platform::ScriptedDialogs>());
    QStringList args = app.arguments().mid(1);
    const bool keepAll = args.removeAll(QStringLiteral("--keep")) > 0;
    int serial = 0;
    auto destFor = [&](const QString& base) { return keepAll ? base + QString::number(++serial) : base; };
    if (args.size() < 2) {
        std::fputs("usage: unzip-bench ARCHIVE WORKDIR [ROUNDS [THREADS...]]\n", stderr);
        return 2;
    }
    const QString archiveName = QFileInfo(args[0]).absoluteFilePath();
    const QString work = QFileInfo(args[1]).absoluteFilePath();
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : 3;
    std::vector<int> threads;
    for (int i = 3; i < args.size(); ++i)
        threads.push_back(args[i].toInt());
    if (threads.empty())
        threads = {1, 0};
    std::vector<qint64> best(threads.size(), -1);
    qint64 bestInfo = -1;
    auto keep = [](qint64& b, qint64 v) { b = v < 0 ? b : (b < 0 ? v : std::min(b, v)); };
    int rc = 0;
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < threads.size(); ++k) {
            const qint64 ms = ours(archiveName, destFor(work + QStringLiteral("/ours")), threads[k]);
            rc |= ms < 0;
            keep(best[k], ms);
        }
        const qint64 ms = infoZip(archiveName, destFor(work + QStringLiteral("/infozip")));
        rc |= ms < 0;
        keep(bestInfo, ms);
    }
    if (!keepAll) {
        QDir(work + QStringLiteral("/ours")).removeRecursively();
        QDir(work + QStringLiteral("/infozip")).removeRecursively();
    }
    std::printf("best of %d, ms: unzip -q %lld", rounds, (long long)bestInfo);
    for (size_t k = 0; k < threads.size(); ++k)
        std::printf("  ours %d threads %lld (%.2fx)", threads[k] > 0 ? threads[k] : int(std::thread::hardware_concurrency()),
                    (long long)best[k], best[k] > 0 ? double(bestInfo) / double(best[k]) : 0.0);
    std::printf("%s\n", rc ? "  (FAILURES)" : "");
    return rc;
}

// Zipping on many threads: the same archive bytes, the same events in the same order, and a
// cancel that leaves the archive as it was, as on one thread.
#include "ComponentSupport.h"

#include "archive/ZipCrypt.h"

#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

// Files of every kind and size, in a list longer than the workers' look-ahead.
QStringList makeFiles(const QString& dir)
{
    QStringList files;
    for (int i = 0; i < 40; ++i) {
        QByteArray data;
        switch (i % 5) {
        case 0: data = textBytes(1000 + i * 997, i); break;
        case 1: data = randomBytes(500 + i * 313, i); break;
        case 2: data = QByteArray(i * 1500, char('a' + i % 26)); break;
        case 3: data = textBytes(200000 + i * 1000, i) + randomBytes(30000, i); break;
        default: data = textBytes(i * 50, i); break;
        }
        const QString name = dir + QStringLiteral("f%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(i % 7 == 3 ? "png" : "txt");
        writeFile(name, data);
        files << name;
    }
    return files;
}

// Seeded filler bytes of the encryption headers.
void seedFiller()
{
    auto state = std::make_shared<uint32_t>(12345);
    SetEncryptionFillerSource([state](uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            *state = *state * 1103515245u + 12345u;
            p[i] = uint8_t(*state >> 16);
        }
    });
}

struct ZipRun {
    QByteArray archive;
    QStringList events;
};

ZipRun zipWith(const QString& zip, const QStringList& files, int threads, int level, const QString& password,
            const std::function<void(TZipWriter&)>& setup = {})
{
    QFile::remove(zip);
    seedFiller();
    TZipWriter w;
    w.SetZipName(zip);
    w.Threads = threads;
    w.PackLevel = level;
    w.Password = password;
    w.NoCompressList << "*.png";
    w.FilesList = files;
    ZipRun r;
    w.OnStartZip = [&](TZipWriter*, const QString& name, TZipHeaderInfo&, bool&) { r.events << "start " + QFileInfo(name).fileName(); };
    w.OnFilePercentDone = [&](TZipReader*, int p) { r.events << QStringLiteral("file %1").arg(p); };
    w.OnTotalPercentDone = [&](TZipReader*, int p) { r.events << QStringLiteral("total %1").arg(p); };
    w.OnEndZip = [&](TZipWriter*, const QString& name, int64_t u, int64_t c, int64_t) {
        r.events << QStringLiteral("end %1 %2 %3").arg(QFileInfo(name).fileName()).arg(u).arg(c);
    };
    if (setup)
        setup(w);
    const int n = w.Zip();
    r.events << QStringLiteral("added %1").arg(n);
    SetEncryptionFillerSource({});
    r.archive = readFile(zip);
    return r;
}

} // namespace

TEST(ParallelZip, SameArchiveAndEventsOnOneAndEightThreads)
{
    TempDir t;
    const QStringList files = makeFiles(t.file("src/"));
    for (int level = 0; level <= 9; ++level) {
        for (const QString& password : {QString(), QStringLiteral("secret")}) {
            if (!password.isEmpty() && level % 3 != 0)
                continue; // encryption at a few levels keeps the test quick
            const ZipRun one = zipWith(t.file("one.zip"), files, 1, level, password);
            const ZipRun eight = zipWith(t.file("eight.zip"), files, 8, level, password);
            EXPECT_TRUE(one.archive == eight.archive) << "level " << level << " password " << password.toStdString();
            EXPECT_EQ(one.events, eight.events) << "level " << level;
            EXPECT_EQ(one.events.last(), "added 40");
        }
    }
    // The archive is sound for a peer too.
    const Extracted ex = unzipAll(t.file("eight.zip"), t.file("x/"), "secret");
    EXPECT_EQ(ex.count, 40);
    EXPECT_EQ(treeOf(t.file("x")), treeOf(t.file("src")));
}

TEST(ParallelZip, HandlerThatRenamesOrSkipsMembers)
{
    TempDir t;
    const QStringList files = makeFiles(t.file("src/"));
    // A handler that gives some members a name kept stored, and skips others: the members a
    // worker packed for their old name are packed again in turn.
    auto setup = [](TZipWriter& w) {
        auto previous = w.OnStartZip;
        w.OnStartZip = [previous](TZipWriter* s, const QString& name, TZipHeaderInfo& h, bool& skip) {
            previous(s, name, h, skip);
            const int i = QFileInfo(name).baseName().mid(1).toInt();
            if (i % 4 == 1)
                h.SetFilename(QFileInfo(name).baseName() + ".png");
            skip = i % 9 == 5;
        };
    };
    const ZipRun one = zipWith(t.file("one.zip"), files, 1, 6, QString(), setup);
    const ZipRun eight = zipWith(t.file("eight.zip"), files, 8, 6, QString(), setup);
    EXPECT_TRUE(one.archive == eight.archive);
    EXPECT_EQ(one.events, eight.events);
    EXPECT_EQ(one.events.last(), "added 36");
}

TEST(ParallelZip, CancelLeavesTheArchiveAsItWas)
{
    TempDir t;
    const QStringList files = makeFiles(t.file("src/"));
    writeFile(t.file("c.zip"), QByteArray());
    QFile::remove(t.file("c.zip"));
    {
        TZipWriter w;
        w.SetZipName(t.file("c.zip"));
        w.FilesList << files.first();
        ASSERT_EQ(w.Zip(), 1);
    }
    const QByteArray before = readFile(t.file("c.zip"));
    for (int stopAt : {1, 10, 39}) {
        TZipWriter w;
        w.SetZipName(t.file("c.zip"));
        w.Threads = 8;
        w.FilesList = files.mid(1);
        int started = 0;
        w.OnStartZip = [&](TZipWriter* s, const QString&, TZipHeaderInfo&, bool&) {
            if (++started == stopAt)
                s->CancelRequested = true;
        };
        int cancels = 0;
        try {
            w.Zip();
        } catch (const EUserCanceled& e) {
            ++cancels;
            EXPECT_EQ(e.Message, "User Aborted Operation");
        }
        EXPECT_EQ(cancels, 1) << stopAt;
        EXPECT_EQ(readFile(t.file("c.zip")), before) << stopAt;
        EXPECT_EQ(QDir(t.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"c.zip"}) << stopAt;
    }
}

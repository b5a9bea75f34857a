// Zipping on many threads: the same archive bytes, the same events in the same order, and a
// cancel that leaves the archive as it was, as on one thread.
#include "ComponentSupport.h"

#include "archive/ZipCrypt.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

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

// startFrom: the archive the run updates (none: a new archive).
ZipRun zipWith(const QString& zip, const QStringList& files, int threads, int level, const QString& password,
            const std::function<void(TZipWriter&)>& setup = {}, const QByteArray& startFrom = {})
{
    QFile::remove(zip);
    if (!startFrom.isEmpty())
        writeFile(zip, startFrom);
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

// Zips on one thread and on eight: the same archive bytes and the same events, the last one
// saying how many files were added.
void expectSameOnOneAndEight(TempDir& t, const QStringList& files, int level, const QString& password,
                             const QString& added, const std::function<void(TZipWriter&)>& setup = {},
                             const QByteArray& startFrom = {})
{
    const ZipRun one = zipWith(t.file("one.zip"), files, 1, level, password, setup, startFrom);
    const ZipRun eight = zipWith(t.file("eight.zip"), files, 8, level, password, setup, startFrom);
    EXPECT_TRUE(one.archive == eight.archive) << "level " << level << " password " << password.toStdString();
    EXPECT_EQ(one.events, eight.events) << "level " << level << " password " << password.toStdString();
    EXPECT_EQ(one.events.last(), added);
}

} // namespace

TEST(ParallelZip, SameArchiveAndEventsOnOneAndEightThreads)
{
    TempDir t;
    QStringList files = makeFiles(t.file("src/"));
    // Members of a megabyte or more start before the smaller ones in front of them: one late
    // in the list still goes in at its place.
    writeFile(t.file("src/big.txt"), textBytes(30000, 77) + QByteArray(1100000, 'z') + randomBytes(30000, 77));
    files.insert(35, t.file("src/big.txt"));
    for (int level = 0; level <= 9; ++level) {
        for (const QString& password : {QString(), QStringLiteral("secret")})
            expectSameOnOneAndEight(t, files, level, password, "added 41");
    }
    // The archive is sound for a peer too.
    const Extracted ex = unzipAll(t.file("eight.zip"), t.file("x/"), "secret");
    EXPECT_EQ(ex.count, 41);
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
    // With a password, the members after a skipped one get the same encryption headers too.
    for (const QString& password : {QString(), QStringLiteral("secret")})
        expectSameOnOneAndEight(t, files, 6, password, "added 36", setup);
}

TEST(ParallelZip, UpdateReplacesMembersInPlaceOnEveryCore)
{
    TempDir t;
    const QStringList files = makeFiles(t.file("src/"));
    const QByteArray base = zipWith(t.file("base.zip"), files.mid(0, 30), 1, 6, QString()).archive;
    // Twenty listed files replace members in the middle of the archive, ten more are added.
    auto replace = [](TZipWriter& w) { w.ZipAction = zaReplace; };
    for (const QString& password : {QString(), QStringLiteral("secret")})
        expectSameOnOneAndEight(t, files.mid(10), 6, password, "added 30", replace, base);
    const Extracted ex = unzipAll(t.file("eight.zip"), t.file("x/"), "secret");
    EXPECT_EQ(ex.count, 40);
    EXPECT_EQ(treeOf(t.file("x")), treeOf(t.file("src")));
}

TEST(ParallelZip, FileReplacedByAPipeAfterListingIsLeftOut)
{
    TempDir t;
    const QStringList files = makeFiles(t.file("src/"));
    // Between the listing and the packing, a file becomes a pipe nobody writes to: the run
    // neither blocks on it nor stores it, on one thread as on eight.
    for (int threads : {1, 8}) {
        auto setup = [&](TZipWriter& w) {
            w.OnStartZipInfo = [&](TZipWriter*, int, int64_t, TEndCentral&, bool&) {
                QFile::remove(files[5]);
                ASSERT_EQ(::mkfifo(QFile::encodeName(files[5]).constData(), 0600), 0);
            };
        };
        QFile::remove(files[5]);
        writeFile(files[5], "a file again");
        const ZipRun r = zipWith(t.file("p.zip"), files, threads, 6, QString(), setup);
        EXPECT_EQ(r.events.last(), "added 39") << threads;
        EXPECT_FALSE(r.events.contains("start f05.txt")) << threads;
    }
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
    // At the start of a member, or halfway through one (f18, of several reads), with or
    // without a password.
    for (int stopAt : {1, 10, 39, -18, -19}) {
        TZipWriter w;
        w.SetZipName(t.file("c.zip"));
        w.Threads = 8;
        w.FilesList = files.mid(1);
        if (stopAt == -19)
            w.Password = "secret";
        int started = 0;
        w.OnStartZip = [&](TZipWriter* s, const QString&, TZipHeaderInfo&, bool&) {
            if (++started == stopAt)
                s->CancelRequested = true;
        };
        w.OnFilePercentDone = [&](TZipReader* s, int p) {
            if (started == 18 && stopAt < 0 && p >= 50)
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

namespace {

// An archive of many members: text, random, stored, empty, a folder, two encrypted ones, and
// one whose data were damaged after it was written.
QString makeArchive(TempDir& t)
{
    const QStringList files = makeFiles(t.file("src/"));
    {
        TZipWriter w;
        w.SetZipName(t.file("m.zip"));
        w.NoCompressList << "*.png";
        w.FilesList = files;
        EXPECT_EQ(w.Zip(), 40);
    }
    writeFile(t.file("p/secret1.txt"), textBytes(20000, 91));
    writeFile(t.file("p/secret2.txt"), textBytes(30000, 92));
    {
        TZipWriter w;
        w.SetZipName(t.file("m.zip"));
        w.Password = "pw";
        w.FilesList << t.file("p/secret1.txt") << t.file("p/secret2.txt");
        EXPECT_EQ(w.Zip(), 2);
    }
    // A byte in the middle of the data of f13 changed: that member fails its CRC check.
    QByteArray z = readFile(t.file("m.zip"));
    const qsizetype at = z.indexOf("f13.txt");
    z[at + 7 + 2000] = char(z[at + 7 + 2000] ^ 0x55);
    writeFile(t.file("m.zip"), z);
    return t.file("m.zip");
}

QStringList unzipEvents(const QString& zip, const QString& dest, int threads, int cancelAt = -1)
{
    TZipReader r;
    r.SetZipName(zip);
    r.SetDestDir(dest);
    r.DoAll = true;
    r.Threads = threads;
    r.OverwriteMode = Always;
    QStringList ev;
    int started = 0;
    r.OnStartUnZip = [&](TZipReader* s, int i, QString& name, bool&) {
        ev << QStringLiteral("start %1 %2").arg(i).arg(QFileInfo(name).fileName());
        if (++started == cancelAt)
            s->CancelRequested = true;
    };
    r.OnEndUnZip = [&](TZipReader*, int i, const QString&) { ev << QStringLiteral("end %1").arg(i); };
    r.OnFilePercentDone = [&](TZipReader*, int p) { ev << QStringLiteral("file %1").arg(p); };
    r.OnTotalPercentDone = [&](TZipReader*, int p) { ev << QStringLiteral("total %1").arg(p); };
    r.OnBadCRC = [&](TZipReader*, uint32_t c, uint32_t s, int i) { ev << QStringLiteral("crc %1 %2 %3").arg(i).arg(c).arg(s); };
    r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int i) {
        ev << QStringLiteral("skip %1 %2 %3").arg(int(why)).arg(n).arg(i);
    };
    // The first password is wrong; the handler gives the right one.
    r.Password = "wrong";
    r.OnBadPassword = [&](TZipReader*, int i, QString& p) {
        ev << QStringLiteral("password %1").arg(i);
        p = "pw";
    };
    try {
        ev << QStringLiteral("done %1").arg(r.UnZip());
    } catch (const EUserCanceled& e) {
        ev << "canceled " + e.Message;
    }
    return ev;
}

} // namespace

TEST(ParallelUnzip, SameFilesAndEventsOnOneAndEightThreads)
{
    TempDir t;
    const QString zip = makeArchive(t);
    const QStringList one = unzipEvents(zip, t.file("x1"), 1);
    const QStringList eight = unzipEvents(zip, t.file("x8"), 8);
    EXPECT_EQ(one, eight);
    EXPECT_EQ(one.last(), "done 41");
    EXPECT_EQ(one.filter(QRegularExpression("^crc ")).size(), 1);
    EXPECT_EQ(one.filter(QRegularExpression("^password ")).size(), 1);
    const auto files1 = treeOf(t.file("x1"));
    EXPECT_EQ(files1.size(), 41);
    EXPECT_TRUE(files1 == treeOf(t.file("x8")));
    EXPECT_FALSE(files1.contains("f13.txt"));
    EXPECT_EQ(files1.value("f12.txt"), readFile(t.file("src/f12.txt")));
}

TEST(ParallelUnzip, CancelLeavesNoPartFilesAndTheOldFiles)
{
    TempDir t;
    const QString zip = makeArchive(t);
    for (int cancelAt : {1, 7, 30}) {
        QDir(t.file("x")).removeRecursively();
        writeFile(t.file("x/f20.txt"), "my own file");
        const QStringList ev = unzipEvents(zip, t.file("x"), 8, cancelAt);
        EXPECT_EQ(ev.filter("canceled").size(), 1) << cancelAt;
        EXPECT_EQ(ev.last(), "canceled User Aborted Operation");
        const auto files = treeOf(t.file("x"));
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            EXPECT_FALSE(it.key().contains(".morvanel-part-")) << it.key().toStdString();
            if (it.key() != "f20.txt") {
                EXPECT_EQ(it.value(), readFile(t.file("src/") + it.key())) << it.key().toStdString();
            }
        }
        if (cancelAt <= 20) {
            EXPECT_EQ(files.value("f20.txt"), "my own file");
        }
        // Cancelled at the member it started: the members before it are there.
        EXPECT_EQ(files.size(), std::max(cancelAt - 1 - (cancelAt > 14 ? 1 : 0), 0) + (cancelAt <= 21 ? 1 : 0)) << cancelAt;
    }
}

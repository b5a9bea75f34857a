// Extraction on many threads into a tree of folders that do not exist yet: the same files,
// folders, dates, modes and events as on one thread, a damaged member failing alone, a cancel
// that leaves no part file and no folder one thread would not have made, and members whose
// names stand in each other's way.
#include "ComponentSupport.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

using namespace ziptest;
using namespace archive;

namespace {

// What an extraction left: every file with its bytes, modification time and mode, and every
// folder (empty or not).
struct Landed {
    QMap<QString, QByteArray> files;
    QStringList stamps;  // name, mtime, mode
    QStringList folders;
    bool operator==(const Landed& o) const { return files == o.files && stamps == o.stamps && folders == o.folders; }
};

Landed landedIn(const QString& dir)
{
    Landed l;
    l.files = treeOf(dir);
    for (auto it = l.files.cbegin(); it != l.files.cend(); ++it) {
        struct stat st;
        if (::stat(QFile::encodeName(dir + u'/' + it.key()).constData(), &st) == 0)
            l.stamps << QStringLiteral("%1 %2 %3").arg(it.key()).arg(qint64(st.st_mtime)).arg(st.st_mode & 07777, 0, 8);
    }
    QDirIterator it(dir, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        l.folders << QDir(dir).relativeFilePath(it.next());
    l.folders.sort();
    return l;
}

// A tree of many small and a few larger files in nested folders, one of them read-only, zipped
// with relative paths; the data of "tree/d3/s1/f2.txt" damaged afterwards.
QString makeTreeArchive(TempDir& t)
{
    const QString top = t.file("tree");
    int n = 0;
    for (int d = 0; d < 6; ++d) {
        for (int s = 0; s < 3; ++s) {
            for (int f = 0; f < 4; ++f, ++n) {
                const QString name = QStringLiteral("%1/d%2/s%3/f%4.txt").arg(top).arg(d).arg(s).arg(f);
                QByteArray data = n % 9 == 4 ? randomBytes(70000 + n * 100, n) : textBytes(3000 + n * 211, n);
                if (n % 11 == 0)
                    data = textBytes(300000, n);
                writeFile(name, data);
            }
        }
    }
    ::chmod(QFile::encodeName(top + "/d2/s0/f1.txt").constData(), 0444);
    {
        TZipWriter w;
        w.SetZipName(t.file("tree.zip"));
        w.FilesList << QStringLiteral(">") + top + QStringLiteral("/*.*");
        w.SetRelativePaths(true);
        w.SetRootDir(t.path());
        EXPECT_EQ(w.Zip(), n);
    }
    QByteArray z = readFile(t.file("tree.zip"));
    const qsizetype at = z.indexOf("tree/d3/s1/f2.txt");
    EXPECT_GT(at, 0);
    z[at + 17 + 1500] = char(z[at + 17 + 1500] ^ 0x5A);
    writeFile(t.file("tree.zip"), z);
    return t.file("tree.zip");
}

// Extracts everything with folders; no handler of the start event, so that workers make the
// folders ahead. cancelAfter: a cancel asked for as that many members have ended.
QStringList extract(const QString& zip, const QString& dest, int threads, int cancelAfter = -1,
                    const std::function<void(TZipReader&)>& setup = {})
{
    TZipReader r;
    r.SetZipName(zip);
    r.SetDestDir(dest);
    r.DoAll = true;
    r.RecreateDirs = true;
    r.Threads = threads;
    r.OverwriteMode = Always;
    QStringList ev;
    int ended = 0;
    r.OnEndUnZip = [&](TZipReader* s, int i, const QString& name) {
        ev << QStringLiteral("end %1 %2").arg(i).arg(QDir(dest).relativeFilePath(name));
        if (++ended == cancelAfter)
            s->CancelRequested = true;
    };
    r.OnFilePercentDone = [&](TZipReader*, int p) { ev << QStringLiteral("file %1").arg(p); };
    r.OnTotalPercentDone = [&](TZipReader*, int p) { ev << QStringLiteral("total %1").arg(p); };
    r.OnBadCRC = [&](TZipReader* s, uint32_t c, uint32_t st, int i) {
        ev << QStringLiteral("crc %1 %2 %3 %4").arg(i).arg(c).arg(st).arg(s->Filename(i));
    };
    r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int i) {
        ev << QStringLiteral("skip %1 %2 %3").arg(int(why)).arg(QDir(dest).relativeFilePath(n)).arg(i);
    };
    if (setup)
        setup(r);
    try {
        ev << QStringLiteral("done %1").arg(r.UnZip());
    } catch (const EUserCanceled& e) {
        ev << "canceled " + e.Message;
    }
    return ev;
}

bool anyPartFile(const QString& dir)
{
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (QFileInfo(it.next()).fileName().startsWith(QLatin1String(".morvanel-part-")))
            return true;
    return false;
}

} // namespace

TEST(ParallelExtraction, NewFoldersDatesModesAndADamagedMemberAsOnOneThread)
{
    TempDir t;
    const QString zip = makeTreeArchive(t);
    const QStringList one = extract(zip, t.file("x1"), 1);
    const QStringList eight = extract(zip, t.file("x8"), 8);
    EXPECT_EQ(one, eight);
    EXPECT_EQ(one.last(), "done 71");
    // The damaged member alone fails, with its CRC event; the others are whole.
    const QStringList crc = one.filter(QRegularExpression("^crc "));
    ASSERT_EQ(crc.size(), 1);
    EXPECT_TRUE(crc[0].startsWith("crc 42 ") && crc[0].endsWith(" f2.txt")) << crc[0].toStdString(); // tree/d3/s1/f2.txt
    EXPECT_TRUE(one.filter(QRegularExpression("^skip ")).isEmpty());
    const Landed l1 = landedIn(t.file("x1"));
    const Landed l8 = landedIn(t.file("x8"));
    EXPECT_TRUE(l1 == l8);
    EXPECT_EQ(l1.stamps, l8.stamps);
    EXPECT_EQ(l1.folders, l8.folders);
    EXPECT_EQ(l8.files.size(), 71);
    EXPECT_FALSE(l8.files.contains("tree/d3/s1/f2.txt"));
    EXPECT_EQ(l8.files.value("tree/d5/s2/f3.txt"), readFile(t.file("tree/d5/s2/f3.txt")));
    // The read-only file keeps its mode, and its date to the two seconds a zip date holds.
    const qint64 source = QFileInfo(t.file("tree/d2/s0/f1.txt")).lastModified().toSecsSinceEpoch();
    EXPECT_TRUE(l8.stamps.contains(QStringLiteral("tree/d2/s0/f1.txt %1 444").arg(source - source % 2)))
        << l8.stamps.filter("d2/s0/f1").join(',').toStdString();
    EXPECT_FALSE(anyPartFile(t.file("x8")));
}

TEST(ParallelExtraction, CancelLeavesNoPartFileAndNoFolderOneThreadWouldNotHaveMade)
{
    TempDir t;
    const QString zip = makeTreeArchive(t);
    for (int cancelAfter : {1, 5, 30, 60}) {
        QDir(t.file("x1")).removeRecursively();
        QDir(t.file("x8")).removeRecursively();
        const QStringList one = extract(zip, t.file("x1"), 1, cancelAfter);
        const QStringList eight = extract(zip, t.file("x8"), 8, cancelAfter);
        EXPECT_EQ(one, eight) << cancelAfter;
        EXPECT_EQ(eight.filter("canceled").size(), 1) << cancelAfter;
        EXPECT_EQ(eight.last(), "canceled User Aborted Operation") << cancelAfter;
        EXPECT_FALSE(anyPartFile(t.file("x8"))) << cancelAfter;
        const Landed l1 = landedIn(t.file("x1"));
        const Landed l8 = landedIn(t.file("x8"));
        EXPECT_EQ(l1.folders, l8.folders) << cancelAfter;
        EXPECT_TRUE(l1 == l8) << cancelAfter;
        EXPECT_EQ(l8.files.size(), cancelAfter) << cancelAfter;
    }
}

TEST(ParallelExtraction, HandlersThatRenameIntoOtherFoldersOrSkip)
{
    TempDir t;
    const QString zip = makeTreeArchive(t);
    auto setup = [&](const QString& dest) {
        return [dest](TZipReader& r) {
            r.OnStartUnZip = [dest](TZipReader*, int i, QString& name, bool& skip) {
                if (i % 5 == 1)
                    skip = true;
                else if (i % 3 == 0)
                    name = dest + QStringLiteral("/moved/m%1.txt").arg(i);
            };
        };
    };
    const QStringList one = extract(zip, t.file("x1"), 1, -1, setup(t.file("x1")));
    const QStringList eight = extract(zip, t.file("x8"), 8, -1, setup(t.file("x8")));
    EXPECT_EQ(one, eight);
    const Landed l1 = landedIn(t.file("x1"));
    EXPECT_TRUE(l1 == landedIn(t.file("x8")));
    EXPECT_TRUE(l1.files.contains("moved/m3.txt"));
    EXPECT_FALSE(anyPartFile(t.file("x8")));
    // Only folders with something in them: none was made for a member skipped by the handler.
    for (const QString& f : l1.folders)
        EXPECT_FALSE(QDir(t.file("x8/") + f).isEmpty()) << f.toStdString();
}

TEST(ParallelExtraction, MembersWhoseNamesStandInEachOthersWay)
{
    TempDir t;
    // A file "a" before members inside a folder "a", and members inside "c" before a file "c";
    // many members between, so that workers are well ahead.
    QList<RawMember> members;
    members << RawMember{"a", "file a"};
    for (int i = 0; i < 40; ++i)
        members << RawMember{QStringLiteral("m/n%1.txt").arg(i).toUtf8(), textBytes(2000 + i, i)};
    members << RawMember{"a/inside.txt", "in a"} << RawMember{"c/inside.txt", "in c"};
    for (int i = 0; i < 40; ++i)
        members << RawMember{QStringLiteral("p/q/n%1.txt").arg(i).toUtf8(), textBytes(1000 + i, i)};
    members << RawMember{"c", "file c"} << RawMember{"a/x/deep.txt", "deep"};
    writeFile(t.file("w.zip"), rawZip(members));
    const QStringList one = extract(t.file("w.zip"), t.file("x1"), 1);
    const QStringList eight = extract(t.file("w.zip"), t.file("x8"), 8);
    EXPECT_EQ(one, eight);
    const Landed l1 = landedIn(t.file("x1"));
    EXPECT_TRUE(l1 == landedIn(t.file("x8")));
    EXPECT_EQ(l1.files.value("a"), "file a");
    EXPECT_FALSE(l1.files.contains("c"));
    EXPECT_EQ(l1.files.value("c/inside.txt"), "in c");
    EXPECT_FALSE(anyPartFile(t.file("x8")));
}

// Extraction on many threads where the destination is not a plain new folder: a destination
// given relative to the working folder, files already there that the user keeps or replaces
// (answers in member order, two members of one name), and links at the destination. Each
// run on eight threads must leave what one thread leaves, with the same events; zipping on
// every core onto a disk that fills up keeps the old archive, and a full disk is named with
// the file it stopped.
#include "ComponentSupport.h"

#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace ziptest;
using namespace archive;

namespace {

struct Outcome {
    QStringList events;
    QMap<QString, QByteArray> files;
    QStringList entries; // every entry under the destination with its kind (f, d, l)
};

QStringList entriesOf(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        struct stat st;
        if (::lstat(QFile::encodeName(p).constData(), &st) != 0)
            continue;
        const char kind = S_ISLNK(st.st_mode) ? 'l' : S_ISDIR(st.st_mode) ? 'd' : 'f';
        out << QStringLiteral("%1 %2").arg(QDir(dir).relativeFilePath(p)).arg(QLatin1Char(kind));
    }
    out.sort();
    return out;
}

// Extracts everything with folders into dest (as given: it may be relative); setup adds
// handlers. No start handler, so that workers may make folders ahead.
Outcome extract(const QString& zip, const QString& dest, int threads,
                const std::function<void(TZipReader&, QStringList&)>& setup = {})
{
    Outcome o;
    TZipReader r;
    r.SetZipName(zip);
    r.SetDestDir(dest);
    r.DoAll = true;
    r.RecreateDirs = true;
    r.Threads = threads;
    r.OverwriteMode = Always;
    r.OnEndUnZip = [&](TZipReader*, int i, const QString& name) {
        o.events << QStringLiteral("end %1 %2").arg(i).arg(QFileInfo(name).fileName());
    };
    r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int i) {
        o.events << QStringLiteral("skip %1 %2 %3").arg(int(why)).arg(QFileInfo(n).fileName()).arg(i);
    };
    r.OnBadCRC = [&](TZipReader*, uint32_t, uint32_t, int i) { o.events << QStringLiteral("crc %1").arg(i); };
    if (setup)
        setup(r, o.events);
    try {
        o.events << QStringLiteral("done %1").arg(r.UnZip());
    } catch (const platform::Exception& e) {
        o.events << "error " + e.Message;
    }
    o.files = treeOf(QDir(dest).absolutePath());
    o.entries = entriesOf(QDir(dest).absolutePath());
    return o;
}

class CurrentFolder {
public:
    explicit CurrentFolder(const QString& dir) : saved_(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~CurrentFolder() { QDir::setCurrent(saved_); }

private:
    QString saved_;
};

// Runs the disabled test `test` of this program again in a mount namespace of its own, with a
// file system of sizeMb megabytes mounted on each of `folders` (root only). False, with the
// reason in `why`, when none could be mounted here; else the run's exit code and output.
bool runOnSmallFileSystems(const QStringList& folders, int sizeMb, const QString& test, int& rc, QByteArray& out,
                           std::string& why)
{
    if (::geteuid() != 0 || !haveTool("unshare")) {
        why = "needs root and unshare for a small file system of its own";
        return false;
    }
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString script = QStringLiteral("for d in \"$@\"; do mount -t tmpfs -o size=%1m none \"$d\" || exit 77; done; "
                                          "exec \"%2\" --gtest_also_run_disabled_tests --gtest_filter=%3")
                               .arg(sizeMb)
                               .arg(self, test);
    QByteArray err;
    rc = runTool(QStringLiteral("unshare"), QStringList{QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                                                        QStringLiteral("sh")} + folders,
                 &out, &err);
    if (rc == 77 || (rc != 0 && !out.contains("[ RUN"))) {
        why = "no small file system could be mounted: " + err.toStdString();
        return false;
    }
    return true;
}

// Runs the disabled test `test` with MV_FULL_SRC naming t's folder "src" and MV_FULL_D8 its
// folder "d8", on which a file system of sizeMb megabytes is mounted; skipped where none can be.
void runOnSmallD8(const TempDir& t, int sizeMb, const QString& test)
{
    QDir().mkpath(t.file("d8"));
    qputenv("MV_FULL_SRC", QFile::encodeName(t.file("src")));
    qputenv("MV_FULL_D8", QFile::encodeName(t.file("d8")));
    int rc = 0;
    QByteArray out;
    std::string why;
    if (!runOnSmallFileSystems({t.file("d8")}, sizeMb, test, rc, out, why))
        GTEST_SKIP() << why;
    EXPECT_EQ(rc, 0) << out.toStdString();
}

} // namespace

// A file "a" and, in the same run of members, a member inside a folder "a": one thread writes
// the file and then cannot make the folder. Extracted into a folder named relative to the
// working folder or through "..", eight threads must not make the folder "a" ahead (which
// would cost the file).
TEST(ParallelExtractionPlaces, NamesInEachOthersWayUnderADestinationNamedRelativeOrThroughDotDot)
{
    TempDir t;
    QList<RawMember> members;
    members << RawMember{"a", "file a"} << RawMember{"a/inside.txt", "in a"};
    for (int i = 0; i < 10; ++i)
        members << RawMember{QStringLiteral("m/n%1.txt").arg(i).toUtf8(), textBytes(2000 + i, i)};
    writeFile(t.file("w.zip"), rawZip(members));
    QDir().mkpath(t.file("y"));
    CurrentFolder here(t.path());
    // Relative, and absolute through "..".
    for (int round = 0; round < 4; ++round) {
        QDir(t.file("x1")).removeRecursively();
        QDir(t.file("x8")).removeRecursively();
        const QString via = round % 2 ? t.file("y/../") : QString();
        const Outcome one = extract(t.file("w.zip"), via + QStringLiteral("x1"), 1);
        const Outcome eight = extract(t.file("w.zip"), via + QStringLiteral("x8"), 8);
        EXPECT_EQ(one.files.value("a"), "file a");
        EXPECT_EQ(eight.files.value("a"), "file a") << round;
        EXPECT_EQ(one.events, eight.events) << round;
        EXPECT_EQ(one.entries, eight.entries) << round;
    }
}

// Files already at the destination, some named by two members: the overwrite questions come
// in member order with the same names, a file the user answered No for keeps its bytes, and
// a Yes for the second member of a name gives that member's bytes.
TEST(ParallelExtractionPlaces, OverwriteAnswersInMemberOrderAndNoKeepsTheFile)
{
    TempDir t;
    QList<RawMember> members;
    for (int i = 0; i < 30; ++i) {
        members << RawMember{QStringLiteral("d/k%1.txt").arg(i % 12).toUtf8(),
                             QStringLiteral("member %1 ").arg(i).toUtf8() + textBytes(3000 + i, i)};
    }
    writeFile(t.file("w.zip"), rawZip(members));
    auto setup = [](TZipReader& r, QStringList& ev) {
        r.OverwriteMode = Prompt;
        r.OnPromptForOverwrite = [&ev](TZipReader*, bool& overwrite, int i, QString& name) {
            overwrite = i % 3 != 1;
            ev << QStringLiteral("ask %1 %2").arg(i).arg(QFileInfo(name).fileName());
        };
    };
    for (const char* dest : {"x1", "x8"})
        for (int k = 0; k < 12; ++k)
            writeFile(t.file(QStringLiteral("%1/d/k%2.txt").arg(dest).arg(k)), "old " + QByteArray::number(k));
    const Outcome one = extract(t.file("w.zip"), t.file("x1"), 1, setup);
    const Outcome eight = extract(t.file("w.zip"), t.file("x8"), 8, setup);
    EXPECT_EQ(one.events, eight.events);
    EXPECT_EQ(one.files, eight.files);
    EXPECT_EQ(one.entries, eight.entries);
    // k1 was asked for by members 1, 13 and 25: all answered No.
    EXPECT_EQ(eight.files.value("d/k1.txt"), "old 1");
    EXPECT_TRUE(eight.files.value("d/k0.txt").startsWith("member 24 "));
}

// The destination folder is a link to a folder elsewhere, and a member's name is held by a
// link to a file outside: the member replaces the link and the file outside stays as it was.
TEST(ParallelExtractionPlaces, LinksAtTheDestinationAreReplacedNotWrittenThrough)
{
    TempDir t;
    QList<RawMember> members;
    for (int i = 0; i < 20; ++i)
        members << RawMember{QStringLiteral("s/n%1.txt").arg(i).toUtf8(), textBytes(4000 + i, i)};
    members << RawMember{"s/link.txt", "from the archive"} << RawMember{"s/dangling.txt", "dangling"};
    writeFile(t.file("w.zip"), rawZip(members));
    for (const QString& d : {QStringLiteral("1"), QStringLiteral("8")}) {
        writeFile(t.file("outside" + d + "/victim.txt"), "keep me");
        writeFile(t.file("real" + d + "/s/.keep"), "");
        ASSERT_EQ(::symlink(QFile::encodeName(t.file("real" + d)).constData(), QFile::encodeName(t.file("x" + d)).constData()), 0);
        ASSERT_EQ(::symlink(QFile::encodeName(t.file("outside" + d + "/victim.txt")).constData(),
                            QFile::encodeName(t.file("real" + d + "/s/link.txt")).constData()),
                  0);
        ASSERT_EQ(::symlink(QFile::encodeName(t.file("outside" + d + "/gone.txt")).constData(),
                            QFile::encodeName(t.file("real" + d + "/s/dangling.txt")).constData()),
                  0);
    }
    const Outcome one = extract(t.file("w.zip"), t.file("x1"), 1);
    const Outcome eight = extract(t.file("w.zip"), t.file("x8"), 8);
    EXPECT_EQ(one.events, eight.events);
    EXPECT_EQ(one.entries, eight.entries);
    EXPECT_EQ(readFile(t.file("outside8/victim.txt")), "keep me");
    EXPECT_FALSE(QFileInfo::exists(t.file("outside8/gone.txt")));
    EXPECT_FALSE(QFileInfo(t.file("real8/s/link.txt")).isSymLink());
    EXPECT_EQ(readFile(t.file("real8/s/link.txt")), "from the archive");
    EXPECT_EQ(readFile(t.file("real8/s/dangling.txt")), "dangling");
}

// Run by the test below in a mount namespace of its own, with two small file systems: files
// already extracted there are extracted again over themselves, on one thread into the first,
// on eight into the second. One thread needs room for one member beyond what is there.
TEST(ParallelExtractionPlaces, DISABLED_NearlyFullDiskRun)
{
    const QString zip = qEnvironmentVariable("MV_FULL_ZIP");
    const QString d1 = qEnvironmentVariable("MV_FULL_D1");
    const QString d8 = qEnvironmentVariable("MV_FULL_D8");
    ASSERT_FALSE(zip.isEmpty() || d1.isEmpty() || d8.isEmpty());
    const Outcome first1 = extract(zip, d1, 1);
    const Outcome first8 = extract(zip, d8, 1);
    ASSERT_EQ(first1.events.last(), "done 5") << first1.events.join('|').toStdString();
    ASSERT_EQ(first8.events.last(), "done 5");
    const Outcome one = extract(zip, d1, 1);
    const Outcome eight = extract(zip, d8, 8);
    EXPECT_EQ(one.events.last(), "done 5") << one.events.join('|').toStdString();
    EXPECT_EQ(one.events, eight.events);
    EXPECT_EQ(one.files, eight.files);
}

// A disk with room for one more member, but not for all members workers would write ahead:
// a member whose worker could not write is not reported as damaged; it ends as on one thread.
TEST(ParallelExtractionPlaces, NearlyFullDiskFailsNoMemberThatOneThreadWrites)
{
    TempDir t;
    QStringList names;
    for (int i = 0; i < 5; ++i) {
        names << t.file(QStringLiteral("src/m%1.txt").arg(i));
        writeFile(names.last(), textBytes(1536 * 1024, i));
    }
    {
        TZipWriter w;
        w.SetZipName(t.file("big.zip"));
        w.FilesList = names;
        ASSERT_EQ(w.Zip(), 5);
    }
    QDir().mkpath(t.file("d1"));
    QDir().mkpath(t.file("d8"));
    qputenv("MV_FULL_ZIP", QFile::encodeName(t.file("big.zip")));
    qputenv("MV_FULL_D1", QFile::encodeName(t.file("d1")));
    qputenv("MV_FULL_D8", QFile::encodeName(t.file("d8")));
    int rc = 0;
    QByteArray out;
    std::string why;
    if (!runOnSmallFileSystems({t.file("d1"), t.file("d8")}, 10, "ParallelExtractionPlaces.DISABLED_NearlyFullDiskRun", rc,
                               out, why))
        GTEST_SKIP() << why;
    EXPECT_EQ(rc, 0) << out.toStdString();
}

// Run by the test below: an archive on a small file system is updated with more than fits.
TEST(ParallelZipPlaces, DISABLED_ZipOntoAFullDiskRun)
{
    const QString src = qEnvironmentVariable("MV_FULL_SRC");
    const QString zip = qEnvironmentVariable("MV_FULL_D8") + QStringLiteral("/c.zip");
    ASSERT_FALSE(src.isEmpty());
    {
        TZipWriter w;
        w.SetZipName(zip);
        w.FilesList << src + QStringLiteral("/r0.bin");
        ASSERT_EQ(w.Zip(), 1);
    }
    const QByteArray before = readFile(zip);
    TZipWriter w;
    w.SetZipName(zip);
    w.Threads = 8;
    for (int i = 1; i < 8; ++i)
        w.FilesList << src + QStringLiteral("/r%1.bin").arg(i);
    int errors = 0;
    try {
        w.Zip();
    } catch (const platform::Exception&) {
        ++errors;
    }
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(readFile(zip), before);
    EXPECT_EQ(QDir(QFileInfo(zip).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"c.zip"});
}

// Zipping on every core onto a disk that fills up: an error, the old archive as it was, and
// no file of the run left beside it.
TEST(ParallelZipPlaces, ZipOntoAFullDiskKeepsTheOldArchive)
{
    TempDir t;
    for (int i = 0; i < 8; ++i)
        writeFile(t.file(QStringLiteral("src/r%1.bin").arg(i)), randomBytes(1536 * 1024, i));
    runOnSmallD8(t, 8, "ParallelZipPlaces.DISABLED_ZipOntoAFullDiskRun");
}

// Run by the test below: zipping onto a file system with no room left, then extracting onto it.
TEST(FullDisk, DISABLED_ZipAndUnzipRun)
{
    const QString src = qEnvironmentVariable("MV_FULL_SRC");
    const QString d = qEnvironmentVariable("MV_FULL_D8");
    ASSERT_FALSE(src.isEmpty() || d.isEmpty());
    QStringList messages;
    TZipWriter w;
    w.SetZipName(d + QStringLiteral("/c.zip"));
    for (int i = 0; i < 8; ++i)
        w.FilesList << src + QStringLiteral("/r%1.bin").arg(i);
    try {
        w.Zip();
    } catch (const platform::Exception& e) {
        messages << e.Message;
    }
    // Members that deflate well: the disk fills while they are inflated.
    TZipReader r;
    r.SetZipName(src + QStringLiteral("/t.zip"));
    r.SetDestDir(d);
    r.DoAll = true;
    QStringList damaged;
    r.OnBadCRC = [&](TZipReader* s, uint32_t, uint32_t, int i) { damaged << s->Filename(i); };
    try {
        r.UnZip();
    } catch (const platform::Exception& e) {
        messages << e.Message;
    }
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], "Stream write error: " + d + "/c.zip: No space left on device");
    EXPECT_TRUE(messages[1].startsWith("Stream write error: " + d + "/t")) << messages[1].toStdString();
    EXPECT_TRUE(messages[1].endsWith(".txt: No space left on device")) << messages[1].toStdString();
    EXPECT_EQ(damaged, QStringList());
}

// A full disk while zipping and while extracting: the message names the file and the cause.
TEST(FullDisk, ZipAndUnzipNameTheFileAndTheCause)
{
    TempDir t;
    QStringList texts;
    for (int i = 0; i < 8; ++i) {
        writeFile(t.file(QStringLiteral("src/r%1.bin").arg(i)), randomBytes(1536 * 1024, i));
        texts << t.file(QStringLiteral("src/t%1.txt").arg(i));
        writeFile(texts.last(), textBytes(3 << 20, i));
    }
    {
        TZipWriter w;
        w.SetZipName(t.file("src/t.zip"));
        w.FilesList = texts;
        ASSERT_EQ(w.Zip(), 8);
    }
    runOnSmallD8(t, 8, "FullDisk.DISABLED_ZipAndUnzipRun");
}

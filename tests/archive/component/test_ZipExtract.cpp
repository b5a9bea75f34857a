// Extraction: what lands on disk, where, with which date; passwords, overwrite rules,
// unsafe names, unknown methods, progress and cancel.
#include "ComponentSupport.h"

#include <sys/stat.h>

#include "archive/ZipCrc.h"
#include "platform/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

struct Events {
    QStringList log;
    void attach(TZipReader& r)
    {
        r.OnStartUnZip = [this](TZipReader*, int i, QString& name, bool&) { log << QStringLiteral("start %1 %2").arg(i).arg(QFileInfo(name).fileName()); };
        r.OnEndUnZip = [this](TZipReader*, int i, const QString&) { log << QStringLiteral("end %1").arg(i); };
        r.OnSkippingFile = [this](TZipReader*, TSkipReason why, const QString& name, int i) {
            log << QStringLiteral("skip %1 %2 %3").arg(int(why)).arg(name).arg(i);
        };
        r.OnBadCRC = [this](TZipReader*, uint32_t, uint32_t, int i) { log << QStringLiteral("crc %1").arg(i); };
    }
};

void setMTime(const QString& file, const QDateTime& when)
{
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

TEST(ZipExtractNames, UnsafeNamesWriteNothingOutsideDestDir)
{
    TempDir t;
    const QString evil = QStringLiteral("/tmp/mv-zipcomp-evil-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(evil);
    const bool etcHadX = QFileInfo::exists("/etc/x");
    writeFile(t.file("evil.zip"), rawZip({{"../x", "up"},
                                          {"..\\x2", "up again"},
                                          {"/etc/x", "absolute"},
                                          {evil.toUtf8(), "absolute"},
                                          {"a/../../x3", "inner up"},
                                          {"C:\\x4", "drive"},
                                          {"C:/../x5", "drive and up"},
                                          {"good.txt", "fine"}}));
    for (bool recreate : {false, true}) {
        QDir(t.file("work")).removeRecursively();
        TZipReader r;
        Events ev;
        ev.attach(r);
        r.SetZipName(t.file("evil.zip"));
        r.SetDestDir(t.file("work/dest"));
        r.DoAll = true;
        r.RecreateDirs = recreate;
        r.OverwriteMode = Always;
        // A drive or a leading separator is dropped: the member lands inside the destination.
        EXPECT_EQ(r.UnZip(), 4);
        const QString evilName = QFileInfo(evil).fileName();
        QStringList want = recreate ? QStringList{"dest/etc/x", "dest/good.txt", "dest/tmp/" + evilName, "dest/x4"}
                                    : QStringList{"dest/" + evilName, "dest/good.txt", "dest/x", "dest/x4"};
        want.sort();
        EXPECT_EQ(treeOf(t.file("work")).keys(), want);
        EXPECT_EQ(ev.log.filter("skip 3").size(), 4) << ev.log.join("\n").toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(evil));
    EXPECT_EQ(QFileInfo::exists("/etc/x"), etcHadX);
    EXPECT_FALSE(QFileInfo::exists(t.file("x")));
}

TEST(ZipExtractNames, NameIsCutAtNulAndEmptyDestDirMeansCurrentFolder)
{
    TempDir t;
    writeFile(t.file("n.zip"), rawZip({{QByteArray("a.txt\0/../../b", 14), "nul"}}));
    const QString cwd = QDir::currentPath();
    QDir().mkpath(t.file("here"));
    QDir::setCurrent(t.file("here"));
    TZipReader r;
    r.SetZipName(t.file("n.zip"));
    r.DoAll = true;
    const int n = r.UnZip();
    QDir::setCurrent(cwd);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(treeOf(t.file("here")).keys(), QStringList{"a.txt"});
}

TEST(ZipExtractNames, FoldersRootDirAndFlatExtraction)
{
    TempDir t;
    writeFile(t.file("d.zip"), rawZip({{"sub/", ""}, {"sub/x/a.txt", "a"}, {"SUB/b.txt", "b"}, {"top.txt", "t"}}));
    {
        TZipReader r;
        r.SetZipName(t.file("d.zip"));
        r.SetDestDir(t.file("flat"));
        r.DoAll = true;
        EXPECT_EQ(r.UnZip(), 3);
        EXPECT_EQ(treeOf(t.file("flat")).keys(), (QStringList{"a.txt", "b.txt", "top.txt"}));
    }
    {
        TZipReader r;
        r.SetZipName(t.file("d.zip"));
        r.SetDestDir(t.file("tree"));
        r.SetRootDir("sub");
        r.DoAll = true;
        r.RecreateDirs = true;
        QStringList starts;
        r.OnStartUnZip = [&](TZipReader*, int, QString& name, bool&) { starts << name; };
        EXPECT_EQ(r.UnZip(), 3);
        // The root folder is taken off only where it stands in its exact case: "SUB" is
        // another folder.
        EXPECT_EQ(treeOf(t.file("tree")).keys(), (QStringList{"SUB/b.txt", "top.txt", "x/a.txt"}));
        EXPECT_EQ(starts.size(), 4); // the folder entry is announced too
    }
}

TEST(ZipExtractNames, FolderMarkedOnlyByItsAttribute)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    // Folders of an MS-DOS made archive, known by their attribute alone: no final "/".
    const char* script = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name in ('def', 'empty'):
        info = zipfile.ZipInfo(name)
        info.external_attr = 0x10
        info.create_system = 0
        z.writestr(info, b'')
    z.writestr('def/foo', b'foo data')
)";
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", script, t.file("d.zip")}, &out), 0) << out.constData();
    const Extracted tree = unzipAll(t.file("d.zip"), t.file("tree/"));
    EXPECT_EQ(tree.count, 1) << tree.skipped.join(",").toStdString();
    EXPECT_EQ(treeOf(t.file("tree")), (QMap<QString, QByteArray>{{"def/foo", "foo data"}}));
    EXPECT_TRUE(QFileInfo(t.file("tree/empty")).isDir());
    const Extracted flat = unzipAll(t.file("d.zip"), t.file("flat/"), QString(), false);
    EXPECT_EQ(flat.count, 1) << flat.skipped.join(",").toStdString();
    EXPECT_EQ(QDir(t.file("flat")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"foo"});
}

TEST(ZipExtractSelect, PatternsAreCaseInsensitiveOnDirectoryAndName)
{
    TempDir t;
    writeFile(t.file("s.zip"), rawZip({{"docs/Readme.TXT", "r"}, {"docs/img.png", "p"}, {"NOTES.txt", "n"}}));
    TZipReader r;
    r.SetZipName(t.file("s.zip"));
    r.SetDestDir(t.file("x"));
    int announced = -1;
    int completed = -1;
    r.OnStartUnZipInfo = [&](TZipReader*, int n, int64_t, bool&) { announced = n; };
    r.OnUnZipComplete = [&](TZipReader*, int n) { completed = n; };
    // Nothing selected.
    EXPECT_EQ(r.UnZip(), 0);
    EXPECT_EQ(announced, 0);
    EXPECT_EQ(completed, 0);
    r.FilesList << "DOCS/*.txt" << "notes.*";
    EXPECT_EQ(r.UnZip(), 2);
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(treeOf(t.file("x")).keys(), (QStringList{"NOTES.txt", "Readme.TXT"}));
}

TEST(ZipExtractPassword, WrongPasswordNewPasswordAndRetry)
{
    MV_REQUIRE_TOOL("zip");
    TempDir t;
    writeFile(t.file("src/secret.txt"), textBytes(5000, 5));
    writeFile(t.file("src/second.txt"), textBytes(700, 6));
    ASSERT_EQ(peer("zip", {"-q", "-j", "-P", "right", t.file("p.zip"), t.file("src/secret.txt"), t.file("src/second.txt")}), 0);

    {
        TZipReader r;
        Events ev;
        ev.attach(r);
        r.SetZipName(t.file("p.zip"));
        r.SetDestDir(t.file("wrong"));
        r.DoAll = true;
        r.Password = "wrong";
        EXPECT_EQ(r.UnZip(), 0);
        EXPECT_EQ(ev.log.filter("skip 0").size(), 2) << ev.log.join("\n").toStdString();
        EXPECT_TRUE(treeOf(t.file("wrong")).isEmpty());
    }
    {
        TZipReader r;
        Events ev;
        ev.attach(r);
        r.SetZipName(t.file("p.zip"));
        r.SetDestDir(t.file("right"));
        r.DoAll = true;
        r.Password = "wrong";
        int asked = 0;
        r.OnBadPassword = [&](TZipReader*, int, QString& pw) {
            ++asked;
            pw = "right";
        };
        EXPECT_EQ(r.UnZip(), 2);
        EXPECT_EQ(asked, 1); // the new password is kept for the next member
        EXPECT_EQ(r.Password, "right");
        EXPECT_EQ(readFile(t.file("right/secret.txt")), textBytes(5000, 5));
    }
}

TEST(ZipExtractPassword, CrcFailureOfEncryptedMemberAsksAgainAndReruns)
{
    // The right password with a damaged data byte: the header passes, the CRC check fails.
    TempDir t;
    TZipWriter w;
    writeFile(t.file("a.txt"), textBytes(3000, 8));
    w.SetZipName(t.file("e.zip"));
    w.PackLevel = 0;
    w.Password = "pw";
    w.FilesList << t.file("a.txt");
    ASSERT_EQ(w.Zip(), 1);
    QByteArray z = readFile(t.file("e.zip"));
    z[30 + 5 + 12 + 100] = char(z[30 + 5 + 12 + 100] ^ 0x55);
    writeFile(t.file("e.zip"), z);

    TZipReader r;
    Events ev;
    ev.attach(r);
    r.SetZipName(t.file("e.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.Password = "pw";
    int asked = 0;
    r.OnBadPassword = [&](TZipReader*, int, QString& pw) {
        if (++asked == 1)
            pw = "other"; // reruns the member: its header now fails the check
    };
    EXPECT_EQ(r.UnZip(), 0);
    EXPECT_EQ(ev.log.filter("start").size(), 2) << ev.log.join("\n").toStdString();
    EXPECT_EQ(ev.log.filter("skip 0").size(), 1);
    EXPECT_FALSE(QFileInfo::exists(t.file("x/a.txt")));
}

TEST(ZipExtractOverwrite, RulesForExistingFiles)
{
    TempDir t;
    RawMember m{"f.txt", "from archive"};
    m.dosTime = 0x5A8E6000; // 2025-04-14 12:00
    writeFile(t.file("o.zip"), rawZip({m}));
    auto run = [&](TUZOverwriteMode mode, const QDateTime& existingTime, Events& ev) {
        writeFile(t.file("x/f.txt"), "existing");
        setMTime(t.file("x/f.txt"), existingTime);
        TZipReader r;
        ev.attach(r);
        r.SetZipName(t.file("o.zip"));
        r.SetDestDir(t.file("x"));
        r.DoAll = true;
        r.OverwriteMode = mode;
        return r.UnZip();
    };
    const QDateTime older(QDate(2020, 1, 1), QTime(0, 0));
    const QDateTime newer(QDate(2030, 1, 1), QTime(0, 0));
    {
        Events ev;
        EXPECT_EQ(run(Never, older, ev), 0);
        EXPECT_EQ(readFile(t.file("x/f.txt")), "existing");
        ASSERT_EQ(ev.log.filter("skip").size(), 1);
        EXPECT_TRUE(ev.log.filter("skip").first().startsWith("skip 1 " + t.file("x/f.txt")));
    }
    {
        Events ev;
        EXPECT_EQ(run(ifNewer, older, ev), 1);
        EXPECT_EQ(readFile(t.file("x/f.txt")), "from archive");
        EXPECT_EQ(QFileInfo(t.file("x/f.txt")).lastModified(), QDateTime(QDate(2025, 4, 14), QTime(12, 0)));
    }
    {
        Events ev;
        EXPECT_EQ(run(ifNewer, newer, ev), 0);
        EXPECT_EQ(run(ifOlder, older, ev), 0);
        EXPECT_EQ(run(ifOlder, newer, ev), 1);
    }
    {
        // Prompt without a handler asks with the component's own message box.
        platform::ScopedScriptedDialogs dlg;
        dlg->pushAnswer(platform::MsgResult::No);
        Events ev;
        EXPECT_EQ(run(Prompt, older, ev), 0);
        ASSERT_EQ(dlg->shown().size(), 1);
        EXPECT_EQ(dlg->shown()[0].text, "Replace existing file f.txt?");
        EXPECT_EQ(dlg->shown()[0].caption, "File Exists Alert");
        EXPECT_EQ(readFile(t.file("x/f.txt")), "existing");
    }
    {
        // A handler may redirect the member to another name.
        writeFile(t.file("x/f.txt"), "existing");
        TZipReader r;
        r.SetZipName(t.file("o.zip"));
        r.SetDestDir(t.file("x"));
        r.DoAll = true;
        r.OnPromptForOverwrite = [&](TZipReader*, bool& ok, int, QString& name) {
            ok = true;
            name = t.file("x/renamed.txt");
        };
        EXPECT_EQ(r.UnZip(), 1);
        EXPECT_EQ(readFile(t.file("x/f.txt")), "existing");
        EXPECT_EQ(readFile(t.file("x/renamed.txt")), "from archive");
    }
}

TEST(ZipExtractOverwrite, LinkInDestinationIsReplacedNotFollowed)
{
    TempDir t;
    writeFile(t.file("outside.txt"), "keep me");
    QDir().mkpath(t.file("x"));
    ASSERT_TRUE(QFile::link(t.file("outside.txt"), t.file("x/f.txt")));
    writeFile(t.file("o.zip"), rawZip({{"f.txt", "member"}}));
    TZipReader r;
    r.SetZipName(t.file("o.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.OverwriteMode = Always;
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_EQ(readFile(t.file("outside.txt")), "keep me");
    EXPECT_EQ(readFile(t.file("x/f.txt")), "member");
    EXPECT_FALSE(QFileInfo(t.file("x/f.txt")).isSymLink());

    // A folder of the destination that is a link out of it is not written through, nor is a
    // member stored as a link (Unix mode S_IFLNK): that one lands as a file holding its text.
    MV_REQUIRE_TOOL("python3");
    QDir().mkpath(t.file("away"));
    QDir().mkpath(t.file("x/inner"));
    ASSERT_TRUE(QFile::link(t.file("away"), t.file("x/sub")));
    ASSERT_TRUE(QFile::link("inner", t.file("x/near")));
    const QString py = QStringLiteral(
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
        "l = zipfile.ZipInfo('ln'); l.create_system = 3; l.external_attr = 0o120777 << 16\n"
        "z.writestr(l, sys.argv[2])\n"
        "for n in ('ln/f.txt', 'sub/f.txt', 'sub/deep/f.txt', 'near/f.txt'): z.writestr(n, 'member')\n"
        "z.close()\n");
    ASSERT_EQ(peer("python3", {"-c", py, t.file("links.zip"), t.file("away")}), 0);
    for (bool parallel : {false, true}) {
        TZipReader l;
        Events ev;
        ev.attach(l);
        l.SetZipName(t.file("links.zip"));
        l.SetDestDir(t.file("x"));
        l.DoAll = true;
        l.RecreateDirs = true;
        l.OverwriteMode = Always;
        l.Threads = parallel ? 4 : 1;
        l.UnZip();
        EXPECT_TRUE(treeOf(t.file("away")).isEmpty()) << ev.log.join("\n").toStdString();
        EXPECT_EQ(readFile(t.file("x/ln")), t.file("away").toUtf8());
        EXPECT_FALSE(QFileInfo(t.file("x/ln")).isSymLink());
        EXPECT_EQ(readFile(t.file("x/inner/f.txt")), "member"); // a link inside the destination serves
        EXPECT_EQ(ev.log.filter("skip 3").size(), 3) << ev.log.join("\n").toStdString();
        QFile::remove(t.file("x/ln"));
    }
}

TEST(ZipExtractMethods, UnknownMethodsLeaveNoFile)
{
    TempDir t;
    RawMember m9{"deflate64.bin", randomBytes(300, 1), 9};
    RawMember m12{"bzip2.bin", randomBytes(300, 2), 12};
    RawMember ok{"plain.txt", "plain"};
    writeFile(t.file("m.zip"), rawZip({m9, m12, ok}));
    platform::ScopedScriptedDialogs dlg;
    TZipReader r;
    Events ev;
    ev.attach(r);
    r.SetZipName(t.file("m.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    EXPECT_EQ(r.UnZip(), 1);
    ASSERT_EQ(dlg->shown().size(), 2);
    EXPECT_EQ(dlg->shown()[0].text, "Unknown Compression Method");
    EXPECT_EQ(dlg->shown()[0].caption, "Zip Error");
    EXPECT_EQ(treeOf(t.file("x")).keys(), QStringList{"plain.txt"});
    EXPECT_EQ(ev.log.filter("crc").size(), 2);

    // A header claiming the CRC of no data at all: the empty output is still no success.
    QByteArray zero = rawZip({m12});
    for (const qsizetype at : {qsizetype(14), zero.indexOf("PK\x01\x02") + 16})
        zero.replace(at, 4, QByteArray(4, '\0'));
    writeFile(t.file("zero.zip"), zero);
    TZipReader z;
    z.SetZipName(t.file("zero.zip"));
    z.SetDestDir(t.file("y"));
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 0);
    EXPECT_EQ(dlg->shown().size(), 3);
    EXPECT_TRUE(treeOf(t.file("y")).isEmpty());
}

TEST(ZipExtractMethods, DamagedDataFailsTheCrcCheckAndIsRemoved)
{
    TempDir t;
    RawMember m{"bad.txt", "the stored bytes"};
    m.crc = 0x12345678;
    writeFile(t.file("b.zip"), rawZip({m, {"empty.txt", ""}}));
    TZipReader r;
    uint32_t calc = 0, stored = 0;
    r.OnBadCRC = [&](TZipReader*, uint32_t c, uint32_t s, int) {
        calc = c;
        stored = s;
    };
    int percents = 0;
    r.OnFilePercentDone = [&](TZipReader*, int) { ++percents; };
    r.SetZipName(t.file("b.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    EXPECT_EQ(r.UnZip(), 1); // the empty member counts
    EXPECT_EQ(stored, 0x12345678u);
    EXPECT_EQ(calc, UpdateCrc32(0, "the stored bytes", 16));
    EXPECT_EQ(treeOf(t.file("x")).keys(), QStringList{"empty.txt"});
    EXPECT_EQ(percents, 1); // one block for the damaged member, none for the empty one
}

TEST(ZipExtractOverwrite, FailedMemberKeepsTheFileItWasToReplace)
{
    TempDir t;
    RawMember bad{"bad.txt", "the stored bytes"};
    bad.crc = 0x12345678;
    writeFile(t.file("b.zip"), rawZip({bad, {"new.txt", "fresh"}}));
    writeFile(t.file("x/bad.txt"), "my own file");
    writeFile(t.file("x/new.txt"), "old version");
    TZipReader r;
    r.SetZipName(t.file("b.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.OverwriteMode = Always;
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_EQ(treeOf(t.file("x")), (QMap<QString, QByteArray>{{"bad.txt", "my own file"}, {"new.txt", "fresh"}}));
    // A new file gets the usual permissions of a new file.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(bool(QFileInfo(t.file("x/new.txt")).permissions() & QFile::ReadOther), !(mask & 04));

    // A cancel in the middle of a member: the file it was to replace is untouched.
    writeFile(t.file("big.bin"), randomBytes(200000, 4));
    TZipWriter w;
    w.SetZipName(t.file("c.zip"));
    w.PackLevel = 0;
    w.FilesList << t.file("big.bin");
    ASSERT_EQ(w.Zip(), 1);
    writeFile(t.file("y/big.bin"), "keep");
    TZipReader c;
    c.SetZipName(t.file("c.zip"));
    c.SetDestDir(t.file("y"));
    c.DoAll = true;
    c.OverwriteMode = Always;
    c.OnFilePercentDone = [](TZipReader* s, int p) {
        if (p > 30)
            s->CancelRequested = true;
    };
    EXPECT_THROW(c.UnZip(), EUserCanceled);
    EXPECT_EQ(treeOf(t.file("y")), (QMap<QString, QByteArray>{{"big.bin", "keep"}}));

    // A read-only file is replaced only with ReplaceReadOnly.
    writeFile(t.file("z/new.txt"), "read only");
    QFile::setPermissions(t.file("z/new.txt"), QFile::ReadOwner);
    TZipReader o;
    o.SetZipName(t.file("b.zip"));
    o.SetDestDir(t.file("z"));
    o.DoAll = true;
    o.OverwriteMode = Always;
    QStringList skipped;
    o.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& name, int) {
        if (why == srCreateError)
            skipped << QFileInfo(name).fileName();
    };
    EXPECT_EQ(o.UnZip(), 0);
    EXPECT_EQ(skipped, QStringList{"new.txt"});
    EXPECT_EQ(readFile(t.file("z/new.txt")), "read only");
    o.ReplaceReadOnly = true;
    EXPECT_EQ(o.UnZip(), 1);
    EXPECT_EQ(readFile(t.file("z/new.txt")), "fresh");
}

TEST(ZipExtractMethods, MemberLongerThanItsSizeIsStopped)
{
    TempDir t;
    // A stored member claiming 4 bytes expanded but holding 10: the output guard stops it.
    QByteArray z = rawZip({{"long.txt", "0123456789"}});
    const int usizeAt = 22; // local header's uncompressed size
    z[usizeAt] = 4;
    const qsizetype cd = z.indexOf(QByteArray("PK\x01\x02", 4));
    z[cd + 24] = 4;
    writeFile(t.file("l.zip"), z);
    TZipReader r;
    Events ev;
    ev.attach(r);
    r.SetZipName(t.file("l.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    EXPECT_EQ(r.UnZip(), 0);
    EXPECT_EQ(ev.log, (QStringList{"start 0 long.txt", "skip 6 long.txt 0"}));
    EXPECT_FALSE(QFileInfo::exists(t.file("x/long.txt")));
}

TEST(ZipExtractProgress, PercentagesAndCancel)
{
    TempDir t;
    writeFile(t.file("big.bin"), randomBytes(200000, 3));
    writeFile(t.file("small.txt"), textBytes(1000, 3));
    TZipWriter w;
    w.SetZipName(t.file("p.zip"));
    w.PackLevel = 0;
    w.FilesList << t.file("big.bin") << t.file("small.txt");
    ASSERT_EQ(w.Zip(), 2);
    {
        TZipReader r;
        QList<int> file, total;
        r.OnFilePercentDone = [&](TZipReader*, int p) { file << p; };
        r.OnTotalPercentDone = [&](TZipReader*, int p) { total << p; };
        r.SetZipName(t.file("p.zip"));
        r.SetDestDir(t.file("x"));
        r.DoAll = true;
        EXPECT_EQ(r.UnZip(), 2);
        ASSERT_GT(file.size(), 10);
        EXPECT_EQ(file.first(), 8); // 16000 of 200000
        EXPECT_EQ(total.last(), 100);
        EXPECT_TRUE(std::is_sorted(total.begin(), total.end()));
    }
    {
        TZipReader r;
        r.SetZipName(t.file("p.zip"));
        r.SetDestDir(t.file("c"));
        r.DoAll = true;
        r.OnFilePercentDone = [&](TZipReader* s, int p) {
            if (p > 30)
                s->CancelRequested = true;
        };
        int completed = -1;
        r.OnUnZipComplete = [&](TZipReader*, int n) { completed = n; };
        try {
            r.UnZip();
            ADD_FAILURE() << "no cancel";
        } catch (const EUserCanceled& e) {
            EXPECT_EQ(e.Message, "User Aborted Operation");
        }
        EXPECT_EQ(completed, 0);
        EXPECT_FALSE(r.CancelRequested);
        EXPECT_TRUE(treeOf(t.file("c")).isEmpty()); // no partial member left behind
    }
}

TEST(ZipExtractAttributes, ReadOnlyMembersAndReplaceReadOnly)
{
    TempDir t;
    writeFile(t.file("ro.txt"), "read only");
    QFile::setPermissions(t.file("ro.txt"), QFile::ReadOwner | QFile::ReadGroup);
    TZipWriter w;
    w.SetZipName(t.file("r.zip"));
    w.FilesList << t.file("ro.txt");
    ASSERT_EQ(w.Zip(), 1);
    EXPECT_EQ(w.Members()->Header(0)->ExternalAttributes & 1, 1u);
    TZipReader r;
    r.SetZipName(t.file("r.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.OverwriteMode = Always;
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_FALSE(QFileInfo(t.file("x/ro.txt")).permissions() & QFile::WriteOwner);
    // Extracting again over the read-only file.
    r.ReplaceReadOnly = true;
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_EQ(readFile(t.file("x/ro.txt")), "read only");
}

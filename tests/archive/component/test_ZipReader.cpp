// Opening archives and reading their directory: damaged and incomplete files, the rebuild
// scan, indexed access, comments, sort order and volume sets.
#include "ComponentSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/dialogs/Dialogs.h"

#include <QCryptographicHash>
#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

QByteArray sampleZip()
{
    return rawZip({{"one.txt", "first member\r\n"}, {"dir/two.txt", "second member, a little longer\r\n"}},
                  "archive comment");
}

template <class E>
QString messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.Message;
    } catch (const platform::Exception& e) {
        return QStringLiteral("wrong class: ") + e.Message;
    }
    return QStringLiteral("no exception");
}

} // namespace

TEST(ZipReaderOpen, RandomBytesAreNoArchive)
{
    TempDir t;
    writeFile(t.file("random.zip"), randomBytes(20000, 7));
    TZipReader r;
    r.SetZipName(t.file("random.zip"));
    // No end record, and it does not begin like an archive either.
    EXPECT_EQ(messageOf<EBadZipFile>([&] { r.OpenZip(); }), "Not a valid zip file!");
    EXPECT_EQ(r.Count(), 0);
    EXPECT_TRUE(r.ZipName().isEmpty()); // a failed read leaves the component cleared

    TZipReader bad;
    bad.IncompleteZipMode = izAssumeBad;
    bad.SetZipName(t.file("random.zip"));
    EXPECT_EQ(messageOf<EBadZipFile>([&] { bad.OpenZip(); }), "Not a valid zip file!");

    // An end record whose directory offset points at nothing useful, and no local header.
    QByteArray fake = randomBytes(3000, 9).replace("PK", "pk");
    put32(fake, 0x06054b50);
    put16(fake, 0);
    put16(fake, 0);
    put16(fake, 1);
    put16(fake, 1);
    put32(fake, 46);
    put32(fake, 100);
    put16(fake, 0);
    writeFile(t.file("fake.zip"), fake);
    TZipReader f;
    f.SetZipName(t.file("fake.zip"));
    EXPECT_EQ(messageOf<EBadZipFile>([&] { f.UnZip(); }), "Not a valid zip file!");
}

TEST(ZipReaderOpen, TruncatedArchiveAndTheRebuildScan)
{
    TempDir t;
    const QByteArray whole = rawZip({{"a.txt", textBytes(3000, 1)}, {"b.txt", textBytes(4000, 2)}, {"c.txt", textBytes(5000, 3)}});
    // Cut inside the third member's data: no end record, two complete members.
    writeFile(t.file("cut.zip"), whole.left(30 + 5 + 3000 + 30 + 5 + 4000 + 30 + 5 + 100));
    TZipReader r;
    r.SetZipName(t.file("cut.zip"));
    EXPECT_EQ(messageOf<EIncompleteZip>([&] { r.OpenZip(); }), "Incomplete Zip File");

    TZipReader rb;
    rb.SetZipName(t.file("cut.zip"));
    bool asked = false;
    rb.OnInCompleteZip = [&](TZipReader*, TIncompleteZipMode& mode) {
        asked = true;
        mode = izAssumeBad;
    };
    rb.OpenZip();
    EXPECT_TRUE(asked);
    EXPECT_EQ(rb.IncompleteZipMode, izAssumeBad);
    EXPECT_TRUE(rb.DirectoryRebuilt());
    ASSERT_EQ(rb.Count(), 3); // the third header is there, its data are not
    EXPECT_EQ(rb.Filename(0), "a.txt");
    rb.SetDestDir(t.file("x"));
    rb.FilesList << "a.txt" << "b.txt";
    EXPECT_EQ(rb.UnZip(), 2);
    EXPECT_EQ(readFile(t.file("x/b.txt")), textBytes(4000, 2));
}

TEST(ZipReaderOpen, StubBeforeArchiveWithDamagedDirectoryIsScanned)
{
    TempDir t;
    QByteArray zip = rawZip({{"inside.txt", textBytes(2000, 4)}, {"second.txt", "tail"}});
    // Damage the central directory's first signature.
    const qsizetype cd = zip.indexOf(QByteArray("PK\x01\x02", 4));
    zip[cd + 2] = 'X';
    // A stub holding a stray local-header signature of its own, which the scan must not see.
    QByteArray stub = randomBytes(14000, 3);
    stub.replace(100, 4, QByteArray("PK\x03\x04", 4));
    writeFile(t.file("setup.exe"), stub + zip);
    TZipReader r;
    r.SetZipName(t.file("setup.exe"));
    r.OpenZip();
    EXPECT_TRUE(r.DirectoryRebuilt());
    ASSERT_EQ(r.Count(), 2);
    EXPECT_EQ(r.Filename(0), "inside.txt");
    EXPECT_EQ(r.Filename(1), "second.txt");
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    EXPECT_EQ(r.UnZip(), 2);
    EXPECT_EQ(readFile(t.file("x/inside.txt")), textBytes(2000, 4));
}

TEST(ZipReaderAccess, IndexesNamesDatesAndComments)
{
    TempDir t;
    writeFile(t.file("s.zip"), sampleZip());
    TZipReader r;
    r.SetZipName(t.file("s.zip"));
    EXPECT_EQ(r.Count(), 0); // nothing read yet
    r.OpenZip();
    ASSERT_EQ(r.Count(), 2);
    EXPECT_EQ(r.Filename(1), "two.txt");
    EXPECT_EQ(r.SortedMembers()->Header(1)->Directory(), "dir\\");
    EXPECT_EQ(r.DateTime(0), QDateTime(QDate(2025, 4, 14), QTime(12, 0, 0)));
    EXPECT_EQ(messageOf<EListError>([&] { r.Filename(5); }), "Index 5 is out of range");
    EXPECT_EQ(messageOf<EListError>([&] { r.DateTime(-1); }), "Index -1 is out of range");
    EXPECT_EQ(r.ZipComment(), "archive comment");
    EXPECT_EQ(r.FileComment(0), "");

    // The same name changes nothing; another name drops the directory, one that differs only
    // in case too (on Linux that is another file).
    r.SetZipName(t.file("s.zip"));
    EXPECT_EQ(r.Count(), 2);
    r.SetZipName(t.file("S.ZIP"));
    EXPECT_EQ(r.Count(), 0);
    writeFile(t.file("other.zip"), rawZip({{"x", "y"}}));
    r.SetZipName(t.file("other.zip"));
    EXPECT_EQ(r.Count(), 0);
    r.OpenZip();
    EXPECT_EQ(r.Count(), 1);
}

TEST(ZipReaderAccess, MemberCommentsFromTestFiles)
{
    MV_REQUIRE_TESTDATA();
    TZipReader r;
    r.SetZipName(testdataDir() + "zip/sharpcompress/Zip.EntryComment.zip");
    r.OpenZip();
    ASSERT_EQ(r.Count(), 1);
    EXPECT_FALSE(r.FileComment(0).isEmpty());
    TZipReader l;
    l.SetZipName(testdataDir() + "zip/sharpcompress/Zip.LongComment.zip");
    l.OpenZip();
    EXPECT_GT(l.ZipComment().size(), 1000);
}

TEST(ZipReaderAccess, ChangedArchiveIsReadAgain)
{
    TempDir t;
    writeFile(t.file("a.zip"), rawZip({{"one", "1"}}));
    TZipReader r;
    r.SetZipName(t.file("a.zip"));
    r.OpenZip();
    r.CloseZip();
    EXPECT_EQ(r.Count(), 1);
    // Rewritten at once, in the same two-second DOS tick: still noticed.
    writeFile(t.file("a.zip"), rawZip({{"one", "1"}, {"two", "2"}}));
    r.OpenZip();
    EXPECT_EQ(r.Count(), 2);
    r.CloseZip();

    // Replaced by another archive of the same size and the very same modification time.
    writeFile(t.file("b.zip"), rawZip({{"six", "6"}, {"ten", "0"}}));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(t.file("a.zip")).constData(), &st), 0);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(t.file("b.zip")).constData(), times, 0), 0);
    ASSERT_EQ(::rename(QFile::encodeName(t.file("b.zip")).constData(), QFile::encodeName(t.file("a.zip")).constData()), 0);
    r.OpenZip();
    EXPECT_EQ(r.Filename(0), "six");
    r.CloseZip();
    // An update after such a change works from the new directory.
    writeFile(t.file("c.zip"), rawZip({{"one", "1"}, {"two", "2"}}));
    ASSERT_EQ(::stat(QFile::encodeName(t.file("a.zip")).constData(), &st), 0);
    const struct timespec same[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(t.file("c.zip")).constData(), same, 0), 0);
    TZipWriter w;
    w.SetZipName(t.file("a.zip"));
    w.OpenZip();
    w.CloseZip();
    ASSERT_EQ(::rename(QFile::encodeName(t.file("c.zip")).constData(), QFile::encodeName(t.file("a.zip")).constData()), 0);
    writeFile(t.file("new.txt"), "new");
    w.FilesList << t.file("new.txt");
    EXPECT_EQ(w.Zip(), 1);
    const Extracted ex = unzipAll(t.file("a.zip"), t.file("x/"));
    EXPECT_EQ(ex.count, 3);
    EXPECT_EQ(treeOf(t.file("x")), (QMap<QString, QByteArray>{{"one", "1"}, {"two", "2"}, {"new.txt", "new"}}));
}

TEST(ZipReaderAccess, SortModeOrdersAccessButNotExtraction)
{
    TempDir t;
    writeFile(t.file("s.zip"), rawZip({{"zeta.txt", "z"}, {"Alpha.txt", "a"}, {"mid/beta.txt", "b"}}));
    TZipReader r;
    r.SortMode = ByName;
    r.SetZipName(t.file("s.zip"));
    r.OpenZip();
    EXPECT_EQ(r.Filename(0), "Alpha.txt");
    EXPECT_EQ(r.Filename(1), "beta.txt");
    EXPECT_EQ(r.Filename(2), "zeta.txt");
    r.SetSortMode(ByNone);
    EXPECT_EQ(r.Filename(0), "zeta.txt");
}

TEST(ZipReaderAccess, EmptyArchive)
{
    TempDir t;
    writeFile(t.file("e.zip"), rawZip({}));
    TZipReader r;
    r.SetZipName(t.file("e.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    int completed = -1;
    r.OnUnZipComplete = [&](TZipReader*, int n) { completed = n; };
    EXPECT_EQ(r.UnZip(), 0);
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(completed, 0);
}

TEST(ZipReaderAccess, DestDirAndDialogs)
{
    platform::ScopedScriptedDialogs dlg;
    TZipReader r;
    r.SetDestDir("/tmp/out/");
    EXPECT_EQ(r.DestDir(), "/tmp/out");
    r.SetDestDir("/");
    EXPECT_EQ(r.DestDir(), "/");
    // Cancelled dialogs leave everything as it was.
    EXPECT_EQ(messageOf<EUserCanceled>([&] { r.SetDestDir("?"); }), "User canceled Set Desination Directory");
    EXPECT_EQ(r.DestDir(), "/");
    EXPECT_EQ(messageOf<EUserCanceled>([&] { r.SetZipName("/tmp/?"); }), "User canceled setting zip file name.");
    ASSERT_FALSE(dlg->shown().isEmpty());
    EXPECT_EQ(dlg->shown().last().text, "Open a Zip File");
    dlg->pushFileName("/tmp/chosen.zip");
    r.SetZipName("/tmp/?");
    EXPECT_EQ(r.ZipName(), "/tmp/chosen.zip");
}

TEST(ZipReaderVolumes, SpannedSetsWithAVolumeHandler)
{
    MV_REQUIRE_TESTDATA();
    const QString base = testdataDir() + "zip/sharpcompress/";
    for (const QString& stem : {QStringLiteral("Infozip.nocomp.multi"), QStringLiteral("WinZip26.nocomp.multi")}) {
        TempDir t;
        TZipReader r;
        r.SetZipName(base + stem + ".zip");
        QList<int> asked;
        r.OnGetNextDisk = [&](TZipReader*, int disk, QString& name) {
            asked << disk;
            name = disk == 1 ? base + stem + ".z01" : base + stem + ".zip";
        };
        r.SetDestDir(t.file("x"));
        r.DoAll = true;
        r.RecreateDirs = true;
        EXPECT_EQ(r.UnZip(), 3) << stem.toStdString();
        EXPECT_FALSE(asked.isEmpty());
        EXPECT_EQ(QCryptographicHash::hash(readFile(t.file("x/exe/test.exe")), QCryptographicHash::Sha256).toHex(),
                  "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106");
        EXPECT_EQ(QCryptographicHash::hash(readFile(t.file("x/jpg/test.jpg")), QCryptographicHash::Sha256).toHex(),
                  "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53");
    }
}

TEST(ZipReaderVolumes, MissingBlockEndsWithCancelInsteadOfAskingForever)
{
    MV_REQUIRE_TESTDATA();
    // The last volume alone: neither "set.001" nor "set.z01" exists beside it.
    TempDir t;
    ASSERT_TRUE(QFile::copy(testdataDir() + "zip/sharpcompress/Infozip.nocomp.multi.zip", t.file("set.zip")));
    int completed = -1;
    TZipReader r;
    r.SetZipName(t.file("set.zip"));
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.OnUnZipComplete = [&](TZipReader*, int n) { completed = n; };
    EXPECT_EQ(messageOf<EUserCanceled>([&] { r.UnZip(); }), "User canceled loading new disk.");
    EXPECT_EQ(completed, 0);

    // A handler that gives up.
    TZipReader g;
    g.SetZipName(testdataDir() + "zip/sharpcompress/Infozip.nocomp.multi.zip");
    g.SetDestDir(t.file("y"));
    g.DoAll = true;
    g.OnGetNextDisk = [](TZipReader*, int, QString& name) { name.clear(); };
    EXPECT_EQ(messageOf<EUserCanceled>([&] { g.UnZip(); }), "User canceled loading new disk.");
    EXPECT_TRUE(treeOf(t.file("y")).isEmpty());
}

TEST(ZipReaderVolumes, BlockFilesAreNamedByNumber)
{
    TZipReader r;
    QString name = "/data/archive.zip";
    r.DefaultGetNextDisk(&r, 3, name);
    EXPECT_EQ(name, "/data/archive.003");
}

TEST(ZipReaderVolumes, LoneFirstPieceOfASplitIsRefusedCleanly)
{
    MV_REQUIRE_TESTDATA();
    // The first piece of a plain split without the others reads as incomplete, and the scan
    // lists what lies wholly inside it.
    TempDir t;
    ASSERT_TRUE(QFile::copy(testdataDir() + "zip/sharpcompress/Zip.deflate.split.001", t.file("split.001")));
    TZipReader r;
    r.SetZipName(t.file("split.001"));
    EXPECT_EQ(messageOf<EIncompleteZip>([&] { r.OpenZip(); }), "Incomplete Zip File");
    TZipReader s;
    s.IncompleteZipMode = izAssumeBad;
    s.SetZipName(t.file("split.001"));
    s.OpenZip();
    EXPECT_GE(s.Count(), 1);
}

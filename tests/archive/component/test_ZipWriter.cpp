// Writing and updating archives: the bytes of the archive, what is kept, replaced and
// appended, and that a failed or cancelled run never touches the archive it updates.
#include "ComponentSupport.h"

#include "archive/ZipCrc.h"

#include <QCryptographicHash>
#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

void setMTime(const QString& file, const QDateTime& when)
{
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

// The raw bytes of member i (local header through data) of an archive, by the central record.
QByteArray memberBytes(const QString& zip, const QString& name)
{
    TZipReader r;
    r.SetZipName(zip);
    r.OpenZip();
    for (int i = 0; i < r.Count(); ++i) {
        const TZipHeaderInfo* h = r.SortedMembers()->Header(i);
        if (h->FileName() == name) {
            const QByteArray all = readFile(zip);
            const int local = int(h->RelativeOffset);
            const int n = GetLE16(reinterpret_cast<const uint8_t*>(all.constData()) + local + 26);
            const int e = GetLE16(reinterpret_cast<const uint8_t*>(all.constData()) + local + 28);
            return all.mid(local, 30 + n + e + int(h->CompressedSize));
        }
    }
    return QByteArray();
}

QStringList memberNames(const QString& zip)
{
    TZipReader r;
    r.SetZipName(zip);
    r.OpenZip();
    QStringList names;
    for (int i = 0; i < r.Count(); ++i)
        names << r.SortedMembers()->Header(i)->FullName();
    return names;
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(ZipWriterNew, ThreeFilesAtTheDefaults)
{
    TempDir t;
    writeFile(t.file("src/a.txt"), textBytes(20000, 1));
    writeFile(t.file("src/b.bin"), randomBytes(100, 2));
    writeFile(t.file("src/empty.txt"), QByteArray());
    TZipWriter w;
    w.SetZipName(t.file("n.zip"));
    w.FilesList << t.file("src/a.txt") << t.file("src/b.bin") << t.file("src/empty.txt");
    int completed = -1;
    w.OnZipComplete = [&](TZipWriter*, int n) { completed = n; };
    EXPECT_EQ(w.Zip(), 3);
    EXPECT_EQ(completed, 3);

    TZipReader r;
    r.SetZipName(t.file("n.zip"));
    r.OpenZip();
    ASSERT_EQ(r.Count(), 3);
    const TZipHeaderInfo* a = r.SortedMembers()->Header(0);
    EXPECT_EQ(a->FullName(), "a.txt");
    EXPECT_EQ(a->CompressionMethod, 8);
    EXPECT_EQ(a->VersionNeeded, 20);
    EXPECT_EQ(a->InternalAttributes, 1); // text
    EXPECT_EQ(a->CRC32, UpdateCrc32(0, textBytes(20000, 1).constData(), 20000));
    EXPECT_EQ(a->UncompressedSize, 20000u);
    EXPECT_LT(a->CompressedSize, 10000u);
    const TZipHeaderInfo* b = r.SortedMembers()->Header(1);
    EXPECT_EQ(b->CompressionMethod, 0); // random bytes do not shrink
    EXPECT_EQ(b->CompressedSize, 100u);
    const TZipHeaderInfo* e = r.SortedMembers()->Header(2);
    EXPECT_EQ(e->CompressionMethod, 0);
    EXPECT_EQ(e->CompressedSize, 0u);
    EXPECT_EQ(e->UncompressedSize, 0u);
    EXPECT_EQ(e->InternalAttributes, 1);
    EXPECT_EQ(r.EndRecord().TotalEntries, 3);
    EXPECT_EQ(r.EndRecord().EntriesThisDisk, 3);
    // The member's date is the file's, at DOS resolution.
    const QDateTime fileTime = QFileInfo(t.file("src/a.txt")).lastModified();
    EXPECT_LE(qAbs(r.DateTime(0).secsTo(fileTime)), 2);
    // Nothing else is left beside the archive.
    EXPECT_EQ(filesIn(t.path()), QStringList{"n.zip"});
}

TEST(ZipWriterNew, EmptyListMakesAnEndRecordOnly)
{
    TempDir t;
    TZipWriter w;
    w.SetZipName(t.file("empty.zip"));
    int completed = -1;
    w.OnZipComplete = [&](TZipWriter*, int n) { completed = n; };
    EXPECT_EQ(w.Zip(), 0);
    EXPECT_EQ(completed, 0);
    EXPECT_EQ(readFile(t.file("empty.zip")), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
}

TEST(ZipWriterNew, ListsPatternsExclusionsAndDuplicates)
{
    TempDir t;
    writeFile(t.file("d/one.txt"), "1");
    writeFile(t.file("d/two.log"), "2");
    writeFile(t.file("d/sub/three.txt"), "3");
    writeFile(t.file("d/sub/one.txt"), "same name as d/one.txt");
    writeFile(t.file("d/.hidden/four.txt"), "4");
    TZipWriter w;
    w.SetZipName(t.file("d/archive.zip"));
    w.FilesList << ">" + t.file("d/*.txt") << t.file("d/missing.txt") << t.file("d/two.log");
    w.ExcludeList << "*three*";
    QStringList missing, skipped;
    w.OnNoSuchFile = [&](TZipWriter*, const QString& n) { missing << n; };
    w.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int i) {
        skipped << QStringLiteral("%1 %2 %3").arg(int(why)).arg(QFileInfo(n).fileName()).arg(i);
    };
    EXPECT_EQ(w.Zip(), 2);
    EXPECT_EQ(missing, QStringList{t.file("d/missing.txt")});
    EXPECT_EQ(skipped, QStringList{"1 one.txt -1"}); // the second "one.txt", without paths
    EXPECT_EQ(memberNames(t.file("d/archive.zip")), (QStringList{"two.log", "one.txt"}));

    // Stored paths relative to the root folder.
    TZipWriter p;
    p.SetZipName(t.file("paths.zip"));
    p.SetRootDir(t.file("d"));
    p.SetRelativePaths(true);
    EXPECT_TRUE(p.StorePaths());
    EXPECT_TRUE(p.Recurse);
    p.FilesList << "*.txt";
    EXPECT_EQ(p.Zip(), 3);
    QStringList names = memberNames(t.file("paths.zip"));
    names.sort();
    EXPECT_EQ(names, (QStringList{"one.txt", "sub\\one.txt", "sub\\three.txt"}));
    p.SetStorePaths(false);
    EXPECT_FALSE(p.RelativePaths());

    // Full paths never keep their leading "/".
    TZipWriter f;
    f.SetZipName(t.file("full.zip"));
    f.SetStorePaths(true);
    f.FilesList << t.file("d/one.txt");
    EXPECT_EQ(f.Zip(), 1);
    QString stored = t.file("d/").mid(1);
    stored.replace('/', '\\');
    EXPECT_EQ(memberNames(t.file("full.zip")), QStringList{stored + "one.txt"});
}

TEST(ZipWriterNew, ListedFileWithWildcardCharactersIsTakenAsItself)
{
    TempDir t;
    writeFile(t.file("w/a<1>.txt"), "set in the name");
    writeFile(t.file("w/a1.txt"), "matches the set");
    writeFile(t.file("w/q?.txt"), "question mark");
    writeFile(t.file("w/qz.txt"), "matches the mark");
    TZipWriter w;
    w.SetZipName(t.file("w.zip"));
    w.FilesList << t.file("w/a<1>.txt") << t.file("w/q?.txt");
    EXPECT_EQ(w.Zip(), 2);
    EXPECT_EQ(memberNames(t.file("w.zip")), (QStringList{"a<1>.txt", "q?.txt"}));
    // A name that is no file stays a pattern.
    TZipWriter p;
    p.SetZipName(t.file("p.zip"));
    p.FilesList << t.file("w/a<0-9>.txt");
    EXPECT_EQ(p.Zip(), 1);
    EXPECT_EQ(memberNames(t.file("p.zip")), QStringList{"a1.txt"});
}

TEST(ZipWriterNew, ArchiveNeverContainsItself)
{
    TempDir t;
    writeFile(t.file("d/a.txt"), "a");
    TZipWriter w;
    w.SetZipName(t.file("d/self.zip"));
    w.FilesList << t.file("d/a.txt");
    ASSERT_EQ(w.Zip(), 1);
    // By pattern, by its own name, by another spelling of the same path, and through a
    // symbolic link (listed and found by the pattern).
    ASSERT_TRUE(QFile::link(t.file("d/self.zip"), t.file("d/link.zip")));
    w.FilesList << t.file("d/*.*") << t.file("d/self.zip") << t.file("d/../d/self.zip") << t.file("d/link.zip");
    EXPECT_EQ(w.Zip(), 0);
    EXPECT_EQ(memberNames(t.file("d/self.zip")), QStringList{"a.txt"});
}

TEST(ZipWriterUpdate, KeepsReplacesAndAppends)
{
    TempDir t;
    const QDateTime old(QDate(2024, 5, 1), QTime(10, 0, 0));
    writeFile(t.file("s/keep.txt"), textBytes(5000, 1));
    writeFile(t.file("s/change.txt"), textBytes(6000, 2));
    writeFile(t.file("s/last.txt"), textBytes(7000, 3));
    for (const char* f : {"s/keep.txt", "s/change.txt", "s/last.txt"})
        setMTime(t.file(f), old);
    TZipWriter w;
    w.SetZipName(t.file("u.zip"));
    w.FilesList << t.file("s/keep.txt") << t.file("s/change.txt") << t.file("s/last.txt");
    ASSERT_EQ(w.Zip(), 3);
    const QByteArray keepBefore = memberBytes(t.file("u.zip"), "keep.txt");
    const QByteArray before = readFile(t.file("u.zip"));

    // Nothing newer: rebuilt with every member, nothing counted, the same bytes.
    TZipWriter same;
    same.SetZipName(t.file("u.zip"));
    same.FilesList << t.file("s/keep.txt") << t.file("s/change.txt") << t.file("s/last.txt");
    EXPECT_EQ(same.Zip(), 0);
    EXPECT_TRUE(same.FilesList.isEmpty());
    EXPECT_EQ(readFile(t.file("u.zip")), before);

    // One newer file replaced in place, two new files appended in list order.
    writeFile(t.file("s/change.txt"), textBytes(9000, 4));
    writeFile(t.file("s/new2.txt"), "second new");
    writeFile(t.file("s/new1.txt"), "first new");
    TZipWriter u;
    u.SetZipName(t.file("u.zip"));
    u.FilesList << t.file("s/new1.txt") << t.file("s/keep.txt") << t.file("s/change.txt") << t.file("s/new2.txt");
    EXPECT_EQ(u.Zip(), 3);
    EXPECT_EQ(memberNames(t.file("u.zip")), (QStringList{"keep.txt", "change.txt", "last.txt", "new1.txt", "new2.txt"}));
    // The kept member's bytes are exactly the old ones.
    EXPECT_EQ(memberBytes(t.file("u.zip"), "keep.txt"), keepBefore);
    // The component describes the new archive without reading it again.
    ASSERT_EQ(u.Count(), 5);
    EXPECT_EQ(u.Filename(1), "change.txt");
    EXPECT_EQ(u.SortedMembers()->Header(1)->UncompressedSize, 9000u);

    Extracted ex = unzipAll(t.file("u.zip"), t.file("x"));
    EXPECT_EQ(ex.count, 5);
    EXPECT_EQ(readFile(t.file("x/change.txt")), textBytes(9000, 4));
    EXPECT_EQ(filesIn(t.path()), QStringList{"u.zip"});

    // zaReplace replaces whatever the dates say; zaFreshen adds nothing new.
    TZipWriter rp;
    rp.SetZipName(t.file("u.zip"));
    rp.ZipAction = zaReplace;
    rp.FilesList << t.file("s/keep.txt");
    EXPECT_EQ(rp.Zip(), 1);
    writeFile(t.file("s/other.txt"), "not in the archive");
    TZipWriter fr;
    fr.SetZipName(t.file("u.zip"));
    fr.ZipAction = zaFreshen;
    fr.FilesList << t.file("s/other.txt") << t.file("s/last.txt");
    EXPECT_EQ(fr.Zip(), 0);
    EXPECT_EQ(memberNames(t.file("u.zip")).size(), 5);
}

TEST(ZipWriterUpdate, CancelAndFailureLeaveTheArchiveUntouched)
{
    TempDir t;
    writeFile(t.file("s/a.txt"), textBytes(3000, 1));
    TZipWriter w;
    w.SetZipName(t.file("c.zip"));
    w.FilesList << t.file("s/a.txt");
    ASSERT_EQ(w.Zip(), 1);
    const QByteArray before = readFile(t.file("c.zip"));
    writeFile(t.file("s/big.bin"), randomBytes(300000, 5));

    {
        // Cancel while the new member is written.
        TZipWriter c;
        c.SetZipName(t.file("c.zip"));
        c.FilesList << t.file("s/big.bin");
        c.OnFilePercentDone = [&](TZipReader* s, int p) {
            if (p > 40)
                s->CancelRequested = true;
        };
        bool completed = false;
        c.OnZipComplete = [&](TZipWriter*, int) { completed = true; };
        try {
            c.Zip();
            ADD_FAILURE() << "no cancel";
        } catch (const EUserCanceled& e) {
            EXPECT_EQ(e.Message, "User Aborted Operation");
        }
        EXPECT_FALSE(completed);
        EXPECT_EQ(readFile(t.file("c.zip")), before);
        EXPECT_EQ(filesIn(t.path()), QStringList{"c.zip"});
        // The component still reads the untouched archive.
        c.OpenZip();
        EXPECT_EQ(c.Count(), 1);
    }
    {
        TZipWriter s;
        s.SetZipName(t.file("c.zip"));
        s.FilesList << t.file("s/big.bin");
        s.OnStartZipInfo = [](TZipWriter*, int, int64_t, TEndCentral&, bool& stop) { stop = true; };
        try {
            s.Zip();
            ADD_FAILURE() << "no stop";
        } catch (const EUserCanceled& e) {
            EXPECT_EQ(e.Message, "User canceled Zip operation");
        }
        EXPECT_EQ(readFile(t.file("c.zip")), before);
        EXPECT_EQ(filesIn(t.path()), QStringList{"c.zip"});
    }
    {
        // Any error on the way: the same.
        TZipWriter f;
        f.SetZipName(t.file("c.zip"));
        f.FilesList << t.file("s/big.bin");
        f.OnEndZip = [](TZipWriter*, const QString&, int64_t, int64_t, int64_t) {
            throw platform::Exception("disk trouble");
        };
        EXPECT_THROW(f.Zip(), platform::Exception);
        EXPECT_EQ(readFile(t.file("c.zip")), before);
        EXPECT_EQ(filesIn(t.path()), QStringList{"c.zip"});
    }
    {
        // A file of that name that is no archive is never replaced.
        writeFile(t.file("notes.zip"), "not an archive at all");
        TZipWriter n;
        n.SetZipName(t.file("notes.zip"));
        n.FilesList << t.file("s/a.txt");
        EXPECT_THROW(n.Zip(), EBadZipFile);
        EXPECT_EQ(readFile(t.file("notes.zip")), "not an archive at all");
        QFile::remove(t.file("notes.zip"));
    }
    {
        // A new archive that fails leaves nothing.
        TZipWriter n;
        n.SetZipName(t.file("new.zip"));
        n.FilesList << t.file("s/big.bin");
        n.OnStartZip = [](TZipWriter*, const QString&, TZipHeaderInfo&, bool&) { throw platform::Exception("no"); };
        EXPECT_THROW(n.Zip(), platform::Exception);
        EXPECT_EQ(filesIn(t.path()), QStringList{"c.zip"});
    }
}

TEST(ZipWriterUpdate, DamagedDirectoryIsNotRewrittenWithoutItsMembers)
{
    MV_REQUIRE_TOOL("zip");
    TempDir t;
    for (const char* n : {"a.txt", "b.txt", "c.txt", "d.txt"})
        writeFile(t.file(QStringLiteral("s/") + n), textBytes(500, n[0]));
    ASSERT_EQ(peer("zip", {"-q", "-j", t.file("z.zip"), t.file("s/a.txt"), t.file("s/b.txt"), t.file("s/c.txt")}), 0);
    {
        // The second central record is unreadable: b and c are not listed.
        QByteArray z = readFile(t.file("z.zip"));
        const qsizetype second = z.indexOf("PK\x01\x02", z.indexOf("PK\x01\x02") + 4);
        z[second + 2] = 9;
        writeFile(t.file("z.zip"), z);
    }
    const QByteArray before = readFile(t.file("z.zip"));
    TZipWriter w;
    w.SetZipName(t.file("z.zip"));
    w.FilesList << t.file("s/d.txt");
    try {
        w.Zip();
        ADD_FAILURE() << "damaged archive rewritten";
    } catch (const EBadZipFile& e) {
        EXPECT_EQ(e.Message, "Not a valid zip file!");
    }
    EXPECT_EQ(readFile(t.file("z.zip")), before);
    EXPECT_EQ(filesIn(t.path()), QStringList{"z.zip"});

    // An end record that counts fewer members than the directory holds.
    ASSERT_EQ(peer("zip", {"-q", "-j", t.file("n.zip"), t.file("s/a.txt"), t.file("s/b.txt"), t.file("s/c.txt")}), 0);
    QByteArray counted = readFile(t.file("n.zip"));
    const qsizetype endAt = counted.lastIndexOf("PK\x05\x06");
    counted[endAt + 8] = 2;
    counted[endAt + 10] = 2;
    writeFile(t.file("n.zip"), counted);
    TZipWriter c;
    c.SetZipName(t.file("n.zip"));
    c.FilesList << t.file("s/d.txt");
    EXPECT_THROW(c.Zip(), EBadZipFile);
    EXPECT_EQ(readFile(t.file("n.zip")), counted);
    QFile::remove(t.file("n.zip"));

    // No end record, and the rebuild scan stops at a damaged second member.
    QList<RawMember> members{{"a.txt", "first"}, {"b.txt", "second"}, {"c.txt", "third"}};
    QByteArray raw = rawZip(members);
    raw.truncate(raw.indexOf("PK\x01\x02"));
    raw[raw.indexOf("PK\x03\x04", 4) + 3] = 9;
    writeFile(t.file("z.zip"), raw);
    TZipWriter s;
    s.IncompleteZipMode = izAssumeBad;
    s.SetZipName(t.file("z.zip"));
    s.FilesList << t.file("s/d.txt");
    EXPECT_THROW(s.Zip(), EBadZipFile);
    EXPECT_EQ(readFile(t.file("z.zip")), raw);
    EXPECT_EQ(filesIn(t.path()), QStringList{"z.zip"});

    // A scan that reaches the end of the file lists every member: that archive is rewritten whole.
    raw = rawZip(members);
    raw.truncate(raw.indexOf("PK\x01\x02"));
    writeFile(t.file("z.zip"), raw);
    TZipWriter g;
    g.IncompleteZipMode = izAssumeBad;
    g.SetZipName(t.file("z.zip"));
    g.FilesList << t.file("s/d.txt");
    EXPECT_EQ(g.Zip(), 1);
    EXPECT_EQ(memberNames(t.file("z.zip")), (QStringList{"a.txt", "b.txt", "c.txt", "d.txt"}));
}

TEST(ZipWriterUpdate, DisposeOnlyAfterSuccess)
{
    TempDir t;
    writeFile(t.file("s/a.txt"), "a");
    writeFile(t.file("s/b.txt"), "b");
    writeFile(t.file("s/c.txt"), "c");
    {
        TZipWriter w;
        w.SetZipName(t.file("fail.zip"));
        w.Dispose = true;
        w.FilesList << t.file("s/a.txt") << t.file("s/b.txt");
        w.OnStartZipInfo = [](TZipWriter*, int, int64_t, TEndCentral&, bool& stop) { stop = true; };
        EXPECT_THROW(w.Zip(), EUserCanceled);
        EXPECT_EQ(filesIn(t.file("s")), (QStringList{"a.txt", "b.txt", "c.txt"}));
    }
    TZipWriter w;
    w.SetZipName(t.file("d.zip"));
    w.Dispose = true;
    w.FilesList << t.file("s/a.txt") << t.file("s/b.txt") << t.file("s/c.txt");
    QStringList asked;
    w.OnDisposeFile = [&](TZipWriter*, const QString& name, bool& skip) {
        asked << QFileInfo(name).fileName();
        skip = name.endsWith("b.txt");
        // Called only once the archive is in place.
        EXPECT_TRUE(QFileInfo::exists(name));
        EXPECT_EQ(memberNames(w.ZipName()).size(), 3);
    };
    EXPECT_EQ(w.Zip(), 3);
    EXPECT_EQ(asked, (QStringList{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(filesIn(t.file("s")), QStringList{"b.txt"});
}

TEST(ZipWriterUpdate, ChangedCommentIsWrittenWhenTheNameChanges)
{
    TempDir t;
    writeFile(t.file("a.txt"), "a");
    TZipWriter w;
    w.SetZipName(t.file("k.zip"));
    w.FilesList << t.file("a.txt");
    ASSERT_EQ(w.Zip(), 1);
    w.SetZipComment("A comment");
    w.SetFileComment(0, QString::fromUtf8("Заметка"));
    w.SetZipName(t.file("other.zip"));
    TZipReader r;
    r.SetZipName(t.file("k.zip"));
    EXPECT_EQ(r.ZipComment(), "A comment");
    r.OpenZip();
    EXPECT_EQ(r.Count(), 1);
    EXPECT_EQ(r.FileComment(0), QString::fromUtf8("Заметка"));
    MV_REQUIRE_TOOL("unzip");
    EXPECT_EQ(peer("unzip", {"-t", t.file("k.zip")}), 0);
}

TEST(ZipWriterUpdate, PermissionsOfTheArchiveSurvive)
{
    TempDir t;
    writeFile(t.file("a.txt"), "a");
    TZipWriter w;
    w.SetZipName(t.file("p.zip"));
    w.FilesList << t.file("a.txt");
    ASSERT_EQ(w.Zip(), 1);
    QFile::setPermissions(t.file("p.zip"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    const auto before = QFile::permissions(t.file("p.zip"));
    writeFile(t.file("b.txt"), "b");
    w.FilesList << t.file("b.txt");
    ASSERT_EQ(w.Zip(), 1);
    EXPECT_EQ(QFile::permissions(t.file("p.zip")), before);
    EXPECT_EQ(memberNames(t.file("p.zip")), (QStringList{"a.txt", "b.txt"}));
}

TEST(ZipWriterUpdate, AReadOnlyArchiveIsNotReplaced)
{
    TempDir t;
    writeFile(t.file("s/a.txt"), "a");
    TZipWriter w;
    w.SetZipName(t.file("r.zip"));
    w.FilesList << t.file("s/a.txt");
    ASSERT_EQ(w.Zip(), 1);
    // Made read-only by its user: the rename that replaces it would need only the folder's
    // permission, so the mode bits decide (also for root).
    QFile::setPermissions(t.file("r.zip"), QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = readFile(t.file("r.zip"));
    writeFile(t.file("s/b.txt"), "b");
    w.FilesList.clear();
    w.FilesList << t.file("s/b.txt");
    try {
        w.Zip();
        ADD_FAILURE() << "a read-only archive was replaced";
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(e.Message.contains("write-protected")) << e.Message.toStdString();
    }
    EXPECT_EQ(readFile(t.file("r.zip")), before);
    EXPECT_EQ(filesIn(t.path()), QStringList{"r.zip"});
}

TEST(ZipWriterNew, UnreadableFileFailsItsMemberOnly)
{
    // Reading this process's memory file from its start fails with an I/O error.
    if (!QFileInfo("/proc/self/mem").isFile())
        GTEST_SKIP() << "no /proc/self/mem";
    TempDir t;
    writeFile(t.file("a.txt"), textBytes(5000, 51));
    writeFile(t.file("b.txt"), textBytes(6000, 52));
    for (const QString& password : {QString(), QStringLiteral("pw")}) {
        TZipWriter w;
        w.SetZipName(t.file("r.zip"));
        w.Password = password;
        w.FilesList << t.file("a.txt") << "/proc/self/mem" << t.file("b.txt");
        QStringList skipped;
        w.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& name, int) {
            skipped << QStringLiteral("%1 %2").arg(int(why)).arg(name);
        };
        EXPECT_EQ(w.Zip(), 2);
        EXPECT_EQ(skipped, QStringList{"2 /proc/self/mem"});
        EXPECT_EQ(memberNames(t.file("r.zip")), (QStringList{"a.txt", "b.txt"}));
        const Extracted ex = unzipAll(t.file("r.zip"), t.file("x/"), password);
        EXPECT_EQ(ex.count, 2);
        EXPECT_EQ(readFile(t.file("x/b.txt")), textBytes(6000, 52));
        if (haveTool("unzip")) {
            EXPECT_EQ(peer("unzip", QStringList{"-tq", "-P", "pw", t.file("r.zip")}), 0);
        }
        QFile::remove(t.file("r.zip"));
    }
}

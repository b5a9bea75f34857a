// Volume sets and split archives of other programs, read with the component's defaults (no
// volume handler): Info-ZIP / WinZip sets (name.z01 ... name.zip) and plain splits cut by 7z
// (name.001, name.002, ...), next to the component's own block files.
#include "ComponentSupport.h"

#include "platform/dialogs/Dialogs.h"

#include <QCryptographicHash>
#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

QString sharp()
{
    return testdataDir() + "zip/sharpcompress/";
}

QByteArray sha256(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

// Member name -> SHA-256 of what an independent tool extracted from the archive.
QMap<QString, QByteArray> expectedContents(const QString& archive)
{
    QMap<QString, QByteArray> m;
    for (const QByteArray& line : readFile(testdataDir() + "zip/EXPECTED_contents.tsv").split('\n').mid(1)) {
        const QStringList f = QString::fromUtf8(line).split('\t');
        if (f.size() < 5 || f[0] != archive)
            continue;
        m.insert(tableMemberName(f[1]), f[4].toLatin1());
    }
    return m;
}

QMap<QString, QByteArray> hashesOf(const QString& dir)
{
    QMap<QString, QByteArray> m;
    const auto tree = treeOf(dir);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        m.insert(it.key(), sha256(it.value()));
    return m;
}

void copyTo(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString();
    // The public files are read-only; some tests rewrite their copies.
    QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
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

// Three members of the public sets: a Cyrillic text, a program and a picture.
const QStringList kSetMembers{QStringLiteral("тест.txt"), QStringLiteral("exe/test.exe"), QStringLiteral("jpg/test.jpg")};

} // namespace

TEST(ZipVolumeSets, InfoZipAndWinZipSetsReadWithTheDefaultHandler)
{
    MV_REQUIRE_TESTDATA();
    platform::ScopedScriptedDialogs dlg; // a prompt would be a fault here
    for (const QString& stem : {QStringLiteral("Infozip.nocomp.multi"), QStringLiteral("WinZip26.nocomp.multi")}) {
        SCOPED_TRACE(stem.toStdString());
        // Info-ZIP keeps the Cyrillic name in a Unicode extra field beside an escaped one.
        const QMap<QString, QByteArray> expected = expectedContents("sharpcompress/" + stem + ".zip");
        QStringList names = kSetMembers;
        names.sort();
        ASSERT_EQ(expected.keys(), names);

        TempDir t;
        TZipReader r;
        r.SetZipName(sharp() + stem + ".zip");
        r.SetDestDir(t.file("x"));
        r.DoAll = true;
        r.RecreateDirs = true;
        QStringList skipped;
        r.OnSkippingFile = [&](TZipReader*, TSkipReason, const QString& n, int) { skipped << n; };
        EXPECT_EQ(r.UnZip(), 3) << skipped.join(",").toStdString();
        EXPECT_EQ(r.NumDisks(), 2);
        EXPECT_EQ(hashesOf(t.file("x")), expected);

        // The same component extracts again, wherever the last volume change left it.
        r.SetDestDir(t.file("y"));
        EXPECT_EQ(r.UnZip(), 3);
        EXPECT_EQ(hashesOf(t.file("y")), expected);
        EXPECT_TRUE(dlg->messages().isEmpty());
    }
}

TEST(ZipVolumeSets, SevenZipSplitReadsAsOneArchive)
{
    MV_REQUIRE_TESTDATA();
    const QMap<QString, QByteArray> expected = expectedContents("sharpcompress/Zip.deflate.split.001");
    ASSERT_EQ(expected.size(), 3);
    TempDir t;
    TZipReader r;
    r.SetZipName(sharp() + "Zip.deflate.split.001");
    r.OpenZip();
    EXPECT_EQ(r.Count(), 6); // three members and their three folders
    EXPECT_EQ(r.SplitPieces().size(), 6);
    EXPECT_FALSE(r.DirectoryRebuilt());
    EXPECT_EQ(r.NumDisks(), 1);
    r.CloseZip();

    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.RecreateDirs = true;
    EXPECT_EQ(r.UnZip(), 3);
    EXPECT_EQ(hashesOf(t.file("x")), expected);
    // Selected by pattern, a member whose data runs over several pieces.
    r.DoAll = false;
    r.FilesList = {"*.exe"};
    r.SetDestDir(t.file("y"));
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_EQ(sha256(readFile(t.file("y/exe/test.exe"))), expected.value("exe/test.exe"));
}

TEST(ZipVolumeSets, SetsMadeByZipAndSevenZipNow)
{
    MV_REQUIRE_TOOL("zip");
    MV_REQUIRE_TOOL("7z");
    TempDir t;
    writeFile(t.file("s/random.bin"), randomBytes(150000, 41));
    writeFile(t.file("s/text.txt"), textBytes(400000, 42));
    writeFile(t.file("s/small.txt"), "small\r\n");
    const QMap<QString, QByteArray> source = treeOf(t.file("s"));

    QDir().mkpath(t.file("iz"));
    QDir().mkpath(t.file("7z"));
    // Info-ZIP: 64 KiB volumes, several of them, deflated members running across volumes.
    ASSERT_EQ(peer("zip", {"-q", "-r", "-s", "64k", t.file("iz/set.zip"), "."}, nullptr, t.file("s")), 0);
    ASSERT_TRUE(QFileInfo(t.file("iz/set.z02")).isFile());
    // 7z: a plain split in 20 KiB pieces named set.zip.001, set.zip.002, ...
    ASSERT_EQ(peer("7z", {"a", "-tzip", "-v20k", t.file("7z/set.zip"), "."}, nullptr, t.file("s")), 0);
    ASSERT_TRUE(QFileInfo(t.file("7z/set.zip.003")).isFile());

    for (const QString& zip : {t.file("iz/set.zip"), t.file("7z/set.zip.001")}) {
        SCOPED_TRACE(zip.toStdString());
        const Extracted ex = unzipAll(zip, t.file("out/") + QFileInfo(zip).dir().dirName() + "/");
        EXPECT_EQ(ex.count, 3) << ex.skipped.join(",").toStdString();
        EXPECT_TRUE(ex.badCrc.isEmpty());
        EXPECT_EQ(treeOf(t.file("out/") + QFileInfo(zip).dir().dirName()), source);
    }
}

TEST(ZipVolumeSets, MissingVolumesAndPiecesAreNeverGuessed)
{
    MV_REQUIRE_TESTDATA();
    TempDir t;
    // An Info-ZIP set without its first volume: no ".zip" is taken for disk 1.
    copyTo(sharp() + "Infozip.nocomp.multi.zip", t.file("a/set.zip"));
    TZipReader a;
    a.SetZipName(t.file("a/set.zip"));
    a.SetDestDir(t.file("a/x"));
    a.DoAll = true;
    EXPECT_EQ(messageOf<EUserCanceled>([&] { a.UnZip(); }), "User canceled loading new disk.");
    EXPECT_TRUE(treeOf(t.file("a/x")).isEmpty());

    // A split with a gap: the pieces before the gap hold no end record.
    for (int n : {1, 2, 4, 5, 6})
        copyTo(sharp() + QString::asprintf("Zip.deflate.split.%3.3d", n), t.file(QString::asprintf("b/split.%3.3d", n)));
    TZipReader b;
    b.SetZipName(t.file("b/split.001"));
    EXPECT_EQ(messageOf<EIncompleteZip>([&] { b.OpenZip(); }), "Incomplete Zip File");
    EXPECT_TRUE(b.SplitPieces().isEmpty());
    EXPECT_EQ(b.Count(), 0);
}

TEST(ZipVolumeSets, OwnBlockFilesAndSingleArchivesAreReadAsBefore)
{
    TempDir t;
    writeFile(t.file("s/data.bin"), randomBytes(3000, 51));
    writeFile(t.file("s/note.txt"), textBytes(2500, 52));
    QDir().mkpath(t.file("own"));
    TZipWriter w;
    w.SetZipName(t.file("own/set.zip"));
    w.MultiZipInfo.MultiMode = mmBlocks;
    w.MultiZipInfo.FirstBlockSize = 1500;
    w.MultiZipInfo.BlockSize = 1000;
    w.FilesList << t.file("s/data.bin") << t.file("s/note.txt");
    ASSERT_EQ(w.Zip(), 2);
    const QStringList blocks = QDir(t.file("own")).entryList({"set.*"}, QDir::Files, QDir::Name);
    ASSERT_GE(blocks.size(), 4);
    ASSERT_EQ(blocks.first(), "set.001");

    // From the last block, the others by their numbers.
    const Extracted ex = unzipAll(w.ZipName(), t.file("x/"));
    EXPECT_EQ(ex.count, 2) << ex.skipped.join(",").toStdString();
    EXPECT_EQ(treeOf(t.file("x")), treeOf(t.file("s")));
    // Its first block is no plain split: every block keeps its own offsets.
    TZipReader first;
    first.SetZipName(t.file("own/set.001"));
    EXPECT_EQ(messageOf<EIncompleteZip>([&] { first.OpenZip(); }), "Incomplete Zip File");

    // The same blocks under Info-ZIP's names are read with the default handler too, and by 7z.
    for (int i = 0; i < blocks.size(); ++i) {
        const QString to = i + 1 == blocks.size() ? t.file("iz/set.zip") : t.file(QString::asprintf("iz/set.z%02d", i + 1));
        copyTo(t.file("own/") + blocks[i], to);
    }
    const Extracted iz = unzipAll(t.file("iz/set.zip"), t.file("y/"));
    EXPECT_EQ(iz.count, 2) << iz.skipped.join(",").toStdString();
    EXPECT_EQ(treeOf(t.file("y")), treeOf(t.file("s")));
    if (requireTool("7z")) {
        QByteArray out;
        EXPECT_EQ(peer("7z", {"t", t.file("iz/set.zip")}, &out), 0) << out.toStdString();
    }

    // A whole archive named like a first piece stays itself, whatever lies beside it.
    writeFile(t.file("one/arc.001"), rawZip({{"a.txt", "alone\r\n"}}));
    writeFile(t.file("one/arc.002"), randomBytes(5000, 53));
    const Extracted one = unzipAll(t.file("one/arc.001"), t.file("z/"));
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(readFile(t.file("z/a.txt")), "alone\r\n");
}

TEST(ZipVolumeSets, ChangedPiecesAreReadAgain)
{
    MV_REQUIRE_TESTDATA();
    TempDir t;
    for (int n = 1; n <= 6; ++n)
        copyTo(sharp() + QString::asprintf("Zip.deflate.split.%3.3d", n), t.file(QString::asprintf("split.%3.3d", n)));
    TZipReader r;
    r.SetZipName(t.file("split.001"));
    r.OpenZip();
    r.CloseZip();
    ASSERT_EQ(r.Count(), 6);
    // The first piece becomes a whole archive of its own: it is read as such.
    writeFile(t.file("split.001"), rawZip({{"new.txt", "replaced\r\n"}}));
    r.OpenZip();
    r.CloseZip();
    ASSERT_EQ(r.Count(), 1);
    EXPECT_EQ(r.Filename(0), "new.txt");
    EXPECT_TRUE(r.SplitPieces().isEmpty());
}

TEST(ZipVolumeSets, UpdatingASplitKeepsEveryMember)
{
    MV_REQUIRE_TESTDATA();
    TempDir t;
    for (int n = 1; n <= 6; ++n)
        copyTo(sharp() + QString::asprintf("Zip.deflate.split.%3.3d", n), t.file(QString::asprintf("split.%3.3d", n)));
    writeFile(t.file("added.txt"), "added\r\n");
    // The updated archive is written whole under the first piece's name.
    TZipWriter w;
    w.SetZipName(t.file("split.001"));
    w.FilesList << t.file("added.txt");
    ASSERT_EQ(w.Zip(), 1);

    TZipReader r;
    r.SetZipName(t.file("split.001"));
    r.OpenZip();
    r.CloseZip();
    EXPECT_TRUE(r.SplitPieces().isEmpty());
    EXPECT_EQ(r.Count(), 7);
    QMap<QString, QByteArray> expected = expectedContents("sharpcompress/Zip.deflate.split.001");
    expected.insert("added.txt", sha256("added\r\n"));
    const Extracted ex = unzipAll(t.file("split.001"), t.file("x/"));
    EXPECT_EQ(ex.count, 4) << ex.skipped.join(",").toStdString();
    EXPECT_EQ(hashesOf(t.file("x")), expected);
    if (requireTool("unzip")) {
        QByteArray out;
        EXPECT_EQ(peer("unzip", {"-t", t.file("split.001")}, &out), 0) << out.toStdString();
    }
}

TEST(ZipVolumeSets, DamagedSetsFailCleanly)
{
    MV_REQUIRE_TESTDATA();
    platform::ScopedScriptedDialogs dlg;
    QRandomGenerator rng(61);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        TempDir t;
        QStringList names;
        const bool split = round % 2 == 0;
        if (split) {
            for (int n = 1; n <= 6; ++n)
                names << QString::asprintf("Zip.deflate.split.%3.3d", n);
        } else {
            names << "Infozip.nocomp.multi.z01" << "Infozip.nocomp.multi.zip";
        }
        for (const QString& n : names) {
            QByteArray bytes = readFile(sharp() + n);
            // Bytes changed anywhere, and now and then a piece cut short.
            for (int k = 0; k < 4; ++k)
                bytes[rng.bounded(int(bytes.size()))] = char(rng.bounded(256));
            if (rng.bounded(4) == 0)
                bytes.truncate(rng.bounded(int(bytes.size())));
            writeFile(t.file("in/") + n, bytes);
        }
        TZipReader r;
        r.SetZipName(t.file("in/") + (split ? names.first() : names.last()));
        r.SetDestDir(t.file("in/out"));
        r.DoAll = true;
        r.RecreateDirs = true;
        r.OverwriteMode = Always;
        r.IncompleteZipMode = round % 4 < 2 ? izAssumeBad : izAssumeMulti;
        try {
            r.UnZip();
        } catch (const platform::Exception&) {
        }
        // Whatever happened, nothing beside the pieces but the destination folder.
        QStringList present = QDir(t.file("in")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        present.removeAll("out");
        names.sort();
        EXPECT_EQ(present, names);
        EXPECT_EQ(QDir(t.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"in"});
    }
}

TEST(ZipVolumeSets, DefaultHandlerPrefersNumberedBlocks)
{
    TempDir t;
    writeFile(t.file("set.z01"), "x");
    TZipReader r;
    QString name = t.file("set.zip");
    r.DefaultGetNextDisk(&r, 1, name);
    EXPECT_EQ(name, t.file("set.z01"));
    // A block file of the component's own naming comes first.
    writeFile(t.file("set.001"), "x");
    name = t.file("set.zip");
    r.DefaultGetNextDisk(&r, 1, name);
    EXPECT_EQ(name, t.file("set.001"));
    // Neither: the numbered name, which the volume change then reports as missing.
    name = t.file("set.zip");
    r.DefaultGetNextDisk(&r, 2, name);
    EXPECT_EQ(name, t.file("set.002"));
}

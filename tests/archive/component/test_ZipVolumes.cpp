// Archives spread over block files and over removable disks, and read back.
#include "ComponentSupport.h"

#include "platform/dialogs/Dialogs.h"
#include "platform/volumes/Volumes.h"

#include <QFile>

using namespace ziptest;
using namespace archive;

TEST(ZipVolumesWrite, BlockFilesOfTheGivenSizes)
{
    TempDir t;
    writeFile(t.file("s/data.bin"), randomBytes(2000, 31)); // stored: 2000 bytes of data
    writeFile(t.file("s/note.txt"), textBytes(300, 32));
    TZipWriter w;
    w.SetZipName(t.file("set.zip"));
    TMultiZipInfo info;
    info.MultiMode = mmBlocks;
    info.FirstBlockSize = 1000;
    info.BlockSize = 500;
    w.SetMultiZipInfo(info);
    w.FilesList << t.file("s/data.bin") << t.file("s/note.txt");
    QList<int> file, total;
    w.OnFilePercentDone = [&](TZipReader*, int p) { file << p; };
    w.OnTotalPercentDone = [&](TZipReader*, int p) { total << p; };
    ASSERT_EQ(w.Zip(), 2);
    // Reading a file is its first half, the copy to the volumes the second.
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(file.first(), 50);
    EXPECT_EQ(file.last(), 100);
    ASSERT_FALSE(total.isEmpty());
    EXPECT_EQ(total.last(), 100);
    EXPECT_TRUE(std::is_sorted(total.begin(), total.end()));
    const QStringList blocks = QDir(t.path()).entryList({"set.*"}, QDir::Files, QDir::Name);
    ASSERT_GE(blocks.size(), 4);
    EXPECT_EQ(blocks.first(), "set.001");
    EXPECT_FALSE(blocks.contains("set.zip"));
    EXPECT_EQ(w.ZipName(), t.file(blocks.last()));
    EXPECT_LE(QFileInfo(t.file("set.001")).size(), 1000);
    for (const QString& b : blocks.mid(1))
        EXPECT_LE(QFileInfo(t.file(b)).size(), 500) << b.toStdString();
    // The first member's local header lies wholly in the first block.
    EXPECT_TRUE(readFile(t.file("set.001")).startsWith("PK\x03\x04"));
    EXPECT_EQ(w.NumDisks(), int(blocks.size()));

    // Read back from the last block, the others found by their numbers.
    const Extracted ex = unzipAll(w.ZipName(), t.file("x/"));
    EXPECT_EQ(ex.count, 2) << ex.skipped.join(",").toStdString();
    EXPECT_EQ(readFile(t.file("x/data.bin")), randomBytes(2000, 31));
    EXPECT_EQ(readFile(t.file("x/note.txt")), textBytes(300, 32));
}

TEST(ZipVolumesWrite, OneBlockBecomesThePlainArchive)
{
    TempDir t;
    writeFile(t.file("a.txt"), "small");
    TZipWriter w;
    w.SetZipName(t.file("one.zip"));
    w.MultiZipInfo.MultiMode = mmBlocks;
    w.FilesList << t.file("a.txt");
    ASSERT_EQ(w.Zip(), 1);
    EXPECT_EQ(QDir(t.path()).entryList({"one.*"}, QDir::Files), QStringList{"one.zip"});
    EXPECT_EQ(w.ZipName(), t.file("one.zip"));
    MV_REQUIRE_TOOL("unzip");
    EXPECT_EQ(peer("unzip", {"-t", t.file("one.zip")}), 0);
}

TEST(ZipVolumesWrite, SpannedDisksAreLabelledAndReadBack)
{
    TempDir t;
    platform::SimulatedRemovableDrive drive(t.file("floppy"));
    for (int n = 1; n <= 9; ++n)
        drive.setDisk(n, QString(), 1500);
    drive.insertDisk(1);
    writeFile(t.file("s/a.bin"), randomBytes(2500, 41));
    writeFile(t.file("s/b.txt"), textBytes(900, 42));
    const QString zip = drive.root() + "backup.zip";
    QList<int> asked;
    {
        TZipWriter w;
        w.SetZipName(zip);
        w.MultiZipInfo.MultiMode = mmSpan;
        w.PackLevel = 0;
        w.Password = "pw";
        w.OnGetNextDisk = [&](TZipReader*, int disk, QString&) {
            asked << disk;
            drive.insertDisk(disk);
        };
        w.FilesList << t.file("s/a.bin") << t.file("s/b.txt");
        ASSERT_EQ(w.Zip(), 2);
    }
    ASSERT_GE(asked.size(), 2);
    EXPECT_EQ(asked.first(), 2);
    const int disks = asked.last();
    for (int n = 1; n <= disks; ++n)
        EXPECT_EQ(drive.label(n), QString::asprintf("PKBACK# %3.3d", n));

    // The default prompt, cancelled.
    {
        platform::ScopedScriptedDialogs dlg;
        dlg->pushAnswer(platform::MsgResult::Cancel);
        TZipReader d;
        d.SetZipName(zip);
        d.SetDestDir(t.file("d"));
        d.DoAll = true;
        d.Password = "pw";
        try {
            d.UnZip();
            ADD_FAILURE() << "no cancel";
        } catch (const EUserCanceled& e) {
            EXPECT_EQ(e.Message, "User canceled loading new disk.");
        }
        ASSERT_EQ(dlg->messages().size(), 1);
        EXPECT_EQ(dlg->messages()[0], "Please insert disk 1 of the multi-disk set.");
    }

    // Read back: the reader asks for each disk and checks its label; a wrong disk is asked for
    // again.
    TZipReader r;
    r.SetZipName(zip);
    QList<int> wanted;
    bool wrongGiven = false;
    r.OnGetNextDisk = [&](TZipReader*, int disk, QString&) {
        wanted << disk;
        if (!wrongGiven && disk == 1) {
            wrongGiven = true;
            drive.insertDisk(disks);
            return;
        }
        drive.insertDisk(disk);
    };
    r.SetDestDir(t.file("x"));
    r.DoAll = true;
    r.Password = "pw";
    EXPECT_EQ(r.UnZip(), 2);
    EXPECT_EQ(r.GetMultiMode(), mmSpan);
    ASSERT_GE(wanted.size(), 2);
    EXPECT_EQ(wanted[0], 1);
    EXPECT_EQ(wanted[1], 1); // the wrong label was refused
    EXPECT_EQ(readFile(t.file("x/a.bin")), randomBytes(2500, 41));
    EXPECT_EQ(readFile(t.file("x/b.txt")), textBytes(900, 42));
}

TEST(ZipVolumesWrite, RefusedDiskCancelsAndKeepsTheFinishedDisks)
{
    TempDir t;
    platform::SimulatedRemovableDrive drive(t.file("floppy"));
    drive.setDisk(1, QString(), 1200);
    drive.insertDisk(1);
    writeFile(t.file("s/a.bin"), randomBytes(3000, 43));
    TZipWriter w;
    w.SetZipName(drive.root() + "backup.zip");
    w.MultiZipInfo.MultiMode = mmSpan;
    w.OnGetNextDisk = [](TZipReader*, int, QString& name) { name.clear(); };
    w.FilesList << t.file("s/a.bin");
    try {
        w.Zip();
        ADD_FAILURE() << "no cancel";
    } catch (const EUserCanceled& e) {
        EXPECT_EQ(e.Message, "User canceled Zip operation");
    }
    EXPECT_TRUE(QFileInfo::exists(drive.root() + "backup.zip")); // the first disk's part stays
}

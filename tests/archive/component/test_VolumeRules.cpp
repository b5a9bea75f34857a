// Where block files break: a local header that would fill a block moves on, a central record
// that fills it stays, data filling a block starts the next at once, an end record that does
// not fit stands alone; block sizes too small for the run's headers are refused up front.
// Every set is read back by us and, renamed the Info-ZIP way, by 7z and by zip and unzip.
#include "ComponentSupport.h"

#include "archive/ZipExceptions.h"
#include "archive/ZipRecords.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/volumes/Volumes.h"

#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

constexpr int Local = 30 + 5;   // local header of "a.bin"
constexpr int Central = 46 + 5; // its central record
constexpr int End = 22;

struct BlockSet {
    QStringList blocks; // file names in order, the last one holding the end record
    QString zipName;
};

// Stored members a.bin, b.bin ... of the given sizes, written as blocks of first / later size.
BlockSet writeBlocks(const TempDir& t, const QList<int>& sizes, int first, int later)
{
    TZipWriter w;
    w.PackLevel = 0;
    w.SetZipName(t.file("set.zip"));
    w.MultiZipInfo.MultiMode = mmBlocks;
    w.MultiZipInfo.FirstBlockSize = first;
    w.MultiZipInfo.BlockSize = later;
    for (int i = 0; i < sizes.size(); ++i) {
        const QString name = t.file(QStringLiteral("src/%1.bin").arg(QChar('a' + i)));
        writeFile(name, randomBytes(sizes[i], 40 + i));
        w.FilesList << name;
    }
    EXPECT_EQ(w.Zip(), sizes.size());
    BlockSet s;
    s.zipName = w.ZipName();
    s.blocks = QDir(t.path()).entryList({"set.*"}, QDir::Files, QDir::Name);
    EXPECT_EQ(w.NumDisks(), s.blocks.size());
    return s;
}

QByteArray block(const TempDir& t, const BlockSet& s, int i)
{
    return readFile(t.file(s.blocks.value(i)));
}

uint16_t le16(const QByteArray& b, qsizetype at)
{
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
uint32_t le32(const QByteArray& b, qsizetype at)
{
    return uint32_t(le16(b, at)) | uint32_t(le16(b, at + 2)) << 16;
}

// Our reader extracts the set; copied as name.z01, name.z02 ... name.zip it passes 7z, and
// zip joins it into an archive unzip passes. Info-ZIP zip 3.0 cannot join a set whose central
// directory leaves its disk (spread over disks, or the end record alone on the next one); 7z
// reads those.
void expectReadable(const TempDir& t, const BlockSet& s, const QList<int>& sizes, bool zipJoins = true)
{
    const Extracted ex = unzipAll(s.zipName, t.file("x/"));
    EXPECT_EQ(ex.count, sizes.size()) << ex.skipped.join(",").toStdString();
    for (int i = 0; i < sizes.size(); ++i)
        EXPECT_TRUE(readFile(t.file(QStringLiteral("x/%1.bin").arg(QChar('a' + i)))) == randomBytes(sizes[i], 40 + i));
    QDir().mkpath(t.file("iz"));
    for (int i = 0; i < s.blocks.size(); ++i) {
        const QString to = i + 1 == s.blocks.size() ? t.file("iz/set.zip") : t.file(QStringLiteral("iz/set.z%1").arg(i + 1, 2, 10, QChar('0')));
        ASSERT_TRUE(QFile::copy(t.file(s.blocks[i]), to));
    }
    QByteArray out;
    if (requireTool("7z")) {
        EXPECT_EQ(peer("7z", {"t", t.file("iz/set.zip")}, &out), 0) << out.toStdString();
    }
    if (zipJoins && requireTool("zip") && requireTool("unzip")) {
        EXPECT_EQ(peer("zip", {"-s", "0", t.file("iz/set.zip"), "--out", t.file("iz/joined.zip")}, &out), 0)
            << out.toStdString();
        EXPECT_EQ(peer("unzip", {"-t", t.file("iz/joined.zip")}, &out), 0) << out.toStdString();
    }
}

} // namespace

TEST(ZipVolumeRules, ALocalHeaderThatWouldFillTheBlockMovesToTheNext)
{
    TempDir t;
    const QList<int> sizes{100, 50};
    // After a.bin exactly one local header's room is left.
    const BlockSet s = writeBlocks(t, sizes, Local + 100 + Local, 1000);
    ASSERT_EQ(s.blocks.size(), 2);
    EXPECT_EQ(block(t, s, 0).size(), Local + 100);
    EXPECT_TRUE(block(t, s, 1).startsWith("PK\x03\x04"));
    // b.bin's central record names the second disk.
    const QByteArray last = block(t, s, 1);
    const qsizetype second = last.lastIndexOf("PK\x01\x02");
    EXPECT_EQ(le16(last, second + 34), 1);
    EXPECT_EQ(le16(last, last.indexOf("PK\x01\x02") + 34), 0);
    expectReadable(t, s, sizes);
}

TEST(ZipVolumeRules, DataFillingABlockStartsTheNextAtOnce)
{
    TempDir t;
    const QList<int> sizes{200};
    const BlockSet s = writeBlocks(t, sizes, Local + 200, 1000);
    ASSERT_EQ(s.blocks.size(), 2);
    EXPECT_EQ(block(t, s, 0).size(), Local + 200);
    // The directory begins the new block: offset 0 on disk 1, its size that of the one record.
    const QByteArray last = block(t, s, 1);
    EXPECT_TRUE(last.startsWith("PK\x01\x02"));
    const qsizetype e = last.indexOf("PK\x05\x06");
    ASSERT_GT(e, 0);
    EXPECT_EQ(le16(last, e + 4), 1);  // this disk
    EXPECT_EQ(le16(last, e + 6), 1);  // the directory's first disk
    EXPECT_EQ(le16(last, e + 8), 1);  // records on this disk
    EXPECT_EQ(le32(last, e + 12), uint32_t(Central));
    EXPECT_EQ(le32(last, e + 16), 0u);
    expectReadable(t, s, sizes);
}

TEST(ZipVolumeRules, ACentralRecordFillingTheBlockStaysAndTheEndRecordStandsAlone)
{
    TempDir t;
    const QList<int> sizes{120, 80};
    // a.bin and b.bin in the first block, then both central records fill it exactly.
    const int first = 2 * Local + 200 + 2 * Central;
    const BlockSet s = writeBlocks(t, sizes, first, 1000);
    ASSERT_EQ(s.blocks.size(), 2);
    EXPECT_EQ(block(t, s, 0).size(), first);
    const QByteArray last = block(t, s, 1);
    ASSERT_EQ(last.size(), End);
    EXPECT_TRUE(last.startsWith("PK\x05\x06"));
    EXPECT_EQ(le16(last, 4), 1);   // this disk
    EXPECT_EQ(le16(last, 6), 0);   // the directory's first disk
    EXPECT_EQ(le16(last, 8), 0);   // no central record on the end record's disk
    EXPECT_EQ(le16(last, 10), 2);  // records in all
    EXPECT_EQ(le32(last, 12), uint32_t(2 * Central));
    EXPECT_EQ(le32(last, 16), uint32_t(2 * Local + 200));
    expectReadable(t, s, sizes, false);
}

TEST(ZipVolumeRules, DirectorySpreadOverBlocksSumsItsSize)
{
    TempDir t;
    const QList<int> sizes{60, 60, 60, 60, 60};
    // The directory of five records spreads over blocks that each hold two of them.
    const BlockSet s = writeBlocks(t, sizes, 5 * (Local + 60) + Central, 2 * Central);
    ASSERT_GE(s.blocks.size(), 3);
    const QByteArray last = block(t, s, int(s.blocks.size()) - 1);
    const qsizetype e = last.indexOf("PK\x05\x06");
    ASSERT_GE(e, 0);
    EXPECT_EQ(le32(last, e + 12), uint32_t(5 * Central));
    EXPECT_EQ(le16(last, e + 10), 5);
    expectReadable(t, s, sizes, false);
}

TEST(ZipVolumeRules, BlockSizesTooSmallForTheHeadersAreRefusedBeforeWriting)
{
    for (const auto& [first, later] : {std::pair{1000, 10}, std::pair{1000, 0}, std::pair{0, 1000}, std::pair{-5, 500},
                                       std::pair{Local, 1000}}) {
        SCOPED_TRACE(first);
        TempDir t;
        writeFile(t.file("src/a.bin"), randomBytes(300, 1));
        TZipWriter w;
        w.SetZipName(t.file("set.zip"));
        w.MultiZipInfo.MultiMode = mmBlocks;
        w.MultiZipInfo.FirstBlockSize = first;
        w.MultiZipInfo.BlockSize = later;
        w.FilesList << t.file("src/a.bin");
        try {
            w.Zip();
            ADD_FAILURE() << "no error";
        } catch (const EVolumeSize& e) {
            EXPECT_TRUE(e.Message.startsWith("Block size")) << e.Message.toStdString();
        }
        EXPECT_EQ(QDir(t.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
    // The smallest sizes that hold every header work.
    TempDir t;
    const BlockSet s = writeBlocks(t, {300}, Central, Central);
    EXPECT_GT(s.blocks.size(), 5);
    const Extracted ex = unzipAll(s.zipName, t.file("x/"));
    EXPECT_EQ(ex.count, 1);
}

TEST(ZipVolumeRules, TheDefaultDiskPromptAsksForTheNextDiskAndCancelKeepsTheFinishedOne)
{
    TempDir t;
    platform::SimulatedRemovableDrive drive(t.file("floppy"));
    drive.setDisk(1, QString(), 1200);
    drive.insertDisk(1);
    writeFile(t.file("s/a.bin"), randomBytes(3000, 44));
    platform::ScopedScriptedDialogs dlg;
    dlg->pushAnswer(platform::MsgResult::Cancel);
    TZipWriter w; // no handler of its own: the component's prompt
    w.SetZipName(drive.root() + "backup.zip");
    w.MultiZipInfo.MultiMode = mmSpan;
    w.PackLevel = 0;
    w.FilesList << t.file("s/a.bin");
    try {
        w.Zip();
        ADD_FAILURE() << "no cancel";
    } catch (const EUserCanceled& e) {
        EXPECT_EQ(e.Message, "User canceled Zip operation");
    }
    ASSERT_EQ(dlg->messages().size(), 1);
    EXPECT_EQ(dlg->messages()[0], "Please insert disk 2 of the multi-disk set.");
    EXPECT_EQ(dlg->shown()[0].buttons, platform::MsgButtons::OkCancel);
    // The full first disk stays, labelled as the first of the set.
    EXPECT_GT(QFileInfo(drive.root() + "backup.zip").size(), 1000);
    EXPECT_EQ(drive.label(1), "PKBACK# 001");
}

TEST(ZipVolumeRules, AFirstCentralRecordThatDoesNotFitStartsTheDirectoryOnTheNextBlock)
{
    TempDir t;
    const QList<int> sizes{150};
    // One byte short of the central record's room after the data.
    const BlockSet s = writeBlocks(t, sizes, Local + 150 + Central - 1, 1000);
    ASSERT_EQ(s.blocks.size(), 2);
    EXPECT_EQ(block(t, s, 0).size(), Local + 150);
    const QByteArray last = block(t, s, 1);
    EXPECT_TRUE(last.startsWith("PK\x01\x02"));
    const qsizetype e = last.indexOf("PK\x05\x06");
    ASSERT_GT(e, 0);
    EXPECT_EQ(le16(last, e + 6), 1);  // the directory's first disk
    EXPECT_EQ(le32(last, e + 16), 0u); // at its start
    EXPECT_EQ(le32(last, e + 12), uint32_t(Central));
    expectReadable(t, s, sizes);
}

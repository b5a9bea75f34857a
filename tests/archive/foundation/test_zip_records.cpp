// Zip records at the level of bytes, and the records of archives other tools make.
#include "FoundationHelpers.h"
#include "support/TestSupport.h"

#include "archive/ZipCrc.h"
#include "archive/ZipRecords.h"
#include "platform/base/Exception.h"

#include <gtest/gtest.h>

using namespace archive;
using namespace zipbase_test;
using testsupport::TempDir;

namespace zipbase_test {
QByteArray python(const QString& script, const QStringList& args, const QString& workDir)
{
    QByteArray out, err;
    QStringList a{QStringLiteral("-c"), script};
    a += args;
    if (testsupport::runTool(QStringLiteral("python3"), a, &out, &err, workDir) != 0) {
        ADD_FAILURE() << "python3 failed: " << err.constData();
        return QByteArray();
    }
    return out;
}
} // namespace zipbase_test

namespace {

constexpr uint32_t kDate = 0x5A8F6C21; // 2025-04-15 13:33:02

// One stored member "abc" with its central record and end record, as the writer lays them out.
QByteArray storedAbcArchive()
{
    TMemoryStream s;
    TZipHeaderInfo h;
    h.SetFilename(QStringLiteral("abc"));
    h.CompressionMethod = 0;
    h.DateTime = kDate;
    h.CRC32 = UpdateCrc32(0, "abc", 3);
    h.CompressedSize = h.UncompressedSize = 3;
    h.SaveLocalToStream(s);
    s.WriteBuffer("abc", 3);
    TEndCentral end;
    end.CentralOffset = uint32_t(s.Position());
    h.SaveCentralToStream(s);
    end.CentralSize = uint32_t(s.Position()) - end.CentralOffset;
    end.EntriesThisDisk = end.TotalEntries = 1;
    end.SaveEndCentralToStream(s);
    return s.Data();
}

QByteArray endRecord(uint16_t entries, uint32_t cdSize, uint32_t cdOffset, const QByteArray& comment)
{
    TMemoryStream s;
    TEndCentral e;
    e.EntriesThisDisk = e.TotalEntries = entries;
    e.CentralSize = cdSize;
    e.CentralOffset = cdOffset;
    e.SetZipComment(comment);
    e.SaveEndCentralToStream(s);
    return s.Data();
}

// Reads every central record of an archive the way the reader does.
std::vector<TZipHeaderInfo> readDirectory(TStream& s, TEndCentral* endOut = nullptr)
{
    std::vector<TZipHeaderInfo> out;
    TEndCentral end;
    EXPECT_TRUE(end.FindEndCentral(s));
    s.Seek(end.CentralOffset, soFromBeginning);
    TStream* p = &s;
    for (int i = 0; i < end.TotalEntries; ++i) {
        TZipHeaderInfo h;
        EXPECT_TRUE(h.ReadCentralFromStream(p)) << "record " << i;
        out.push_back(std::move(h));
    }
    if (endOut)
        endOut->Assign(end);
    return out;
}

} // namespace

TEST(ZipRecords, StoredMemberGoldenBytes)
{
    const QByteArray zip = storedAbcArchive();
    const QByteArray expected = hexBytes(
        // local header
        "50 4B 03 04 14 00 00 00 00 00 21 6C 8F 5A C2 41 24 35 03 00 00 00 03 00 00 00 03 00 00 00"
        "61 62 63" // name
        "61 62 63" // data
        // central record
        "50 4B 01 02 14 00 14 00 00 00 00 00 21 6C 8F 5A C2 41 24 35 03 00 00 00 03 00 00 00"
        "03 00 00 00 00 00 00 00 01 00 20 00 00 00 00 00 00 00 61 62 63"
        // end record
        "50 4B 05 06 00 00 00 00 01 00 01 00 31 00 00 00 24 00 00 00 00 00");
    EXPECT_EQ(hexOf(zip), hexOf(expected));

    // Independent readers agree.
    TempDir dir;
    testsupport::writeFile(dir.file("abc.zip"), zip);
    if (testsupport::haveTool("unzip")) {
        QByteArray out;
        EXPECT_EQ(testsupport::runTool("unzip", {"-p", dir.file("abc.zip"), "abc"}, &out), 0);
        EXPECT_EQ(out, QByteArray("abc"));
    }
    const QByteArray py = python("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\nprint(z.testzip(), z.read('abc').decode(), z.infolist()[0].date_time)",
                                 {dir.file("abc.zip")});
    EXPECT_EQ(py.trimmed(), QByteArray("None abc (2025, 4, 15, 13, 33, 2)"));
}

TEST(ZipRecords, FreshHeaderWrittenAsLocalHeader)
{
    TZipHeaderInfo h;
    TMemoryStream s;
    s.WriteBuffer("xyz", 3);
    h.SaveLocalToStream(s);
    EXPECT_EQ(h.RelativeOffset, 3u);
    EXPECT_EQ(hexOf(s.Data().mid(3)),
              hexOf(hexBytes("50 4B 03 04 14 00 00 00 08 00 00 00 00 00 FF FF FF FF 00 00 00 00 00 00 00 00 00 00 00 00")));
    EXPECT_EQ(h.InternalAttributes, 1);
    EXPECT_EQ(h.ExternalAttributes, 0x20u);
}

TEST(ZipRecords, NamesSplitIntoFolderAndFileAndWriteBackIdentical)
{
    TMemoryStream s;
    {
        TZipHeaderInfo w;
        w.SetFullName(QStringLiteral("dir/sub/file.txt"));
        w.DateTime = kDate;
        w.SaveCentralToStream(s);
    }
    const QByteArray written = s.Data();
    s.SetPosition(0);
    TStream* p = &s;
    TZipHeaderInfo h;
    ASSERT_TRUE(h.ReadCentralFromStream(p));
    EXPECT_EQ(h.Directory(), QStringLiteral("dir\\sub\\"));
    EXPECT_EQ(h.FileName(), QStringLiteral("file.txt"));
    EXPECT_EQ(h.FileNameLength, 16);
    EXPECT_EQ(h.CentralOffset, 0u);
    EXPECT_EQ(s.Position(), written.size());
    TMemoryStream back;
    h.SaveCentralToStream(back);
    EXPECT_EQ(back.Data(), written);
    EXPECT_EQ(written.mid(46), QByteArray("dir/sub/file.txt"));

    TZipHeaderInfo d;
    d.SetDirectory(QStringLiteral("abc"));
    EXPECT_EQ(d.Directory(), QStringLiteral("abc\\"));
    d.SetFilename(QStringLiteral("x.txt"));
    EXPECT_EQ(d.FileNameLength, 9);
}

TEST(ZipRecords, CyrillicNamesInOemAndMixedNamesInUtf8)
{
    TZipHeaderInfo h;
    h.SetFilename(QStringLiteral("Привет.txt"));
    EXPECT_EQ(h.EncodedName(), hexBytes("8F E0 A8 A2 A5 E2") + ".txt");
    EXPECT_EQ(h.FileNameLength, 10);
    EXPECT_EQ(h.Flags & FlagUtf8Name, 0);

    const QString mixed = QStringLiteral("café Привет.txt");
    h.SetFilename(mixed);
    EXPECT_EQ(h.EncodedName(), mixed.toUtf8());
    EXPECT_EQ(h.FileNameLength, mixed.toUtf8().size());
    EXPECT_EQ(h.Flags & FlagUtf8Name, FlagUtf8Name);

    // A UTF-8 name reads back as the same text.
    TMemoryStream s;
    h.SaveLocalToStream(s);
    s.SetPosition(0);
    TZipHeaderInfo r;
    ASSERT_TRUE(r.ReadLocalFromStream(s));
    EXPECT_EQ(r.FileName(), mixed);
    EXPECT_EQ(s.Position(), 30 + mixed.toUtf8().size());
}

TEST(ZipRecords, OtherToolsShowOurNames)
{
    // An archive with an OEM name and a UTF-8 name, made from our records.
    TMemoryStream s;
    std::vector<TZipHeaderInfo> hs(2);
    hs[0].SetFilename(QStringLiteral("Привет.txt"));
    hs[1].SetFullName(QStringLiteral("папка/café Привет.txt"));
    for (auto& h : hs) {
        h.CompressionMethod = 0;
        h.DateTime = kDate;
        h.CRC32 = UpdateCrc32(0, "hi", 2);
        h.CompressedSize = h.UncompressedSize = 2;
        h.SaveLocalToStream(s);
        s.WriteBuffer("hi", 2);
    }
    TEndCentral end;
    end.CentralOffset = uint32_t(s.Position());
    for (auto& h : hs)
        h.SaveCentralToStream(s);
    end.CentralSize = uint32_t(s.Position()) - end.CentralOffset;
    end.EntriesThisDisk = end.TotalEntries = 2;
    end.SaveEndCentralToStream(s);
    TempDir dir;
    testsupport::writeFile(dir.file("names.zip"), s.Data());

    const QByteArray py = python(
        "import zipfile,sys\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "  n=i.filename if i.flag_bits & 0x800 else i.filename.encode('cp437').decode('cp866')\n"
        "  sys.stdout.buffer.write((n+'\\n').encode('utf-8'))",
        {dir.file("names.zip")});
    EXPECT_EQ(QString::fromUtf8(py), QStringLiteral("Привет.txt\nпапка/café Привет.txt\n"));

    if (testsupport::haveTool("unzip")) {
        // unzip converts flagged names to the terminal's character set.
        qputenv("LC_ALL", "C.UTF-8");
        QByteArray out;
        EXPECT_EQ(testsupport::runTool("unzip", {"-l", dir.file("names.zip")}, &out), 0);
        EXPECT_TRUE(QString::fromUtf8(out).contains(QStringLiteral("папка/café Привет.txt"))) << out.constData();
    }

    // Both read back through our own reader.
    s.SetPosition(0);
    const auto back = readDirectory(s);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].FullName(), QStringLiteral("Привет.txt"));
    EXPECT_EQ(back[1].FullName(), QStringLiteral("папка\\café Привет.txt"));
    EXPECT_EQ(back[1].Directory(), QStringLiteral("папка\\"));
    EXPECT_EQ(back[0].VersionMadeBy, 20); // MS-DOS, OEM name
    EXPECT_EQ(back[1].VersionMadeBy, 0x0B14); // Windows NT, UTF-8 name
}

TEST(ZipRecords, CheckDosDateRepairsOnlyBrokenFields)
{
    EXPECT_EQ(CheckDosDate(0xFFFFFFFFu), 0xEF9FBF7Du);
    EXPECT_EQ(CheckDosDate(kDate), kDate);
    EXPECT_EQ(CheckDosDate(0x00210000u), 0x00210000u); // 1980-01-01 00:00:00
    // month 0, day 0, hour 31 -> month 1, day 1, hour 23; minutes and seconds kept.
    const uint32_t broken = (45u << 25) | (0u << 21) | (0u << 16) | (31u << 11) | (12u << 5) | 7u;
    const uint32_t fixed = (45u << 25) | (1u << 21) | (1u << 16) | (23u << 11) | (12u << 5) | 7u;
    EXPECT_EQ(CheckDosDate(broken), fixed);
    // seconds field 30 means 60 seconds: becomes 59, stored as 29
    EXPECT_EQ(CheckDosDate((kDate & ~0x1Fu) | 30u), (kDate & ~0x1Fu) | 29u);
    // 31 February passes unchanged
    const uint32_t feb31 = (45u << 25) | (2u << 21) | (31u << 16);
    EXPECT_EQ(CheckDosDate(feb31), feb31);
}

TEST(ZipRecords, FindEndCentral)
{
    TEndCentral e;
    TMemoryStream tiny(QByteArray(21, 'x'));
    EXPECT_FALSE(e.FindEndCentral(tiny));

    TMemoryStream empty(endRecord(0, 0, 0, {}));
    ASSERT_TRUE(e.FindEndCentral(empty));
    EXPECT_EQ(e.TotalEntries, 0);
    EXPECT_EQ(e.CommentPosition, 22u);

    // Of two records the later one wins.
    TMemoryStream two(QByteArray(100, 'x') + endRecord(1, 10, 20, {}) + QByteArray(7, 'y') + endRecord(2, 30, 40, "hello"));
    ASSERT_TRUE(e.FindEndCentral(two));
    EXPECT_EQ(e.TotalEntries, 2);
    EXPECT_EQ(e.CentralSize, 30u);
    EXPECT_EQ(e.CentralOffset, 40u);
    EXPECT_EQ(e.CommentLength, 5);
    EXPECT_EQ(e.CommentPosition, uint32_t(two.Size() - 5));
    EXPECT_FALSE(e.ZipComment().has_value()); // comments are loaded on demand

    // Record-shaped bytes inside the real record's comment are not taken: one announcing a
    // comment longer than the file holds, one followed by more bytes than its comment.
    QByteArray overrun = endRecord(9, 99, 999, {});
    PutLE16(reinterpret_cast<uint8_t*>(overrun.data()) + 20, 500);
    for (const QByteArray& comment : {overrun + "tail", "before" + endRecord(8, 1, 1, {}) + "after"}) {
        TMemoryStream withFake(QByteArray(50, 'x') + endRecord(3, 1, 2, comment));
        ASSERT_TRUE(e.FindEndCentral(withFake));
        EXPECT_EQ(e.TotalEntries, 3);
        EXPECT_EQ(e.CommentLength, comment.size());
        EXPECT_EQ(e.CommentPosition, 50u + 22u);
    }
    // Bytes after a record (a truncated copy, a signature block) do not hide it.
    TMemoryStream trailing(QByteArray(30, 'x') + endRecord(5, 0, 0, "c") + QByteArray(40, '\0'));
    ASSERT_TRUE(e.FindEndCentral(trailing));
    EXPECT_EQ(e.TotalEntries, 5);
    EXPECT_EQ(e.CommentPosition, 30u + 22u);

    // The longest comment still finds its record.
    const QByteArray longComment(65535, 'c');
    TMemoryStream longOne(QByteArray(10, 'x') + endRecord(4, 0, 0, longComment));
    ASSERT_TRUE(e.FindEndCentral(longOne));
    EXPECT_EQ(e.TotalEntries, 4);
    EXPECT_EQ(e.CommentLength, 65535);

    EXPECT_THROW(e.SetZipComment(QByteArray(65536, 'c')), platform::Exception);
}

TEST(ZipRecords, ShortOrForeignRecordsLeaveTheStreamWhereItWas)
{
    const QByteArray zip = storedAbcArchive();
    TMemoryStream s(zip.left(zip.size() - 22 - 10)); // central record cut short
    s.SetPosition(36);
    TStream* p = &s;
    TZipHeaderInfo h;
    EXPECT_FALSE(h.ReadCentralFromStream(p));
    EXPECT_EQ(s.Position(), 36);
    s.SetPosition(3);
    EXPECT_FALSE(h.ReadLocalFromStream(s)); // no signature there
    EXPECT_EQ(s.Position(), 3);
    TMemoryStream nameCut(zip.left(31));
    EXPECT_FALSE(h.ReadLocalFromStream(nameCut));
    EXPECT_EQ(nameCut.Position(), 0);

    // The next-volume callback supplies the rest of a record split over two volumes.
    const QByteArray central = zip.mid(36, 49);
    TMemoryStream first(central.left(20)), second(central.mid(20));
    TStream* cur = &first;
    int calls = 0;
    ASSERT_TRUE(h.ReadCentralFromStream(cur, [&](TZipHeaderInfo&, TStream*& st) {
        ++calls;
        st = &second;
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(cur, &second);
    EXPECT_EQ(h.FileName(), QStringLiteral("abc"));
}

TEST(ZipRecords, AssignCopiesTheMemberAndItsComment)
{
    TZipHeaderInfo a;
    a.SetFullName(QStringLiteral("x\\y.txt"));
    a.CRC32 = 0x12345678;
    a.SetFileComment(QByteArray("note"));
    a.Selected = true;
    a.Mark = 2;
    TZipHeaderInfo b;
    b.Assign(a);
    EXPECT_EQ(b.FullName(), a.FullName());
    EXPECT_EQ(b.CRC32, a.CRC32);
    EXPECT_EQ(b.FileComment(), std::optional<QByteArray>("note"));
    EXPECT_EQ(b.FileCommentLength, 4);
    EXPECT_TRUE(b.Selected);
    EXPECT_EQ(b.Mark, 2);
    TEndCentral e;
    EXPECT_THROW(e.Assign(a), platform::Exception);

    // A comment length without loaded text is written as no comment rather than a lie.
    TZipHeaderInfo c;
    c.SetFilename(QStringLiteral("c"));
    c.FileCommentLength = 9;
    TMemoryStream s;
    c.SaveCentralToStream(s);
    EXPECT_EQ(s.Size(), 47);
    EXPECT_EQ(GetLE16(reinterpret_cast<const uint8_t*>(s.Data().constData()) + 32), 0);
}

TEST(ZipRecords, ReadsArchivesOfOtherTools)
{
    TempDir dir;
    testsupport::writeFile(dir.file("src/one.txt"), QByteArray("first file\n").repeated(50));
    testsupport::writeFile(dir.file("src/sub/two.bin"), QByteArray(5000, '\x07'));
    testsupport::writeFile(dir.file("src/empty.txt"), QByteArray());
    struct Made {
        QString name;
        bool ok;
    };
    std::vector<Made> made;
    made.push_back({"py.zip", !python("import zipfile,sys,os\nos.chdir(sys.argv[1])\n"
                                      "with zipfile.ZipFile('../py.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
                                      "  z.write('one.txt'); z.write('sub/two.bin'); z.write('empty.txt')\n"
                                      "  z.comment=b'python made this'\nprint('made')",
                                      {dir.file("src")})
                                   .isNull()});
    if (testsupport::haveTool("zip"))
        made.push_back({"zip.zip", testsupport::runTool("zip", {"-r", "-q", "../zip.zip", "."}, nullptr, nullptr, dir.file("src")) == 0});
    if (testsupport::haveTool("7z"))
        made.push_back({"7z.zip", testsupport::runTool("7z", {"a", "-tzip", "../7z.zip", "."}, nullptr, nullptr, dir.file("src")) == 0});
    for (const Made& m : made) {
        SCOPED_TRACE(m.name.toStdString());
        ASSERT_TRUE(m.ok);
        // python's view of the archive: name, CRC, sizes, offset
        const QByteArray listing = python(
            "import zipfile,sys\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
            "  print(i.filename, '%08X' % i.CRC, i.compress_size, i.file_size, i.header_offset, i.compress_type)",
            {dir.file(m.name)});
        TFileStream f(dir.file(m.name), fmOpenRead);
        TS_BufferStream s(&f);
        TEndCentral end;
        const auto hs = readDirectory(s, &end);
        QStringList ours;
        for (const auto& h : hs) {
            QString n = h.FullName();
            SlashToBackslash(n);
            BackslashToSlash(n);
            ours << QStringLiteral("%1 %2 %3 %4 %5 %6")
                        .arg(n)
                        .arg(h.CRC32, 8, 16, QLatin1Char('0'))
                        .arg(h.CompressedSize)
                        .arg(h.UncompressedSize)
                        .arg(h.RelativeOffset)
                        .arg(h.CompressionMethod)
                        .toUpper();
        }
        EXPECT_EQ(ours.join('\n') + '\n', QString::fromUtf8(listing).toUpper());
        // Each member's local header agrees with its central record.
        for (const auto& h : hs) {
            s.Seek(h.RelativeOffset, soFromBeginning);
            TZipHeaderInfo local;
            ASSERT_TRUE(local.ReadLocalFromStream(s));
            EXPECT_EQ(local.FullName(), h.FullName());
            EXPECT_EQ(local.RelativeOffset, h.RelativeOffset);
            EXPECT_EQ(local.CompressionMethod, h.CompressionMethod);
        }
        if (m.name == "py.zip") {
            EXPECT_EQ(end.CommentLength, 16);
            s.Seek(end.CommentPosition, soFromBeginning);
            QByteArray c(end.CommentLength, '\0');
            s.ReadBuffer(c.data(), c.size());
            EXPECT_EQ(c, QByteArray("python made this"));
        }
    }
}

// Both ways with Debian's zip, unzip, 7z and python3's zipfile, and the public test archives.
#include "ComponentSupport.h"

#include "platform/dialogs/Dialogs.h"
#include "platform/text/CodePage.h"

#include <QCryptographicHash>
#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

// Sources: text that compresses, random bytes, an empty file, a long run of one byte.
void makeSources(const QString& dir)
{
    writeFile(dir + "text.txt", textBytes(150000, 11));
    writeFile(dir + "random.bin", randomBytes(40000, 12));
    writeFile(dir + "empty.dat", QByteArray());
    writeFile(dir + "run.bin", QByteArray(70000, 'z'));
    writeFile(dir + "small.txt", "small\r\n");
    // A date long past, so that an extraction that sets no date shows.
    for (const char* n : {"text.txt", "random.bin", "empty.dat", "run.bin", "small.txt"}) {
        QFile f(dir + n);
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(QDateTime(QDate(2011, 6, 15), QTime(10, 20, 30)), QFileDevice::FileModificationTime);
    }
}
const QStringList sourceNames{"text.txt", "random.bin", "empty.dat", "run.bin", "small.txt"};

// Extracted files equal the sources, with the sources' dates (at DOS resolution).
void expectSameAsSources(const QString& src, const QString& out, const std::string& what)
{
    for (const QString& n : sourceNames) {
        EXPECT_EQ(readFile(out + n), readFile(src + n)) << what << " " << n.toStdString();
        const qint64 diff = QFileInfo(out + n).lastModified().secsTo(QFileInfo(src + n).lastModified());
        EXPECT_TRUE(diff >= -2 && diff <= 2) << what << " " << n.toStdString() << " date off by " << diff;
    }
}

QStringList sourcePaths(const QString& src)
{
    QStringList l;
    for (const QString& n : sourceNames)
        l << src + n;
    return l;
}

const char* pyTest = R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
if len(sys.argv) > 2: z.setpassword(sys.argv[2].encode())
bad = z.testzip()
print("bad:", bad)
sys.exit(1 if bad else 0)
)";

} // namespace

TEST(ZipInteropRead, ArchivesOfInfoZip)
{
    MV_REQUIRE_TOOL("zip");
    TempDir t;
    makeSources(t.file("src/"));
    for (int level = 0; level <= 9; ++level) {
        const QString zip = t.file(QStringLiteral("z%1.zip").arg(level));
        ASSERT_EQ(peer("zip", QStringList{"-q", "-j", QStringLiteral("-%1").arg(level), zip} + sourcePaths(t.file("src/"))), 0);
        const QString out = t.file(QStringLiteral("x%1/").arg(level));
        const Extracted ex = unzipAll(zip, out);
        EXPECT_EQ(ex.count, 5) << "zip -" << level << " " << ex.skipped.join(",").toStdString() << ex.badCrc.join(",").toStdString();
        expectSameAsSources(t.file("src/"), out, "zip -" + std::to_string(level));
    }
    // Encrypted, also through a pipe (data descriptors).
    ASSERT_EQ(peer("zip", QStringList{"-q", "-j", "-P", "secret", t.file("p.zip")} + sourcePaths(t.file("src/"))), 0);
    const Extracted ex = unzipAll(t.file("p.zip"), t.file("xp/"), "secret");
    EXPECT_EQ(ex.count, 5);
    expectSameAsSources(t.file("src/"), t.file("xp/"), "zip -P");
    QByteArray out;
    ASSERT_EQ(peer("sh", {"-c", "cat " + t.file("src/text.txt") + " | zip -q -P pipe " + t.file("pipe.zip") + " -"}, &out), 0)
        << out.constData();
    const Extracted pe = unzipAll(t.file("pipe.zip"), t.file("xpipe/"), "pipe");
    EXPECT_EQ(pe.count, 1) << pe.skipped.join(",").toStdString();
    EXPECT_EQ(readFile(t.file("xpipe/-")), readFile(t.file("src/text.txt")));
}

TEST(ZipInteropRead, ArchivesOf7z)
{
    MV_REQUIRE_TOOL("7z");
    TempDir t;
    makeSources(t.file("src/"));
    for (int level = 1; level <= 9; ++level) {
        const QString zip = t.file(QStringLiteral("s%1.zip").arg(level));
        ASSERT_EQ(peer("7z", QStringList{"a", "-tzip", QStringLiteral("-mx%1").arg(level), zip} + sourcePaths(t.file("src/"))), 0);
        const QString out = t.file(QStringLiteral("x%1/").arg(level));
        const Extracted ex = unzipAll(zip, out);
        EXPECT_EQ(ex.count, 5) << "7z -mx" << level;
        expectSameAsSources(t.file("src/"), out, "7z -mx" + std::to_string(level));
    }
    ASSERT_EQ(peer("7z", QStringList{"a", "-tzip", "-mem=ZipCrypto", "-pseven", t.file("c.zip")} + sourcePaths(t.file("src/"))), 0);
    const Extracted ex = unzipAll(t.file("c.zip"), t.file("xc/"), "seven");
    EXPECT_EQ(ex.count, 5);
    expectSameAsSources(t.file("src/"), t.file("xc/"), "7z ZipCrypto");
}

TEST(ZipInteropRead, ArchivesOfPython)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    makeSources(t.file("src/"));
    const char* script = R"(import sys, zipfile, os
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i, f in enumerate(sys.argv[2:]):
        z.write(f, os.path.basename(f), compress_type=zipfile.ZIP_DEFLATED if i % 2 == 0 else zipfile.ZIP_STORED)
)";
    ASSERT_EQ(peer("python3", QStringList{"-c", script, t.file("py.zip")} + sourcePaths(t.file("src/"))), 0);
    const Extracted ex = unzipAll(t.file("py.zip"), t.file("x/"));
    EXPECT_EQ(ex.count, 5);
    expectSameAsSources(t.file("src/"), t.file("x/"), "python");
}

TEST(ZipInteropWrite, OurArchivesPassEveryPeer)
{
    MV_REQUIRE_TOOL("unzip");
    MV_REQUIRE_TOOL("7z");
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    makeSources(t.file("src/"));
    for (int level = 0; level <= 9; ++level) {
        for (const QString& password : {QString(), QStringLiteral("pw")}) {
            if (!password.isEmpty() && level % 3 != 0)
                continue;
            const QString zip = t.file(QStringLiteral("o%1%2.zip").arg(level).arg(password));
            TZipWriter w;
            w.SetZipName(zip);
            w.PackLevel = level;
            w.Password = password;
            w.FilesList = sourcePaths(t.file("src/"));
            ASSERT_EQ(w.Zip(), 5);
            const std::string what = zip.toStdString();
            QByteArray out;
            QStringList uz{"-t"};
            if (!password.isEmpty())
                uz << "-P" << password;
            EXPECT_EQ(peer("unzip", uz << zip, &out), 0) << what << out.constData();
            QStringList sz{"t"};
            if (!password.isEmpty())
                sz << "-p" + password;
            EXPECT_EQ(peer("7z", sz << zip, &out), 0) << what << out.constData();
            QStringList py{"-c", pyTest, zip};
            if (!password.isEmpty())
                py << password;
            EXPECT_EQ(peer("python3", py, &out), 0) << what << out.constData();
            // And back with unzip: the same bytes.
            ASSERT_EQ(peer("unzip", QStringList{"-q", "-o"} + (password.isEmpty() ? QStringList() : QStringList{"-P", password})
                                        + QStringList{zip, "-d", t.file("u/")}),
                      0);
            for (const QString& n : sourceNames)
                EXPECT_EQ(readFile(t.file("u/") + n), readFile(t.file("src/") + n)) << what << n.toStdString();
        }
    }
}

TEST(ZipInteropWrite, CyrillicNamesInTheOemCodePage)
{
    MV_REQUIRE_TOOL("unzip");
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    const QString name = QString::fromUtf8("Заметки о дереве.txt");
    writeFile(t.file("src/") + name, "note");
    TZipWriter w;
    w.SetZipName(t.file("c.zip"));
    w.FilesList << t.file("src/") + name;
    ASSERT_EQ(w.Zip(), 1);
    // Stored in OEM 866, without the UTF-8 flag.
    const QByteArray raw = readFile(t.file("c.zip"));
    EXPECT_TRUE(raw.contains(platform::toOem(name)));
    QByteArray out;
    // In a UTF-8 locale, as on the desktop (in the C locale unzip escapes every non-ASCII name).
    ASSERT_EQ(peer("sh", {"-c", "LC_ALL=C.UTF-8 unzip -l " + t.file("c.zip")}, &out), 0);
    EXPECT_TRUE(QString::fromUtf8(out).contains(name)) << out.constData();
    ASSERT_EQ(peer("python3", {"-c", "import sys, zipfile; print(zipfile.ZipFile(sys.argv[1], metadata_encoding='cp866').namelist()[0])", t.file("c.zip")}, &out), 0);
    EXPECT_EQ(QString::fromUtf8(out).trimmed(), name);
    // And back.
    const Extracted ex = unzipAll(t.file("c.zip"), t.file("x/"));
    EXPECT_EQ(ex.count, 1);
    EXPECT_EQ(readFile(t.file("x/") + name), "note");
}

TEST(ZipInteropRead, UnixNamesOfInfoZipInUtf8)
{
    MV_REQUIRE_TOOL("zip");
    MV_REQUIRE_TOOL("unzip");
    TempDir t;
    const QString cyr = QString::fromUtf8("Привет.txt");
    const QString lat = QString::fromUtf8("café.txt");
    writeFile(t.file("src/") + cyr, "cyrillic");
    writeFile(t.file("src/") + lat, "latin");
    writeFile(t.file("src/plain.txt"), "ascii");
    // Info-ZIP on Linux stores the names' UTF-8 bytes without the UTF-8 flag.
    ASSERT_EQ(peer("zip", {"-q", t.file("u.zip"), cyr, lat, "plain.txt"}, nullptr, t.file("src")), 0);
    const Extracted ex = unzipAll(t.file("u.zip"), t.file("x/"));
    EXPECT_EQ(ex.count, 3);
    EXPECT_EQ(treeOf(t.file("x")), (QMap<QString, QByteArray>{{cyr, "cyrillic"}, {lat, "latin"}, {"plain.txt", "ascii"}}));

    // An update finds the member under its real name and replaces it.
    writeFile(t.file("src/") + cyr, "cyrillic, newer");
    QFile f(t.file("src/") + cyr);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime));
    f.close();
    TZipWriter w;
    w.SetZipName(t.file("u.zip"));
    w.FilesList << t.file("src/") + cyr;
    EXPECT_EQ(w.Zip(), 1);
    EXPECT_EQ(w.Count(), 3);
    QByteArray out;
    EXPECT_EQ(peer("unzip", {"-t", t.file("u.zip")}, &out), 0) << out.constData();
    const Extracted again = unzipAll(t.file("u.zip"), t.file("y/"));
    EXPECT_EQ(again.count, 3);
    EXPECT_EQ(readFile(t.file("y/") + cyr), "cyrillic, newer");
}

TEST(ZipInteropUpdate, PeersArchivesStayValidAfterAnUpdate)
{
    MV_REQUIRE_TOOL("zip");
    MV_REQUIRE_TOOL("7z");
    TempDir t;
    makeSources(t.file("src/"));
    const QDateTime old(QDate(2023, 3, 3), QTime(3, 3, 4));
    for (const QString& n : sourceNames) {
        QFile f(t.file("src/") + n);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(old, QFileDevice::FileModificationTime);
    }
    struct Maker {
        QString name, tool;
        QStringList args;
        QString password;
    };
    const QStringList files = sourcePaths(t.file("src/"));
    const QList<Maker> makers{
        {"infozip.zip", "zip", QStringList{"-q", "-j", "-6"}, {}},
        {"infozip-p.zip", "zip", QStringList{"-q", "-j", "-P", "pw"}, "pw"},
        {"sevenzip.zip", "7z", QStringList{"a", "-tzip", "-mx5"}, {}},
        {"sevenzip-p.zip", "7z", QStringList{"a", "-tzip", "-mem=ZipCrypto", "-ppw"}, "pw"},
    };
    for (const Maker& m : makers) {
        const QString zip = t.file(m.name);
        QStringList args = m.args;
        args.insert(m.tool == "zip" ? args.size() : args.size(), zip);
        ASSERT_EQ(peer(m.tool, args + files), 0) << m.name.toStdString();
        const std::string what = m.name.toStdString();

        // Replace one member with a newer file and add one; the rest are copied.
        writeFile(t.file("new/") + "text.txt", textBytes(1234, 99));
        writeFile(t.file("new/") + "added.txt", "added");
        TZipWriter w;
        w.SetZipName(zip);
        w.Password = m.password;
        w.FilesList << t.file("new/text.txt") << t.file("new/added.txt");
        EXPECT_EQ(w.Zip(), 2) << what;

        QByteArray out;
        QStringList uz{"-t"};
        if (!m.password.isEmpty())
            uz << "-P" << m.password;
        EXPECT_EQ(peer("unzip", uz << zip, &out), 0) << what << out.constData();
        QStringList sz{"t"};
        if (!m.password.isEmpty())
            sz << "-p" + m.password;
        EXPECT_EQ(peer("7z", sz << zip, &out), 0) << what << out.constData();
        QDir(t.file("u")).removeRecursively();
        QStringList ux{"-q", "-o"};
        if (!m.password.isEmpty())
            ux << "-P" << m.password;
        ASSERT_EQ(peer("unzip", ux << zip << "-d" << t.file("u")), 0) << what;
        EXPECT_EQ(readFile(t.file("u/text.txt")), textBytes(1234, 99)) << what;
        EXPECT_EQ(readFile(t.file("u/added.txt")), "added") << what;
        for (const QString& n : sourceNames) {
            if (n != "text.txt") {
                EXPECT_EQ(readFile(t.file("u/") + n), readFile(t.file("src/") + n)) << what << n.toStdString();
            }
        }
        // Our own reader agrees.
        const Extracted ex = unzipAll(zip, t.file("o/") + m.name + "/", m.password);
        EXPECT_EQ(ex.count, 6) << what;
    }
}

TEST(ZipInteropRead, UnicodePathFieldNamesTheMember)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    // Info-ZIP's escaped name with the real one in a Unicode Path field, and a field left
    // behind by another name (its CRC is that of the other name).
    const char* script = R"(import sys, zipfile, struct, zlib
def upath(stored, name):
    u = name.encode()
    return struct.pack('<HHBI', 0x7075, 5 + len(u), 1, zlib.crc32(stored)) + u
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for stored, field, data in (('#U043f#U0430#U043f#U043a#U0430/#U0442#U0435#U0441#U0442.txt', None, b'cyrillic'),
                                ('stale.txt', b'old.txt', b'stale')):
        info = zipfile.ZipInfo(stored)
        info.create_system = 0
        info.extra = upath(field or stored.encode(), 'папка/тест.txt' if field is None else 'другое.txt')
        z.writestr(info, data)
)";
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", script, t.file("u.zip")}, &out), 0) << out.constData();
    const QMap<QString, QByteArray> expected{{QString::fromUtf8("папка/тест.txt"), "cyrillic"}, {"stale.txt", "stale"}};
    EXPECT_EQ(unzipAll(t.file("u.zip"), t.file("x/")).count, 2);
    EXPECT_EQ(treeOf(t.file("x")), expected);
    // Without the directory, from the local headers.
    TZipReader r;
    readWithoutDirectory(r, t.file("u.zip"), t.file("cut.zip"), t.file("y"));
    r.RecreateDirs = true;
    EXPECT_EQ(r.UnZip(), 2);
    EXPECT_EQ(treeOf(t.file("y")), expected);
}

TEST(ZipInteropRead, PublicTestArchives)
{
    MV_REQUIRE_TESTDATA();
    const QString base = testdataDir() + "zip/";
    QMap<QString, QString> passwords;
    for (const QByteArray& line : readFile(base + "VERIFY_tools.tsv").split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() > 3 && !f[3].isEmpty())
            passwords[QString::fromUtf8(f[0])] = QString::fromUtf8(f[3]);
    }
    QMap<QString, QList<QStringList>> expected;
    for (const QByteArray& line : readFile(base + "EXPECTED_contents.tsv").split('\n').mid(1)) {
        const QStringList f = QString::fromUtf8(line).split('\t');
        if (f.size() >= 5)
            expected[f[0]].append(f);
    }
    // Archives whose members use stored and deflated data only, with what we must extract.
    const QMap<QString, int> supported{
        {"sharpcompress/Zip.deflate.zip", 3},          {"sharpcompress/Zip.none.zip", 3},
        {"sharpcompress/Zip.deflate.dd.zip", 3},       {"sharpcompress/Zip.deflate.dd-.zip", 3},
        {"sharpcompress/Zip.none.datadescriptors.zip", 2}, {"sharpcompress/Zip.deflate.pkware.zip", 1},
        {"sharpcompress/zipcrypto.zip", 8},            {"sharpcompress/SharpCompress.Encrypted.zip", 6},
        {"sharpcompress/WinZip26.zip", 3},             {"sharpcompress/PrePostHeaders.zip", 3},
        {"sharpcompress/Zip.uncompressed.zip", 4},     {"sharpcompress/Zip.badlocalextra.zip", 1},
        {"sharpcompress/Issue_685.zip", 4},            {"sharpcompress/Zip.LongComment.zip", 1},
        {"sharpcompress/Zip.EntryComment.zip", 1},     {"sharpcompress/Zip.deflate.mod2.zip", 3},
        {"zip2/data_descriptor.zip", 1},               {"zip2/linux-7z.zip", 1},
        {"zip2/windows-7zip.zip", 1},                  {"zip2/mimetype.zip", 1},
        {"zip2/ntfs.zip", 2},                          {"zip2/extended_timestamp.zip", 2},
        {"zip2/files_and_dirs.zip", 1},
        // The bytes of a ZIP64 locator in a name are no ZIP64 archive. Names cut at a NUL to
        // nothing are not written.
        {"zip2/zip64_magic_in_filename_1.zip", 1},     {"zip2/zip64_magic_in_filename_2.zip", 1},
        {"zip2/zip64_magic_in_filename_3.zip", 0},     {"zip2/zip64_magic_in_filename_4.zip", 2},
        {"zip2/zip64_magic_in_filename_5.zip", 1},
        // Names from a Unicode name field beside the OEM or escaped one.
        {"sharpcompress/Infozip.nocomp.multi.zip", 3}, {"sharpcompress/Zip.UnicodePathExtra.zip", 1},
        {"zip2/chinese.zip", 1},                       {"zip2/windows-7zip.zip", 1},
    };
    // What an extraction wrote, by name without control characters: SHA-256.
    auto written = [&](const QString& dir) {
        QMap<QString, QByteArray> m;
        const auto tree = treeOf(dir);
        for (auto it = tree.cbegin(); it != tree.cend(); ++it)
            m.insert(tableMemberName(it.key()), QCryptographicHash::hash(it.value(), QCryptographicHash::Sha256).toHex());
        return m;
    };
    platform::ScopedScriptedDialogs dlg;
    for (auto it = supported.cbegin(); it != supported.cend(); ++it) {
        TempDir t;
        const Extracted ex = unzipAll(base + it.key(), t.file("x/"), passwords.value(it.key()));
        EXPECT_EQ(ex.count, it.value()) << it.key().toStdString() << ex.skipped.join(",").toStdString();
        const QMap<QString, QByteArray> got = written(t.file("x"));
        for (const QStringList& f : expected.value(it.key())) {
            // 7z names a member without a name after the archive.
            if (f[1] == QFileInfo(it.key()).completeBaseName())
                continue;
            const QString name = tableMemberName(f[1]);
            EXPECT_EQ(got.value(name), f[4].toLatin1()) << it.key().toStdString() << " " << name.toStdString();
        }
    }
    // Whatever any other archive gives, read or refused: no member with other bytes than the
    // table's.
    for (const QByteArray& line : readFile(base + "VERIFY_tools.tsv").split('\n').mid(1)) {
        const QString name = QString::fromUtf8(line.split('\t').first());
        if (name.isEmpty() || supported.contains(name))
            continue;
        TempDir t;
        try {
            unzipAll(base + name, t.file("x/"), passwords.value(name));
        } catch (const platform::Exception&) {
        }
        QMap<QString, QByteArray> listed;
        for (const QStringList& f : expected.value(name))
            listed.insert(tableMemberName(f[1]), f[4].toLatin1());
        const QMap<QString, QByteArray> got = written(t.file("x"));
        for (auto w = got.cbegin(); w != got.cend(); ++w) {
            if (listed.contains(w.key())) {
                EXPECT_EQ(w.value(), listed.value(w.key())) << name.toStdString() << " " << w.key().toStdString();
            }
        }
    }
    // Unsupported methods and AES: nothing written, nothing wrongly counted.
    for (const char* name : {"sharpcompress/Zip.lzma.zip", "sharpcompress/Zip.bzip2.zip", "sharpcompress/Zip.ppmd.zip",
                               "sharpcompress/Zip.deflate64.zip", "sharpcompress/Zip.deflate.WinzipAES.zip",
                               "zip2/aes_archive.zip"}) {
        TempDir t;
        const Extracted ex = unzipAll(base + name, t.file("x/"), passwords.value(name));
        EXPECT_EQ(ex.count, 0) << name;
        EXPECT_TRUE(treeOf(t.file("x")).isEmpty()) << name;
    }
    // ZIP64 archives are refused as a whole rather than misread or listed in part.
    for (const char* name : {"sharpcompress/Zip.zip64.zip", "sharpcompress/Zip.zip64.compressedonly.zip"}) {
        TempDir t;
        try {
            unzipAll(base + name, t.file("x/"));
            ADD_FAILURE() << name << " was read";
        } catch (const EBadZipFile& e) {
            EXPECT_TRUE(e.Message.contains("ZIP64")) << e.Message.toStdString();
        }
        EXPECT_TRUE(treeOf(t.file("x")).isEmpty()) << name;
    }
}

TEST(ZipInteropUpdate, DataDescriptorMembersThroughTwoUpdates)
{
    MV_REQUIRE_TOOL("zip");
    MV_REQUIRE_TOOL("7z");
    TempDir t;
    writeFile(t.file("in.txt"), textBytes(40000, 21));
    QByteArray out;
    // zip writing to a pipe puts sizes and CRC in data descriptors (flag bit 3).
    ASSERT_EQ(peer("sh", {"-c", "cat " + t.file("in.txt") + " | zip -q - - | cat > " + t.file("dd.zip")}, &out), 0) << out.constData();
    const QByteArray original = readFile(t.file("dd.zip"));
    const QByteArray firstMember = original.left(original.indexOf(QByteArray("PK\x01\x02", 4)));
    TZipWriter w;
    w.SetZipName(t.file("dd.zip"));
    w.OpenZip();
    ASSERT_EQ(w.Count(), 1);
    EXPECT_TRUE(w.SortedMembers()->Header(0)->HasDataDescriptor());
    w.CloseZip();
    for (int round = 1; round <= 2; ++round) {
        writeFile(t.file(QStringLiteral("add%1.txt").arg(round)), textBytes(500 * round, round));
        w.FilesList << t.file(QStringLiteral("add%1.txt").arg(round));
        EXPECT_EQ(w.Zip(), 1); // the second round works from the directory cached by the first
        EXPECT_EQ(peer("unzip", {"-t", t.file("dd.zip")}, &out), 0) << round << out.constData();
        EXPECT_EQ(peer("7z", {"t", t.file("dd.zip")}, &out), 0) << round << out.constData();
        // The kept member, its descriptor included, is byte for byte what zip wrote.
        EXPECT_TRUE(readFile(t.file("dd.zip")).startsWith(firstMember)) << round;
    }
    ASSERT_EQ(peer("unzip", {"-p", t.file("dd.zip"), "-"}, &out), 0);
    EXPECT_EQ(out, textBytes(40000, 21));
}

TEST(ZipInteropRead, ScannedMemberWithDeferredSizesExtractsWhole)
{
    MV_REQUIRE_TOOL("zip");
    TempDir t;
    writeFile(t.file("in.txt"), textBytes(30000, 22));
    QByteArray out;
    ASSERT_EQ(peer("sh", {"-c", "cat " + t.file("in.txt") + " | zip -q - - | cat > " + t.file("dd.zip")}, &out), 0);
    // Without its directory, the local header alone tells no sizes: they come from the
    // descriptor after the data, never from the header's zeros.
    TZipReader r;
    readWithoutDirectory(r, t.file("dd.zip"), t.file("cut.zip"), t.file("x"));
    QList<TSkipReason> reasons;
    r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString&, int) { reasons << why; };
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_TRUE(reasons.isEmpty());
    EXPECT_TRUE(treeOf(t.file("x")) == (QMap<QString, QByteArray>{{"-", textBytes(30000, 22)}}));
}

TEST(ZipInteropRead, ScannedStoredMemberWithDeferredSizes)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    // python3 writes data descriptors, stored members included, to a stream it cannot seek.
    const char* script = R"(import sys, zipfile
class W:
    def __init__(s, f): s.f = f
    def write(s, b): return s.f.write(b)
    def flush(s): pass
    def tell(s): raise OSError
    def seekable(s): return False
with open(sys.argv[1], 'wb') as f:
    with zipfile.ZipFile(W(f), 'w') as z:
        for name in sys.argv[2:]:
            z.writestr(zipfile.ZipInfo(name), b'some stored data' if name.startswith('data') else b'', zipfile.ZIP_STORED)
)";
    for (const QStringList& names : {QStringList{"data.txt", "empty.txt"}, QStringList{"empty.txt"}}) {
        QDir(t.file("x")).removeRecursively();
        ASSERT_EQ(peer("python3", QStringList{"-c", script, t.file("dd.zip")} + names), 0);
        TZipReader r;
        readWithoutDirectory(r, t.file("dd.zip"), t.file("cut.zip"), t.file("x"));
        QStringList skipped;
        r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& n, int) { skipped << QStringLiteral("%1 %2").arg(int(why)).arg(n); };
        if (names.first() == "data.txt") {
            // Its size comes from the descriptor that agrees with the bytes before it.
            EXPECT_EQ(r.UnZip(), 2);
            EXPECT_TRUE(skipped.isEmpty());
            EXPECT_EQ(treeOf(t.file("x")),
                      (QMap<QString, QByteArray>{{"data.txt", "some stored data"}, {"empty.txt", ""}}));
        } else {
            // The descriptor right after the header shows the member really is empty.
            EXPECT_EQ(r.UnZip(), 1);
            EXPECT_TRUE(skipped.isEmpty());
            EXPECT_EQ(treeOf(t.file("x")), (QMap<QString, QByteArray>{{"empty.txt", ""}}));
        }
    }
}

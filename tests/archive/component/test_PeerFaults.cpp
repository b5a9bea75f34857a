// What users and peers met: passwords outside ASCII both ways, ZIP64 archives, names of a
// damaged Linux archive, the comment of a new archive, colons and backslashes in names, and
// messages that name the real cause.
#include "ComponentSupport.h"

#include "archive/ZipExtract.h"
#include "archive/ZipStrings.h"
#include "platform/dialogs/Dialogs.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace ziptest;
using namespace archive;

namespace {

const QString Parol = QString::fromUtf8("пароль");

// Writes an archive with one deflated member under the traditional encryption, keyed by the
// password bytes given in hex: archives of tools that take a password as raw bytes.
const char* pyEncrypt = R"(import sys, zlib, struct, os
out, pw, name, src = sys.argv[1], bytes.fromhex(sys.argv[2]), sys.argv[3].encode(), sys.argv[4]
data = open(src, 'rb').read()
def step(k, c): return zlib.crc32(bytes([c]), k ^ 0xffffffff) ^ 0xffffffff
keys = [0x12345678, 0x23456789, 0x34567890]
def update(c):
    keys[0] = step(keys[0], c)
    keys[1] = ((keys[1] + (keys[0] & 0xff)) * 134775813 + 1) & 0xffffffff
    keys[2] = step(keys[2], keys[1] >> 24)
for c in pw: update(c)
def enc(b):
    r = bytearray()
    for c in b:
        t = (keys[2] | 2) & 0xffff
        r.append(c ^ (((t * (t ^ 1)) >> 8) & 0xff))
        update(c)
    return bytes(r)
crc = zlib.crc32(data)
co = zlib.compressobj(6, zlib.DEFLATED, -15)
comp = co.compress(data) + co.flush()
body = enc(os.urandom(10) + bytes([(crc >> 16) & 0xff, crc >> 24])) + enc(comp)
tm = 0x5A8E6000
local = struct.pack('<IHHHIIIIHH', 0x04034b50, 20, 1, 8, tm, crc, len(body), len(data), len(name), 0) + name
central = struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 20, 20, 1, 8, tm, crc, len(body), len(data), len(name), 0, 0, 0, 0, 0x20, 0) + name
end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 1, 1, len(central), len(local) + len(body), 0)
open(out, 'wb').write(local + body + central + end)
)";

struct PasswordLog {
    int asked = 0;
    QStringList skipped;
    void attach(TZipReader& r)
    {
        r.OnBadPassword = [this](TZipReader*, int, QString&) { ++asked; };
        r.OnSkippingFile = [this](TZipReader*, TSkipReason why, const QString& name, int) {
            skipped << QStringLiteral("%1 %2").arg(int(why)).arg(name);
        };
    }
};

int extractWith(const QString& zip, const QString& dest, const QString& password, PasswordLog* log = nullptr)
{
    TZipReader r;
    r.SetZipName(zip);
    r.SetDestDir(dest);
    r.DoAll = true;
    r.OverwriteMode = Always;
    r.Password = password;
    if (log)
        log->attach(r);
    return r.UnZip();
}

// The message of the EBadZipFile the archive raises when read, or empty.
QString refusal(const QString& zip)
{
    try {
        TZipReader r;
        r.SetZipName(zip);
        r.Count();
        r.OpenZip();
        r.CloseZip();
    } catch (const EBadZipFile& e) {
        return e.Message;
    }
    return QString();
}

} // namespace

TEST(PeerPasswords, CyrillicPasswordOpensArchivesOfEverySource)
{
    MV_REQUIRE_TOOL("zip");
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    const QByteArray data = textBytes(30000, 5);
    writeFile(t.file("data.txt"), data);
    QByteArray out;
    ASSERT_EQ(peer("zip", {"-q", "-j", "-P", Parol, t.file("zip.zip"), t.file("data.txt")}, &out), 0) << out.constData();
    // p7zip 16.02 refuses to write a ZipCrypto password outside ASCII ("E_INVALIDARG"); a 7z
    // that writes one is checked too.
    QStringList zips{"zip.zip", "py-utf8.zip", "py-1251.zip", "py-866.zip"};
    if (peer("7z", {"a", "-tzip", "-p" + Parol, "-mem=ZipCrypto", t.file("7z.zip"), t.file("data.txt")}, &out) == 0)
        zips << "7z.zip";
    ASSERT_EQ(peer("python3", {"-c", pyEncrypt, t.file("py-utf8.zip"), QString::fromLatin1(Parol.toUtf8().toHex()), "data.txt", t.file("data.txt")}, &out), 0) << out.constData();
    ASSERT_EQ(peer("python3", {"-c", pyEncrypt, t.file("py-1251.zip"), "efe0f0eeebfc", "data.txt", t.file("data.txt")}, &out), 0) << out.constData();
    ASSERT_EQ(peer("python3", {"-c", pyEncrypt, t.file("py-866.zip"), "afa0e0aeabec", "data.txt", t.file("data.txt")}, &out), 0) << out.constData();
    for (const QString& zipName : zips) {
        const std::string zip = zipName.toStdString();
        const QString dest = t.file("x-" + zipName + "/");
        PasswordLog log;
        EXPECT_EQ(extractWith(t.file(zipName), dest, Parol, &log), 1) << zip;
        EXPECT_EQ(readFile(dest + "data.txt"), data) << zip;
        EXPECT_EQ(log.asked, 0) << zip;
        EXPECT_TRUE(log.skipped.isEmpty()) << zip << log.skipped.join(",").toStdString();
        // A wrong password still is one.
        PasswordLog wrong;
        EXPECT_EQ(extractWith(t.file(zipName), t.file("w/"), QString::fromUtf8("парол"), &wrong), 0) << zip;
        EXPECT_EQ(wrong.skipped, QStringList{"0 data.txt"}) << zip;
    }
}

TEST(PeerPasswords, OurCyrillicPasswordIsReadByPeers)
{
    MV_REQUIRE_TOOL("unzip");
    MV_REQUIRE_TOOL("7z");
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    const QByteArray data = textBytes(40000, 6);
    writeFile(t.file("data.txt"), data);
    for (int level : {0, 6}) {
        const QString zip = t.file(QStringLiteral("ours%1.zip").arg(level));
        TZipWriter w;
        w.SetZipName(zip);
        w.PackLevel = level;
        w.Password = Parol;
        w.FilesList << t.file("data.txt");
        ASSERT_EQ(w.Zip(), 1);
        QByteArray out;
        EXPECT_EQ(peer("unzip", {"-P", Parol, "-t", zip}, &out), 0) << out.constData();
        EXPECT_EQ(peer("7z", {"t", "-p" + Parol, zip}, &out), 0) << out.constData();
        EXPECT_EQ(peer("python3", {"-c", "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                                         "sys.stdout.buffer.write(z.read('data.txt', pwd=sys.argv[2].encode('utf-8')))",
                                   zip, Parol},
                       &out),
                  0);
        EXPECT_EQ(out, data);
        EXPECT_EQ(extractWith(zip, t.file("back/"), Parol), 1);
        EXPECT_EQ(readFile(t.file("back/data.txt")), data);
    }
}

TEST(PeerZip64, Zip64ArchivesAreRefusedAsAWhole)
{
    MV_REQUIRE_TOOL("zip");
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    writeFile(t.file("a.txt"), textBytes(5000, 1));
    writeFile(t.file("b.txt"), textBytes(7000, 2));
    QByteArray out;
    ASSERT_EQ(peer("zip", {"-q", "-j", "-fz", t.file("fz.zip"), t.file("a.txt"), t.file("b.txt")}, &out), 0) << out.constData();
    // python writes ZIP64 records for every size and offset above its limit: lowered to 0.
    const char* forced = R"(import sys, zipfile
zipfile.ZIP64_LIMIT = 0
zipfile.ZIP_FILECOUNT_LIMIT = 0
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, allowZip64=True) as z:
    for f in sys.argv[2:]: z.write(f, f.split('/')[-1])
)";
    ASSERT_EQ(peer("python3", {"-c", forced, t.file("py64.zip"), t.file("a.txt"), t.file("b.txt")}, &out), 0) << out.constData();
    // A member of 5 GiB, its data a hole in a sparse file.
    const char* huge = R"(import sys, struct, os
name = b'huge.bin'
size = 5 << 30
with open(sys.argv[1], 'wb') as f:
    f.write(struct.pack('<IHHHIIIIHH', 0x04034b50, 45, 0, 0, 0x5A8E6000, 0, 0xffffffff, 0xffffffff, len(name), 20) + name)
    f.write(struct.pack('<HHQQ', 1, 16, size, size))
    f.seek(size, 1)
    cd = f.tell()
    f.write(struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 45, 45, 0, 0, 0x5A8E6000, 0, 0xffffffff, 0xffffffff, len(name), 20, 0, 0, 0, 0x20, 0) + name)
    f.write(struct.pack('<HHQQ', 1, 16, size, size))
    end = f.tell()
    f.write(struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, 1, 1, end - cd, cd))
    f.write(struct.pack('<IIQI', 0x07064b50, 0, end, 1))
    f.write(struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 1, 1, end - cd, 0xffffffff, 0))
)";
    ASSERT_EQ(peer("python3", {"-c", huge, t.file("huge.zip")}, &out), 0) << out.constData();
    struct stat st {};
    const bool sparse = ::stat(QFile::encodeName(t.file("huge.zip")).constData(), &st) == 0 && st.st_blocks * 512 < (64 << 20);
    QStringList archives{"fz.zip", "py64.zip"};
    if (sparse)
        archives << "huge.zip";
    else
        QFile::remove(t.file("huge.zip"));
    for (const QString& zip : archives) {
        EXPECT_TRUE(refusal(t.file(zip)).contains("ZIP64")) << zip.toStdString();
        try {
            unzipAll(t.file(zip), t.file("x/"));
            ADD_FAILURE() << zip.toStdString() << " was read";
        } catch (const EBadZipFile& e) {
            EXPECT_EQ(e.Message, SZip64NotSupported);
        }
        EXPECT_TRUE(treeOf(t.file("x")).isEmpty()) << zip.toStdString();
        // An update leaves it as it was.
        const QByteArray before = zip == "huge.zip" ? QByteArray() : readFile(t.file(zip));
        const qint64 sizeBefore = QFileInfo(t.file(zip)).size();
        TZipWriter w;
        w.SetZipName(t.file(zip));
        w.FilesList << t.file("a.txt");
        EXPECT_THROW(w.Zip(), EBadZipFile) << zip.toStdString();
        if (zip == "huge.zip")
            EXPECT_EQ(QFileInfo(t.file(zip)).size(), sizeBefore);
        else
            EXPECT_EQ(readFile(t.file(zip)), before);
        EXPECT_EQ(QDir(t.path()).entryList({"ARQ*"}, QDir::Files), QStringList());
    }
    // A pipe makes Info-ZIP write a ZIP64 end record that only repeats the end record: read whole.
    ASSERT_EQ(peer("sh", {"-c", "cat " + t.file("a.txt") + " | zip -q " + t.file("pipe.zip") + " -"}, &out), 0);
    EXPECT_EQ(unzipAll(t.file("pipe.zip"), t.file("p/")).count, 1);
    EXPECT_EQ(readFile(t.file("p/-")), textBytes(5000, 1));
}

TEST(PeerZip64, LocatorBytesInAMemberCommentAreNoZip64)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    // The last member's comment, right before the end record, ends in the bytes of a ZIP64
    // locator: one pointing at the first local header, one past itself.
    const char* script = R"(import sys, zipfile, struct
for out, at in ((sys.argv[1], 0), (sys.argv[2], 1 << 40)):
    with zipfile.ZipFile(out, 'w') as z:
        z.writestr('a.txt', b'first member')
        z.writestr('b.txt', b'second member')
        z.getinfo('b.txt').comment = b'note ' + struct.pack('<IIQI', 0x07064b50, 0, at, 1)
)";
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", script, t.file("first.zip"), t.file("past.zip")}, &out), 0) << out.constData();
    for (const QString& zip : {QStringLiteral("first.zip"), QStringLiteral("past.zip")}) {
        EXPECT_EQ(refusal(t.file(zip)), QString()) << zip.toStdString();
        EXPECT_EQ(unzipAll(t.file(zip), t.file("x/") + zip).count, 2) << zip.toStdString();
        EXPECT_EQ(treeOf(t.file("x/") + zip), (QMap<QString, QByteArray>{{"a.txt", "first member"}, {"b.txt", "second member"}}));
    }
}

TEST(PeerZip64, Zip64EndRecordBesideWholeRecordsIsReadThroughThem)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    // A small archive of python with a ZIP64 end record and locator put before its end record,
    // as writers that always add one do: one repeating the end record, one whose counts say
    // otherwise. Then the archive with the ZIP64 marker as a member's size in the directory.
    const char* script = R"(import sys, zipfile, struct, io
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w') as z:
    z.writestr('a.txt', b'hello zip64 world\n' * 10, zipfile.ZIP_DEFLATED)
data = buf.getvalue()
eocd = data.rindex(b'PK\x05\x06')
_, _, _, n1, n2, size, offset, _ = struct.unpack('<IHHHHIIH', data[eocd:eocd + 22])
for out, count in ((sys.argv[1], n1), (sys.argv[2], 0)):
    rec = struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, count, count, size, offset)
    loc = struct.pack('<IIQI', 0x07064b50, 0, eocd, 1)
    open(out, 'wb').write(data[:eocd] + rec + loc + data[eocd:])
central = data.index(b'PK\x01\x02')
open(sys.argv[3], 'wb').write(data[:central + 20] + b'\xff' * 4 + data[central + 24:])
)";
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", script, t.file("same.zip"), t.file("other.zip"), t.file("marker.zip")}, &out), 0)
        << out.constData();
    for (const QString& zip : {QStringLiteral("same.zip"), QStringLiteral("other.zip")}) {
        EXPECT_EQ(unzipAll(t.file(zip), t.file("x/") + zip).count, 1) << zip.toStdString();
        EXPECT_EQ(readFile(t.file("x/") + zip + "/a.txt"), QByteArray("hello zip64 world\n").repeated(10)) << zip.toStdString();
    }
    EXPECT_EQ(refusal(t.file("marker.zip")), SZip64NotSupported);
    EXPECT_THROW(unzipAll(t.file("marker.zip"), t.file("y/")), EBadZipFile);
    EXPECT_TRUE(treeOf(t.file("y")).isEmpty());
}

// Extracts the members of these names only; how many were extracted.
static int extractSome(const QString& zip, const QString& dest, const QStringList& names)
{
    TZipReader r;
    r.SetZipName(zip);
    r.SetDestDir(dest);
    r.FilesList = names;
    return r.UnZip();
}

TEST(PeerZip64, AllOnesWithNoZip64RecordBehindIsTheValue)
{
    MV_REQUIRE_TOOL("python3");
    // Tens of thousands of files: in memory where the machine has such a folder.
    QTemporaryDir inMemory(QStringLiteral("/dev/shm/mv-zip-XXXXXX"));
    TempDir onDisk;
    const QString dir = inMemory.isValid() ? inMemory.path() + u'/' : onDisk.path();
    // 65,535 members fit the end record's count exactly, which then reads all ones: our own
    // archive of as many empty files is read back, and its first and last members extracted.
    QDir().mkpath(dir + "src");
    QStringList files;
    for (int i = 0; i <= 65535; ++i) {
        files << dir + QStringLiteral("src/f%1").arg(i);
        QFile f(files.last());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    writeFile(files[0], "first");
    writeFile(files[65534], "last");
    const QString extra = files.takeLast();
    {
        TZipWriter w;
        w.SetZipName(dir + "ours.zip");
        w.FilesList = files;
        EXPECT_EQ(w.Zip(), 65535);
    }
    EXPECT_EQ(refusal(dir + "ours.zip"), QString());
    EXPECT_EQ(extractSome(dir + "ours.zip", dir + "x", {"f0", "f65534"}), 2);
    EXPECT_EQ(treeOf(dir + "x"), (QMap<QString, QByteArray>{{"f0", "first"}, {"f65534", "last"}}));

    // One file more is said plainly and writes nothing: the archive being updated stays as it
    // was, a new one is not made, no temporary is left.
    const QByteArray before = readFile(dir + "ours.zip");
    const QString limit = QStringLiteral("The archive %1 was not written: a zip archive holds at most 65,535 files, and "
                                         "this one would hold 65536.");
    for (const QString& zip : {dir + "ours.zip", dir + "new.zip"}) {
        TZipWriter w;
        w.SetZipName(zip);
        w.FilesList = zip.endsWith("ours.zip") ? QStringList{extra} : files + QStringList{extra};
        try {
            w.Zip();
            ADD_FAILURE() << zip.toStdString() << " was written";
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.Message, limit.arg(zip));
        }
    }
    EXPECT_EQ(readFile(dir + "ours.zip"), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"ours.zip"});

    // Python's archive of 65,535 members, and one made by hand whose central directory starts
    // at offset 0xFFFFFFFF (a sparse file), with no ZIP64 record behind either.
    const char* script = R"(import sys, zipfile, struct, zlib
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for i in range(65535): z.writestr('p%d' % i, b'python %d' % i if i in (0, 65534) else b'')
data, name = b'far away', b'far.txt'
with open(sys.argv[2], 'wb') as f:
    f.write(struct.pack('<IHHHIIIIHH', 0x04034b50, 10, 0, 0, 0x5A8E6000, zlib.crc32(data), len(data), len(data), len(name), 0) + name + data)
    f.seek(0xffffffff)
    f.write(struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 10, 10, 0, 0, 0x5A8E6000, zlib.crc32(data), len(data), len(data), len(name), 0, 0, 0, 0, 0x20, 0) + name)
    f.write(struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 1, 1, 46 + len(name), 0xffffffff, 0))
)";
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", script, dir + "py.zip", dir + "far.zip"}, &out), 0) << out.constData();
    EXPECT_EQ(refusal(dir + "py.zip"), QString());
    EXPECT_EQ(extractSome(dir + "py.zip", dir + "p", {"p0", "p65534"}), 2);
    EXPECT_EQ(treeOf(dir + "p"), (QMap<QString, QByteArray>{{"p0", "python 0"}, {"p65534", "python 65534"}}));
    struct stat st {};
    if (::stat(QFile::encodeName(dir + "far.zip").constData(), &st) == 0 && st.st_blocks * 512 < (64 << 20)) {
        EXPECT_EQ(refusal(dir + "far.zip"), QString());
        EXPECT_EQ(unzipAll(dir + "far.zip", dir + "f").count, 1);
        EXPECT_EQ(treeOf(dir + "f"), (QMap<QString, QByteArray>{{"far.txt", "far away"}}));
    }
}

TEST(PeerNames, DamagedLinuxArchiveExtractsUnderRealNames)
{
    MV_REQUIRE_TOOL("zip");
    TempDir t;
    const QString folder = QString::fromUtf8("cyr/Папка/");
    writeFile(t.file(folder + QString::fromUtf8("файл.txt")), "файл");
    writeFile(t.file("cyr/plain.txt"), "plain");
    QByteArray out;
    ASSERT_EQ(peer("zip", {"-q", "-r", "whole.zip", "cyr"}, &out, t.path()), 0) << out.constData();
    // Without its directory the archive is read by the scan of its local headers.
    TZipReader r;
    readWithoutDirectory(r, t.file("whole.zip"), t.file("cut.zip"), t.file("x"));
    r.RecreateDirs = true;
    EXPECT_EQ(r.UnZip(), 2);
    EXPECT_TRUE(r.DirectoryRebuilt());
    EXPECT_EQ(treeOf(t.file("x")).keys(), (QStringList{"cyr/plain.txt", folder + QString::fromUtf8("файл.txt")}));
}

TEST(PeerComments, NewArchiveCommentReadsEmptyAndIsWritten)
{
    TempDir t;
    writeFile(t.file("a.txt"), "a");
    {
        TZipReader r;
        r.SetZipName(t.file("none.zip"));
        EXPECT_EQ(r.ZipComment(), QString());
    }
    TZipWriter w;
    w.SetZipName(t.file("new.zip"));
    EXPECT_EQ(w.ZipComment(), QString());
    w.SetZipComment(QString::fromUtf8("Первый архив"));
    EXPECT_EQ(w.ZipComment(), QString::fromUtf8("Первый архив"));
    EXPECT_FALSE(QFileInfo::exists(t.file("new.zip")));
    w.FilesList << t.file("a.txt");
    EXPECT_EQ(w.Zip(), 1);
    TZipReader r;
    r.SetZipName(t.file("new.zip"));
    EXPECT_EQ(r.ZipComment(), QString::fromUtf8("Первый архив"));
    EXPECT_EQ(r.Count(), 1);
}

TEST(PeerNames, ColonIsADriveOnlyBeforeASeparator)
{
    TempDir t;
    writeFile(t.file("src/Q: questions.rtf"), "questions");
    TZipWriter w;
    w.SetZipName(t.file("q.zip"));
    w.SetStorePaths(true);
    w.SetRelativePaths(true);
    w.SetRootDir(t.path());
    w.FilesList << t.file("src/Q: questions.rtf");
    ASSERT_EQ(w.Zip(), 1);
    EXPECT_EQ(w.SortedMembers()->Header(0)->FullName(), "src\\Q: questions.rtf");
    for (bool recreate : {true, false}) {
        QDir(t.file("x")).removeRecursively();
        const Extracted ex = unzipAll(t.file("q.zip"), t.file("x/"), QString(), recreate);
        EXPECT_EQ(ex.count, 1) << ex.skipped.join(",").toStdString();
        EXPECT_EQ(treeOf(t.file("x")).keys(), QStringList{recreate ? "src/Q: questions.rtf" : "Q: questions.rtf"});
    }
    writeFile(t.file("d.zip"), rawZip({{"C:\\x\\y.txt", "drive"}, {"D:", "bare drive"}, {"C:name.txt", "no drive"}, {"a/b:c.txt", "inner"}}));
    for (bool recreate : {true, false}) {
        QDir(t.file("y")).removeRecursively();
        const Extracted ex = unzipAll(t.file("d.zip"), t.file("y/"), QString(), recreate);
        EXPECT_EQ(ex.count, 3);
        EXPECT_EQ(ex.skipped, QStringList{"3:D:"});
        EXPECT_EQ(treeOf(t.file("y")),
                  recreate ? (QMap<QString, QByteArray>{{"C:name.txt", "no drive"}, {"a/b:c.txt", "inner"}, {"x/y.txt", "drive"}})
                           : (QMap<QString, QByteArray>{{"C:name.txt", "no drive"}, {"b:c.txt", "inner"}, {"y.txt", "drive"}}));
    }
}

TEST(PeerNames, BackslashInALinuxNameIsSkippedWithItsReason)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    writeFile(t.file("src/a\\b.txt"), "backslash");
    writeFile(t.file("src/b.txt"), "plain b");
    writeFile(t.file("src/c\\d/e.txt"), "in a folder with a backslash");
    writeFile(t.file("src/f.txt"), "f");
    TZipWriter w;
    w.SetZipName(t.file("s.zip"));
    w.SetStorePaths(true);
    w.SetRelativePaths(true);
    w.SetRootDir(t.file("src"));
    w.FilesList << ">" + t.file("src/*.*");
    QStringList skipped;
    w.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& name, int) {
        skipped << QStringLiteral("%1 %2").arg(int(why)).arg(QFileInfo(name).fileName());
    };
    EXPECT_EQ(w.Zip(), 2);
    skipped.sort();
    EXPECT_EQ(skipped, (QStringList{QStringLiteral("%1 a\\b.txt").arg(int(srBadName)), QStringLiteral("%1 e.txt").arg(int(srBadName))}));
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", "import sys, zipfile; print(sorted(zipfile.ZipFile(sys.argv[1]).namelist()))", t.file("s.zip")}, &out), 0);
    EXPECT_EQ(out.trimmed(), "['b.txt', 'f.txt']");
}

TEST(PeerMessages, UnsupportedEncryptionMethodAndWrongSizeAreNamed)
{
    MV_REQUIRE_TESTDATA();
    MV_REQUIRE_TOOL("python3");
    const QString base = testdataDir() + "zip/sharpcompress/";
    TempDir t;
    platform::ScopedScriptedDialogs dlg;
    {
        PasswordLog log;
        EXPECT_EQ(extractWith(base + "Zip.deflate.WinzipAES.zip", t.file("aes/"), "test", &log), 0);
        EXPECT_EQ(log.asked, 0);
        ASSERT_FALSE(log.skipped.isEmpty());
        for (const QString& s : log.skipped)
            EXPECT_TRUE(s.startsWith(QString::number(srUnsupportedEncryption) + " ")) << s.toStdString();
        ASSERT_FALSE(dlg->shown().isEmpty());
        EXPECT_EQ(dlg->shown().last().text, SUnsupportedEncryption);
        EXPECT_TRUE(treeOf(t.file("aes")).isEmpty());
    }
    // bzip2 under the right password and under a wrong one: the method is named, no password tried.
    for (const char* password : {"test", "wrong"}) {
        const qsizetype shown = dlg->shown().size();
        PasswordLog log;
        EXPECT_EQ(extractWith(base + "Zip.bzip2.pkware.zip", t.file("bz/"), password, &log), 0);
        EXPECT_EQ(log.asked, 0);
        ASSERT_FALSE(log.skipped.isEmpty());
        for (const QString& s : log.skipped)
            EXPECT_TRUE(s.startsWith(QString::number(srUnknownMethod) + " ")) << s.toStdString();
        ASSERT_GT(dlg->shown().size(), shown);
        EXPECT_EQ(dlg->shown().last().text, "Unknown Compression Method");
        EXPECT_TRUE(treeOf(t.file("bz")).isEmpty());
    }
    // A record that claims more bytes than the data hold (the CRC is right).
    const char* larger = R"(import sys, zipfile, struct
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('a.txt', 'some text ' * 100)
    z.writestr('b.txt', 'fine')
d = bytearray(open(sys.argv[1], 'rb').read())
for sig, at in ((b'PK\x03\x04', 22), (b'PK\x01\x02', 24)):
    i = d.find(sig)
    struct.pack_into('<I', d, i + at, struct.unpack_from('<I', d, i + at)[0] + 1)
open(sys.argv[1], 'wb').write(d)
)";
    QByteArray out;
    ASSERT_EQ(peer("python3", {"-c", larger, t.file("larger.zip")}, &out), 0) << out.constData();
    TZipReader r;
    r.SetZipName(t.file("larger.zip"));
    r.SetDestDir(t.file("l"));
    r.DoAll = true;
    QStringList events;
    r.OnSkippingFile = [&](TZipReader*, TSkipReason why, const QString& name, int) { events << QStringLiteral("skip %1 %2").arg(int(why)).arg(name); };
    r.OnBadCRC = [&](TZipReader*, uint32_t, uint32_t, int i) { events << QStringLiteral("crc %1").arg(i); };
    EXPECT_EQ(r.UnZip(), 1);
    EXPECT_EQ(events, QStringList{QStringLiteral("skip %1 a.txt").arg(int(srWrongSize))});
    EXPECT_EQ(treeOf(t.file("l")).keys(), QStringList{"b.txt"});
}

// The rebuild scan over archives whose members keep their sizes in data descriptors (written
// to a pipe, so the writer could not go back to the local header), with the central
// directory cut off: every member must be found and extract as it was stored.
#include "ComponentSupport.h"

#include <QFile>

using namespace ziptest;
using namespace archive;

namespace {

// Cuts the archive at its central directory (offset from the end record, which has no comment).
QByteArray withoutDirectory(const QByteArray& zip)
{
    const qsizetype eocd = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (eocd < 0 || eocd + 20 > zip.size())
        return {};
    const auto* p = reinterpret_cast<const uint8_t*>(zip.constData() + eocd + 16);
    const uint32_t cd = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return zip.left(cd);
}

struct Rebuilt {
    QStringList names;
    int extracted = 0;
    QStringList skipped;
    QMap<QString, QByteArray> files;
};

Rebuilt rebuildAndExtract(const TempDir& t, const QByteArray& archive)
{
    writeFile(t.file("cut.zip"), archive);
    Rebuilt out;
    TZipReader r;
    r.IncompleteZipMode = izAssumeBad;
    r.RecreateDirs = true;
    r.DoAll = true;
    r.OverwriteMode = Always;
    r.SetZipName(t.file("cut.zip"));
    r.OnSkippingFile = [&](TZipReader*, TSkipReason, const QString& name, int) { out.skipped << name; };
    r.OpenZip();
    EXPECT_TRUE(r.DirectoryRebuilt());
    for (int i = 0; i < r.Count(); ++i)
        out.names << r.Filename(i);
    r.CloseZip();
    QDir().mkpath(t.file("out"));
    r.SetDestDir(t.file("out"));
    out.extracted = r.UnZip();
    out.files = treeOf(t.file("out"));
    return out;
}

// Writes files from `src` with python's zipfile into a stream that cannot seek, so every
// member gets a data descriptor. Each argument is "name:method" (0 stored, 8 deflated).
const char* PyZipfileStream = R"PY(
import io, sys, zipfile
class Pipe(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
    def seekable(self): return False
out, src = sys.argv[1], sys.argv[2]
with open(out, 'wb') as f:
    with zipfile.ZipFile(Pipe(f), 'w') as z:
        for item in sys.argv[3:]:
            name, method = item.rsplit(':', 1)
            info = zipfile.ZipInfo(name, (2011, 5, 17, 10, 20, 30))
            info.compress_type = int(method)
            with open(src + '/' + name, 'rb') as data, z.open(info, 'w') as member:
                member.write(data.read())
)PY";

// Info-ZIP writing to a pipe; the last member is read from stdin (named "-"), and as its
// size is not known beforehand its descriptor has 64-bit sizes.
const char* PyZipToPipe = R"PY(
import subprocess, sys
out, src, level, stdin_file = sys.argv[1:5]
with open(stdin_file, 'rb') as f:
    data = f.read()
r = subprocess.run(['zip', '-q', level, '-'] + sys.argv[5:] + ['-'], cwd=src, input=data,
                   stdout=subprocess.PIPE, check=True)
open(out, 'wb').write(r.stdout)
)PY";

// Hand-made members: "name:method:signed" with method 0 or 8 and signed 1 or 0 (a
// descriptor without its signature).
const char* PyHandMade = R"PY(
import struct, sys, zlib
out, src = sys.argv[1], sys.argv[2]
blob = b''
for item in sys.argv[3:]:
    name, method, signed = item.rsplit(':', 2)
    method, signed = int(method), signed == '1'
    data = open(src + '/' + name, 'rb').read()
    if method == 8:
        c = zlib.compressobj(6, zlib.DEFLATED, -15)
        packed = c.compress(data) + c.flush()
    else:
        packed = data
    n = name.encode()
    blob += struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 8, method, 0x5220, 0x3ab1, 0, 0, 0, len(n), 0) + n
    blob += packed
    crc = zlib.crc32(data) & 0xffffffff
    blob += (struct.pack('<I', 0x08074b50) if signed else b'') + struct.pack('<III', crc, len(packed), len(data))
open(out, 'wb').write(blob)
)PY";

// Same names and byte-equal contents, reported by name rather than as a dump.
void expectSameFiles(const QMap<QString, QByteArray>& got, const QMap<QString, QByteArray>& want)
{
    EXPECT_EQ(got.keys(), want.keys());
    for (auto it = want.begin(); it != want.end(); ++it)
        EXPECT_TRUE(got.value(it.key()) == it.value())
            << it.key().toStdString() << ": " << got.value(it.key()).size() << " bytes, expected " << it.value().size();
}

QMap<QString, QByteArray> writeSources(const TempDir& t, const QMap<QString, QByteArray>& files)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString path = t.file("src/" + it.key());
        QDir().mkpath(QFileInfo(path).path());
        writeFile(path, it.value());
    }
    return files;
}

// The file names as listed (without their folders).
QStringList listed(const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out << p.section('/', -1);
    return out;
}

} // namespace

TEST(RebuildScan, PythonStreamedMembersAreAllFoundAndExtract)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    // A stored member that holds a whole archive of its own: its inner headers and
    // descriptors must not be taken for members of the outer one.
    const QByteArray inner = rawZip({{"inner.txt", textBytes(500, 7)}});
    const auto files = writeSources(t, {{"a.txt", textBytes(3000, 1)},
                                        {"big.bin", randomBytes(300000, 5)},
                                        {"empty.txt", QByteArray()},
                                        {"dir/nested.zip", inner},
                                        {"dir/text.txt", textBytes(90000, 3)},
                                        {"last.bin", randomBytes(777, 6)}});
    const QStringList order = {"a.txt", "big.bin", "empty.txt", "dir/nested.zip", "dir/text.txt", "last.bin"};
    const QStringList methods = {"8", "8", "0", "0", "8", "0"};
    QStringList args = {"-c", PyZipfileStream, t.file("s.zip"), t.file("src")};
    for (int i = 0; i < order.size(); ++i)
        args << order[i] + ":" + methods[i];
    QByteArray err;
    ASSERT_EQ(peer("python3", args, &err), 0) << err.toStdString();
    const QByteArray cut = withoutDirectory(readFile(t.file("s.zip")));
    ASSERT_FALSE(cut.isEmpty());

    const Rebuilt r = rebuildAndExtract(t, cut);
    EXPECT_EQ(r.names, listed(order));
    EXPECT_EQ(r.extracted, order.size());
    EXPECT_TRUE(r.skipped.isEmpty()) << r.skipped.join(',').toStdString();
    expectSameFiles(r.files, files);
}

TEST(RebuildScan, InfoZipWritingToAPipeIncludingStdin)
{
    MV_REQUIRE_TOOL("python3");
    MV_REQUIRE_TOOL("zip");
    for (const QString level : {"-6", "-1"}) {
        SCOPED_TRACE(level.toStdString());
        TempDir t;
        const auto files = writeSources(t, {{"one.txt", textBytes(20000, 11)},
                                            {"two.bin", randomBytes(70000, 12)},
                                            {"sub/three.txt", textBytes(10, 13)}});
        writeFile(t.file("stdin.dat"), textBytes(5000, 14));
        QByteArray err;
        ASSERT_EQ(peer("python3", {"-c", PyZipToPipe, t.file("p.zip"), t.file("src"), level, t.file("stdin.dat"),
                                   "one.txt", "two.bin", "sub/three.txt"},
                       &err),
                  0)
            << err.toStdString();
        const QByteArray cut = withoutDirectory(readFile(t.file("p.zip")));
        ASSERT_FALSE(cut.isEmpty());
        const Rebuilt r = rebuildAndExtract(t, cut);
        EXPECT_EQ(r.names, QStringList({"one.txt", "two.bin", "three.txt", "-"}));
        EXPECT_EQ(r.extracted, 4);
        auto expected = files;
        expected.insert("-", textBytes(5000, 14));
        expectSameFiles(r.files, expected);
    }
}

TEST(RebuildScan, DescriptorsWithAndWithoutSignature)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    const auto files = writeSources(t, {{"s1.txt", textBytes(4000, 21)},
                                        {"d1.txt", textBytes(6000, 22)},
                                        {"s0.bin", randomBytes(2000, 23)},
                                        {"d0.bin", randomBytes(50000, 24)},
                                        {"z.txt", QByteArray()}});
    QByteArray err;
    ASSERT_EQ(peer("python3", {"-c", PyHandMade, t.file("h.zip"), t.file("src"), "s1.txt:0:1", "d1.txt:8:1",
                               "s0.bin:0:0", "d0.bin:8:0", "z.txt:0:0"},
                   &err),
              0)
        << err.toStdString();
    const Rebuilt r = rebuildAndExtract(t, readFile(t.file("h.zip")));
    EXPECT_EQ(r.names, QStringList({"s1.txt", "d1.txt", "s0.bin", "d0.bin", "z.txt"}));
    EXPECT_EQ(r.extracted, 5);
    expectSameFiles(r.files, files);
}

TEST(RebuildScan, MemberWithoutAMatchingDescriptorIsSkippedAndTheScanGoesOn)
{
    MV_REQUIRE_TOOL("python3");
    for (const QString method : {"0", "8"}) {
        SCOPED_TRACE(method.toStdString());
        TempDir t;
        writeSources(t, {{"first.txt", textBytes(3000, 31)},
                         {"broken.txt", textBytes(4000, 32)},
                         {"after.txt", textBytes(5000, 33)},
                         {"end.bin", randomBytes(900, 34)}});
        QByteArray err;
        ASSERT_EQ(peer("python3", {"-c", PyHandMade, t.file("h.zip"), t.file("src"), "first.txt:" + method + ":1",
                                   "broken.txt:" + method + ":1", "after.txt:" + method + ":0", "end.bin:0:1"},
                       &err),
                  0)
            << err.toStdString();
        QByteArray zip = readFile(t.file("h.zip"));
        // Damage the second member's descriptor: its CRC no longer agrees with the data.
        const qsizetype second = zip.indexOf(QByteArray("PK\x03\x04", 4), 4);
        const qsizetype desc = zip.indexOf(QByteArray("PK\x07\x08", 4), second);
        ASSERT_GT(desc, second);
        zip[desc + 4] = char(zip[desc + 4] ^ 0x5A);

        const Rebuilt r = rebuildAndExtract(t, zip);
        EXPECT_EQ(r.names, QStringList({"first.txt", "broken.txt", "after.txt", "end.bin"}));
        EXPECT_EQ(r.extracted, 3);
        EXPECT_EQ(r.skipped, QStringList({"broken.txt"}));
        expectSameFiles(r.files, (QMap<QString, QByteArray>{{"first.txt", textBytes(3000, 31)},
                                                       {"after.txt", textBytes(5000, 33)},
                                                       {"end.bin", randomBytes(900, 34)}}));
    }
}

TEST(RebuildScan, TruncatedInsideADescriptorMemberKeepsTheMembersBefore)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    writeSources(t, {{"a.txt", textBytes(3000, 41)}, {"b.txt", textBytes(8000, 42)}});
    QByteArray err;
    ASSERT_EQ(peer("python3", {"-c", PyZipfileStream, t.file("s.zip"), t.file("src"), "a.txt:8", "b.txt:0"}, &err), 0)
        << err.toStdString();
    const QByteArray whole = withoutDirectory(readFile(t.file("s.zip")));
    // Cut in the middle of the second member's data: its end is nowhere, no file for it.
    const Rebuilt r = rebuildAndExtract(t, whole.left(whole.size() - 3000));
    EXPECT_EQ(r.names, QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(r.extracted, 1);
    expectSameFiles(r.files, (QMap<QString, QByteArray>{{"a.txt", textBytes(3000, 41)}}));
}

// The zip driver's printed lines: the reason a file was left out, and member and file names
// whatever characters they hold, each on its one line.
#include "ComponentSupport.h"

#include <QFile>

using namespace ziptest;

TEST(ZipDriver, PrintsTheReasonAndTheNameEscaped)
{
    MV_REQUIRE_TOOL("python3");
    TempDir t;
    writeFile(t.file("a.txt"), "hello");
    writeFile(t.file("tab\tname.txt"), "tab");
    writeFile(t.file("back\\slash.txt"), "back");
    QStringList expected;
    QStringList files{t.file("a.txt"), t.file("tab\tname.txt"), t.file("back\\slash.txt")};
    // One byte short of 4 GiB, as a hole in a sparse file: left out for its size.
    writeFile(t.file("big.bin"), "");
    if (QFile::resize(t.file("big.bin"), qint64(0xFFFFFFFF))) {
        files.prepend(t.file("big.bin"));
        expected << t.file("big.bin") + "\tskipped: too large: this archive format holds files below 4 GiB only";
    }
    expected << t.file("back\\\\slash.txt") + "\tskipped: a name holding \"\\\" cannot be stored"
             << "a.txt\tmethod 0\t5 -> 5\tcrc 3610a686"
             << "tab\\x09name.txt\tmethod 0\t3 -> 3\tcrc 73e3430c";
    QByteArray out;
    peer(MV_ZIP_DRIVER, QStringList{"zip", t.file("out.zip"), "6"} + files, &out);
    EXPECT_EQ(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts), expected);

    // A member name holding a NUL byte (made by hand: no tool writes one).
    const char* script = R"(import sys, struct, zlib
out, cd = b'', b''
for name, data in ((b'bad\x00name.txt', b'nul'), (b'good.txt', b'good')):
    crc = zlib.crc32(data)
    cd += struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 0x031e, 10, 0, 0, 0x5A8E6000, crc, len(data), len(data), len(name), 0, 0, 0, 0, 0x81a40000, len(out)) + name
    out += struct.pack('<IHHHIIIIHH', 0x04034b50, 10, 0, 0, 0x5A8E6000, crc, len(data), len(data), len(name), 0) + name + data
open(sys.argv[1], 'wb').write(out + cd + struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 2, 2, len(cd), len(out), 0))
)";
    ASSERT_EQ(peer("python3", {"-c", script, t.file("nul.zip")}, &out), 0) << out.constData();
    peer(MV_ZIP_DRIVER, {"unzip", t.file("nul.zip"), t.file("x")}, &out);
    EXPECT_EQ(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts),
              (QStringList{"bad\\x00name.txt\tmethod 0\t3 -> 3\tok", "good.txt\tmethod 0\t4 -> 4\tok"}));
}

// The buffered stream: what reaches the wrapped stream, positions, put-back.
#include "FoundationHelpers.h"
#include "support/TestSupport.h"

#include "archive/BufferStream.h"
#include "archive/ZipExceptions.h"
#include "archive/ZipUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace archive;
using namespace zipbase_test;

namespace {
QByteArray pattern(int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(i * 7 + i / 251);
    return b;
}
} // namespace

TEST(BufferStream, ByteReadsReachTheFileInBlocks)
{
    const QByteArray data = pattern(10000);
    CountingStream inner(data);
    TS_BufferStream s(&inner);
    QByteArray got;
    char c;
    while (s.Read(&c, 1) == 1)
        got += c;
    EXPECT_EQ(got, data);
    ASSERT_GE(inner.reads.size(), 2u);
    EXPECT_EQ(inner.reads[0], 8192);
    EXPECT_EQ(inner.reads[1], 1808);
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(s.ReadByte(), -1);
}

TEST(BufferStream, LargeReadsAndReadByteAgree)
{
    const QByteArray data = pattern(30000);
    TMemoryStream inner(data);
    TS_BufferStream s(&inner);
    EXPECT_EQ(s.ReadByte(), uchar(data[0]));
    QByteArray big(20000, '\0');
    EXPECT_EQ(s.Read(big.data(), big.size()), 20000);
    EXPECT_EQ(big, data.mid(1, 20000));
    EXPECT_EQ(s.Position(), 20001);
    QByteArray rest(20000, '\0');
    EXPECT_EQ(s.Read(rest.data(), rest.size()), 9999);
    EXPECT_EQ(rest.left(9999), data.mid(20001));
    EXPECT_EQ(s.Read(rest.data(), 0), 0);
}

TEST(BufferStream, SeekFromEndIgnoresTheSignAndOtherOriginsAreRefused)
{
    TMemoryStream inner(pattern(1000));
    TS_BufferStream s(&inner);
    EXPECT_EQ(s.Seek(-22, soFromEnd), 978);
    EXPECT_EQ(s.Seek(22, soFromEnd), 978);
    EXPECT_EQ(s.ReadByte(), uchar(pattern(1000)[978]));
    EXPECT_EQ(s.Seek(-5, soFromCurrent), 974);
    EXPECT_EQ(s.Size(), 1000);
    try {
        s.Seek(0, 7);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Invalid seek origin (7)"));
    }
}

TEST(BufferStream, PutBack)
{
    TMemoryStream inner(QByteArray("hello"));
    TS_BufferStream s(&inner);
    s.Seek(2, soFromBeginning);
    try {
        s.PutBack('x');
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Putback overflow"));
    }
    EXPECT_EQ(s.ReadByte(), 'l');
    s.PutBack('Z');
    EXPECT_EQ(s.ReadByte(), 'Z');
    EXPECT_EQ(s.ReadByte(), 'l');
    EXPECT_EQ(inner.Data(), QByteArray("hello")); // only the buffer changed
}

TEST(BufferStream, WritesAreCollectedAndSeeksFlushThem)
{
    CountingStream inner;
    {
        TS_BufferStream s(&inner);
        s.WriteBuffer("abc", 3);
        EXPECT_TRUE(inner.writes.empty());
        EXPECT_EQ(s.Position(), 3);
        s.Seek(-3, soFromCurrent);
        EXPECT_EQ(inner.Data(), QByteArray("abc"));
        char b[3];
        ASSERT_EQ(s.Read(b, 3), 3);
        EXPECT_EQ(QByteArray(b, 3), QByteArray("abc"));

        // Many small writes reach the stream as whole buffers.
        inner.writes.clear();
        const QByteArray data = pattern(20000);
        for (int i = 0; i < data.size(); i += 10)
            s.WriteBuffer(data.constData() + i, 10);
        EXPECT_EQ(inner.writes, (std::vector<int64_t>{8192, 8192}));
    } // the destructor flushes the rest
    EXPECT_EQ(inner.Data().size(), 20003);
    EXPECT_EQ(inner.Data().mid(3), pattern(20000));
}

TEST(BufferStream, SwitchingBetweenReadingAndWritingKeepsPositions)
{
    TMemoryStream inner(pattern(20000));
    QByteArray expected = pattern(20000);
    {
        TS_BufferStream s(&inner);
        char b[10];
        s.ReadBuffer(b, 10); // the buffer now holds 8192 bytes read ahead
        s.WriteBuffer("WXYZ", 4); // lands at 10, not at 8192
        expected.replace(10, 4, "WXYZ");
        s.ReadBuffer(b, 2);
        EXPECT_EQ(QByteArray(b, 2), expected.mid(14, 2));
        EXPECT_EQ(s.Position(), 16);
        s.Seek(9000, soFromBeginning);
        s.WriteBuffer("end", 3);
        expected.replace(9000, 3, "end");
        EXPECT_EQ(s.Seek(0, soFromEnd), 20000);
        s.WriteBuffer("++", 2);
        expected += "++";
        // A seek from the end while bytes are pending counts them.
        EXPECT_EQ(s.Seek(0, soFromEnd), 20002);
    }
    EXPECT_EQ(inner.Data(), expected);
}

TEST(BufferStream, NotificationsFollowFillsAndFlushes)
{
    TMemoryStream inner(pattern(9000));
    TS_BufferStream s(&inner);
    int fills = 0, flushes = 0;
    s.OnFillBuffer = [&](TS_BufferStream*) { ++fills; };
    s.OnFlushBuffer = [&](TS_BufferStream*) { ++flushes; };
    QByteArray all(9000, '\0');
    s.ReadBuffer(all.data(), all.size());
    EXPECT_EQ(fills, 2);
    s.WriteBuffer("x", 1);
    s.Seek(0, soFromBeginning);
    EXPECT_EQ(flushes, 1);
}

TEST(BufferStream, FileStreamsAndTheArchiveFileStream)
{
    testsupport::TempDir dir;
    const QString name = dir.file("f.bin");
    {
        TLFNFileStream w(name, fmCreate);
        w.WriteBuffer("0123456789", 10);
        EXPECT_GE(w.Handle(), 0);
    }
    EXPECT_EQ(testsupport::readFile(name), QByteArray("0123456789"));
    {
        TLFNFileStream rw(name, fmOpenReadWrite);
        rw.Seek(4, soFromBeginning);
        rw.WriteBuffer("ab", 2);
        rw.SetSize(8);
        EXPECT_EQ(rw.Size(), 8);
    }
    EXPECT_EQ(testsupport::readFile(name), QByteArray("0123ab67"));
    try {
        TLFNFileStream missing(dir.file("nope.zip"), fmOpenRead | fmShareDenyWrite);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Cannot open file ") + dir.file("nope.zip"));
    }
    EXPECT_THROW(TFileStream(dir.file("no/such/folder/x"), fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EFOpenError);

    TMemoryStream m(QByteArray("abc"));
    char b[4];
    EXPECT_THROW(m.ReadBuffer(b, 4), EReadError);
}

TEST(BufferStream, RandomMixOfOperationsMatchesAnUnbufferedStream)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        const QByteArray initial = pattern(int(rng() % 30000));
        TMemoryStream inner(initial), reference(initial);
        {
            TS_BufferStream s(&inner);
            for (int op = 0; op < 300; ++op) {
                const int64_t size = reference.Size();
                switch (rng() % 5) {
                case 0: { // read
                    const int64_t n = rng() % 12000;
                    QByteArray a(int(n), '\0'), b(int(n), '\0');
                    const int64_t ra = s.Read(a.data(), n), rb = reference.Read(b.data(), n);
                    ASSERT_EQ(ra, rb) << round << "/" << op;
                    ASSERT_EQ(a.left(int(ra)), b.left(int(rb)));
                    break;
                }
                case 1: { // write
                    QByteArray w = pattern(int(rng() % 12000));
                    w.fill(char(rng()), qMin<qsizetype>(w.size(), 5));
                    ASSERT_EQ(s.Write(w.constData(), w.size()), reference.Write(w.constData(), w.size()));
                    break;
                }
                case 2: { // seek from the start
                    const int64_t to = size ? int64_t(rng() % uint64_t(size + 1)) : 0;
                    ASSERT_EQ(s.Seek(to, soFromBeginning), reference.Seek(to, soFromBeginning));
                    break;
                }
                case 3: { // seek from the end, either sign
                    const int64_t back = size ? int64_t(rng() % uint64_t(size + 1)) : 0;
                    const int64_t got = s.Seek(rng() % 2 ? -back : back, soFromEnd);
                    ASSERT_EQ(got, reference.Seek(size - back, soFromBeginning));
                    break;
                }
                default: { // small relative seek
                    const int64_t pos = reference.Position();
                    const int64_t delta = int64_t(rng() % 200) - 100;
                    const int64_t to = std::clamp<int64_t>(pos + delta, 0, size);
                    ASSERT_EQ(s.Seek(to - pos, soFromCurrent), reference.Seek(to, soFromBeginning));
                    break;
                }
                }
                ASSERT_EQ(s.Position(), reference.Position());
            }
        }
        ASSERT_EQ(inner.Data(), reference.Data()) << round;
    }
}

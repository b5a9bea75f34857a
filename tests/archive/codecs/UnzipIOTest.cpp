// The shared extraction input and output: chunked reading, bit reading, the output blocks
// with their size guard and CRC, and how inflate behaves on top of them.
#include "CodecTestData.h"

#include "archive/Inflate.h"
#include "archive/UnzipIO.h"
#include "archive/ZipExceptions.h"

#include <gtest/gtest.h>

using namespace archive;
using namespace codectest;

namespace {

// The archive side: hands out a member's bytes chunk by chunk, and can fail on a given chunk.
class ChunkSource : public TUnzipSource {
public:
    explicit ChunkSource(const Bytes& data) : data_(data) {}
    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        ++chunks;
        largest = std::max(largest, count);
        if (failOnChunk == chunks) {
            if (cancel)
                throw EUserCanceled(QStringLiteral("User Aborted Operation"));
            throw EFatalUnzipError(QStringLiteral("Premature end of file reached"));
        }
        if (maxPiece) // uneven short pieces, to move the refill points around
            count = std::min<size_t>(count, 1 + (pos_ * 7919 + size_t(chunks)) % maxPiece);
        size_t n = std::min(count, data_.size() - pos_);
        std::copy_n(data_.data() + pos_, n, buffer);
        pos_ += n;
        return n;
    }
    int chunks = 0;
    size_t largest = 0;
    int failOnChunk = 0;
    bool cancel = false;
    size_t maxPiece = 0;

private:
    const Bytes& data_;
    size_t pos_ = 0;
};

class RecordingSink : public TUnzipSink {
public:
    void WriteOutput(const uint8_t* data, size_t count) override
    {
        out.insert(out.end(), data, data + count);
        largestBlock = std::max(largestBlock, count);
    }
    void OutputProgress(uint64_t bytesWritten, size_t count) override
    {
        progress.push_back(bytesWritten);
        EXPECT_LE(count, TUnzipIO::OutputBlockSize);
    }
    Bytes out;
    size_t largestBlock = 0;
    std::vector<uint64_t> progress;
};

} // namespace

TEST(UnzipIO, InflateWritesBlocksWithCrcAndProgress)
{
    Bytes in = mixedBinary(400000, 31);
    Bytes z = zlibDeflate(in, 6);
    TUnzipIO io;
    ChunkSource src(z);
    RecordingSink sink;
    io.StartMember(&src, &sink, z.size(), in.size());
    ASSERT_EQ(Inflate(io), TInflateResult::Ok);
    EXPECT_TRUE(sink.out == in);
    EXPECT_EQ(io.Crc.Crc(), zlibCrc(in));
    EXPECT_EQ(io.BytesWritten, in.size());
    EXPECT_LE(sink.largestBlock, TUnzipIO::OutputBlockSize);
    EXPECT_LE(src.largest, TUnzipIO::InputChunkSize);
    ASSERT_FALSE(sink.progress.empty());
    EXPECT_EQ(sink.progress.back(), in.size());
    EXPECT_TRUE(std::is_sorted(sink.progress.begin(), sink.progress.end()));
}

TEST(UnzipIO, SizeGuardAllowsAnExactFitOnly)
{
    Bytes in = sampleText(40000);
    Bytes z = zlibDeflate(in, 9);
    TUnzipIO io;
    {
        ChunkSource src(z);
        RecordingSink sink;
        io.StartMember(&src, &sink, z.size(), in.size());
        EXPECT_EQ(Inflate(io), TInflateResult::Ok);
        EXPECT_EQ(io.Crc.Crc(), zlibCrc(in));
    }
    {
        ChunkSource src(z);
        RecordingSink sink;
        io.StartMember(&src, &sink, z.size(), in.size() - 1);
        EXPECT_EQ(Inflate(io), TInflateResult::DataError);
        EXPECT_LT(sink.out.size(), in.size());
        EXPECT_NE(io.Crc.Crc(), zlibCrc(in)); // the CRC check then rejects the member
    }
    {
        // Direct writes: the block that would pass the size is refused whole.
        RecordingSink sink;
        io.StartMember(nullptr, &sink, 0, 10);
        uint8_t data[11] = {};
        EXPECT_THROW(io.WriteOutput(data, 11), EBiggerThanUncompressed);
        EXPECT_TRUE(sink.out.empty());
        io.WriteOutput(data, 10);
        EXPECT_EQ(sink.out.size(), 10u);
    }
}

TEST(UnzipIO, CancelPassesThroughOtherInputErrorsFailTheMember)
{
    Bytes in = randomBytes(200000, 41);
    Bytes z = zlibDeflate(in, 1);
    TUnzipIO io;
    {
        ChunkSource src(z);
        src.failOnChunk = 3;
        src.cancel = true;
        RecordingSink sink;
        io.StartMember(&src, &sink, z.size(), in.size());
        EXPECT_THROW(Inflate(io), EUserCanceled);
    }
    {
        ChunkSource src(z);
        src.failOnChunk = 3;
        RecordingSink sink;
        io.StartMember(&src, &sink, z.size(), in.size());
        EXPECT_EQ(Inflate(io), TInflateResult::DataError);
    }
    {
        // The same state serves the next member normally.
        ChunkSource src(z);
        RecordingSink sink;
        io.StartMember(&src, &sink, z.size(), in.size());
        EXPECT_EQ(Inflate(io), TInflateResult::Ok);
        EXPECT_TRUE(sink.out == in);
    }
}

TEST(UnzipIO, EndOfInputIsFoundWithinAFewBytes)
{
    Bytes in = sampleText(100000);
    Bytes z = zlibDeflate(in, 6);
    for (size_t cut : {z.size() / 2, z.size() - 2}) {
        Bytes t(z.begin(), z.begin() + long(cut));
        TUnzipIO io;
        ChunkSource src(t);
        RecordingSink sink;
        io.StartMember(&src, &sink, t.size(), in.size());
        EXPECT_EQ(Inflate(io), TInflateResult::DataError);
        EXPECT_GE(io.BytesLeft, -16);
    }
}

TEST(UnzipIO, NoDistanceReachesIntoThePreviousMember)
{
    TUnzipIO io;
    Bytes first = sampleText(5000);
    Bytes z = zlibDeflate(first, 6);
    ChunkSource s1(z);
    RecordingSink k1;
    io.StartMember(&s1, &k1, z.size(), first.size());
    ASSERT_EQ(Inflate(io), TInflateResult::Ok);
    // Fixed block: one literal, then a 3-byte copy from distance 4 (only 1 byte of this member).
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    w.code(0x30 + 'x', 8);
    w.code(1, 7);
    w.code(3, 5);
    w.code(0, 7);
    ChunkSource s2(w.out);
    RecordingSink k2;
    io.StartMember(&s2, &k2, w.out.size(), 100);
    EXPECT_EQ(Inflate(io), TInflateResult::DataError);
}

TEST(UnzipIO, ByteAndBitReadingForTheOtherDecoders)
{
    Bytes data = {0xB4, 0x5A, 0xFF};
    ChunkSource src(data);
    TUnzipIO io;
    RecordingSink sink;
    io.StartMember(&src, &sink, data.size(), 100);
    EXPECT_EQ(io.ReadBits(3), 0x4u);   // 0xB4 = 1011 0100: low three bits 100
    EXPECT_EQ(io.ReadBits(5), 0x16u);  // the remaining 10110
    EXPECT_EQ(io.ReadBits(12), 0xF5Au);
    EXPECT_EQ(io.ReadBits(4), 0xFu);
    EXPECT_EQ(io.ReadBits(8), 0u); // past the end: zeros
    EXPECT_EQ(io.EndOfData, -1);
    uint8_t b = 0x77;
    EXPECT_EQ(io.ReadByte(b), 0);
    EXPECT_EQ(b, 0x77);
    EXPECT_LT(io.BytesLeft, 0);

    ChunkSource src2(data);
    io.StartMember(&src2, &sink, data.size(), 100);
    uint32_t bb = 0;
    unsigned bc = 0;
    io.NeedBits(12, bb, bc);
    EXPECT_EQ(bc, 16u);
    EXPECT_EQ(bb, 0x5AB4u);
    TUnzipIO::DumpBits(4, bb, bc);
    EXPECT_EQ(bb, 0x5ABu);
    EXPECT_EQ(bc, 12u);

    // PutByte collects into blocks of OutputBlockSize; FlushOutput writes the rest.
    RecordingSink out;
    io.StartMember(nullptr, &out, 0, 40000);
    for (int i = 0; i < 40000; ++i)
        io.PutByte(uint8_t(i));
    EXPECT_EQ(out.out.size(), 2 * TUnzipIO::OutputBlockSize);
    io.FlushOutput();
    EXPECT_EQ(out.out.size(), 40000u);
    EXPECT_EQ(io.Crc.Crc(), zlibCrc(out.out));
}

TEST(UnzipIO, UnStoreCopiesTheMember)
{
    Bytes data = randomBytes(70000, 51);
    ChunkSource src(data);
    RecordingSink sink;
    TUnzipIO io;
    io.StartMember(&src, &sink, data.size(), data.size());
    UnStore(io);
    EXPECT_TRUE(sink.out == data);
    EXPECT_EQ(io.Crc.Crc(), zlibCrc(data));
    EXPECT_EQ(io.BytesLeft, 0);
    // An empty member writes nothing; its CRC is 0.
    io.StartMember(&src, &sink, 0, 0);
    UnStore(io);
    EXPECT_EQ(io.Crc.Crc(), 0u);
}

TEST(UnzipIO, InflateIsIndependentOfHowTheInputArrives)
{
    // Refills at every possible point of the bit stream: in the middle of a code, of a
    // stored block, of a block header.
    Bytes inputs[] = {sampleText(300000, 61), mixedBinary(300000, 62), randomBytes(80000, 63)};
    for (const Bytes& in : inputs) {
        for (int level : {0, 1, 6, 9}) {
            Bytes z = zlibDeflate(in, level);
            for (size_t piece : {size_t(1), size_t(7), size_t(40), size_t(3000)}) {
                TUnzipIO io;
                ChunkSource src(z);
                src.maxPiece = piece;
                RecordingSink sink;
                io.StartMember(&src, &sink, z.size(), in.size());
                ASSERT_EQ(Inflate(io), TInflateResult::Ok) << "level " << level << " piece " << piece;
                ASSERT_TRUE(sink.out == in) << "level " << level << " piece " << piece;
            }
        }
    }
}

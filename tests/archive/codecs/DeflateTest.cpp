// The deflate encoder: round trips through our inflate, zlib and python3's zlib, the member
// header bits it reports, the stored fallbacks, and its use through the writer's routines.
#include "CodecTestData.h"

#include "archive/Deflate.h"
#include "archive/Inflate.h"
#include "archive/ZipExceptions.h"
#include "support/TestSupport.h"

#include <QDir>

#include <map>

using namespace archive;
using namespace codectest;
using testsupport::TempDir;

namespace {

std::map<std::string, Bytes> roundTripInputs()
{
    std::map<std::string, Bytes> m;
    m["empty"] = {};
    m["one byte"] = {'x'};
    m["100 random"] = randomBytes(100, 1);
    m["1 MiB random"] = randomBytes(1 << 20, 2);
    m["text"] = sampleText(200000);
    m["repeated byte"] = Bytes(150000, 'z');
    m["300 KB mixed"] = mixedBinary(300000);
    m["70 KB"] = mixedBinary(70000, 5);
    return m;
}

// Source and sink in memory, reading in small uneven pieces like a file stream may.
class PieceIO : public TDeflateIO {
public:
    PieceIO(const Bytes& in, size_t piece) : in_(in), piece_(piece) {}
    size_t ReadSource(uint8_t* buffer, size_t count) override
    {
        size_t n = std::min({count, piece_, in_.size() - pos_});
        std::copy_n(in_.data() + pos_, n, buffer);
        pos_ += n;
        reads++;
        return n;
    }
    void WriteData(const uint8_t* data, size_t count) override
    {
        if (cancelAfter && out.size() + count > cancelAfter)
            throw EUserCanceled(QStringLiteral("User Aborted Operation"));
        out.insert(out.end(), data, data + count);
    }
    Bytes out;
    size_t cancelAfter = 0;
    int reads = 0;

private:
    const Bytes& in_;
    size_t piece_;
    size_t pos_ = 0;
};

std::string fileKey(const std::string& name, int level)
{
    std::string k;
    for (char c : name)
        k += (std::isalnum(uint8_t(c)) ? c : '_');
    return k + "_" + std::to_string(level);
}

} // namespace

TEST(Deflate, RoundTripsAtEveryLevelThroughThreeDecoders)
{
    auto inputs = roundTripInputs();
    TempDir dir;
    std::map<std::string, const Bytes*> expected;
    TDeflater deflater; // one encoder for every file, as the member writer uses it
    for (const auto& [name, data] : inputs) {
        for (int level = 1; level <= 9; ++level) {
            SCOPED_TRACE(name + " level " + std::to_string(level));
            PieceIO io(data, 40000);
            TDeflateResult r = deflater.Deflate(io, level, false);
            ASSERT_EQ(r.Method, 8);
            ASSERT_EQ(r.CompressedSize, io.out.size());
            Bytes ours;
            ASSERT_EQ(InflateBuffer(io.out.data(), io.out.size(), ours), TInflateResult::Ok);
            ASSERT_TRUE(ours == data);
            Bytes theirs;
            ASSERT_TRUE(zlibInflate(io.out, theirs));
            ASSERT_TRUE(theirs == data);
            // The same file again: nothing of the previous file may leak into the next one.
            EXPECT_TRUE(DeflateBuffer(data.data(), data.size(), level) == io.out);
            std::string key = fileKey(name, level);
            testsupport::writeFile(dir.file(QString::fromStdString(key + ".raw")),
                                   QByteArray(reinterpret_cast<const char*>(io.out.data()), qsizetype(io.out.size())));
            expected[key] = &data;
        }
        // Stored members: with the fallback allowed, a small incompressible file goes out raw.
        PieceIO io(data, 1 << 20);
        TDeflateResult r = deflater.Deflate(io, 6, true);
        if (r.Method == 0) {
            EXPECT_TRUE(io.out == data) << name;
        }
    }
    if (!testsupport::haveTool("python3"))
        GTEST_SKIP() << "python3 missing: the python zlib check is skipped";
    const char* script =
        "import sys,zlib,glob,os\n"
        "for f in glob.glob(os.path.join(sys.argv[1],'*.raw')):\n"
        "    open(f[:-4]+'.out','wb').write(zlib.decompress(open(f,'rb').read(),-15))\n";
    QByteArray err;
    ASSERT_EQ(testsupport::runTool("python3", {"-c", script, dir.path()}, nullptr, &err), 0) << err.constData();
    for (const auto& [key, data] : expected) {
        QByteArray out = testsupport::readFile(dir.file(QString::fromStdString(key + ".out")));
        EXPECT_TRUE(Bytes(out.begin(), out.end()) == *data) << key;
    }
}

TEST(Deflate, SizesStayCloseToZlib)
{
    // Same algorithm family as zlib: the sizes should not drift apart on ordinary data.
    Bytes text = sampleText(300000, 3);
    Bytes mixed = mixedBinary(300000, 4);
    for (int level : {1, 6, 9}) {
        for (const Bytes* in : {&text, &mixed}) {
            size_t ours = DeflateBuffer(in->data(), in->size(), level).size();
            size_t theirs = zlibDeflate(*in, level, Z_DEFAULT_STRATEGY, 9).size();
            EXPECT_LT(double(ours), double(theirs) * 1.01) << "level " << level;
        }
    }
}

TEST(Deflate, HeaderFlagBitsByLevel)
{
    EXPECT_EQ(DeflateFlagBits(1), 4);
    EXPECT_EQ(DeflateFlagBits(2), 4);
    for (int level = 3; level <= 7; ++level)
        EXPECT_EQ(DeflateFlagBits(level), 0) << level;
    EXPECT_EQ(DeflateFlagBits(8), 2);
    EXPECT_EQ(DeflateFlagBits(9), 2);
    Bytes text = sampleText(5000);
    TDeflater d;
    for (int level = 1; level <= 9; ++level) {
        PieceIO io(text, 5000);
        EXPECT_EQ(d.Deflate(io, level).Flags, DeflateFlagBits(level));
    }
}

TEST(Deflate, TextVerdictFromByteStatistics)
{
    TDeflater d;
    Bytes text = sampleText(20000);
    PieceIO t(text, 1 << 16);
    EXPECT_EQ(d.Deflate(t, 6).InternalAttributes, 1);

    Bytes binary;
    for (uint32_t i = 0; i < 5000; ++i) // little-endian counters: half the bytes are zero
        binary.insert(binary.end(), {uint8_t(i * 37), uint8_t((i * 37) >> 8), 0, 0});
    PieceIO b(binary, 1 << 16);
    EXPECT_EQ(d.Deflate(b, 6).InternalAttributes, 0);

    // The verdict counts the literals of the first block: letters with a control byte in ten
    // are text, with a high byte in three they are not.
    uint32_t seed = 2;
    Bytes some(8000), many(8000);
    for (size_t i = 0; i < some.size(); ++i) {
        some[i] = i % 10 == 0 ? 0x01 : uint8_t('a' + nextRandom(seed) % 26);
        many[i] = uint8_t(i % 3 == 0 ? 0x80 + nextRandom(seed) % 128 : 'a' + nextRandom(seed) % 26);
    }
    PieceIO s(some, 1 << 16);
    EXPECT_EQ(d.Deflate(s, 6).InternalAttributes, 1);
    PieceIO m(many, 1 << 16);
    EXPECT_EQ(d.Deflate(m, 6).InternalAttributes, 0);

    Bytes empty;
    PieceIO e(empty, 10);
    TDeflateResult r = d.Deflate(e, 6);
    EXPECT_EQ(r.InternalAttributes, 1);
    EXPECT_EQ(r.Method, 0);
    EXPECT_EQ(r.CompressedSize, 0u);
    EXPECT_TRUE(e.out.empty());
}

TEST(Deflate, IncompressibleDataFallsBackToStored)
{
    TDeflater d;
    Bytes small = randomBytes(100, 11);
    for (int level = 1; level <= 9; ++level) {
        PieceIO io(small, 1 << 16);
        TDeflateResult r = d.Deflate(io, level);
        EXPECT_EQ(r.Method, 0) << level;
        EXPECT_EQ(r.CompressedSize, 100u);
        EXPECT_TRUE(io.out == small); // raw bytes, no block header
    }
    // A long random file: stored blocks inside a deflate stream, a few bytes each.
    Bytes big = randomBytes(1 << 20, 12);
    PieceIO io(big, 1 << 16);
    TDeflateResult r = d.Deflate(io, 6);
    EXPECT_EQ(r.Method, 8);
    EXPECT_GT(io.out.size(), big.size());
    EXPECT_LT(io.out.size(), big.size() + 200);
    EXPECT_EQ(io.out[0] & 7, 0); // first block: not last, type 0 (stored)
    Bytes back;
    ASSERT_EQ(InflateBuffer(io.out.data(), io.out.size(), back), TInflateResult::Ok);
    EXPECT_TRUE(back == big);
}

TEST(Deflate, RepeatedByteUsesLongestMatches)
{
    Bytes run(100000, 'q');
    for (int level : {1, 9}) {
        Bytes out = DeflateBuffer(run.data(), run.size(), level);
        // 258-byte matches: at level 9 all from distance 1, a couple of bits each; level 1
        // inserts no strings inside long matches, so its distances grow.
        EXPECT_LT(out.size(), level == 9 ? 300u : 1000u) << level;
        Bytes back;
        ASSERT_EQ(InflateBuffer(out.data(), out.size(), back), TInflateResult::Ok);
        EXPECT_TRUE(back == run);
    }
}

TEST(Deflate, WriterExceptionsPassThrough)
{
    Bytes data = mixedBinary(500000, 21);
    PieceIO io(data, 16000);
    io.cancelAfter = 50000;
    TDeflater d;
    EXPECT_THROW(d.Deflate(io, 6), EUserCanceled);
    // The encoder is usable again afterwards.
    PieceIO again(data, 16000);
    d.Deflate(again, 6);
    EXPECT_TRUE(again.out == DeflateBuffer(data.data(), data.size(), 6));
}

TEST(Deflate, PathologicalInputsAtLevelNineStayValid)
{
    // Tiny alphabets make every hash chain as long as the window; the output must stay right.
    uint32_t seed = 5;
    Bytes ab(1 << 18);
    for (auto& c : ab)
        c = uint8_t('a' + (nextRandom(seed) & 1));
    Bytes out = DeflateBuffer(ab.data(), ab.size(), 9);
    Bytes back;
    ASSERT_TRUE(zlibInflate(out, back));
    EXPECT_TRUE(back == ab);
    EXPECT_LT(double(out.size()), double(zlibDeflate(ab, 9, Z_DEFAULT_STRATEGY, 9).size()) * 1.05);
}

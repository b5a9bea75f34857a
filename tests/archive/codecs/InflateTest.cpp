// Inflate: streams of other producers (zlib in every mode, Debian's zip and 7z, the public
// test archives), hand-made edge cases of the format, and damaged streams.
#include "CodecTestData.h"

#include "archive/Deflate.h"
#include "archive/Inflate.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <algorithm>

using namespace archive;
using namespace codectest;
using testsupport::TempDir;

namespace {

TInflateResult inflate(const Bytes& in, Bytes& out, size_t maxOutput = SIZE_MAX)
{
    return InflateBuffer(in.data(), in.size(), out, maxOutput);
}

// Pulls the raw deflate data of every unencrypted method-8 member out of zip files (with
// python's zipfile reading the directories): N.raw plus a line "N crc size" in index.txt.
const char* ExtractScript = R"PY(
import sys, zipfile, struct, os
out = sys.argv[1]
n = 0
with open(os.path.join(out, 'index.txt'), 'w') as idx:
    for path in sys.argv[2:]:
        try:
            z = zipfile.ZipFile(path)
            infos = z.infolist()
        except Exception:
            continue
        with open(path, 'rb') as f:
            for i in infos:
                if i.compress_type != 8 or i.flag_bits & 1:
                    continue
                try:
                    f.seek(i.header_offset)
                    h = f.read(30)
                    if h[:4] != b'PK\x03\x04':
                        continue
                    nl, xl = struct.unpack('<HH', h[26:30])
                    f.seek(i.header_offset + 30 + nl + xl)
                    data = f.read(i.compress_size)
                except Exception:
                    continue
                open(os.path.join(out, '%d.raw' % n), 'wb').write(data)
                idx.write('%d %d %d %s\n' % (n, i.CRC, i.file_size, os.path.basename(path)))
                n += 1
)PY";

struct Member {
    Bytes raw;
    uint32_t crc;
    size_t size;
    std::string origin;
};

std::vector<Member> extractMembers(const QStringList& zips)
{
    TempDir dir;
    QByteArray err;
    QStringList args{"-c", ExtractScript, dir.path()};
    args += zips;
    EXPECT_EQ(testsupport::runTool("python3", args, nullptr, &err), 0) << err.constData();
    std::vector<Member> members;
    QByteArray index = testsupport::readFile(dir.file("index.txt"));
    for (const QByteArray& line : index.split('\n')) {
        QList<QByteArray> f = line.split(' ');
        if (f.size() < 4)
            continue;
        QByteArray raw = testsupport::readFile(dir.file(QString::fromLatin1(f[0]) + ".raw"));
        members.push_back({Bytes(raw.begin(), raw.end()), uint32_t(f[1].toULongLong()), size_t(f[2].toULongLong()),
                           f[3].toStdString()});
    }
    return members;
}

// A fixed-code block writer: literal and match symbols with the static codes of RFC 1951.
void fixedLiteral(BitWriter& w, unsigned lit)
{
    if (lit < 144)
        w.code(0x30 + lit, 8);
    else
        w.code(0x190 + lit - 144, 9);
}
void fixedEnd(BitWriter& w) { w.code(0, 7); }
// Length 3 (code 257) at a distance of 1 + extra (distance code 0..3 only).
void fixedMatch3(BitWriter& w, unsigned distCode)
{
    w.code(1, 7);
    w.code(distCode, 5);
}

} // namespace

TEST(Inflate, DecodesZlibAtEveryLevelAndStrategy)
{
    Bytes inputs[] = {sampleText(120000), mixedBinary(200000, 3), randomBytes(5000, 4), Bytes(70000, 0), {}};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const Bytes& in : inputs) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                for (int memLevel : {1, 8, 9}) {
                    Bytes z = zlibDeflate(in, level, strategy, memLevel);
                    Bytes out;
                    ASSERT_EQ(inflate(z, out), TInflateResult::Ok)
                        << "level " << level << " strategy " << strategy << " memLevel " << memLevel;
                    ASSERT_TRUE(out == in);
                }
            }
        }
        // Smaller windows give other distance sets.
        for (int wbits : {9, 12}) {
            Bytes z = zlibDeflate(in, 9, Z_DEFAULT_STRATEGY, 9, wbits);
            Bytes out;
            ASSERT_EQ(inflate(z, out), TInflateResult::Ok);
            ASSERT_TRUE(out == in);
        }
    }
}

TEST(Inflate, ZlibFlushPointsGiveEmptyStoredBlocks)
{
    Bytes text = sampleText(50000);
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes z(100000);
    s.next_out = z.data();
    s.avail_out = uInt(z.size());
    for (size_t off = 0; off < text.size(); off += 7000) {
        size_t n = std::min<size_t>(7000, text.size() - off);
        s.next_in = text.data() + off;
        s.avail_in = uInt(n);
        deflate(&s, off % 14000 == 0 ? Z_SYNC_FLUSH : Z_FULL_FLUSH); // each ends with LEN 0, NLEN 65535
    }
    deflate(&s, Z_FINISH);
    z.resize(s.total_out);
    deflateEnd(&s);
    Bytes out;
    ASSERT_EQ(inflate(z, out), TInflateResult::Ok);
    EXPECT_TRUE(out == text);

    // A stream of nothing but an empty last stored block.
    Bytes empty = {0x01, 0x00, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(inflate(empty, out), TInflateResult::Ok);
    EXPECT_TRUE(out.empty());
}

TEST(Inflate, LongestLengthCodeAndFullAlphabets)
{
    // Matches at every length up to 258 and distances out to 32 KiB in one zlib block, so the
    // block header carries HLIT 286 and HDIST 30.
    uint32_t seed = 77;
    // A base of random words from a large vocabulary (compressible, so the block is dynamic),
    // then copies long enough to be found only at their own distance.
    std::vector<Bytes> vocabulary(3000);
    for (auto& word : vocabulary)
        for (int k = 0; k < 6; ++k)
            word.push_back(uint8_t('a' + nextRandom(seed) % 26));
    Bytes in;
    while (in.size() < 33000) {
        const Bytes& word = vocabulary[nextRandom(seed) % vocabulary.size()];
        in.insert(in.end(), word.begin(), word.end());
        in.push_back(' ');
    }
    while (in.size() < 50000) {
        size_t len = 20 + nextRandom(seed) % 239;
        size_t dist = 32000 - nextRandom(seed) % 31000;
        if (nextRandom(seed) % 30 == 0)
            dist = 1 + nextRandom(seed) % 16;
        if (nextRandom(seed) % 8 == 0)
            len = 258;
        size_t start = in.size() - std::min(dist, in.size());
        for (size_t k = 0; k < len; ++k)
            in.push_back(in[start + k]);
        in.push_back(uint8_t(nextRandom(seed)));
    }
    Bytes z = zlibDeflate(in, 9, Z_DEFAULT_STRATEGY, 9);
    ASSERT_EQ(z[0] & 1, 1); // one block, so its header covers every symbol
    ASSERT_EQ((z[0] >> 1) & 3, 2); // dynamic
    unsigned hlit = 257 + ((z[0] >> 3) & 31);
    unsigned hdist = 1 + (z[1] & 31);
    EXPECT_EQ(hlit, 286u);
    EXPECT_EQ(hdist, 30u);
    Bytes out;
    ASSERT_EQ(inflate(z, out), TInflateResult::Ok);
    EXPECT_TRUE(out == in);

    // Length code 285 copies 258 bytes with no extra bits: fixed block 'a' then one match.
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixedLiteral(w, 'a');
    w.code(0xC5, 8); // code 285 (280-287 are 8-bit codes from 0xC0)
    w.code(0, 5);    // distance 1
    fixedEnd(w);
    ASSERT_EQ(inflate(w.out, out), TInflateResult::Ok);
    EXPECT_TRUE(out == Bytes(259, 'a'));
}

TEST(Inflate, SingleDistanceCodeOfLengthOne)
{
    // Literal/length code: 'a' and 'b' length 2, end (256) length 2, length 3 (257) length 2.
    std::vector<uint8_t> lit(258, 0);
    lit['a'] = lit['b'] = lit[256] = lit[257] = 2;
    std::vector<uint8_t> dist = {1}; // one distance code (distance 1) of length 1: incomplete
    auto litCodes = canonicalCodes(lit);
    auto make = [&](unsigned distBit) {
        BitWriter w;
        dynamicHeader(w, true, lit, dist, 258, 1);
        w.code(litCodes['a'], 2);
        w.code(litCodes['b'], 2);
        w.code(litCodes[257], 2);
        w.code(distBit, 1);
        w.code(litCodes[256], 2);
        return w.out;
    };
    Bytes out;
    // Code 0 is distance code 0 (distance 1): "ab" then 3 copies of "b".
    ASSERT_EQ(inflate(make(0), out), TInflateResult::Ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abbbb");
    // Code 1 is the unused half of the distance code.
    EXPECT_EQ(inflate(make(1), out), TInflateResult::DataError);
}

TEST(Inflate, BadHeadersAndCodesFail)
{
    std::vector<uint8_t> lit(287, 0);
    lit['a'] = lit[256] = 1;
    std::vector<uint8_t> dist = {1, 1};
    auto litCodes = canonicalCodes(lit);
    auto block = [&](const std::vector<uint8_t>& l, const std::vector<uint8_t>& d, unsigned hlit, unsigned hdist) {
        BitWriter w;
        dynamicHeader(w, true, l, d, hlit, hdist);
        auto c = canonicalCodes(l);
        if (l['a'])
            w.code(c['a'], l['a']);
        w.code(c[256], l[256]);
        return w.out;
    };
    Bytes out;
    EXPECT_EQ(inflate(block(lit, dist, 286, 2), out), TInflateResult::Ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "a");
    EXPECT_EQ(inflate(block(lit, dist, 287, 2), out), TInflateResult::DataError); // HLIT 287
    EXPECT_EQ(inflate(block(lit, dist, 286, 31), out), TInflateResult::DataError); // HDIST 31

    std::vector<uint8_t> over = lit;
    over['b'] = 1; // three codes of length 1
    EXPECT_EQ(inflate(block(over, dist, 286, 2), out), TInflateResult::DataError);
    std::vector<uint8_t> incomplete(287, 0);
    incomplete['a'] = 1;
    incomplete[256] = 2;
    EXPECT_EQ(inflate(block(incomplete, dist, 286, 2), out), TInflateResult::DataError);
    std::vector<uint8_t> noEnd(287, 0);
    noEnd['a'] = noEnd['b'] = 1;
    EXPECT_EQ(inflate(block(noEnd, dist, 286, 2), out), TInflateResult::DataError);

    // Block type 3.
    EXPECT_EQ(inflate(Bytes{0x07, 0x00}, out), TInflateResult::BadBlockType);
    // Stored block whose NLEN is not the complement of LEN.
    EXPECT_EQ(inflate(Bytes{0x01, 0x02, 0x00, 0xFD, 0xFE, 'x', 'y'}, out), TInflateResult::DataError);
    EXPECT_EQ(inflate(Bytes{0x01, 0x02, 0x00, 0xFD, 0xFF, 'x', 'y'}, out), TInflateResult::Ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "xy");
    // Fixed length codes 286 and 287 are invalid.
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixedLiteral(w, 'a');
    w.code(0xC6, 8);
    w.code(0, 5);
    fixedEnd(w);
    EXPECT_EQ(inflate(w.out, out), TInflateResult::DataError);
}

TEST(Inflate, DistanceBeforeTheStartIsAnError)
{
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixedLiteral(w, 'a');
    fixedLiteral(w, 'b');
    fixedMatch3(w, 1); // distance 2: fine
    fixedMatch3(w, 3); // distance 4 after 5 bytes: fine
    fixedEnd(w);
    Bytes out;
    ASSERT_EQ(inflate(w.out, out), TInflateResult::Ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abababab");

    BitWriter bad;
    bad.bits(1, 1);
    bad.bits(1, 2);
    fixedLiteral(bad, 'a');
    fixedMatch3(bad, 1); // distance 2 with only 1 byte written
    fixedEnd(bad);
    EXPECT_EQ(inflate(bad.out, out), TInflateResult::DataError);
    // Distance codes 30 and 31 do not exist.
    BitWriter bad2;
    bad2.bits(1, 1);
    bad2.bits(1, 2);
    for (int i = 0; i < 40; ++i)
        fixedLiteral(bad2, 'a');
    bad2.code(1, 7);
    bad2.code(30, 5);
    fixedEnd(bad2);
    EXPECT_EQ(inflate(bad2.out, out), TInflateResult::DataError);
}

TEST(Inflate, TruncatedAndDamagedStreamsFail)
{
    Bytes in = mixedBinary(100000, 9);
    for (int level : {0, 1, 6, 9}) {
        Bytes z = zlibDeflate(in, level);
        Bytes out;
        for (size_t cut : {size_t(0), size_t(1), z.size() / 3, z.size() - 1}) {
            Bytes t(z.begin(), z.begin() + long(cut));
            EXPECT_NE(inflate(t, out), TInflateResult::Ok) << "level " << level << " cut " << cut;
        }
        // Flipped bits: whatever comes out, no crash and no output past the limit.
        uint32_t seed = 3;
        for (int k = 0; k < 200; ++k) {
            Bytes d = z;
            d[nextRandom(seed) % d.size()] ^= uint8_t(1u << (nextRandom(seed) % 8));
            inflate(d, out, in.size() * 2);
            EXPECT_LE(out.size(), in.size() * 2);
        }
    }
}

TEST(Inflate, OutputLimitAndConsumedBytes)
{
    Bytes in = sampleText(50000);
    Bytes z = zlibDeflate(in, 6);
    Bytes tail = z;
    tail.insert(tail.end(), {'T', 'A', 'I', 'L'});
    Bytes out;
    size_t used = 0;
    ASSERT_EQ(InflateBuffer(tail.data(), tail.size(), out, SIZE_MAX, &used), TInflateResult::Ok);
    EXPECT_EQ(used, z.size());
    EXPECT_EQ(InflateBuffer(z.data(), z.size(), out, in.size()), TInflateResult::Ok);
    EXPECT_EQ(InflateBuffer(z.data(), z.size(), out, in.size() - 1), TInflateResult::DataError);
}

// A sink that holds the whole member: decoded in place, over several flushes of the window's
// size and through stored blocks too; a member longer than its memory fails, keeping what fit.
TEST(Inflate, StraightIntoTheSinksMemory)
{
    const Bytes inputs[] = {mixedBinary(700000, 5), sampleText(90000), randomBytes(3000, 6), {}};
    for (const Bytes& in : inputs) {
        for (int level : {0, 1, 6}) {
            const Bytes z = zlibDeflate(in, level);
            for (size_t less : {0, 1, 200}) {
                if (less > in.size())
                    continue;
                const size_t room = in.size() - less;
                Bytes mem(room + 64, 0xA5);
                TMemorySource src(z.data(), z.size());
                TBufferSink sink(mem.data(), room);
                TUnzipIO io;
                io.StartMember(&src, &sink, z.size(), room);
                const TInflateResult r = Inflate(io);
                SCOPED_TRACE(testing::Message() << "size " << in.size() << " level " << level << " less " << less);
                ASSERT_EQ(r, less ? TInflateResult::DataError : TInflateResult::Ok);
                EXPECT_EQ(sink.Written(), io.BytesWritten);
                ASSERT_LE(io.BytesWritten, room);
                EXPECT_TRUE(std::equal(mem.begin(), mem.begin() + ptrdiff_t(io.BytesWritten), in.begin()));
                EXPECT_TRUE(std::all_of(mem.begin() + ptrdiff_t(room), mem.end(), [](uint8_t b) { return b == 0xA5; }))
                    << "written past the memory";
                if (!less) {
                    EXPECT_EQ(io.Crc.Crc(), uint32_t(crc32(0, in.data(), uInt(in.size()))));
                }
            }
        }
    }
}

// Repeats of every near distance (1 to 40) and some far ones, of lengths from 3 to 258,
// between letters drawn at random: the match copy takes other paths by distance, by whether
// the match overlaps itself, and by how common long matches are in the block.
Bytes repeatsOfEveryDistance(size_t n, unsigned longShare, uint32_t seed)
{
    auto letters = [&](size_t count) {
        Bytes l(count);
        for (auto& c : l)
            c = uint8_t("etaoin shrdlu"[nextRandom(seed) % 13]);
        return l;
    };
    Bytes b = letters(64);
    while (b.size() < n) {
        const uint32_t r = nextRandom(seed);
        const size_t dist = r % 8 == 0 ? 41 + (r >> 8) % 20000 : 1 + (r >> 8) % 40;
        const size_t len = nextRandom(seed) % 100 < longShare ? 33 + nextRandom(seed) % 226 : 3 + nextRandom(seed) % 30;
        if (dist <= b.size())
            for (size_t k = 0; k < len; ++k)
                b.push_back(b[b.size() - dist]);
        const Bytes gap = letters(nextRandom(seed) % 6);
        b.insert(b.end(), gap.begin(), gap.end());
    }
    b.resize(n);
    return b;
}

TEST(Inflate, MatchesOfEveryDistanceAndLength)
{
    for (unsigned longShare : {2u, 50u}) {
        const Bytes in = repeatsOfEveryDistance(300000, longShare, 11 + longShare);
        for (int level : {1, 6, 9}) {
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_RLE}) {
                const Bytes z = zlibDeflate(in, level, strategy);
                Bytes out;
                SCOPED_TRACE(testing::Message() << "long share " << longShare << " level " << level);
                ASSERT_EQ(inflate(z, out), TInflateResult::Ok);
                ASSERT_TRUE(out == in);
                // And straight into memory of the exact size, where the copies' overshoot
                // must stay inside.
                Bytes mem(in.size() + 64, 0xA5);
                TMemorySource src(z.data(), z.size());
                TBufferSink sink(mem.data(), in.size());
                TUnzipIO io;
                io.StartMember(&src, &sink, z.size(), in.size());
                ASSERT_EQ(Inflate(io), TInflateResult::Ok);
                EXPECT_TRUE(std::equal(in.begin(), in.end(), mem.begin()));
                EXPECT_TRUE(std::all_of(mem.begin() + ptrdiff_t(in.size()), mem.end(), [](uint8_t c) { return c == 0xA5; }));
            }
        }
    }
}

TEST(Inflate, DecodesDebianZipAnd7z)
{
    for (const char* tool : {"zip", "7z", "python3"})
        if (!testsupport::haveTool(tool))
            GTEST_SKIP() << tool << " missing";
    TempDir dir;
    QByteArray text(reinterpret_cast<const char*>(sampleText(150000).data()), 150000);
    Bytes mixed = mixedBinary(250000, 17);
    testsupport::writeFile(dir.file("text.txt"), text);
    testsupport::writeFile(dir.file("mixed.bin"),
                           QByteArray(reinterpret_cast<const char*>(mixed.data()), qsizetype(mixed.size())));
    testsupport::writeFile(dir.file("run.bin"), QByteArray(100000, 'r'));
    QStringList files{"text.txt", "mixed.bin", "run.bin"};
    QStringList zips;
    for (int level = 1; level <= 9; ++level) {
        QString z = dir.file(QString("zip%1.zip").arg(level));
        ASSERT_EQ(testsupport::runTool("zip", QStringList{"-q", QString("-%1").arg(level), z} + files, nullptr, nullptr,
                                       dir.path()),
                  0);
        zips << z;
        QString s = dir.file(QString("7z%1.zip").arg(level));
        ASSERT_EQ(testsupport::runTool("7z", QStringList{"a", "-tzip", QString("-mx%1").arg(level), s} + files,
                                       nullptr, nullptr, dir.path()),
                  0);
        zips << s;
    }
    QString best = dir.file("7zbest.zip");
    ASSERT_EQ(testsupport::runTool("7z", QStringList{"a", "-tzip", "-mx9", "-mfb=258", "-mpass=15", best} + files,
                                   nullptr, nullptr, dir.path()),
              0);
    zips << best;
    auto members = extractMembers(zips);
    EXPECT_GE(members.size(), 50u);
    for (const Member& m : members) {
        Bytes out;
        ASSERT_EQ(inflate(m.raw, out), TInflateResult::Ok) << m.origin;
        EXPECT_EQ(out.size(), m.size) << m.origin;
        EXPECT_EQ(zlibCrc(out), m.crc) << m.origin;
    }
}

TEST(Inflate, DecodesThePublicTestArchives)
{
    MV_REQUIRE_TESTDATA();
    if (!testsupport::haveTool("python3"))
        GTEST_SKIP() << "python3 missing";
    QStringList zips;
    QDir root(testsupport::testdataDir() + "/zip");
    for (const QString& sub : {QString("sharpcompress"), QString("zip2"), QString(".")}) {
        QDir d(root.filePath(sub));
        for (const QString& f : d.entryList({"*.zip"}, QDir::Files))
            zips << d.filePath(f);
    }
    auto members = extractMembers(zips);
    EXPECT_GT(members.size(), 5u);
    for (const Member& m : members) {
        Bytes out;
        TInflateResult r = inflate(m.raw, out, m.size);
        // Damaged archives are part of the set: a failure is fine, a wrong "Ok" is not.
        if (r == TInflateResult::Ok) {
            EXPECT_EQ(zlibCrc(out), m.crc) << m.origin;
        } else {
            Bytes z;
            EXPECT_FALSE(zlibInflate(m.raw, z) && z.size() == m.size && zlibCrc(z) == m.crc)
                << m.origin << ": zlib decodes it, we do not";
        }
    }
}

TEST(Inflate, HuftBuildTablesForOtherDecoders)
{
    THuftList t;
    int bits = 7;
    const unsigned complete[] = {2, 2, 2, 2};
    EXPECT_EQ(huft_build(complete, 4, 4, nullptr, nullptr, t, bits), 0);
    EXPECT_EQ(bits, 2); // no more than the longest code
    const unsigned over[] = {1, 1, 1};
    EXPECT_EQ(huft_build(over, 3, 3, nullptr, nullptr, t, bits), 2);
    const unsigned zeros[] = {0, 0, 0};
    bits = 5;
    EXPECT_EQ(huft_build(zeros, 3, 3, nullptr, nullptr, t, bits), 0);
    EXPECT_EQ(t.root, nullptr);

    // a = 0, b = 10, c = 110, d = 111 (incomplete with e missing: lengths 1,2,3,4 -> 1 free).
    const unsigned lens[] = {1, 2, 3, 4};
    const uint16_t base[] = {100, 200};
    const uint8_t extra[] = {3, 99};
    bits = 2;
    ASSERT_EQ(huft_build(lens, 4, 2, base, extra, t, bits), 1);
    EXPECT_EQ(bits, 2);
    // Decode a bit string given most significant code bit first, fed least significant first.
    auto decode = [&](unsigned value) {
        const THuft* h = t.root + (value & 3);
        unsigned used = 0;
        while (h->e > 16 && h->e != 99) {
            used += h->b;
            h = h->t + ((value >> used) & ((1u << (h->e - 16)) - 1));
        }
        return h;
    };
    EXPECT_EQ(decode(0b0)->e, 16);        // a: literal 0
    EXPECT_EQ(decode(0b0)->n, 0);
    EXPECT_EQ(decode(0b01)->n, 1);        // b (bits 1,0)
    const THuft* c = decode(0b011);       // c (bits 1,1,0): base 100, 3 extra bits
    EXPECT_EQ(c->e, 3);
    EXPECT_EQ(c->n, 100);
    EXPECT_EQ(decode(0b0111)->e, 99);     // d: invalid by its extra-bit table
    EXPECT_EQ(decode(0b1111)->e, 99);     // the unused code
    huft_free(t);
    EXPECT_EQ(t.root, nullptr);
    EXPECT_TRUE(t.tables.empty());
}

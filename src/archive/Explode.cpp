#include "archive/Inflate.h"
#include "archive/OldMethodBits.h"
#include "archive/OldMethods.h"
#include "archive/ZipExceptions.h"

#include <algorithm>
#include <cstring>

namespace archive {

namespace {
constexpr size_t WindowSize = 32768;
constexpr unsigned InputSlack = 4;
constexpr unsigned MaxCodeBits = 16;
constexpr uint64_t LargeMember = 200000; // above this the distance table looks up 8 bits

struct TExplodeTables {
    uint16_t lengthBase2[64], lengthBase3[64], distBase4k[64], distBase8k[64];
    uint8_t lengthExtra[64];
    uint8_t noExtra[64];
    TExplodeTables()
    {
        for (unsigned c = 0; c < 64; ++c) {
            lengthBase2[c] = uint16_t(c + 2);
            lengthBase3[c] = uint16_t(c + 3);
            distBase4k[c] = uint16_t(1 + 64 * c);
            distBase8k[c] = uint16_t(1 + 128 * c);
            lengthExtra[c] = c == 63 ? 8 : 0;
            noExtra[c] = 0;
        }
    }
};
const TExplodeTables& tables()
{
    static const TExplodeTables t;
    return t;
}

// A stored tree: a byte with the count of entries less one, then per entry the repeat count
// less one (high 4 bits) and the code length less one (low 4 bits). The lengths must cover
// exactly `total` codes.
bool readTree(TUnzipIO& io, unsigned total, unsigned* lengths)
{
    uint8_t b = 0;
    if (!io.ReadByte(b))
        return false;
    const unsigned entries = unsigned(b) + 1;
    unsigned k = 0;
    for (unsigned i = 0; i < entries; ++i) {
        if (!io.ReadByte(b))
            return false;
        const unsigned repeat = (b >> 4) + 1;
        const unsigned length = (b & 15) + 1;
        if (k + repeat > total)
            return false;
        for (unsigned r = 0; r < repeat; ++r)
            lengths[k++] = length;
    }
    return k == total;
}

// The tree's codes are stored with their bits inverted relative to the canonical code the
// tables are built for. Null for an invalid code or the end of the data.
const THuft* decode(TOldBitInput& in, const THuftList& tree, unsigned rootBits)
{
    if (!in.Need(MaxCodeBits))
        return nullptr;
    const THuft* t = tree.root + (~in.Peek(rootBits) & ((1u << rootBits) - 1));
    while (t->e > 16) {
        if (t->e == 99)
            return nullptr;
        in.Drop(t->b);
        const unsigned bits = t->e - 16u;
        t = t->t + (~in.Peek(bits) & ((1u << bits) - 1));
    }
    in.Drop(t->b);
    return t;
}

struct TTree {
    THuftList list;
    unsigned bits = 0;
    bool build(const unsigned* lengths, unsigned n, unsigned s, const uint16_t* base, const uint8_t* extra,
               int lookup)
    {
        // An incomplete code still decodes its valid codes; its unused codes end the member.
        const int r = huft_build(lengths, n, s, base, extra, list, lookup);
        bits = unsigned(lookup);
        return (r == 0 || r == 1) && list.root;
    }
};
} // namespace

void Explode(TUnzipIO& io, unsigned flags, uint64_t compressedSize)
{
    const bool bigWindow = flags & 2;
    const bool literalTree = flags & 4;
    const TExplodeTables& tab = tables();
    unsigned lengths[256];
    TTree literals, lengthTree, distances;

    bool ok = true;
    if (literalTree)
        ok = readTree(io, 256, lengths) && literals.build(lengths, 256, 256, nullptr, nullptr, 9);
    ok = ok && readTree(io, 64, lengths)
        && lengthTree.build(lengths, 64, 0, literalTree ? tab.lengthBase3 : tab.lengthBase2, tab.lengthExtra, 7);
    ok = ok && readTree(io, 64, lengths)
        && distances.build(lengths, 64, 0, bigWindow ? tab.distBase8k : tab.distBase4k, tab.noExtra,
                           compressedSize > LargeMember ? 8 : 7);
    if (!ok) {
        io.FlushOutput();
        return;
    }

    const unsigned lowBits = bigWindow ? 7 : 6;
    uint8_t* const window = io.Window();
    size_t pos = 0;
    uint64_t written = 0;
    uint64_t left = io.UncompressedSize;
    TOldBitInput in(io, InputSlack);
    auto flushWindow = [&]() {
        io.WriteOutput(window, pos);
        pos = 0;
    };

    while (left > 0) {
        if (!in.Need(1))
            break;
        if (in.Get(1)) {
            unsigned c;
            if (literalTree) {
                const THuft* t = decode(in, literals.list, literals.bits);
                if (!t)
                    break;
                c = t->n;
            } else {
                if (!in.Need(8))
                    break;
                c = in.Get(8);
            }
            window[pos++] = uint8_t(c);
            ++written;
            --left;
            if (pos == WindowSize)
                flushWindow();
            continue;
        }
        if (!in.Need(lowBits))
            break;
        const unsigned low = in.Get(lowBits);
        const THuft* d = decode(in, distances.list, distances.bits);
        if (!d)
            break;
        const size_t dist = size_t(d->n) + low;
        const THuft* l = decode(in, lengthTree.list, lengthTree.bits);
        if (!l)
            break;
        unsigned length = l->n;
        if (l->e) {
            if (!in.Need(l->e))
                break;
            length += in.Get(l->e);
        }
        uint64_t count = std::min<uint64_t>(length, left);
        left -= count;
        // Before the start of the output the copy reads zeros.
        for (; count > 0 && written < dist; --count) {
            window[pos++] = 0;
            ++written;
            if (pos == WindowSize)
                flushWindow();
        }
        while (count > 0) {
            const size_t from = (pos - dist) & (WindowSize - 1);
            size_t run = std::min<uint64_t>(count, WindowSize - std::max(pos, from));
            written += run;
            count -= run;
            if (from + run <= pos || from >= pos + run) {
                std::memcpy(window + pos, window + from, run);
                pos += run;
            } else {
                for (size_t i = 0; i < run; ++i)
                    window[pos + i] = window[from + i];
                pos += run;
            }
            if (pos == WindowSize)
                flushWindow();
        }
    }
    flushWindow();
    io.FlushOutput();
}

bool ExpandOldMethod(TUnzipIO& io, unsigned method, unsigned flags, uint64_t compressedSize)
{
    switch (method) {
    case 1:
        UnShrink(io);
        return true;
    case 2:
    case 3:
    case 4:
    case 5:
        UnReduce(io, int(method) - 1);
        return true;
    case 6:
        Explode(io, flags, compressedSize);
        return true;
    default:
        return false;
    }
}

uint32_t ExpandOldMethodBuffer(unsigned method, unsigned flags, const uint8_t* data, size_t size,
                               uint64_t uncompressedSize, std::vector<uint8_t>& out)
{
    out.clear();
    TUnzipIO io;
    TMemorySource src(data, size);
    TVectorSink sink(out);
    io.StartMember(&src, &sink, size, uncompressedSize);
    try {
        ExpandOldMethod(io, method, flags, size);
    } catch (const EBiggerThanUncompressed&) {
    }
    return io.Crc.Crc();
}

} // namespace archive

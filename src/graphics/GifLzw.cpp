#include "graphics/GifLzw.h"

#include "platform/graphics/GraphicsErrors.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace graphics {

using platform::graphics::EInvalidGraphicOperation;

int NextInterlacedRow(int row, int height, int& pass)
{
    row += pass <= 1 ? 8 : pass == 2 ? 4 : 2;
    if (row < height)
        return row;
    for (;;) {
        switch (pass) {
        case 0:
            pass = 1;
            if (height > 4)
                return 4;
            break;
        case 1:
            pass = 2;
            if (height > 2)
                return 2;
            break;
        case 2:
            pass = 3;
            if (height > 1)
                return 1;
            break;
        default: return height;
        }
    }
}

namespace {

// Writes decoded pixel runs into the bottom-up buffer, row by row.
struct PixelSink {
    uint8_t* base;
    qint64 rowBytes;
    int width, height, bpp;
    bool interlaced;
    bool topDown;
    int col = 0, row = 0, pass = 0;
    uint8_t* rowPtr;

    PixelSink(uint8_t* b, const TDibHeader& h, bool inter)
        : base(b), rowBytes(h.RowBytes()), width(h.Width), height(h.Height), bpp(h.BitCount), interlaced(inter),
          topDown(h.TopDown)
    {
        rowPtr = rowAddress(0);
    }
    uint8_t* rowAddress(int r) const { return base + (topDown ? qint64(r) : qint64(height) - 1 - r) * rowBytes; }

    bool done() const { return row >= height; }

    void put(const uint8_t* s, int n)
    {
        while (n > 0 && row < height) {
            int k = std::min(n, width - col);
            if (bpp == 8) {
                std::memcpy(rowPtr + col, s, size_t(k));
            } else if (bpp == 4) {
                for (int i = 0; i < k; ++i) {
                    int c = col + i;
                    if (c & 1)
                        rowPtr[c >> 1] |= s[i] & 0x0F;
                    else
                        rowPtr[c >> 1] = uint8_t(s[i] << 4);
                }
            } else {
                for (int i = 0; i < k; ++i) {
                    int c = col + i;
                    if ((c & 7) == 0)
                        rowPtr[c >> 3] = uint8_t((s[i] & 1) << 7);
                    else
                        rowPtr[c >> 3] |= uint8_t((s[i] & 1) << (7 - (c & 7)));
                }
            }
            col += k;
            s += k;
            n -= k;
            if (col == width)
                nextRow();
        }
    }

    void nextRow()
    {
        col = 0;
        row = interlaced ? NextInterlacedRow(row, height, pass) : row + 1;
        if (row < height)
            rowPtr = rowAddress(row);
    }

    // Rows not reached keep index 0.
    void clearRest()
    {
        if (row >= height || interlaced)
            return;
        const qint64 rowLen = (qint64(width) * bpp + 7) / 8;
        if (col > 0) {
            if (bpp == 8)
                std::memset(rowPtr + col, 0, size_t(width - col));
            ++row;
        }
        for (; row < height; ++row)
            std::memset(rowAddress(row), 0, size_t(rowLen));
    }
};

struct DecoderTables {
    uint16_t prefix[4096];
    uint8_t suffix[4096];
    uint16_t length[4096];
    std::vector<uint8_t> data; // the data bytes of every sub-block, in one run
    bool inUse = false;
};

struct TablesLease {
    DecoderTables& t;
    explicit TablesLease(DecoderTables& tables) : t(tables) { t.inUse = true; }
    ~TablesLease()
    {
        t.inUse = false;
        if (t.data.capacity() > (size_t(1) << 24))
            std::vector<uint8_t>().swap(t.data); // do not keep a huge buffer around
    }
};

} // namespace

void DecodeLZW(const QByteArray& codeStream, const TDibHeader& header, bool interlaced,
               const TLzwProgress& progress, bool& corrupted, uint8_t* pixels, int colorBits, bool tolerant)
{
    if (progress)
        progress(TProgressStage::psStarting, 0, QString());
    try {
        PixelSink out(pixels, header, interlaced);
        if (header.Width <= 0 || header.Height <= 0) {
            if (progress)
                progress(TProgressStage::psEnding, 100, QString());
            return;
        }
        const auto* s = reinterpret_cast<const uint8_t*>(codeStream.constData());
        const qint64 n = codeStream.size();
        bool outOfData = false;
        bool broken = false;
        int codeSize = n > 0 ? s[0] : 0;
        if (n > 0 && (codeSize < 2 || codeSize > 9)) {
            if (!tolerant)
                throw EInvalidGraphicOperation(QStringLiteral("GIF code size not in range 2 to 9"));
            corrupted = true;
            codeSize = std::clamp(codeSize, 2, 9);
        }
        // The data bytes of every sub-block, in one run (a short last block keeps what is there).
        // Work memory is kept per thread between frames (a nested decode gets its own).
        thread_local DecoderTables cached;
        std::unique_ptr<DecoderTables> ownTables;
        DecoderTables* tables = &cached;
        if (cached.inUse) {
            ownTables = std::make_unique<DecoderTables>();
            tables = ownTables.get();
        }
        TablesLease lease(*tables);
        std::vector<uint8_t>& data = tables->data;
        data.clear();
        data.reserve(size_t(std::max<qint64>(n, 1)));
        for (qint64 p = 1; p < n;) {
            int c = s[p++];
            if (c == 0)
                break;
            qint64 take = std::min<qint64>(c, n - p);
            data.insert(data.end(), s + p, s + p + take);
            p += take;
        }
        const size_t dataLen = data.size();
        const uint8_t* d = data.data();
        size_t pos = 0;
        uint64_t acc = 0;
        int accBits = 0;

        const int clear = 1 << codeSize, end = clear + 1;
        const int colorMask = (1 << std::clamp(colorBits, 1, 8)) - 1;
        int width = codeSize + 1, limit = 1 << width, next = clear + 2;
        bool full = false;
        uint16_t* prefix = tables->prefix;
        uint8_t* suffix = tables->suffix;
        uint16_t* length = tables->length;
        const bool fast8 = header.BitCount == 8;
        uint8_t stack[4097];
        int old = -1;
        uint8_t first = 0;
        int lastPercent = -1;

        if (n == 0)
            outOfData = true;
        while (!outOfData && !out.done()) {
            while (accBits < width && pos < dataLen) {
                acc |= uint64_t(d[pos++]) << accBits;
                accBits += 8;
            }
            if (accBits < width) {
                outOfData = true;
                break;
            }
            const int code = int(acc & ((1u << width) - 1));
            acc >>= width;
            accBits -= width;
            if (progress) {
                int percent = int(qint64(pos) * 100 / qint64(std::max<size_t>(dataLen, 1)));
                if (percent != lastPercent) {
                    lastPercent = percent;
                    progress(TProgressStage::psRunning, percent, QString());
                }
            }
            if (code == clear) {
                width = codeSize + 1;
                limit = 1 << width;
                next = clear + 2;
                full = false;
                old = -1;
                continue;
            }
            if (code == end)
                break;
            if (old < 0) {
                // The first code after a clear (or at the very start) must be a literal.
                if (code > end) {
                    broken = true;
                    break;
                }
                first = uint8_t(code & colorMask);
                out.put(&first, 1);
                old = code;
                continue;
            }
            int c;
            int len;
            bool extend = false;
            if (code < clear) {
                c = code;
                len = 1;
            } else if (code < next) {
                c = code;
                len = length[code];
            } else if (code == next && !full) {
                extend = true;
                c = old;
                len = (old < clear ? 1 : length[old]) + 1;
            } else {
                broken = true;
                break;
            }
            if (fast8 && out.col + len <= out.width) {
                // The whole string fits in the current row: written in place, last byte first.
                uint8_t* p = out.rowPtr + out.col + len - 1;
                if (extend)
                    *p-- = first;
                while (c > end) {
                    *p-- = suffix[c];
                    c = prefix[c];
                }
                first = uint8_t(c & colorMask);
                *p = first;
                out.col += len;
                if (out.col == out.width)
                    out.nextRow();
            } else {
                int sp = 4097;
                if (extend)
                    stack[--sp] = first;
                while (c > end) {
                    stack[--sp] = suffix[c];
                    c = prefix[c];
                }
                first = uint8_t(c & colorMask);
                stack[--sp] = first;
                out.put(stack + sp, 4097 - sp);
            }
            if (!full) {
                prefix[next] = uint16_t(old);
                suffix[next] = first;
                length[next] = uint16_t((old < clear ? 1 : length[old]) + 1);
                if (++next >= limit) {
                    if (width < 12) {
                        ++width;
                        limit <<= 1;
                    } else {
                        full = true;
                    }
                }
            }
            old = code;
        }
        const bool complete = out.done();
        out.clearRest();
        if (broken) {
            if (!tolerant)
                throw EInvalidGraphicOperation(QStringLiteral("GIF encoded data is corrupt"));
            corrupted = true;
        } else if (outOfData && !complete) {
            if (!tolerant)
                throw EInvalidGraphicOperation(QString::fromLatin1(platform::graphics::SReadError));
            corrupted = true;
        }
    } catch (const platform::Exception& e) {
        if (progress)
            progress(TProgressStage::psEnding, 0, e.Message);
        throw;
    }
    if (progress)
        progress(TProgressStage::psEnding, 100, QString());
}

namespace {

constexpr int kBucketBits = 13;
constexpr uint32_t kBuckets = 1u << kBucketBits;

// Packs codes into sub-blocks of 255 bytes.
struct CodeWriter {
    QByteArray& dest;
    uint64_t acc = 0;
    int accBits = 0;
    uint8_t block[256];
    int blockLen = 0;
    int width = 0;

    explicit CodeWriter(QByteArray& d) : dest(d) {}
    void write(int code)
    {
        acc |= uint64_t(code) << accBits;
        accBits += width;
        while (accBits >= 8) {
            block[blockLen++] = uint8_t(acc);
            acc >>= 8;
            accBits -= 8;
            if (blockLen == 255) {
                dest.append(char(255));
                dest.append(reinterpret_cast<const char*>(block), 255);
                blockLen = 0;
            }
        }
    }
    void flush()
    {
        if (accBits > 0) {
            block[blockLen++] = uint8_t(acc);
            acc = 0;
            accBits = 0;
        }
        if (blockLen > 0) {
            dest.append(char(blockLen));
            dest.append(reinterpret_cast<const char*>(block), blockLen);
            blockLen = 0;
        }
        dest.append(char(0));
    }
};

} // namespace

namespace {

// The string matcher of the encoder. Strings are found through hash buckets keyed by
// (prefix code, next pixel); each bucket holds key + 1 in its high bits and the string's code
// in its low 12 bits. The table (32 KB, cache-resident) stays at most half full: constant
// expected lookup time. It is kept per thread and left all-zero after each use, and only the
// buckets a run filled are cleared again, so a picture of many small frames does not pay for
// allocating and clearing the whole table per frame.
struct LzwTable {
    uint32_t buckets[kBuckets] = {};
    uint16_t used[4096];
    int usedCount = 0;

    void reset()
    {
        if (usedCount > int(kBuckets / 8)) {
            std::memset(buckets, 0, sizeof buckets);
        } else {
            for (int i = 0; i < usedCount; ++i)
                buckets[used[i]] = 0;
        }
        usedCount = 0;
    }
};

// The thread's table for one encoding, cleared again when the encoding ends (an exception from
// a progress handler included). An encoding started from inside a progress handler gets a
// table of its own.
class TableLease {
public:
    TableLease()
    {
        static thread_local std::unique_ptr<LzwTable> cached;
        static thread_local bool busy = false;
        if (!busy) {
            if (!cached)
                cached = std::make_unique<LzwTable>();
            table_ = cached.get();
            busy_ = &busy;
            busy = true;
        } else {
            own_ = std::make_unique<LzwTable>();
            table_ = own_.get();
        }
    }
    ~TableLease()
    {
        if (busy_) {
            table_->reset();
            *busy_ = false;
        }
    }
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    LzwTable& table() { return *table_; }

private:
    LzwTable* table_ = nullptr;
    std::unique_ptr<LzwTable> own_;
    bool* busy_ = nullptr;
};

// A multiplicative hash: the keys of one picture differ mostly in their low pixel bits and
// the prefix codes, which this spreads over all buckets (few probes per lookup).
inline uint32_t hashOf(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kBucketBits); }

struct LzwState {
    CodeWriter& w;
    LzwTable& t;
    int clear, end, initWidth;
    int last, limit;
    bool pending = false;
    int prefix = 0;

    LzwState(CodeWriter& writer, LzwTable& table, int init)
        : w(writer), t(table), clear(1 << (init - 1)), end(clear + 1), initWidth(init), last(end), limit(1 << init)
    {
    }

    // The string prefix + p is new (its free bucket is h): the prefix's code goes out and the
    // string gets the next code. Returns false when the table was full and started over (the
    // next pixel then begins a new string).
    bool miss(int p, uint32_t key, uint32_t h)
    {
        w.write(prefix);
        ++last;
        t.buckets[h] = ((key + 1) << 12) | uint32_t(last);
        t.used[t.usedCount++] = uint16_t(h);
        prefix = p;
        if (last == limit) {
            limit <<= 1;
            ++w.width;
        } else if (last >= 4094) {
            // The table is nearly full: write the pending one-pixel string and start over.
            w.write(prefix);
            w.write(clear);
            pending = false;
            last = end;
            w.width = initWidth;
            limit = 1 << initWidth;
            t.reset();
            return false;
        }
        return true;
    }
};

template <int Bpp>
inline int pixelAt(const uint8_t* row, int x)
{
    if constexpr (Bpp == 8)
        return row[x];
    else if constexpr (Bpp == 4)
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    else
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

template <int Bpp>
void encodeRow(LzwState& s, const uint8_t* row, int width)
{
    uint32_t* const buckets = s.t.buckets;
    int x = 0;
    while (x < width) {
        if (!s.pending) {
            s.prefix = pixelAt<Bpp>(row, x++);
            s.pending = true;
            continue;
        }
        // The prefix is kept in a register here: the code writer's byte stores could alias it.
        int prefix = s.prefix;
        for (; x < width; ++x) {
            const int p = pixelAt<Bpp>(row, x);
            const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(p);
            uint32_t h = hashOf(key);
            uint32_t entry;
            bool found = false;
            while ((entry = buckets[h]) != 0) {
                if ((entry >> 12) == key + 1) {
                    prefix = int(entry & 0xFFF);
                    found = true;
                    break;
                }
                h = (h + 1) & (kBuckets - 1);
            }
            if (found)
                continue;
            s.prefix = prefix;
            const bool goOn = s.miss(p, key, h);
            prefix = s.prefix;
            if (!goOn) {
                ++x;
                break;
            }
        }
        if (s.pending)
            s.prefix = prefix;
    }
}

} // namespace

void EncodeLZW(QByteArray& dest, const TDibHeader& header, bool interlaced, const TLzwProgress& progress,
               const uint8_t* pixels)
{
    if (progress)
        progress(TProgressStage::psStarting, 0, QString());
    const int bpp = header.BitCount;
    const int initWidth = bpp == 1 ? 3 : bpp + 1;
    dest.append(char(initWidth - 1));
    CodeWriter w(dest);
    w.width = initWidth;
    TableLease lease;
    LzwState s(w, lease.table(), initWidth);
    w.write(s.clear);
    const qint64 rowBytes = header.RowBytes();
    const int height = header.Height, width = header.Width;
    int y = 0, pass = 0;
    for (int done = 0; done < height; ++done) {
        const uint8_t* row = pixels + (header.TopDown ? qint64(y) : qint64(height) - 1 - y) * rowBytes;
        if (bpp == 8)
            encodeRow<8>(s, row, width);
        else if (bpp == 4)
            encodeRow<4>(s, row, width);
        else
            encodeRow<1>(s, row, width);
        if (progress)
            progress(TProgressStage::psRunning, int(qint64(done + 1) * 100 / height), QString());
        y = interlaced ? NextInterlacedRow(y, height, pass) : y + 1;
    }
    if (s.pending)
        w.write(s.prefix);
    w.write(s.end);
    w.flush();
    if (progress)
        progress(TProgressStage::psEnding, 100, QString());
}

} // namespace graphics

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
// expected lookup time.
struct LzwState {
    CodeWriter& w;
    int clear, end, initWidth;
    int last, limit;
    bool pending = false;
    int prefix = 0;
    std::vector<uint32_t> buckets;

    LzwState(CodeWriter& writer, int init)
        : w(writer), clear(1 << (init - 1)), end(clear + 1), initWidth(init), last(end), limit(1 << init),
          buckets(kBuckets, 0)
    {
    }

    static uint32_t hashOf(uint32_t key) { return ((key >> 12) ^ key) & (kBuckets - 1); }

    inline void add(int p)
    {
        if (!pending) {
            prefix = p;
            pending = true;
            return;
        }
        const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(p);
        uint32_t h = hashOf(key);
        uint32_t entry;
        while ((entry = buckets[h]) != 0) {
            if ((entry >> 12) == key + 1) {
                prefix = int(entry & 0xFFF);
                return;
            }
            h = (h + 1) & (kBuckets - 1);
        }
        w.write(prefix);
        ++last;
        buckets[h] = ((key + 1) << 12) | uint32_t(last);
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
            std::fill(buckets.begin(), buckets.end(), 0u);
        }
    }
};

template <int Bpp>
void encodeRow(LzwState& s, const uint8_t* row, int width)
{
    for (int x = 0; x < width; ++x) {
        if constexpr (Bpp == 8)
            s.add(row[x]);
        else if constexpr (Bpp == 4)
            s.add((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
        else
            s.add((row[x >> 3] >> (7 - (x & 7))) & 1);
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
    LzwState s(w, initWidth);
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

#include "graphics/ColorReduce.h"

#include "graphics/DrawUtils.h"
#include "platform/graphics/GraphicsErrors.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace graphics {

using platform::graphics::EInvalidGraphic;

std::array<uint8_t, 256> Levels4, Levels6, Levels7, Levels8;

namespace {

const int kLevel4[] = {0, 85, 170, 255};
const int kLevel6[] = {0, 51, 102, 153, 204, 255};
const int kLevel7[] = {0, 43, 85, 128, 170, 213, 255};
const int kLevel8[] = {0, 36, 73, 109, 146, 182, 219, 255};

void fillLevels(std::array<uint8_t, 256>& table, const int* levels, int count)
{
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        for (int i = 1; i < count; ++i)
            if (std::abs(levels[i] - v) < std::abs(levels[best] - v))
                best = i;
        table[v] = uint8_t(best);
    }
}

struct LevelsInit {
    LevelsInit() { InitColorReduce(); }
};

// Rows of a 24-bit image (blue, green, red bytes), top-down.
struct Pixels24 {
    QImage img;
    int width, height;
    explicit Pixels24(const QImage& source)
        : img(source.format() == QImage::Format_BGR888 ? source : source.convertToFormat(QImage::Format_BGR888)),
          width(img.width()), height(img.height())
    {
    }
    const uint8_t* row(int y) const { return img.constScanLine(y); }
};

constexpr int kPopularEntries = 2049;
constexpr int kPopularSlots = 5191;

int reducePopular(const Pixels24& px, uint8_t* out, QRgb palette[256])
{
    const int wanted = 256;
    struct Entry {
        uint32_t color;
        uint32_t count;
        int index;
    };
    std::vector<Entry> entries;
    entries.reserve(kPopularEntries);
    std::vector<uint16_t> slotTable(kPopularSlots);
    int mr = 255, mg = 255, mb = 255;

    auto find = [&](int r, int g, int b, bool add) -> int {
        uint32_t key = uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
        int s = int((int64_t(r + g) * (g + b) * (b + r)) % kPopularSlots);
        for (;;) {
            uint16_t e = slotTable[s];
            if (e == 0)
                break;
            if (entries[e - 1].color == key)
                return e - 1;
            if (++s == kPopularSlots)
                s = 0;
        }
        if (!add || int(entries.size()) >= kPopularEntries)
            return -1;
        entries.push_back({key, 0, -1});
        slotTable[s] = uint16_t(entries.size());
        return int(entries.size()) - 1;
    };

    for (;;) {
        entries.clear();
        std::fill(slotTable.begin(), slotTable.end(), 0);
        bool complete = true;
        uint32_t lastKey = 0xFFFFFFFF;
        int lastEntry = -1;
        for (int y = 0; y < px.height && complete; ++y) {
            const uint8_t* p = px.row(y);
            for (int x = 0; x < px.width; ++x, p += 3) {
                int b = p[0] & mb, g = p[1] & mg, r = p[2] & mr;
                uint32_t key = uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
                if (key != lastKey) {
                    lastEntry = find(r, g, b, true);
                    lastKey = key;
                    if (lastEntry < 0) {
                        complete = false;
                        break;
                    }
                }
                ++entries[lastEntry].count;
            }
        }
        if (complete)
            break;
        // Too many colours: drop the lowest bit of one channel (blue, red, green, blue, ...).
        if (mr < mg)
            mg = (mg << 1) & 0xFF;
        else if (mr <= mb)
            mb = (mb << 1) & 0xFF;
        else
            mr = (mr << 1) & 0xFF;
    }

    const int chosen = std::min<int>(wanted, int(entries.size()));
    for (int i = 0; i < chosen; ++i) {
        int best = -1;
        for (int e = 0; e < int(entries.size()); ++e)
            if (entries[e].index < 0 && (best < 0 || entries[e].count > entries[best].count))
                best = e;
        entries[best].index = i;
        entries[best].count = 0;
        uint32_t c = entries[best].color;
        palette[i] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    }
    for (int i = chosen; i < 256; ++i)
        palette[i] = qRgb(128, 128, 128);
    for (auto& e : entries) {
        if (e.index >= 0)
            continue;
        int r = e.color & 0xFF, g = (e.color >> 8) & 0xFF, b = (e.color >> 16) & 0xFF;
        long bestDist = LONG_MAX;
        for (int i = 0; i < wanted; ++i) {
            long dr = qRed(palette[i]) - r, dg = qGreen(palette[i]) - g, db = qBlue(palette[i]) - b;
            long d = dr * dr + dg * dg + db * db;
            if (d < bestDist) {
                bestDist = d;
                e.index = i;
            }
        }
    }
    uint32_t lastKey = 0xFFFFFFFF;
    uint8_t lastIndex = 0;
    for (int y = 0; y < px.height; ++y) {
        const uint8_t* p = px.row(y);
        uint8_t* o = out + qint64(y) * px.width;
        for (int x = 0; x < px.width; ++x, p += 3) {
            int b = p[0] & mb, g = p[1] & mg, r = p[2] & mr;
            uint32_t key = uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
            if (key != lastKey) {
                lastKey = key;
                lastIndex = uint8_t(entries[find(r, g, b, false)].index);
            }
            o[x] = lastIndex;
        }
    }
    return 0;
}

int reduceMedianCut(const Pixels24& px, uint8_t* out, QRgb palette[256])
{
    std::vector<uint32_t> hist(4096, 0);
    auto binOf = [](const uint8_t* p) { return ((p[2] >> 4) << 8) | ((p[1] >> 4) << 4) | (p[0] >> 4); };
    for (int y = 0; y < px.height; ++y) {
        const uint8_t* p = px.row(y);
        for (int x = 0; x < px.width; ++x, p += 3)
            ++hist[size_t(binOf(p))];
    }
    std::vector<int> order;
    for (int i = 0; i < 4096; ++i)
        if (hist[size_t(i)])
            order.push_back(i);
    auto channel = [](int bin, int ch) { return ch == 0 ? (bin >> 8) : ch == 1 ? ((bin >> 4) & 15) : (bin & 15); };
    struct Box {
        int start, end;
        int low[3];
        int ext[3];
    };
    std::vector<Box> boxes;
    if (!order.empty())
        boxes.push_back({0, int(order.size()), {0, 0, 0}, {255, 255, 255}});
    while (boxes.size() < 256) {
        int best = -1, bestCh = 0, bestExt = INT_MIN;
        for (int i = 0; i < int(boxes.size()); ++i) {
            if (boxes[size_t(i)].end - boxes[size_t(i)].start < 2)
                continue;
            for (int ch = 0; ch < 3; ++ch)
                if (boxes[size_t(i)].ext[ch] > bestExt) {
                    bestExt = boxes[size_t(i)].ext[ch];
                    best = i;
                    bestCh = ch;
                }
        }
        if (best < 0)
            break;
        Box& box = boxes[size_t(best)];
        // Equal channel values keep the bins' histogram order, so the split is reproducible.
        std::stable_sort(order.begin() + box.start, order.begin() + box.end,
                         [&](int a, int b) { return channel(a, bestCh) < channel(b, bestCh); });
        uint64_t total = 0;
        for (int i = box.start; i < box.end; ++i)
            total += hist[size_t(order[size_t(i)])];
        const uint64_t half = total / 2;
        uint64_t run = hist[size_t(order[size_t(box.start)])];
        int split = box.start + 1;
        while (split < box.end - 1 && run + hist[size_t(order[size_t(split)])] <= half) {
            run += hist[size_t(order[size_t(split)])];
            ++split;
        }
        Box nb = box;
        nb.start = split;
        box.end = split;
        const int top = box.low[bestCh] + box.ext[bestCh];
        box.ext[bestCh] = channel(order[size_t(split - 1)], bestCh) * 16 - box.low[bestCh];
        nb.low[bestCh] = channel(order[size_t(split)], bestCh) * 16;
        nb.ext[bestCh] = top - nb.low[bestCh];
        boxes.push_back(nb);
    }
    std::vector<uint8_t> boxOfBin(4096, 0);
    for (int k = 0; k < 256; ++k)
        palette[k] = qRgb(0, 0, 0);
    for (int k = 0; k < int(boxes.size()); ++k) {
        const Box& box = boxes[size_t(k)];
        int sum[3] = {0, 0, 0};
        const int n = box.end - box.start;
        for (int i = box.start; i < box.end; ++i) {
            int bin = order[size_t(i)];
            boxOfBin[size_t(bin)] = uint8_t(k);
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += channel(bin, ch) * 16 + 15;
        }
        int c[3];
        for (int ch = 0; ch < 3; ++ch)
            c[ch] = sum[ch] / n;
        if (c[0] <= 16 && c[1] <= 16 && c[2] <= 16)
            c[0] = c[1] = c[2] = 0;
        palette[k] = qRgb(c[0], c[1], c[2]);
    }
    for (int y = 0; y < px.height; ++y) {
        const uint8_t* p = px.row(y);
        uint8_t* o = out + qint64(y) * px.width;
        for (int x = 0; x < px.width; ++x, p += 3)
            o[x] = boxOfBin[size_t(binOf(p))];
    }
    return int(boxes.size());
}

} // namespace

void InitColorReduce()
{
    fillLevels(Levels4, kLevel4, 4);
    fillLevels(Levels6, kLevel6, 6);
    fillLevels(Levels7, kLevel7, 7);
    fillLevels(Levels8, kLevel8, 8);
}

int ReduceColors(const QImage& image, TReductionMethod method, uint8_t* out, QRgb palette[256])
{
    static LevelsInit init; // the tables are ready even before the start-up registration
    Pixels24 px(image);
    const int w = px.width, h = px.height;
    switch (method) {
    case rmPopular: return reducePopular(px, out, palette);
    case rmMedianCut: return reduceMedianCut(px, out, palette);
    case rmLevels784:
        for (int r = 0; r < 7; ++r)
            for (int g = 0; g < 8; ++g)
                for (int b = 0; b < 4; ++b)
                    palette[(r * 8 + g) * 4 + b] = qRgb(kLevel7[r], kLevel8[g], kLevel4[b]);
        for (int i = 224; i < 256; ++i)
            palette[i] = qRgb(128, 128, 128);
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = px.row(y);
            uint8_t* o = out + qint64(y) * w;
            for (int x = 0; x < w; ++x, p += 3)
                o[x] = uint8_t((Levels7[p[2]] * 8 + Levels8[p[1]]) * 4 + Levels4[p[0]]);
        }
        return 224;
    case rmLevels666:
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette[(r * 6 + g) * 6 + b] = qRgb(kLevel6[r], kLevel6[g], kLevel6[b]);
        for (int i = 216; i < 256; ++i)
            palette[i] = qRgb(128, 128, 128);
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = px.row(y);
            uint8_t* o = out + qint64(y) * w;
            for (int x = 0; x < w; ++x, p += 3)
                o[x] = uint8_t((Levels6[p[2]] * 6 + Levels6[p[1]]) * 6 + Levels6[p[0]]);
        }
        return 216;
    case rmChannelCycle:
        for (int i = 0; i < 64; ++i) {
            palette[i] = qRgb(4 * i, 0, 0);
            palette[64 + i] = qRgb(0, 4 * i, 0);
            palette[128 + i] = qRgb(0, 0, 4 * i);
            palette[192 + i] = qRgb(0, 0, 0);
        }
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = px.row(y);
            uint8_t* o = out + qint64(y) * w;
            const int r = h - 1 - y; // rows are counted from the bottom row
            for (int x = 0; x < w; ++x, p += 3) {
                switch ((r + x) % 3) {
                case 0: o[x] = uint8_t(p[2] >> 2); break;
                case 1: o[x] = uint8_t((p[1] >> 2) + 64); break;
                default: o[x] = uint8_t((p[0] >> 2) + 128); break;
                }
            }
        }
        return 0;
    case rmGray:
    default:
        for (int i = 0; i < 256; ++i)
            palette[i] = qRgb(i, i, i);
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = px.row(y);
            uint8_t* o = out + qint64(y) * w;
            for (int x = 0; x < w; ++x, p += 3)
                o[x] = uint8_t((77 * p[2] + 150 * p[1] + 29 * p[0]) >> 8);
        }
        return 0;
    }
}

QByteArray BitmapToPaletteStream(TBitmap& bitmap, TPixelFormat pf, TReductionMethod method)
{
    if (!bitmap.HandleAllocated())
        throw EInvalidGraphic(QString::fromLatin1(platform::graphics::SInvalidBitmap));
    if (bitmap.PixelFormat() == pf && method != rmGray)
        return bitmap.SaveToBmp();
    switch (pf) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf24bit: return platform::graphics::WriteBmp(bitmap.Image(), pf);
    case TPixelFormat::pf8bit: break;
    default: ShowNotImplemented();
    }
    const QImage& image = bitmap.Image();
    const int w = image.width(), h = image.height();
    std::unique_ptr<uint8_t[]> indices(new uint8_t[size_t(qint64(w) * h)]);
    QRgb palette[256];
    const int important = ReduceColors(image, method, indices.get(), palette);

    const qint64 rowBytes = ((qint64(w) * 8 + 31) / 32) * 4;
    const qint64 offset = 14 + 40 + 256 * 4;
    const qint64 imageSize = rowBytes * h;
    QByteArray out(int(offset + imageSize), '\0');
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = char(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, quint32(offset + imageSize));
    put32(10, quint32(offset));
    put32(14, 40);
    put32(18, quint32(w));
    put32(22, quint32(h));
    out[26] = 1;
    out[28] = 8;
    put32(34, quint32(imageSize));
    put32(50, quint32(important));
    for (int i = 0; i < 256; ++i) {
        out[54 + 4 * i] = char(qBlue(palette[i]));
        out[54 + 4 * i + 1] = char(qGreen(palette[i]));
        out[54 + 4 * i + 2] = char(qRed(palette[i]));
    }
    char* pixels = out.data() + offset;
    for (int y = 0; y < h; ++y)
        std::memcpy(pixels + (qint64(h) - 1 - y) * rowBytes, indices.get() + qint64(y) * w, size_t(w));
    return out;
}

} // namespace graphics

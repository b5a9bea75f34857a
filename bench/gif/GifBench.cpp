// gif-bench: speed of the GIF decoder and encoder against giflib on the same files, colour
// reduction of a 12-megapixel photo, and two command-line roads for looking at single files.
//
//   gif-bench [FILE.gif ...]                  decode/encode timing (default: the shared test GIFs),
//                                             then the memory of a picture of huge frames
//   gif-bench memory                          only the memory of a picture of huge frames
//   gif-bench speed [FILE.gif ...]            only the decode/encode timing
//   gif-bench decode FILE.gif OUTDIR          every frame as decoded: frame-NNN.indexes (one byte
//                                             per pixel), frame-NNN.rgba, frame-NNN.png, and a
//                                             line per frame on stdout
//   gif-bench encode IN.bmp OUT.gif METHOD    colour reduction (popular, mediancut, levels784,
//                                             levels666, channelcycle, gray) and the writer
#include "graphics/ColorReduce.h"
#include "graphics/GifPicture.h"
#include "graphics/Registrations.h"
#include "platform/base/Exception.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gif_lib.h>

#include "../common/PeakMemory.h"

#include <chrono>
#include <cstdio>
#include <cstring>

using namespace graphics;
using namespace platform::graphics;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// ---------------------------------------------------------------- giflib peer

struct MemReader {
    const QByteArray* data;
    int pos = 0;
};

int readMem(GifFileType* gif, GifByteType* buf, int n)
{
    auto* m = static_cast<MemReader*>(gif->UserData);
    int k = std::min(n, int(m->data->size()) - m->pos);
    std::memcpy(buf, m->data->constData() + m->pos, size_t(std::max(k, 0)));
    m->pos += std::max(k, 0);
    return std::max(k, 0);
}

int writeMem(GifFileType* gif, const GifByteType* buf, int n)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(buf), n);
    return n;
}

// Decodes every frame; returns the number of frames, -1 on failure.
int giflibDecode(const QByteArray& data)
{
    MemReader m{&data};
    int err = 0;
    GifFileType* gif = DGifOpen(&m, readMem, &err);
    if (!gif)
        return -1;
    int rc = DGifSlurp(gif);
    int frames = gif->ImageCount;
    DGifCloseFile(gif, &err);
    return rc == GIF_OK ? frames : -1;
}

struct Frame {
    int w, h;
    std::vector<uint8_t> idx;
    ColorMapObject* map;
};

QByteArray giflibEncode(const std::vector<Frame>& frames, int sw, int sh)
{
    QByteArray out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, writeMem, &err);
    EGifPutScreenDesc(gif, sw, sh, 8, 0, frames[0].map);
    for (const Frame& f : frames) {
        EGifPutImageDesc(gif, 0, 0, f.w, f.h, false, f.map);
        for (int y = 0; y < f.h; ++y)
            EGifPutLine(gif, const_cast<GifPixelType*>(f.idx.data() + size_t(y) * size_t(f.w)), f.w);
    }
    EGifCloseFile(gif, &err);
    return out;
}

// ---------------------------------------------------------------- our side

int ourDecode(const QByteArray& data)
{
    TGIFImage g;
    g.LoadFromBytes(data);
    for (int i = 0; i < g.FrameCount(); ++i)
        g.Frame(i)->GetBitmap();
    return g.FrameCount();
}

void benchFiles(const QStringList& files)
{
    std::printf("%-44s %7s %10s %10s %7s %10s %10s %7s\n", "file", "frames", "dec us", "giflib us", "ratio",
                "enc us", "giflib us", "ratio");
    double sumOurDec = 0, sumLibDec = 0, sumOurEnc = 0, sumLibEnc = 0;
    for (const QString& path : files) {
        QByteArray data = readAll(path);
        if (giflibDecode(data) <= 0)
            continue; // only files both decoders accept
        int frames;
        try {
            frames = ourDecode(data);
        } catch (const platform::Exception&) {
            continue;
        }
        const int reps = std::max(3, int(4000000 / std::max<qsizetype>(data.size(), 1)) / std::max(frames, 1));
        auto t = Clock::now();
        for (int i = 0; i < reps; ++i)
            ourDecode(data);
        const double ourDec = secondsSince(t) / reps;
        t = Clock::now();
        for (int i = 0; i < reps; ++i)
            giflibDecode(data);
        const double libDec = secondsSince(t) / reps;

        // Encoding the same decoded frames (indices and table) with both.
        TGIFImage g;
        g.LoadFromBytes(data);
        std::vector<Frame> lib;
        std::vector<std::unique_ptr<TBitmap>> bitmaps;
        for (int i = 0; i < g.FrameCount(); ++i) {
            TGIFFrame& f = *g.Frame(i);
            QImage img = DecodeFrameImage(f).convertToFormat(QImage::Format_Indexed8);
            if (img.isNull())
                continue;
            Frame fr{img.width(), img.height(), {}, nullptr};
            for (int y = 0; y < img.height(); ++y)
                fr.idx.insert(fr.idx.end(), img.constScanLine(y), img.constScanLine(y) + img.width());
            QVector<QRgb> table = img.colorTable();
            table.resize(256);
            std::vector<GifColorType> colours(256);
            for (int c = 0; c < 256; ++c)
                colours[size_t(c)] = {GifByteType(qRed(table[c])), GifByteType(qGreen(table[c])), GifByteType(qBlue(table[c]))};
            fr.map = GifMakeMapObject(256, colours.data());
            lib.push_back(std::move(fr));
            img.setColorTable(table);
            auto b = std::make_unique<TBitmap>();
            b->SetImage(img, TPixelFormat::pf8bit);
            bitmaps.push_back(std::move(b));
        }
        if (lib.empty())
            continue;
        const int encReps = std::max(2, reps / 2);
        t = Clock::now();
        for (int i = 0; i < encReps; ++i) {
            TGIFImage out;
            for (auto& b : bitmaps)
                out.AddFrame(b.get());
            WriteGIFBytes(out);
        }
        const double ourEnc = secondsSince(t) / encReps;
        t = Clock::now();
        for (int i = 0; i < encReps; ++i)
            giflibEncode(lib, g.CanvasWidth, g.CanvasHeight);
        const double libEnc = secondsSince(t) / encReps;
        for (auto& f : lib)
            GifFreeMapObject(f.map);

        sumOurDec += ourDec, sumLibDec += libDec, sumOurEnc += ourEnc, sumLibEnc += libEnc;
        std::printf("%-44s %7d %10.0f %10.0f %7.2f %10.0f %10.0f %7.2f\n",
                    qPrintable(QFileInfo(path).fileName().left(44)), frames, ourDec * 1e6, libDec * 1e6,
                    ourDec / libDec, ourEnc * 1e6, libEnc * 1e6, ourEnc / libEnc);
    }
    std::printf("%-44s %7s %10.0f %10.0f %7.2f %10.0f %10.0f %7.2f\n", "TOTAL (time ratio ours/giflib)", "",
                sumOurDec * 1e6, sumLibDec * 1e6, sumOurDec / sumLibDec, sumOurEnc * 1e6, sumLibEnc * 1e6,
                sumOurEnc / sumLibEnc);
}

// A 12-megapixel photo-like picture: a photo from the test files scaled up smoothly, with a
// little noise so that it holds many distinct colours like a camera picture.
QImage photo12mp()
{
    QString src = QStringLiteral(MV_SOURCE_DIR_FALLBACK);
    QImage base;
    for (const QString& p : {QStringLiteral("../shared/testdata/gif/wuffs/harvesters.gif"),
                             QStringLiteral("../shared/testdata/gif/wuffs/hibiscus.regular.gif")}) {
        QString full = QDir(src).filePath(p);
        if (QFile::exists(full)) {
            TGIFImage g;
            g.LoadFromFile(full);
            base = g.FrameBitmap()->Image().convertToFormat(QImage::Format_RGB32);
            break;
        }
    }
    if (base.isNull()) {
        base = QImage(400, 300, QImage::Format_RGB32);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x)
                base.setPixel(x, y, qRgb(x * 255 / 400, y * 255 / 300, (x ^ y) & 0xFF));
    }
    QImage img = base.scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_RGB32);
    uint32_t seed = 1;
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            int n = int((seed >> 16) % 7) - 3;
            QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) - n, 0, 255),
                           std::clamp(qBlue(c) + n / 2, 0, 255));
        }
    }
    return img;
}

void benchReduction()
{
    QImage img = photo12mp();
    TBitmap bmp;
    bmp.SetImage(img, TPixelFormat::pf24bit);
    std::printf("\ncolour reduction of a %dx%d photo (%.1f megapixels), target under 1 s each\n", img.width(),
                img.height(), img.width() * img.height() / 1e6);
    const char* names[] = {"rmPopular", "rmMedianCut", "rmLevels784", "rmLevels666", "rmChannelCycle", "rmGray"};
    for (int m = 0; m <= rmGray; ++m) {
        auto t = Clock::now();
        QByteArray out = BitmapToPaletteStream(bmp, TPixelFormat::pf8bit, TReductionMethod(m));
        std::printf("  %-16s %8.3f s  (%lld bytes)\n", names[m], secondsSince(t), static_cast<long long>(out.size()));
    }
}

// A hostile file: eight frames of 16384 x 16384 pixels (the largest frame read) in about 1.6 MB.
// Every frame decoded would take 2 GiB; the picture's budget for decoded frames keeps the peak
// under 700 MB (target), the least recently used frames decoded again when asked for.
void benchHugeFrames()
{
    QByteArray file;
    {
        TBitmap flat(16384, 16384, TPixelFormat::pf8bit);
        TGIFImage one;
        one.Assign(&flat);
        TGIFImage single;
        single.LoadFromBytes(one.SaveToBytes());
        TGIFImage eight;
        eight.Assign(&single);
        for (int i = 1; i < 8; ++i) {
            eight.FrameList.push_back(std::make_unique<TGIFFrame>(&eight));
            eight.Frame(i)->Assign(single.Frame(0));
        }
        file = eight.SaveToBytes();
    }
    std::printf("\npicture of 8 frames of 16384 x 16384 pixels, %.2f MB of file, decoded frames under a budget of "
                "%lld MiB\n",
                file.size() / 1e6, static_cast<long long>(TGIFImage().DecodedBudget >> 20));
    bench::ResetPeakMemory();
    const double before = bench::PeakMemoryMB();
    auto t = Clock::now();
    TGIFImage g;
    g.LoadFromBytes(file);
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < g.FrameCount(); ++i)
            g.Frame(i)->GetBitmap();
    const double seconds = secondsSince(t);
    const double peak = bench::PeakMemoryMB();
    std::printf("  every frame decoded twice in %.2f s; peak memory %.0f MB (%.0f MB before loading), "
                "decoded frames hold %.0f MB; target peak under 700 MB: %s\n",
                seconds, peak, before, g.DecodedBytes() / 1e6, peak < 700 ? "ok" : "MISSED");
}

int decodeCommand(const QString& file, const QString& outDir)
{
    QDir().mkpath(outDir);
    TGIFImage g;
    g.LoadFromFile(file);
    std::printf("screen %dx%d, %d frames, loop %s %d\n", g.CanvasWidth, g.CanvasHeight, g.FrameCount(),
                g.LoopEnabled ? "on" : "off", g.LoopCount);
    for (int i = 0; i < g.FrameCount(); ++i) {
        TGIFFrame& f = *g.Frame(i);
        QImage img = DecodeFrameImage(f);
        QImage idx = img.isNull() ? img : img.convertToFormat(QImage::Format_Indexed8, img.colorTable());
        const QString base = QDir(outDir).filePath(QStringLiteral("frame-%1").arg(i, 3, 10, QLatin1Char('0')));
        QFile ind(base + ".indexes"), rgba(base + ".rgba");
        ind.open(QIODevice::WriteOnly);
        rgba.open(QIODevice::WriteOnly);
        int transparentIndex = -1;
        for (const auto& e : f.Extensions)
            if (e->Kind == ekGraphicControl && (e->Header[1] & 1))
                transparentIndex = e->Header[4];
        const auto& t = f.Encoded->ColorTable;
        for (int y = 0; y < idx.height(); ++y) {
            const uchar* line = idx.constScanLine(y);
            ind.write(reinterpret_cast<const char*>(line), idx.width());
            for (int x = 0; x < idx.width(); ++x) {
                const int v = line[x];
                char px[4] = {0, 0, 0, 0};
                if (v < t.Count) {
                    px[0] = char(t.Colors[v][0]), px[1] = char(t.Colors[v][1]), px[2] = char(t.Colors[v][2]);
                    px[3] = char(v == transparentIndex ? 0 : 255);
                }
                rgba.write(px, 4);
            }
        }
        if (!idx.isNull())
            idx.save(base + ".png");
        QString trans = f.TransparentColor == clNone
                            ? QStringLiteral("none")
                            : QStringLiteral("#%1").arg(ColorToQRgb(f.TransparentColor) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        std::printf("frame %d: %dx%d at %d,%d delay %d ms disposal %d transparent %s index %d corrupted %s%s\n", i,
                    f.Encoded->Width, f.Encoded->Height, f.Origin.x(), f.Origin.y(), f.DelayMs, f.DisposalMode,
                    qPrintable(trans), transparentIndex, f.Corrupted ? "yes" : "no",
                    f.Interlaced ? " interlaced" : "");
    }
    return 0;
}

int encodeCommand(const QString& in, const QString& out, const QString& method)
{
    static const QStringList names{"popular", "mediancut", "levels784", "levels666", "channelcycle", "gray"};
    QString m = method.toLower();
    if (m.startsWith("rm"))
        m = m.mid(2);
    const int index = names.indexOf(m);
    if (index < 0) {
        std::fprintf(stderr, "unknown method %s (use %s)\n", qPrintable(method), qPrintable(names.join(", ")));
        return 2;
    }
    TBitmap bmp;
    bmp.LoadFromFile(in);
    auto t = Clock::now();
    QByteArray dib = BitmapToPaletteStream(bmp, TPixelFormat::pf8bit, TReductionMethod(index));
    const double reduce = secondsSince(t);
    TBitmap reduced;
    reduced.LoadFromBmp(dib);
    TGIFImage gif;
    gif.Assign(&reduced);
    t = Clock::now();
    gif.SaveToFile(out);
    std::printf("%s: %dx%d, reduced in %.3f s, written in %.3f s\n", qPrintable(out), bmp.Width(), bmp.Height(),
                reduce, secondsSince(t));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterPictureUnits();
    QStringList args = app.arguments().mid(1);
    try {
        if (args.value(0) == "decode" && args.size() == 3)
            return decodeCommand(args[1], args[2]);
        if (args.value(0) == "encode" && args.size() == 4)
            return encodeCommand(args[1], args[2], args[3]);
        if (args.value(0) == "memory") {
            benchHugeFrames();
            return 0;
        }
        if (args.value(0) == "decode" || args.value(0) == "encode") {
            std::fprintf(stderr, "usage: gif-bench decode FILE.gif OUTDIR | encode IN.bmp OUT.gif METHOD\n");
            return 2;
        }
        const bool speedOnly = args.value(0) == "speed";
        QStringList files = speedOnly ? args.mid(1) : args;
        if (files.isEmpty()) {
            QDirIterator it(QDir(QStringLiteral(MV_SOURCE_DIR_FALLBACK)).filePath("../shared/testdata/gif"),
                            {"*.gif"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
            files.sort();
        }
        benchFiles(files);
        if (speedOnly)
            return 0;
        benchReduction();
        benchHugeFrames();
    } catch (const platform::Exception& e) {
        std::fprintf(stderr, "error: %s\n", qPrintable(e.Message));
        return 1;
    }
    return 0;
}

// Benchmark of the archive's own deflate, inflate and CRC-32 against zlib (raw deflate,
// memLevel 9) and libdeflate, in one run on the same inputs. Also a small tool to try the
// codecs on any file:
//
//   deflate_bench [--reps N] [FILE|DIR ...]     the table (default: bench/corpus/)
//   deflate_bench compress LEVEL IN OUT          raw deflate of IN at LEVEL
//   deflate_bench decompress IN OUT              inflate of a raw deflate stream
//   deflate_bench inflate [--reps N] PATH...   inflate alone: ours, zlib, libdeflate
//   deflate_bench worst                          level 9 on 1 MiB worst-case inputs
//   deflate_bench outputs [FILE|DIR ...]         size and CRC-32 of our output at levels 1-9,
//                                                to compare an encoder change against (diff)
#include "archive/Deflate.h"
#include "archive/Inflate.h"
#include "archive/ZipCrc.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes readAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(2);
    }
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const Bytes& b)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(2);
    }
}

Bytes zlibDeflate(const Bytes& in, int level)
{
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&s, uLong(in.size())) + 16);
    s.next_in = const_cast<Bytes::value_type*>(in.data());
    s.avail_in = uInt(in.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    int r = deflate(&s, Z_FINISH);
    if (r != Z_STREAM_END) {
        std::fprintf(stderr, "zlib deflate failed\n");
        std::exit(3);
    }
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

bool zlibInflate(const Bytes& in, Bytes& out, size_t expected)
{
    out.resize(expected);
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytes::value_type*>(in.data());
    s.avail_in = uInt(in.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    int r = inflate(&s, Z_FINISH);
    out.resize(s.total_out);
    inflateEnd(&s);
    return r == Z_STREAM_END;
}

Bytes libdeflateDeflate(const Bytes& in, int level)
{
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(c, in.size()));
    out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

bool libdeflateInflate(const Bytes& in, Bytes& out, size_t expected)
{
    out.resize(expected);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t got = 0;
    const bool ok = libdeflate_deflate_decompress(d, in.data(), in.size(), out.data(), out.size(), &got)
        == LIBDEFLATE_SUCCESS;
    libdeflate_free_decompressor(d);
    out.resize(got);
    return ok;
}

// Our inflate as extraction runs it (one TUnzipIO for the run, the CRC of the output kept),
// writing into a buffer of the expected size as the peers do.
class MemorySource : public archive::TUnzipSource {
public:
    explicit MemorySource(const Bytes& b) : b_(b) {}
    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        count = std::min(count, b_.size() - pos_);
        std::memcpy(buffer, b_.data() + pos_, count);
        pos_ += count;
        return count;
    }

private:
    const Bytes& b_;
    size_t pos_ = 0;
};

bool oursInflate(archive::TUnzipIO& io, const Bytes& in, Bytes& out, size_t expected)
{
    out.resize(expected);
    MemorySource src(in);
    archive::TBufferSink sink(out.data(), out.size());
    io.StartMember(&src, &sink, in.size(), expected);
    return archive::Inflate(io) == archive::TInflateResult::Ok && io.BytesWritten == expected;
}

double bestSeconds(int reps, const std::function<void()>& f)
{
    double best = 1e30;
    for (int i = 0; i < reps; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

// The best time of each function over reps rounds, the functions taking turns within a round,
// so that a slow spell of a shared machine falls on all of them alike.
std::vector<double> bestInterleaved(int reps, const std::vector<std::function<void()>>& fs)
{
    std::vector<double> best(fs.size(), 1e30);
    for (int i = 0; i < reps; ++i)
        for (size_t k = 0; k < fs.size(); ++k)
            best[k] = std::min(best[k], bestSeconds(1, fs[k]));
    return best;
}

double mbps(size_t bytes, double s) { return s > 0 ? double(bytes) / 1e6 / s : 0; }

std::vector<std::string> inputFiles(const std::vector<std::string>& paths)
{
    std::vector<std::string> files;
    for (const auto& p : paths) {
        if (fs::is_directory(p)) {
            std::vector<std::string> in;
            for (const auto& e : fs::directory_iterator(p))
                if (e.is_regular_file() && e.path().filename() != "MANIFEST.txt")
                    in.push_back(e.path().string());
            std::sort(in.begin(), in.end());
            files.insert(files.end(), in.begin(), in.end());
        } else {
            files.push_back(p);
        }
    }
    return files;
}

int outputs(const std::vector<std::string>& paths)
{
    for (const auto& path : inputFiles(paths)) {
        const Bytes in = readAll(path);
        for (int level = 1; level <= 9; ++level) {
            const Bytes out = archive::DeflateBuffer(in.data(), in.size(), level);
            std::printf("%s %d %zu %08x\n", fs::path(path).filename().string().c_str(), level, out.size(),
                        unsigned(crc32(0, out.data(), uInt(out.size()))));
            std::fflush(stdout);
        }
    }
    return 0;
}

// Inflate alone, for quick comparisons: ours (with the CRC), zlib, libdeflate.
int inflateOnly(const std::vector<std::string>& paths, int reps)
{
    for (const auto& path : inputFiles(paths)) {
        const Bytes in = readAll(path);
        const Bytes z = zlibDeflate(in, 6);
        Bytes a, b, c;
        archive::TUnzipIO io;
        const std::vector<double> t = bestInterleaved(reps, {[&] { oursInflate(io, z, a, in.size()); },
                                                             [&] { zlibInflate(z, b, in.size()); },
                                                             [&] { libdeflateInflate(z, c, in.size()); }});
        const double tOurs = t[0], tZlib = t[1], tLib = t[2];
        std::printf("%-16s ours %7.1f  zlib %7.1f  libdeflate %7.1f MB/s  %5.2fx %5.2fx%s\n",
                    fs::path(path).filename().string().c_str(), mbps(in.size(), tOurs), mbps(in.size(), tZlib),
                    mbps(in.size(), tLib), tZlib / tOurs, tLib / tOurs, a == in ? "" : "  MISMATCH");
    }
    return 0;
}

int table(const std::vector<std::string>& paths, int reps)
{
    const std::vector<std::string> files = inputFiles(paths);
    if (files.empty()) {
        std::fprintf(stderr, "no inputs (run scripts/make-corpus first, or name files)\n");
        return 2;
    }
    bool allOk = true;
    std::printf("%-16s %9s %3s | %10s %10s %7s | %10s %10s %7s | %7s %7s | %10s %10s %7s\n", "input", "size",
                "lvl", "ours MB/s", "ours size", "ratio", "zlib MB/s", "zlib size", "ratio", "size%", "speed",
                "libdeflate", "size", "speed");
    struct Inf { std::string name; size_t size; double ours, zlib, libdeflate; };
    std::vector<Inf> infl;
    // Seconds over the whole corpus, for the summary: [level] ours, zlib, libdeflate.
    double sum[10][3] = {};
    double inflSum[3] = {}, crcSum[3] = {};
    size_t totalBytes = 0;
    for (const auto& path : files) {
        Bytes in = readAll(path);
        totalBytes += in.size();
        std::string name = fs::path(path).filename().string();
        Bytes zlib6;
        for (int level : {1, 6, 9}) {
            Bytes ours, theirs, lib;
            double tOurs = bestSeconds(reps, [&] { ours = archive::DeflateBuffer(in.data(), in.size(), level); });
            double tZlib = bestSeconds(reps, [&] { theirs = zlibDeflate(in, level); });
            double tLib = bestSeconds(reps, [&] { lib = libdeflateDeflate(in, level); });
            sum[level][0] += tOurs;
            sum[level][1] += tZlib;
            sum[level][2] += tLib;
            if (level == 6)
                zlib6 = theirs;
            Bytes check;
            if (!zlibInflate(ours, check, in.size()) || check != in) {
                std::printf("!! %s level %d: zlib cannot decode our stream back\n", name.c_str(), level);
                allOk = false;
            }
            std::printf("%-16s %9zu %3d | %10.1f %10zu %6.2f%% | %10.1f %10zu %6.2f%% | %+6.2f%% %6.2fx | %10.1f %10zu %6.2fx\n",
                        name.c_str(), in.size(), level, mbps(in.size(), tOurs), ours.size(),
                        100.0 * double(ours.size()) / double(std::max<size_t>(in.size(), 1)),
                        mbps(in.size(), tZlib), theirs.size(),
                        100.0 * double(theirs.size()) / double(std::max<size_t>(in.size(), 1)),
                        100.0 * (double(ours.size()) - double(theirs.size())) / double(std::max<size_t>(theirs.size(), 1)),
                        tZlib / tOurs, mbps(in.size(), tLib), lib.size(), tLib / tOurs);
            std::fflush(stdout);
        }
        Bytes a, b, c;
        archive::TUnzipIO io;
        const std::vector<double> t = bestInterleaved(reps, {[&] { oursInflate(io, zlib6, a, in.size()); },
                                                             [&] { zlibInflate(zlib6, b, in.size()); },
                                                             [&] { libdeflateInflate(zlib6, c, in.size()); }});
        const double tOurs = t[0], tZlib = t[1], tLib = t[2];
        inflSum[0] += tOurs;
        inflSum[1] += tZlib;
        inflSum[2] += tLib;
        if (a != in || b != in || c != in) {
            std::printf("!! %s: inflate mismatch\n", name.c_str());
            allOk = false;
        }
        infl.push_back({name, in.size(), mbps(in.size(), tOurs), mbps(in.size(), tZlib), mbps(in.size(), tLib)});
        volatile uint32_t sink = 0;
        crcSum[0] += bestSeconds(reps, [&] { sink = archive::UpdateCrc32(0, in.data(), in.size()); });
        crcSum[1] += bestSeconds(reps, [&] { sink = uint32_t(crc32(0, in.data(), uInt(in.size()))); });
        crcSum[2] += bestSeconds(reps, [&] { sink = libdeflate_crc32(0, in.data(), in.size()); });
        (void)sink;
    }
    std::printf("\ninflate of zlib level-6 streams, output MB/s (ours includes the CRC-32 of the output)\n");
    std::printf("%-16s %9s | %10s %10s %10s | %7s %7s\n", "input", "size", "ours", "zlib", "libdeflate", "/zlib",
                "/libdefl");
    for (const auto& i : infl)
        std::printf("%-16s %9zu | %10.1f %10.1f %10.1f | %6.2fx %6.2fx\n", i.name.c_str(), i.size, i.ours, i.zlib,
                    i.libdeflate, i.ours / i.zlib, i.ours / i.libdeflate);
    std::printf("\nwhole corpus (%zu bytes), speed of ours against each peer (above 1: ours is faster)\n", totalBytes);
    std::printf("%-28s | %9s %9s %9s | %8s %10s\n", "measure", "ours MB/s", "zlib", "libdeflate", "/zlib",
                "/libdeflate");
    auto row = [&](const char* what, const double* t) {
        std::printf("%-28s | %9.1f %9.1f %9.1f | %7.2fx %9.2fx\n", what, mbps(totalBytes, t[0]), mbps(totalBytes, t[1]),
                    mbps(totalBytes, t[2]), t[1] / t[0], t[2] / t[0]);
    };
    row("deflate level 1", sum[1]);
    row("deflate level 6", sum[6]);
    row("deflate level 9", sum[9]);
    row("inflate of level-6 streams", inflSum);
    row("CRC-32", crcSum);
    return allOk ? 0 : 1;
}

// Inputs meant to make a lazy matcher with long chains slow.
std::vector<std::pair<std::string, Bytes>> worstInputs()
{
    const size_t n = 1 << 20;
    std::vector<std::pair<std::string, Bytes>> v;
    v.push_back({"one byte", Bytes(n, 'a')});
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = "ab"[i % 2];
    v.push_back({"period 2", b});
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t("abcdefg"[i % 7]);
    v.push_back({"period 7", b});
    uint32_t x = 12345;
    auto rnd = [&] { x = x * 1103515245u + 12345u; return x >> 16; };
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t('a' + (rnd() & 1));
    v.push_back({"random a/b", b});
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t('a' + rnd() % 4);
    v.push_back({"random 4 letters", b});
    // Runs of one byte with varying lengths: many candidates, none reaching the nice length.
    for (size_t i = 0; i < n;) {
        size_t run = 100 + rnd() % 150;
        for (size_t k = 0; k < run && i < n; ++k) b[i++] = 'a';
        if (i < n) b[i++] = 'b';
    }
    v.push_back({"runs 100-250", b});
    for (size_t i = 0; i < n;) {
        size_t run = 3 + rnd() % 40;
        for (size_t k = 0; k < run && i < n; ++k) b[i++] = 0;
        if (i < n) b[i++] = uint8_t(1 + rnd() % 3);
    }
    v.push_back({"zero runs 3-43", b});
    Bytes pat(300);
    for (auto& c : pat) c = uint8_t(rnd());
    for (size_t i = 0; i < n; ++i) b[i] = pat[i % 300];
    v.push_back({"period 300", b});
    return v;
}

int worst()
{
    std::printf("%-18s | %10s %10s | %10s %10s\n", "1 MiB input", "ours s", "ours size", "zlib s", "zlib size");
    bool ok = true;
    for (const auto& input : worstInputs()) {
        const auto& name = input.first; // (named apart: clang 14 lambdas cannot capture bindings)
        const Bytes& in = input.second;
        Bytes ours, theirs;
        double t = bestSeconds(1, [&] { ours = archive::DeflateBuffer(in.data(), in.size(), 9); });
        double tz = bestSeconds(1, [&] { theirs = zlibDeflate(in, 9); });
        Bytes check;
        if (!zlibInflate(ours, check, in.size()) || check != in)
            ok = false;
        std::printf("%-18s | %10.3f %10zu | %10.3f %10zu%s\n", name.c_str(), t, ours.size(), tz, theirs.size(),
                    t >= 1.0 ? "  SLOW" : "");
    }
    return ok ? 0 : 1;
}

// The paths among args[from..], and the count of a "--reps N" among them into reps.
std::vector<std::string> pathsAndReps(const std::vector<std::string>& args, size_t from, int& reps)
{
    std::vector<std::string> paths;
    for (size_t i = from; i < args.size(); ++i) {
        if (args[i] == "--reps" && i + 1 < args.size())
            reps = std::max(1, std::atoi(args[++i].c_str()));
        else
            paths.push_back(args[i]);
    }
    return paths;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "compress" && args.size() == 4) {
        Bytes in = readAll(args[2]);
        writeAll(args[3], archive::DeflateBuffer(in.data(), in.size(), std::atoi(args[1].c_str())));
        return 0;
    }
    if (!args.empty() && args[0] == "decompress" && args.size() == 3) {
        Bytes in = readAll(args[1]), out;
        archive::TInflateResult r = archive::InflateBuffer(in.data(), in.size(), out);
        writeAll(args[2], out);
        if (r != archive::TInflateResult::Ok) {
            std::fprintf(stderr, "inflate failed (%d)\n", int(r));
            return 1;
        }
        return 0;
    }
    if (!args.empty() && args[0] == "worst")
        return worst();
    if (!args.empty() && args[0] == "inflate") {
        int reps = 5;
        const std::vector<std::string> paths = pathsAndReps(args, 1, reps);
        return inflateOnly(paths, reps);
    }
    if (!args.empty() && args[0] == "outputs") {
        std::vector<std::string> paths(args.begin() + 1, args.end());
        if (paths.empty())
            paths.push_back(std::string(MV_SOURCE_DIR) + "/bench/corpus");
        return outputs(paths);
    }
    int reps = 3;
    std::vector<std::string> paths = pathsAndReps(args, 0, reps);
    if (paths.empty())
        paths.push_back(std::string(MV_SOURCE_DIR) + "/bench/corpus");
    return table(paths, reps);
}

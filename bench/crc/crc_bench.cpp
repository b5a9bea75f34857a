// CRC-32 throughput of the archive component against zlib's crc32, on the same buffers in
// one run. Also the byte-at-a-time register step the encryption uses, for scale.
#include "archive/ZipCrc.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

const std::vector<unsigned char>& buffer(size_t size)
{
    static std::vector<unsigned char> b;
    if (b.size() != size) {
        b.resize(size);
        std::mt19937 rng(42);
        for (auto& c : b)
            c = static_cast<unsigned char>(rng());
    }
    return b;
}

void BM_ArchiveCrc32(benchmark::State& state)
{
    const auto& b = buffer(size_t(state.range(0)));
    uint32_t crc = 0;
    for (auto _ : state) {
        crc = archive::UpdateCrc32(0, b.data(), b.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
    if (crc != uint32_t(crc32(0, b.data(), uInt(b.size()))))
        state.SkipWithError("CRC differs from zlib's");
}

void BM_ZlibCrc32(benchmark::State& state)
{
    const auto& b = buffer(size_t(state.range(0)));
    for (auto _ : state) {
        uLong crc = crc32(0, b.data(), uInt(b.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_ByteStepCrc32(benchmark::State& state)
{
    const auto& b = buffer(size_t(state.range(0)));
    for (auto _ : state) {
        uint32_t r = 0xFFFFFFFFu;
        for (unsigned char c : b)
            r = archive::CRC32Step(c, r);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

} // namespace

// 16000 bytes: the component's chunk size for stored data; 1 MiB: a large block.
BENCHMARK(BM_ArchiveCrc32)->Arg(16000)->Arg(1 << 20);
BENCHMARK(BM_ZlibCrc32)->Arg(16000)->Arg(1 << 20);
BENCHMARK(BM_ByteStepCrc32)->Arg(1 << 20);

BENCHMARK_MAIN();

// SPDX-License-Identifier: GPL-3.0-or-later
// Opening an image: a plain read of a 10,000,000-byte full flash beside loading it into the
// image buffer, identifying it and searching all 18 slots.
//
//   build/default/bench/search-bench --benchmark_min_time=2
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/file_io.h"
#include "core/image.h"
#include "image_builder.h"
#include "search/slot_search.h"

namespace {

using namespace carillon;
using namespace carillon::fixtures;

// A full flash of exactly ten million bytes with every slot present, long header tables
// (stale copies above the valid blocks), written once per process.
const std::string& ImagePath() {
    static const std::string path = [] {
        FlashImage image = StandardFlash(kImageBufferSize);
        for (int round = 0; round < 3; ++round) {
            for (int n = 1; n <= kSlotCount; ++n) {
                const Sector sector = n <= 10 ? Sector::A : (n % 2 ? Sector::B : Sector::C);
                Block b = SlotBlock(n, Pattern(900, static_cast<std::uint8_t>(n)),
                                    round < 2 ? kStatusStale : kStatusValid);
                b.length = 1000;
                image.Add(sector, b);
            }
        }
        const std::string p = (std::filesystem::temp_directory_path() /
                               ("carillon-search-bench-" + std::to_string(::getpid()) + ".bin"))
                                  .string();
        WriteFile(p, image.Build());
        return p;
    }();
    return path;
}

// The baseline: the same file read whole with the standard library.
void BM_PlainRead(benchmark::State& state) {
    const std::string& path = ImagePath();
    std::vector<char> bytes(kImageBufferSize);
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kImageBufferSize));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

// What opening an image costs: the whole read into the buffer, identification, all passes.
void BM_LoadIdentifySearch(benchmark::State& state) {
    const std::string& path = ImagePath();
    ImageBuffer buffer;
    SlotTable slots{};
    InitialiseSlotTable(slots);
    for (auto _ : state) {
        buffer.Load(path);
        const ImageInfo info = Identify(path, buffer.Image());
        const SlotRows rows = SearchSlots(buffer.Image(), info.kind, slots);
        benchmark::DoNotOptimize(rows.data());
    }
    if (slots[0].Found != 1 || slots[17].Found != 1) {
        state.SkipWithError("the benchmark image lost its slots");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kImageBufferSize));
}
BENCHMARK(BM_LoadIdentifySearch)->Unit(benchmark::kMillisecond);

// The search alone, on bytes already in memory.
void BM_SearchOnly(benchmark::State& state) {
    const Bytes image = ReadWholeFile(ImagePath(), kImageBufferSize);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    for (auto _ : state) {
        const SlotRows rows = SearchFullFlash(image, ImageKind::FullFlash, slots);
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_SearchOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(ImagePath().c_str());
    return 0;
}

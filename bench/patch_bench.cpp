// SPDX-License-Identifier: GPL-3.0-or-later
// An 18-slot single-patch run over a 10,000,000-byte full flash, beside a plain read of the
// image plus a write of the same patch text, and the window's check that the image is unchanged;
// and the workbench's apply and revert of the largest patch a diff of two such images gives.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/file_check.h"
#include "core/file_io.h"
#include "image_builder.h"
#include "patch/make_patch.h"
#include "patch/patch_request.h"
#include "search/slot_search.h"
#include "vkp/apply.h"
#include "vkp/diff.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;

struct Setup {
    std::string dir;
    std::string image;
    Bytes bytes;
    SlotTable slots{};
    std::string files[kSlotCount];

    Setup() {
        char name[] = "/tmp/carillon-bench-XXXXXX";
        dir = ::mkdtemp(name);
        image = dir + "/flash.bin";
        fixtures::FlashImage flash = fixtures::StandardFlash(10'000'000);
        for (int n = 1; n <= kSlotCount; ++n) {
            const Sector sector = IsStandardMelody(n) ? Sector::A : Sector::B;
            flash.Add(sector, fixtures::SlotBlock(
                                  n, fixtures::Pattern(1000, static_cast<std::uint8_t>(n))));
            files[n - 1] =
                dir + "/slot" + std::to_string(n) + std::string(SlotDef(n).fileExtension);
            fixtures::WriteFile(files[n - 1],
                                fixtures::Pattern(1500 + 37 * static_cast<std::size_t>(n),
                                                  static_cast<std::uint8_t>(n + 50)));
        }
        bytes = flash.Build();
        fixtures::WriteFile(image, bytes);
        InitialiseSlotTable(slots);
        SearchSlots(bytes, ImageKind::FullFlash, slots);
    }
    ~Setup() { fs::remove_all(dir); }

    // One "Go" of the window in single-patch V_KLay mode: every slot into one file.
    std::size_t Run(Bytes& working, std::string& last) {
        std::size_t written = 0;
        for (int n = 1; n <= kSlotCount; ++n) {
            TMelody& slot = slots[static_cast<std::size_t>(RowOfSlot(n))];
            PatchChoice choice;
            choice.imagePath = image;
            choice.row = RowOfSlot(n);
            choice.slot = slot;
            choice.caption = "New Name " + std::to_string(n % 10);
            choice.replacementPath = files[n - 1];
            choice.nameStored = true;  // the flash holds the stock names
            PatchCall call;
            call.request = MakePatchRequest(choice);
            call.patchBaseName = "All_Patches";
            call.vkpFolder = dir;
            const PatchOutcome out = MakePatch(call, working, last, {});
            written += out.block.size();
        }
        return written;
    }
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

void BM_SinglePatchRun18Slots(benchmark::State& state) {
    Setup& s = Shared();
    Bytes working = s.bytes;
    std::string last;
    for (auto _ : state) {
        std::remove((s.dir + "/All_Patches.vkp").c_str());
        benchmark::DoNotOptimize(s.Run(working, last));
    }
}
BENCHMARK(BM_SinglePatchRun18Slots)->Unit(benchmark::kMillisecond);

void BM_ReadImageAndWritePatch(benchmark::State& state) {
    Setup& s = Shared();
    Bytes working = s.bytes;
    std::string last;
    s.Run(working, last);
    const Bytes patch = ReadWholeFile(s.dir + "/All_Patches.vkp", kImageBufferSize);
    const std::string target = s.dir + "/plain.vkp";
    for (auto _ : state) {
        const Bytes image = ReadWholeFile(s.image, kImageBufferSize);
        benchmark::DoNotOptimize(image.data());
        std::remove(target.c_str());
        WritePatchFile(target,
                       std::string_view(reinterpret_cast<const char*>(patch.data()), patch.size()),
                       PatchFileMode::Append);
    }
}
BENCHMARK(BM_ReadImageAndWritePatch)->Unit(benchmark::kMillisecond);

// The window's check before each run that the opened 10,000,000-byte image still holds the
// bytes it read: one read of the file compared piece by piece, beside a plain read above.
void BM_ImageStillHoldsWhatWasRead(benchmark::State& state) {
    Setup& s = Shared();
    const Bytes read = ReadWholeFile(s.image, kImageBufferSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FileStillHolds(s.image, read));
    }
}
BENCHMARK(BM_ImageStillHoldsWhatWasRead)->Unit(benchmark::kMillisecond);

// The 18-slot patch text, as one run writes it.
std::string RunText(Setup& s) {
    Bytes working = s.bytes;
    std::string last;
    std::remove((s.dir + "/All_Patches.vkp").c_str());
    s.Run(working, last);
    const Bytes patch = ReadWholeFile(s.dir + "/All_Patches.vkp", kImageBufferSize);
    return std::string(patch.begin(), patch.end());
}

// `carillon-cli check` without the file reads: read the text, check every record.
void BM_ReadAndCheck18SlotPatch(benchmark::State& state) {
    Setup& s = Shared();
    const std::string text = RunText(s);
    for (auto _ : state) {
        const VkpParse parsed = ReadVkp(text);
        benchmark::DoNotOptimize(
            CheckVkp(parsed.records, ImageKind::FullFlash, s.bytes).counts.applies);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadAndCheck18SlotPatch)->Unit(benchmark::kMillisecond);

// The reader alone over one run's text: what a written patch's self-check spends reading it.
void BM_Read18SlotPatch(benchmark::State& state) {
    Setup& s = Shared();
    const std::string text = RunText(s);
    for (auto _ : state) {
        VkpSource source(text);
        VkpRecord record;
        std::size_t records = 0;
        while (source.Next(record)) {
            ++records;
        }
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Read18SlotPatch)->Unit(benchmark::kMicrosecond);

// The self-check of one run's written text: read it and replay it onto the bytes it was built
// from (the whole image here; a run replays each block onto its own ranges).
void BM_ReplayImage18SlotPatch(benchmark::State& state) {
    Setup& s = Shared();
    const std::string text = RunText(s);
    for (auto _ : state) {
        Bytes image = s.bytes;
        const VkpParse parsed = ReadVkp(text);
        benchmark::DoNotOptimize(ReplayVkp(parsed.records, ImageKind::FullFlash, image));
    }
}
BENCHMARK(BM_ReplayImage18SlotPatch)->Unit(benchmark::kMillisecond);

// Two 10,000,000-byte full flashes that differ in every third byte, and the patch between them:
// 625,000 records of 16 bytes, about 47 MB of text.
struct DiffSetup {
    Bytes oldImage = fixtures::Pattern(10'000'000, 7);
    Bytes newImage;
    std::string text;
    DiffSetup() : newImage(oldImage) {
        for (std::size_t i = 0; i < newImage.size(); i += 3) {
            newImage[i] = static_cast<std::uint8_t>(newImage[i] ^ 0x55);
        }
        text = DiffImages(ImageKind::FullFlash, oldImage, newImage, {}).text;
    }
};

DiffSetup& SharedDiff() {
    static DiffSetup setup;
    return setup;
}

// `carillon-cli apply` (range 0) and `apply --revert` (range 1) without the file reads and
// the write.
void BM_ApplyWholeImageDiff(benchmark::State& state) {
    DiffSetup& d = SharedDiff();
    const bool revert = state.range(0) == 1;
    const Bytes& from = revert ? d.newImage : d.oldImage;
    for (auto _ : state) {
        VkpSource source{std::string_view(d.text)};
        const ApplyResult r =
            ApplyVkp(source, ImageKind::FullFlash, from,
                     {revert ? JudgeDirection::Revert : JudgeDirection::Apply, false});
        if (!r.Writes()) {
            state.SkipWithError(English(r.Refusal()).c_str());
        }
        benchmark::DoNotOptimize(r.image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.text.size()));
}
BENCHMARK(BM_ApplyWholeImageDiff)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace carillon

BENCHMARK_MAIN();

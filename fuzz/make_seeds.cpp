// Writes seed inputs for the fuzzers, made by the fixture builders: OUTDIR/<fuzzer>/seed-N.
#include <cstdio>
#include <filesystem>
#include <string>

#include "image_builder.h"
#include "patch/patch_builder.h"

using namespace carillon;
using namespace carillon::fixtures;

namespace {

void Seed(const std::filesystem::path& dir, const std::string& fuzzer, int n, const Bytes& bytes) {
    std::filesystem::create_directories(dir / fuzzer);
    WriteFile((dir / fuzzer / ("seed-" + std::to_string(n))).string(), bytes);
}

// The top `part` bytes of each sector of a built image, in the fuzzer's input layout.
Bytes TableInput(const FlashImage& image, std::uint8_t mode, std::size_t part) {
    const Bytes bytes = image.Build();
    Bytes input{mode, 0, 0, 0};
    for (int s = 0; s < 3; ++s) {
        const auto end = static_cast<std::size_t>(SectorEnd(image.kind(), static_cast<Sector>(s)));
        input.insert(input.end(), bytes.begin() + static_cast<std::ptrdiff_t>(end - part),
                     bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: carillon-fuzz-seeds OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];

    EepImage eep;
    eep.Slot(1, Pattern(20, 1)).Slot(11, Pattern(9, 2), 0xFFFF).RawRecord(286, 0, {});
    Seed(dir, "fuzz_eep_search", 1, eep.Build());
    Seed(dir, "fuzz_eep_search", 2, Bytes(8, 0));

    for (ImageKind kind : {ImageKind::FullFlash, ImageKind::EepromBin}) {
        FlashImage image(kind);
        // Blocks whose data sit inside the table region the fuzzer controls.
        for (int n : {1, 2, 11, 12}) {
            Block b = SlotBlock(n, Pattern(4, static_cast<std::uint8_t>(n)));
            const Sector sector = n <= 10 ? Sector::A : (n == 11 ? Sector::B : Sector::C);
            b.address = static_cast<std::uint32_t>(FlashOffsetToPhoneAddress(
                ImageOffsetToFlashOffset(kind, SectorEnd(kind, sector) - 200)));
            b.length = 40;
            b.writeData = false;
            image.Add(sector, b);
        }
        image.Add(Sector::A, SlotBlock(3, {}, kStatusStale));
        const auto mode = static_cast<std::uint8_t>(kind == ImageKind::EepromBin ? 1 : 0);
        Seed(dir, "fuzz_flash_search", mode + 1, TableInput(image, mode, 256));
    }
    // The ".vkp" reader: kind byte, 64 image bytes, then the text. One block as the builder
    // writes it, and one text with every construct users meet.
    {
        Bytes small = Pattern(64, 7);
        PatchRequest r;
        r.kind = ImageKind::EepromEep;
        r.row = 10;
        r.caption = "User Melody 1";
        r.slot.Address = 8;
        r.slot.EndAddress = 40;
        r.startText = "000008";
        r.endText = "000028";
        r.replacementPath = "tune.si3";
        const BuiltPatch built = BuildPatchFromBytes(r, small, Pattern(20, 3));
        Bytes input{2};
        input.insert(input.end(), small.begin(), small.end());
        input.insert(input.end(), built.block->text.begin(), built.block->text.end());
        Seed(dir, "fuzz_vkp_reader", 1, input);
        const std::string text =
            "; comment\r\n# comment\n// comment\r/* block\r\n comment */\r\n"
            "#pragma enable old_equal_ff\r\n0x000010: AABB ; after\r\n"
            "#pragma disable old_equal_ff\n+10\n000002: 0102 0304 // after\r\n-0x2\r\n"
            "000004: 05 # after\r\n+0\r\n#pragma enable other_name\r\n"
            "000006: 0102030405 0A0B\r\n";
        Bytes hand{0};
        hand.insert(hand.end(), small.begin(), small.end());
        hand.insert(hand.end(), text.begin(), text.end());
        Seed(dir, "fuzz_vkp_reader", 2, hand);
    }
    return 0;
}

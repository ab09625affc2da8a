// SPDX-License-Identifier: GPL-3.0-or-later
// Writes seed inputs for the fuzzers, made by the fixture builders: OUTDIR/<fuzzer>/seed-N.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
            "000004: 05 # after\r\n+0\r\n#pragma enable undo\r\n"
            "000006: 0102030405 0A0B\r\n";
        Bytes hand{0};
        hand.insert(hand.end(), small.begin(), small.end());
        hand.insert(hand.end(), text.begin(), text.end());
        Seed(dir, "fuzz_vkp_reader", 2, hand);

        // A few lines of each form of the language, one seed per form.
        const std::vector<std::string> forms = {
            "00000000: FFFFFFFF DEAD,0x92,0i+018\r\n000004: DE,AD,926E 0102,0304\r\n",
            "000001: 0x1,0x123 0xDEAD926E,0x0\r\n000010: 0xFFFFFFFFFFFFFFFF\r\n",
            "000001: 0n1,0n100000001\r\n000003: 0n11111111 0n0\r\n",
            "000001: 0i18,0i04660 0i+127,0i-001,0i-00001\r\n000008: 0i18446744073709551615\r\n",
            "000000: \"ab\\0\\12\\377\\x7F\\t\\\"\" 'A\\u0410\\xFF'\r\n"
            "000010: \"\\/\\/ a\\\r\nb\",\"\xC0\" ;c\r\n",
            "#pragma enable old_equal_ff\r\n000001: 11\r\n#pragma disable old_equal_ff\r\n"
            "#pragma disable warn_no_old_on_apply\r\n#pragma disable undo\r\n"
            "#pragma enable warn_if_new_exist_on_apply\r\n000002: 22\r\n",
            "*/\r\n/* a\r\n b */ 000001: AA BB /* c */\r\n+10\r\n000001: CC\r\n-0x8\r\n"
            "000001: 0102 0304\r\n+0\r\n/* open\r\n",
        };
        int n = 3;
        for (const std::string& form : forms) {
            Bytes input{static_cast<std::uint8_t>(n % 3)};
            input.insert(input.end(), small.begin(), small.end());
            input.insert(input.end(), form.begin(), form.end());
            Seed(dir, "fuzz_vkp_reader", n, input);
            // The in-order check: kind, image length, image, text.
            Bytes check{static_cast<std::uint8_t>(n % 3), 32};
            check.insert(check.end(), small.begin(), small.begin() + 32);
            check.insert(check.end(), form.begin(), form.end());
            Seed(dir, "fuzz_vkp_check", n, check);
            ++n;
        }
        const std::string overlaps =
            "000000: 0708 AABB\r\n000001: BB CC\r\n000000: AA 01\r\n000004: 99\r\n"
            "000002: 0909 0A0A\r\n000040: 00 11\r\n";
        Bytes check{2, 32};
        check.insert(check.end(), small.begin(), small.begin() + 32);
        check.insert(check.end(), overlaps.begin(), overlaps.end());
        Seed(dir, "fuzz_vkp_check", 1, check);
        Bytes fromBuilder{2, 64};
        fromBuilder.insert(fromBuilder.end(), small.begin(), small.end());
        fromBuilder.insert(fromBuilder.end(), built.block->text.begin(), built.block->text.end());
        Seed(dir, "fuzz_vkp_check", 2, fromBuilder);
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the synthetic demo full flash (no real firmware) to the given path. With --all-slots
// it writes instead a 10,000,000-byte full flash with all 18 slots to DIR/flash.bin and one
// replacement file per slot beside it (DIR/slotN.EXT), for timing whole jobs. With --kinds it
// writes an image of each kind (DIR/demo.bin, DIR/eeprom.bin, DIR/phone.eep), replacement files
// (DIR/slotN.EXT) and a small picture (DIR/picture.bmp), for comparing front ends.
#include <cstdio>
#include <exception>
#include <string>

#include "core/file_io.h"
#include "core/slots.h"
#include "image_builder.h"

namespace {

void WriteAllSlots(const std::string& dir) {
    using namespace carillon;
    fixtures::FlashImage flash = fixtures::StandardFlash(10'000'000);
    for (int n = 1; n <= kSlotCount; ++n) {
        const auto seed = static_cast<std::uint8_t>(n);
        flash.Add(IsStandardMelody(n) ? Sector::A : Sector::B,
                  fixtures::SlotBlock(n, fixtures::Pattern(1000, seed)));
        fixtures::WriteFile(
            dir + "/slot" + std::to_string(n) + std::string(SlotDef(n).fileExtension),
            fixtures::Pattern(900 + 3 * static_cast<std::size_t>(n), seed));
    }
    fixtures::WriteFile(dir + "/flash.bin", flash.Build());
}

// A 16 x 16 picture, 24 bits per pixel: a BMP file any browser or image viewer shows.
carillon::Bytes SmallBmp() {
    constexpr std::uint32_t side = 16, row = side * 3, pixels = row * side, size = 54 + pixels;
    carillon::Bytes bmp(size, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, side);
    put32(22, side);
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, pixels);
    for (std::uint32_t y = 0; y < side; ++y) {
        for (std::uint32_t x = 0; x < side; ++x) {
            const std::size_t at = 54 + y * row + x * 3;
            bmp[at] = static_cast<std::uint8_t>(x * 16);      // blue
            bmp[at + 1] = static_cast<std::uint8_t>(y * 16);  // green
            bmp[at + 2] = (x + y) % 2 == 0 ? 0xC0 : 0x40;     // red
        }
    }
    return bmp;
}

void WriteKinds(const std::string& dir) {
    using namespace carillon;
    fixtures::WriteFile(dir + "/demo.bin", fixtures::DemoFlash());
    fixtures::FlashImage eeprom(ImageKind::EepromBin);
    fixtures::EepImage eep;
    for (int n = 1; n <= kSlotCount; ++n) {
        const auto seed = static_cast<std::uint8_t>(n + 40);
        const fixtures::Block block = fixtures::SlotBlock(n, fixtures::Pattern(800, seed));
        eeprom.Add(IsStandardMelody(n) ? Sector::A : Sector::B, block);
        eep.Slot(n, fixtures::Pattern(700, seed));
        fixtures::WriteFile(
            dir + "/slot" + std::to_string(n) + std::string(SlotDef(n).fileExtension),
            fixtures::Pattern(500 + 7 * static_cast<std::size_t>(n), static_cast<std::uint8_t>(n)));
    }
    fixtures::WriteFile(dir + "/eeprom.bin", eeprom.Build());
    fixtures::WriteFile(dir + "/phone.eep", eep.Build());
    fixtures::WriteFile(dir + "/picture.bmp", SmallBmp());
}
constexpr const char* kUsage =
    "usage: carillon-demo-image OUTPUT | --all-slots DIR | --kinds DIR\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool allSlots = argc == 3 && std::string(argv[1]) == "--all-slots";
    const bool kinds = argc == 3 && std::string(argv[1]) == "--kinds";
    const char* named = allSlots || kinds ? argv[2] : argc == 2 ? argv[1] : nullptr;
    if ((argc != 2 && !allSlots && !kinds) || named == nullptr || named[0] == '\0') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // A name starting with "-" is an option mistyped, not a file to create.
    if (named[0] == '-') {
        std::fprintf(stderr, "carillon-demo-image: %s: an output name may not start with \"-\"\n%s",
                     carillon::EscapeForTerminal(named).c_str(), kUsage);
        return 2;
    }
    try {
        if (kinds) {
            WriteKinds(argv[2]);
        } else if (allSlots) {
            WriteAllSlots(argv[2]);
        } else {
            carillon::fixtures::WriteFile(argv[1], carillon::fixtures::DemoFlash());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "carillon-demo-image: %s\n", e.what());
        return 1;
    }
    return 0;
}

// Writes seed inputs for the fuzzers, made by the fixture builders: OUTDIR/<fuzzer>/seed-N.
#include <cstdio>
#include <filesystem>
#include <string>

#include "image_builder.h"

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
    return 0;
}

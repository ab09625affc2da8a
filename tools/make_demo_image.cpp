// Writes the synthetic demo full flash (no real firmware) to the given path. With --all-slots
// it writes instead a 10,000,000-byte full flash with all 18 slots to DIR/flash.bin and one
// replacement file per slot beside it (DIR/slotN.EXT), for timing whole jobs.
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

constexpr const char* kUsage = "usage: carillon-demo-image OUTPUT | --all-slots DIR\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool allSlots = argc == 3 && std::string(argv[1]) == "--all-slots";
    const char* named = allSlots ? argv[2] : argc == 2 ? argv[1] : nullptr;
    if ((argc != 2 && !allSlots) || named == nullptr || named[0] == '\0') {
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
        if (allSlots) {
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

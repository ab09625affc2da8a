// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "search/partial_image.h"
#include "search/slot_search.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

using fixtures::Pattern;
using fixtures::SlotBlock;

class PartialRead : public test_support::TempDirTest {};

// Identification and the search, as the window makes them on the whole image.
std::string Describe(const std::string& path, ByteView image) {
    const ImageInfo info = Identify(path, image);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    const SlotRows rows = SearchSlots(image, info.kind, slots);
    std::string text = info.phone + "/" + info.version + "/" + std::string(KindText(info.kind));
    for (std::size_t i = 0; i < slots.size(); ++i) {
        text += "|" + std::to_string(slots[i].Address) + "," + std::to_string(slots[i].Capacity) +
                "," + std::to_string(slots[i].ContentSize) + "," + English(rows[i].size);
    }
    return text;
}

TEST_F(PartialRead, SearchesSeeTheSameBytesAsOnTheWholeImage) {
    const Bytes demo = fixtures::DemoFlash();
    fixtures::FlashImage eeprom(ImageKind::EepromBin);
    eeprom.Add(Sector::A, SlotBlock(2, Pattern(50, 2)))
        .Add(Sector::C, SlotBlock(12, Pattern(9, 4)));
    fixtures::EepImage eep;
    eep.Slot(1, Pattern(20, 1)).Slot(11, Pattern(9, 2), 0xFFFF).RawRecord(286, 0, {});
    const std::vector<std::pair<std::string, Bytes>> images{
        {"demo.bin", demo},
        {"cut-in-sector-a.bin", Bytes(demo.begin(), demo.begin() + 0x3A0000 + 0x1F000)},
        {"cut-in-table.bin", Bytes(demo.begin(), demo.begin() + 0x3C0000 - 30)},
        {"header-only.bin", Bytes(demo.begin(), demo.begin() + 781)},
        {"eeprom.bin", eeprom.Build()},
        {"e.eep", eep.Build()},
        {"empty.bin", {}},
    };
    for (const auto& [name, bytes] : images) {
        const std::string path = Write(name, bytes);
        const InputFile file(path);
        const ImageKind kind = DecideKind(path, bytes.size());
        // Bytes never read show as 0x00 or 0xA5: neither may change a result.
        for (const int fill : {0x00, 0xA5}) {
            PartialImage partial(file, static_cast<std::uint8_t>(fill));
            ReadForSearch(partial, kind);
            EXPECT_EQ(Describe(path, partial.View()), Describe(path, bytes)) << name << fill;
        }
    }
    const InputFile demoFile(Path("demo.bin"));
    PartialImage partial(demoFile);
    ReadForSearch(partial, ImageKind::FullFlash);
    EXPECT_LT(partial.BytesRead(), demo.size() / 4);

    // One partial image reused for every file, in either order of sizes, reads as a fresh one.
    PartialImage reused(demoFile, 0xA5);
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [name, bytes] : images) {
            const InputFile file(Path(name));
            reused.Reset(file);
            const ImageKind kind = DecideKind(Path(name), bytes.size());
            ReadForSearch(reused, kind);
            PartialImage fresh(file, 0xA5);
            ReadForSearch(fresh, kind);
            EXPECT_TRUE(std::equal(reused.View().begin(), reused.View().end(), fresh.View().begin(),
                                   fresh.View().end()))
                << name << pass;
        }
    }
}

}  // namespace
}  // namespace carillon

// Full flashes whose sector-A header table is damaged in one way each: the slot searches
// still find the slots, but slot 4's block must not be written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/image_builder.h"

namespace carillon::test_support {

struct DamagedTable {
    std::string name;
    Bytes image;
    std::string reason;  // what info --json says about slot 4
};

// Slots 1, 4 and 10 with content in sector A, slot 11 in sector B; `damage` writes slot 4.
template <typename Damage>
Bytes FlashWith(Damage damage) {
    using fixtures::Pattern;
    using fixtures::SlotBlock;
    fixtures::FlashImage image = fixtures::StandardFlash();
    image.Add(Sector::A, SlotBlock(1, Pattern(700, 1)));
    damage(image);
    image.Add(Sector::A, SlotBlock(10, Pattern(500, 10)));
    image.Add(Sector::B, SlotBlock(11, Pattern(900, 11)));
    return image.Build();
}

inline std::uint32_t PhoneAddress(std::int64_t imageOffset) {
    return static_cast<std::uint32_t>(FlashOffsetToPhoneAddress(imageOffset));
}

inline std::vector<DamagedTable> DamagedTables() {
    using fixtures::Block;
    using fixtures::FlashImage;
    using fixtures::Pattern;
    using fixtures::SlotBlock;
    std::vector<DamagedTable> cases;
    // Slot 4's header points at slot 10's data, which follow it.
    cases.push_back({"two slots", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, Pattern(400, 4));
                         b.address = PhoneAddress(f.NextDataOffset(Sector::A));
                         b.writeData = false;
                         f.Add(Sector::A, b);
                     }),
                     "overlaps slot 10"});
    // Slot 4 and block 300 (no slot's) share bytes.
    cases.push_back({"another block", FlashWith([](FlashImage& f) {
                         const std::int64_t at = f.NextDataOffset(Sector::A);
                         Block other;
                         other.number = 300;
                         other.content = Pattern(4000, 30);
                         f.Add(Sector::A, other);
                         Block b = SlotBlock(4, Pattern(400, 4));
                         b.address = PhoneAddress(at + 50);
                         f.Add(Sector::A, b);
                     }),
                     "overlaps block 300 of sector A"});
    // Slot 4's data lie in the header table of sector A.
    cases.push_back({"a table", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, Pattern(10, 4));
                         b.length = 20;
                         b.address = PhoneAddress(SectorEnd(ImageKind::FullFlash, Sector::A) - 40);
                         b.writeData = false;
                         f.Add(Sector::A, b);
                     }),
                     "overlaps the header table of sector A"});
    // Slot 4's data lie in sector B's data area.
    cases.push_back({"leaving the sector", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, Pattern(400, 4));
                         b.address =
                             PhoneAddress(SectorStart(ImageKind::FullFlash, Sector::B) + 0x8000);
                         f.Add(Sector::A, b);
                     }),
                     "leaves its sector"});
    // A block length of 0: the prefix alone runs into slot 10.
    cases.push_back({"shorter than the prefix", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, {});
                         b.length = 0;
                         b.writeData = false;
                         f.Add(Sector::A, b);
                     }),
                     "is shorter than its 3-byte prefix"});
    return cases;
}

}  // namespace carillon::test_support

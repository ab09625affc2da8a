// SPDX-License-Identifier: GPL-3.0-or-later
// Full flashes whose sector-A header table is damaged in one way each, beside tables that only
// look damaged: the slot searches find the slots in every one; slot 4's block may be written
// only where `reason` is empty, and sector A relocated only where `relocates` is set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/image_builder.h"

namespace carillon::test_support {

struct DamagedTable {
    std::string name;
    Bytes image;
    std::string reason;      // what info --json says about slot 4; empty when it is sound
    bool relocates = false;  // whether sector A may be packed
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

// A block that is no slot's, `length` bytes of data.
inline fixtures::Block Opaque(std::uint16_t number, std::uint16_t length) {
    fixtures::Block b;
    b.number = number;
    b.length = length;
    b.content = fixtures::Pattern(length, static_cast<std::uint8_t>(number));
    return b;
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
                     "overlaps slot 10", false});
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
                     "overlaps block 300 of sector A", false});
    // Slot 4's data lie in the header table of sector A.
    cases.push_back({"a table", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, Pattern(10, 4));
                         b.length = 20;
                         b.address = PhoneAddress(SectorEnd(ImageKind::FullFlash, Sector::A) - 40);
                         b.writeData = false;
                         f.Add(Sector::A, b);
                     }),
                     "overlaps the header table of sector A", false});
    // Slot 4's data lie in sector B's data area.
    cases.push_back({"leaving the sector", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, Pattern(400, 4));
                         b.address =
                             PhoneAddress(SectorStart(ImageKind::FullFlash, Sector::B) + 0x8000);
                         f.Add(Sector::A, b);
                     }),
                     "leaves its sector", false});
    // A block length of 0: writing slot 4's prefix would run into slot 10. Relocation moves
    // the empty block as no bytes.
    cases.push_back({"shorter than the prefix", FlashWith([](FlashImage& f) {
                         Block b = SlotBlock(4, {});
                         b.length = 0;
                         b.writeData = false;
                         f.Add(Sector::A, b);
                     }),
                     "is shorter than its 3-byte prefix", true});
    // Blocks that are no slot's hold exactly their bytes: a 1-byte block just before slot 4
    // and an empty one just after it (where slot 10 starts) leave both slots whole.
    cases.push_back({"short blocks beside it", FlashWith([](FlashImage& f) {
                         f.Add(Sector::A, Opaque(300, 1));
                         f.Add(Sector::A, SlotBlock(4, Pattern(400, 4)));
                         f.Add(Sector::A, Opaque(301, 0));
                     }),
                     "", true});
    // An empty entry whose address is slot 4's start.
    cases.push_back({"an empty block at its start", FlashWith([](FlashImage& f) {
                         f.Add(Sector::A, Opaque(302, 0));
                         f.Add(Sector::A, SlotBlock(4, Pattern(400, 4)));
                     }),
                     "", true});
    // Blocks 300 and 301 (no slot's) hold one byte together: slot 4 is whole, but packing
    // would give that byte twice.
    cases.push_back({"two blocks sharing a byte", FlashWith([](FlashImage& f) {
                         const std::int64_t at = f.NextDataOffset(Sector::A);
                         f.Add(Sector::A, Opaque(300, 2));
                         Block b = Opaque(301, 1);
                         b.address = PhoneAddress(at + 1);
                         f.Add(Sector::A, b);
                         f.Add(Sector::A, SlotBlock(4, Pattern(400, 4)));
                     }),
                     "", false});
    return cases;
}

}  // namespace carillon::test_support

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "fixtures/image_builder.h"
#include "search/block_soundness.h"
#include "search/slot_search.h"
#include "support/damaged_tables.h"

namespace carillon {
namespace {

struct Judged {
    SlotTable slots{};
    SoundnessTable sound{};
    const TMelody& slot(int n) const { return slots[static_cast<std::size_t>(n - 1)]; }
    std::string reason(int n) const {
        return BlockDamageText(sound[static_cast<std::size_t>(n - 1)], false);
    }
};

Judged Judge(const Bytes& image, ImageKind kind) {
    Judged j;
    InitialiseSlotTable(j.slots);
    SearchSlots(image, kind, j.slots);
    j.sound = CheckSlotSoundness(image, kind, j.slots);
    return j;
}

TEST(BlockSoundness, ADamagedTableMarksTheSlotItStillFinds) {
    for (const test_support::DamagedTable& c : test_support::DamagedTables()) {
        SCOPED_TRACE(c.name);
        const Judged j = Judge(c.image, ImageKind::FullFlash);
        EXPECT_EQ(j.slot(4).Found, 1);
        EXPECT_EQ(j.reason(4), c.reason);
        EXPECT_EQ(j.reason(1), "");
        EXPECT_EQ(j.reason(11), "");
        if (c.reason.empty()) {  // short blocks that are no slot's touch no slot
            EXPECT_EQ(j.reason(10), "");
        }
    }
}

TEST(BlockSoundness, TheOverlappedSlotIsUnsoundToo) {
    const Judged j = Judge(test_support::DamagedTables()[0].image, ImageKind::FullFlash);
    EXPECT_EQ(j.reason(10), "overlaps slot 4");
    EXPECT_EQ(BlockDamageText(j.sound[9]), "overlaps slot 4 (Pop 2)");
    // A short slot block claims its whole prefix, into slot 10 after it.
    const test_support::DamagedTable shortSlot = test_support::DamagedTables()[4];
    ASSERT_EQ(shortSlot.name, "shorter than the prefix");
    EXPECT_EQ(Judge(shortSlot.image, ImageKind::FullFlash).reason(10), "overlaps slot 4");
}

TEST(BlockSoundness, AHealthyImageIsSoundWithStaleCopiesAndMissingSlots) {
    const Bytes flash = fixtures::DemoFlash();
    for (const ImageKind kind : {ImageKind::FullFlash, ImageKind::EepromBin}) {
        const Bytes image = kind == ImageKind::FullFlash
                                ? flash
                                : Bytes(flash.begin() + kEepromImageBase, flash.end());
        const Judged j = Judge(image, kind);
        for (int n = 1; n <= kSlotCount; ++n) {
            EXPECT_TRUE(j.sound[static_cast<std::size_t>(n - 1)].sound()) << n;
        }
    }
}

TEST(BlockSoundness, AUserSlotFoundInSectorBIsNotOverlappedByItsOldCopyInSectorC) {
    // Sector C's block 5386 points at the same bytes; it is not the slot's, but another block.
    fixtures::FlashImage f = fixtures::StandardFlash();
    const std::int64_t at = f.NextDataOffset(Sector::B);
    f.Add(Sector::B, fixtures::SlotBlock(11, fixtures::Pattern(100, 1)));
    fixtures::Block old = fixtures::SlotBlock(11, fixtures::Pattern(100, 1));
    old.address = test_support::PhoneAddress(at);
    f.Add(Sector::C, old);
    const Judged j = Judge(f.Build(), ImageKind::FullFlash);
    EXPECT_EQ(j.reason(11), "overlaps block 5386 of sector C");
}

TEST(BlockSoundness, AnEepRecordOnlyFailsByLeavingTheFile) {
    fixtures::EepImage eep;
    eep.Slot(1, fixtures::Pattern(10, 1));
    eep.Slot(2, fixtures::Pattern(10, 2), {}, 40);
    eep.RawRecord(static_cast<std::uint16_t>(SlotDef(3).blockNumber), 3403,
                  fixtures::BlockData(10, 33, fixtures::Pattern(10, 3), 20));
    const Judged j = Judge(eep.Build(), ImageKind::EepromEep);
    EXPECT_EQ(j.slot(3).Found, 1);
    EXPECT_EQ(j.reason(1), "");
    EXPECT_EQ(j.reason(2), "");
    EXPECT_EQ(j.reason(3), "leaves the file");
}

TEST(BlockSoundness, TheSectorSweepFindsTheSameFirstDamagedBlockAsTheOneByOneCheck) {
    std::mt19937 rng(20261208);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    for (int round = 0; round < 600; ++round) {
        const BlockExtent extent = round % 2 == 0 ? BlockExtent::Claimed : BlockExtent::Held;
        fixtures::FlashImage f(ImageKind::EepromBin);
        for (int i = pick(0, 12); i > 0; --i) {
            fixtures::Block b;
            b.number = static_cast<std::uint16_t>(pick(285, 300));
            b.length = static_cast<std::uint16_t>(pick(0, 3) == 0 ? pick(0, 3) : pick(0, 0x3000));
            // Some blocks crowd into a few bytes, so that short and empty ones meet.
            b.address = 0xFA0000u + static_cast<std::uint32_t>(pick(0, 2) == 0 ? pick(0x100, 0x108)
                                                                               : pick(0, 0x20010));
            b.writeData = false;
            f.Add(pick(0, 3) == 0 ? Sector::B : Sector::A, b);
        }
        const Bytes image = f.Build();
        const BlockMap map = MapBlocks(image, ImageKind::EepromBin);
        std::optional<std::int64_t> expected;
        for (std::size_t i = 0; i < map.blocks.size() && !expected; ++i) {
            if (map.blocks[i].sector == Sector::A &&
                !CheckBlock(map, i, ImageKind::EepromBin, image.size(), extent).sound()) {
                expected = map.blocks[i].header;
            }
        }
        const std::optional<DamagedBlock> found =
            FindDamagedBlock(map, Sector::A, ImageKind::EepromBin, image.size(), extent);
        ASSERT_EQ(found.has_value(), expected.has_value()) << round;
        if (found) {
            EXPECT_EQ(found->block.header, *expected) << round;
        }
    }
}

}  // namespace
}  // namespace carillon

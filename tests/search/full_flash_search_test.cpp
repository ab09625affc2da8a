// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "image_builder.h"
#include "search/block_header.h"
#include "search/slot_search.h"

namespace carillon {
namespace {

using fixtures::Block;
using fixtures::FlashImage;
using fixtures::Pattern;
using fixtures::SlotBlock;

struct Searched {
    SlotTable slots{};
    SlotRows rows{};
    const TMelody& slot(int n) const { return slots[static_cast<std::size_t>(n - 1)]; }
    const SlotRow& row(int n) const { return rows[static_cast<std::size_t>(n - 1)]; }
};

Searched Search(const Bytes& image, ImageKind kind) {
    Searched s;
    InitialiseSlotTable(s.slots);
    s.rows = SearchFullFlash(image, kind, s.slots);
    return s;
}

TEST(FullFlashSearch, FindsEachSlotInItsSectorWithCellTexts) {
    FlashImage image = fixtures::StandardFlash();
    const std::int64_t data = image.NextDataOffset(Sector::A);
    image.Add(Sector::A, SlotBlock(1, Pattern(500, 1)));
    image.Add(Sector::B, SlotBlock(11, Pattern(300, 2)));
    const Searched s = Search(image.Build(), ImageKind::FullFlash);

    EXPECT_EQ(s.slot(1).Found, 1);
    EXPECT_EQ(s.slot(1).Address, data + 3);
    EXPECT_EQ(s.slot(1).Capacity, fixtures::kStandardMelodyBlockLength - 3);
    EXPECT_EQ(s.slot(1).ContentSize, 500);
    EXPECT_EQ(English(s.row(1).size), "500");
    EXPECT_EQ(English(s.row(1).max), "3400");
    EXPECT_EQ(English(s.row(1).address), FormatAddress(data + 3));
    EXPECT_FALSE(s.row(1).dropChoice);

    EXPECT_EQ(s.slot(11).Found, 1);
    EXPECT_EQ(English(s.row(11).size), "300");
    for (int n : {2, 10, 12, 18}) {
        EXPECT_EQ(s.slot(n).Found, 0) << n;
        EXPECT_EQ(s.slot(n).Address, kNotFound) << n;
        EXPECT_EQ(English(s.row(n).size), "n/a") << n;
        EXPECT_EQ(English(s.row(n).max), "n/a") << n;
        EXPECT_EQ(English(s.row(n).address), "n/a") << n;
        EXPECT_TRUE(s.row(n).dropChoice) << n;
    }
}

TEST(FullFlashSearch, StandardMelodiesAreNotLookedForInOtherSectors) {
    FlashImage image = fixtures::StandardFlash();
    image.Add(Sector::B, SlotBlock(1, Pattern(10, 1)));
    image.Add(Sector::A, SlotBlock(11, Pattern(10, 1)));
    const Searched s = Search(image.Build(), ImageKind::FullFlash);
    EXPECT_EQ(s.slot(1).Found, 0);
    EXPECT_EQ(s.slot(11).Found, 0);
}

TEST(FullFlashSearch, LastValidEntryWinsAndStaleOrOtherStatusesAreSkipped) {
    FlashImage image = fixtures::StandardFlash();
    Block first = SlotBlock(1, Pattern(100, 1));
    Block stale = SlotBlock(1, Pattern(200, 2), kStatusStale);
    Block odd = SlotBlock(2, Pattern(50, 3));
    odd.status = 0x00;  // neither valid nor stale nor free: passed over
    Block second = SlotBlock(1, Pattern(300, 4));
    second.length = 1003;
    image.Add(Sector::A, first).Add(Sector::A, stale).Add(Sector::A, odd);
    const std::int64_t secondData = image.NextDataOffset(Sector::A);
    image.Add(Sector::A, second);
    image.Add(Sector::A, SlotBlock(3, Pattern(7, 5), kStatusStale));  // only stale: missing
    image.Add(Sector::A, SlotBlock(4, Pattern(9, 6)));                // below the 0x00 entry
    const Searched s = Search(image.Build(), ImageKind::FullFlash);

    EXPECT_EQ(s.slot(1).Address, secondData + 3);  // the entry further from the sector end
    EXPECT_EQ(s.slot(1).Capacity, 1000);
    EXPECT_EQ(s.slot(1).ContentSize, 300);
    EXPECT_EQ(s.slot(2).Found, 0);
    EXPECT_EQ(s.slot(3).Found, 0);
    EXPECT_EQ(s.slot(4).Found, 1);
    EXPECT_EQ(s.slot(4).ContentSize, 9);
}

TEST(FullFlashSearch, FreeFirstEntryEndsTheTable) {
    FlashImage image = fixtures::StandardFlash();
    image.RawEntry(Sector::A, BlockHeader{});  // entry 0: status 0xFF
    image.Add(Sector::A, SlotBlock(1, Pattern(10, 1)));
    const Searched s = Search(image.Build(), ImageKind::FullFlash);
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(s.slot(n).Found, 0) << n;
    }
}

TEST(FullFlashSearch, EmptyTextOnlyForUserSlots) {
    FlashImage image = fixtures::StandardFlash();
    Block melody = SlotBlock(1, {});
    melody.contentSize = 0;
    Block full = SlotBlock(2, {});
    full.contentSize = 0xFFFF;
    Block user0 = SlotBlock(11, {});
    user0.contentSize = 0;
    Block userFFFF = SlotBlock(12, {});
    userFFFF.contentSize = 0xFFFF;
    image.Add(Sector::A, melody).Add(Sector::A, full);
    image.Add(Sector::B, user0).Add(Sector::B, userFFFF);
    const Searched s = Search(image.Build(), ImageKind::FullFlash);
    EXPECT_EQ(English(s.row(1).size), "0");
    EXPECT_EQ(English(s.row(2).size), "65535");
    EXPECT_EQ(English(s.row(11).size), "empty");
    EXPECT_EQ(English(s.row(12).size), "empty");
    EXPECT_EQ(s.slot(12).ContentSize, 0xFFFF);  // the raw value is kept
}

TEST(FullFlashSearch, UserSlotOnlyInSectorCIsFoundButDropsTheChoice) {
    FlashImage image = fixtures::StandardFlash();
    image.Add(Sector::B, SlotBlock(11, Pattern(10, 1)));
    image.Add(Sector::C, SlotBlock(11, Pattern(20, 2)));  // ignored: found in B already
    image.Add(Sector::C, SlotBlock(12, Pattern(30, 3)));
    const Searched s = Search(image.Build(), ImageKind::FullFlash);
    EXPECT_EQ(s.slot(11).ContentSize, 10);
    EXPECT_FALSE(s.row(11).dropChoice);
    EXPECT_EQ(s.slot(12).Found, 1);
    EXPECT_EQ(s.slot(12).ContentSize, 30);
    EXPECT_EQ(English(s.row(12).size), "30");
    EXPECT_TRUE(s.row(12).found);
    EXPECT_TRUE(s.row(12).dropChoice);
}

TEST(FullFlashSearch, EepromBinUsesFlashOffsetsForAddresses) {
    FlashImage image(ImageKind::EepromBin);
    Block b = SlotBlock(1, {});
    b.address = 0xFA1234;
    b.contentSize = 0x0102;
    image.Add(Sector::A, b);
    const Searched s = Search(image.Build(), ImageKind::EepromBin);
    EXPECT_EQ(s.slot(1).Address, 0x3A1237);
    EXPECT_EQ(English(s.row(1).address), "3A1237");
    EXPECT_EQ(s.slot(1).ContentSize, 0x0102);  // read at image offsets 0x1234 and 0x1235
    const Bytes bytes = image.Build();
    EXPECT_EQ(bytes[0x1234], 0x02);
    EXPECT_EQ(bytes[0x1235], 0x01);
}

TEST(FullFlashSearch, BlockWhoseDataLieOutsideTheImageIsUnusable) {
    FlashImage image = fixtures::StandardFlash();
    image.Add(Sector::A, SlotBlock(1, Pattern(40, 1)));
    const Bytes before = image.Build();
    Block below = SlotBlock(1, {});
    below.address = 0xBFFFFC;  // flash offset -4: would give Address -1
    below.writeData = false;
    Block beyond = SlotBlock(1, {});
    beyond.address = static_cast<std::uint32_t>(kFlashBase + fixtures::kDefaultFlashSize - 1);
    beyond.writeData = false;  // only one content-size byte inside
    image.Add(Sector::A, below).Add(Sector::A, beyond);
    const Searched s = Search(image.Build(), ImageKind::FullFlash);
    EXPECT_EQ(s.slot(1).Found, 1);
    EXPECT_EQ(s.slot(1).ContentSize, 40);  // the earlier match stands
    EXPECT_NE(s.slot(1).Address, kNotFound);
}

TEST(FullFlashSearch, CutImagesNeverReadOutsideAndFindOnlyWholeEntries) {
    // A kind-1 image cut at every length around sector A's table end and its lowest entry.
    FlashImage image(ImageKind::EepromBin);
    image.Add(Sector::A, SlotBlock(1, Pattern(20, 1)));
    image.Add(Sector::A, SlotBlock(2, Pattern(20, 2)));
    const Bytes whole = image.Build();
    const auto end = static_cast<std::size_t>(SectorEnd(ImageKind::EepromBin, Sector::A));
    for (std::size_t length = end - 40; length <= end + 16; ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const Searched s = Search(cut, ImageKind::EepromBin);
        // The scan starts at the sector end: a shorter image has no readable table there.
        const bool tableReadable = length >= end;
        EXPECT_EQ(s.slot(1).Found, tableReadable ? 1 : 0) << length;
        EXPECT_EQ(s.slot(2).Found, tableReadable ? 1 : 0) << length;
        EXPECT_EQ(s.slot(11).Found, 0) << length;
    }
}

TEST(FullFlashSearch, TableWithoutFreeEntryEndsAtTheImageStart) {
    // Sector A of a kind-1 image holds nothing but headers down to offset 0, no 0xFF entry.
    const std::size_t end = 0x20000;
    Bytes image(end, 0x00);  // status 0x00 everywhere: skipped, never the table's end
    FlashImage blocks(ImageKind::EepromBin, end);
    Block b = SlotBlock(5, {});
    b.address = static_cast<std::uint32_t>(kFlashBase + kEepromImageBase + 0x100);
    b.contentSize = 77;
    blocks.Add(Sector::A, b);
    const Bytes withBlock = blocks.Build();
    std::copy(withBlock.end() - 12, withBlock.end(), image.end() - 12);  // entry 0 only
    image[0x100] = 77;
    image[0x101] = 0;
    std::size_t visited = 0;
    EXPECT_EQ(WalkHeaderTable(image, static_cast<std::int64_t>(end),
                              [&](const BlockHeader&, std::int64_t) { ++visited; }),
              TableEnd::OutsideImage);
    EXPECT_EQ(visited, end / kBlockHeaderSize);
    const Searched s = Search(image, ImageKind::EepromBin);
    EXPECT_EQ(s.slot(5).Found, 1);
    EXPECT_EQ(s.slot(5).ContentSize, 77);
}

TEST(FullFlashSearch, SlotMissingFromTheNextImageKeepsItsOldSizes) {
    FlashImage first = fixtures::StandardFlash();
    first.Add(Sector::A, SlotBlock(1, Pattern(10, 1)));
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchFullFlash(first.Build(), ImageKind::FullFlash, slots);
    ASSERT_EQ(slots[0].Capacity, 3400);
    SearchFullFlash(fixtures::StandardFlash().Build(), ImageKind::FullFlash, slots);
    EXPECT_EQ(slots[0].Address, kNotFound);
    EXPECT_EQ(slots[0].Found, 0);
    EXPECT_EQ(slots[0].Capacity, 3400);
    EXPECT_EQ(slots[0].ContentSize, 10);
}

TEST(SelectedSlotDisplay, ShowsStartAndEndOrQuestionMarks) {
    TMelody m;
    m.Address = 0x3A0123;
    m.Capacity = 2000;
    SelectedSlotDisplay d = ShowSelectedSlot(m);
    EXPECT_EQ(m.EndAddress, 0x3A08F3);
    EXPECT_EQ(d.start, "3A0123");
    EXPECT_EQ(d.end, "3A08F3");
    EXPECT_TRUE(d.enabled);

    m.Address = kNotFound;
    d = ShowSelectedSlot(m);
    EXPECT_EQ(d.start, "??????");
    EXPECT_EQ(d.end, "??????");
    EXPECT_FALSE(d.enabled);
}

}  // namespace
}  // namespace carillon

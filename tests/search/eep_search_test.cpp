// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "image_builder.h"
#include "search/slot_search.h"

namespace carillon {
namespace {

using fixtures::BlockData;
using fixtures::EepImage;
using fixtures::Pattern;

struct Searched {
    SlotTable slots{};
    SlotRows rows{};
    const TMelody& slot(int n) const { return slots[static_cast<std::size_t>(n - 1)]; }
    const SlotRow& row(int n) const { return rows[static_cast<std::size_t>(n - 1)]; }
};

Searched Search(const Bytes& image) {
    Searched s;
    InitialiseSlotTable(s.slots);
    s.rows = SearchEep(image, s.slots);
    return s;
}

TEST(EepSearch, WorkedExample) {
    // Record at 8: block 285, L = 0x0F03, content size 0x0A00 at file offset 20.
    EepImage image;
    image.Record(285, BlockData(0x0A00, 0x21, Pattern(100, 1), 0x0F03));
    image.Slot(2, Pattern(5, 2));  // the next record starts at 8 + 12 + 3843 = 3863
    const Searched s = Search(image.Build());
    EXPECT_EQ(s.slot(1).Address, 23);
    EXPECT_EQ(English(s.row(1).address), "000017");
    EXPECT_EQ(s.slot(1).Capacity, 3840);
    EXPECT_EQ(s.slot(1).ContentSize, 2560);
    EXPECT_EQ(s.slot(2).Address, 3863 + 15);
    EXPECT_EQ(s.slot(2).ContentSize, 5);
}

TEST(EepSearch, LastRecordWinsAndEveryRecordCounts) {
    EepImage image;
    image.Slot(11, Pattern(10, 1));
    image.Slot(3, Pattern(7, 2));
    image.Slot(11, Pattern(20, 3), std::nullopt, 100);
    const Bytes bytes = image.Build();
    const Searched s = Search(bytes);
    EXPECT_EQ(s.slot(11).ContentSize, 20);
    EXPECT_EQ(s.slot(11).Capacity, 97);
    EXPECT_EQ(s.slot(11).Address, static_cast<std::int32_t>(bytes.size()) - 100 + 3);
    EXPECT_EQ(s.slot(3).Found, 1);
    EXPECT_EQ(s.slot(4).Found, 0);
    EXPECT_TRUE(s.row(4).dropChoice);
    EXPECT_EQ(English(s.row(4).size), "n/a");
}

TEST(EepSearch, EmptyTextForEverySlot) {
    EepImage image;
    image.Slot(1, {}, 0);
    image.Slot(2, {}, 0xFFFF);
    image.Slot(3, Pattern(3, 1));
    const Searched s = Search(image.Build());
    EXPECT_EQ(English(s.row(1).size), "empty");
    EXPECT_EQ(English(s.row(2).size), "empty");
    EXPECT_EQ(s.slot(2).ContentSize, 65535);
    EXPECT_EQ(English(s.row(3).size), "3");
}

TEST(EepSearch, RecordOfLengthZeroIsTwelveBytesLong) {
    EepImage image;
    image.RawRecord(285, 0, {});
    image.Slot(2, Pattern(4, 1));
    const Searched s = Search(image.Build());
    EXPECT_EQ(s.slot(1).Found, 1);
    EXPECT_EQ(s.slot(1).Capacity, -3);
    EXPECT_EQ(s.slot(1).Address, 23);
    EXPECT_EQ(s.slot(2).Address, 8 + 12 + 12 + 3);
}

TEST(EepSearch, ShortFilesHoldNoRecord) {
    for (std::size_t length : {0u, 1u, 8u}) {
        const Searched s = Search(Bytes(length, 0x1D));
        for (int n = 1; n <= kSlotCount; ++n) {
            EXPECT_EQ(s.slot(n).Address, kNotFound) << length;
        }
    }
}

TEST(EepSearch, CutRecordEndsTheWalkWithoutReadingPastTheFile) {
    EepImage image;
    image.Slot(1, Pattern(30, 1), std::nullopt, 40);
    const std::size_t second = image.Build().size();
    image.Slot(2, Pattern(30, 2), std::nullopt, 40);
    const Bytes whole = image.Build();
    for (std::size_t length = second - 2; length <= whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const Searched s = Search(cut);
        EXPECT_EQ(s.slot(1).Found, 1) << length;
        // The second record counts once its header and content-size bytes are in the file.
        EXPECT_EQ(s.slot(2).Found, length >= second + 14 ? 1 : 0) << length;
        if (s.slot(2).Found) {
            EXPECT_EQ(s.slot(2).ContentSize, 30);
        }
    }
}

TEST(EepSearch, HugeLengthsJumpPastTheEnd) {
    EepImage image;
    image.RawRecord(285, 0xFFFF, BlockData(9, 0x21, {}, 3));
    image.Slot(2, Pattern(4, 1));  // hidden inside the first record's claimed length
    const Searched s = Search(image.Build());
    EXPECT_EQ(s.slot(1).Capacity, 0xFFFF - 3);
    EXPECT_EQ(s.slot(2).Found, 0);
}

TEST(SearchSlots, PicksTheSearchByKind) {
    EepImage eep;
    eep.Slot(1, Pattern(4, 1));
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(eep.Build(), ImageKind::EepromEep, slots);
    EXPECT_EQ(slots[0].Address, 23);
    SearchSlots(eep.Build(), ImageKind::EepromBin, slots);
    EXPECT_EQ(slots[0].Address, kNotFound);
}

}  // namespace
}  // namespace carillon

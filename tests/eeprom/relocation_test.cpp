// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "eeprom/block_list.h"
#include "eeprom/relocation.h"
#include "image_builder.h"
#include "search/slot_search.h"

namespace carillon {
namespace {

using fixtures::Block;
using fixtures::FlashImage;
using fixtures::Pattern;
using fixtures::SlotBlock;

Block At(std::uint16_t number, std::uint8_t status, std::uint16_t length, std::uint32_t address,
         std::uint8_t seed) {
    Block b;
    b.number = number;
    b.status = status;
    b.attribute = static_cast<std::uint8_t>(0x40 + seed);
    b.length = length;
    b.address = address;
    b.content = Pattern(length > 3 ? length - 3u : 0u, seed);
    b.trailer10 = 0x12;
    b.trailer11 = 0x34;
    return b;
}

Bytes Slice(const Bytes& bytes, std::int64_t from, std::int64_t count) {
    return {bytes.begin() + from, bytes.begin() + from + count};
}

Bytes Header(std::uint8_t status, std::uint8_t attribute, std::uint16_t length,
             std::uint32_t address, std::uint16_t number, std::uint8_t t10, std::uint8_t t11) {
    Bytes out(kBlockHeaderSize);
    WriteBlockHeader(out.data(), {status, attribute, length, address, number, t10, t11});
    return out;
}

void Put(Bytes& image, std::int64_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + at);
}

void Fill(Bytes& image, std::int64_t from, std::int64_t to) {
    std::fill(image.begin() + from, image.begin() + to, std::uint8_t{0xFF});
}

// Every byte outside [from, to) is the same in both images.
void ExpectSameOutside(const Bytes& a, const Bytes& b, std::int64_t from, std::int64_t to) {
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + from, b.begin()));
    EXPECT_TRUE(std::equal(a.begin() + to, a.end(), b.begin() + to));
}

// The worked example: an EEPROM ".bin" with a valid, a stale and a valid block in sector A.
FlashImage WorkedExample() {
    FlashImage image(ImageKind::EepromBin);
    image.Add(Sector::A, At(285, kStatusValid, 0x100, 0xFA1000, 1))
        .Add(Sector::A, At(286, kStatusStale, 0x80, 0xFA0020, 2))
        .Add(Sector::A, At(287, kStatusValid, 0x40, 0xFA1100, 3))
        .Add(Sector::B, SlotBlock(11, Pattern(40, 4)));
    return image;
}

TEST(ReadBlockList, ListsValidAndStaleTopmostFirstAndPassesOverOtherStatuses) {
    FlashImage image = WorkedExample();
    Block odd = At(300, 0x00, 0x10, 0xFA2000, 5);
    image.Add(Sector::A, odd).Add(Sector::A, At(301, kStatusStale, 0x10, 0xFA2100, 6));
    const Bytes bytes = image.Build();
    TTBlock list;
    EXPECT_EQ(ReadBlockList(bytes, list, 0x20000, ImageKind::EepromBin), TableEnd::FreeEntry);

    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].BlockNumber, 285);
    EXPECT_EQ(list[0].Attribute, 0x41);
    EXPECT_EQ(list[0].Length, 0x100);
    EXPECT_EQ(list[0].BlockAddress, 0xFA1000);
    EXPECT_TRUE(list[0].Valid);
    EXPECT_EQ(list[0].HeaderOffset, 0x1FFF4);
    EXPECT_EQ(list[0].Data, Slice(bytes, 0x1000, 0x100));
    EXPECT_FALSE(list[1].Valid);
    EXPECT_EQ(list[2].BlockNumber, 287);
    EXPECT_EQ(list[3].BlockNumber, 301);  // found below the 0x00 entry
    EXPECT_EQ(list[3].HeaderOffset, 0x20000 - 5 * 12);
}

TEST(ReadBlockList, CopiesNoDataFromOutsideTheImageAndStopsAtItsEdge) {
    // A short ".bin" whose table has no 0xFF entry: the walk ends at the first byte.
    Bytes bytes(0x20000, 0x00);
    const std::int64_t last = 0x20000 - 12;
    Put(bytes, last, Header(kStatusValid, 0, 0x200, 0xFA0000 + 0x1FF00, 285, 0, 0));
    Put(bytes, last - 12, Header(kStatusValid, 0, 0x10, 0xFA0000 + 0x30000, 286, 0, 0));
    Put(bytes, last - 24, Header(kStatusStale, 0, 0x10, 0xB00000, 287, 0, 0));
    TTBlock list;
    EXPECT_EQ(ReadBlockList(bytes, list, 0x20000, ImageKind::EepromBin), TableEnd::OutsideImage);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Data.size(), 0x100u);  // cut at the image end
    EXPECT_TRUE(list[1].Data.empty());       // starts past the end
    EXPECT_TRUE(list[2].Data.empty());       // starts before the image

    TTBlock none;
    EXPECT_EQ(ReadBlockList(Slice(bytes, 0, 0x1000), none, 0x20000, ImageKind::EepromBin),
              TableEnd::OutsideImage);
    EXPECT_TRUE(none.empty());
}

TEST(Relocation, WorkedExampleComesOutByteForByte) {
    const Bytes in = WorkedExample().Build();
    const Relocation r = RelocateSectorA(in, ImageKind::EepromBin, "eeprom.bin");

    Bytes expected = in;
    Fill(expected, 0x1000, 0x1140);  // old data of 285 and 287
    Fill(expected, 0x0020, 0x00A0);  // old data of stale 286
    Put(expected, 0x0020, Slice(in, 0x1000, 0x100));
    Put(expected, 0x0120, Slice(in, 0x1100, 0x40));
    Put(expected, 0x1FFF4, Header(0xFC, 0x41, 0x100, 0xFA0020, 285, 0x00, 0xFC));
    Put(expected, 0x1FFE8, Header(0xFC, 0x43, 0x40, 0xFA0120, 287, 0x00, 0xFC));
    Fill(expected, 0x1FFDC, 0x1FFE8);
    EXPECT_TRUE(r.image == expected);

    EXPECT_EQ(r.result.lowestBlockAddress, 16384032);
    EXPECT_EQ(r.result.blocksKept, 2);
    EXPECT_EQ(r.result.blocksDropped, 1);
    EXPECT_EQ(r.result.bytesMoved, 0x140);
    EXPECT_EQ(r.result.bytesFreed, 0x80 + 12);
    EXPECT_EQ(r.result.freeBytes, 0x1FFDC - 0x160);
    EXPECT_EQ(r.blocks[0].BlockAddress, 0xFA0020);
    EXPECT_EQ(r.blocks[2].BlockAddress, 0xFA0120);
}

// Blocks move as the bytes they hold: a 1-byte block as one byte, an empty one (here sharing
// block 285's start) as none, a 2-byte one as two.
TEST(Relocation, ShortAndEmptyBlocksMoveAsTheirBytes) {
    FlashImage image(ImageKind::EepromBin);
    image.Add(Sector::A, At(285, kStatusValid, 0x100, 0xFA1000, 1))
        .Add(Sector::A, At(300, kStatusValid, 1, 0xFA1100, 2))
        .Add(Sector::A, At(301, kStatusValid, 0, 0xFA1000, 3))
        .Add(Sector::A, At(302, kStatusStale, 2, 0xFA0020, 4))
        .Add(Sector::A, At(287, kStatusValid, 2, 0xFA1101, 5))
        .Poke(0x1100, {0xA1, 0xB1, 0xB2})
        .Poke(0x20, {0xC1, 0xC2});
    const Bytes in = image.Build();
    const Relocation r = RelocateSectorA(in, ImageKind::EepromBin, "eeprom.bin");

    Bytes expected = in;
    Fill(expected, 0x1000, 0x1103);  // old data of 285, 300 and 287
    Fill(expected, 0x0020, 0x0022);  // old data of stale 302
    Put(expected, 0x0020, Slice(in, 0x1000, 0x100));
    Put(expected, 0x0120, {0xA1, 0xB1, 0xB2});
    Put(expected, 0x1FFF4, Header(0xFC, 0x41, 0x100, 0xFA0020, 285, 0x00, 0xFC));
    Put(expected, 0x1FFE8, Header(0xFC, 0x42, 1, 0xFA0120, 300, 0x00, 0xFC));
    Put(expected, 0x1FFDC, Header(0xFC, 0x43, 0, 0xFA0121, 301, 0x00, 0xFC));
    Put(expected, 0x1FFD0, Header(0xFC, 0x45, 2, 0xFA0121, 287, 0x00, 0xFC));
    Fill(expected, 0x1FFC4, 0x1FFD0);
    EXPECT_TRUE(r.image == expected);
    EXPECT_EQ(r.result.blocksKept, 4);
    EXPECT_EQ(r.result.bytesMoved, 0x103);
}

TEST(Relocation, StaleBlocksOnlyEraseTheirDataAndTheWholeTable) {
    FlashImage image(ImageKind::EepromBin);
    image.Add(Sector::A, At(285, kStatusStale, 0x300, 0xFA0400, 1))
        .Add(Sector::A, At(286, kStatusStale, 0x100, 0xFA0100, 2));
    const Bytes in = image.Build();
    const Relocation r = RelocateSectorA(in, ImageKind::EepromBin, "e.bin");

    Bytes expected = in;
    Fill(expected, 0x400, 0x700);
    Fill(expected, 0x100, 0x200);
    Fill(expected, 0x20000 - 24, 0x20000);
    EXPECT_TRUE(r.image == expected);
    EXPECT_EQ(r.result.lowestBlockAddress, 0xFA0100);
    EXPECT_EQ(r.result.blocksKept, 0);
    EXPECT_EQ(r.result.tableBottom, 0x20000);
}

TEST(Relocation, OtherStatusIsPassedOverAndItsDataStay) {
    FlashImage image(ImageKind::FullFlash);
    const std::uint32_t base = 0xFA0000;
    image.Add(Sector::A, At(285, kStatusValid, 0x100, base + 0x20, 1))
        .Add(Sector::A, At(286, 0x7E, 0x100, base + 0x8000, 2))
        .Add(Sector::A, At(287, kStatusValid, 0x100, base + 0x4000, 3));
    const Bytes in = image.Build();
    const Relocation r = RelocateSectorA(in, ImageKind::FullFlash, "flash.bin");
    const std::int64_t end = 0x3C0000;

    EXPECT_EQ(Slice(r.image, 0x3A8000, 0x100), Slice(in, 0x3A8000, 0x100));
    EXPECT_EQ(Slice(r.image, 0x3A0120, 0x100), Slice(in, 0x3A4000, 0x100));
    const std::optional<BlockHeader> second = ReadBlockHeader(r.image, end - 24);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, kStatusValid);
    EXPECT_EQ(second->number, 287);
    EXPECT_EQ(second->address, base + 0x120);
    EXPECT_EQ(Slice(r.image, end - 36, 12), Bytes(12, 0xFF));
    EXPECT_EQ(r.result.blocksKept, 2);
    EXPECT_EQ(r.result.blocksDropped, 0);
    ExpectSameOutside(in, r.image, 0x3A0000, end);
}

TEST(Relocation, ATableWithoutEndEntryOverBlockDataIsRefused) {
    // A ".bin" whose table has no 0xFF entry runs down through the data area: the walk reads
    // block 285's data as header entries, so the table is damaged and nothing is moved.
    Bytes in(0x60000, 0x00);
    Put(in, 0x20000 - 12, Header(kStatusValid, 0, 0x400, 0xFA0000 + 0x1000, 285, 0, 0));
    Put(in, 0x20000 - 24, Header(0x00, 0, 0, 0, 0, 0, 0));
    // The lowest entry in the image is at offset 8: a stale block listed there.
    Put(in, 8, Header(kStatusStale, 0, 0x10, 0xFA0000 + 0x3000, 286, 0, 0));
    try {
        RelocateSectorA(in, ImageKind::EepromBin, "e.bin");
        ADD_FAILURE() << "relocated";
    } catch (const RelocationError& e) {
        EXPECT_NE(std::string(e.what()).find("block 285 (header at offset 0x01FFF4) overlaps the "
                                             "header table of sector A: the block table is "
                                             "damaged"),
                  std::string::npos)
            << e.what();
    }
}

// Each refusal throws before anything is produced; the message names the image.
TEST(Relocation, RefusesWhatCannotBeRelocatedSafely) {
    const auto refuses = [](const Bytes& bytes, ImageKind kind, const std::string& text) {
        try {
            RelocateSectorA(bytes, kind, "img.bin");
            ADD_FAILURE() << "no refusal, expected: " << text;
        } catch (const RelocationError& e) {
            EXPECT_EQ(e.name(), "img.bin");
            EXPECT_NE(std::string(e.what()).find("img.bin: cannot relocate sector A: "),
                      std::string::npos);
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    };
    const Bytes example = WorkedExample().Build();
    refuses(example, ImageKind::EepromEep, ".eep");
    refuses(Slice(example, 0, 0x1FFFF), ImageKind::EepromBin, "ends before");

    FlashImage oddOnly(ImageKind::EepromBin);
    oddOnly.Add(Sector::A, At(285, 0x00, 0x10, 0xFA0020, 1));
    refuses(oddOnly.Build(), ImageKind::EepromBin, "no valid (0xFC) or stale (0xF0)");

    for (const std::uint32_t address : {0xFC0000u, 0xF9FFF0u, 0xFBFFF8u, 0x00000010u}) {
        FlashImage outside(ImageKind::EepromBin);
        outside.Add(Sector::A, At(285, kStatusValid, 0x100, 0xFA0020, 1));
        outside.Add(Sector::A, At(286, kStatusStale, 0x10, address, 2));
        refuses(outside.Build(), ImageKind::EepromBin, "outside sector A");
    }

    // A full flash whose sector A table has no 0xFF entry: the walk leaves the sector.
    Bytes flash(0x3C0000, 0xFF);
    std::fill(flash.begin() + 0x39FFFC, flash.end(), std::uint8_t{0x00});
    Put(flash, 0x3C0000 - 12, Header(kStatusValid, 0, 0x10, 0xFA0100, 285, 0, 0));
    Put(flash, 0x39FFFC, Header(kStatusStale, 0, 0x10, 0xFA0200, 286, 0, 0));
    refuses(flash, ImageKind::FullFlash, "runs below the start");
}

TEST(Relocation, KeptBlocksMustEndAtOrBelowTheNewTablesEndEntry) {
    // Two valid copies of one block filling exactly 0x20000 - 0x20 - 3 * 12 bytes; both are
    // kept, and the older one's data may overlap the current one's.
    const std::uint16_t big = 0xFFFF;
    const auto image = [&](std::uint16_t second, std::optional<std::uint8_t> thirdStatus) {
        FlashImage f(ImageKind::EepromBin);
        f.Add(Sector::A, At(285, kStatusValid, big, 0xFA0020, 1));
        f.Add(Sector::A, At(285, kStatusValid, second, 0xFA0040, 2));
        if (thirdStatus) {
            Block odd = At(300, *thirdStatus, 4, 0xFA0040, 3);
            odd.writeData = false;
            f.Add(Sector::A, odd);
        }
        return f.Build();
    };
    const std::uint16_t fits = 0x20000 - 0x20 - 36 - big;
    const Relocation r = RelocateSectorA(image(fits, std::nullopt), ImageKind::EepromBin, "e");
    EXPECT_EQ(r.result.freeBytes, 0);
    EXPECT_EQ(Slice(r.image, 0x20000 - 36, 12), Bytes(12, 0xFF));
    // Stale entries below count as free once erased.
    EXPECT_NO_THROW(RelocateSectorA(image(fits, kStatusStale), ImageKind::EepromBin, "e"));

    const auto refusal = [](const Bytes& bytes) {
        try {
            RelocateSectorA(bytes, ImageKind::EepromBin, "e");
        } catch (const RelocationError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(refusal(image(fits + 1, std::nullopt)).find("but only 131004 fit between"),
              std::string::npos);
    // An entry of another status stays in the table; data reaching it would end the table
    // inside the moved data.
    EXPECT_NE(refusal(image(fits, 0x00)).find("other statuses"), std::string::npos);
    EXPECT_NO_THROW(RelocateSectorA(image(fits - 12, 0x00), ImageKind::EepromBin, "e"));
}

// After relocation the full-flash search finds every slot of sector A with the same capacity,
// stored size and content, and every other slot exactly where it was; short blocks that are no
// slot's move along without stopping it.
TEST(Relocation, SearchFindsTheSameSlotsAfterRelocation) {
    std::mt19937 rng(20261208);
    const auto pick = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    int refused = 0;
    for (int round = 0; round < 150; ++round) {
        const ImageKind kind = pick(0, 3) == 0 ? ImageKind::FullFlash : ImageKind::EepromBin;
        FlashImage image = kind == ImageKind::FullFlash ? fixtures::StandardFlash()
                                                        : FlashImage(ImageKind::EepromBin);
        const std::uint32_t base = static_cast<std::uint32_t>(FlashOffsetToPhoneAddress(
            ImageOffsetToFlashOffset(kind, SectorStart(kind, Sector::A))));
        const int count = pick(1, 24);
        for (int i = 0; i < count; ++i) {
            const int slot = pick(1, 12);  // 11 and 12 are strangers in sector A
            const std::uint8_t statuses[] = {kStatusValid, kStatusValid, kStatusStale, 0x00};
            const auto seed = static_cast<std::uint8_t>(round * 31 + i);
            Block b = SlotBlock(slot, Pattern(static_cast<std::size_t>(pick(0, 3400)), seed),
                                statuses[pick(0, 3)]);
            b.length = static_cast<std::uint16_t>(pick(3, 3403));
            b.attribute = seed;
            if (pick(0, 2) == 0) {  // placed anywhere in the upper data area, maybe overlapping
                b.address = base + static_cast<std::uint32_t>(pick(0x10000, 0x1A000));
            }
            image.Add(Sector::A, b);
            if (pick(0, 3) == 0) {  // a short block that is no slot's, packed in between
                Block tiny;
                tiny.number = static_cast<std::uint16_t>(pick(300, 305));
                tiny.length = static_cast<std::uint16_t>(pick(0, 2));
                tiny.content = Pattern(*tiny.length, seed);
                image.Add(Sector::A, tiny);
            }
        }
        image.Add(Sector::B, SlotBlock(13, Pattern(99, 7))).Add(Sector::C, SlotBlock(14, {}));
        const Bytes in = image.Build();
        // Blocks placed anywhere may overlap: such a table is refused as damaged (and one whose
        // only entries are of other statuses has nothing to relocate).
        std::optional<Relocation> relocated;
        try {
            relocated = RelocateSectorA(in, kind, "round");
        } catch (const RelocationError& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what.find("the block table is damaged") != std::string::npos ||
                        what.find("lists no valid (0xFC) or stale (0xF0) block") !=
                            std::string::npos)
                << what;
            ++refused;
            continue;
        }
        const Relocation& r = *relocated;

        SlotTable before{}, after{};
        InitialiseSlotTable(before);
        InitialiseSlotTable(after);
        SearchFullFlash(in, kind, before);
        SearchFullFlash(r.image, kind, after);
        for (int n = 1; n <= kSlotCount; ++n) {
            const TMelody& b = before[static_cast<std::size_t>(n - 1)];
            const TMelody& a = after[static_cast<std::size_t>(n - 1)];
            ASSERT_EQ(a.Found, b.Found) << "round " << round << " slot " << n;
            if (!b.Found) {
                continue;
            }
            EXPECT_EQ(a.Capacity, b.Capacity);
            EXPECT_EQ(a.ContentSize, b.ContentSize);
            const std::int64_t oldAt = FlashOffsetToImageOffset(kind, b.Address);
            const std::int64_t newAt = FlashOffsetToImageOffset(kind, a.Address);
            EXPECT_EQ(Slice(r.image, newAt, a.Capacity), Slice(in, oldAt, b.Capacity))
                << "round " << round << " slot " << n;
            if (n > 10) {
                EXPECT_EQ(a.Address, b.Address);
            }
        }
        ExpectSameOutside(in, r.image, SectorStart(kind, Sector::A), SectorEnd(kind, Sector::A));
    }
    EXPECT_LT(refused, 100);
}

}  // namespace
}  // namespace carillon

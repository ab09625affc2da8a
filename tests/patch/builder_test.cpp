// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/slots.h"
#include "fixtures/image_builder.h"
#include "patch/patch_builder.h"
#include "patch/vkp_applier.h"
#include "support/read_text.h"

namespace carillon {
namespace {

using fixtures::Pattern;

TEST(HexToInt, ReadsHexOfEitherCaseWithWrapAroundAndMinusOneForOtherCharacters) {
    EXPECT_EQ(HexToInt("3A1003"), 0x3A1003);
    EXPECT_EQ(HexToInt("3a1003"), 0x3A1003);
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
    EXPECT_EQ(HexToInt("7FFFFFFF"), 0x7FFFFFFF);
    // Only the last eight characters count.
    EXPECT_EQ(HexToInt("123456789"), 0x23456789);
    // A character that is no digit subtracts its place weight.
    EXPECT_EQ(HexToInt("G"), -1);
    EXPECT_EQ(HexToInt("1G"), 16 - 1);
    EXPECT_EQ(HexToInt("??????"), -0x111111);
}

TEST(CommentSafe, ReplacesControlCharactersOnly) {
    EXPECT_EQ(CommentSafe("a\r\nb\tc\x7F"
                          "d\xC3\xA9"),
              "a__b_c_d\xC3\xA9");
}

// The worked example: Classic 1 at 0x3A1003 with room for 20 bytes, tune.si3 of 5 bytes,
// renamed "My Tune".
struct Example {
    Bytes image;
    PatchRequest request;
    Bytes replacement{0x41, 0x42, 0x43, 0x44, 0x45};

    Example() : image(0x400000, 0xFF) {
        const Bytes prefix{0x10, 0x00, 0x21};
        std::copy(prefix.begin(), prefix.end(), image.begin() + 0x3A1000);
        for (int i = 0; i < 20; ++i) {
            image[static_cast<std::size_t>(0x3A1003 + i)] = static_cast<std::uint8_t>(i);
        }
        const std::string name = "Classic 1";
        std::fill_n(image.begin() + 0xF2ABE, 11, 0x00);
        std::copy(name.begin(), name.end(), image.begin() + 0xF2ABE);

        SlotTable slots{};
        InitialiseSlotTable(slots);
        request.slot = slots[0];
        request.slot.Address = 0x3A1003;
        request.slot.Capacity = 20;
        request.slot.EndAddress = 0x3A1003 + 20;
        request.imagePath = "/images/flash.bin";
        request.row = 0;
        request.caption = "My Tune";
        request.startText = "3A1003";
        request.endText = "3A1017";
        request.replacementPath = "/melodies/tune.si3";
    }

    // Moves the slot to `address` with room for `capacity` bytes, as the window's fields say.
    void Place(std::int32_t address, std::int32_t capacity) {
        request.slot.Address = address;
        request.slot.Capacity = capacity;
        request.slot.EndAddress = address + capacity;
        request.startText = FormatAddress(address);
        request.endText = FormatAddress(address + capacity);
    }

    PatchBlock Build() const {
        BuiltPatch built = BuildPatchFromBytes(request, image, replacement);
        EXPECT_TRUE(built.block) << English(built.failure);
        return built.block ? *built.block : PatchBlock{};
    }
};

const char* const kExampleBlock =
    "; this patch was created by\r\n"
    "; Carillon     v2.20b\r\n"
    "\r\n"
    "\r\n"
    "; Change standard melody \"Classic 1\" to \"tune.si3\"\r\n"
    "\r\n"
    "3A1000: 100021 050021\r\n"
    "3A1003: 000102030405060708090A0B0C0D0E0F 4142434445FFFFFFFFFFFFFFFFFFFFFF\r\n"
    "3A1013: 10111213 FFFFFFFF\r\n"
    "0F2ABE: 436C617373696320310000 4D792054756E6520202020\r\n";

TEST(PatchBlock, WorkedExampleComesOutByteForByte) {
    Example ex;
    const PatchBlock block = ex.Build();
    EXPECT_EQ(block.text, kExampleBlock);
    EXPECT_EQ(std::count(block.text.begin(), block.text.end(), '\n'), 10);

    // Built at the end of a joined text, the same text goes there and the edits are the same.
    std::string joined = "; before\r\n";
    const PatchLayout layout = *LayOut(ex.request, ex.image.size(), ex.replacement.size()).layout;
    const PatchBlock appended =
        BuildPatchBlock(ex.request, layout, ByteView(ex.image).subspan(0x3A1000, 23),
                        ByteView(ex.image).subspan(0xF2ABE, 11), ex.replacement, &joined);
    EXPECT_EQ(joined, std::string("; before\r\n") + kExampleBlock);
    EXPECT_TRUE(appended.text.empty());
    EXPECT_EQ(appended.edits.size(), block.edits.size());
    EXPECT_EQ(appended.originals.size(), block.originals.size());

    // The same changes as edits of the image copy.
    Bytes edited = ex.image;
    ASSERT_TRUE(ApplyEdits(block.edits, edited));
    EXPECT_EQ(edited[0x3A1000], 0x05);
    EXPECT_EQ(edited[0x3A1001], 0x00);
    EXPECT_EQ(edited[0x3A1002], 0x21);
    EXPECT_EQ(edited[0x3A1003], 0x41);
    EXPECT_EQ(edited[0x3A1008], 0xFF);
    EXPECT_EQ(edited[0x3A1016], 0xFF);
    EXPECT_EQ(edited[0x3A1017], 0xFF);
    EXPECT_EQ(std::string(edited.begin() + 0xF2ABE, edited.begin() + 0xF2ABE + 11), "My Tune    ");
}

TEST(PatchBlock, ApplyingTheRecordsEqualsTheEditsAndEveryOldByteMatches) {
    for (ImageKind kind : {ImageKind::FullFlash, ImageKind::EepromBin}) {
        Example ex;
        const std::int64_t base = kind == ImageKind::EepromBin ? kEepromImageBase : 0;
        ex.request.kind = kind;
        ex.image = Pattern(kind == ImageKind::EepromBin ? 0x60000 : 0x400000, 3);
        ex.replacement = Pattern(1000, 9);
        ex.Place(0x3A1003, 3400);
        const PatchBlock block = ex.Build();
        Bytes viaEdits = ex.image;
        ASSERT_TRUE(ApplyEdits(block.edits, viaEdits));
        Bytes viaText = ex.image;
        std::string error;
        ASSERT_TRUE(testing::ApplyVkp(block.text, base, viaText, error)) << error;
        EXPECT_EQ(viaText, viaEdits);
        EXPECT_NE(viaText, ex.image);
    }
}

TEST(PatchBlock, FileSizeAgainstCapacity) {
    struct Case {
        std::size_t fileSize;
        const char* prefixLine;
        std::size_t fillBytes;
    };
    // Capacity 20: exact, empty and oversized replacement files.
    for (const Case& c :
         {Case{20, "3A1000: 100021 140021", 0}, Case{0, "3A1000: 100021 000021", 20},
          Case{25, "3A1000: 100021 140021", 0}}) {
        Example ex;
        ex.replacement = Pattern(c.fileSize, 1);
        const PatchBlock block = ex.Build();
        const auto lines = test_support::RecordLines(block.text);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], c.prefixLine) << c.fileSize;
        Bytes edited = ex.image;
        ASSERT_TRUE(ApplyEdits(block.edits, edited));
        const auto area = edited.begin() + 0x3A1003;
        EXPECT_EQ(static_cast<std::size_t>(std::count(area, area + 20, 0xFF)), c.fillBytes);
        EXPECT_TRUE(std::equal(area, area + static_cast<std::ptrdiff_t>(20 - c.fillBytes),
                               ex.replacement.begin()));
        EXPECT_EQ(edited[0x3A1003 + 20], 0xFF);  // nothing past the content area
    }
}

TEST(PatchBlock, DataLinesCoverTheAreaInRunsOfSixteen) {
    struct Case {
        std::int32_t capacity;
        std::size_t dataLines;
        std::size_t lastLineBytes;
    };
    for (const Case& c : {Case{32, 2, 16}, Case{5, 1, 5}, Case{0, 0, 0}, Case{33, 3, 1}}) {
        Example ex;
        ex.request.keepName = true;
        ex.Place(0x3A1003, c.capacity);
        const auto lines = test_support::RecordLines(ex.Build().text);
        ASSERT_EQ(lines.size(), 1 + c.dataLines) << c.capacity;
        if (c.dataLines > 0) {
            const std::string& last = lines.back();
            const std::size_t blank = last.rfind(' ');
            EXPECT_EQ(last.size() - blank - 1, 2 * c.lastLineBytes);
            EXPECT_EQ(last.substr(0, 6), FormatAddress(0x3A1003 + 16 * (c.dataLines - 1)));
        }
    }
}

TEST(PatchBlock, EepromBinAddressesAreFlashOffsetsAndOldBytesComeFromImageOffsets) {
    Example ex;
    ex.request.kind = ImageKind::EepromBin;
    ex.image.assign(0x60000, 0xFF);
    ex.image[0x1234] = 0xAB;
    ex.image[0x1235] = 0xCD;
    ex.image[0x1236] = 0x20;
    ex.Place(0x3A1237, 4);
    const auto lines = test_support::RecordLines(ex.Build().text);
    ASSERT_EQ(lines.size(), 2u);  // no name line outside a full flash
    EXPECT_EQ(lines[0], "3A1234: ABCD20 040021");
    EXPECT_EQ(lines[1], "3A1237: FFFFFFFF 41424344");
}

TEST(PatchBlock, EepAddressesAreFileOffsetsWithoutNameLine) {
    Example ex;
    ex.request.kind = ImageKind::EepromEep;
    ex.image.assign(300, 0x00);
    ex.Place(23, 5);
    const auto lines = test_support::RecordLines(ex.Build().text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "000014: 000000 050021");
    EXPECT_EQ(lines[1], "000017: 0000000000 4142434445");
}

TEST(PatchBlock, NameStep) {
    // The stored "Classic 1" + two zero bytes equals the caption "Classic 1" padded with blanks.
    Example same;
    same.request.caption = "Classic 1";
    EXPECT_EQ(test_support::RecordLines(same.Build().text).size(), 3u);
    EXPECT_EQ(same.Build().edits.size(), 2u);

    // "Don't change melody name" leaves the name alone.
    Example kept;
    kept.request.keepName = true;
    EXPECT_EQ(test_support::RecordLines(kept.Build().text).size(), 3u);

    // A caption over 11 characters never writes past the name text.
    Example longer;
    longer.request.caption = "ABCDEFGHIJKLMN";
    EXPECT_EQ(test_support::RecordLines(longer.Build().text).back(),
              "0F2ABE: 436C617373696320310000 4142434445464748494A4B");
}

TEST(PatchBlock, UserSlotCommentUsesTheCaptionUnquotedAndNeverTouchesNames) {
    Example ex;
    SlotTable slots{};
    InitialiseSlotTable(slots);
    ex.request.slot = slots[10];
    ex.request.row = 10;
    ex.request.caption = "User Melody 1";
    ex.request.keepName = false;  // even so: user slots have no name text
    ex.Place(0x3C1003, 20);
    ex.request.slot.ContentTag = 32;
    const PatchBlock block = ex.Build();
    EXPECT_NE(block.text.find("\r\n; Change User Melody 1 to \"tune.si3\"\r\n\r\n"),
              std::string::npos);
    const auto lines = test_support::RecordLines(block.text);
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 6), "050020");
    EXPECT_EQ(block.edits.size(), 2u);
}

TEST(PatchBlock, AFileNameCannotSmuggleInARecord) {
    Example ex;
    ex.request.replacementPath = "/tmp/evil\r\n000000: FF 00\r\n.si3";
    const PatchBlock block = ex.Build();
    std::vector<testing::VkpRecord> records;
    std::string error;
    ASSERT_TRUE(testing::ParseVkp(block.text, records, error)) << error;
    EXPECT_EQ(records.size(), 4u);  // prefix, two data lines, name
    EXPECT_NE(block.text.find("\"evil__000000: FF 00__.si3\""), std::string::npos);
}

TEST(PatchBlock, SlotOutsideTheImageFailsWithAReason) {
    struct Case {
        std::int32_t address;
        std::int32_t capacity;
        std::size_t imageSize;
        bool keepName;
        std::string_view reason;
    };
    const Case cases[] = {
        {2, 10, 0x400000, true, kSlotOutsideImage},           // prefix before the image
        {0x3FFFF0, 0x20, 0x400000, true, kSlotOutsideImage},  // area past its end
        {0x3A1003, -5, 0x400000, true, kNegativeCapacity},    // capacity below zero
        {0x3A1003, 20, 0xF2ABE + 10, false, kSlotOutsideImage},
        {0x1003, 20, 0xF2ABE + 10, false, kNameOutsideImage},  // name text cut off
    };
    for (const Case& c : cases) {
        Example ex;
        ex.image.resize(c.imageSize);
        ex.request.keepName = c.keepName;
        ex.Place(c.address, c.capacity);
        const BuiltPatch built = BuildPatchFromBytes(ex.request, ex.image, ex.replacement);
        EXPECT_FALSE(built.block) << c.address;
        EXPECT_EQ(English(built.failure), c.reason) << c.address;
        EXPECT_FALSE(English(built.detail).empty());
    }
    // A name outside the image does not matter while the name is kept.
    Example kept;
    kept.image.resize(0xF2ABE + 10);
    kept.request.keepName = true;
    kept.Place(0x1003, 20);
    EXPECT_TRUE(BuildPatchFromBytes(kept.request, kept.image, kept.replacement).block);
}

TEST(PatchBlock, EditsThatDoNotFitChangeNothing) {
    Bytes image(10, 0x00);
    const std::vector<ByteEdit> edits{{0, {1, 2}}, {9, {3, 4}}};
    EXPECT_FALSE(ApplyEdits(edits, image));
    EXPECT_EQ(image, Bytes(10, 0x00));
}

}  // namespace
}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/diff.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/image_builder.h"
#include "support/read_text.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon {
namespace {

struct DiffCase {
    const char* what;
    ImageKind kind;
    std::vector<std::pair<std::size_t, std::uint8_t>> changes;  // offset, new byte
    std::vector<std::string> records;
};

TEST(VkpDiff, RunsAreMergedAcrossShortGapsAndSplitIntoBuilderLines) {
    const std::vector<DiffCase> cases = {
        {"one byte", ImageKind::FullFlash, {{0x10, 0xAB}}, {"000010: 00 AB"}},
        {"a gap of eight equal bytes rides along",
         ImageKind::FullFlash,
         {{0x10, 0x01}, {0x19, 0x02}},
         {"000010: 00000000000000000000 01000000000000000002"}},
        {"a gap of nine starts a new record",
         ImageKind::FullFlash,
         {{0x10, 0x01}, {0x1A, 0x02}},
         {"000010: 00 01", "00001A: 00 02"}},
        {"a run of 17 bytes is two lines",
         ImageKind::FullFlash,
         {{0x20, 1}, {0x28, 2}, {0x30, 3}},
         {"000020: 00000000000000000000000000000000 01000000000000000200000000000000",
          "000030: 00 03"}},
        {"EEPROM .bin addresses are flash addresses",
         ImageKind::EepromBin,
         {{0x5, 0x7F}},
         {"3A0005: 00 7F"}},
        {"the last byte", ImageKind::EepromEep, {{0xFFF, 0x42}}, {"000FFF: 00 42"}},
    };
    for (const DiffCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes oldImage(0x1000, 0x00);
        Bytes newImage = oldImage;
        for (auto [offset, value] : c.changes) {
            newImage[offset] = value;
        }
        const ImageDiff diff = DiffImages(c.kind, oldImage, newImage, {"T", "a.bin", "b.bin"});
        EXPECT_EQ(test_support::RecordLines(diff.text), c.records);
        EXPECT_EQ(diff.lines, c.records.size());
        EXPECT_EQ(diff.changed, c.changes.size());
    }
}

TEST(VkpDiff, ReplayedOntoOldGivesNewAndTheHeaderIsCommentSafe) {
    const Bytes oldImage = fixtures::DemoFlash();
    Bytes newImage = oldImage;
    for (std::size_t i = 0; i < newImage.size(); i += 4099) {
        newImage[i] = static_cast<std::uint8_t>(newImage[i] ^ (i % 251 + 1));
    }
    const ImageDiff diff = DiffImages(ImageKind::FullFlash, oldImage, newImage,
                                      {"title\r\n000000: 00 FF", "old\n.bin", "new.bin"});
    const VkpParse parsed = ReadVkp(diff.text);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    Bytes replayed = oldImage;
    ASSERT_EQ(ReplayVkp(parsed.records, ImageKind::FullFlash, replayed), "");
    EXPECT_TRUE(replayed == newImage);
    EXPECT_EQ(parsed.records.size(), diff.lines) << "a title or name cannot add a record";
    EXPECT_EQ(DiffImages(ImageKind::FullFlash, oldImage, oldImage, {}).lines, 0u);
}

}  // namespace
}  // namespace carillon

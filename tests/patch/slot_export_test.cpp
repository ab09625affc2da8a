// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/slot_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/image_builder.h"
#include "patch/patch_builder.h"
#include "search/slot_search.h"

namespace carillon {
namespace {

TMelody FoundSlot(std::int32_t address, std::int32_t capacity, std::int32_t contentSize) {
    TMelody m;
    m.Address = address;
    m.Capacity = capacity;
    m.ContentSize = contentSize;
    m.Found = 1;
    return m;
}

TEST(SlotExport, RefusesWhatHasNothingSoundToSave) {
    TMelody missing = FoundSlot(kNotFound, 100, 50);
    missing.Found = 0;
    struct Case {
        TMelody slot;
        ImageKind kind;
        ExportSkip skip;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {missing, ImageKind::FullFlash, ExportSkip::NotFound, "not found"},
        {FoundSlot(0x3A1003, 100, 0), ImageKind::FullFlash, ExportSkip::Empty, "empty"},
        {FoundSlot(0x3A1003, 100, 0xFFFF), ImageKind::FullFlash, ExportSkip::Empty, "empty"},
        {FoundSlot(0x3A1003, 100, 101), ImageKind::FullFlash, ExportSkip::Unsound,
         "content size 101 is larger than the capacity 100"},
        // 0x400000-byte flash: 16 bytes from 0x3FFFF8 run past its end.
        {FoundSlot(0x3FFFF8, 100, 16), ImageKind::FullFlash, ExportSkip::Unsound,
         "content (16 bytes at 3FFFF8) lies outside the image"},
        // The same address in a ".bin" EEPROM image is 0x5FFF8: still outside 0x60000 bytes.
        {FoundSlot(0x3FFFF8, 100, 9), ImageKind::EepromBin, ExportSkip::Unsound,
         "lies outside the image"},
        {FoundSlot(0x3FFFF8, 100, 8), ImageKind::EepromBin, ExportSkip::None, ""},
    };
    for (const Case& c : cases) {
        const std::size_t size = c.kind == ImageKind::FullFlash ? fixtures::kDefaultFlashSize
                                                                : fixtures::kDefaultEepromSize;
        const ExportPlan plan = PlanSlotExport(c.slot, c.kind, size, {});
        EXPECT_EQ(plan.skip, c.skip) << c.reason;
        EXPECT_NE(English(plan.reason).find(c.reason), std::string::npos) << English(plan.reason);
    }
}

TEST(SlotExport, FileNamesFollowTheCaptionAndTheKind) {
    EXPECT_EQ(ExportFileName(1, "Classic 1"), "Classic_1.si3");
    EXPECT_EQ(ExportFileName(11, "User Melody 1"), "User_Melody_1.si3");
    EXPECT_EQ(ExportFileName(15, "User Picture 1"), "User_Picture_1.bmp");
    EXPECT_EQ(ExportFileName(17, "User Animation 1"), "User_Animation_1.bmx");
    // A caption can never leave the folder or hide a line break.
    EXPECT_EQ(ExportFileName(11, "../a\\b\nc"), ".._a_b_c.si3");
    EXPECT_EQ(
        UniqueExportNames({"My_Tune.si3", "Pop_1.si3", "My_Tune.si3", "My_Tune.si3"}),
        (std::vector<std::string>{"My_Tune.si3", "Pop_1.si3", "My_Tune_2.si3", "My_Tune_3.si3"}));
}

// The content saved from a slot, given back to the same slot, gives a patch whose content size
// and content bytes are the stored ones.
TEST(SlotExport, ContentGivenBackToItsSlotPatchesTheSameBytes) {
    const Bytes image = fixtures::DemoFlash();
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(image, ImageKind::FullFlash, slots);
    int saved = 0;
    for (int n = 1; n <= kSlotCount; ++n) {
        TMelody& slot = slots[static_cast<std::size_t>(RowOfSlot(n))];
        const ExportPlan plan = PlanSlotExport(slot, ImageKind::FullFlash, image.size(), {});
        if (plan.skip != ExportSkip::None) {
            continue;
        }
        ++saved;
        const Bytes content = SlotContent(plan, image);
        ASSERT_EQ(content.size(), static_cast<std::size_t>(slot.ContentSize));

        const SelectedSlotDisplay fields = ShowSelectedSlot(slot);
        PatchRequest r;
        r.kind = ImageKind::FullFlash;
        r.row = RowOfSlot(n);
        r.caption = std::string(SlotDef(n).caption);
        r.slot = slot;
        r.startText = fields.start;
        r.endText = fields.end;
        r.replacementPath = ExportFileName(n, r.caption);
        const BuiltPatch built = BuildPatchFromBytes(r, image, content);
        ASSERT_TRUE(built.block) << English(built.failure);
        const std::vector<ByteEdit>& edits = built.block->edits;
        EXPECT_EQ(edits[0].bytes[0] | (edits[0].bytes[1] << 8), slot.ContentSize) << n;
        EXPECT_TRUE(std::equal(content.begin(), content.end(), edits[1].bytes.begin())) << n;
    }
    // Demo image: 9 standard melodies and user melodies 1 and 2, both animations.
    EXPECT_EQ(saved, 13);
}

}  // namespace
}  // namespace carillon

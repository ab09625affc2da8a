// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/apply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/image_builder.h"
#include "vkp/diff.h"

namespace carillon {
namespace {

ApplyResult ApplyText(const std::string& text, ByteView image, JudgeDirection direction,
                      bool allowUnchecked = false, ImageKind kind = ImageKind::EepromEep) {
    VkpSource source{std::string_view(text)};
    return ApplyVkp(source, kind, image, {direction, allowUnchecked});
}

std::vector<int> FailureLines(const ApplyResult& r) {
    std::vector<int> lines;
    for (const RecordCheck& c : r.failures) {
        lines.push_back(c.line);
    }
    return lines;
}

constexpr auto kApply = JudgeDirection::Apply;
constexpr auto kRevert = JudgeDirection::Revert;

TEST(VkpApply, RecordsAreJudgedInOrderAndRecordsInPlaceAreSkipped) {
    // Image offsets 0..7: 10 11 12 13 FF FF 16 17.
    const Bytes image{0x10, 0x11, 0x12, 0x13, 0xFF, 0xFF, 0x16, 0x17};
    struct Case {
        const char* what;
        std::string text;  // "\n" line ends; each case also runs with CR LF
        JudgeDirection direction;
        bool allowUnchecked;
        std::string refusal;  // empty: the copy is written
        std::string copy;     // the copy's bytes when written
        int written, inPlace;
        std::vector<int> failures;
    };
    const std::vector<Case> cases = {
        {"a later record meets an earlier one's bytes",
         "0: 10 AA\n0: AA BB\n",
         kApply,
         false,
         "",
         "BB11121 3FFFF1617",
         2,
         0,
         {}},
        {"so an overlap against the image conflicts",
         "0: 10 AA\n0: 10 BB\n",
         kApply,
         false,
         "1 records do not apply",
         "",
         1,
         0,
         {2}},
        {"a record already in place is skipped",
         "0: 05 10\n1: 11 22\n",
         kApply,
         false,
         "",
         "10221213FFFF1617",
         1,
         1,
         {}},
        {"old equal to new counts as in place",
         "2: 12 12\n3: 13 33\n",
         kApply,
         false,
         "",
         "10111233FFFF1617",
         1,
         1,
         {}},
        {"no old bytes: refused",
         "0: AA\n",
         kApply,
         false,
         "1 records have no old bytes and cannot be checked",
         "",
         0,
         0,
         {1}},
        {"no old bytes: written when allowed",
         "0: AA\n",
         kApply,
         true,
         "",
         "AA111213FFFF1617",
         1,
         0,
         {}},
        {"old_equal_ff gives old bytes",
         "#pragma enable old_equal_ff\n4: 1234\n",
         kApply,
         false,
         "",
         "1011121312341617",
         1,
         0,
         {}},
        {"outside the image",
         "7: 17FF 0000\n",
         kApply,
         false,
         "1 records do not apply",
         "",
         0,
         0,
         {1}},
        {"offset lines move the addresses",
         "+4\n0: FFFF 0102\n-1\n2: 11 99\n+0\n",
         kApply,
         false,
         "",
         "10991213 01021617",
         2,
         0,
         {}},
        {"wholly in place, overlapping records count as in place",
         "0: 05 06\n0: 06 10\n",
         kApply,
         false,
         "",
         "10111213FFFF1617",
         0,
         2,
         {}},
        {"a text that does not read has no records",
         "0: 10 AA\n0: XX\n",
         kApply,
         false,
         "line 2, column 4: ",
         "",
         0,
         0,
         {}},
        {"no records", "; nothing\n", kApply, false, "holds no records", "", 0, 0, {}},
        {"revert: new bytes go back to old",
         "0: 05 10\n1: 06 11\n",
         kRevert,
         false,
         "",
         "05061213FFFF1617",
         2,
         0,
         {}},
        {"revert: last record first",
         "0: 05 06\n0: 06 10\n",
         kRevert,
         false,
         "",
         "05111213FFFF1617",
         2,
         0,
         {}},
        {"revert: old bytes already back are skipped",
         "0: 10 AA\n1: 06 11\n",
         kRevert,
         false,
         "",
         "10061213FFFF1617",
         1,
         1,
         {}},
        {"revert: old_equal_ff records are reverted",
         "#pragma enable old_equal_ff\n0: 10\n",
         kRevert,
         false,
         "",
         "FF111213FFFF1617",
         1,
         0,
         {}},
        {"revert: never without old bytes",
         "0: 10\n",
         kRevert,
         true,
         "1 records have no old bytes and cannot be reverted",
         "",
         0,
         0,
         {1}},
        {"revert: a record its author marked not to be undone is not, and is named",
         "0: 05 10\n#pragma disable undo\n1: 06 11\n2: 07 12\n#pragma enable undo\n",
         kRevert,
         false,
         "2 records are marked not to be undone (#pragma disable undo), the first at line 3",
         "",
         3,
         0,
         {}},
        {"apply: old data longer than new is checked whole",
         "0: 10FF AA\n",
         kApply,
         false,
         "1 records do not apply",
         "",
         0,
         0,
         {1}},
        {"revert: old data longer than new: the rest of it must still be there",
         "0: 0511 10\n",
         kRevert,
         false,
         "",
         "05111213FFFF1617",
         1,
         0,
         {}},
        {"revert: failures listed in judging order",
         "0: 00 01\n7: 0000 0000\n1: 00 02\n",
         kRevert,
         false,
         "3 records cannot be reverted",
         "",
         0,
         0,
         {3, 2, 1}},
    };
    for (const Case& c : cases) {
        for (const char* end : {"\n", "\r\n"}) {
            SCOPED_TRACE(std::string(c.what) + (end[1] ? " (CR LF)" : " (LF)"));
            std::string text = c.text;
            for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos;
                 at += std::string_view(end).size()) {
                text.replace(at, 1, end);
            }
            const ApplyResult r = ApplyText(text, image, c.direction, c.allowUnchecked);
            EXPECT_EQ(English(r.Refusal()).substr(0, c.refusal.size()), c.refusal);
            EXPECT_EQ(r.Writes(), c.refusal.empty());
            if (r.Writes()) {
                std::string copy = c.copy;
                std::erase(copy, ' ');
                EXPECT_EQ(HexBytes(r.image), copy);
            }
            EXPECT_EQ(r.written, c.written);
            EXPECT_EQ(r.inPlace, c.inPlace);
            EXPECT_EQ(FailureLines(r), c.failures);
        }
    }
}

TEST(VkpApply, KeepsTheFirstTenFailuresInJudgingOrderAndCountsTheRest) {
    const Bytes image(16, 0x00);
    // Lines 1..12: conflicts at even lines, records outside the image at odd ones.
    std::string text;
    for (int line = 1; line <= 12; ++line) {
        text += line % 2 == 0 ? "0: 11 22\n" : "20: 00 11\n";
    }
    const ApplyResult applied = ApplyText(text, image, kApply);
    EXPECT_EQ(FailureLines(applied), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(applied.moreFailures, 2);
    const ApplyResult reverted = ApplyText(text, image, kRevert);
    EXPECT_EQ(FailureLines(reverted), (std::vector<int>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3}));
    EXPECT_EQ(reverted.moreFailures, 2);
    EXPECT_EQ(reverted.counts.outside, 6);
    EXPECT_EQ(reverted.counts.conflict, 6);
}

// However many warnings a text holds, before or after its records, a hundred are kept and the
// rest counted.
TEST(VkpApply, WarningsAreKeptToAHundredAndCounted) {
    const Bytes image(16, 0x00);
    for (const bool before : {true, false}) {
        std::string text = before ? "" : "0: 00 11\n";
        for (int i = 0; i < 250; ++i) {
            text += "*/\n";
        }
        text += before ? "0: 00 11\n" : "";
        SCOPED_TRACE(before ? "before the records" : "after them");
        const ApplyResult r = ApplyText(text, image, kApply);
        EXPECT_TRUE(r.Writes());
        EXPECT_EQ(r.warnings.size(), kVkpWarningsKept);
        EXPECT_EQ(r.moreWarnings, 150u);
        const VkpParse parse = ReadVkp(text);
        EXPECT_EQ(parse.warnings.size(), kVkpWarningsKept);
        EXPECT_EQ(parse.moreWarnings, 150u);
    }
}

TEST(VkpApply, DiffApplyAndRevertRoundTripOnEveryKindOfImage) {
    struct Case {
        ImageKind kind;
        Bytes image;
    };
    const std::vector<Case> cases = {
        {ImageKind::FullFlash, fixtures::DemoFlash()},
        {ImageKind::EepromBin,
         fixtures::FlashImage(ImageKind::EepromBin)
             .Add(Sector::A, fixtures::SlotBlock(11, fixtures::Pattern(2000, 3)))
             .Build()},
        {ImageKind::EepromEep,
         fixtures::EepImage().Slot(11, fixtures::Pattern(1500, 5)).Slot(15, Bytes(300, 7)).Build()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KindText(c.kind));
        Bytes changed = c.image;
        for (std::size_t i = 3; i < changed.size(); i += changed.size() / 37) {
            for (std::size_t k = i; k < std::min(changed.size(), i + (i % 40)); k += 3) {
                changed[k] = static_cast<std::uint8_t>(changed[k] ^ 0x5A);
            }
        }
        changed.back() = static_cast<std::uint8_t>(changed.back() + 1);
        const ImageDiff diff = DiffImages(c.kind, c.image, changed, {"t", "a", "b"});

        const ApplyResult applied = ApplyText(diff.text, c.image, kApply, false, c.kind);
        ASSERT_TRUE(applied.Writes()) << English(applied.Refusal());
        EXPECT_TRUE(applied.image == changed);
        EXPECT_EQ(applied.written, static_cast<int>(diff.lines));
        EXPECT_EQ(applied.inPlace, 0);

        const ApplyResult reverted = ApplyText(diff.text, applied.image, kRevert, false, c.kind);
        ASSERT_TRUE(reverted.Writes()) << English(reverted.Refusal());
        EXPECT_TRUE(reverted.image == c.image);

        const ApplyResult again = ApplyText(diff.text, applied.image, kApply, false, c.kind);
        ASSERT_TRUE(again.Writes());
        EXPECT_TRUE(again.image == changed);
        EXPECT_EQ(again.inPlace, static_cast<int>(diff.lines));
        EXPECT_EQ(again.written, 0);
    }
}

}  // namespace
}  // namespace carillon

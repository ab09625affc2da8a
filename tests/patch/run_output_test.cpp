// SPDX-License-Identifier: GPL-3.0-or-later
// What a run checks before it writes, and the patched image it writes.
#include <gtest/gtest.h>

#include "core/file_io.h"
#include "patch/run_output.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

class RunOutput : public test_support::TempDirTest {
  protected:
    std::string WriteText(const std::string& name, std::string_view text) const {
        return Write(name, Bytes(text.begin(), text.end()));
    }
    std::string ReadText(const std::string& name) const {
        const Bytes bytes = Read(Path(name));
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(RunOutput, OnlyADirectRunWithAChosenSlotAsksAboutAnExistingImage) {
    const std::string existing = WriteText("flash.bin", "x");
    const std::string missing = Path("flash__patched.bin");
    struct Case {
        bool direct, chosen;
        std::string path;
        bool asks;
    };
    for (const Case& c : {Case{true, true, existing, true}, Case{true, true, missing, false},
                          Case{false, true, existing, false}, Case{true, false, existing, false}}) {
        EXPECT_EQ(PatchedImageQuestionFor(c.direct, c.chosen, c.path).empty(), !c.asks) << c.path;
    }
}

TEST(RunChecks, PatchNamesWithAFolderPartAreRefused) {
    // Blanks at either end do not count: " .. " is "..".
    for (const char* refused : {"../escaped", "sub/name", "..\\up", "..", ".", " .. ", " . "}) {
        EXPECT_NE(PatchNameRefusal(refused, "/p"), "") << refused;
    }
    for (const char* kept : {"All_Patches", "My..Patch", "...", "a b"}) {
        EXPECT_EQ(PatchNameRefusal(kept, "/p"), "") << kept;
    }
}

TEST(RunChecks, RowsGivingOneFileNameClashAfterCleaning) {
    const DateTimeTexts now{"08.12.2026", "02:03:04"};
    const auto plan = [&](std::vector<std::pair<int, std::string>> rows) {
        std::vector<PlannedPatchFile> files;
        for (const auto& [slot, caption] : rows) {
            files.push_back({slot, caption, PerSlotPatchPath("/p", CaptionFileName(caption), now)});
        }
        return SharedPatchFileText(files);
    };
    EXPECT_EQ(plan({{1, "Pop 1"}, {2, "Tango"}, {3, "Pop_1"}}),
              "\"Pop 1\" (slot 1) and \"Pop_1\" (slot 3) would both write "
              "/p/Pop_1__08-12-2026__02-03-04.vkp; give one of them another name. Nothing was "
              "written.");
    EXPECT_EQ(plan({{1, "Pop 1"}, {2, "Pop 2"}, {11, "User Melody 1"}}), "");
    EXPECT_EQ(CaptionFileName("a/b\\c d\x01"), "a_b_c_d_");
}

TEST_F(RunOutput, ThePatchedImageNeverReplacesAnInputItWasNotMeantFor) {
    const std::string image = WriteText("flash.bin", "old image");
    const std::string tune = WriteText("tune.si3", "tune");
    const Bytes patched{'n', 'e', 'w'};
    WritePatchedImage(image, image, patched, {tune});  // no backup: the opened file
    EXPECT_EQ(ReadText("flash.bin"), "new");
    EXPECT_THROW(WritePatchedImage(tune, image, patched, {tune}), FileError);
    EXPECT_THROW(WritePatchedImage(image, Path("other.bin"), patched, {image}), FileError);
    EXPECT_EQ(ReadText("tune.si3"), "tune");
    EXPECT_EQ(ReadText("flash.bin"), "new");
}

}  // namespace
}  // namespace carillon

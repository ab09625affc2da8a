// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures/image_builder.h"
#include "search/slot_search.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

using test_support::RunCliArgs;

class CliExportTest : public test_support::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        bytes_ = fixtures::DemoFlash();
        image_ = Write("demo.bin", bytes_);
    }
    // ContentSize bytes from Address of slot n in `image`.
    static Bytes Stored(const Bytes& image, int n) {
        SlotTable slots{};
        InitialiseSlotTable(slots);
        SearchSlots(image, ImageKind::FullFlash, slots);
        const TMelody& m = slots[static_cast<std::size_t>(RowOfSlot(n))];
        return Bytes(image.begin() + m.Address, image.begin() + m.Address + m.ContentSize);
    }
    Bytes bytes_;
    std::string image_;
};

TEST_F(CliExportTest, ASavedSlotGivenBackToItsSlotKeepsItsContent) {
    const std::string saved = Path("classic2.si3");
    const auto r = RunCliArgs({"export", image_, "--slot", "2", "--out", saved});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Read(saved), Stored(bytes_, 2));
    EXPECT_EQ(r.out, "Wrote " + saved + " (verified): slot 2 (Classic 2), " +
                         std::to_string(Stored(bytes_, 2).size()) + " bytes\n");

    const std::string patched = Path("patched.bin");
    ASSERT_EQ(
        RunCliArgs({"patch", image_, "--slot", "2=" + saved, "--keep-names", "--out", patched})
            .code,
        0);
    EXPECT_EQ(Stored(Read(patched), 2), Stored(bytes_, 2));

    // The file exists now: only --force replaces it.
    EXPECT_EQ(RunCliArgs({"export", image_, "--slot", "2", "--out", saved}).code, 1);
    EXPECT_EQ(RunCliArgs({"export", image_, "--slot", "2", "--out", saved, "--force"}).code, 0);
}

TEST_F(CliExportTest, SlotsWithNothingToSaveAreRefusedWithTheReason) {
    struct Case {
        std::string slot;
        std::string reason;
    };
    for (const Case& c :
         {Case{"9", "slot 9 (Folklore 2): not found"}, Case{"13", "slot 13 (User Melody 3): empty"},
          Case{"15", "slot 15 (User Picture 1): empty"},
          Case{"16", "slot 16 (User Picture 2): not found"}}) {
        const std::string out = Path("x" + c.slot);
        const auto r = RunCliArgs({"export", image_, "--slot", c.slot, "--out", out});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "carillon-cli: " + image_ + ": " + c.reason + "\n");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST_F(CliExportTest, AllWritesEverySlotWithContentAndSaysWhatItSkipped) {
    const std::string dir = Path("saved/new");
    const auto r = RunCliArgs({"export", image_, "--all", dir});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* name : {"Classic_1.si3", "Folklore_3.si3", "User_Melody_2.si3",
                             "User_Animation_1.bmx", "User_Animation_2.bmx"}) {
        EXPECT_TRUE(std::filesystem::exists(dir + "/" + name)) << name;
    }
    EXPECT_EQ(Read(dir + "/User_Melody_1.si3"), Stored(bytes_, 11));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 13);
    EXPECT_NE(r.out.find("Wrote " + dir + "/Tango.si3 (verified): slot 7 (Tango), "),
              std::string::npos);
    EXPECT_NE(r.out.find("Skipped slot 14 (User Melody 4): empty\n"
                         "Skipped slot 15 (User Picture 1): empty\n"
                         "Skipped slot 16 (User Picture 2): not found\n"),
              std::string::npos)
        << r.out;

    // Again: the existing files need --force, and nothing is written without it.
    const auto again = RunCliArgs({"export", image_, "--all", dir});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("already exists (use --force to replace it)"), std::string::npos);
    EXPECT_EQ(RunCliArgs({"export", image_, "--all", dir, "--force"}).code, 0);

    // An image without any content to save: exit 1.
    const std::string blank = Write("blank.bin", fixtures::StandardFlash().Build());
    const auto none = RunCliArgs({"export", blank, "--all", Path("none")});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("no slot holds content to export"), std::string::npos);
}

// Files are named after the row captions: the names a full flash stores for its melodies.
TEST_F(CliExportTest, AllNamesFilesAfterStoredNamesAndNumbersRepeats) {
    const std::string image =
        Write("named.bin", fixtures::StandardFlash()
                               .Add(Sector::A, fixtures::SlotBlock(1, fixtures::Pattern(10, 1)))
                               .Add(Sector::A, fixtures::SlotBlock(2, fixtures::Pattern(20, 2)))
                               .MelodyName(1, "Ring tone")
                               .MelodyName(2, "Ring tone")
                               .Build());
    const std::string dir = Path("named");
    const auto r = RunCliArgs({"export", image, "--all", dir});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Read(dir + "/Ring_tone.si3"), fixtures::Pattern(10, 1));
    EXPECT_EQ(Read(dir + "/Ring_tone_2.si3"), fixtures::Pattern(20, 2));
}

TEST_F(CliExportTest, UsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", image_},
          {"export", image_, "--slot", "1"},
          {"export", image_, "--slot", "19", "--out", Path("a")},
          {"export", image_, "--slot", "1", "--all", Path("d")},
          {"export", image_, "--all", Path("d"), "--out", Path("a")},
          {"export", image_, "--all", ""}}) {
        EXPECT_EQ(RunCliArgs(args).code, 2) << args.size();
    }
}

}  // namespace
}  // namespace carillon

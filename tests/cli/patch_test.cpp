// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/image_builder.h"
#include "patch/make_patch.h"
#include "patch/patch_request.h"
#include "patch/vkp_applier.h"
#include "search/slot_search.h"
#include "support/cli_run.h"
#include "support/corrupt_read_back.h"
#include "support/read_text.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using fixtures::Pattern;
using fixtures::SlotBlock;

using test_support::ReadText;

using CliResult = test_support::CliRun;
using test_support::RunCliArgs;

class CliPatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test_support::MakeTempDir("cli-patch");
        image_ = dir_ + "/flash.bin";
        bytes_ = fixtures::StandardFlash()
                     .Add(Sector::A, SlotBlock(1, Pattern(700, 1)))
                     .Add(Sector::A, SlotBlock(3, Pattern(300, 3)))
                     .Add(Sector::B, SlotBlock(11, Pattern(900, 11)))
                     .Add(Sector::B, SlotBlock(15, Pattern(100, 15)))
                     .Build();
        fixtures::WriteFile(image_, bytes_);
        melody_ = dir_ + "/tune.si3";
        picture_ = dir_ + "/pic.bmp";
        fixtures::WriteFile(melody_, Pattern(1200, 40));
        fixtures::WriteFile(picture_, Pattern(4000, 41));
    }
    void TearDown() override { fs::remove_all(dir_); }

    // What a single-patch V_KLay run of the window writes for the same choices.
    std::string WindowSinglePatch(const std::vector<std::pair<int, std::string>>& chosen,
                                  const std::vector<std::pair<int, std::string>>& captions) {
        const std::string folder = dir_ + "/window";
        fs::create_directory(folder);
        SlotTable slots{};
        InitialiseSlotTable(slots);
        SearchSlots(bytes_, ImageKind::FullFlash, slots);
        Bytes working = bytes_;
        std::string last;
        for (const auto& [n, file] : chosen) {
            TMelody& slot = slots[static_cast<std::size_t>(RowOfSlot(n))];
            PatchChoice choice;
            choice.imagePath = image_;
            choice.row = RowOfSlot(n);
            choice.slot = slot;
            choice.caption = std::string(SlotDef(n).caption);
            choice.replacementPath = file;
            choice.nameStored = true;  // the flash holds the stock names
            PatchCall call;
            call.request = MakePatchRequest(choice);
            for (const auto& [m, caption] : captions) {
                if (m == n) {
                    call.request.caption = caption;
                }
            }
            call.patchBaseName = "All_Patches";
            call.vkpFolder = folder;
            const PatchOutcome out = MakePatch(call, working, last, {});
            EXPECT_TRUE(out.ok) << out.resultText;
        }
        return ReadText(folder + "/All_Patches.vkp");
    }

    std::string dir_, image_, melody_, picture_;
    Bytes bytes_;
};

TEST_F(CliPatchTest, VkpEqualsTheWindowsSinglePatchForTheSameChoices) {
    const std::string vkp = dir_ + "/all.vkp";
    const CliResult r =
        RunCliArgs({"patch", image_, "--slot", "15=" + picture_, "--slot", "1=" + melody_, "--slot",
                    "11=" + melody_, "--name", "1=T\xC3\xBCne.x", "--allow-cut", "--vkp", vkp});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Wrote " + vkp + " (verified)\n");
    const std::string expected =
        WindowSinglePatch({{1, melody_}, {11, melody_}, {15, picture_}}, {{1, "T_ne_x"}});
    EXPECT_EQ(ReadText(vkp), expected);
    EXPECT_NE(expected.find(" 545F6E655F7820202020"), std::string::npos);  // "T_ne_x     "

    // --keep-names: the stock caption everywhere, no name line.
    const CliResult kept = RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--name",
                                       "1=Other", "--keep-names", "--vkp", vkp, "--force"});
    ASSERT_EQ(kept.code, 0) << kept.err;
    std::vector<testing::VkpRecord> records;
    std::string error;
    ASSERT_TRUE(testing::ParseVkp(ReadText(vkp), records, error)) << error;
    EXPECT_NE(records.back().address, SlotDef(1).nameAddress);
}

TEST_F(CliPatchTest, PerSlotFilesAreNamedAfterTheirCaptions) {
    const std::string vkp = dir_ + "/all.vkp";
    ASSERT_EQ(RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--slot", "11=" + melody_,
                          "--slot", "3=" + melody_, "--name", "3=My Pop", "--vkp", vkp})
                  .code,
              0);
    const std::string out = dir_ + "/per";
    fs::create_directory(out);
    const CliResult r =
        RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--slot", "11=" + melody_, "--slot",
                    "3=" + melody_, "--name", "3=My Pop", "--per-slot", out});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string a = ReadText(out + "/Classic_1.vkp");
    const std::string b = ReadText(out + "/My_Pop.vkp");
    const std::string c = ReadText(out + "/User_Melody_1.vkp");
    EXPECT_EQ(a + b + c, ReadText(vkp));
    EXPECT_EQ(a.find("; this patch"), 0u);
    EXPECT_EQ(a.find("; this patch", 1), std::string::npos);  // one block per file

    // Two slots renamed alike would write one file: refused before anything is written.
    const CliResult clash =
        RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--slot", "3=" + melody_, "--name",
                    "1=Same", "--name", "3=Same", "--per-slot", out});
    EXPECT_EQ(clash.code, 1);
    EXPECT_NE(clash.err.find("\"Same\" (slot 1) and \"Same\" (slot 3) would both write " + out +
                             "/Same.vkp"),
              std::string::npos)
        << clash.err;
    EXPECT_FALSE(fs::exists(out + "/Same.vkp"));
}

TEST_F(CliPatchTest, OutIsTheImageWithTheRecordsApplied) {
    const std::string vkp = dir_ + "/all.vkp";
    const std::string out = dir_ + "/patched.bin";
    const std::vector<std::string> slots{"--slot",        "1=" + melody_, "--slot",
                                         "3=" + picture_, "--slot",       "15=" + picture_,
                                         "--name",        "3=New",        "--allow-cut"};
    std::vector<std::string> args{"patch", image_};
    args.insert(args.end(), slots.begin(), slots.end());
    std::vector<std::string> vkpArgs = args;
    vkpArgs.insert(vkpArgs.end(), {"--vkp", vkp});
    args.insert(args.end(), {"--out", out});
    ASSERT_EQ(RunCliArgs(vkpArgs).code, 0);
    const CliResult r = RunCliArgs(args);
    ASSERT_EQ(r.code, 0) << r.err;
    Bytes expected = bytes_;
    std::string error;
    ASSERT_TRUE(testing::ApplyVkp(ReadText(vkp), 0, expected, error)) << error;
    const std::string written = ReadText(out);
    EXPECT_EQ(Bytes(written.begin(), written.end()), expected);
    EXPECT_EQ(ReadText(image_), std::string(bytes_.begin(), bytes_.end()));
}

TEST_F(CliPatchTest, AnOutputThatFailsItsReadBackReplacesNothing) {
    const std::string old = dir_ + "/old";
    fixtures::WriteFile(old, Bytes{'k'});
    const test_support::CorruptBeforeReadBack corrupt(3, '0');
    for (const char* output : {"--vkp", "--out"}) {
        const CliResult r =
            RunCliArgs({"patch", image_, "--slot", "1=" + melody_, output, old, "--force"});
        EXPECT_EQ(r.code, 1) << output;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(old + ": The written file failed its check ("), std::string::npos)
            << r.err;
    }
    EXPECT_EQ(ReadText(old), "k");
}

TEST_F(CliPatchTest, AFileLargerThanItsSlotIsRefusedUnlessCutIsAllowed) {
    const std::string vkp = dir_ + "/all.vkp";
    const CliResult r = RunCliArgs({"patch", image_, "--slot", "15=" + picture_, "--vkp", vkp});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "carillon-cli: slot 15 (User Picture 1): " + picture_ +
                         " has 4000 bytes, the slot holds 1600 (use --allow-cut to keep its first "
                         "1600 bytes)\n");
    EXPECT_FALSE(fs::exists(vkp));
}

// The image stores "Ringtone" for slot 1, and bytes that are no name for slot 3.
TEST_F(CliPatchTest, StoredNamesAreKeptAndMissingNamesAreNeverWritten) {
    const SlotDefinition& pop = SlotDef(3);
    const Bytes flash = fixtures::StandardFlash()
                            .Add(Sector::A, SlotBlock(1, Pattern(700, 1)))
                            .Add(Sector::A, SlotBlock(3, Pattern(300, 3)))
                            .MelodyName(1, "Ringtone")
                            .Poke(static_cast<std::size_t>(pop.nameAddress), Bytes(11, 0xFF))
                            .Build();
    const std::string image = dir_ + "/named.bin";
    fixtures::WriteFile(image, flash);
    const std::string out = dir_ + "/per";
    fs::create_directory(out);

    const CliResult r = RunCliArgs(
        {"patch", image, "--slot", "1=" + melody_, "--slot", "3=" + melody_, "--per-slot", out});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const std::string file : {"/Ringtone.vkp", "/Pop_1.vkp"}) {
        std::vector<testing::VkpRecord> records;
        std::string error;
        ASSERT_TRUE(testing::ParseVkp(ReadText(out + file), records, error)) << error;
        for (const auto& record : records) {  // no name line
            EXPECT_NE(record.address, SlotDef(1).nameAddress) << file;
            EXPECT_NE(record.address, pop.nameAddress) << file;
        }
    }

    const std::string vkp = dir_ + "/x.vkp";
    const CliResult refused =
        RunCliArgs({"patch", image, "--slot", "3=" + melody_, "--name", "3=New", "--vkp", vkp});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("slot 3 (Pop 1)"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(vkp));
}

TEST_F(CliPatchTest, ExistingFilesAreReplacedOnlyWithForce) {
    const std::string out = dir_ + "/patched.bin";
    const std::string per = dir_ + "/per";
    fs::create_directory(per);
    fixtures::WriteFile(out, Bytes{'k'});
    fixtures::WriteFile(per + "/Classic_1.vkp", Bytes{'k'});
    for (const auto& target :
         {std::vector<std::string>{"--out", out}, std::vector<std::string>{"--vkp", out},
          std::vector<std::string>{"--per-slot", per}}) {
        std::vector<std::string> args{"patch", image_, "--slot", "1=" + melody_};
        args.insert(args.end(), target.begin(), target.end());
        const CliResult r = RunCliArgs(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("carillon-cli: "), std::string::npos);
        EXPECT_NE(r.err.find(": already exists (use --force to replace it)"), std::string::npos);
    }
    EXPECT_EQ(ReadText(out), "k");
    EXPECT_EQ(ReadText(per + "/Classic_1.vkp"), "k");
    EXPECT_EQ(RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--out", out, "--force"}).code,
              0);
    EXPECT_EQ(ReadText(out).size(), bytes_.size());
}

TEST_F(CliPatchTest, UsageErrorsExitWithTwo) {
    const std::string vkp = dir_ + "/x.vkp";
    const std::vector<std::vector<std::string>> cases{
        {"patch", image_, "--slot", "19=" + melody_, "--vkp", vkp},
        {"patch", image_, "--slot", melody_, "--vkp", vkp},
        {"patch", image_, "--slot", "1=" + melody_, "--slot", "1=" + melody_, "--vkp", vkp},
        {"patch", image_, "--slot", "11=" + melody_, "--name", "11=Mine", "--vkp", vkp},
        {"patch", image_, "--slot", "1=" + melody_, "--name", "2=Mine", "--vkp", vkp},
        {"patch", image_, "--slot", "1=" + melody_},
        {"patch", image_, "--slot", "1=" + melody_, "--vkp", vkp, "--out", vkp},
        {"patch", image_, "--vkp", vkp},
        // Empty values, and a repeated name.
        {"patch", image_, "--slot", "1=", "--vkp", vkp},
        {"patch", image_, "--slot", "1=" + melody_, "--vkp", ""},
        {"patch", image_, "--slot", "1=" + melody_, "--per-slot", ""},
        {"patch", image_, "--slot", "1=" + melody_, "--out", ""},
        {"patch", image_, "--slot", "1=" + melody_, "--name", "1=", "--per-slot", dir_},
        // A name of blanks only would leave the slot without a name it could get back.
        {"patch", image_, "--slot", "1=" + melody_, "--name", "1=   ", "--per-slot", dir_},
        {"patch", image_, "--slot", "1=" + melody_, "--name", "1=A", "--name", "1=B", "--vkp", vkp},
        {"relocate", image_, "--out", ""},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(RunCliArgs(args).code, 2) << args[3];
    }
    EXPECT_FALSE(fs::exists(vkp));
    EXPECT_FALSE(fs::exists(dir_ + "/.vkp"));
    // Each --slot takes one value, so the image may come after it.
    EXPECT_EQ(RunCliArgs({"patch", "--slot", "1=" + melody_, image_, "--vkp", vkp}).code, 0);
}

TEST_F(CliPatchTest, FailedJobsExitWithOneAndWriteNothing) {
    const std::string vkp = dir_ + "/x.vkp";
    CliResult r = RunCliArgs(
        {"patch", image_, "--slot", "1=" + melody_, "--slot", "2=" + melody_, "--vkp", vkp});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "carillon-cli: " + image_ + ": slot 2 (Classic 2) was not found in the image\n");
    r = RunCliArgs({"patch", image_, "--slot", "1=" + dir_ + "/none.si3", "--vkp", vkp});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "carillon-cli: " + dir_ + "/none.si3: No such file or directory\n");
    r = RunCliArgs({"patch", dir_ + "/none.bin", "--slot", "1=" + melody_, "--vkp", vkp});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(fs::exists(vkp));
}

}  // namespace
}  // namespace carillon

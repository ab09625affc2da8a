// SPDX-License-Identifier: GPL-3.0-or-later
// A damaged block table: every output that would write into, or save from, a slot whose block
// overlaps another block or a table, or leaves its sector, is refused whole, with nothing
// written. info shows why. Short blocks that are no slot's damage nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fixtures/image_builder.h"
#include "patch/make_patch.h"
#include "patch/patch_request.h"
#include "search/slot_search.h"
#include "support/cli_run.h"
#include "support/damaged_tables.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using test_support::DamagedTable;
using test_support::DamagedTables;
using test_support::RunCliArgs;

class DamagedTableTest : public test_support::TempDirTest {
  protected:
    std::string Melody() { return Write("tune.si3", fixtures::Pattern(300, 40)); }
    // What the refusal says about slot 4: the reason with captions.
    static std::string Refusal(const DamagedTable& c) {
        std::string reason = c.reason;
        if (reason == "overlaps slot 10") {
            reason += " (Folklore 3)";
        }
        return "slot 4 (Pop 2) " + reason + ": the image's block table is damaged";
    }
};

TEST_F(DamagedTableTest, EveryPatchOutputRefusesAJobWithAnUnsoundSlotWhole) {
    const std::string melody = Melody();
    for (const DamagedTable& c : DamagedTables()) {
        const std::string image = Write("flash.bin", c.image);
        const std::vector<std::vector<std::string>> outputs = {
            {"--vkp", Path("all.vkp")}, {"--per-slot", Path("slots")}, {"--out", Path("o.bin")}};
        for (const std::vector<std::string>& output : outputs) {
            SCOPED_TRACE(c.name + " " + output[0]);
            // Slot 1 is sound; the job holds slot 4 too and is refused whole.
            std::vector<std::string> args = {"patch",       image,    "--slot",
                                             "1=" + melody, "--slot", "4=" + melody};
            args.insert(args.end(), output.begin(), output.end());
            if (c.reason.empty() && output[0] == "--per-slot") {
                fs::create_directory(output[1]);
            }
            const test_support::CliRun run = RunCliArgs(args);
            if (c.reason.empty()) {
                EXPECT_EQ(run.code, 0) << run.err;
                EXPECT_FALSE(fs::is_empty(output[1]));
                fs::remove_all(output[1]);
                continue;
            }
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, "carillon-cli: " + image + ": " + Refusal(c) + "\n");
            EXPECT_FALSE(fs::exists(output[1]));
        }
        EXPECT_EQ(Read(image), c.image);
    }
}

TEST_F(DamagedTableTest, ExportRefusesTheSlotAndAllSkipsIt) {
    for (const DamagedTable& c : DamagedTables()) {
        SCOPED_TRACE(c.name);
        const std::string image = Write("flash.bin", c.image);
        const std::string reason = "its block " + Refusal(c).substr(15);
        test_support::CliRun run =
            RunCliArgs({"export", image, "--slot", "4", "--out", Path("pop2.si3")});
        if (c.reason.empty()) {
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_EQ(Read(Path("pop2.si3")), fixtures::Pattern(400, 4));
            fs::remove(Path("pop2.si3"));
            continue;
        }
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "carillon-cli: " + image + ": slot 4 (Pop 2): " + reason + "\n");
        EXPECT_FALSE(fs::exists(Path("pop2.si3")));

        fs::remove_all(Path("all"));
        run = RunCliArgs({"export", image, "--all", Path("all")});
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.out.find("Skipped slot 4 (Pop 2): " + reason + "\n"), std::string::npos);
        EXPECT_NE(run.out.find("slot 1 (Classic 1), 700 bytes"), std::string::npos);
    }
}

TEST_F(DamagedTableTest, InfoNamesTheDamage) {
    const std::vector<DamagedTable> cases = DamagedTables();
    const DamagedTable& c = cases[0];
    const std::string image = Write("flash.bin", c.image);
    test_support::CliRun run = RunCliArgs({"info", image, "--json"});
    ASSERT_EQ(run.code, 0);
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["slots"][3]["unsound"], "overlaps slot 10");
    EXPECT_EQ(doc["slots"][9]["unsound"], "overlaps slot 4");
    EXPECT_TRUE(doc["slots"][0]["unsound"].is_null());
    EXPECT_TRUE(doc["slots"][1]["unsound"].is_null());  // not found

    run = RunCliArgs({"info", image});
    EXPECT_NE(run.out.find("yes!   Pop 2       ! overlaps slot 10 (Folklore 3): the image's "
                           "block table is damaged\n"),
              std::string::npos)
        << run.out;
}

TEST_F(DamagedTableTest, RelocationRefusesBlocksHoldingOneByteAndMovesShortOnes) {
    // Four melodies' 1-byte blocks at one address: before, each was packed apart, giving the
    // byte four times.
    fixtures::FlashImage shared = fixtures::StandardFlash();
    const std::int64_t at = shared.NextDataOffset(Sector::A);
    for (int n = 1; n <= 4; ++n) {
        fixtures::Block b = fixtures::SlotBlock(n, {});
        b.length = 1;
        b.address = test_support::PhoneAddress(at);
        shared.Add(Sector::A, b);
    }
    std::vector<DamagedTable> cases = DamagedTables();
    cases.push_back({"one byte held four times", shared.Build(), "", false});
    for (const DamagedTable& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = Write("flash.bin", c.image);
        const test_support::CliRun run = RunCliArgs({"relocate", image, "--out", Path("r.bin")});
        if (c.relocates) {
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_TRUE(fs::exists(Path("r.bin")));
            fs::remove(Path("r.bin"));
            continue;
        }
        EXPECT_EQ(run.code, 1);
        if (c.name != "leaving the sector") {  // refused by the sector check
            EXPECT_NE(run.err.find("the block table is damaged; nothing was written"),
                      std::string::npos)
                << run.err;
        }
        EXPECT_FALSE(fs::exists(Path("r.bin")));
    }
}

TEST_F(DamagedTableTest, TheWindowsPatchPathRefusesTheSlot) {
    const std::vector<DamagedTable> cases = DamagedTables();
    const DamagedTable& c = cases[0];
    const std::string image = Write("flash.bin", c.image);
    fs::create_directory(Path("program"));
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(c.image, ImageKind::FullFlash, slots);
    PatchChoice choice;
    choice.imagePath = image;
    choice.row = RowOfSlot(4);
    choice.slot = slots[3];
    choice.caption = "Pop 2";
    choice.replacementPath = Melody();
    choice.nameStored = true;
    PatchCall call;
    call.request = MakePatchRequest(choice);
    call.patchBaseName = "All_Patches";
    call.vkpFolder = Path("program");
    for (const bool vklay : {true, false}) {
        call.vklayMode = vklay;
        Bytes working = c.image;
        std::string last;
        std::vector<std::string> errors;
        const PatchOutcome outcome = MakePatch(
            call, working, last,
            {[&](const MessageLines& text) { errors.push_back(English(text)); }, nullptr});
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.resultText, kBlockTableDamaged);
        EXPECT_EQ(errors, std::vector<std::string>{Refusal(c)});
        EXPECT_EQ(working, c.image);
        EXPECT_TRUE(fs::is_empty(Path("program")));
    }
}

}  // namespace
}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/image_builder.h"
#include "support/cli_run.h"
#include "support/read_text.h"
#include "support/temp_dir.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon {
namespace {

using test_support::RunCliArgs;

class CliWorkbenchTest : public test_support::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        oldBytes_ = fixtures::DemoFlash();
        newBytes_ = oldBytes_;
        for (std::size_t i = 0x3A0100; i < 0x3A0140; i += 3) {
            newBytes_[i] = static_cast<std::uint8_t>(~newBytes_[i]);
        }
        old_ = Write("old.bin", oldBytes_);
        new_ = Write("new.bin", newBytes_);
    }
    Bytes oldBytes_, newBytes_;
    std::string old_, new_;
};

TEST_F(CliWorkbenchTest, DiffWritesAPatchThatReplaysOldIntoNew) {
    const std::string vkp = Path("d.vkp");
    const auto r = RunCliArgs({"diff", old_, new_, "--vkp", vkp, "--title", "my change"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Wrote " + vkp + " (verified): 4 records, 22 bytes changed\n");
    const std::string text = test_support::ReadText(vkp);
    EXPECT_NE(text.find("; my change\r\n; old: old.bin\r\n; new: new.bin\r\n"), std::string::npos);
    const VkpParse parsed = ReadVkp(text);
    ASSERT_TRUE(parsed.ok());
    Bytes replayed = oldBytes_;
    ASSERT_EQ(ReplayVkp(parsed.records, ImageKind::FullFlash, replayed), "");
    EXPECT_TRUE(replayed == newBytes_);
}

TEST_F(CliWorkbenchTest, DiffRefusesWhatNoPatchCanJoinAndWritesNothing) {
    const std::string shortImage =
        Write("short.bin", Bytes(oldBytes_.begin(), oldBytes_.end() - 1));
    const std::string eep = Write("same.eep", oldBytes_);
    const std::string vkp = Path("d.vkp");
    struct Case {
        std::string a, b, message;
    };
    for (const Case& c : {Case{old_, old_, "are equal"}, Case{old_, shortImage, "one length"},
                          Case{old_, eep, "one kind"}}) {
        SCOPED_TRACE(c.message);
        const auto r = RunCliArgs({"diff", c.a, c.b, "--vkp", vkp});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(vkp));
    }
    Write("d.vkp", Bytes{'x'});
    EXPECT_EQ(RunCliArgs({"diff", old_, new_, "--vkp", vkp}).code, 1) << "no --force";
    EXPECT_EQ(RunCliArgs({"diff", old_, new_, "--vkp", vkp, "--force"}).code, 0);
    EXPECT_EQ(RunCliArgs({"diff", old_, new_, "--vkp", old_, "--force"}).code, 1)
        << "an input is never replaced";
}

TEST_F(CliWorkbenchTest, ApplyReplaysADiffAndRevertAndReapplyHoldTheirPromises) {
    const std::string vkp = Path("d.vkp");
    ASSERT_EQ(RunCliArgs({"diff", old_, new_, "--vkp", vkp}).code, 0);

    const std::string applied = Path("applied.bin");
    const auto apply = RunCliArgs({"apply", old_, vkp, "--out", applied});
    ASSERT_EQ(apply.code, 0) << apply.err;
    EXPECT_EQ(apply.out,
              "Wrote " + applied + " (verified): 4 records applied, 0 already in place\n");
    EXPECT_TRUE(Read(applied) == newBytes_) << "diff A B, then apply onto A, gives B";

    const std::string reverted = Path("reverted.bin");
    ASSERT_EQ(RunCliArgs({"apply", applied, vkp, "--out", reverted, "--revert"}).code, 0);
    EXPECT_TRUE(Read(reverted) == oldBytes_) << "revert gives the image back";

    const std::string again = Path("again.bin");
    const auto twice = RunCliArgs({"apply", applied, vkp, "--out", again});
    ASSERT_EQ(twice.code, 0) << twice.err;
    EXPECT_EQ(twice.out, "Wrote " + again + " (verified): 0 records applied, 4 already in place\n");
    EXPECT_TRUE(Read(again) == newBytes_);
}

TEST_F(CliWorkbenchTest, ApplyOfAPatchRunsPatchEqualsThePatchedImageItWrites) {
    const std::string melody = Write("tune.si3", fixtures::Pattern(300, 40));
    const std::string vkp = Path("p.vkp");
    const std::string patched = Path("patched.bin");
    const std::vector<std::string> slot{"--slot", "1=" + melody, "--name", "1=Tune"};
    auto args = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), slot.begin(), slot.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    ASSERT_EQ(RunCliArgs(args({"patch", old_}, {"--vkp", vkp})).code, 0);
    ASSERT_EQ(RunCliArgs(args({"patch", old_}, {"--out", patched})).code, 0);
    const std::string applied = Path("applied.bin");
    const auto r = RunCliArgs({"apply", old_, vkp, "--out", applied});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Read(applied) == Read(patched));
}

TEST_F(CliWorkbenchTest, ApplyRefusesWhatDoesNotFitAndWritesNothing) {
    std::string many;
    for (int i = 0; i < 12; ++i) {
        many += "3A0100: 01 02\r\n";
    }
    struct Case {
        const char* what;
        std::string patch;
        std::vector<std::string> flags;
        int code;
        std::string out;  // the start of standard output
        std::string err;  // found in standard error
    };
    const std::vector<Case> cases = {
        {"a conflict",
         "3A0100: 01 02\r\n",
         {},
         1,
         "line 1: 3A0100: conflict at image offset 3A0100: expected 01, found 59\n"
         "1 records: 0 apply, 0 applied, 1 conflict, 0 outside, 0 unchecked\n",
         "1 records do not apply: nothing written"},
        {"ten listed, then a count", many, {}, 1, "line 1: 3A0100: conflict", "12 records do not"},
        {"outside",
         "FFFFFF: 00 01\r\n",
         {},
         1,
         "line 1: FFFFFF: outside the image (1 bytes)",
         "do not apply"},
        {"no old bytes",
         "3A0100: 01\r\n",
         {},
         1,
         "line 1: 3A0100: unchecked (no old bytes)",
         "cannot be checked: nothing written (--allow-unchecked"},
        {"no old bytes, allowed", "3A0100: 01\r\n", {"--allow-unchecked"}, 0, "Wrote", ""},
        {"no old bytes are never reverted",
         "3A0100: 01\r\n",
         {"--revert", "--allow-unchecked"},
         1,
         "line 1",
         "cannot be reverted: nothing written"},
        {"a text that does not read", "3A0100: XX\r\n", {}, 1, "", "line 1, column 9"},
        {"no records", "; nothing\r\n", {}, 1, "", "holds no records"},
    };
    const std::string out = Path("out.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string vkp = Write("p.vkp", Bytes(c.patch.begin(), c.patch.end()));
        std::vector<std::string> args{"apply", old_, vkp, "--out", out};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const auto r = RunCliArgs(args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(std::filesystem::exists(out), c.code == 0);
        std::filesystem::remove(out);
    }
    const std::string listing =
        RunCliArgs({"apply", old_, Write("m.vkp", Bytes(many.begin(), many.end())), "--out", out})
            .out;
    EXPECT_NE(listing.find("line 10: 3A0100: conflict"), std::string::npos);
    EXPECT_EQ(listing.find("line 11:"), std::string::npos);
    EXPECT_NE(listing.find("\nand 2 more\n"), std::string::npos);
}

TEST_F(CliWorkbenchTest, ApplyWritesOnlyWhereTheOutputRulesAllow) {
    const std::string vkp = Path("d.vkp");
    ASSERT_EQ(RunCliArgs({"diff", old_, new_, "--vkp", vkp}).code, 0);
    EXPECT_EQ(RunCliArgs({"apply", old_, vkp, "--out", new_}).code, 1) << "exists, no --force";
    EXPECT_TRUE(Read(new_) == newBytes_);
    EXPECT_EQ(RunCliArgs({"apply", old_, vkp, "--out", new_, "--force"}).code, 0);
    EXPECT_EQ(RunCliArgs({"apply", old_, vkp, "--out", old_, "--force"}).code, 1)
        << "the image itself is never written";
    EXPECT_TRUE(Read(old_) == oldBytes_);
    EXPECT_EQ(RunCliArgs({"apply", old_, vkp, "--out", vkp, "--force"}).code, 1);
    EXPECT_EQ(RunCliArgs({"apply", old_, vkp}).code, 2) << "--out is required";
}

}  // namespace
}  // namespace carillon

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures/image_builder.h"
#include "patch/vkp_reader.h"
#include "support/cli_run.h"
#include "support/read_text.h"
#include "support/temp_dir.h"

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

}  // namespace
}  // namespace carillon

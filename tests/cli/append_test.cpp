// SPDX-License-Identifier: GPL-3.0-or-later
// `patch --append` against what may stand at the single patch's name: a link to an input put
// there while the append waits for the lock, a lock that is never let go, and text that leaves
// an offset, pragmas or a comment in force (or is no patch at all).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/output_commit.h"
#include "image_builder.h"
#include "support/cli_run.h"
#include "support/read_text.h"
#include "support/temp_dir.h"
#include "vkp/reader.h"

namespace carillon {
namespace {

using test_support::CliRun;
using test_support::ReadText;
using test_support::RunCliArgs;

class CliAppend : public test_support::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        image_ = Write("img.bin", fixtures::DemoFlash());
        melody_ = Write("t.si3", Bytes{'A', 'B', 'C'});
        vkp_ = Path("all.vkp");
    }
    std::vector<std::string> Append() const {
        return {"patch", image_, "--slot", "1=" + melody_, "--vkp", vkp_, "--append"};
    }
    // Holds the lock an append takes, as another appending program would.
    int HoldLock() const {
        const int fd = ::open(vkp_.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(::flock(fd, LOCK_EX), 0);
        return fd;
    }
    std::string image_, melody_, vkp_;
};

TEST_F(CliAppend, ALinkToAnInputPutAtTheNameWhileTheLockIsAwaitedIsRefused) {
    for (const std::string& input : {image_, melody_}) {
        fixtures::WriteFile(vkp_, Bytes{';', '\r', '\n'});
        const Bytes before = Read(input);
        const int held = HoldLock();
        const std::string errPath = Path("err");
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const pid_t pid = test_support::StartCliProcess(CARILLON_CLI, Append(), "/dev/null", errFd);
        ::close(errFd);
        // Once the program says it waits, the name is replaced by a link to the input.
        for (int i = 0; i < 1000 && ReadText(errPath).find("waiting") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(::link(input.c_str(), Path("link").c_str()), 0);
        ASSERT_EQ(std::rename(Path("link").c_str(), vkp_.c_str()), 0);
        ::close(held);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_EQ(ReadText(errPath),
                  "carillon-cli: " + vkp_ +
                      ": another program is writing this file; waiting up to 10 seconds\n"
                      "carillon-cli: " +
                      vkp_ +
                      " is the opened image (or a file this run reads); it is never "
                      "overwritten\n");
        EXPECT_EQ(Read(input), before);
        std::remove(vkp_.c_str());
    }
}

TEST_F(CliAppend, ALockNeverLetGoIsWaitedForOnlySoLongAndSaidOnce) {
    fixtures::WriteFile(vkp_, Bytes{';', '\r', '\n'});
    const int held = HoldLock();
    SetAppendLockWait(std::chrono::milliseconds(150));
    const CliRun run = RunCliArgs(Append());
    SetAppendLockWait(std::chrono::seconds(kAppendLockWaitSeconds));
    ::close(held);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err,
              "carillon-cli: " + vkp_ +
                  ": another program is writing this file; waiting up to 10 seconds\n"
                  "carillon-cli: " +
                  vkp_ +
                  ": another program kept the file locked for 10 seconds; nothing was written\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadText(vkp_), ";\r\n");
}

// The records of `text` past the first `skip`: where each writes what.
std::vector<std::pair<std::int64_t, Bytes>> Writes(const std::string& text, std::size_t skip) {
    const VkpParse parse = ReadVkp(text);
    std::vector<std::pair<std::int64_t, Bytes>> writes;
    for (std::size_t i = skip; i < parse.records.size(); ++i) {
        writes.emplace_back(parse.records[i].address, parse.records[i].newBytes);
    }
    return writes;
}

TEST_F(CliAppend, TheAppendedBlockReadsAfterTheFilesTextAsItReadsAlone) {
    ASSERT_EQ(
        RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--vkp", Path("one.vkp")}).code, 0);
    const std::string block = ReadText(Path("one.vkp"));
    struct Case {
        std::string before;
        std::string lead;  // what goes between the text and the block
        std::size_t records = 0;
    };
    const std::vector<Case> kept{
        {"; a patch\r\n", ""},
        {"-10\r\n0x20: 00 01\r\n", "+0\r\n", 1},
        {"#pragma enable old_equal_ff\r\n#pragma disable undo\r\n",
         "#pragma enable undo\r\n#pragma disable old_equal_ff\r\n"},
        {"; no line end", "\r\n"},
        {"+10\n/* open", "\r\n*/\r\n+0\r\n"},
    };
    for (const Case& c : kept) {
        fixtures::WriteFile(vkp_, Bytes(c.before.begin(), c.before.end()));
        const CliRun run = RunCliArgs(Append());
        ASSERT_EQ(run.code, 0) << c.before << run.err;
        const std::string text = ReadText(vkp_);
        EXPECT_TRUE(text == c.before + c.lead + block) << c.before << "\n" << text.substr(0, 200);
        EXPECT_EQ(Writes(text, c.records), Writes(block, 0)) << c.before;
    }
    // Text the reader cannot read, and bytes that are no text, are never appended to.
    const std::vector<std::pair<std::string, std::string>> refused{
        {"not a patch\r\n", ": it does not read as a patch (line 1, column 1: "},
        {std::string("\x7f"
                     "ELF\0\x01",
                     6),
         ": it holds a zero byte: it is no patch text"},
    };
    for (const auto& [before, reason] : refused) {
        fixtures::WriteFile(vkp_, Bytes(before.begin(), before.end()));
        const CliRun run = RunCliArgs(Append());
        EXPECT_EQ(run.err.find("carillon-cli: " + vkp_ + reason), 0u) << run.err;
        EXPECT_EQ(ReadText(vkp_), before);
    }
}

}  // namespace
}  // namespace carillon

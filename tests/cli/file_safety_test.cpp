// SPDX-License-Identifier: GPL-3.0-or-later
// The command line against hostile names, special files, inputs named as outputs, failing
// standard output and file size limits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <string>
#include <vector>

#include "core/temp_files.h"
#include "image_builder.h"
#include "patch/vkp_applier.h"
#include "support/cli_run.h"
#include "support/corrupt_read_back.h"
#include "support/read_text.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using test_support::CliRun;
using test_support::ReadText;
using test_support::RunCliArgs;

class CliFileSafety : public test_support::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        image_ = Write("img.bin", fixtures::DemoFlash());
        melody_ = Write("t.si3", Bytes{'A', 'B', 'C'});
    }
    std::vector<std::string> Patch(std::vector<std::string> output) const {
        std::vector<std::string> args{"patch", image_, "--slot", "1=" + melody_};
        args.insert(args.end(), output.begin(), output.end());
        return args;
    }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    std::string image_;
    std::string melody_;
};

TEST_F(CliFileSafety, JsonStaysValidUtf8ForAnyPath) {
    const std::string path = Write("caf\xe9.bin", fixtures::DemoFlash());
    const CliRun run = RunCliArgs({"info", "--json", path});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["path"], Path("caf\xEF\xBF\xBD.bin"));
}

TEST_F(CliFileSafety, SpecialFilesAreRefusedWithoutBlocking) {
    const std::string fifo = Path("f.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::alarm(30);  // a blocking open would hang the test
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"info", fifo},
             {"probe", fifo},
             {"relocate", fifo, "--out", Path("r.bin")},
             {"patch", fifo, "--slot", "1=" + melody_, "--vkp", Path("o.vkp")},
             {"patch", image_, "--slot", "1=" + fifo, "--vkp", Path("o.vkp")},
         }) {
        const CliRun run = RunCliArgs(args);
        EXPECT_EQ(run.code, 1) << args[0];
        EXPECT_EQ(run.err, "carillon-cli: " + fifo + ": Not a regular file\n") << args[0];
    }
    ::alarm(0);
    EXPECT_EQ(EntryCount(), 3u);
}

TEST_F(CliFileSafety, OnlyRegularFilesThatAreNoInputAreReplaced) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    fs::create_symlink(Path("fifo"), Path("stdout"));
    fs::create_symlink(Path("nowhere"), Path("dangling"));
    fs::create_directory(Path("adir"));
    fs::create_directory(Path("per"));
    fs::create_hard_link(image_, Path("per/Classic_1.vkp"));
    const std::string notRegular = ": Not a regular file\n";
    const std::string input =
        " is the opened image (or a file this run reads); it is never overwritten\n";
    struct Case {
        std::vector<std::string> args;
        std::string error;  // after "carillon-cli: "
    };
    const std::vector<Case> cases{
        {Patch({"--vkp", Path("stdout")}), Path("stdout") + notRegular},
        {Patch({"--vkp", Path("stdout"), "--force"}), Path("stdout") + notRegular},
        {Patch({"--out", Path("fifo"), "--force"}), Path("fifo") + notRegular},
        {Patch({"--out", Path("dangling"), "--force"}), Path("dangling") + notRegular},
        {Patch({"--out", "/dev/null", "--force"}), "/dev/null" + notRegular},
        {Patch({"--out", Path("adir/"), "--force"}), Path("adir/") + ": Is a directory\n"},
        {Patch({"--vkp", image_, "--force"}), image_ + input},
        {Patch({"--out", image_, "--force"}), image_ + input},
        {Patch({"--out", melody_, "--force"}), melody_ + input},
        {Patch({"--per-slot", Path("per"), "--force"}), Path("per/Classic_1.vkp") + input},
        {{"relocate", image_, "--out", image_, "--force"}, image_ + input},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCliArgs(c.args);
        EXPECT_EQ(run.code, 1) << c.error;
        EXPECT_EQ(run.err, "carillon-cli: " + c.error);
    }
    EXPECT_EQ(test_support::ReadBytes(image_), fixtures::DemoFlash());
    EXPECT_EQ(ReadText(melody_), "ABC");
    EXPECT_TRUE(fs::is_symlink(Path("stdout")) && fs::is_symlink(Path("dangling")));
    EXPECT_EQ(EntryCount(), 7u);
}

TEST_F(CliFileSafety, PerSlotRunsWriteEveryFileOrNone) {
    fs::create_directories(Path("d/Classic_2.vkp"));
    fixtures::WriteFile(Path("d/Classic_1.vkp"), Bytes{'o', 'l', 'd'});
    const CliRun run = RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--slot",
                                   "2=" + melody_, "--per-slot", Path("d"), "--force"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "carillon-cli: " + Path("d/Classic_2.vkp") + ": Is a directory\n");
    EXPECT_EQ(ReadText(Path("d/Classic_1.vkp")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("d")), fs::directory_iterator()), 2);
}

// A stream whose every write fails, like standard output on a full disk.
class FullDisk : public std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(CliFileSafety, FailedWritesAreReportedNeverSuccess) {
    FullDisk full;
    std::ostream out(&full);
    std::ostringstream err;
    const std::string image = image_;
    const char* argv[] = {"carillon-cli", "info", "--json", image.c_str()};
    EXPECT_EQ(cli::RunCli(4, argv, out, err), 1);
    EXPECT_NE(err.str().find("carillon-cli: standard output: "), std::string::npos);

    // The program itself: standard output on a full device, and a file size limit that
    // would otherwise kill it with SIGXFSZ and leave a temporary file.
    auto run = test_support::RunCliProcess(CARILLON_CLI, {"info", image_}, "/dev/full");
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1) << run.status;
    EXPECT_EQ(run.err, "carillon-cli: standard output: No space left on device\n");
    run = test_support::RunCliProcess(CARILLON_CLI, Patch({"--out", Path("o.bin")}), "/dev/null",
                                      100 * 1024);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1) << run.status;
    EXPECT_EQ(run.err, "carillon-cli: " + Path("o.bin") + ": File too large\n");
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(CliFileSafety, InfoShowsControlBytesOfThePhoneModelEscaped) {
    Bytes bytes = fixtures::DemoFlash();
    bytes[780] = 0x1B;
    const CliRun run = RunCliArgs({"info", Write("esc.bin", bytes)});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("Phone:      \\x1B52\n"), std::string::npos) << run.out;
}

// Starts carillon-cli as a child process (killed after 30 seconds); its output is dropped.
pid_t StartCli(std::vector<std::string> args) {
    return test_support::StartCliProcess(CARILLON_CLI, std::move(args), "/dev/null");
}

TEST_F(CliFileSafety, SeveralAppendsAtOnceLeaveEveryBlockWhole) {
    const CliRun one = RunCliArgs(Patch({"--vkp", Path("one.vkp")}));
    ASSERT_EQ(one.code, 0) << one.err;
    const std::string block = ReadText(Path("one.vkp"));
    constexpr int kRuns = 6;
    std::vector<pid_t> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.push_back(StartCli(Patch({"--vkp", Path("all.vkp"), "--append"})));
    }
    for (const pid_t pid : runs) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    std::string expected;
    for (int i = 0; i < kRuns; ++i) {
        expected += block;
    }
    EXPECT_EQ(ReadText(Path("all.vkp")), expected);
    // Every block's old bytes come from the image on disk, as in the window: applied in order,
    // the second block of the same slot no longer matches.
    Bytes image = fixtures::DemoFlash();
    std::string error;
    EXPECT_TRUE(testing::ApplyVkp(block, 0, image, error)) << error;
    EXPECT_FALSE(testing::ApplyVkp(block, 0, image, error));
}

TEST_F(CliFileSafety, AJobWhoseImageChangesWhileItIsReadWritesNothing) {
    struct Case {
        std::vector<std::string> args;
        std::uint64_t from;  // the change comes at the first read at or above this offset
    };
    const std::vector<Case> cases{
        {Patch({"--out", Path("o.bin")}), 0},
        {Patch({"--out", Path("o.bin")}), 0x3A0000},  // after the first bytes were read
        {Patch({"--vkp", Path("o.vkp")}), 0x3A0000},
        {Patch({"--per-slot", Path("per")}), 0},
        {{"export", image_, "--slot", "1", "--out", Path("o.si3")}, 0},
        {{"export", image_, "--all", Path("all")}, 0},
        {{"relocate", image_, "--out", Path("r.bin")}, 0},
    };
    fs::create_directory(Path("per"));
    for (const Case& c : cases) {
        fixtures::WriteFile(image_, fixtures::DemoFlash());
        // An old modification time, so that the change is seen however fast it comes.
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, image_.c_str(), old, 0), 0);
        bool changed = false;
        SetInputReadHook([&](const std::string& path, std::uint64_t offset) {
            if (path == image_ && offset >= c.from && !changed) {
                changed = true;
                std::fstream f(image_, std::ios::in | std::ios::out | std::ios::binary);
                f << std::string(128 * 1024, '\xAA');
            }
        });
        const CliRun run = RunCliArgs(c.args);
        SetInputReadHook({});
        EXPECT_EQ(run.code, 1) << c.args[3];
        EXPECT_EQ(run.err, "carillon-cli: " + image_ + ": the image changed while it was read\n")
            << c.args[3];
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(fs::is_empty(Path("per")));
    EXPECT_EQ(EntryCount(), 3u);  // img.bin, t.si3, per
}

// Writes to an image through a shared mapping: once the page is written (which moves the
// file's times, before the job), later writes to it move neither the length nor the times.
class MappedWriter {
  public:
    MappedWriter(const std::string& path, std::size_t at) : at_(at) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        size_ = static_cast<std::size_t>(::lseek(fd_, 0, SEEK_END));
        map_ = static_cast<volatile std::uint8_t*>(
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0));
        map_[at_] = map_[at_];
    }
    ~MappedWriter() {
        ::munmap(const_cast<std::uint8_t*>(map_), size_);
        ::close(fd_);
    }
    void Flip() { map_[at_] = static_cast<std::uint8_t>(map_[at_] ^ 0xFF); }

  private:
    int fd_ = -1;
    std::size_t size_ = 0;
    std::size_t at_ = 0;
    volatile std::uint8_t* map_ = nullptr;
};

TEST_F(CliFileSafety, AnImageRewrittenThroughAMappingAfterItWasReadIsRefused) {
    Bytes changed = fixtures::DemoFlash();
    changed[0x200010] ^= 0x5A;
    const std::string other = Write("other.bin", changed);
    const std::string record = "200010: 01\r\n";  // no old bytes: --allow-unchecked
    fixtures::WriteFile(Path("p.vkp"), Bytes(record.begin(), record.end()));
    const std::vector<std::vector<std::string>> jobs{
        Patch({"--out", Path("o.bin")}),
        {"relocate", image_, "--out", Path("o.bin")},
        {"export", image_, "--slot", "1", "--out", Path("o.si3")},
        {"apply", image_, Path("p.vkp"), "--out", Path("o.bin"), "--allow-unchecked"},
        {"diff", image_, other, "--vkp", Path("o.vkp")},
    };
    for (const auto& job : jobs) {
        fixtures::WriteFile(image_, fixtures::DemoFlash());
        // Far from every table and slot: a byte only an output of the whole image uses.
        MappedWriter writer(image_, 0x200000);
        int reads = 0;
        SetInputReadHook([&](const std::string& path, std::uint64_t) {
            if (path == image_ && ++reads == 2) {
                writer.Flip();
            }
        });
        const CliRun run = RunCliArgs(job);
        SetInputReadHook({});
        EXPECT_EQ(run.code, 1) << job[0];
        const std::string said =
            "carillon-cli: " + image_ + ": the image changed while it was read\n";
        EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), said.size())), said)
            << job[0] << run.err;
        EXPECT_EQ(EntryCount(), 4u) << job[0];  // img.bin, t.si3, other.bin, p.vkp
    }
}

TEST_F(CliFileSafety, AReplacementThatGrowsBeforeItIsReadIsJudgedOnWhatWasRead) {
    SetInputReadHook([&](const std::string& path, std::uint64_t) {
        if (path == melody_) {
            fixtures::WriteFile(melody_, Bytes(20000, 'M'));
        }
    });
    const CliRun run = RunCliArgs(Patch({"--vkp", Path("o.vkp")}));
    SetInputReadHook({});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find(" has 20000 bytes, the slot holds "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(use --allow-cut to keep its first "), std::string::npos) << run.err;
    EXPECT_EQ(EntryCount(), 2u);
}

// Standard output that takes the text but fails to flush it, as a full non-blocking pipe does,
// or that ends the process with a signal as the first line is printed.
class TroubledOutput : public std::streambuf {
  public:
    explicit TroubledOutput(int signal) : signal_(signal) {}

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        if (signal_ != 0) {
            ::raise(signal_);
        }
        return n;
    }
    int overflow(int c) override { return c; }
    int sync() override {
        errno = EAGAIN;
        return -1;
    }

  private:
    int signal_;
};

std::string FarewellForTest(const std::vector<std::string>& written) {
    return "interrupted; " + cli::WrittenFilesClause(written) + "\n";
}

TEST_F(CliFileSafety, FilesWrittenButNotNamedOnStandardOutputAreNamedOnStandardError) {
    const std::string vkp = Path("o.vkp");
    const std::string image = image_;
    const std::string slot = "1=" + melody_;
    const char* argv[] = {"carillon-cli", "patch", image.c_str(), "--slot",
                          slot.c_str(),   "--vkp", vkp.c_str()};
    {
        TroubledOutput again(0);
        std::ostream out(&again);
        std::ostringstream err;
        EXPECT_EQ(cli::RunCli(7, argv, out, err), 1);
        EXPECT_EQ(err.str(),
                  "carillon-cli: standard output: Resource temporarily unavailable; these files "
                  "were written: " +
                      vkp + "\n");
    }
    // A signal after the file is in place, before "Wrote" is printed.
    std::remove(vkp.c_str());
    const std::string errPath = Path("err");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(errFd, 2);
        ::alarm(20);
        InstallOutputSignalHandlers(nullptr, &FarewellForTest);
        TroubledOutput ended(SIGTERM);
        std::ostream out(&ended);
        std::ostringstream err;
        cli::RunCli(7, argv, out, err);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(fs::exists(vkp));
    EXPECT_EQ(ReadText(errPath), "interrupted; these files were written: " + vkp + "\n");
}

TEST_F(CliFileSafety, ArgumentsAndWarningsReachTheTerminalEscaped) {
    const CliRun slot =
        RunCliArgs({"patch", image_, "--slot", "1\x1b[31m", "--vkp", Path("o.vkp")});
    EXPECT_EQ(slot.code, 2);
    EXPECT_NE(slot.err.find("got \"1\\x1B[31m\""), std::string::npos) << slot.err;
    const CliRun extra = RunCliArgs({"info", image_, "x\x07\xe2\x80\xae."});
    EXPECT_EQ(extra.code, 2);
    EXPECT_NE(extra.err.find("x\\x07\\xE2\\x80\\xAE"), std::string::npos) << extra.err;
    for (const CliRun& run : {slot, extra}) {
        EXPECT_EQ(run.err.find_first_of("\x1b\x07"), std::string::npos) << run.err;
    }
    // check's warnings name the patch as every other line does.
    const std::string text = "#pragma enable undo\n200010: 00 01\n";
    const std::string patch = Write(
        "p\x1b]0;t\x07\xe2\x80\xae"
        ".vkp",
        Bytes(text.begin(), text.end()));
    const CliRun check = RunCliArgs({"check", image_, patch});
    EXPECT_NE(check.err.find("carillon-cli: " + Path("p\\x1B]0;t\\x07\\xE2\\x80\\xAE.vkp") +
                             ": line 1: warning: "),
              std::string::npos)
        << check.err;
}

TEST_F(CliFileSafety, APerSlotFileThatFailsItsReadBackLeavesEveryOldFile) {
    fs::create_directory(Path("d"));
    fixtures::WriteFile(Path("d/Classic_1.vkp"), Bytes{'o', 'n', 'e'});
    fixtures::WriteFile(Path("d/Classic_2.vkp"), Bytes{'t', 'w', 'o'});
    int readBacks = 0;
    SetReadBackHook([&](const std::string& path) {
        if (++readBacks == 2) {
            std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).put('X');
        }
    });
    const CliRun run = RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--slot",
                                   "2=" + melody_, "--per-slot", Path("d"), "--force"});
    SetReadBackHook({});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find(Path("d/Classic_2.vkp") + ": The written file failed its check"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadText(Path("d/Classic_1.vkp")), "one");
    EXPECT_EQ(ReadText(Path("d/Classic_2.vkp")), "two");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("d")), fs::directory_iterator()), 2);
}

TEST_F(CliFileSafety, TextOutputShowsControlBytesInNamesEscapedAndKeepsUtf8) {
    const std::string hostile = Write("a\x1b[31mb\xc2\x9b.bin", fixtures::DemoFlash());
    const std::string russian = Write("\xd0\x9c\xd0\xb5\xd0\xbb.bin", fixtures::DemoFlash());
    const std::string shown = Path("a\\x1B[31mb\\xC2\\x9B.bin");
    EXPECT_EQ(RunCliArgs({"info", hostile}).out.find("Image:      " + shown + "\n"), 0u);
    EXPECT_EQ(RunCliArgs({"info", russian}).out.find("Image:      " + russian + "\n"), 0u);
    const CliRun failed =
        RunCliArgs({"patch", hostile, "--slot", "1=" + hostile + "\x07", "--vkp", Path("x.vkp")});
    EXPECT_EQ(failed.err, "carillon-cli: " + shown + "\\x07: No such file or directory\n");
    const CliRun wrote = RunCliArgs(
        {"patch", russian, "--slot", "1=" + melody_, "--vkp", Path("\x1b]0;title\x07.vkp")});
    EXPECT_EQ(wrote.out, "Wrote " + Path("\\x1B]0;title\\x07.vkp") + " (verified)\n");
    // JSON carries the path as it is.
    EXPECT_EQ(nlohmann::json::parse(RunCliArgs({"info", "--json", hostile}).out)["path"],
              Path("a\x1b[31mb\xc2\x9b.bin"));
}

TEST_F(CliFileSafety, ExportAllIntoADanglingLinkSaysSoAndAFailedOneLeavesNoNewFolder) {
    fs::create_symlink(Path("nowhere"), Path("dangling"));
    const CliRun dangling = RunCliArgs({"export", image_, "--all", Path("dangling")});
    EXPECT_EQ(dangling.code, 1);
    EXPECT_EQ(dangling.err, "carillon-cli: " + Path("dangling") +
                                ": is a dangling symbolic link, not a folder\n");
    {
        const test_support::CorruptBeforeReadBack corrupt(1, 'X');
        const CliRun failed = RunCliArgs({"export", image_, "--all", Path("new/deeper")});
        EXPECT_EQ(failed.code, 1);
        EXPECT_NE(failed.err.find("failed its check"), std::string::npos) << failed.err;
    }
    EXPECT_FALSE(fs::exists(Path("new")));
    EXPECT_FALSE(fs::exists(Path("nowhere")));
}

}  // namespace
}  // namespace carillon

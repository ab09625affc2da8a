// The command line against hostile names, special files, inputs named as outputs, failing
// standard output and file size limits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <string>
#include <vector>

#include "image_builder.h"
#include "support/cli_run.h"
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
    const std::string input = ": is an input of this job and is never overwritten\n";
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

}  // namespace
}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/file_check.h"
#include "core/file_io.h"
#include "core/output_commit.h"
#include "support/corrupt_read_back.h"
#include "support/read_text.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

const std::string kIsAnInput =
    "is the opened image (or a file this run reads); it is never overwritten";
std::string g_reportPath;

namespace fs = std::filesystem;
using test_support::ReadText;

class FileLayer : public test_support::TempDirTest {
  protected:
    // Names in the folder that are not in `expected`: leftovers of a commit.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string ErrorOf(const std::function<void()>& job) {
        try {
            job();
        } catch (const FileError& e) {
            return e.reason();
        }
        return "";
    }
};

TEST_F(FileLayer, ReaderRefusesAnythingButARegularFileWithoutBlocking) {
    ::alarm(20);  // a blocking open would hang here
    const std::string fifo = Path("f.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        EXPECT_EQ(ErrorOf([&] { InputFile file(path); }), "Not a regular file") << path;
    }
    EXPECT_EQ(ErrorOf([&] { InputFile file(dir_.string()); }), "Is a directory");
    ::alarm(0);

    const InputFile file(Write("a.bin", Bytes{1, 2, 3, 4}));
    EXPECT_EQ(file.ReadAt(1, 2), (Bytes{2, 3}));
    EXPECT_EQ(file.ReadAt(4, 0), Bytes{});
    for (const auto& [offset, count] :
         {std::pair<std::uint64_t, std::size_t>{3, 2}, {5, 0}, {~std::uint64_t{0}, 2}}) {
        EXPECT_NE(ErrorOf([&] { file.ReadAt(offset, count); }).find("outside the file"),
                  std::string::npos);
    }
    EXPECT_NE(ErrorOf([&] { InputFile big(Path("a.bin"), 3); }).find("the limit is 3 bytes"),
              std::string::npos);
}

TEST_F(FileLayer, TargetRulesFollowTheEntryFoundByLstat) {
    const std::string input = Write("input.bin", Bytes{1});
    fixtures::WriteFile(Path("old"), Bytes{'o'});
    fs::create_directory(Path("dir"));
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    fs::create_symlink(Path("nowhere"), Path("dangling"));
    fs::create_symlink("/dev/null", Path("device"));
    fs::create_symlink(input, Path("to-input"));
    fs::create_hard_link(input, Path("hard-input"));
    OutputRules rules;
    rules.Protect(input);
    struct Case {
        std::string name;
        bool force;
        std::string error;  // empty: written
    };
    const std::vector<Case> cases{
        {"new", false, ""},
        {"old", false, "already exists"},
        {"dir", true, "Is a directory"},
        {"dir/", true, "Is a directory"},
        {"fifo", true, "Not a regular file"},
        {"dangling", true, "Not a regular file"},
        {"device", true, "Not a regular file"},
        {"input.bin", true, kIsAnInput},
        {"to-input", true, kIsAnInput},
        {"hard-input", false, kIsAnInput},
        {std::string(255, 'n'), false, ""},  // the temporary name stays short
    };
    for (const Case& c : cases) {
        rules.force = c.force;
        EXPECT_EQ(ErrorOf([&] { WriteOutputFile(Path(c.name), "new", rules); }), c.error) << c.name;
    }
    EXPECT_EQ(ReadText(Path("old")), "o");
    EXPECT_EQ(ReadText(input), "\x01");
    EXPECT_TRUE(fs::is_fifo(Path("fifo")));
    EXPECT_TRUE(fs::is_symlink(Path("dangling")));
    EXPECT_FALSE(fs::exists(Path("nowhere")));

    // With force, a link to a regular file stays a link; the file it points to is replaced.
    fs::create_symlink(Path("old"), Path("link"));
    rules.force = true;
    WriteOutputFile(Path("link"), "via link", rules);
    EXPECT_TRUE(fs::is_symlink(Path("link")));
    EXPECT_EQ(ReadText(Path("old")), "via link");
    EXPECT_EQ(Entries().size(), 11u);  // no temporary file left
}

TEST_F(FileLayer, ACommitIsAllOrNothingUpToTheFirstInstall) {
    fixtures::WriteFile(Path("a.vkp"), Bytes{'a'});
    fs::create_directory(Path("b.vkp"));
    OutputCommit failing({.force = true, .inputs = {}});
    failing.Add(Path("a.vkp"), "new a");
    EXPECT_EQ(ErrorOf([&] { failing.Add(Path("b.vkp"), "new b"); }), "Is a directory");
    EXPECT_EQ(ErrorOf([&] { failing.Add(Path("a.vkp"), "again"); }),
              "is named twice as an output of this job");

    // A name taken between the check and the install: no-replace fails, nothing is replaced.
    {
        OutputCommit racing({.force = false, .inputs = {}});
        racing.Add(Path("c.vkp"), "ours");
        racing.Add(Path("d.vkp"), "ours");
        fixtures::WriteFile(Path("c.vkp"), Bytes{'t'});
        EXPECT_EQ(ErrorOf([&] { racing.Commit(); }), "already exists");
        EXPECT_EQ(ReadText(Path("c.vkp")), "t");
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.vkp", "b.vkp", "c.vkp"}));
    EXPECT_EQ(ReadText(Path("a.vkp")), "a");

    // A folder that vanishes after the first install: the message names what was written.
    fs::create_directory(Path("x"));
    fs::create_directory(Path("y"));
    OutputCommit late({.force = false, .inputs = {}});
    late.Add(Path("x/1.vkp"), "1");
    late.Add(Path("y/2.vkp"), "2");
    fs::remove(Path("y"));
    EXPECT_NE(ErrorOf([&] { late.Commit(); }).find("already written: " + Path("x/1.vkp")),
              std::string::npos);
}

// Runs `job` in a child process; returns its wait status.
template <typename Job>
int InChild(Job job) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(20);
        job();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST_F(FileLayer, SignalsRemoveNamedTemporaryFilesAndStillEndTheProcess) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        const std::string temp = Write(".carillon-test", Bytes{1});
        const int status = InChild([&] {
            InstallOutputSignalHandlers();
            const TempFileRegistration registered(temp);
            ::raise(sig);
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_FALSE(fs::exists(temp));
    }
    // Past the file size limit a write fails with EFBIG instead of killing the process.
    const int status = InChild([&] {
        InstallOutputSignalHandlers();
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error =
            ErrorOf([&] { WriteOutputFile(Path("big"), std::string(1000, 'b'), {}); });
        ::_exit(error == "File too large" ? 7 : 8);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
    EXPECT_TRUE(Entries().empty());
}

void RecordReport(const std::vector<std::string>& written) {
    std::string line;
    for (const std::string& w : written) {
        line += w + ";";
    }
    std::fstream(g_reportPath, std::ios::out) << line;
}

TEST_F(FileLayer, AnEndingSignalWaitsUntilEveryFileIsInPlaceThenReportsThem) {
    g_reportPath = Path("report");
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        fixtures::WriteFile(Path("a"), Bytes{'o'});
        fixtures::WriteFile(Path("b"), Bytes{'o'});
        const int status = InChild([&] {
            InstallOutputSignalHandlers(&RecordReport);
            OutputCommit commit({.force = true, .inputs = {}});
            commit.Add(Path("a"), "new");
            commit.Add(Path("b"), "new");
            SetInstallHook([sig](const std::string&) { ::raise(sig); });
            commit.Commit();
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << " " << status;
        EXPECT_EQ(ReadText(Path("a")), "new") << sig;
        EXPECT_EQ(ReadText(Path("b")), "new") << sig;
        EXPECT_EQ(ReadText(Path("report")), Path("a") + ";" + Path("b") + ";") << sig;
    }
}

// Starts `job` in a child process with every inherited descriptor closed first (a lock held
// by the parent is then the parent's alone); the child's exit status is 0 when it returned
// true.
template <typename Job>
pid_t StartCleanChild(Job job) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(20);
        for (int fd = 3; fd < 1024; ++fd) {
            ::close(fd);
        }
        ::_exit(job() ? 0 : 1);
    }
    return pid;
}

TEST_F(FileLayer, AFailedAppendCutsOnlyItsOwnBlockWhileOthersWaitForTheLock) {
    const std::string vkp = Write("single.vkp", Bytes{'H'});
    // Our read-back fails (its first byte is changed) while another process appends: the
    // other waits for the lock, our block alone is cut off, and the other's block lands whole.
    const pid_t us = ::getpid();
    pid_t other = -1;
    SetReadBackHook([&](const std::string&) {
        if (::getpid() != us || other != -1) {
            return;
        }
        other = StartCleanChild(
            [&] { return ErrorOf([&] { AppendToOutputFile(vkp, "BBBB", {}); }).empty(); });
        ::usleep(300 * 1000);  // time enough to append, had it not to wait
        std::fstream f(vkp, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(1);
        f.put('X');
    });
    const std::string ours = ErrorOf([&] { AppendToOutputFile(vkp, "AAAA", {}); });
    SetReadBackHook({});
    int status = 0;
    ASSERT_GT(other, 0);
    ::waitpid(other, &status, 0);
    EXPECT_NE(ours.find("what was appended was cut off again"), std::string::npos) << ours;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadText(vkp), "HBBBB");

    // A file the failed append created is removed again.
    {
        const test_support::CorruptBeforeReadBack corrupt(1, 'X');
        EXPECT_NE(ErrorOf([&] { AppendToOutputFile(Path("new.vkp"), "AAAA", {}); }), "");
    }
    EXPECT_FALSE(fs::exists(Path("new.vkp")));

    // A program that appends without the lock after our block keeps it from being cut off.
    SetReadBackHook([&](const std::string&) {
        std::fstream f(vkp, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(5);  // our block's first byte
        f << "X";
        f.seekp(0, std::ios::end);
        f << "zz";
    });
    const std::string kept = ErrorOf([&] { AppendToOutputFile(vkp, "AAAA", {}); });
    SetReadBackHook({});
    EXPECT_NE(kept.find("what was appended is still in the file: it could not be cut off again"),
              std::string::npos)
        << kept;
    EXPECT_EQ(ReadText(vkp), "HBBBBXAAAzz");
}

TEST_F(FileLayer, AnEndingSignalDuringAnAppendWaitsForItsReadBackAndIsReported) {
    g_reportPath = Path("report");
    struct Case {
        bool readBackFails;
        std::string left;
        std::string report;
    };
    const std::vector<Case> cases{{false, "HAAAA", Path("single.vkp") + ";"}, {true, "H", ""}};
    for (const Case& c : cases) {
        const std::string vkp = Write("single.vkp", Bytes{'H'});
        fixtures::WriteFile(g_reportPath, Bytes{'-'});
        const int status = InChild([&] {
            InstallOutputSignalHandlers(&RecordReport);
            SetReadBackHook([&](const std::string& path) {
                ::raise(SIGTERM);
                if (c.readBackFails) {
                    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
                    f.seekp(1);
                    f.put('X');
                }
            });
            ErrorOf([&] { AppendToOutputFile(vkp, "AAAA", {}); });
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_EQ(ReadText(vkp), c.left);
        EXPECT_EQ(ReadText(g_reportPath), c.report);
    }
}

// What a window read when it opened a file, against the file now: any other length or byte is a
// change (a piece boundary too); a file that cannot be read is reported, not taken as unchanged.
TEST_F(FileLayer, AFileStillHoldsOnlyExactlyTheBytesReadBefore) {
    Bytes read(200'000);
    for (std::size_t i = 0; i < read.size(); ++i) {
        read[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::string path = Write("image.bin", read);
    EXPECT_TRUE(FileStillHolds(path, read));
    struct Change {
        const char* name;
        std::function<void(Bytes&)> change;
    };
    for (const Change& c : {Change{"first byte", [](Bytes& b) { b[0] ^= 1; }},
                            Change{"last byte of a piece", [](Bytes& b) { b[65'535] ^= 1; }},
                            Change{"last byte", [](Bytes& b) { b.back() ^= 1; }},
                            Change{"one byte longer", [](Bytes& b) { b.push_back(0); }},
                            Change{"one byte shorter", [](Bytes& b) { b.pop_back(); }}}) {
        Bytes now = read;
        c.change(now);
        Write("image.bin", now);
        EXPECT_FALSE(FileStillHolds(path, read)) << c.name;
    }
    fs::remove(path);
    EXPECT_THROW(FileStillHolds(path, read), FileError);
}

TEST(EscapeControlBytes, ShowsBytesOutsidePrintableAsciiInHex) {
    EXPECT_EQ(EscapeControlBytes(std::string("A5\x1b[2J\x7f\xe9\\ ~\0", 12)),
              "A5\\x1B[2J\\x7F\\xE9\\ ~\\x00");
}

TEST(EscapeForTerminal, ShowsControlsAndInvalidUtf8InHexAndKeepsValidUtf8) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {std::string("A5\x1b[2J\x7f\\ ~\0", 11), "A5\\x1B[2J\\x7F\\ ~\\x00"},
        {"\xd0\x9c\xd0\xb5\xd0\xbb.bin", "\xd0\x9c\xd0\xb5\xd0\xbb.bin"},  // Cyrillic stays
        {"\xe2\x82\xac \xf0\x9f\x8e\xb5", "\xe2\x82\xac \xf0\x9f\x8e\xb5"},
        {"a\xc2\x9b"
         "31mb",
         "a\\xC2\\x9B31mb"},           // a C1 control (CSI)
        {"\xe9t\xe9", "\\xE9t\\xE9"},  // Latin-1, not UTF-8
        // overlong, surrogate, cut short
        {"\xc0\xaf \xed\xa0\x80 \xd0", "\\xC0\\xAF \\xED\\xA0\\x80 \\xD0"},
        // bidirectional controls (U+202E, U+2066) would make a path read backwards; U+2028 stays
        {"a\xe2\x80\xae"
         "b\xe2\x81\xa6"
         "c\xe2\x80\xa8",
         "a\\xE2\\x80\\xAEb\\xE2\\x81\\xA6"
         "c\xe2\x80\xa8"},
    };
    for (const auto& [raw, shown] : cases) {
        EXPECT_EQ(EscapeForTerminal(raw), shown) << shown;
    }
}

}  // namespace
}  // namespace carillon

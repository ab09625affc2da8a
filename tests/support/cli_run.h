// SPDX-License-Identifier: GPL-3.0-or-later
// Runs carillon-cli in-process with captured output.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/read_text.h"

namespace carillon::test_support {

struct CliRun {
    int code = 0;
    std::string out;
    std::string err;
};

// `args` without the program name.
inline CliRun RunCliArgs(std::vector<std::string> args) {
    args.insert(args.begin(), "carillon-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out, err;
    const int code = cli::RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

}  // namespace carillon::test_support

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace carillon::test_support {

struct CliProcess {
    int status = 0;  // as waitpid gives it
    std::string err;
};

// Starts the carillon-cli program as a child process with standard output going to `outPath`,
// standard error to `errFd` (-1: this process's), and files limited to `fileLimit` bytes; it is
// killed after 30 seconds. Returns its process id.
inline pid_t StartCliProcess(const std::string& program, std::vector<std::string> args,
                             const std::string& outPath, int errFd = -1,
                             rlim_t fileLimit = RLIM_INFINITY) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(outFd, 1);
        if (errFd >= 0) {
            ::dup2(errFd, 2);
        }
        const rlimit limit{fileLimit, fileLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::alarm(30);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// The same, waited for, with its standard error.
inline CliProcess RunCliProcess(const std::string& program, std::vector<std::string> args,
                                const std::string& outPath, rlim_t fileLimit = RLIM_INFINITY) {
    char errName[] = "/tmp/carillon-cli-err-XXXXXX";
    const int errFd = ::mkstemp(errName);
    const pid_t pid = StartCliProcess(program, std::move(args), outPath, errFd, fileLimit);
    CliProcess run;
    ::waitpid(pid, &run.status, 0);
    ::close(errFd);
    run.err = ReadText(errName);
    ::unlink(errName);
    return run;
}

}  // namespace carillon::test_support

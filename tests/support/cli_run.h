// Runs carillon-cli in-process with captured output.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

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

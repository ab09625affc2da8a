// SPDX-License-Identifier: GPL-3.0-or-later
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "core/output_commit.h"

namespace {

// An ending signal that arrived while files were put in place, or after they were but before
// the job named them: which are new (the signal then ends the process).
std::string InterruptedText(const std::vector<std::string>& written) {
    return "carillon-cli: interrupted; " + carillon::cli::WrittenFilesClause(written) + '\n';
}

void ReportInterrupted(const std::vector<std::string>& written) {
    std::cerr << InterruptedText(written) << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        carillon::InstallOutputSignalHandlers(&ReportInterrupted, &InterruptedText);
        return carillon::cli::RunCli(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "carillon-cli: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "carillon-cli: unexpected failure\n";
    }
    return 1;
}

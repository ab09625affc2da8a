#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "core/output_commit.h"

namespace {

// An ending signal that arrived while files were put in place: say which are new, then the
// signal ends the process.
void ReportInterrupted(const std::vector<std::string>& written) {
    std::string text = "carillon-cli: interrupted; ";
    if (written.empty()) {
        text += "no file was written";
    }
    for (std::size_t i = 0; i < written.size(); ++i) {
        text += (i == 0 ? "these files were written: " : ", ") +
                carillon::EscapeForTerminal(written[i]);
    }
    text += '\n';
    std::cerr << text << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        carillon::InstallOutputSignalHandlers(&ReportInterrupted);
        return carillon::cli::RunCli(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "carillon-cli: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "carillon-cli: unexpected failure\n";
    }
    return 1;
}

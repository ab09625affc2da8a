#include <exception>
#include <iostream>

#include "cli/cli.h"
#include "core/output_commit.h"

int main(int argc, char** argv) {
    try {
        carillon::InstallOutputSignalHandlers();
        return carillon::cli::RunCli(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "carillon-cli: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "carillon-cli: unexpected failure\n";
    }
    return 1;
}

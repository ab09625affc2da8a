// SPDX-License-Identifier: GPL-3.0-or-later
// Subcommands of carillon-cli. Each unit adds its subcommand to the app; the callback sets
// io.exitCode and may throw FileError (reported as "carillon-cli: PATH: TEXT", exit 1) or
// CliFailure (reported as "carillon-cli: TEXT", exit 1).
#pragma once

#include <ostream>
#include <stdexcept>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace carillon::cli {

struct CliIo {
    std::ostream& out;
    std::ostream& err;
    int exitCode = 0;
};

// A job that could not be done, for a reason that is not an input/output error.
class CliFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Refuses an empty value as a usage error (an empty output name would name a hidden file or
// the current folder).
CLI::Validator NonEmpty();

void AddInfoCommand(CLI::App& app, CliIo& io);
void AddRelocateCommand(CLI::App& app, CliIo& io);
void AddProbeCommand(CLI::App& app, CliIo& io);
void AddPatchCommand(CLI::App& app, CliIo& io);
void AddCheckCommand(CLI::App& app, CliIo& io);
void AddExportCommand(CLI::App& app, CliIo& io);
void AddDiffCommand(CLI::App& app, CliIo& io);
void AddApplyCommand(CLI::App& app, CliIo& io);

}  // namespace carillon::cli

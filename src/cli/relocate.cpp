// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli relocate IMAGE [--out FILE] [--force]: a copy of the image with sector A
// compacted. carillon-cli probe IMAGE: where the first long run of erased bytes begins.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "eeprom/probe.h"
#include "eeprom/relocation.h"

namespace carillon::cli {
namespace {

struct RelocateOptions {
    std::string image;
    std::string out;
    bool force = false;
};

void PrintResult(std::ostream& out, const RelocationResult& r) {
    out << "Wrote " << EscapeForTerminal(r.outputPath) << " (verified)\n"
        << "Lowest old block address: " << r.lowestBlockAddress << " ("
        << FormatAddress(r.lowestBlockAddress) << ")\n"
        << "Blocks kept: " << r.blocksKept << " (" << r.bytesMoved << " bytes moved)\n"
        << "Blocks dropped: " << r.blocksDropped << '\n'
        << "Bytes freed: " << r.bytesFreed << '\n'
        << "Free bytes in sector A: " << r.freeBytes << '\n';
}

}  // namespace

void AddRelocateCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<RelocateOptions>();
    CLI::App* cmd = app.add_subcommand(
        "relocate", "Write a copy of an image with its first EEPROM sector compacted");
    cmd->add_option("IMAGE", options->image, "Full flash or EEPROM .bin image (left unchanged)")
        ->required();
    cmd->add_option("--out", options->out, "Output file (default: IMAGE.relopated.bin)")
        ->check(NonEmpty());
    cmd->add_flag("--force", options->force, "Replace an existing output file");
    cmd->callback([options, &io] {
        const std::string out = options->out.empty() ? RelocatedPath(options->image) : options->out;
        // The output is checked first: a refused target is reported before the image is read.
        const Existing existing = options->force ? Existing::Replace : Existing::Refuse;
        CheckOutputTarget(out, JobOutputRules(existing, {options->image}));
        const ImageKind kind = DecideKind(options->image, FileSize(options->image));
        try {
            PrintResult(io.out, RelocateFile(options->image, kind, out, existing));
        } catch (const RelocationError& e) {
            throw CliFailure(std::string(e.what()) + "; nothing was written");
        }
        io.exitCode = 0;
    });
}

void AddProbeCommand(CLI::App& app, CliIo& io) {
    auto image = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(
        "probe", "Print the offset + 1 of the first run of 15000 erased bytes, or 0");
    cmd->add_option("IMAGE", *image, "Any image file")->required();
    cmd->callback([image, &io] {
        io.out << ProbeFile(*image) << '\n';
        io.exitCode = 0;
    });
}

}  // namespace carillon::cli

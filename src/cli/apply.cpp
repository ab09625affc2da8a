// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli apply IMAGE PATCH --out FILE [--revert] [--allow-unchecked] [--force]: the image
// with a ".vkp" patch put in (or, with --revert, taken back out) written to FILE. The records
// are judged in order as `check` judges them, except that a record already in place is skipped;
// FILE is written only when every record applies or is in place, and read back before it
// replaces anything. The image itself is never written.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "vkp/apply.h"

namespace carillon::cli {
namespace {

struct ApplyCommandOptions {
    std::string image;
    std::string patch;
    std::string out;
    bool revert = false;
    bool allowUnchecked = false;
    bool force = false;
};

void RunApply(const ApplyCommandOptions& o, CliIo& io) {
    // A target that can never be written is refused before the patch is judged.
    CheckOutputTarget(
        o.out, JobOutputRules(o.force ? Existing::Replace : Existing::Refuse, {o.image, o.patch}));
    // One snapshot: the output is made from bytes read once, which the file must still hold
    // once the output is built.
    const InputFile file(o.image, kImageBufferSize);
    const Bytes image = file.ReadAll();
    const ImageKind kind = DecideKind(o.image, image.size());
    ApplyOptions options;
    options.direction = o.revert ? JudgeDirection::Revert : JudgeDirection::Apply;
    options.allowUnchecked = o.allowUnchecked;
    const ApplyResult result = ApplyVkpFile(o.patch, kind, image, options);
    for (const VkpWarning& w : result.warnings) {
        io.err << "carillon-cli: " << EscapeForTerminal(o.patch) << ": line " << w.line
               << ": warning: " << EscapeForTerminal(w.text) << '\n';
    }
    if (result.moreWarnings > 0) {
        io.err << "carillon-cli: " << EscapeForTerminal(o.patch) << ": and " << result.moreWarnings
               << " more warnings\n";
    }
    if (!result.error.empty()) {
        throw CliFailure(o.patch + ": " + English(result.error));
    }
    if (const Message refusal = result.Refusal(); !refusal.empty()) {
        for (const RecordCheck& c : result.failures) {
            io.out << English(RecordVerdict(c)) << '\n';
        }
        if (result.moreFailures > 0) {
            io.out << "and " << result.moreFailures << " more\n";
        }
        if (result.counts.records > 0) {
            io.out << result.counts.Line() << '\n';
        }
        std::string hint;
        if (!o.revert && !o.allowUnchecked && result.counts.conflict + result.counts.outside == 0 &&
            result.withoutOld > 0) {
            hint = " (--allow-unchecked writes them without a check)";
        }
        throw CliFailure(o.patch + ": " + English(refusal) + ": nothing written" + hint);
    }
    file.ConfirmUnchanged(image);
    WriteApplyResult(result, o.image, o.patch, o.out, o.force);
    io.out << "Wrote " << EscapeForTerminal(o.out) << " (verified): " << English(result.Summary())
           << '\n';
}

}  // namespace

void AddApplyCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<ApplyCommandOptions>();
    CLI::App* cmd = app.add_subcommand(
        "apply", "Write a copy of an image with a V_KLay patch applied (or reverted)");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    cmd->add_option("PATCH", options->patch, "The .vkp file")->required();
    cmd->add_option("--out", options->out, "The image file to write")
        ->required()
        ->check(NonEmpty());
    cmd->add_flag("--revert", options->revert,
                  "Take the patch back out: records last first, old and new bytes swapped");
    cmd->add_flag("--allow-unchecked", options->allowUnchecked,
                  "Write records without old bytes, which cannot be checked");
    cmd->add_flag("--force", options->force, "Replace FILE if it exists");
    cmd->callback([options, &io] { RunApply(*options, io); });
}

}  // namespace carillon::cli

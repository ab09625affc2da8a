// carillon-cli patch IMAGE --slot N=FILE... [--name N=TEXT...] [--keep-names]
//                    (--vkp FILE | --per-slot DIR | --out FILE) [--force]
// Replaces the content of slots. Every block is built before anything is written, so a slot
// that cannot be patched leaves every output untouched.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/slots.h"
#include "patch/make_patch.h"
#include "patch/patch_builder.h"
#include "patch/patch_run.h"
#include "search/slot_search.h"

namespace carillon::cli {
namespace {

struct PatchOptions {
    std::string image;
    std::vector<std::string> slots;
    std::vector<std::string> names;
    bool keepNames = false;
    std::string vkp;
    std::string perSlot;
    std::string out;
    bool force = false;
};

// "N=TEXT" with N a slot number in 1..`last`.
std::pair<int, std::string> SplitAssignment(const std::string& option, const std::string& text,
                                            int last) {
    const std::size_t eq = text.find('=');
    int n = 0;
    const std::string number = text.substr(0, eq);
    const bool digits =
        !number.empty() && number.size() <= 2 &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (eq == std::string::npos || !digits || (n = std::stoi(number)) < 1 || n > last) {
        throw CLI::ValidationError(
            option, "expected N=" + std::string(option == "--slot" ? "FILE" : "TEXT") +
                        " with N from 1 to " + std::to_string(last) + ", got \"" + text + "\"");
    }
    return {n, text.substr(eq + 1)};
}

void RefuseExisting(const std::string& path, bool force) {
    if (!force && FileExists(path)) {
        throw CliFailure(path + ": already exists (use --force to replace it)");
    }
}

struct SlotPatch {
    int slot = 0;
    std::string caption;
    PatchBlock block;
};

void RunPatch(const PatchOptions& o, CliIo& io) {
    std::map<int, std::string> files;
    for (const std::string& s : o.slots) {
        auto [n, file] = SplitAssignment("--slot", s, kSlotCount);
        if (!files.emplace(n, file).second) {
            throw CLI::ValidationError("--slot", "slot " + std::to_string(n) + " given twice");
        }
    }
    std::map<int, std::string> names;
    for (const std::string& s : o.names) {
        auto [n, text] = SplitAssignment("--name", s, kStandardMelodyCount);
        if (files.count(n) == 0) {
            throw CLI::ValidationError(
                "--name", "slot " + std::to_string(n) + " is renamed but has no --slot");
        }
        names[n] = CleanMelodyName(text);
    }
    if (!o.vkp.empty()) {
        RefuseExisting(o.vkp, o.force);
    }
    if (!o.out.empty()) {
        RefuseExisting(o.out, o.force);
    }

    const Bytes image = ReadWholeFile(o.image, kImageBufferSize);
    const ImageKind kind = Identify(o.image, image).kind;
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(image, kind, slots);

    Bytes working = image;
    std::vector<SlotPatch> patches;
    for (const auto& [n, file] : files) {
        TMelody& slot = slots[static_cast<std::size_t>(RowOfSlot(n))];
        const std::string label =
            "slot " + std::to_string(n) + " (" + std::string(SlotDef(n).caption) + ")";
        if (slot.Address == kNotFound) {
            throw CliFailure(o.image + ": " + label + " was not found in the image");
        }
        const SelectedSlotDisplay fields = ShowSelectedSlot(slot);
        PatchRequest request;
        request.imagePath = o.image;
        request.kind = kind;
        request.row = RowOfSlot(n);
        request.caption = names.count(n) ? names[n] : std::string(SlotDef(n).caption);
        request.slot = slot;
        request.startText = fields.start;
        request.endText = fields.end;
        request.replacementPath = file;
        request.keepName = o.keepNames || !(IsStandardMelody(n) && kind == ImageKind::FullFlash);
        BuiltPatch built = BuildPatchFromFiles(request);
        if (!built.block) {
            throw CliFailure(o.image + ": " + label + ": " + built.detail);
        }
        if (!ApplyEdits(built.block->edits, working)) {
            throw CliFailure(o.image + ": " + label + ": the image changed while it was read");
        }
        patches.push_back({n, request.caption, std::move(*built.block)});
    }

    // Every output is read back and checked before it replaces anything.
    if (!o.vkp.empty()) {
        std::string all;
        std::vector<ByteEdit> before, after;
        for (const SlotPatch& p : patches) {
            all += p.block.text;
            before.insert(before.end(), p.block.originals.begin(), p.block.originals.end());
            after.insert(after.end(), p.block.edits.begin(), p.block.edits.end());
        }
        WritePatchFile(o.vkp, all, false, PatchReplayCheck(kind, before, after));
        io.out << "Wrote " << o.vkp << " (verified)\n";
    } else if (!o.perSlot.empty()) {
        std::set<std::string> paths;
        for (const SlotPatch& p : patches) {
            std::string base = p.caption;
            std::replace(base.begin(), base.end(), ' ', '_');
            const std::string path = JoinPath(o.perSlot, base + ".vkp");
            if (!paths.insert(path).second) {
                throw CliFailure(path + ": two slots would write this file; give them other names");
            }
            RefuseExisting(path, o.force);
        }
        for (const SlotPatch& p : patches) {
            std::string base = p.caption;
            std::replace(base.begin(), base.end(), ' ', '_');
            const std::string path = JoinPath(o.perSlot, base + ".vkp");
            WritePatchFile(path, p.block.text, false,
                           PatchReplayCheck(kind, p.block.originals, p.block.edits));
            io.out << "Wrote " << path << " (verified)\n";
        }
    } else {
        WriteFileAtomically(o.out, working);
        io.out << "Wrote " << o.out << " (verified)\n";
    }
    io.exitCode = 0;
}

}  // namespace

void AddPatchCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<PatchOptions>();
    CLI::App* cmd = app.add_subcommand(
        "patch", "Replace the content of slots: write V_KLay patches or a patched image");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    cmd->add_option("--slot", options->slots, "Replacement file of slot N (1..18), as N=FILE")
        ->required();
    cmd->add_option("--name", options->names,
                    "New name of standard melody N (1..10), as N=TEXT; cleaned like the window's "
                    "name editing");
    cmd->add_flag("--keep-names", options->keepNames, "Don't change melody names");
    CLI::Option_group* output = cmd->add_option_group("output", "Where the result goes");
    output->add_option("--vkp", options->vkp, "One .vkp file holding every slot's patch");
    output->add_option("--per-slot", options->perSlot,
                       "Folder for one .vkp file per slot, named after its caption");
    output->add_option("--out", options->out, "The patched image");
    output->require_option(1);
    cmd->add_flag("--force", options->force, "Replace existing output files");
    cmd->callback([options, &io] { RunPatch(*options, io); });
}

}  // namespace carillon::cli

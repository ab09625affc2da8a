// carillon-cli patch IMAGE --slot N=FILE... [--name N=TEXT...] [--keep-names] [--allow-cut]
//                    (--vkp FILE | --per-slot DIR | --out FILE) [--force]
// Replaces the content of slots. Every block is built before anything is written, so a slot
// that cannot be patched leaves every output untouched. A standard melody keeps the name the
// image stores unless --name gives a new one; a file larger than its slot is refused unless
// --allow-cut says to keep its first bytes.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/slots.h"
#include "patch/make_patch.h"
#include "patch/patch_builder.h"
#include "patch/patch_request.h"
#include "patch/patch_run.h"
#include "patch/run_output.h"
#include "search/block_soundness.h"
#include "search/partial_image.h"
#include "search/slot_search.h"

namespace carillon::cli {
namespace {

struct PatchOptions {
    std::string image;
    std::vector<std::string> slots;
    std::vector<std::string> names;
    bool keepNames = false;
    bool allowCut = false;
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
    if (eq == std::string::npos || !digits || (n = std::stoi(number)) < 1 || n > last ||
        eq + 1 == text.size()) {
        throw CLI::ValidationError(
            option, "expected N=" + std::string(option == "--slot" ? "FILE" : "TEXT") +
                        " with N from 1 to " + std::to_string(last) + ", got \"" + text + "\"");
    }
    return {n, text.substr(eq + 1)};
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
        std::string name = CleanMelodyName(text);
        if (name.empty()) {
            throw CLI::ValidationError("--name",
                                       "slot " + std::to_string(n) + " gets an empty name");
        }
        if (!names.emplace(n, std::move(name)).second) {
            throw CLI::ValidationError("--name", "slot " + std::to_string(n) + " named twice");
        }
    }
    // The image and every replacement file are never an output, whatever the flags.
    const InputFile image(o.image, kImageBufferSize);
    OutputRules rules;
    rules.force = o.force;
    rules.Protect(image);
    for (const auto& [n, file] : files) {
        rules.Protect(file);
    }
    // Every target is checked before anything is written; a named target before anything is
    // read. Per-slot files are named after the captions, which follow the names the image
    // stores, so they are checked once the image has been searched.
    OutputCommit commit(rules);
    if (!o.vkp.empty()) {
        commit.Check(o.vkp);
    } else if (o.perSlot.empty()) {
        commit.Check(o.out);
    }

    // Only what the search looks at is read; the blocks are built from the files, and a
    // patched image is a copy of the file with the blocks' edits written over it.
    const ImageKind kind = DecideKind(o.image, static_cast<std::size_t>(image.size()));
    PartialImage partial(image);
    ReadForSearch(partial, kind);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(partial.View(), kind, slots);
    // A job that includes a slot whose block is unsound is refused whole.
    const SoundnessTable soundness = CheckSlotSoundness(partial.View(), kind, slots);
    for (const auto& [n, file] : files) {
        const SlotSoundness& s = soundness[static_cast<std::size_t>(RowOfSlot(n))];
        if (!s.sound()) {
            throw CliFailure(o.image + ": " + UnsoundSlotText(n, s));
        }
    }

    std::vector<SlotPatch> patches;
    for (const auto& [n, file] : files) {
        TMelody& slot = slots[static_cast<std::size_t>(RowOfSlot(n))];
        const std::string label =
            "slot " + std::to_string(n) + " (" + std::string(SlotDef(n).caption) + ")";
        if (slot.Address == kNotFound) {
            throw CliFailure(o.image + ": " + label + " was not found in the image");
        }
        EnsureStoredName(partial, kind, RowOfSlot(n), slot);
        const std::optional<std::string> stored =
            StoredName(partial.View(), kind, RowOfSlot(n), slot);
        if (names.count(n) != 0 && !NameWritable(kind, RowOfSlot(n), stored.has_value())) {
            throw CliFailure(o.image + ": " + label +
                             ": the image holds no melody name there, so it cannot be renamed");
        }
        const std::uint64_t fileSize = FileSize(file);
        if (!o.allowCut && CutBytes(slot.Capacity, fileSize) > 0) {
            throw CliFailure(label + ": " + CutFacts(file, slot.Capacity, fileSize) +
                             " (use --allow-cut to keep its first " +
                             std::to_string(slot.Capacity) + " bytes)");
        }
        PatchChoice choice;
        choice.imagePath = o.image;
        choice.kind = kind;
        choice.row = RowOfSlot(n);
        choice.slot = slot;
        choice.caption = names.count(n) != 0 ? names[n] : ShownCaption(RowOfSlot(n), stored);
        choice.replacementPath = file;
        choice.keepName = o.keepNames;
        choice.nameStored = stored.has_value();
        const PatchRequest request = MakePatchRequest(choice);
        BuiltPatch built = BuildPatchFromFiles(request);
        if (!built.block) {
            throw CliFailure(o.image + ": " + label + ": " + built.detail);
        }
        if (!EditsFit(built.block->edits, static_cast<std::size_t>(image.size()))) {
            throw CliFailure(o.image + ": " + label + ": the image changed while it was read");
        }
        patches.push_back({n, request.caption, std::move(*built.block)});
    }

    std::vector<std::string> perSlotPaths;
    if (!o.perSlot.empty()) {
        std::vector<PlannedPatchFile> planned;
        for (const SlotPatch& p : patches) {
            planned.push_back(
                {p.slot, p.caption, PerSlotPatchPath(o.perSlot, CaptionFileName(p.caption), {})});
        }
        if (const std::string shared = SharedPatchFileText(planned); !shared.empty()) {
            throw CliFailure(shared);
        }
        for (const PlannedPatchFile& file : planned) {
            commit.Check(file.path);
            perSlotPaths.push_back(file.path);
        }
    }

    // All or nothing: every file is written, flushed and read back (a ".vkp" must also replay
    // onto the bytes it was built from) before the first is put in place.
    std::vector<std::string> written;
    if (!o.vkp.empty()) {
        std::string all;
        std::vector<ByteEdit> before, after;
        for (const SlotPatch& p : patches) {
            all += p.block.text;
            before.insert(before.end(), p.block.originals.begin(), p.block.originals.end());
            after.insert(after.end(), p.block.edits.begin(), p.block.edits.end());
        }
        commit.Add(o.vkp, all, PatchReplayCheck(kind, before, after));
        written.push_back(o.vkp);
    } else if (!o.perSlot.empty()) {
        for (std::size_t i = 0; i < patches.size(); ++i) {
            const PatchBlock& b = patches[i].block;
            commit.Add(perSlotPaths[i], b.text, PatchReplayCheck(kind, b.originals, b.edits));
        }
        written = perSlotPaths;
    } else {
        std::vector<OutputCommit::Change> changes;
        for (const SlotPatch& p : patches) {
            for (const ByteEdit& e : p.block.edits) {
                changes.push_back({static_cast<std::uint64_t>(e.offset), e.bytes});
            }
        }
        commit.AddCopy(o.out, image, changes);
        written.push_back(o.out);
    }
    commit.Commit();
    for (const std::string& path : written) {
        io.out << "Wrote " << path << " (verified)\n";
    }
    io.exitCode = 0;
}

}  // namespace

void AddPatchCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<PatchOptions>();
    CLI::App* cmd = app.add_subcommand(
        "patch", "Replace the content of slots: write V_KLay patches or a patched image");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    // Each --slot and --name takes exactly one value, so IMAGE may follow them.
    cmd->add_option("--slot", options->slots, "Replacement file of slot N (1..18), as N=FILE")
        ->required()
        ->allow_extra_args(false)
        ->check(NonEmpty());
    cmd->add_option("--name", options->names,
                    "New name of standard melody N (1..10), as N=TEXT; cleaned like the window's "
                    "name editing")
        ->allow_extra_args(false)
        ->check(NonEmpty());
    cmd->add_flag("--keep-names", options->keepNames, "Don't change melody names");
    cmd->add_flag("--allow-cut", options->allowCut,
                  "Keep the first bytes of a file larger than its slot instead of refusing it");
    CLI::Option_group* output = cmd->add_option_group("output", "Where the result goes");
    output->add_option("--vkp", options->vkp, "One .vkp file holding every slot's patch")
        ->check(NonEmpty());
    output
        ->add_option("--per-slot", options->perSlot,
                     "Folder for one .vkp file per slot, named after its caption")
        ->check(NonEmpty());
    output->add_option("--out", options->out, "The patched image")->check(NonEmpty());
    output->require_option(1);
    cmd->add_flag("--force", options->force, "Replace existing output files");
    cmd->callback([options, &io] { RunPatch(*options, io); });
}

}  // namespace carillon::cli

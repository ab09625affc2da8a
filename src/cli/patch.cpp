// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli patch IMAGE --slot N=FILE... [--name N=TEXT...] [--keep-names] [--allow-cut]
//                    (--vkp FILE [--append] | --per-slot DIR | --out FILE) [--force]
// Replaces the content of slots. Every block is built from one snapshot of the image before
// anything is written, so a slot that cannot be patched, or an image that changes meanwhile,
// leaves every output untouched. A standard melody keeps the name the
// image stores unless --name gives a new one; a file larger than its slot is refused unless
// --allow-cut says to keep its first bytes.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
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
    bool append = false;
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

// What the options ask for, checked: the replacement file and new name of each slot.
struct Assignments {
    std::map<int, std::string> files;
    std::map<int, std::string> names;
};

Assignments ReadAssignments(const PatchOptions& o) {
    Assignments a;
    for (const std::string& s : o.slots) {
        auto [n, file] = SplitAssignment("--slot", s, kSlotCount);
        if (!a.files.emplace(n, file).second) {
            throw CLI::ValidationError("--slot", "slot " + std::to_string(n) + " given twice");
        }
    }
    for (const std::string& s : o.names) {
        auto [n, text] = SplitAssignment("--name", s, kStandardMelodyCount);
        if (a.files.count(n) == 0) {
            throw CLI::ValidationError(
                "--name", "slot " + std::to_string(n) + " is renamed but has no --slot");
        }
        // A name of blanks only is no name: the phone would keep none, as for an empty one.
        std::optional<std::string> name = NewMelodyName(text);
        if (!name) {
            throw CLI::ValidationError("--name",
                                       "slot " + std::to_string(n) + " gets an empty name");
        }
        if (!a.names.emplace(n, std::move(*name)).second) {
            throw CLI::ValidationError("--name", "slot " + std::to_string(n) + " named twice");
        }
    }
    return a;
}

struct SlotPatch {
    int slot = 0;
    std::string caption;
    PatchBlock block;
};

// The one snapshot of the image a job works from: what the search looks at, then what each
// block covers; with --out the whole image, read first, which the output is made from.
struct Snapshot {
    const InputFile& file;
    ImageKind kind;
    PartialImage bytes;
    SlotTable slots{};
    Snapshot(const InputFile& f, ImageKind k) : file(f), kind(k), bytes(f) {}
};

void Search(Snapshot& image, bool whole) {
    if (whole) {
        image.bytes.EnsureAll();
    }
    ReadForSearch(image.bytes, image.kind);
    InitialiseSlotTable(image.slots);
    SearchSlots(image.bytes.View(), image.kind, image.slots);
}

// A job that includes a slot whose block is unsound is refused whole.
void RefuseUnsound(const PatchOptions& o, const Assignments& a, const Snapshot& image) {
    const SoundnessTable soundness =
        CheckSlotSoundness(image.bytes.View(), image.kind, image.slots);
    for (const auto& [n, file] : a.files) {
        const SlotSoundness& s = soundness[static_cast<std::size_t>(RowOfSlot(n))];
        if (!s.sound()) {
            throw CliFailure(o.image + ": " + UnsoundSlotText(n, s));
        }
    }
}

// Builds the block of every assigned slot; a slot that cannot be patched fails the job before
// anything is written.
// With `joined` every block's text is built at the end of that one string (a single ".vkp"),
// not in a string of its own.
std::vector<SlotPatch> BuildBlocks(const PatchOptions& o, const Assignments& a, Snapshot& image,
                                   std::string* joined) {
    std::vector<SlotPatch> patches;
    if (joined != nullptr) {
        std::size_t room = 0;
        for (const auto& [n, file] : a.files) {
            const TMelody& slot = image.slots[static_cast<std::size_t>(RowOfSlot(n))];
            // A block covers its slot's capacity (the end the window's fields show).
            room += PatchBlockTextBound(
                static_cast<std::size_t>(std::max<std::int64_t>(slot.Capacity, 0)));
        }
        joined->reserve(room);
    }
    for (const auto& [n, file] : a.files) {
        TMelody& slot = image.slots[static_cast<std::size_t>(RowOfSlot(n))];
        const std::string label =
            "slot " + std::to_string(n) + " (" + std::string(SlotDef(n).caption) + ")";
        if (slot.Address == kNotFound) {
            throw CliFailure(o.image + ": " + label + " was not found in the image");
        }
        EnsureStoredName(image.bytes, image.kind, RowOfSlot(n), slot);
        const std::optional<std::string> stored =
            StoredName(image.bytes.View(), image.kind, RowOfSlot(n), slot);
        const auto rename = a.names.find(n);
        if (rename != a.names.end() &&
            !NameWritable(image.kind, RowOfSlot(n), stored.has_value())) {
            throw CliFailure(o.image + ": " + label +
                             ": the image holds no melody name there, so it cannot be renamed");
        }
        // One read of the replacement, one byte past the slot at most: the cut rule is judged
        // on the bytes the block is built from, even when the file grows meanwhile.
        const InputFile replacement(file);
        const Bytes content = replacement.ReadUpTo(
            static_cast<std::size_t>(std::max<std::int64_t>(slot.Capacity, 0)) + 1);
        const std::uint64_t fileSize = CutBytes(slot.Capacity, content.size()) > 0
                                           ? std::max<std::uint64_t>(FileSize(file), content.size())
                                           : content.size();
        if (!o.allowCut && CutBytes(slot.Capacity, fileSize) > 0) {
            throw CliFailure(label + ": " + CutFacts(file, slot.Capacity, fileSize) +
                             " (use --allow-cut to keep its first " +
                             std::to_string(slot.Capacity) + " bytes)");
        }
        PatchChoice choice;
        choice.imagePath = o.image;
        choice.kind = image.kind;
        choice.row = RowOfSlot(n);
        choice.slot = slot;
        choice.caption =
            rename != a.names.end() ? rename->second : ShownCaption(RowOfSlot(n), stored);
        choice.replacementPath = file;
        choice.keepName = o.keepNames;
        choice.nameStored = stored.has_value();
        const PatchRequest request = MakePatchRequest(choice);
        BuiltPatch built = BuildPatchFromSnapshot(request, image.bytes, content, joined);
        if (!built.block) {
            throw CliFailure(o.image + ": " + label + ": " + English(built.detail));
        }
        patches.push_back({n, request.caption, std::move(*built.block)});
    }
    return patches;
}

// The single ".vkp" holding every block (its text built by BuildBlocks), its bytes before
// and after.
struct JoinedBlocks {
    std::string text;
    std::vector<ByteEdit> before, after;
};

// The blocks' edits are moved, not copied: the job needs them no more once joined.
void JoinEdits(std::vector<SlotPatch>& patches, JoinedBlocks& all) {
    for (SlotPatch& p : patches) {
        std::move(p.block.originals.begin(), p.block.originals.end(),
                  std::back_inserter(all.before));
        std::move(p.block.edits.begin(), p.block.edits.end(), std::back_inserter(all.after));
    }
}

// Writes the outputs: all or nothing, every file written, flushed and read back (a ".vkp" must
// also replay onto the bytes it was built from) before the first is put in place. Returns the
// files written.
std::vector<std::string> WriteOutputs(const PatchOptions& o, std::vector<SlotPatch>& patches,
                                      JoinedBlocks& all, Snapshot& image, OutputCommit& commit,
                                      const OutputRules& rules, CliIo& io) {
    if (!o.vkp.empty()) {
        JoinEdits(patches, all);
        const WrittenCheck replays = PatchReplayCheck(image.kind, all.before, all.after);
        if (o.append) {
            // As the window's single patch: locked, so several runs may append at once.
            WritePatchFile(o.vkp, all.text, PatchFileMode::Append, rules, replays, [&] {
                io.err << "carillon-cli: " << EscapeForTerminal(o.vkp)
                       << ": another program is writing this file; waiting up to "
                       << kAppendLockWaitSeconds << " seconds" << std::endl;
            });
            return {o.vkp};
        }
        commit.Add(o.vkp, all.text, replays);
        commit.Commit();
        return {o.vkp};
    }
    if (!o.perSlot.empty()) {
        std::vector<PlannedPatchFile> planned;
        for (const SlotPatch& p : patches) {
            planned.push_back(
                {p.slot, p.caption, PerSlotPatchPath(o.perSlot, CaptionFileName(p.caption), {})});
        }
        if (const std::string shared = SharedPatchFileText(planned); !shared.empty()) {
            throw CliFailure(shared);
        }
        std::vector<std::string> paths;
        for (const PlannedPatchFile& file : planned) {
            commit.Check(file.path);
            paths.push_back(file.path);
        }
        for (std::size_t i = 0; i < patches.size(); ++i) {
            const PatchBlock& b = patches[i].block;
            commit.Add(paths[i], b.text, PatchReplayCheck(image.kind, b.originals, b.edits));
        }
        commit.Commit();
        return paths;
    }
    // The patched image is the snapshot with the blocks' edits, made in the snapshot itself
    // (it is not looked at again).
    for (const SlotPatch& p : patches) {
        for (const ByteEdit& e : p.block.edits) {
            if (!image.bytes.Overwrite(static_cast<std::uint64_t>(e.offset), e.bytes)) {
                throw CliFailure(o.image + ": an edit at offset " + std::to_string(e.offset) +
                                 " lies outside the image");
            }
        }
    }
    const ByteView output = image.bytes.View();
    commit.Add(o.out, output.data(), output.size());
    commit.Commit();
    return {o.out};
}

void RunPatch(const PatchOptions& o, CliIo& io) {
    const Assignments assigned = ReadAssignments(o);
    // The image and every replacement file are never an output, whatever the flags.
    const InputFile file(o.image, kImageBufferSize);
    std::vector<std::string> inputs{o.image};
    for (const auto& [n, replacement] : assigned.files) {
        inputs.push_back(replacement);
    }
    OutputRules rules = JobOutputRules(o.force ? Existing::Replace : Existing::Refuse, inputs);
    rules.Protect(file);
    // Every target is checked before anything is written; a named target before anything is
    // read. Per-slot files are named after the captions, which follow the names the image
    // stores, so they are checked once the image has been searched.
    OutputCommit commit(rules);
    if (o.append) {
        CheckOutputTarget(o.vkp, JobOutputRules(Existing::Replace, inputs));
    } else if (!o.vkp.empty()) {
        commit.Check(o.vkp);
    } else if (o.perSlot.empty()) {
        commit.Check(o.out);
    }

    Snapshot image(file, DecideKind(o.image, static_cast<std::size_t>(file.size())));
    Search(image, !o.out.empty());
    RefuseUnsound(o, assigned, image);
    JoinedBlocks all;
    std::vector<SlotPatch> patches =
        BuildBlocks(o, assigned, image, o.vkp.empty() ? nullptr : &all.text);
    // Everything the blocks were decided on is one snapshot of the file, or nothing is written.
    image.bytes.ConfirmUnchanged();

    for (const std::string& path : WriteOutputs(o, patches, all, image, commit, rules, io)) {
        io.out << "Wrote " << EscapeForTerminal(path) << " (verified)\n";
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
    CLI::Option* vkp =
        output->add_option("--vkp", options->vkp, "One .vkp file holding every slot's patch")
            ->check(NonEmpty());
    output
        ->add_option("--per-slot", options->perSlot,
                     "Folder for one .vkp file per slot, named after its caption")
        ->check(NonEmpty());
    output->add_option("--out", options->out, "The patched image")->check(NonEmpty());
    output->require_option(1);
    cmd->add_flag("--append", options->append,
                  "Add the patch to the end of the --vkp file (created when missing), as the "
                  "window's single patch does; several runs may append at once")
        ->needs(vkp);
    cmd->add_flag("--force", options->force, "Replace existing output files");
    cmd->callback([options, &io] { RunPatch(*options, io); });
}

}  // namespace carillon::cli

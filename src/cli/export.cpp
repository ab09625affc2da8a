// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli export IMAGE --slot N --out FILE [--force]
// carillon-cli export IMAGE --all DIR [--force]
// Saves what slots hold: the content size bytes of a found slot, byte for byte, as a melody
// (".si3"), picture (".bmp") or animation (".bmx") file that can be given back to the slot.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "core/slots.h"
#include "patch/patch_request.h"
#include "patch/patch_run.h"
#include "patch/slot_export.h"
#include "search/block_soundness.h"
#include "search/slot_search.h"

namespace carillon::cli {
namespace {

struct ExportOptions {
    std::string image;
    int slot = 0;
    std::string out;
    std::string all;
    bool force = false;
};

std::string Label(int n) {
    return "slot " + std::to_string(n) + " (" + std::string(SlotDef(n).caption) + ")";
}

// The image is never an output, whatever the flags.
OutputRules RulesFor(const ExportOptions& o) {
    return JobOutputRules(o.force ? Existing::Replace : Existing::Refuse, {o.image});
}

// One snapshot of the image: read in one pass, searched, and the source of every file written.
struct Searched {
    Bytes image;
    ImageKind kind = ImageKind::FullFlash;
    SlotTable slots{};
    SoundnessTable soundness{};
};

Searched Search(const std::string& path) {
    Searched s;
    const InputFile file(path, kImageBufferSize);
    s.image = file.ReadAll();
    file.ConfirmUnchanged(s.image);
    s.kind = DecideKind(path, s.image.size());
    InitialiseSlotTable(s.slots);
    SearchSlots(s.image, s.kind, s.slots);
    s.soundness = CheckSlotSoundness(s.image, s.kind, s.slots);
    return s;
}

// The folder of --all, with the folders above it that are missing: created, and removed again
// (while empty) unless Keep is called, so a failed export leaves no folder it made.
class CreatedFolders {
  public:
    explicit CreatedFolders(const std::string& path) {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (fs::path p = fs::path(path).lexically_normal(); !p.empty() && p != p.root_path();
             p = p.parent_path()) {
            if (p.filename().empty()) {
                continue;  // a trailing slash
            }
            const fs::file_status link = fs::symlink_status(p, ec);
            if (fs::is_symlink(link) && !fs::exists(fs::status(p, ec))) {
                throw FileError(p.string(), make_error_code(CarillonErrc::not_a_regular_file),
                                Message(MessageId::DanglingLinkNotFolder));
            }
            if (fs::exists(link)) {
                break;
            }
            missing_.push_back(p.string());
        }
        fs::create_directories(path, ec);
        if (ec) {
            Remove();
            throw FileError(path, ec);
        }
    }
    CreatedFolders(const CreatedFolders&) = delete;
    CreatedFolders& operator=(const CreatedFolders&) = delete;
    ~CreatedFolders() { Remove(); }
    void Keep() const { missing_.clear(); }

  private:
    void Remove() const {
        std::error_code ec;
        for (const std::string& folder : missing_) {  // deepest first
            std::filesystem::remove(folder, ec);      // only an empty folder goes
        }
        missing_.clear();
    }
    mutable std::vector<std::string> missing_;
};

ExportPlan Plan(const Searched& s, int n) {
    const auto row = static_cast<std::size_t>(RowOfSlot(n));
    return PlanSlotExport(s.slots[row], s.kind, s.image.size(), s.soundness[row]);
}

void ExportOne(const ExportOptions& o, CliIo& io) {
    if (o.out.empty()) {
        throw CLI::ValidationError("--out", "--slot needs --out FILE (not empty)");
    }
    const OutputRules rules = RulesFor(o);
    CheckOutputTarget(o.out, rules);
    const Searched s = Search(o.image);
    const ExportPlan plan = Plan(s, o.slot);
    if (plan.skip != ExportSkip::None) {
        throw CliFailure(o.image + ": " + Label(o.slot) + ": " + English(plan.reason));
    }
    WriteOutputFile(o.out, SlotContent(plan, s.image), rules);
    io.out << "Wrote " << EscapeForTerminal(o.out) << " (verified): " << Label(o.slot) << ", "
           << plan.size << " bytes\n";
    io.exitCode = 0;
}

void ExportAll(const ExportOptions& o, CliIo& io) {
    const Searched s = Search(o.image);
    struct Item {
        int slot;
        ExportPlan plan;
    };
    std::vector<Item> items;
    std::vector<std::string> names;
    std::vector<std::string> skipped;
    for (int n = 1; n <= kSlotCount; ++n) {
        ExportPlan plan = Plan(s, n);
        if (plan.skip != ExportSkip::None) {
            skipped.push_back("Skipped " + Label(n) + ": " + English(plan.reason));
            continue;
        }
        // The row caption: a standard melody of a full flash goes by the name the image stores.
        const std::optional<std::string> stored = StoredName(
            s.image, s.kind, RowOfSlot(n), s.slots[static_cast<std::size_t>(RowOfSlot(n))]);
        names.push_back(ExportFileName(n, stored ? *stored : std::string(SlotDef(n).caption)));
        items.push_back({n, std::move(plan)});
    }
    names = UniqueExportNames(names);
    if (items.empty()) {
        for (const std::string& line : skipped) {
            io.out << line << '\n';
        }
        throw CliFailure(o.image + ": no slot holds content to export");
    }
    const CreatedFolders folder(o.all);
    // All or nothing: every target is checked, then every file written, flushed and read back,
    // before the first is put in place.
    OutputCommit commit(RulesFor(o));
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(JoinPath(o.all, name));
        commit.Check(paths.back());
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        commit.Add(paths[i], SlotContent(items[i].plan, s.image));
    }
    commit.Commit();
    folder.Keep();
    for (std::size_t i = 0; i < items.size(); ++i) {
        io.out << "Wrote " << EscapeForTerminal(paths[i]) << " (verified): " << Label(items[i].slot)
               << ", " << items[i].plan.size << " bytes\n";
    }
    for (const std::string& line : skipped) {
        io.out << line << '\n';
    }
    io.exitCode = 0;
}

}  // namespace

void AddExportCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* cmd =
        app.add_subcommand("export", "Save what slots hold as melody, picture or animation files");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    CLI::Option_group* what = cmd->add_option_group("what", "Which slots");
    CLI::Option* slot =
        what->add_option("--slot", options->slot, "The slot to save (1..18), with --out")
            ->check(CLI::Range(1, kSlotCount));
    CLI::Option* all =
        what->add_option("--all", options->all, "Folder for every slot that holds content");
    what->require_option(1);
    cmd->add_option("--out", options->out, "The file for --slot")->needs(slot)->excludes(all);
    cmd->add_flag("--force", options->force, "Replace existing files");
    cmd->callback([options, all, &io] {
        if (all->count() == 0) {
            ExportOne(*options, io);
        } else if (options->all.empty()) {
            throw CLI::ValidationError("--all", "needs a folder");
        } else {
            ExportAll(*options, io);
        }
    });
}

}  // namespace carillon::cli

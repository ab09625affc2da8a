// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli info IMAGE [--json]: the kind, phone, version and the 18 slots of an image.
#include <CLI/CLI.hpp>
#include <array>
#include <iomanip>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/slots.h"
#include "patch/patch_request.h"
#include "search/block_soundness.h"
#include "search/partial_image.h"
#include "search/slot_search.h"

namespace carillon::cli {
namespace {

// Image bytes are 8-bit text; JSON wants UTF-8.
std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The stored melody name of each row, where the image holds one.
using StoredNames = std::array<std::optional<std::string>, kSlotCount>;

StoredNames ReadStoredNames(PartialImage& image, ImageKind kind, const SlotTable& slots) {
    StoredNames names;
    for (int row = 0; row < kSlotCount; ++row) {
        const TMelody& slot = slots[static_cast<std::size_t>(row)];
        EnsureStoredName(image, kind, row, slot);
        names[static_cast<std::size_t>(row)] = StoredName(image.View(), kind, row, slot);
    }
    return names;
}

void PrintJson(std::ostream& out, const std::string& path, const ImageInfo& info,
               const SlotTable& slots, const StoredNames& names, const SoundnessTable& sound) {
    nlohmann::ordered_json doc;
    doc["path"] = path;
    doc["kind"] = static_cast<int>(info.kind);
    doc["kindText"] = KindText(info.kind);
    if (info.kind == ImageKind::FullFlash && info.versionByte) {
        doc["phone"] = Latin1ToUtf8(info.phone);
        doc["version"] = *info.versionByte;
    } else {
        doc["phone"] = nullptr;
        doc["version"] = nullptr;
    }
    doc["slots"] = nlohmann::ordered_json::array();
    for (int n = 1; n <= kSlotCount; ++n) {
        const TMelody& m = slots[static_cast<std::size_t>(RowOfSlot(n))];
        const bool found = m.Address != kNotFound;
        nlohmann::ordered_json s;
        s["slot"] = n;
        s["caption"] = SlotDef(n).caption;
        s["found"] = found;
        s["blockNumber"] = m.BlockNumber;
        s["address"] = found ? m.Address : kNotFound;
        s["capacity"] = found ? nlohmann::ordered_json(m.Capacity) : nullptr;
        s["contentSize"] = found ? nlohmann::ordered_json(m.ContentSize) : nullptr;
        const auto& name = names[static_cast<std::size_t>(RowOfSlot(n))];
        s["name"] = name ? nlohmann::ordered_json(*name) : nullptr;
        const SlotSoundness& damage = sound[static_cast<std::size_t>(RowOfSlot(n))];
        s["unsound"] =
            damage.sound() ? nullptr : nlohmann::ordered_json(BlockDamageText(damage, false));
        doc["slots"].push_back(s);
    }
    // Paths are bytes, not always UTF-8: invalid bytes become U+FFFD.
    out << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

// A slot whose block must not be written shows "yes!" and, after its name, why.
void PrintTable(std::ostream& out, const std::string& path, const ImageInfo& info,
                const SlotRows& rows, const StoredNames& names, const SoundnessTable& sound) {
    out << "Image:      " << EscapeForTerminal(path) << '\n'
        << "File type:  " << KindText(info.kind) << '\n'
        << "Phone:      " << EscapeControlBytes(info.phone) << '\n'
        << "Version:    " << info.version << "\n\n";
    out << std::left << std::setw(4) << "#" << std::setw(18) << "Melody" << std::right
        << std::setw(7) << "Size" << std::setw(7) << "Max" << std::setw(10) << "Address"
        << "  " << std::left << std::setw(7) << "Found"
        << "Name" << '\n';
    for (int n = 1; n <= kSlotCount; ++n) {
        const auto r = static_cast<std::size_t>(RowOfSlot(n));
        const SlotRow& row = rows[r];
        const bool unsound = !sound[r].sound();
        out << std::left << std::setw(4) << n << std::setw(18) << SlotDef(n).caption << std::right
            << std::setw(7) << English(row.size) << std::setw(7) << English(row.max)
            << std::setw(10) << English(row.address) << "  " << std::left << std::setw(7)
            << (!row.found ? "no"
                : unsound  ? "yes!"
                           : "yes");
        const std::string name = EscapeForTerminal(names[r].value_or(""));
        if (unsound) {
            out << std::setw(12) << name << "! " << BlockDamageText(sound[r])
                << ": the image's block table is damaged";
        } else {
            out << name;
        }
        out << '\n';
    }
}

struct InfoOptions {
    std::string image;
    bool json = false;
};

}  // namespace

void AddInfoCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* cmd = app.add_subcommand("info", "Show the kind of an image and its 18 slots");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    cmd->add_flag("--json", options->json, "Print one JSON object");
    cmd->callback([options, &io] {
        // Only the bytes the search looks at are read.
        const InputFile file(options->image, kImageBufferSize);
        PartialImage image(file);
        ReadForSearch(image, DecideKind(options->image, static_cast<std::size_t>(file.size())));
        const ImageInfo info = Identify(options->image, image.View());
        SlotTable slots{};
        InitialiseSlotTable(slots);
        const SlotRows rows = SearchSlots(image.View(), info.kind, slots);
        const StoredNames names = ReadStoredNames(image, info.kind, slots);
        const SoundnessTable sound = CheckSlotSoundness(image.View(), info.kind, slots);
        if (options->json) {
            PrintJson(io.out, options->image, info, slots, names, sound);
        } else {
            PrintTable(io.out, options->image, info, rows, names, sound);
        }
        io.exitCode = 0;
    });
}

}  // namespace carillon::cli

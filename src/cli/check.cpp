// carillon-cli check IMAGE PATCH [--json]: whether each record of a ".vkp" fits the image as it
// is: its old bytes are there (applies), its new bytes are there already (applied), neither
// (conflict), or it lies outside the image. Exit 0 when the whole patch can be applied, or when
// it has been applied; 1 otherwise.
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "patch/vkp_reader.h"

namespace carillon::cli {
namespace {

struct CheckOptions {
    std::string image;
    std::string patch;
    bool json = false;
};

std::string RecordLine(const RecordCheck& c) {
    const VkpRecord& r = *c.record;
    std::string line = "line " + std::to_string(r.line) + ": " + FormatAddress(r.address) + ": " +
                       std::string(StatusWord(c.status));
    switch (c.status) {
        case RecordStatus::Conflict:
            line += " at image offset " + FormatAddress(c.offset) + ": expected " +
                    HexBytes(c.expected) + ", found " + HexBytes(c.found);
            break;
        case RecordStatus::Outside:
            line += " the image (" + std::to_string(r.newBytes.size()) + " bytes)";
            break;
        case RecordStatus::Unchecked:
            line += " (no old bytes)";
            break;
        default:
            break;
    }
    return line;
}

void PrintJson(std::ostream& out, const VkpCheck& check) {
    nlohmann::ordered_json doc;
    doc["applies"] = check.applies;
    doc["applied"] = check.applied;
    doc["conflict"] = check.conflict;
    doc["outside"] = check.outside;
    doc["unchecked"] = check.unchecked;
    doc["records"] = nlohmann::ordered_json::array();
    for (const RecordCheck& c : check.records) {
        if (c.status == RecordStatus::Applies || c.status == RecordStatus::Both) {
            continue;
        }
        nlohmann::ordered_json r;
        r["line"] = c.record->line;
        r["address"] = c.record->address;
        r["status"] = StatusWord(c.status);
        if (c.status == RecordStatus::Conflict) {
            r["offset"] = c.offset;
            r["expected"] = HexBytes(c.expected);
            r["found"] = HexBytes(c.found);
        }
        doc["records"].push_back(std::move(r));
    }
    out << doc.dump(2) << '\n';
}

void RunCheck(const CheckOptions& o, CliIo& io) {
    const Bytes image = ReadWholeFile(o.image, kImageBufferSize);
    const ImageKind kind = DecideKind(o.image, image.size());
    const Bytes text = ReadWholeFile(o.patch, kVkpTextLimit);
    const VkpParse parsed =
        ReadVkp(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    if (!parsed.ok()) {
        throw CliFailure(o.patch + ": " + parsed.error);
    }
    const VkpCheck check = CheckVkp(parsed.records, kind, image);
    if (o.json) {
        PrintJson(io.out, check);
    } else {
        for (const RecordCheck& c : check.records) {
            if (c.status != RecordStatus::Applies && c.status != RecordStatus::Both) {
                io.out << RecordLine(c) << '\n';
            }
        }
        io.out << check.CountsLine() << '\n';
    }
    io.exitCode = check.Passes() ? 0 : 1;
}

}  // namespace

void AddCheckCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand(
        "check", "Check whether a V_KLay patch applies to an image, or has been applied");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    cmd->add_option("PATCH", options->patch, "The .vkp file")->required();
    cmd->add_flag("--json", options->json, "Print the result as one JSON object");
    cmd->callback([options, &io] { RunCheck(*options, io); });
}

}  // namespace carillon::cli

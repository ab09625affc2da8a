// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli check IMAGE PATCH [--records] [--json]: whether a ".vkp" fits the image, judged
// as a flasher applies it: record by record, each against the image as the records before it
// have left it. Exit 0 when the whole patch applies in order, or when it is wholly in the
// image already; 1 otherwise.
//
// The patch is read twice as a stream, a piece at a time, so memory does not grow with it: the
// first pass reads every record (an error anywhere means no records) and judges whether the
// patch is already in the image; the second judges and prints each record in order. Both
// passes take a digest of what they read; the patch must be the same file, of the same length
// and times, with the same digest, after the second pass, or nothing is concluded.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "vkp/apply.h"
#include "vkp/judge.h"
#include "vkp/reader.h"

namespace carillon::cli {
namespace {

struct CheckOptions {
    std::string image;
    std::string patch;
    bool records = false;
    bool json = false;
};

// A digest of the text as it streams by: FNV-1a over its 8-byte words (little-endian, whatever
// the pieces' bounds), the bytes of a last word not yet full, and the count of bytes.
struct TextDigest {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    std::uint64_t word = 0;  // bytes of the word begun, the first in the lowest bits
    std::uint64_t length = 0;
    void Add(std::string_view piece) {
        std::size_t i = 0;
        for (; i < piece.size() && length % 8 != 0; ++i, ++length) {
            Put(piece[i]);
        }
        for (; i + 8 <= piece.size(); i += 8, length += 8) {
            std::uint64_t w = 0;
            for (std::size_t k = 8; k-- > 0;) {
                w = w << 8 | static_cast<unsigned char>(piece[i + k]);
            }
            hash = (hash ^ w) * 0x100000001B3ull;
        }
        for (; i < piece.size(); ++i, ++length) {
            Put(piece[i]);
        }
    }
    bool operator==(const TextDigest&) const = default;

  private:
    // One byte into the word begun (at place `length` % 8); a full word goes into the hash.
    void Put(char c) {
        word |= std::uint64_t{static_cast<unsigned char>(c)} << (8 * (length % 8));
        if (length % 8 == 7) {
            hash = (hash ^ word) * 0x100000001B3ull;
            word = 0;
        }
    }
};

nlohmann::ordered_json RecordJson(const RecordCheck& c, const VkpRecord* record) {
    nlohmann::ordered_json r;
    r["line"] = c.line;
    r["address"] = c.address;
    if (record != nullptr) {
        r["old"] = record->oldKnown ? nlohmann::ordered_json(HexBytes(record->oldBytes))
                                    : nlohmann::ordered_json(nullptr);
        r["new"] = HexBytes(record->newBytes);
    }
    r["status"] = StatusWord(c.status);
    if (c.status == RecordStatus::Conflict) {
        r["offset"] = c.offset;
        r["expected"] = HexBytes(c.expected);
        r["found"] = HexBytes(c.found);
    }
    if (c.overlapsLine > 0) {
        r["note"] = "overlaps line " + std::to_string(c.overlapsLine);
    }
    return r;
}

nlohmann::ordered_json WarningsJson(const std::vector<VkpWarning>& warnings) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const VkpWarning& w : warnings) {
        list.push_back({{"line", w.line}, {"text", w.text}});
    }
    return list;
}

// "line N: ADDRESS: old OLD, new NEW: VERDICT", OLD being "none" for a record without old
// bytes; the verdict as "check" words it for a record that does not simply apply.
std::string RecordLine(const RecordCheck& c, const VkpRecord& record) {
    std::string line = "line " + std::to_string(c.line) + ": " + FormatAddress(c.address) +
                       ": old " + (record.oldKnown ? HexBytes(record.oldBytes) : "none") +
                       ", new " + HexBytes(record.newBytes) + ": ";
    if (c.status == RecordStatus::Applies || c.status == RecordStatus::Both) {
        return line + std::string(StatusWord(c.status));
    }
    // The verdict repeats "line N: ADDRESS: "; only what follows it is added.
    const std::string verdict = English(RecordVerdict(c));
    const std::string head =
        "line " + std::to_string(c.line) + ": " + FormatAddress(c.address) + ": ";
    return line + (verdict.rfind(head, 0) == 0 ? verdict.substr(head.size()) : verdict);
}

// Prints what the records' judgement shows, as it comes: every record that does not apply (or
// every record, with --records), then the counts. In JSON the counts follow the records, so
// that nothing is held back.
class Report {
  public:
    Report(std::ostream& out, bool json, bool all) : out_(out), json_(json), all_(all) {
        if (json_) {
            out_ << "{\n  \"records\": [";
        }
    }
    void Record(const RecordCheck& c, const VkpRecord& record) {
        counts_.Count(c.status);
        if (!all_ && (c.status == RecordStatus::Applies || c.status == RecordStatus::Both)) {
            return;
        }
        if (json_) {
            out_ << (listed_ ? ",\n    " : "\n    ")
                 << RecordJson(c, all_ ? &record : nullptr).dump();
        } else {
            out_ << (all_ ? RecordLine(c, record) : English(RecordVerdict(c))) << '\n';
        }
        ++listed_;
    }
    void End(const std::vector<VkpWarning>& warnings, std::size_t unshown) {
        if (!json_) {
            out_ << English(counts_.CountsMessage()) << '\n';
            return;
        }
        nlohmann::ordered_json tail;
        tail["applies"] = counts_.applies;
        tail["applied"] = counts_.applied;
        tail["conflict"] = counts_.conflict;
        tail["outside"] = counts_.outside;
        tail["unchecked"] = counts_.unchecked;
        tail["warnings"] = WarningsJson(warnings);
        tail["moreWarnings"] = unshown;
        Close(tail);
    }
    // No verdict after all (the text changed while it was read): in JSON the object is closed
    // with the error in place of the counts, so that what was printed is still one object.
    void Abandon(const std::string& error, const std::vector<VkpWarning>& warnings,
                 std::size_t unshown) {
        if (!json_) {
            return;
        }
        nlohmann::ordered_json tail;
        tail["error"] = error;
        tail["warnings"] = WarningsJson(warnings);
        tail["moreWarnings"] = unshown;
        Close(tail);
    }
    const VkpCounts& counts() const { return counts_; }

  private:
    // Ends the record list, then the tail object's members, one a line, without its braces.
    void Close(const nlohmann::ordered_json& tail) {
        out_ << (listed_ ? "\n  ],\n" : "],\n");
        const std::string body = tail.dump(2);
        out_ << body.substr(2, body.size() - 3) << "}\n";
    }

    std::ostream& out_;
    bool json_;
    bool all_;
    VkpCounts counts_;
    int listed_ = 0;
};

void PrintWarnings(const CheckOptions& o, CliIo& io, const std::vector<VkpWarning>& warnings,
                   std::size_t unshown) {
    const std::string patch = EscapeForTerminal(o.patch);
    for (const VkpWarning& w : warnings) {
        io.err << "carillon-cli: " << patch << ": line " << w.line
               << ": warning: " << EscapeForTerminal(w.text) << '\n';
    }
    if (unshown > 0) {
        io.err << "carillon-cli: " << patch << ": and " << unshown << " more warnings\n";
    }
}

// A refused patch: the warnings, and in JSON one object with the error and the warnings.
[[noreturn]] void Refuse(const CheckOptions& o, CliIo& io, const std::string& error,
                         const std::vector<VkpWarning>& warnings, std::size_t unshown) {
    PrintWarnings(o, io, warnings, unshown);
    if (o.json) {
        nlohmann::ordered_json doc;
        doc["error"] = error;
        doc["warnings"] = WarningsJson(warnings);
        doc["moreWarnings"] = unshown;
        io.out << doc.dump(2) << '\n';
    }
    throw CliFailure(error);
}

void RunCheck(const CheckOptions& o, CliIo& io) {
    const Bytes image = ReadWholeFile(o.image, kImageBufferSize);
    const ImageKind kind = DecideKind(o.image, image.size());
    const InputFile patch(o.patch, kVkpTextLimit);
    std::string piece;
    auto pull = [&](TextDigest& digest) -> VkpTextPull {
        return [text = PullVkpText(patch, piece), &digest]() {
            const std::string_view got = text();
            digest.Add(got);
            return got;
        };
    };

    // First pass: the whole text reads, and whether it is in the image already.
    TextDigest first;
    VkpSource firstSource(pull(first));
    const VkpFirstPass pass = ReadWhetherInPlace(firstSource, kind, image);
    const std::vector<VkpWarning>& warnings = pass.warnings;
    const std::size_t unshown = pass.moreWarnings;
    if (!firstSource.ok()) {
        Refuse(o, io, o.patch + ": " + firstSource.error(), warnings, unshown);
    }
    if (pass.records == 0) {
        Refuse(o, io, o.patch + " holds no records", warnings, unshown);
    }
    const bool inPlace = pass.inPlace;
    PrintWarnings(o, io, warnings, unshown);

    // Second pass: each record's verdict, in order.
    Report report(io.out, o.json, o.records);
    TextDigest second;
    {
        VkpSource source(pull(second));
        Bytes copy;
        std::unique_ptr<VkpJudge> judge;
        if (!inPlace) {
            copy = image;
            judge = std::make_unique<VkpJudge>(kind, copy);
        }
        VkpRecord record;
        bool changed = false;
        while (source.Next(record)) {
            report.Record(inPlace ? InPlaceCheck(record, kind) : judge->Judge(record), record);
            source.TakeWarnings();  // shown after the first pass
        }
        changed = !source.ok();
        // The verdict stands only if both passes read one and the same text.
        try {
            patch.ConfirmUnchanged();
        } catch (const FileError&) {
            changed = true;
        }
        if (changed || first != second) {
            const std::string error = o.patch + " changed while it was read";
            report.Abandon(error, warnings, unshown);
            io.exitCode = 1;
            throw CliFailure(error);
        }
    }
    report.End(warnings, unshown);
    io.exitCode = PatchPasses(inPlace, report.counts()) ? 0 : 1;
}

}  // namespace

void AddCheckCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* cmd = app.add_subcommand(
        "check", "Check whether a V_KLay patch applies to an image, or has been applied");
    cmd->add_option("IMAGE", options->image, "Full flash, EEPROM .bin or .eep image")->required();
    cmd->add_option("PATCH", options->patch, "The .vkp file")->required();
    cmd->add_flag("--records", options->records,
                  "List every record: line, address, old and new bytes, verdict");
    cmd->add_flag("--json", options->json, "Print the result as one JSON object");
    cmd->callback([options, &io] { RunCheck(*options, io); });
}

}  // namespace carillon::cli

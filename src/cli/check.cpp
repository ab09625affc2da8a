// carillon-cli check IMAGE PATCH [--json]: whether a ".vkp" fits the image, judged as a
// flasher applies it: record by record, each against the image as the records before it have
// left it. Exit 0 when the whole patch applies in order, or when it is wholly in the image
// already; 1 otherwise.
//
// The patch is read twice as a stream, a piece at a time, so memory does not grow with it: the
// first pass reads every record (an error anywhere means no records) and judges whether the
// patch is already in the image; the second judges and prints each record in order.
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "vkp/apply.h"
#include "vkp/reader.h"

namespace carillon::cli {
namespace {

// At most this many warnings are shown; the rest are counted.
constexpr std::size_t kWarningsShown = 100;

struct CheckOptions {
    std::string image;
    std::string patch;
    bool json = false;
};

nlohmann::ordered_json RecordJson(const RecordCheck& c) {
    nlohmann::ordered_json r;
    r["line"] = c.line;
    r["address"] = c.address;
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

// Prints what the records' judgement shows, as it comes: every record that does not apply,
// then the counts. In JSON the counts follow the records, so that nothing is held back.
class Report {
  public:
    Report(std::ostream& out, bool json) : out_(out), json_(json) {
        if (json_) {
            out_ << "{\n  \"records\": [";
        }
    }
    void Record(const RecordCheck& c) {
        counts_.Count(c.status);
        if (c.status == RecordStatus::Applies || c.status == RecordStatus::Both) {
            return;
        }
        if (json_) {
            out_ << (listed_ ? ",\n    " : "\n    ") << RecordJson(c).dump();
        } else {
            out_ << English(RecordVerdict(c)) << '\n';
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
        tail["warnings"] = nlohmann::ordered_json::array();
        for (const VkpWarning& w : warnings) {
            tail["warnings"].push_back({{"line", w.line}, {"text", w.text}});
        }
        tail["moreWarnings"] = unshown;
        out_ << (listed_ ? "\n  ],\n" : "],\n");
        // The tail object's members, one a line, without its braces.
        const std::string body = tail.dump(2);
        out_ << body.substr(2, body.size() - 3) << "}\n";
    }
    const VkpCounts& counts() const { return counts_; }

  private:
    std::ostream& out_;
    bool json_;
    VkpCounts counts_;
    int listed_ = 0;
};

void RunCheck(const CheckOptions& o, CliIo& io) {
    const Bytes image = ReadWholeFile(o.image, kImageBufferSize);
    const ImageKind kind = DecideKind(o.image, image.size());
    const InputFile patch(o.patch, kVkpTextLimit);
    std::string piece;

    // First pass: the whole text reads, and whether it is in the image already.
    bool inPlace = false;
    std::vector<VkpWarning> warnings;
    std::size_t unshown = 0;
    {
        VkpSource source(PullVkpText(patch, piece));
        VkpInPlaceJudge judge(kind, image);
        VkpRecord record;
        int records = 0;
        auto keep = [&] {
            for (VkpWarning& w : source.TakeWarnings()) {
                if (warnings.size() < kWarningsShown) {
                    warnings.push_back(std::move(w));
                } else {
                    ++unshown;
                }
            }
        };
        while (source.Next(record)) {
            judge.Add(record);
            ++records;
            keep();
        }
        keep();
        if (!source.ok()) {
            throw CliFailure(o.patch + ": " + source.error());
        }
        if (records == 0) {
            throw CliFailure(o.patch + " holds no records");
        }
        inPlace = judge.Passes();
    }
    for (const VkpWarning& w : warnings) {
        io.err << "carillon-cli: " << o.patch << ": line " << w.line << ": warning: " << w.text
               << '\n';
    }
    if (unshown > 0) {
        io.err << "carillon-cli: " << o.patch << ": and " << unshown << " more warnings\n";
    }

    // Second pass: each record's verdict, in order.
    Report report(io.out, o.json);
    {
        VkpSource source(PullVkpText(patch, piece));
        Bytes copy;
        std::unique_ptr<VkpJudge> judge;
        if (!inPlace) {
            copy = image;
            judge = std::make_unique<VkpJudge>(kind, copy);
        }
        VkpRecord record;
        while (source.Next(record)) {
            report.Record(inPlace ? InPlaceCheck(record, kind) : judge->Judge(record));
            source.TakeWarnings();  // shown after the first pass
        }
        if (!source.ok()) {  // the file changed between the passes
            throw CliFailure(o.patch + ": " + source.error());
        }
    }
    report.End(warnings, unshown);
    io.exitCode = inPlace || report.counts().PassesInOrder() ? 0 : 1;
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

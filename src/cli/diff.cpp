// SPDX-License-Identifier: GPL-3.0-or-later
// carillon-cli diff OLD NEW --vkp FILE [--title TEXT] [--force]: a ".vkp" patch whose records
// turn OLD into NEW (two images of one kind and one length). The written patch is read back and
// replayed onto OLD before it is installed: it must give NEW byte for byte.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "vkp/apply.h"
#include "vkp/diff.h"
#include "vkp/reader.h"

namespace carillon::cli {
namespace {

struct DiffOptions {
    std::string oldImage;
    std::string newImage;
    std::string vkp;
    std::string title;
    bool force = false;
};

// Empty when `written`, read as a stream and judged record by record onto `oldImage`, gives
// `newImage` with every record applying in order; else why not.
Message ReplaysToNew(std::span<const std::uint8_t> written, ImageKind kind, const Bytes& oldImage,
                     const Bytes& newImage) {
    VkpSource source(
        std::string_view(reinterpret_cast<const char*>(written.data()), written.size()));
    Bytes image = oldImage;
    VkpJudge judge(kind, image, JudgeDirection::Apply, false);
    VkpRecord record;
    while (source.Next(record)) {
        const RecordCheck c = judge.Judge(record);
        if (c.status != RecordStatus::Applies && c.status != RecordStatus::Both) {
            return RecordVerdict(c);
        }
    }
    if (!source.ok()) {
        return source.errorMessage();
    }
    if (image != newImage) {
        return Message(MessageId::DiffDoesNotGiveNew);
    }
    return {};
}

void RunDiff(const DiffOptions& o, CliIo& io) {
    // One snapshot of each image: read once, and still held by the files once the patch is
    // built.
    const InputFile oldFile(o.oldImage, kImageBufferSize);
    const InputFile newFile(o.newImage, kImageBufferSize);
    const Bytes oldImage = oldFile.ReadAll();
    const Bytes newImage = newFile.ReadAll();
    const ImageKind kind = DecideKind(o.oldImage, oldImage.size());
    const ImageKind newKind = DecideKind(o.newImage, newImage.size());
    if (kind != newKind) {
        throw CliFailure(
            English(Message(MessageId::DiffKindsDiffer,
                            {Message::Arg(o.oldImage), Message::Arg(KindMessage(kind)),
                             Message::Arg(o.newImage), Message::Arg(KindMessage(newKind))})));
    }
    if (oldImage.size() != newImage.size()) {
        throw CliFailure(English(
            Message(MessageId::DiffLengthsDiffer,
                    {Message::Arg(o.oldImage), Message::Arg(std::to_string(oldImage.size())),
                     Message::Arg(o.newImage), Message::Arg(std::to_string(newImage.size()))})));
    }
    const ImageDiff diff =
        DiffImages(kind, oldImage, newImage,
                   {o.title, FinalPathComponent(o.oldImage), FinalPathComponent(o.newImage)});
    if (diff.changed == 0) {
        throw CliFailure(English(
            Message(MessageId::DiffEqual, {Message::Arg(o.oldImage), Message::Arg(o.newImage)})));
    }
    if (diff.text.size() > kVkpTextLimit) {
        throw CliFailure(English(
            Message(MessageId::DiffTooLong, {Message::Arg(std::to_string(diff.text.size())),
                                             Message::Arg(std::to_string(kVkpTextLimit))})));
    }
    oldFile.ConfirmUnchanged(oldImage);
    newFile.ConfirmUnchanged(newImage);
    OutputRules rules =
        JobOutputRules(o.force ? Existing::Replace : Existing::Refuse, {o.oldImage, o.newImage});
    rules.Protect(oldFile);
    rules.Protect(newFile);
    WriteOutputFile(o.vkp, diff.text, rules, [&](std::span<const std::uint8_t> written) {
        return ReplaysToNew(written, kind, oldImage, newImage);
    });
    io.out << "Wrote " << EscapeForTerminal(o.vkp) << " (verified): " << diff.lines << " records, "
           << diff.changed << " bytes changed\n";
}

}  // namespace

void AddDiffCommand(CLI::App& app, CliIo& io) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* cmd = app.add_subcommand(
        "diff", "Write a V_KLay patch that turns one image into another of its kind and length");
    cmd->add_option("OLD", options->oldImage, "The image the patch applies to")->required();
    cmd->add_option("NEW", options->newImage, "The image the patch gives")->required();
    cmd->add_option("--vkp", options->vkp, "The .vkp file to write")->required()->check(NonEmpty());
    cmd->add_option("--title", options->title, "A line for the patch's header comment");
    cmd->add_flag("--force", options->force, "Replace FILE if it exists");
    cmd->callback([options, &io] { RunDiff(*options, io); });
}

}  // namespace carillon::cli

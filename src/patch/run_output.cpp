// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/run_output.h"

#include <map>

#include "core/file_io.h"
#include "core/output_commit.h"

namespace carillon {

MessageLines PatchedImageQuestionFor(bool directMode, bool anySlotChosen,
                                     const std::string& patchedImagePath) {
    if (!directMode || !anySlotChosen || !FileExists(patchedImagePath)) {
        return {};
    }
    return PatchedImageQuestion(patchedImagePath);
}

Message PatchNameRefusalMessage(std::string_view typed, std::string_view folder) {
    const std::string_view name = TrimBlanks(typed);
    const bool separator = name.find_first_of("/\\") != std::string_view::npos;
    if (!separator && name != "." && name != "..") {
        return {};
    }
    return Message(MessageId::PatchNameNotPlain,
                   {Message::Arg(std::string(name)), Message::Arg(std::string(folder))});
}

std::string PatchNameRefusal(std::string_view name, std::string_view folder) {
    return English(PatchNameRefusalMessage(name, folder));
}

std::string PerSlotPatchPath(std::string_view folder, std::string_view baseName,
                             const std::optional<DateTimeTexts>& stamp) {
    return JoinPath(folder, PerSlotBaseName(baseName, stamp)) + ".vkp";
}

Message SharedPatchFileMessage(const std::vector<PlannedPatchFile>& files) {
    std::map<std::string, const PlannedPatchFile*> seen;
    for (const PlannedPatchFile& file : files) {
        const auto [at, fresh] = seen.emplace(file.path, &file);
        if (fresh) {
            continue;
        }
        const PlannedPatchFile& first = *at->second;
        return Message(MessageId::SharedPatchFile,
                       {Message::Arg(first.caption), Message::Arg(std::to_string(first.slot)),
                        Message::Arg(file.caption), Message::Arg(std::to_string(file.slot)),
                        Message::Arg(file.path)});
    }
    return {};
}

std::string SharedPatchFileText(const std::vector<PlannedPatchFile>& files) {
    return English(SharedPatchFileMessage(files));
}

Message UnwrittenNameLine(std::string_view newName, std::string_view slotName, bool fileChosen) {
    return Message(
        fileChosen ? MessageId::NameNotWrittenUnchecked : MessageId::NameNotWrittenNoFile,
        {Message::Arg(std::string(newName)), Message::Arg(std::string(slotName))});
}

void WritePatchedImage(const std::string& patchedImagePath, const std::string& openedImagePath,
                       ByteView workingImage, const std::vector<std::string>& replacementFiles) {
    // Without a backup the patched image replaces the opened file, as the user chose; any other
    // target that is the opened image, or a replacement file, is refused.
    std::vector<std::string> inputs;
    if (patchedImagePath != openedImagePath) {
        inputs.push_back(openedImagePath);
    }
    for (const std::string& file : replacementFiles) {
        if (!file.empty()) {
            inputs.push_back(file);
        }
    }
    // An existing patched image was asked about before the run.
    WriteOutputFile(patchedImagePath, workingImage.data(), workingImage.size(),
                    JobOutputRules(Existing::Replace, inputs));
}

}  // namespace carillon

#include "patch/run_output.h"

#include <map>

#include "core/file_io.h"
#include "core/output_commit.h"

namespace carillon {

std::string PatchedImageQuestionFor(bool directMode, bool anySlotChosen,
                                    const std::string& patchedImagePath) {
    if (!directMode || !anySlotChosen || !FileExists(patchedImagePath)) {
        return {};
    }
    return PatchedImageQuestion(patchedImagePath);
}

std::string PatchNameRefusal(std::string_view name, std::string_view folder) {
    const bool separator = name.find_first_of("/\\") != std::string_view::npos;
    if (!separator && name != "." && name != "..") {
        return {};
    }
    std::string text = "The patch name \"";
    text.append(name).append("\" is not a plain file name; patches are written into ");
    text.append(folder).append(". Give a name without \"/\" or \"\\\".");
    return text;
}

std::string PerSlotPatchPath(std::string_view folder, std::string_view baseName,
                             const std::optional<DateTimeTexts>& stamp) {
    return JoinPath(folder, PerSlotBaseName(baseName, stamp)) + ".vkp";
}

std::string SharedPatchFileText(const std::vector<PlannedPatchFile>& files) {
    std::map<std::string, const PlannedPatchFile*> seen;
    for (const PlannedPatchFile& file : files) {
        const auto [at, fresh] = seen.emplace(file.path, &file);
        if (fresh) {
            continue;
        }
        const PlannedPatchFile& first = *at->second;
        std::string text = "\"";
        text.append(first.caption).append("\" (slot ").append(std::to_string(first.slot));
        text.append(") and \"").append(file.caption).append("\" (slot ");
        text.append(std::to_string(file.slot)).append(") would both write ").append(file.path);
        text.append("; give one of them another name. Nothing was written.");
        return text;
    }
    return {};
}

std::string UnwrittenNameLine(std::string_view newName, std::string_view slotName,
                              bool fileChosen) {
    std::string line = "Name \"";
    line.append(newName).append("\" not written: \"").append(slotName).append("\" ");
    line.append(fileChosen ? "is not checked" : "has no file chosen");
    return line;
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

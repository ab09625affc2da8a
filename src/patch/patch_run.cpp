#include "patch/patch_run.h"

#include <algorithm>

#include "core/file_io.h"
#include "core/slots.h"
#include "patch/patch_request.h"

namespace carillon {
namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

}  // namespace

bool IsTimestampUnsafe(char c) {
    switch (c) {
        case ':':
        case '.':
        case '/':
        case '\\':
            return true;
#ifdef _WIN32
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
#endif
        default:
            // Control characters cannot stand in a file name either.
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    }
}

std::string TimestampSuffix(const DateTimeTexts& now) {
    std::string suffix = "__" + now.date + "__" + now.time;
    std::replace_if(suffix.begin(), suffix.end(), IsTimestampUnsafe, '-');
    return suffix;
}

std::string PerSlotBaseName(std::string_view patchName, const std::optional<DateTimeTexts>& stamp) {
    std::string name(patchName);
    if (stamp) {
        name += TimestampSuffix(*stamp);
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == ':' || c == '.'; }, '-');
    }
    return name;
}

std::string CaptionFileName(std::string_view caption) {
    std::string name;
    name.reserve(caption.size());
    for (const char c : caption) {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7F || c == ' ' || c == '/' || c == '\\';
        name += unsafe ? '_' : c;
    }
    return name;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && !IsSeparator(path.back())) {
        path += '/';
    }
    path += name;
    return path;
}

std::string PatchedImagePathFor(std::string_view imagePath, ImageKind kind,
                                std::string_view suffix) {
    std::string path(imagePath);
    std::size_t componentStart = 0;
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            componentStart = i;
            break;
        }
    }
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot >= componentStart) {
        path.erase(dot);
    }
    path += "__patched";
    path += suffix;
    path += kind == ImageKind::EepromEep ? ".eep" : ".bin";
    return path;
}

RunNames NameRun(std::string_view patchName, std::string_view imagePath, ImageKind kind,
                 bool createBackup, std::string_view openedFile,
                 const std::optional<DateTimeTexts>& stamp) {
    const std::string suffix = stamp ? TimestampSuffix(*stamp) : std::string();
    RunNames names;
    names.patchBaseName = std::string(patchName) + suffix;
    names.patchedImagePath =
        createBackup ? PatchedImagePathFor(imagePath, kind, suffix) : std::string(openedFile);
    return names;
}

std::string PatchedImageQuestion(std::string_view patchedImagePath) {
    return "File \"" + std::string(patchedImagePath) + "\" already exist!\r\nReplace it?";
}

std::string FailureSlotName(int row, std::string_view stockName, std::string_view caption) {
    return std::string(IsStandardMelodyRow(row) ? stockName : caption);
}

std::string FailureLine(std::string_view slotName, std::string_view replacementPath,
                        std::string_view reason) {
    std::string line = "\"";  // appended piece by piece: gcc 12 at -O3 warns on the + chain
    line.append(slotName).append("\" to \"");
    line.append(FinalPathComponent(std::string(replacementPath)));
    line.append("\"  (ERROR: ").append(reason).append(")\r\n");
    return line;
}

void RunSummary::AddSuccess(std::string_view resultText, bool singlePatch) {
    if (!singlePatch || !anySuccess_) {
        created_ += resultText;
        created_ += "\r\n";
    }
    anySuccess_ = true;
}

void RunSummary::AddFailure(std::string_view slotName, std::string_view replacementPath,
                            std::string_view reason) {
    failed_ += FailureLine(slotName, replacementPath, reason);
}

std::string RunSummary::VKlayText() const {
    std::string text = "Done!\r\n\r\nPatches Created: ";
    text += created_.empty() ? "None\r\n" : "\r\n" + created_;
    if (!failed_.empty()) {
        text += "\r\nPatches not created:\r\n" + failed_;
    }
    return text;
}

std::string DirectDoneText(std::string_view patchedImagePath) {
    return "Done!\r\n\r\nFiles patched: \r\n" + std::string(patchedImagePath);
}

}  // namespace carillon

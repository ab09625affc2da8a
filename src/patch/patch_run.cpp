// SPDX-License-Identifier: GPL-3.0-or-later
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

std::string_view TrimBlanks(std::string_view name) {
    const std::size_t begin = name.find_first_not_of(' ');
    if (begin == std::string_view::npos) {
        return {};
    }
    return name.substr(begin, name.find_last_not_of(' ') - begin + 1);
}

std::string PerSlotBaseName(std::string_view patchName, const std::optional<DateTimeTexts>& stamp) {
    std::string name(TrimBlanks(patchName));
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
    names.patchBaseName = std::string(TrimBlanks(patchName)) + suffix;
    names.patchedImagePath =
        createBackup ? PatchedImagePathFor(imagePath, kind, suffix) : std::string(openedFile);
    return names;
}

MessageLines PatchedImageQuestion(std::string_view patchedImagePath) {
    return {Message(MessageId::FileAlreadyExists, {Message::Arg(std::string(patchedImagePath))}),
            Message(MessageId::ReplaceIt)};
}

MessageLines RunAbortedText() {
    return {Message(MessageId::PatchesCreated, {Message::Arg(Message(MessageId::None))}),
            Message::Text(""), Message(MessageId::AbortedByUser)};
}

std::string FailureSlotName(int row, std::string_view stockName, std::string_view caption) {
    return std::string(IsStandardMelodyRow(row) ? stockName : caption);
}

Message FailureLine(std::string_view slotName, std::string_view replacementPath, Message reason) {
    return Message(MessageId::FailureLine,
                   {Message::Arg(std::string(slotName)),
                    Message::Arg(FinalPathComponent(std::string(replacementPath))),
                    Message::Arg(std::move(reason))});
}

void RunSummary::AddSuccess(std::string_view resultText, bool singlePatch) {
    if (!singlePatch || !anySuccess_) {
        created_.push_back(Message::Text(std::string(resultText)));
    }
    anySuccess_ = true;
}

void RunSummary::AddFailure(std::string_view slotName, std::string_view replacementPath,
                            Message reason) {
    failed_.push_back(FailureLine(slotName, replacementPath, std::move(reason)));
}

MessageLines RunSummary::VKlayLines() const {
    MessageLines lines = {Message(MessageId::Done), Message::Text("")};
    if (created_.empty()) {
        lines.push_back(
            Message(MessageId::PatchesCreatedSingle, {Message::Arg(Message(MessageId::None))}));
    } else {
        // The heading keeps its blank; the files follow on lines of their own.
        lines.push_back(Message(MessageId::PatchesCreatedSingle, {Message::Arg("")}));
        lines.insert(lines.end(), created_.begin(), created_.end());
    }
    if (!failed_.empty()) {
        lines.push_back(Message::Text(""));
        lines.push_back(Message(MessageId::PatchesNotCreated));
        lines.insert(lines.end(), failed_.begin(), failed_.end());
    }
    lines.push_back(Message::Text(""));
    return lines;
}

MessageLines DirectDoneLines(std::string_view patchedImagePath) {
    return {Message(MessageId::Done), Message::Text(""),
            Message(MessageId::FilesPatched, {Message::Arg("")}),
            Message::Text(std::string(patchedImagePath))};
}

}  // namespace carillon

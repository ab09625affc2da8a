// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/patch_request.h"

#include "search/partial_image.h"
#include "search/slot_search.h"

namespace carillon {

std::optional<std::string> ParseStoredName(ByteView bytes) {
    if (bytes.size() != kNameLength) {
        return std::nullopt;
    }
    std::size_t end = 0;  // one past the last name character
    while (end < bytes.size() && bytes[end] != 0 && IsNameCharacter(bytes[end])) {
        ++end;
    }
    for (std::size_t i = end; i < bytes.size(); ++i) {
        if (bytes[i] != 0 && bytes[i] != ' ') {
            return std::nullopt;
        }
    }
    while (end > 0 && bytes[end - 1] == ' ') {
        --end;
    }
    if (end == 0) {
        return std::nullopt;
    }
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

std::optional<std::string> StoredName(ByteView image, ImageKind kind, int row,
                                      const TMelody& slot) {
    if (!NameMayChange(kind, row) ||
        !InImage(slot.NameAddress, static_cast<std::int64_t>(kNameLength), image.size())) {
        return std::nullopt;
    }
    return ParseStoredName(image.subspan(static_cast<std::size_t>(slot.NameAddress), kNameLength));
}

std::string ShownCaption(int row, const std::optional<std::string>& storedName) {
    return storedName ? *storedName : std::string(SlotDef(SlotOfRow(row)).caption);
}

void EnsureStoredName(PartialImage& image, ImageKind kind, int row, const TMelody& slot) {
    if (NameMayChange(kind, row) &&
        InImage(slot.NameAddress, static_cast<std::int64_t>(kNameLength), image.View().size())) {
        image.Ensure(static_cast<std::uint64_t>(slot.NameAddress), kNameLength);
    }
}

PatchRequest MakePatchRequest(const PatchChoice& choice) {
    PatchRequest request;
    request.imagePath = choice.imagePath;
    request.kind = choice.kind;
    request.row = choice.row;
    request.caption = choice.caption;
    request.slot = choice.slot;
    if (choice.startText.empty() && choice.endText.empty()) {
        const SelectedSlotDisplay fields = ShowSelectedSlot(request.slot);
        request.startText = fields.start;
        request.endText = fields.end;
    } else {
        request.startText = choice.startText;
        request.endText = choice.endText;
    }
    request.replacementPath = choice.replacementPath;
    request.keepName = choice.keepName || !NameWritable(choice.kind, choice.row, choice.nameStored);
    request.windowTitle = choice.windowTitle;
    return request;
}

std::uint64_t CutBytes(std::int64_t capacity, std::uint64_t fileSize) {
    const std::uint64_t holds = capacity > 0 ? static_cast<std::uint64_t>(capacity) : 0;
    return fileSize > holds ? fileSize - holds : 0;
}

std::string CutFacts(std::string_view file, std::int64_t capacity, std::uint64_t fileSize) {
    return English(Message(MessageId::CutFacts,
                           {Message::Arg(std::string(file)), Message::Arg(std::to_string(fileSize)),
                            Message::Arg(std::to_string(capacity))}));
}

Message CutDescription(std::string_view slotName, std::string_view file, std::int64_t capacity,
                       std::uint64_t fileSize) {
    return Message(MessageId::CutDescription,
                   {Message::Arg(std::string(slotName)), Message::Arg(std::string(file)),
                    Message::Arg(std::to_string(fileSize)), Message::Arg(std::to_string(capacity)),
                    Message::Arg(std::to_string(CutBytes(capacity, fileSize)))});
}

MessageLines CutWarningText(const Message& description) {
    return {Message(MessageId::CutWarningHeading), description};
}

MessageLines CutQuestionText(const MessageLines& descriptions) {
    MessageLines lines = {Message(MessageId::CutQuestionHeading)};
    lines.insert(lines.end(), descriptions.begin(), descriptions.end());
    lines.push_back(Message::Text(""));
    lines.push_back(Message(MessageId::CutThemQuestion));
    return lines;
}

Message CutLine(std::string_view slotName, std::int64_t capacity, std::uint64_t fileSize) {
    return Message(MessageId::CutLine,
                   {Message::Arg(std::string(slotName)), Message::Arg(std::to_string(capacity)),
                    Message::Arg(std::to_string(fileSize))});
}

MessageLines WithCutLines(MessageLines text, const MessageLines& cutLines) {
    if (cutLines.empty()) {
        return text;
    }
    // A text that ends in a line end ends in an empty line: the closing lines take its place.
    if (!text.empty() && text.back().empty()) {
        text.pop_back();
    }
    text.insert(text.end(), cutLines.begin(), cutLines.end());
    text.push_back(Message::Text(""));
    return text;
}

}  // namespace carillon

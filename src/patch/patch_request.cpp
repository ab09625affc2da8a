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
    std::string text(file);
    text.append(" has ").append(std::to_string(fileSize));
    text.append(" bytes, the slot holds ").append(std::to_string(capacity));
    return text;
}

std::string CutDescription(std::string_view slotName, std::string_view file, std::int64_t capacity,
                           std::uint64_t fileSize) {
    std::string text = "\"";
    text.append(slotName).append("\": ").append(CutFacts(file, capacity, fileSize));
    text.append(" (").append(std::to_string(CutBytes(capacity, fileSize))).append(" cut)");
    return text;
}

std::string CutWarningText(std::string_view description) {
    std::string text = "This file is larger than its slot; only its first bytes would be written:";
    text.append("\r\n").append(description);
    return text;
}

std::string CutQuestionText(std::string_view descriptions) {
    std::string text =
        "These files are larger than their slots; only their first bytes would be written:";
    text.append("\r\n").append(descriptions).append("\r\nCut them and go on?");
    return text;
}

std::string CutLine(std::string_view slotName, std::int64_t capacity, std::uint64_t fileSize) {
    std::string line = "Cut: \"";
    line.append(slotName).append("\" holds ").append(std::to_string(capacity));
    line.append(" of ").append(std::to_string(fileSize)).append(" bytes");
    return line;
}

std::string WithCutLines(std::string text, std::string_view cutLines) {
    if (cutLines.empty()) {
        return text;
    }
    if (!text.empty() && text.back() != '\n') {
        text += "\r\n";
    }
    text += cutLines;
    return text;
}

}  // namespace carillon

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
    request.keepName =
        choice.keepName || !choice.nameStored || !NameMayChange(choice.kind, choice.row);
    request.windowTitle = choice.windowTitle;
    return request;
}

std::uint64_t CutBytes(std::int64_t capacity, std::uint64_t fileSize) {
    const std::uint64_t holds = capacity > 0 ? static_cast<std::uint64_t>(capacity) : 0;
    return fileSize > holds ? fileSize - holds : 0;
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

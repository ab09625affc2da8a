// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/patch_builder.h"

#include <algorithm>
#include <limits>

#include "core/file_io.h"
#include "core/hex.h"
#include "patch/patch_request.h"

namespace carillon {
namespace {

constexpr std::size_t kBytesPerLine = 16;
constexpr std::string_view kCrLf = "\r\n";

// address + ": " + old bytes + " " + new bytes + CR LF, written straight into `out` (a patch
// holds a line per 16 bytes of every slot, so this is most of the time a patch is built in).
// The address is the low 32 bits in upper-case hexadecimal, at least six digits, as
// FormatAddress writes it.
void AppendPatchLine(std::string& out, std::int64_t address, ByteView oldBytes, ByteView newBytes) {
    const auto value = static_cast<std::uint32_t>(static_cast<std::uint64_t>(address));
    std::size_t digits = 6;
    while (digits < 8 && (value >> (4 * digits)) != 0) {
        ++digits;
    }
    const std::size_t at = out.size();
    out.resize(at + digits + 2 + 2 * oldBytes.size() + 1 + 2 * newBytes.size() + 2);
    char* p = out.data() + at;
    for (std::size_t d = digits; d-- > 0;) {
        *p++ = kUpperHexDigits[(value >> (4 * d)) & 0x0F];
    }
    *p++ = ':';
    *p++ = ' ';
    const auto hex = [&p](ByteView bytes) {
        for (const std::uint8_t b : bytes) {
            *p++ = kUpperHexDigits[b >> 4];
            *p++ = kUpperHexDigits[b & 0x0F];
        }
    };
    hex(oldBytes);
    *p++ = ' ';
    hex(newBytes);
    *p++ = '\r';
    *p = '\n';
}

// The name a slot goes by in messages: the stock name of a standard melody, else the caption.
std::string SlotLabel(const PatchRequest& request) {
    return IsStandardMelodyRow(request.row) ? request.slot.Name : request.caption;
}

// The caption as the 11 bytes of a name text: cut to 11, padded with blanks.
Bytes PaddedCaption(std::string_view caption) {
    Bytes name(kNameLength, ' ');
    std::copy_n(caption.begin(), std::min(caption.size(), kNameLength), name.begin());
    return name;
}

}  // namespace

std::int32_t HexToInt(std::string_view text) {
    std::uint32_t value = 0;
    std::uint32_t weight = 1;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        // A character that is not a hexadecimal digit counts as -1.
        const std::uint32_t digit =
            static_cast<std::uint32_t>(HexDigitValue(static_cast<unsigned char>(*it)));
        value += digit * weight;
        weight *= 16;
    }
    return static_cast<std::int32_t>(value);
}

LayoutResult LayOut(const PatchRequest& request, std::uint64_t imageSize,
                    std::uint64_t replacementSize) {
    PatchLayout layout;
    layout.start = HexToInt(request.startText);
    layout.end = HexToInt(request.endText);
    if (request.kind == ImageKind::EepromBin) {
        layout.start -= kEepromImageBase;
        layout.end -= kEepromImageBase;
    }
    const std::int64_t length = layout.Length();
    const std::int64_t bound =
        static_cast<std::int64_t>(request.slot.EndAddress) - request.slot.Address;
    const std::string label = SlotLabel(request);
    if (length < 0 || bound < 0) {
        return {std::nullopt, Message(MessageId::NegativeCapacity),
                Message(MessageId::ContentAreaBackwards,
                        {Message::Arg(label), Message::Arg(request.startText),
                         Message::Arg(request.endText)})};
    }
    const auto size = static_cast<std::size_t>(imageSize);
    if (!InImage(layout.PrefixOffset(), length + 3, size)) {
        return {std::nullopt, Message(MessageId::SlotOutsideImage),
                Message(MessageId::ContentLeavesImage,
                        {Message::Arg(label), Message::Arg(request.startText),
                         Message::Arg(request.endText), Message::Arg(request.imagePath),
                         Message::Arg(std::to_string(imageSize))})};
    }
    const auto fileSize = static_cast<std::int64_t>(std::min<std::uint64_t>(
        replacementSize, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
    layout.kept = std::min(length, fileSize);
    layout.contentSize = std::min(bound, fileSize);
    layout.nameStep = NameMayChange(request.kind, request.row) && !request.keepName;
    if (layout.nameStep &&
        !InImage(request.slot.NameAddress, static_cast<std::int64_t>(kNameLength), size)) {
        return {
            std::nullopt, Message(MessageId::NameOutsideImage),
            Message(MessageId::NameLeavesImage,
                    {Message::Arg(label), Message::Arg(FormatAddress(request.slot.NameAddress)),
                     Message::Arg(request.imagePath), Message::Arg(std::to_string(imageSize))})};
    }
    return {layout, {}, {}};
}

std::size_t PatchBlockTextBound(std::size_t contentLength) {
    return 512 + (contentLength / kBytesPerLine + 3) * 80;
}

PatchBlock BuildPatchBlock(const PatchRequest& request, const PatchLayout& layout,
                           ByteView oldContent, ByteView oldName, ByteView replacement,
                           std::string* appendTo) {
    const auto length = static_cast<std::size_t>(layout.Length());
    const auto kept = static_cast<std::size_t>(layout.kept);
    PatchBlock block;
    std::string& text = appendTo != nullptr ? *appendTo : block.text;
    if (appendTo == nullptr) {
        text.reserve(PatchBlockTextBound(length));
    }

    text += "; this patch was created by";
    text += kCrLf;
    text += "; ";
    text += request.windowTitle;
    text += "\r\n\r\n\r\n";

    const std::string fileName = CommentSafe(FinalPathComponent(request.replacementPath));
    if (IsStandardMelodyRow(request.row)) {
        text += "; Change standard melody \"" + CommentSafe(request.slot.Name) + "\" to \"" +
                fileName + "\"";
    } else {
        text += "; Change " + CommentSafe(request.caption) + " to \"" + fileName + "\"";
    }
    text += "\r\n\r\n";

    // Prefix line: new content size (little-endian) and the slot's content tag.
    const auto w = static_cast<std::uint64_t>(layout.contentSize);
    const Bytes prefix{static_cast<std::uint8_t>(w & 0xFF),
                       static_cast<std::uint8_t>((w >> 8) & 0xFF),
                       static_cast<std::uint8_t>(request.slot.ContentTag & 0xFF)};
    AppendPatchLine(text, ImageOffsetToFlashOffset(request.kind, layout.PrefixOffset()),
                    oldContent.subspan(0, 3), prefix);
    block.edits.push_back({layout.PrefixOffset(), prefix});
    block.originals.push_back(
        {layout.PrefixOffset(), Bytes(oldContent.begin(), oldContent.begin() + 3)});

    // Data lines: the whole content area, replacement bytes first, then 0xFF.
    Bytes content(length, 0xFF);
    std::copy_n(replacement.begin(), kept, content.begin());
    const ByteView oldArea = oldContent.subspan(3, length);
    for (std::size_t at = 0; at < length; at += kBytesPerLine) {
        const std::size_t n = std::min(kBytesPerLine, length - at);
        AppendPatchLine(
            text,
            ImageOffsetToFlashOffset(request.kind, layout.start + static_cast<std::int64_t>(at)),
            oldArea.subspan(at, n), ByteView(content).subspan(at, n));
    }
    block.edits.push_back({layout.start, std::move(content)});
    block.originals.push_back({layout.start, Bytes(oldArea.begin(), oldArea.end())});

    // Name step: compared with zero bytes read as blanks, written as stored.
    if (layout.nameStep) {
        const Bytes storedName(oldName.begin(), oldName.end());
        Bytes stored = storedName;
        std::replace(stored.begin(), stored.end(), std::uint8_t{0}, std::uint8_t{' '});
        Bytes name = PaddedCaption(request.caption);
        if (stored != name) {
            AppendPatchLine(text, request.slot.NameAddress, oldName, name);
            block.edits.push_back({request.slot.NameAddress, std::move(name)});
            block.originals.push_back({request.slot.NameAddress, storedName});
        }
    }
    return block;
}

BuiltPatch BuildPatchFromBytes(const PatchRequest& request, ByteView image, ByteView replacement) {
    LayoutResult laid = LayOut(request, image.size(), replacement.size());
    if (!laid.layout) {
        return {std::nullopt, std::move(laid.failure), std::move(laid.detail)};
    }
    const PatchLayout& layout = *laid.layout;
    const ByteView oldContent = image.subspan(static_cast<std::size_t>(layout.PrefixOffset()),
                                              static_cast<std::size_t>(layout.Length() + 3));
    const ByteView oldName =
        layout.nameStep
            ? image.subspan(static_cast<std::size_t>(request.slot.NameAddress), kNameLength)
            : ByteView{};
    return {BuildPatchBlock(request, layout, oldContent, oldName, replacement), {}, {}};
}

bool EditsFit(const std::vector<ByteEdit>& edits, std::size_t imageSize) {
    return std::all_of(edits.begin(), edits.end(), [imageSize](const ByteEdit& e) {
        return InImage(e.offset, static_cast<std::int64_t>(e.bytes.size()), imageSize);
    });
}

bool ApplyEdits(const std::vector<ByteEdit>& edits, Bytes& image) {
    if (!EditsFit(edits, image.size())) {
        return false;
    }
    for (const ByteEdit& e : edits) {
        std::copy(e.bytes.begin(), e.bytes.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(e.offset));
    }
    return true;
}

}  // namespace carillon

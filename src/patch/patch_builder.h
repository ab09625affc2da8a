// SPDX-License-Identifier: GPL-3.0-or-later
// The V_KLay patch block of one slot, and the same changes as byte edits of the image copy.
//
// A block rewrites the slot's content prefix (content size, content tag) and its whole content
// area: replacement bytes first, then 0xFF up to the end. For a standard melody of a full flash
// it may also rewrite the melody's 11-byte name text. Every line ends with CR LF; addresses are
// upper-case hexadecimal with at least six digits; old and new bytes are two digits each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "core/message.h"
#include "core/product.h"
#include "core/slots.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon {

// Hexadecimal text of either letter case to a signed 32-bit value. Arithmetic wraps around at
// 32 bits, so only the last eight characters count. A character that is not a hexadecimal
// digit counts as the digit -1 (it subtracts its place weight). The empty text gives 0.
std::int32_t HexToInt(std::string_view text);

// What the builder needs to know about the slot it patches: the selected row and the fields
// the window holds for it at the time of the call.
struct PatchRequest {
    std::string imagePath;  // the opened image file (Edit1)
    ImageKind kind = ImageKind::FullFlash;
    int row = 0;          // selected row of the slot list, 0..17 (slot number - 1)
    std::string caption;  // caption of the selected row (new name of a standard melody)
    // Record `row` of the slot table: Address, EndAddress, Name, NameAddress and ContentTag are
    // read (EndAddress - Address bounds the content size).
    TMelody slot;
    std::string startText;        // Edit6: start of the content area, hexadecimal
    std::string endText;          // Edit7: end of the content area, hexadecimal
    std::string replacementPath;  // the replacement file
    bool keepName = false;        // "Don't change melody name" (CheckBox3)
    std::string windowTitle = std::string(kWindowTitle);
};

struct PatchBlock {
    std::string text;  // the whole block, exactly as it goes into a ".vkp" file
    std::vector<ByteEdit> edits;
    // The bytes the block was built from: the same ranges as `edits`, before the change.
    std::vector<ByteEdit> originals;
};

// Where a block reads and writes, in image offsets. Worked out before any byte is read, so a
// slot that would reach outside the image fails without touching anything.
struct PatchLayout {
    std::int64_t start = 0;        // S: first content byte
    std::int64_t end = 0;          // E: one past the content area
    std::int64_t kept = 0;         // bytes taken from the replacement file: min(L, file size)
    std::int64_t contentSize = 0;  // W: min(EndAddress - Address, file size), the new size
    bool nameStep = false;         // the 11 name bytes at NameAddress are compared (and written)
    std::int64_t Length() const { return end - start; }
    std::int64_t PrefixOffset() const { return start - 3; }
};

// A layout, or why the slot cannot be patched (a short text for the failed list).
struct LayoutResult {
    std::optional<PatchLayout> layout;
    Message failure;  // short reason, empty on success
    Message detail;   // longer explanation for an error box, empty on success
};

// Reasons a slot fails before anything is read or written (the English of their ids).
inline const std::string_view kNegativeCapacity = EnglishPattern(MessageId::NegativeCapacity);
inline const std::string_view kSlotOutsideImage = EnglishPattern(MessageId::SlotOutsideImage);
inline const std::string_view kNameOutsideImage = EnglishPattern(MessageId::NameOutsideImage);
inline const std::string_view kWorkingImageTooShort =
    EnglishPattern(MessageId::WorkingImageTooShort);
// The slot's block overlaps another block or a header table, or leaves its sector.
inline const std::string_view kBlockTableDamaged = EnglishPattern(MessageId::BlockTableDamaged);

// Works out S, E, W and whether the name step applies, and checks that the content prefix,
// the content area and (when needed) the name text lie inside an image of `imageSize` bytes.
LayoutResult LayOut(const PatchRequest& request, std::uint64_t imageSize,
                    std::uint64_t replacementSize);

// The room to reserve for the text of a block whose content area is `contentLength` bytes long:
// its data lines (at most 77 characters for 16 bytes), its name line and its comments. A text
// that needs more (a very long file name in a comment) only makes the string grow.
std::size_t PatchBlockTextBound(std::size_t contentLength);

// Builds the block from the bytes it covers. `oldContent` holds the image bytes S-3 .. E-1
// (prefix and content area), `oldName` the 11 bytes at NameAddress when layout.nameStep (else
// empty), `replacement` at least layout.kept bytes of the replacement file. With `appendTo` the
// text is added to the end of that string instead (a job joining many blocks into one file
// builds them there), and the block's own text stays empty.
PatchBlock BuildPatchBlock(const PatchRequest& request, const PatchLayout& layout,
                           ByteView oldContent, ByteView oldName, ByteView replacement,
                           std::string* appendTo = nullptr);

// The same from a whole image in memory (tests and fuzzing).
struct BuiltPatch {
    std::optional<PatchBlock> block;
    Message failure;  // short reason when there is no block
    Message detail;
};
BuiltPatch BuildPatchFromBytes(const PatchRequest& request, ByteView image, ByteView replacement);

// True when every edit lies inside `image`.
bool EditsFit(const std::vector<ByteEdit>& edits, std::size_t imageSize);
// Makes the edits in `image`; returns false (and changes nothing) when one does not fit.
bool ApplyEdits(const std::vector<ByteEdit>& edits, Bytes& image);

}  // namespace carillon

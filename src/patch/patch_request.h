// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that turns a slot and the user's choices into a PatchRequest, and the rules it
// rests on: which rows are standard melodies, which names may change, what the phone stores as
// a melody name, and when a replacement file is larger than its slot. The window, the command
// line, the tests and the benchmarks all build their requests here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/image.h"
#include "core/message.h"
#include "core/product.h"
#include "core/slots.h"
#include "patch/patch_builder.h"

namespace carillon {

// Rows 0..9 of the slot list are the standard melodies.
constexpr bool IsStandardMelodyRow(int row) {
    return IsStandardMelody(SlotOfRow(row));
}

// A name line can only ever be written for a standard melody of a full flash.
constexpr bool NameMayChange(ImageKind kind, int row) {
    return kind == ImageKind::FullFlash && IsStandardMelodyRow(row);
}

// A name line may be written for the row of an image that stores a name there (`nameStored`,
// see StoredName): its caption may be edited and its new text becomes the melody's name.
constexpr bool NameWritable(ImageKind kind, int row, bool nameStored) {
    return NameMayChange(kind, row) && nameStored;
}

// A standard melody of a full flash whose name bytes are no name: its caption is fixed.
constexpr bool NameFixed(ImageKind kind, int row, bool nameStored) {
    return NameMayChange(kind, row) && !nameStored;
}

// The name held by 11 bytes of a name table: 1 to 11 characters of the name character set,
// then nothing but blanks or zero bytes. Trailing blanks and zero bytes are not part of the
// name. Anything else (erased 0xFF bytes, another firmware's data) is no name.
std::optional<std::string> ParseStoredName(ByteView bytes);

// The stored name of the slot on row `row`: only a standard melody of a full flash has one, and
// only when the 11 bytes at its NameAddress lie inside the image and are a name.
std::optional<std::string> StoredName(ByteView image, ImageKind kind, int row, const TMelody& slot);

// The caption a row shows for an image: the name the image stores (`storedName`, from
// StoredName), else the slot's stock caption.
std::string ShownCaption(int row, const std::optional<std::string>& storedName);

class PartialImage;

// Reads into `image` the bytes StoredName looks at for the row (nothing for a row without a
// stored name, or where those bytes lie outside the file).
void EnsureStoredName(PartialImage& image, ImageKind kind, int row, const TMelody& slot);

// What the user chose for one slot, as the window or the command line holds it.
struct PatchChoice {
    std::string imagePath;  // the opened image file
    ImageKind kind = ImageKind::FullFlash;
    int row = 0;          // 0..17
    TMelody slot;         // the slot record after the last search
    std::string caption;  // row caption: the new name of a standard melody
    std::string replacementPath;
    bool keepName = false;    // "Don't change melody name"
    bool nameStored = false;  // the image holds a stored name for this row (StoredName)
    // The hidden address fields; empty: worked out from the slot record as the selected-slot
    // display does.
    std::string startText;
    std::string endText;
    std::string windowTitle = std::string(kWindowTitle);
};

// The request the builder takes. A name line is possible only where NameMayChange holds and
// the image stores a name there; "keepName" rules it out everywhere else.
PatchRequest MakePatchRequest(const PatchChoice& choice);

// Bytes of a replacement file of `fileSize` bytes that do not fit a slot of `capacity` bytes
// (0 when it fits).
std::uint64_t CutBytes(std::int64_t capacity, std::uint64_t fileSize);

// The one wording of a cut: FILE has 5000 bytes, the slot holds 3400
std::string CutFacts(std::string_view file, std::int64_t capacity, std::uint64_t fileSize);

// A cut before anything is written, for the row `slotName`:
// "Classic 2": big.si3 has 5000 bytes, the slot holds 3400 (1600 cut)
Message CutDescription(std::string_view slotName, std::string_view file, std::int64_t capacity,
                       std::uint64_t fileSize);

// The warning when a file larger than its slot is chosen: a heading line, then the description.
MessageLines CutWarningText(const Message& description);

// The question before a run that would cut files: a heading line, one CutDescription per line,
// an empty line and "Cut them and go on?".
MessageLines CutQuestionText(const MessageLines& descriptions);

// The closing line for a cut slot: Cut: "Classic 2" holds 3400 of 5000 bytes
Message CutLine(std::string_view slotName, std::int64_t capacity, std::uint64_t fileSize);

// `text` with the closing lines (a CutLine per cut slot, ...) after it, each on a line of its
// own, the whole ended by a line end.
MessageLines WithCutLines(MessageLines text, const MessageLines& cutLines);

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// The 18 content slots of the A52 and their fixed identities.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/message.h"

namespace carillon {

// One content slot. Field order and widths follow the phone tool's record;
// Address = -1 is the single "not found" marker that every consumer tests.
struct TMelody {
    std::int32_t Address = 0;      // content offset (flash offset, or .eep file offset)
    std::int32_t EndAddress = 0;   // Address + Capacity, set by the selected-slot display
    std::int32_t Capacity = 0;     // block length - 3
    std::int32_t ContentSize = 0;  // 16-bit content size stored in the block
    std::string Name;              // stock name of a standard melody (<= 11 chars), empty else
    std::int32_t NameAddress = 0;  // flash offset of the 11-byte name text, 0 for user slots
    std::int32_t BlockNumber = 0;  // EEPROM block number holding the content
    std::int32_t ContentTag = 0;   // third content-prefix byte written by the patch builder
    std::uint8_t Found = 0;        // 1 when the last search located the block
    std::string FileName;          // chosen replacement file, empty until chosen
};

inline constexpr int kSlotCount = 18;
inline constexpr int kStandardMelodyCount = 10;
inline constexpr std::int32_t kNotFound = -1;
inline constexpr std::size_t kNameLength = 11;

using SlotTable = std::array<TMelody, kSlotCount>;

// Kind of a slot; also the index of its state image in the slot list.
enum class SlotKind : std::uint8_t {
    StandardMelody = 0,
    UserMelody = 1,
    UserPicture = 2,
    UserAnimation = 3,
};

struct SlotDefinition {
    std::string_view caption;  // list caption, and the stock name for slots 1..10
    SlotKind kind;
    std::int32_t nameAddress;  // 0 for user slots
    std::int32_t blockNumber;
    std::int32_t contentTag;
    std::string_view fileExtension;  // ".si3", ".bmp" or ".bmx"
};

// Definition of slot n (1..18).
const SlotDefinition& SlotDef(int slot);

// Row index in the slot list of slot n, and back.
constexpr int RowOfSlot(int slot) {
    return slot - 1;
}
constexpr int SlotOfRow(int row) {
    return row + 1;
}
constexpr bool IsStandardMelody(int slot) {
    return slot >= 1 && slot <= kStandardMelodyCount;
}
constexpr bool IsUserSlot(int slot) {
    return slot > kStandardMelodyCount && slot <= kSlotCount;
}

// Writes the fixed defaults (Name, NameAddress, BlockNumber, ContentTag). Search
// results and chosen files are left untouched, so running it again is harmless.
void InitialiseSlotTable(SlotTable& slots);

// Caption of the chosen-mark check box of slot n ("melody", "user mel", "pic", "anim").
std::string_view ChosenMarkCaption(int slot);

// File dialog filter for the replacement file of slot n ("Melodies (*.si3)|*.si3", ...).
Message SlotFileFilterMessage(int slot);
std::string_view SlotFileFilter(int slot);

}  // namespace carillon

namespace carillon {

// The 72 characters a melody name may hold: letters, digits, "_-^!#()[]" and the blank.
bool IsNameCharacter(char32_t c);

// Cleans a new melody name given as UTF-8: every character outside the name set becomes
// one "_" (a letter with a diacritic is one character whether it arrives precomposed or as
// a letter followed by combining marks; an invalid byte is one character), then the text is
// cut to its first 11 characters. The result is plain ASCII.
std::string CleanMelodyName(std::string_view utf8);

// A new melody name as typed (UTF-8): the cleaned name (CleanMelodyName), or nothing when it is
// empty or only blanks. The phone stores no such name, so the slot would lose its name and could
// not be renamed again; both front ends refuse it.
std::optional<std::string> NewMelodyName(std::string_view typed);

}  // namespace carillon

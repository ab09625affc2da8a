// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/slots.h"

#include <stdexcept>

namespace carillon {
namespace {

// Standard melody n has block 284 + n and its name entry at 0xF2ABE + 38 * (n - 1);
// user slot n has block 5375 + n.
constexpr std::array<SlotDefinition, kSlotCount> kSlots{{
    {"Classic 1", SlotKind::StandardMelody, 0xF2ABE, 285, 33, ".si3"},
    {"Classic 2", SlotKind::StandardMelody, 0xF2AE4, 286, 33, ".si3"},
    {"Pop 1", SlotKind::StandardMelody, 0xF2B0A, 287, 33, ".si3"},
    {"Pop 2", SlotKind::StandardMelody, 0xF2B30, 288, 33, ".si3"},
    {"Pop 3", SlotKind::StandardMelody, 0xF2B56, 289, 33, ".si3"},
    {"SiemenSwing", SlotKind::StandardMelody, 0xF2B7C, 290, 33, ".si3"},
    {"Tango", SlotKind::StandardMelody, 0xF2BA2, 291, 33, ".si3"},
    {"Folklore 1", SlotKind::StandardMelody, 0xF2BC8, 292, 33, ".si3"},
    {"Folklore 2", SlotKind::StandardMelody, 0xF2BEE, 293, 33, ".si3"},
    {"Folklore 3", SlotKind::StandardMelody, 0xF2C14, 294, 33, ".si3"},
    {"User Melody 1", SlotKind::UserMelody, 0, 5386, 32, ".si3"},
    {"User Melody 2", SlotKind::UserMelody, 0, 5387, 32, ".si3"},
    {"User Melody 3", SlotKind::UserMelody, 0, 5388, 32, ".si3"},
    {"User Melody 4", SlotKind::UserMelody, 0, 5389, 32, ".si3"},
    {"User Picture 1", SlotKind::UserPicture, 0, 5390, 32, ".bmp"},
    {"User Picture 2", SlotKind::UserPicture, 0, 5391, 32, ".bmp"},
    {"User Animation 1", SlotKind::UserAnimation, 0, 5392, 32, ".bmx"},
    {"User Animation 2", SlotKind::UserAnimation, 0, 5393, 32, ".bmx"},
}};

}  // namespace

const SlotDefinition& SlotDef(int slot) {
    if (slot < 1 || slot > kSlotCount) {
        throw std::out_of_range("slot number out of range: " + std::to_string(slot));
    }
    return kSlots[static_cast<std::size_t>(slot - 1)];
}

void InitialiseSlotTable(SlotTable& slots) {
    for (int n = 1; n <= kSlotCount; ++n) {
        const SlotDefinition& def = SlotDef(n);
        TMelody& m = slots[static_cast<std::size_t>(RowOfSlot(n))];
        if (IsStandardMelody(n)) {
            m.Name = std::string(def.caption);
            m.NameAddress = def.nameAddress;
        }
        m.BlockNumber = def.blockNumber;
        m.ContentTag = def.contentTag;
    }
}

std::string_view ChosenMarkCaption(int slot) {
    switch (SlotDef(slot).kind) {
        case SlotKind::StandardMelody:
            return "melody";
        case SlotKind::UserMelody:
            return "user mel";
        case SlotKind::UserPicture:
            return "pic";
        case SlotKind::UserAnimation:
            return "anim";
    }
    return "";
}

Message SlotFileFilterMessage(int slot) {
    switch (SlotDef(slot).kind) {
        case SlotKind::StandardMelody:
        case SlotKind::UserMelody:
            return Message(MessageId::FilterMelodies);
        case SlotKind::UserPicture:
            return Message(MessageId::FilterPictures);
        case SlotKind::UserAnimation:
            return Message(MessageId::FilterAnimations);
    }
    return {};
}

std::string_view SlotFileFilter(int slot) {
    const Message m = SlotFileFilterMessage(slot);
    return m.empty() ? std::string_view() : EnglishPattern(m.id());
}

}  // namespace carillon

namespace carillon {
namespace {

bool IsCombiningMark(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F);
}

// Decodes one UTF-8 sequence at `i`; an invalid or cut sequence yields U+FFFD for one byte.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t c = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        c = b0 & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return c;
}

}  // namespace

bool IsNameCharacter(char32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return c == '_' || c == '-' || c == '^' || c == '!' || c == '#' || c == '(' || c == ')' ||
           c == '[' || c == ']' || c == ' ';
}

std::string CleanMelodyName(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        if (IsCombiningMark(c)) {
            // The mark belongs to the character before it: that character is not plain.
            if (out.empty()) {
                out += '_';
            } else {
                out.back() = '_';
            }
            continue;
        }
        out += IsNameCharacter(c) ? static_cast<char>(c) : '_';
    }
    if (out.size() > kNameLength) {
        out.resize(kNameLength);
    }
    return out;
}

std::optional<std::string> NewMelodyName(std::string_view typed) {
    std::string name = CleanMelodyName(typed);
    if (name.find_first_not_of(' ') == std::string::npos) {
        return std::nullopt;
    }
    return name;
}

}  // namespace carillon

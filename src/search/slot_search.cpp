// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/slot_search.h"

#include <vector>

#include "search/block_header.h"

namespace carillon {
namespace {

constexpr std::uint16_t kEmptyContent = 0xFFFF;
constexpr std::int64_t kEepFirstRecord = 8;
constexpr std::int64_t kEepRecordHeaderSize = 12;
// Content offset = block data + 3 (two content-size bytes and the content tag).
constexpr std::int64_t kContentPrefixSize = 3;

TMelody& SlotAt(SlotTable& slots, int slot) {
    return slots[static_cast<std::size_t>(RowOfSlot(slot))];
}

void MarkFound(SlotRow& row, const TMelody& m, bool emptyRule) {
    row.found = true;
    row.size = SizeText(m.ContentSize, emptyRule);
    row.max = Message::Text(std::to_string(m.Capacity));
    row.address = Message::Text(FormatAddress(m.Address));
}

void MarkNotFound(SlotRow& row, TMelody& m) {
    row.found = false;
    row.size = row.max = row.address = Message(MessageId::NotApplicable);
    row.dropChoice = true;
    m.Address = kNotFound;
}

// One header table for several slots, walked once. A valid entry whose content-size bytes
// lie outside the image cannot be used and is passed over like a stale one, so an earlier
// match stands; otherwise the last valid entry carrying a slot's block number wins.
void ScanTable(ByteView image, ImageKind kind, Sector sector, const std::vector<int>& wanted,
               SlotTable& slots, std::array<bool, kSlotCount>& found) {
    WalkHeaderTable(image, SectorEnd(kind, sector), [&](const BlockHeader& h, std::int64_t) {
        if (h.status != kStatusValid) {
            return;
        }
        for (const int n : wanted) {
            TMelody& m = SlotAt(slots, n);
            if (h.number != static_cast<std::uint32_t>(m.BlockNumber)) {
                continue;
            }
            const std::int64_t data = PhoneAddressToImageOffset(kind, h.address);
            if (!InImage(data, 2, image.size())) {
                continue;
            }
            found[static_cast<std::size_t>(RowOfSlot(n))] = true;
            m.Address = static_cast<std::int32_t>(ImageOffsetToFlashOffset(kind, data) +
                                                  kContentPrefixSize);
            m.Capacity =
                static_cast<std::int32_t>(h.length) - static_cast<std::int32_t>(kContentPrefixSize);
            m.ContentSize = ReadU16(image, static_cast<std::size_t>(data));
        }
    });
}

// One pass: the table of `sector` for the slots in `wanted`, then each slot's row update.
void ScanPass(ByteView image, ImageKind kind, Sector sector, const std::vector<int>& wanted,
              SlotTable& slots, SlotRows& rows) {
    std::array<bool, kSlotCount> found{};
    ScanTable(image, kind, sector, wanted, slots, found);
    for (const int n : wanted) {
        TMelody& m = SlotAt(slots, n);
        SlotRow& row = rows[static_cast<std::size_t>(RowOfSlot(n))];
        if (found[static_cast<std::size_t>(RowOfSlot(n))]) {
            m.Found = 1;
            MarkFound(row, m, IsUserSlot(n));
        } else {
            MarkNotFound(row, m);
        }
    }
}

}  // namespace

Message SizeText(std::int32_t contentSize, bool emptyRule) {
    if (emptyRule && (contentSize == 0 || contentSize == kEmptyContent)) {
        return Message(MessageId::Empty);
    }
    return Message::Text(std::to_string(contentSize));
}

SlotRows SearchFullFlash(ByteView image, ImageKind kind, SlotTable& slots) {
    SlotRows rows{};
    for (TMelody& m : slots) {
        m.Found = 0;
    }
    std::vector<int> standard, user, missing;
    for (int n = 1; n <= kSlotCount; ++n) {
        (IsStandardMelody(n) ? standard : user).push_back(n);
    }
    ScanPass(image, kind, Sector::A, standard, slots, rows);
    ScanPass(image, kind, Sector::B, user, slots, rows);
    for (const int n : user) {
        if (SlotAt(slots, n).Found == 0) {
            missing.push_back(n);
        }
    }
    ScanPass(image, kind, Sector::C, missing, slots, rows);
    return rows;
}

SlotRows SearchEep(ByteView image, SlotTable& slots) {
    SlotRows rows{};
    for (TMelody& m : slots) {
        m.Found = 0;
    }
    const auto size = static_cast<std::int64_t>(image.size());
    for (int n = 1; n <= kSlotCount; ++n) {
        TMelody& m = SlotAt(slots, n);
        bool found = false;
        // A record whose header or content-size bytes do not fit in the file ends the walk.
        for (std::int64_t r = kEepFirstRecord; r < size;) {
            if (!InImage(r, kEepRecordHeaderSize + 2, image.size())) {
                break;
            }
            const auto at = static_cast<std::size_t>(r);
            const std::uint16_t number = ReadU16(image, at);
            const std::uint16_t length = ReadU16(image, at + 4);
            if (number == static_cast<std::uint32_t>(m.BlockNumber)) {
                found = true;
                m.Address =
                    static_cast<std::int32_t>(r + kEepRecordHeaderSize + kContentPrefixSize);
                m.Capacity = static_cast<std::int32_t>(length) -
                             static_cast<std::int32_t>(kContentPrefixSize);
                m.ContentSize = ReadU16(image, at + kEepRecordHeaderSize);
            }
            r += kEepRecordHeaderSize + length;
        }
        SlotRow& row = rows[static_cast<std::size_t>(RowOfSlot(n))];
        if (found) {
            m.Found = 1;
            MarkFound(row, m, true);
        } else {
            MarkNotFound(row, m);
        }
    }
    return rows;
}

SlotRows SearchSlots(ByteView image, ImageKind kind, SlotTable& slots) {
    return kind == ImageKind::EepromEep ? SearchEep(image, slots)
                                        : SearchFullFlash(image, kind, slots);
}

SelectedSlotDisplay ShowSelectedSlot(TMelody& slot) {
    slot.EndAddress = slot.Address + slot.Capacity;
    if (slot.Address == kNotFound) {
        return {"??????", "??????", false};
    }
    return {FormatAddress(slot.Address), FormatAddress(slot.EndAddress), true};
}

}  // namespace carillon

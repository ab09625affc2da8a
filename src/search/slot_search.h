// SPDX-License-Identifier: GPL-3.0-or-later
// The two slot searches and the selected-slot display.
#pragma once

#include <array>
#include <string>

#include "core/image.h"
#include "core/slots.h"

namespace carillon {

// What a search leaves in one row of the slot list and its per-slot controls.
struct SlotRow {
    bool found = false;
    Message size;     // "Size" cell: decimal, "empty", or "n/a"
    Message max;      // "Max" cell: decimal or "n/a"
    Message address;  // "Address" cell: FormatAddress(Address) or "n/a"
    // True when the row got the not-found update at some point of this search: the
    // "Filename" cell was emptied and the chosen mark disabled, hidden and unchecked. A user
    // slot missing in sector B but found in sector C is found and still has this set.
    bool dropChoice = false;
};

using SlotRows = std::array<SlotRow, kSlotCount>;

// Searches a full flash (kind 0) or an EEPROM ".bin" (kind 1). Clears every Found, then:
// sector A for slots 1..10, sector B for 11..18, sector C for 11..18 not found in B.
// In each table the last valid entry (status 0xFC) carrying the slot's block number wins.
// Fills Address, Capacity, ContentSize and Found; a slot not found gets Address = -1 and
// keeps its earlier Capacity and ContentSize.
SlotRows SearchFullFlash(ByteView image, ImageKind kind, SlotTable& slots);

// Searches an ".eep" image: records from offset 8 (block number at +0, length L at +4, L data
// bytes from +12), every record counting, the last match winning. Address = record + 15.
SlotRows SearchEep(ByteView image, SlotTable& slots);

// Runs the search that fits the kind.
SlotRows SearchSlots(ByteView image, ImageKind kind, SlotTable& slots);

// The selected-slot display: what Edit6 and Edit7 show for the selected slot.
struct SelectedSlotDisplay {
    std::string start;  // FormatAddress(Address) or "??????"
    std::string end;    // FormatAddress(EndAddress) or "??????"
    bool enabled = false;
};

// Sets EndAddress = Address + Capacity of `slot` and returns the texts of the two fields.
SelectedSlotDisplay ShowSelectedSlot(TMelody& slot);

// "Size" cell of a found slot: the number, or "empty" for 0 and 0xFFFF when `emptyRule`.
Message SizeText(std::int32_t contentSize, bool emptyRule);

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a found slot's block may be written or exported: a damaged header table can point
// two blocks at the same bytes, a block into a header table, or a block out of its sector. The
// searches still find such a slot; nothing may write into it or save from it.
//
// A table's current blocks are, for each block number, the entry the searches would use (the
// last valid entry with that number whose content-size bytes lie in the image). A table's area
// runs from the sector end down to and including its 0xFF end entry. A block holds exactly its
// bytes, [data, data + length): an empty one holds none and overlaps nothing. Writing a slot
// writes its 3-byte prefix whatever its length says, so a slot's block claims at least that.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/message.h"
#include "core/slots.h"
#include "search/block_header.h"

namespace carillon {

// One current block of a header table, in image offsets.
struct CurrentBlock {
    Sector sector = Sector::A;
    std::int64_t header = 0;  // image offset of its header entry
    std::int64_t data = 0;    // image offset of its first data byte (the content prefix)
    std::int64_t length = 0;  // data bytes (header bytes 2-3)
    std::uint16_t number = 0;
    int slot = 0;  // the slot (1..18) whose block the searches take this for; 0 for none
    // Just past the bytes the block holds.
    std::int64_t End() const { return data + length; }
    // Just past what writing the block claims: a slot's block at least its prefix, which a
    // patch always writes; any other block exactly its bytes.
    std::int64_t ClaimEnd() const {
        return slot != 0 ? data + std::max<std::int64_t>(length, 3) : End();
    }
};

// What a check takes each block to cover.
enum class BlockExtent : std::uint8_t {
    Claimed,  // a slot about to be written: slots' blocks claim their prefix, short or not
    Held,     // bytes about to be moved: every block exactly its bytes, of any length
};

// The current blocks of the three header tables and the tables' areas.
struct BlockMap {
    std::vector<CurrentBlock> blocks;  // table A, then B, then C; topmost entry first in each
    // [from, to) of each table in image offsets: from its end entry (or the last entry read
    // before the walk left the image) up to the sector end.
    std::array<std::int64_t, 3> tableFrom{};
    std::array<std::int64_t, 3> tableTo{};
};

// Maps the header tables of a full flash or an EEPROM ".bin" image. Reads only the header
// tables, as the searches do.
BlockMap MapBlocks(ByteView image, ImageKind kind);

// Why a block must not be written. The ids are for the front ends; BlockDamageText words them.
enum class BlockDamage : std::uint8_t {
    None,
    ShorterThanPrefix,  // a slot's block length below 3: its prefix runs into what follows
    LeavesFile,         // the block runs past the end of the image file
    LeavesSector,       // the block runs outside its own sector
    OverlapsTable,      // the block overlaps the area of a header table (`sector`)
    OverlapsSlot,       // the block overlaps the block of slot `otherSlot`
    OverlapsBlock,      // the block overlaps block `otherBlock` of the table of `sector`
};

struct SlotSoundness {
    BlockDamage damage = BlockDamage::None;
    Sector sector = Sector::A;  // OverlapsTable, OverlapsBlock: the other table's sector
    int otherSlot = 0;          // OverlapsSlot: 1..18
    int otherBlock = 0;         // OverlapsBlock: block number
    bool sound() const { return damage == BlockDamage::None; }
};

// Per row (slot n on row n - 1). A slot that was not found is sound: there is nothing to write.
using SoundnessTable = std::array<SlotSoundness, kSlotCount>;

// The soundness of every found slot of `slots`, just filled by SearchSlots from `image`. For
// an ".eep" image, whose record chain has no tables, only a block that leaves the file (or is
// shorter than its prefix) is unsound. Reads only what the searches read.
SoundnessTable CheckSlotSoundness(ByteView image, ImageKind kind, const SlotTable& slots);

// The damage of the current block `index` of `map` (the first one found: a slot's short
// prefix (Claimed only), the file, the sector, a table, a slot's block, then any other block).
// `imageSize` bounds the file.
SlotSoundness CheckBlock(const BlockMap& map, std::size_t index, ImageKind kind,
                         std::uint64_t imageSize, BlockExtent extent);

// The first current block of sector `sector` that is damaged, and its damage. Relocation asks
// with BlockExtent::Held: it moves bytes, so a short or empty block is no damage.
struct DamagedBlock {
    CurrentBlock block;
    SlotSoundness damage;
};
std::optional<DamagedBlock> FindDamagedBlock(const BlockMap& map, Sector sector, ImageKind kind,
                                             std::uint64_t imageSize, BlockExtent extent);

// "overlaps slot 10 (Folklore 3)", "overlaps the header table of sector A", "leaves its
// sector", ...; with `captions` false a slot goes without its caption ("overlaps slot 10").
// Empty for a sound slot.
Message BlockDamageMessage(const SlotSoundness& soundness, bool captions = true);
std::string BlockDamageText(const SlotSoundness& soundness, bool captions = true);

// "slot 4 (Pop 2) overlaps slot 10 (Folklore 3): the image's block table is damaged"
Message UnsoundSlotMessage(int slot, const SlotSoundness& soundness);
std::string UnsoundSlotText(int slot, const SlotSoundness& soundness);

// "A", "B" or "C".
char SectorLetter(Sector sector);

}  // namespace carillon

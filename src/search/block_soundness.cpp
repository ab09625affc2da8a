// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/block_soundness.h"

namespace carillon {
namespace {

constexpr auto kHeader = static_cast<std::int64_t>(kBlockHeaderSize);
constexpr std::int64_t kPrefix = 3;
constexpr std::array<Sector, 3> kSectors = {Sector::A, Sector::B, Sector::C};

// Whether [from1, to1) and [from2, to2) share a byte; an empty range shares none.
bool Overlap(std::int64_t from1, std::int64_t to1, std::int64_t from2, std::int64_t to2) {
    return from1 < to1 && from2 < to2 && from1 < to2 && from2 < to1;
}

std::int64_t EndOf(const CurrentBlock& b, BlockExtent extent) {
    return extent == BlockExtent::Claimed ? b.ClaimEnd() : b.End();
}

// The slot whose block the searches take a current block of `sector` with `number` for.
// Sector C serves a user slot only when sector B has no current block for it.
int SlotOfBlock(Sector sector, std::uint16_t number, const std::vector<CurrentBlock>& tableB) {
    const bool user = sector != Sector::A;
    const int first = user ? kStandardMelodyCount + 1 : 1;
    const int last = user ? kSlotCount : kStandardMelodyCount;
    for (int n = first; n <= last; ++n) {
        if (SlotDef(n).blockNumber != number) {
            continue;
        }
        if (sector == Sector::C &&
            std::any_of(tableB.begin(), tableB.end(),
                        [&](const CurrentBlock& b) { return b.number == number; })) {
            return 0;
        }
        return n;
    }
    return 0;
}

// Every valid entry whose content-size bytes lie in the image, in walk order; then, for each
// block number, the last one.
std::vector<CurrentBlock> CurrentBlocksOf(ByteView image, ImageKind kind, Sector sector,
                                          std::int64_t& tableFrom) {
    const std::int64_t end = SectorEnd(kind, sector);
    std::vector<CurrentBlock> entries;
    std::int64_t last = end;
    const TableEnd how = WalkHeaderTable(image, end, [&](const BlockHeader& h, std::int64_t at) {
        last = at;
        const std::int64_t data = PhoneAddressToImageOffset(kind, h.address);
        if (h.status == kStatusValid && InImage(data, 2, image.size())) {
            entries.push_back({sector, at, data, h.length, h.number, 0});
        }
    });
    tableFrom = how == TableEnd::FreeEntry ? last - kHeader : last;
    // Stable by number, so the last of each run is the one the searches use.
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const CurrentBlock& a, const CurrentBlock& b) { return a.number < b.number; });
    std::vector<CurrentBlock> current;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 == entries.size() || entries[i + 1].number != entries[i].number) {
            current.push_back(entries[i]);
        }
    }
    std::sort(current.begin(), current.end(),
              [](const CurrentBlock& a, const CurrentBlock& b) { return a.header > b.header; });
    return current;
}

// The damage a block has on its own and against the tables, before other blocks are looked at.
// Only a slot's block can be too short: other blocks are opaque data of any length.
SlotSoundness CheckBounds(const BlockMap& map, const CurrentBlock& b, ImageKind kind,
                          std::uint64_t imageSize, BlockExtent extent) {
    SlotSoundness s;
    const std::int64_t end = EndOf(b, extent);
    if (extent == BlockExtent::Claimed && b.slot != 0 && b.length < kPrefix) {
        s.damage = BlockDamage::ShorterThanPrefix;
    } else if (end > static_cast<std::int64_t>(imageSize)) {
        s.damage = BlockDamage::LeavesFile;
    } else if (b.data < SectorStart(kind, b.sector) || end > SectorEnd(kind, b.sector)) {
        s.damage = BlockDamage::LeavesSector;
    } else {
        for (const Sector t : kSectors) {
            const auto i = static_cast<std::size_t>(t);
            if (Overlap(b.data, end, map.tableFrom[i], map.tableTo[i])) {
                s.damage = BlockDamage::OverlapsTable;
                s.sector = t;
                break;
            }
        }
    }
    return s;
}

SlotSoundness OverlapWith(const CurrentBlock& other) {
    SlotSoundness s;
    if (other.slot != 0) {
        s.damage = BlockDamage::OverlapsSlot;
        s.otherSlot = other.slot;
    } else {
        s.damage = BlockDamage::OverlapsBlock;
        s.sector = other.sector;
        s.otherBlock = other.number;
    }
    return s;
}

}  // namespace

char SectorLetter(Sector sector) {
    return static_cast<char>('A' + static_cast<int>(sector));
}

BlockMap MapBlocks(ByteView image, ImageKind kind) {
    BlockMap map;
    std::array<std::vector<CurrentBlock>, 3> tables;
    for (const Sector sector : kSectors) {
        const auto i = static_cast<std::size_t>(sector);
        tables[i] = CurrentBlocksOf(image, kind, sector, map.tableFrom[i]);
        map.tableTo[i] = SectorEnd(kind, sector);
    }
    for (std::vector<CurrentBlock>& table : tables) {
        for (CurrentBlock& b : table) {
            b.slot = SlotOfBlock(b.sector, b.number, tables[1]);
            map.blocks.push_back(b);
        }
    }
    return map;
}

SlotSoundness CheckBlock(const BlockMap& map, std::size_t index, ImageKind kind,
                         std::uint64_t imageSize, BlockExtent extent) {
    const CurrentBlock& b = map.blocks[index];
    SlotSoundness s = CheckBounds(map, b, kind, imageSize, extent);
    if (!s.sound()) {
        return s;
    }
    // A slot's block is named before any other block it overlaps.
    std::optional<std::size_t> other;
    for (std::size_t j = 0; j < map.blocks.size(); ++j) {
        const CurrentBlock& o = map.blocks[j];
        if (j == index || !Overlap(b.data, EndOf(b, extent), o.data, EndOf(o, extent))) {
            continue;
        }
        if (o.slot != 0) {
            return OverlapWith(o);
        }
        if (!other) {
            other = j;
        }
    }
    return other ? OverlapWith(map.blocks[*other]) : s;
}

std::optional<DamagedBlock> FindDamagedBlock(const BlockMap& map, Sector sector, ImageKind kind,
                                             std::uint64_t imageSize, BlockExtent extent) {
    // One sweep in data order finds, for every block, one block it overlaps: an earlier block
    // reaching past its start, or the next block starting before its end. Blocks that cover
    // nothing overlap nothing and stay out of the sweep.
    const auto end = [&](std::size_t i) { return EndOf(map.blocks[i], extent); };
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < map.blocks.size(); ++i) {
        if (end(i) > map.blocks[i].data) {
            order.push_back(i);
        }
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return map.blocks[a].data < map.blocks[b].data;
    });
    std::vector<std::optional<std::size_t>> partner(map.blocks.size());
    std::optional<std::size_t> reach;  // the earlier block that ends furthest on
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        if (reach && end(*reach) > map.blocks[i].data) {
            partner[i] = reach;
        } else if (k + 1 < order.size() && map.blocks[order[k + 1]].data < end(i)) {
            partner[i] = order[k + 1];
        }
        if (!reach || end(i) > end(*reach)) {
            reach = i;
        }
    }
    for (std::size_t i = 0; i < map.blocks.size(); ++i) {
        const CurrentBlock& b = map.blocks[i];
        if (b.sector != sector) {
            continue;
        }
        SlotSoundness s = CheckBounds(map, b, kind, imageSize, extent);
        if (s.sound() && partner[i]) {
            s = OverlapWith(map.blocks[*partner[i]]);
        }
        if (!s.sound()) {
            return DamagedBlock{b, s};
        }
    }
    return std::nullopt;
}

SoundnessTable CheckSlotSoundness(ByteView image, ImageKind kind, const SlotTable& slots) {
    SoundnessTable table{};
    if (kind == ImageKind::EepromEep) {
        for (int row = 0; row < kSlotCount; ++row) {
            const TMelody& m = slots[static_cast<std::size_t>(row)];
            if (m.Address == kNotFound) {
                continue;
            }
            SlotSoundness& s = table[static_cast<std::size_t>(row)];
            const std::int64_t data = static_cast<std::int64_t>(m.Address) - kPrefix;
            const std::int64_t length = static_cast<std::int64_t>(m.Capacity) + kPrefix;
            if (length < kPrefix) {
                s.damage = BlockDamage::ShorterThanPrefix;
            } else if (!InImage(data, length, image.size())) {
                s.damage = BlockDamage::LeavesFile;
            }
        }
        return table;
    }
    const BlockMap map = MapBlocks(image, kind);
    for (std::size_t i = 0; i < map.blocks.size(); ++i) {
        const int n = map.blocks[i].slot;
        if (n != 0 && slots[static_cast<std::size_t>(RowOfSlot(n))].Address != kNotFound) {
            table[static_cast<std::size_t>(RowOfSlot(n))] =
                CheckBlock(map, i, kind, image.size(), BlockExtent::Claimed);
        }
    }
    return table;
}

Message BlockDamageMessage(const SlotSoundness& s, bool captions) {
    const std::string sector(1, SectorLetter(s.sector));
    switch (s.damage) {
        case BlockDamage::None:
            return {};
        case BlockDamage::ShorterThanPrefix:
            return Message(MessageId::DamageShorterThanPrefix);
        case BlockDamage::LeavesFile:
            return Message(MessageId::DamageLeavesFile);
        case BlockDamage::LeavesSector:
            return Message(MessageId::DamageLeavesSector);
        case BlockDamage::OverlapsTable:
            return Message(MessageId::DamageOverlapsTable, {Message::Arg(sector)});
        case BlockDamage::OverlapsSlot: {
            // Slot captions are names, shown as they are in every language.
            const std::string slot = std::to_string(s.otherSlot);
            return captions ? Message(MessageId::DamageOverlapsSlotNamed,
                                      {Message::Arg(slot),
                                       Message::Arg(std::string(SlotDef(s.otherSlot).caption))})
                            : Message(MessageId::DamageOverlapsSlot, {Message::Arg(slot)});
        }
        case BlockDamage::OverlapsBlock:
            return Message(MessageId::DamageOverlapsBlock,
                           {Message::Arg(std::to_string(s.otherBlock)), Message::Arg(sector)});
    }
    return {};
}

std::string BlockDamageText(const SlotSoundness& s, bool captions) {
    return English(BlockDamageMessage(s, captions));
}

Message UnsoundSlotMessage(int slot, const SlotSoundness& s) {
    return Message(MessageId::UnsoundSlot, {Message::Arg(std::to_string(slot)),
                                            Message::Arg(std::string(SlotDef(slot).caption)),
                                            Message::Arg(BlockDamageMessage(s))});
}

std::string UnsoundSlotText(int slot, const SlotSoundness& s) {
    return English(UnsoundSlotMessage(slot, s));
}

}  // namespace carillon

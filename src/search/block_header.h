// SPDX-License-Identifier: GPL-3.0-or-later
// EEPROM block headers and the header tables at the top of each EEPROM sector.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/image.h"

namespace carillon {

// One 12-byte block header (multi-byte fields little-endian).
struct BlockHeader {
    std::uint8_t status = 0xFF;  // byte 0: 0xFF free (table end), 0xFC valid, 0xF0 stale
    std::uint8_t attribute = 0;  // byte 1: not interpreted, copied by the relocation
    std::uint16_t length = 0;    // bytes 2-3: number of data bytes of the block
    std::uint32_t address = 0;   // bytes 4-7: phone address of the first data byte
    std::uint16_t number = 0;    // bytes 8-9: block number
    std::uint8_t trailer10 = 0;  // byte 10: not read by the searches
    std::uint8_t trailer11 = 0;  // byte 11: not read by the searches
};

inline constexpr std::size_t kBlockHeaderSize = 12;
inline constexpr std::uint8_t kStatusFree = 0xFF;
inline constexpr std::uint8_t kStatusValid = 0xFC;
inline constexpr std::uint8_t kStatusStale = 0xF0;

// Header at image offsets at..at+11, or nothing when those bytes are not all in the image.
std::optional<BlockHeader> ReadBlockHeader(ByteView image, std::int64_t at);
// The 12 bytes of a header.
void WriteBlockHeader(std::uint8_t* out, const BlockHeader& header);

enum class Sector { A = 0, B = 1, C = 2 };

// Image offset of a sector's end (the top of its header table) for kinds 0 and 1.
std::int64_t SectorEnd(ImageKind kind, Sector sector);
// Image offset of a sector's first byte for kinds 0 and 1.
std::int64_t SectorStart(ImageKind kind, Sector sector);

// How a header-table walk ended.
enum class TableEnd {
    FreeEntry,     // an entry with status 0xFF: the table's proper end
    OutsideImage,  // the next entry would lie outside the image
};

// Walks a header table downward from `sectorEnd`: entry k occupies
// sectorEnd - 12(k+1) .. sectorEnd - 12k - 1. Calls `visit(header, headerOffset)` for every
// entry above the first 0xFF entry, whatever its status; stops at the first 0xFF entry or at
// the first entry that would lie outside the image. Never reads outside the image.
TableEnd WalkHeaderTable(ByteView image, std::int64_t sectorEnd,
                         const std::function<void(const BlockHeader&, std::int64_t)>& visit);

}  // namespace carillon

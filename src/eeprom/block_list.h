// SPDX-License-Identifier: GPL-3.0-or-later
// The block list of one EEPROM sector: every valid and stale block its header table names.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image.h"
#include "search/block_header.h"

namespace carillon {

// One listed block. The field widths are those of the phone tool's record.
struct tblock {
    std::int32_t BlockNumber = 0;   // header bytes 8-9
    std::int32_t Attribute = 0;     // header byte 1, carried into a rewritten header
    std::int32_t Length = 0;        // header bytes 2-3: data bytes of the block
    std::int32_t BlockAddress = 0;  // header bytes 4-7 (phone address); the relocation
                                    // replaces it with the block's new address
    bool Valid = false;             // status 0xFC; false for a stale block (0xF0)
    std::int32_t HeaderOffset = 0;  // image offset of the header's first byte
    Bytes Data;                     // the block's data as found at BlockAddress
};

// Listed blocks in the order the walk meets them: topmost header first.
using TTBlock = std::vector<tblock>;

// Image offset of a listed block's first data byte.
std::int64_t DataOffset(ImageKind kind, const tblock& block);

// Walks the header table that ends at `sectorEnd` and appends one tblock per header of status
// 0xFC or 0xF0; other statuses are passed over and the walk goes on below them. The walk stops
// at the first 0xFF header or where the next header would lie outside the image. `Data` holds
// the block's Length bytes, fewer when the image ends sooner, none when the block starts
// outside the image. Returns how the walk ended.
TableEnd ReadBlockList(ByteView image, TTBlock& list, std::int64_t sectorEnd, ImageKind kind);

}  // namespace carillon

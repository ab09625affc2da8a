// SPDX-License-Identifier: GPL-3.0-or-later
#include "eeprom/block_list.h"

#include <algorithm>

namespace carillon {

std::int64_t DataOffset(ImageKind kind, const tblock& block) {
    // The address is an unsigned 32-bit field held in a signed record field.
    return PhoneAddressToImageOffset(kind, static_cast<std::uint32_t>(block.BlockAddress));
}

TableEnd ReadBlockList(ByteView image, TTBlock& list, std::int64_t sectorEnd, ImageKind kind) {
    return WalkHeaderTable(image, sectorEnd, [&](const BlockHeader& h, std::int64_t at) {
        if (h.status != kStatusValid && h.status != kStatusStale) {
            return;
        }
        tblock block;
        block.BlockNumber = h.number;
        block.Attribute = h.attribute;
        block.Length = h.length;
        block.BlockAddress = static_cast<std::int32_t>(h.address);
        block.Valid = h.status == kStatusValid;
        block.HeaderOffset = static_cast<std::int32_t>(at);
        const std::int64_t from = DataOffset(kind, block);
        const auto size = static_cast<std::int64_t>(image.size());
        if (from >= 0 && from < size) {
            const std::int64_t count = std::min<std::int64_t>(h.length, size - from);
            const auto first = image.begin() + static_cast<std::ptrdiff_t>(from);
            block.Data.assign(first, first + static_cast<std::ptrdiff_t>(count));
        }
        list.push_back(std::move(block));
    });
}

}  // namespace carillon

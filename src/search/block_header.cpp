// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/block_header.h"

namespace carillon {

std::optional<BlockHeader> ReadBlockHeader(ByteView image, std::int64_t at) {
    if (!InImage(at, kBlockHeaderSize, image.size())) {
        return std::nullopt;
    }
    const auto p = static_cast<std::size_t>(at);
    BlockHeader h;
    h.status = image[p];
    h.attribute = image[p + 1];
    h.length = ReadU16(image, p + 2);
    h.address = ReadU32(image, p + 4);
    h.number = ReadU16(image, p + 8);
    h.trailer10 = image[p + 10];
    h.trailer11 = image[p + 11];
    return h;
}

void WriteBlockHeader(std::uint8_t* out, const BlockHeader& h) {
    out[0] = h.status;
    out[1] = h.attribute;
    out[2] = static_cast<std::uint8_t>(h.length & 0xFF);
    out[3] = static_cast<std::uint8_t>(h.length >> 8);
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<std::uint8_t>((h.address >> (8 * i)) & 0xFF);
    }
    out[8] = static_cast<std::uint8_t>(h.number & 0xFF);
    out[9] = static_cast<std::uint8_t>(h.number >> 8);
    out[10] = h.trailer10;
    out[11] = h.trailer11;
}

std::int64_t SectorStart(ImageKind kind, Sector sector) {
    const std::int64_t flash = kEepromImageBase + kSectorSize * static_cast<std::int64_t>(sector);
    return FlashOffsetToImageOffset(kind, flash);
}

std::int64_t SectorEnd(ImageKind kind, Sector sector) {
    return SectorStart(kind, sector) + kSectorSize;
}

TableEnd WalkHeaderTable(ByteView image, std::int64_t sectorEnd,
                         const std::function<void(const BlockHeader&, std::int64_t)>& visit) {
    for (std::int64_t p = sectorEnd;; p -= static_cast<std::int64_t>(kBlockHeaderSize)) {
        const std::int64_t at = p - static_cast<std::int64_t>(kBlockHeaderSize);
        const std::optional<BlockHeader> header = ReadBlockHeader(image, at);
        if (!header) {
            return TableEnd::OutsideImage;
        }
        if (header->status == kStatusFree) {
            return TableEnd::FreeEntry;
        }
        visit(*header, at);
    }
}

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include "eeprom/relocation.h"

#include <algorithm>
#include <optional>

#include "core/file_io.h"
#include "core/output_commit.h"
#include "search/block_soundness.h"

namespace carillon {
namespace {

constexpr auto kHeaderSize = static_cast<std::int64_t>(kBlockHeaderSize);

MessageArg Hex(std::int64_t value) {
    return Message::Arg("0x" + FormatAddress(value));
}

MessageArg Dec(std::int64_t value) {
    return Message::Arg(std::to_string(value));
}

void Erase(Bytes& image, std::int64_t from, std::int64_t to) {
    if (from < to) {
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(from),
                  image.begin() + static_cast<std::ptrdiff_t>(to), std::uint8_t{0xFF});
    }
}

// Refuses a listed header or block data that lie outside [start, end): erasing or moving
// them would change another sector (or bytes outside the image).
void CheckInsideSector(const TTBlock& list, ImageKind kind, std::int64_t start, std::int64_t end,
                       const std::string& name) {
    for (const tblock& b : list) {
        if (b.HeaderOffset < start) {
            throw RelocationError(
                name, Message(MessageId::RelocateTableBelowSector, {Hex(b.HeaderOffset)}));
        }
        const std::int64_t from = DataOffset(kind, b);
        if (from < start || from > end - b.Length) {
            throw RelocationError(
                name, Message(MessageId::RelocateDataOutsideSector,
                              {Dec(b.BlockNumber), Hex(b.HeaderOffset), Dec(b.Length), Hex(from),
                               Hex(start), Hex(end - 1)}));
        }
    }
}

// Image offset of the 0xFF entry that ends the table at `sectorEnd`, or nothing when the walk
// leaves the image first.
std::optional<std::int64_t> TableEndEntry(ByteView image, std::int64_t sectorEnd) {
    std::int64_t next = sectorEnd - kHeaderSize;
    const TableEnd how = WalkHeaderTable(
        image, sectorEnd, [&](const BlockHeader&, std::int64_t at) { next = at - kHeaderSize; });
    if (how != TableEnd::FreeEntry) {
        return std::nullopt;
    }
    return next;
}

}  // namespace

RelocationError::RelocationError(std::string name, Message problem)
    : std::runtime_error(English(
          Message(MessageId::RelocationRefused, {Message::Arg(name), Message::Arg(problem)}))),
      name_(std::move(name)),
      problem_(std::move(problem)) {}

Message RelocationError::message() const {
    return Message(MessageId::RelocationRefused, {Message::Arg(name_), Message::Arg(problem_)});
}

namespace {

// Step 1: only a full flash or an EEPROM ".bin" that holds the whole of sector A.
void CheckRelocatable(ByteView image, ImageKind kind, std::int64_t end, const std::string& name) {
    if (kind == ImageKind::EepromEep) {
        throw RelocationError(name, Message(MessageId::RelocateEep));
    }
    const auto size = static_cast<std::int64_t>(image.size());
    if (end > size) {
        throw RelocationError(name,
                              Message(MessageId::RelocateImageTooShort, {Dec(size), Hex(end)}));
    }
}

// Step 2 (after the list is read): a damaged table is never rewritten. Two current blocks
// holding one byte, or a block holding bytes of a header table, would leave several blocks
// pointing at the same bytes once the data are packed. Blocks move as the bytes they hold: a
// 1-byte block as one byte, an empty one as none.
void CheckSoundBlocks(ByteView image, ImageKind kind, const std::string& name) {
    const std::optional<DamagedBlock> damaged =
        FindDamagedBlock(MapBlocks(image, kind), Sector::A, kind, image.size(), BlockExtent::Held);
    if (damaged) {
        throw RelocationError(name, Message(MessageId::RelocateBlockDamaged,
                                            {Dec(damaged->block.number), Hex(damaged->block.header),
                                             Message::Arg(BlockDamageMessage(damaged->damage))}));
    }
}

// Step 3: the counts, and whether the kept data fit below the new table and its 0xFF entry.
std::int64_t Tally(const TTBlock& list, std::int64_t start, std::int64_t end, RelocationResult& r,
                   const std::string& name) {
    std::int64_t lowestHeader = end;
    r.lowestBlockAddress = list.front().BlockAddress;
    for (const tblock& b : list) {
        r.lowestBlockAddress = std::min(r.lowestBlockAddress, b.BlockAddress);
        lowestHeader = std::min<std::int64_t>(lowestHeader, b.HeaderOffset);
        if (b.Valid) {
            ++r.blocksKept;
            r.bytesMoved += b.Length;
        } else {
            ++r.blocksDropped;
            r.bytesFreed += b.Length + kHeaderSize;
        }
    }
    const std::int64_t dataStart = start + kRelocatedDataOffset;
    r.dataEnd = dataStart + r.bytesMoved;
    r.tableBottom = end - kHeaderSize * r.blocksKept;
    if (r.dataEnd > r.tableBottom - kHeaderSize) {
        throw RelocationError(
            name, Message(MessageId::RelocateNoRoom,
                          {Dec(r.blocksKept), Dec(r.bytesMoved),
                           Dec(std::max<std::int64_t>(0, r.tableBottom - kHeaderSize - dataStart)),
                           Hex(dataStart), Hex(r.tableBottom - kHeaderSize)}));
    }
    return lowestHeader;
}

// Step 4: every listed block's data erased, the kept ones packed from `dataStart` in list
// order, each with a new header stacked down from `end`. Returns the lowest new header.
std::int64_t PackBlocks(Bytes& w, TTBlock& list, ImageKind kind, std::int64_t dataStart,
                        std::int64_t end) {
    for (const tblock& b : list) {
        const std::int64_t from = DataOffset(kind, b);
        Erase(w, from, from + static_cast<std::int64_t>(b.Data.size()));
    }
    std::int64_t d = dataStart;
    std::int64_t h = end;
    for (tblock& b : list) {
        if (!b.Valid) {
            continue;
        }
        std::copy(b.Data.begin(), b.Data.end(), w.begin() + static_cast<std::ptrdiff_t>(d));
        b.BlockAddress =
            static_cast<std::int32_t>(FlashOffsetToPhoneAddress(ImageOffsetToFlashOffset(kind, d)));
        d += b.Length;
        h -= kHeaderSize;
        BlockHeader header;
        header.status = kStatusValid;
        header.attribute = static_cast<std::uint8_t>(b.Attribute);
        header.length = static_cast<std::uint16_t>(b.Length);
        header.address = static_cast<std::uint32_t>(b.BlockAddress);
        header.number = static_cast<std::uint16_t>(b.BlockNumber);
        header.trailer10 = 0x00;
        header.trailer11 = 0xFC;
        WriteBlockHeader(w.data() + h, header);
    }
    return h;
}

// Step 5: the rest of the old table erased, except where the moved data now lie. Header
// entries of other statuses left below the new table (and the old end entry) still belong to
// it; the moved data must not have reached them. Sets the free room.
void CloseTable(Bytes& w, std::int64_t lowestHeader, std::int64_t h, std::int64_t dataStart,
                std::int64_t end, RelocationResult& r, const std::string& name) {
    Erase(w, lowestHeader, std::min(h, dataStart));
    Erase(w, std::max(lowestHeader, r.dataEnd), h);
    const std::optional<std::int64_t> endEntry = TableEndEntry(w, end);
    if (!endEntry || *endEntry < r.dataEnd) {
        throw RelocationError(
            name, Message(MessageId::RelocateNoTableEnd, {Hex(dataStart), Hex(r.dataEnd - 1)}));
    }
    r.freeBytes = *endEntry - r.dataEnd;
}

}  // namespace

Relocation RelocateSectorA(ByteView image, ImageKind kind, std::string_view nameView) {
    const std::string name(nameView);
    const std::int64_t start = SectorStart(kind, Sector::A);
    const std::int64_t end = SectorEnd(kind, Sector::A);
    CheckRelocatable(image, kind, end, name);

    Relocation out;
    ReadBlockList(image, out.blocks, end, kind);
    if (out.blocks.empty()) {
        throw RelocationError(name, Message(MessageId::RelocateNoBlocks));
    }
    CheckInsideSector(out.blocks, kind, start, end, name);
    CheckSoundBlocks(image, kind, name);

    const std::int64_t lowestHeader = Tally(out.blocks, start, end, out.result, name);
    const std::int64_t dataStart = start + kRelocatedDataOffset;
    out.image.assign(image.begin(), image.end());
    const std::int64_t h = PackBlocks(out.image, out.blocks, kind, dataStart, end);
    CloseTable(out.image, lowestHeader, h, dataStart, end, out.result, name);
    return out;
}

std::string RelocatedPath(const std::string& path) {
    return path + ".relopated.bin";
}

RelocationResult RelocateFile(const std::string& path, ImageKind kind,
                              const std::string& outputPath, Existing existing) {
    const InputFile input(path, kImageBufferSize);
    OutputRules rules = JobOutputRules(existing, {path});
    rules.Protect(input);
    CheckOutputTarget(outputPath, rules);  // refused before the work, not after it
    // One snapshot: the relocated copy is made from bytes read in one pass of an unchanged file.
    const Bytes bytes = input.ReadAll();
    input.ConfirmUnchanged();
    Relocation relocation = RelocateSectorA(bytes, kind, path);
    // A write through a shared mapping moves no time: the bytes are compared once the copy
    // is made.
    input.ConfirmUnchanged(bytes);
    WriteOutputFile(outputPath, relocation.image.data(), relocation.image.size(), rules);
    relocation.result.outputPath = outputPath;
    return relocation.result;
}

RelocationResult RelocateFile(const std::string& path, ImageKind kind) {
    return RelocateFile(path, kind, RelocatedPath(path));
}

RelocationResult RelocateFile(ImageBuffer& buffer, const std::string& path, ImageKind kind) {
    buffer.Load(path);
    const std::string out = RelocatedPath(path);
    Relocation relocation = RelocateSectorA(buffer.Image(), kind, path);
    const OutputRules rules = JobOutputRules(Existing::Replace, {path});
    WriteOutputFile(out, relocation.image.data(), relocation.image.size(), rules);
    relocation.result.outputPath = out;
    return relocation.result;
}

}  // namespace carillon

#include "eeprom/relocation.h"

#include <algorithm>
#include <optional>

#include "core/file_io.h"
#include "core/output_commit.h"

namespace carillon {
namespace {

constexpr auto kHeaderSize = static_cast<std::int64_t>(kBlockHeaderSize);

std::string Hex(std::int64_t value) {
    return "0x" + FormatAddress(value);
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
            throw RelocationError(name,
                                  "sector A's header table runs below the start of the "
                                  "sector (a header at offset " +
                                      Hex(b.HeaderOffset) + ")");
        }
        const std::int64_t from = DataOffset(kind, b);
        if (from < start || from > end - b.Length) {
            throw RelocationError(
                name, "block " + std::to_string(b.BlockNumber) + " (header at offset " +
                          Hex(b.HeaderOffset) + ") has its " + std::to_string(b.Length) +
                          " data bytes at offset " + Hex(from) + ", outside sector A (" +
                          Hex(start) + ".." + Hex(end - 1) + ")");
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

RelocationError::RelocationError(std::string name, const std::string& problem)
    : std::runtime_error(name + ": cannot relocate sector A: " + problem), name_(std::move(name)) {}

Relocation RelocateSectorA(ByteView image, ImageKind kind, std::string_view nameView) {
    const std::string name(nameView);
    if (kind == ImageKind::EepromEep) {
        throw RelocationError(name,
                              "an .eep EEPROM image keeps its blocks as records, not in header "
                              "tables; only full-flash and .bin EEPROM images can be relocated");
    }
    const std::int64_t start = SectorStart(kind, Sector::A);
    const std::int64_t end = SectorEnd(kind, Sector::A);
    const auto size = static_cast<std::int64_t>(image.size());
    if (end > size) {
        throw RelocationError(name, "the image is " + std::to_string(size) +
                                        " bytes long and ends before the top of sector A's "
                                        "header table at offset " +
                                        Hex(end));
    }

    Relocation out;
    TTBlock& list = out.blocks;
    ReadBlockList(image, list, end, kind);
    if (list.empty()) {
        throw RelocationError(
            name, "sector A's header table lists no valid (0xFC) or stale (0xF0) block");
    }
    CheckInsideSector(list, kind, start, end, name);

    RelocationResult& r = out.result;
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

    // The kept data must end at or below the 0xFF entry that will close the new table.
    const std::int64_t dataStart = start + kRelocatedDataOffset;
    r.dataEnd = dataStart + r.bytesMoved;
    r.tableBottom = end - kHeaderSize * r.blocksKept;
    if (r.dataEnd > r.tableBottom - kHeaderSize) {
        throw RelocationError(name, "the " + std::to_string(r.blocksKept) + " valid blocks hold " +
                                        std::to_string(r.bytesMoved) + " data bytes, but only " +
                                        std::to_string(std::max<std::int64_t>(
                                            0, r.tableBottom - kHeaderSize - dataStart)) +
                                        " fit between offset " + Hex(dataStart) +
                                        " and the end entry of the new header table at offset " +
                                        Hex(r.tableBottom - kHeaderSize));
    }

    Bytes& w = out.image;
    w.assign(image.begin(), image.end());
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

    // The rest of the old table, except where the moved data now lie.
    Erase(w, lowestHeader, std::min(h, dataStart));
    Erase(w, std::max(lowestHeader, r.dataEnd), h);

    // Header entries of other statuses left below the new table (and the old end entry)
    // still belong to it; the moved data must not have reached them.
    const std::optional<std::int64_t> endEntry = TableEndEntry(w, end);
    if (!endEntry || *endEntry < r.dataEnd) {
        throw RelocationError(name,
                              "header entries of other statuses left below the new header table "
                              "reach down to the moved data at " +
                                  Hex(dataStart) + ".." + Hex(r.dataEnd - 1) +
                                  ", so the table would have no proper end");
    }
    r.freeBytes = *endEntry - r.dataEnd;
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

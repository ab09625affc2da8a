// SPDX-License-Identifier: GPL-3.0-or-later
// Sector A relocation and the free-space probe on arbitrary bytes. The first byte chooses how
// the rest becomes an image (modulo 16):
//   0-6: laid out just below sector A's end of an erased EEPROM ".bin" that holds sector A
//        and a little of sector B (short, so that the fuzzer runs fast);
//   7-13: a compact description of header entries (8 bytes each, addresses relative to the
//        sector start) followed by filler for the data area, so tables point into the sector;
//   14:  the whole EEPROM ".bin" image, at whatever length it has;
//   15:  like 0, in an erased full flash that ends with sector A (slow, so kept rare: only
//        when the first byte is 0xFF; other values of mode 15 act as mode 0).
// Any relocation that does not refuse must leave a searchable table with the same slots. A
// table is refused as damaged exactly when two current blocks of sector A hold one byte, or one
// holds bytes outside its sector or of a header table; a short or empty block is no damage.
//
// The images are kept erased between inputs: each input writes its bytes into a reused buffer
// and erases them again afterwards. The probe of the whole image (a scan of every byte) runs
// on every 32nd input.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "eeprom/block_list.h"
#include "eeprom/probe.h"
#include "eeprom/relocation.h"
#include "search/block_header.h"
#include "search/block_soundness.h"
#include "search/slot_search.h"

using namespace carillon;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

constexpr auto kHeader = static_cast<std::int64_t>(kBlockHeaderSize);
constexpr std::size_t kShortEeprom = 0x20100;

// The erased image of a kind, reused from input to input.
Bytes& Erased(ImageKind kind) {
    static Bytes eeprom(kShortEeprom, 0xFF);
    static Bytes flash(static_cast<std::size_t>(SectorEnd(ImageKind::FullFlash, Sector::A)), 0xFF);
    return kind == ImageKind::FullFlash ? flash : eeprom;
}

// Bytes [at, at + count) of a reused image, erased again when the input is done.
struct Written {
    Bytes* image = nullptr;
    std::size_t at = 0;
    std::size_t count = 0;
};

void EraseAgain(const Written& w) {
    if (w.image != nullptr) {
        std::fill_n(w.image->begin() + static_cast<std::ptrdiff_t>(w.at), w.count, 0xFF);
    }
}

// Writes the description into the erased short EEPROM; returns what to erase afterwards: the
// table entries and the data area written.
std::array<Written, 2> Described(const std::uint8_t* data, std::size_t size) {
    Bytes& image = Erased(ImageKind::EepromBin);
    const std::size_t entries = size == 0 ? 0 : std::min<std::size_t>(data[0] % 24, size / 8);
    std::size_t at = 1;
    for (std::size_t k = 0; k < entries && at + 8 <= size; ++k, at += 8) {
        const std::uint8_t* e = data + at;
        const std::uint8_t statuses[] = {kStatusValid, kStatusStale, kStatusFree, e[0]};
        BlockHeader h;
        h.status = statuses[e[0] & 3];
        h.attribute = e[1];
        h.length = static_cast<std::uint16_t>(e[2] | (e[3] & 0x7F) << 8);
        const std::uint32_t offset = (static_cast<std::uint32_t>(e[4] | e[5] << 8)) * 2;
        h.address = (e[3] & 0x80) != 0 ? static_cast<std::uint32_t>(e[6] << 24 | offset)
                                       : 0xFA0000 + offset;
        h.number = static_cast<std::uint16_t>(285 + e[7] % 12);
        h.trailer10 = e[6];
        h.trailer11 = e[7];
        WriteBlockHeader(image.data() + 0x20000 - kHeader * static_cast<std::int64_t>(k + 1), h);
    }
    std::array<Written, 2> written{};
    written[0] = {&image, 0x20000 - kBlockHeaderSize * entries, kBlockHeaderSize * entries};
    // The rest goes into the data area, so blocks carry recognisable bytes.
    if (at < size) {
        const std::size_t n = std::min<std::size_t>(size - at, 0x18000);
        std::copy_n(data + at, n, image.begin() + 0x20);
        written[1] = {&image, 0x20, n};
    }
    return written;
}

// Whether a current block of sector A holds a byte of another current block, of a header
// table or outside its sector, judged pair by pair; nothing when the map is too large to judge
// quickly.
std::optional<bool> HoldsSharedBytes(const BlockMap& map, ImageKind kind) {
    if (map.blocks.size() > 64) {
        return std::nullopt;
    }
    const auto share = [](std::int64_t f1, std::int64_t t1, std::int64_t f2, std::int64_t t2) {
        return f1 < t1 && f2 < t2 && f1 < t2 && f2 < t1;
    };
    for (const CurrentBlock& b : map.blocks) {
        if (b.sector != Sector::A) {
            continue;
        }
        if (b.data < SectorStart(kind, Sector::A) || b.End() > SectorEnd(kind, Sector::A)) {
            return true;
        }
        for (std::size_t t = 0; t < 3; ++t) {
            if (share(b.data, b.End(), map.tableFrom[t], map.tableTo[t])) {
                return true;
            }
        }
        for (const CurrentBlock& o : map.blocks) {
            if (&o != &b && share(b.data, b.End(), o.data, o.End())) {
                return true;
            }
        }
    }
    return false;
}

void CheckRelocation(const Bytes& in, ImageKind kind) {
    std::optional<Relocation> r;
    const BlockMap map = MapBlocks(in, kind);
    try {
        r = RelocateSectorA(in, kind, "fuzz");
    } catch (const RelocationError& e) {
        const Message refusal = e.message();
        const Message& problem = *refusal.args().at(1).message;
        Check(problem.id() != MessageId::RelocateBlockShort);
        if (problem.id() == MessageId::RelocateBlockDamaged) {
            Check(HoldsSharedBytes(map, kind).value_or(true));
        }
        return;
    }
    // A relocated table had only sound current blocks in sector A.
    Check(!FindDamagedBlock(map, Sector::A, kind, in.size(), BlockExtent::Held));
    Check(!HoldsSharedBytes(map, kind).value_or(false));
    const std::int64_t start = SectorStart(kind, Sector::A);
    const std::int64_t end = SectorEnd(kind, Sector::A);
    const Bytes& out = r->image;
    Check(out.size() == in.size());
    Check(std::equal(in.begin(), in.begin() + start, out.begin()));
    Check(std::equal(in.begin() + end, in.end(), out.begin() + end));

    // The new table: one valid header per kept block, data packed from 0x20 in list order.
    TTBlock old;
    ReadBlockList(in, old, end, kind);
    std::int64_t d = start + kRelocatedDataOffset;
    std::int64_t h = end;
    for (const tblock& b : old) {
        if (!b.Valid) {
            continue;
        }
        h -= kHeader;
        const std::optional<BlockHeader> nh = ReadBlockHeader(out, h);
        Check(nh && nh->status == kStatusValid && nh->length == b.Length &&
              nh->number == b.BlockNumber && nh->attribute == b.Attribute &&
              nh->trailer10 == 0x00 && nh->trailer11 == 0xFC);
        Check(PhoneAddressToImageOffset(kind, nh->address) == d);
        Check(std::equal(b.Data.begin(), b.Data.end(), out.begin() + d));
        d += b.Length;
    }
    Check(d == r->result.dataEnd && h == r->result.tableBottom);
    std::int64_t next = end - kHeader;
    const TableEnd how = WalkHeaderTable(
        out, end, [&](const BlockHeader&, std::int64_t at) { next = at - kHeader; });
    Check(how == TableEnd::FreeEntry && next >= d);

    // The standard melodies are found as before, with the same sizes and content.
    SlotTable before{}, after{};
    InitialiseSlotTable(before);
    InitialiseSlotTable(after);
    SearchFullFlash(in, kind, before);
    SearchFullFlash(out, kind, after);
    for (int n = 1; n <= kStandardMelodyCount; ++n) {
        const TMelody& a = after[static_cast<std::size_t>(n - 1)];
        const TMelody& b = before[static_cast<std::size_t>(n - 1)];
        // A block shorter than its content prefix reads its size from a neighbour.
        const bool tiny = std::any_of(old.begin(), old.end(), [&](const tblock& t) {
            return t.Valid && t.BlockNumber == b.BlockNumber && t.Length < 3;
        });
        if (tiny) {
            continue;
        }
        Check(a.Found == b.Found);
        if (b.Found == 1) {
            Check(a.Capacity == b.Capacity && a.ContentSize == b.ContentSize);
            const std::int64_t oldAt = FlashOffsetToImageOffset(kind, b.Address);
            const std::int64_t newAt = FlashOffsetToImageOffset(kind, a.Address);
            Check(std::equal(in.begin() + oldAt, in.begin() + oldAt + b.Capacity,
                             out.begin() + newAt));
        }
    }
}

void CheckProbe(ByteView bytes) {
    const std::int64_t p = ProbeFreeSpace(bytes);
    const auto run = std::search_n(bytes.begin(), bytes.end(), kFreeRunLength, std::uint8_t{0xFF});
    Check(p == (run == bytes.end() ? 0 : (run - bytes.begin()) + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::uint64_t inputs = 0;
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] == 0xFF ? 15 : data[0] % 16 == 15 ? 0 : data[0] % 16;
    ++data;
    --size;
    Bytes own;
    const Bytes* image = &own;
    std::array<Written, 2> written{};
    ImageKind kind = ImageKind::EepromBin;
    switch (mode) {
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
            written = Described(data, size);
            image = &Erased(kind);
            break;
        case 14:
            own.assign(data, data + size);
            break;
        default: {
            kind = mode == 15 ? ImageKind::FullFlash : ImageKind::EepromBin;
            Bytes& erased = Erased(kind);
            const std::size_t end = static_cast<std::size_t>(SectorEnd(kind, Sector::A));
            const std::size_t n = std::min(size, std::size_t{0x20000});
            std::copy(data + size - n, data + size,
                      erased.begin() + static_cast<std::ptrdiff_t>(end - n));
            written[0] = {&erased, end - n, n};
            image = &erased;
            break;
        }
    }
    CheckRelocation(*image, kind);
    if (++inputs % 32 == 0) {
        CheckProbe(*image);
    }
    CheckProbe(ByteView(data, size));
    for (const Written& w : written) {
        EraseAgain(w);
    }
    return 0;
}

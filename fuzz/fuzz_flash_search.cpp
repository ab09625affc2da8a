// SPDX-License-Identifier: GPL-3.0-or-later
// Identification and the header-table search on arbitrary table bytes.
//
// Input: byte 0 chooses the kind (bit 0: EEPROM ".bin" instead of full flash) and whether the
// image is cut (bit 1; bytes 1..3 give the cut length). The rest is split in three and laid
// just below the ends of the three EEPROM sectors of an erased image, where the header tables
// live, so every input is a set of header tables. The same image, written to a file and read
// only where the search looks (the command line's reader), must give the same results and the
// same soundness; sound slots never overlap one another and stay in the image and their sector.
// Blocks that are no slot's hold exactly their bytes: a sound slot shares none of them, and a
// slot refused for overlapping such a block does share one.
//
// Speed: the images and their files (one memfd per kind) stay erased between inputs; an input
// writes only its table bytes into both and erases them again. The partial images (one whose
// unread bytes are zero, one 0xA5, used in turn) are reused: only the chunks read are filled
// again. A cut image
// shrinks the file, which then has to be written back whole: it is cross-checked on every
// sixteenth cut input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "core/file_io.h"
#include "core/image.h"
#include "core/slots.h"
#include "search/block_header.h"
#include "search/block_soundness.h"
#include "search/partial_image.h"
#include "search/slot_search.h"

using namespace carillon;

namespace {

// An erased image of a kind and a file (memfd) holding the same bytes, reused between inputs.
struct Erased {
    std::vector<std::uint8_t> image;
    int fd = -1;
    std::string path;
};

void WriteFd(int fd, const std::uint8_t* bytes, std::size_t count, std::size_t at) {
    if (::pwrite(fd, bytes, count, static_cast<off_t>(at)) != static_cast<ssize_t>(count)) {
        std::abort();
    }
}

Erased& ErasedFor(ImageKind kind) {
    static Erased kinds[2];
    Erased& e = kinds[kind == ImageKind::FullFlash ? 0 : 1];
    if (e.fd < 0) {
        e.image.assign(kind == ImageKind::FullFlash ? 0x400000 : 0x60000, 0xFF);
        e.fd = ::memfd_create("image", 0);
        e.path = "/proc/self/fd/" + std::to_string(e.fd);
        WriteFd(e.fd, e.image.data(), e.image.size(), 0);
    }
    return e;
}

// The identification, the search's results and soundness in one comparable list.
std::vector<std::int64_t> Results(const ImageInfo& info, const SlotTable& slots,
                                  const SoundnessTable& sound) {
    std::vector<std::int64_t> out{info.versionByte.value_or(-1), info.phone[0]};
    for (const TMelody& m : slots) {
        out.insert(out.end(), {m.Found, m.Address, m.Capacity, m.ContentSize});
    }
    for (const SlotSoundness& s : sound) {
        out.insert(out.end(), {static_cast<int>(s.damage), s.otherSlot, s.otherBlock,
                               static_cast<int>(s.sector)});
    }
    return out;
}

std::vector<std::int64_t> Results(ByteView view, ImageKind kind, const char* path) {
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchFullFlash(view, kind, slots);
    return Results(Identify(path, view), slots, CheckSlotSoundness(view, kind, slots));
}

// `view` read back through its file by the bounded reader, with unread bytes zero on one
// check and 0xA5 on the next. The partial images are reused, as a caller reading many images
// would.
void CheckPartialRead(const Erased& e, ByteView view, ImageKind kind, const char* path,
                      const std::vector<std::int64_t>& expected) {
    static std::uint64_t checks = 0;
    const InputFile file(e.path);
    if (file.size() != view.size()) {
        std::abort();
    }
    static PartialImage zero(file);
    static PartialImage poison(file, 0xA5);
    PartialImage& partial = ++checks % 2 == 0 ? zero : poison;
    partial.Reset(file);
    ReadForSearch(partial, kind);
    if (Results(partial.View(), kind, path) != expected) {
        std::abort();
    }
}

// Whether [from1, to1) and [from2, to2) share a byte.
bool Share(std::int64_t from1, std::int64_t to1, std::int64_t from2, std::int64_t to2) {
    return from1 < to1 && from2 < to2 && from1 < to2 && from2 < to1;
}

// Sound found slots: inside the image and their sector, and never over one another nor over
// the bytes of another current block.
void CheckSoundSlots(ByteView view, ImageKind kind, const SlotTable& slots,
                     const SoundnessTable& sound) {
    const BlockMap map = MapBlocks(view, kind);
    std::vector<std::pair<std::int64_t, std::int64_t>> blocks;
    for (int n = 1; n <= kSlotCount; ++n) {
        const TMelody& m = slots[static_cast<std::size_t>(n - 1)];
        const SlotSoundness& s = sound[static_cast<std::size_t>(n - 1)];
        if (m.Found == 0) {
            continue;
        }
        const std::int64_t from = FlashOffsetToImageOffset(kind, m.Address) - 3;
        const std::int64_t to = from + 3 + std::max(m.Capacity, 0);
        // What another current block holds (a slot's block: at least its prefix).
        const auto shares = [&](const CurrentBlock& o) {
            return o.slot != n && Share(from, to, o.data, o.slot != 0 ? o.ClaimEnd() : o.End());
        };
        if (s.damage == BlockDamage::OverlapsBlock &&
            std::none_of(map.blocks.begin(), map.blocks.end(), [&](const CurrentBlock& o) {
                return o.sector == s.sector && o.number == s.otherBlock && shares(o);
            })) {
            std::abort();
        }
        if (!s.sound()) {
            continue;
        }
        bool inSector = false;
        for (const Sector sector : {Sector::A, Sector::B, Sector::C}) {
            inSector =
                inSector || (from >= SectorStart(kind, sector) && to <= SectorEnd(kind, sector));
        }
        if (m.Capacity < 0 || !InImage(from, to - from, view.size()) || !inSector ||
            std::any_of(map.blocks.begin(), map.blocks.end(), shares)) {
            std::abort();
        }
        for (const auto& [f, t] : blocks) {
            if (from < t && f < to) {
                std::abort();
            }
        }
        blocks.emplace_back(from, to);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::uint64_t cuts = 0;
    if (size < 4) {
        return 0;
    }
    const ImageKind kind = (data[0] & 1) ? ImageKind::EepromBin : ImageKind::FullFlash;
    Erased& e = ErasedFor(kind);
    std::vector<std::uint8_t>& image = e.image;
    std::size_t length = image.size();
    if (data[0] & 2) {
        length = (static_cast<std::size_t>(data[1]) | (static_cast<std::size_t>(data[2]) << 8) |
                  (static_cast<std::size_t>(data[3]) << 16)) %
                 (image.size() + 1);
    }
    const std::uint8_t* rest = data + 4;
    const std::size_t part = (size - 4) / 3;
    for (int s = 0; s < 3; ++s) {
        const auto end = static_cast<std::size_t>(SectorEnd(kind, static_cast<Sector>(s)));
        const std::uint8_t* from = rest + part * static_cast<std::size_t>(s);
        std::copy_n(from, part, image.begin() + static_cast<std::ptrdiff_t>(end - part));
        WriteFd(e.fd, from, part, end - part);
    }

    const ByteView view(image.data(), length);
    const char* path = kind == ImageKind::FullFlash ? "f.bin" : "e.bin";
    const ImageInfo info = Identify(path, view);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    const SlotRows rows = SearchFullFlash(view, kind, slots);
    for (int n = 1; n <= kSlotCount; ++n) {
        TMelody& m = slots[static_cast<std::size_t>(n - 1)];
        const SlotRow& row = rows[static_cast<std::size_t>(n - 1)];
        // A found slot's content-size bytes lie inside the image; a missing one is -1.
        if (row.found != (m.Found == 1) || (m.Found == 1) == (m.Address == kNotFound)) {
            std::abort();
        }
        if (m.Found == 1) {
            const std::int64_t sizeAt = FlashOffsetToImageOffset(kind, m.Address) - 3;
            if (!InImage(sizeAt, 2, view.size()) || m.Capacity < -3 || m.Capacity > 65532) {
                std::abort();
            }
        }
        ShowSelectedSlot(m);
    }
    const SoundnessTable sound = CheckSlotSoundness(view, kind, slots);
    CheckSoundSlots(view, kind, slots, sound);

    const bool cut = length != image.size();
    if (!cut || ++cuts % 16 == 0) {
        if (cut && ::ftruncate(e.fd, static_cast<off_t>(length)) != 0) {
            std::abort();
        }
        CheckPartialRead(e, view, kind, path, Results(info, slots, sound));
        if (cut) {  // the file whole again
            WriteFd(e.fd, image.data() + length, image.size() - length, length);
        }
    }

    for (int s = 0; s < 3; ++s) {  // erase again for the next input
        const auto end = static_cast<std::size_t>(SectorEnd(kind, static_cast<Sector>(s)));
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(end - part), part, 0xFF);
        WriteFd(e.fd, image.data() + end - part, part, end - part);
    }
    return 0;
}

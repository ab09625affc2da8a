// Identification and the header-table search on arbitrary table bytes.
//
// Input: byte 0 chooses the kind (bit 0: EEPROM ".bin" instead of full flash) and whether the
// image is cut (bit 1; bytes 1..3 give the cut length). The rest is split in three and laid
// just below the ends of the three EEPROM sectors of an erased image, where the header tables
// live, so every input is a set of header tables. The same image, written to a file and read
// only where the search looks (the command line's reader), must give the same results.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "core/file_io.h"
#include "core/image.h"
#include "core/slots.h"
#include "search/block_header.h"
#include "search/partial_image.h"
#include "search/slot_search.h"

using namespace carillon;

namespace {

std::vector<std::uint8_t>& Erased(ImageKind kind) {
    static std::vector<std::uint8_t> flash(0x400000, 0xFF);
    static std::vector<std::uint8_t> eeprom(0x60000, 0xFF);
    return kind == ImageKind::FullFlash ? flash : eeprom;
}

// The search's results in one comparable list.
std::vector<std::int64_t> Results(ByteView view, ImageKind kind, const char* path) {
    const ImageInfo info = Identify(path, view);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchFullFlash(view, kind, slots);
    std::vector<std::int64_t> out{info.versionByte.value_or(-1), info.phone[0]};
    for (const TMelody& m : slots) {
        out.insert(out.end(), {m.Found, m.Address, m.Capacity, m.ContentSize});
    }
    return out;
}

// `view` read back through a file by the bounded reader, with unread bytes set to 0xA5.
void CheckPartialRead(ByteView view, ImageKind kind, const char* path) {
    static const int fd = ::memfd_create("image", 0);
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, view.data(), view.size(), 0) != static_cast<ssize_t>(view.size())) {
        std::abort();
    }
    const InputFile file("/proc/self/fd/" + std::to_string(fd));
    PartialImage partial(file, 0xA5);
    ReadForSearch(partial, kind);
    if (Results(partial.View(), kind, path) != Results(view, kind, path)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const ImageKind kind = (data[0] & 1) ? ImageKind::EepromBin : ImageKind::FullFlash;
    std::vector<std::uint8_t>& image = Erased(kind);
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
        std::copy_n(rest + part * static_cast<std::size_t>(s), part,
                    image.begin() + static_cast<std::ptrdiff_t>(end - part));
    }

    const ByteView view(image.data(), length);
    const ImageInfo info = Identify(kind == ImageKind::FullFlash ? "f.bin" : "e.bin", view);
    (void)info;
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

    CheckPartialRead(view, kind, kind == ImageKind::FullFlash ? "f.bin" : "e.bin");

    for (int s = 0; s < 3; ++s) {  // erase again for the next input
        const auto end = static_cast<std::size_t>(SectorEnd(kind, static_cast<Sector>(s)));
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(end - part), part, 0xFF);
    }
    return 0;
}

// Identification and the ".eep" record-chain search on arbitrary file bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/image.h"
#include "core/slots.h"
#include "search/slot_search.h"

using namespace carillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView image(data, size);
    // The kind comes from the name and the length alone; any bytes must identify.
    for (const char* name : {"x.eep", "x.EE_", "x.bin", "x.fls"}) {
        const ImageInfo info = Identify(name, image);
        if ((info.kind == ImageKind::EepromEep) != (name[3] == 'e' || name[3] == 'E')) {
            std::abort();
        }
    }
    SlotTable slots{};
    InitialiseSlotTable(slots);
    const SlotRows rows = SearchEep(image, slots);
    for (int n = 1; n <= kSlotCount; ++n) {
        TMelody& m = slots[static_cast<std::size_t>(n - 1)];
        if (m.Found == 1) {
            // Record header and content size were inside the file.
            if (m.Address < 23 || static_cast<std::size_t>(m.Address) - 1 > size ||
                rows[static_cast<std::size_t>(n - 1)].address == "n/a") {
                std::abort();
            }
        } else if (m.Address != kNotFound) {
            std::abort();
        }
        ShowSelectedSlot(m);
    }
    return 0;
}

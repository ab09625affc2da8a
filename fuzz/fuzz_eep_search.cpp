// SPDX-License-Identifier: GPL-3.0-or-later
// Identification and the ".eep" record-chain search on arbitrary file bytes. A slot judged
// sound has its whole block (prefix and capacity) inside the file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/image.h"
#include "core/slots.h"
#include "search/block_soundness.h"
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
                rows[static_cast<std::size_t>(n - 1)].address.id() == MessageId::NotApplicable) {
                std::abort();
            }
        } else if (m.Address != kNotFound) {
            std::abort();
        }
        ShowSelectedSlot(m);
    }
    const SoundnessTable sound = CheckSlotSoundness(image, ImageKind::EepromEep, slots);
    for (int n = 1; n <= kSlotCount; ++n) {
        const TMelody& m = slots[static_cast<std::size_t>(n - 1)];
        if (m.Found == 1 && sound[static_cast<std::size_t>(n - 1)].sound() &&
            (m.Capacity < 0 || !InImage(m.Address - 3, m.Capacity + 3, size))) {
            std::abort();
        }
    }
    return 0;
}

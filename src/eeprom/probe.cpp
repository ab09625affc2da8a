// SPDX-License-Identifier: GPL-3.0-or-later
#include "eeprom/probe.h"

#include "core/file_io.h"

namespace carillon {

std::int64_t ProbeFreeSpace(ByteView image) {
    std::int64_t run = 0;
    const auto size = static_cast<std::int64_t>(image.size());
    for (std::int64_t i = 0; i < size; ++i) {
        run = image[static_cast<std::size_t>(i)] == 0xFF ? run + 1 : 0;
        if (run == kFreeRunLength) {
            return i - kFreeRunLength + 2;  // start of the run, plus one
        }
    }
    return 0;
}

std::int64_t ProbeFile(const std::string& path) {
    return ProbeFreeSpace(ReadWholeFile(path, kImageBufferSize));
}

std::int64_t ProbeFile(ImageBuffer& buffer, const std::string& path) {
    buffer.Load(path);
    return ProbeFreeSpace(buffer.Image());
}

}  // namespace carillon

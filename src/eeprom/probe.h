// SPDX-License-Identifier: GPL-3.0-or-later
// The free-space probe: where the first long run of erased bytes begins.
#pragma once

#include <cstdint>
#include <string>

#include "core/image.h"

namespace carillon {

inline constexpr std::int64_t kFreeRunLength = 15000;

// Image offset + 1 of the first run of kFreeRunLength bytes 0xFF, or 0 when there is none.
std::int64_t ProbeFreeSpace(ByteView image);

// Reads `path` (read-only, at most kImageBufferSize bytes) and probes it. Throws FileError.
std::int64_t ProbeFile(const std::string& path);
// The window's form: the file is read into `buffer`, which keeps it.
std::int64_t ProbeFile(ImageBuffer& buffer, const std::string& path);

}  // namespace carillon

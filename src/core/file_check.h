// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a file still holds what a front end read from it earlier: a window keeps an image open
// for as long as the user likes, and must not write back a copy that another program (or a
// second window) has changed meanwhile.
#pragma once

#include <string>

#include "core/image.h"

namespace carillon {

// True when the regular file at `path` holds exactly `bytes`: the same length and the same bytes.
// The file is read through InputFile, so a FIFO or a device is refused rather than read. Throws
// FileError when the file cannot be opened or read (missing, not a regular file, ...).
bool FileStillHolds(const std::string& path, ByteView bytes);

}  // namespace carillon

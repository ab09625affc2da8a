// SPDX-License-Identifier: GPL-3.0-or-later
// A ".vkp" patch made from two images of one kind and one length: its records turn the first
// into the second. Runs of differing bytes closer than a few equal bytes share a record (the
// equal bytes ride along with old equal to new), and a record is split into lines of 16 bytes
// as the patch builder writes its own, with the addresses it writes for that kind of image.
#pragma once

#include <cstddef>
#include <string>

#include "core/image.h"

namespace carillon {

// Equal bytes between two differing runs that are still carried inside one record.
inline constexpr std::size_t kDiffGapCarried = 8;

// The header comment: a title line (left out when empty) and the two files' names, each
// through the builder's comment cleaning.
struct DiffHeader {
    std::string title;
    std::string oldName;
    std::string newName;
};

struct ImageDiff {
    std::string text;         // the whole patch, CR LF line ends
    std::size_t lines = 0;    // record lines written
    std::size_t changed = 0;  // bytes that differ
};

// The patch from `oldImage` to `newImage` (same length). `changed` is 0 and `text` holds only
// the header when the two are equal.
ImageDiff DiffImages(ImageKind kind, ByteView oldImage, ByteView newImage,
                     const DiffHeader& header);

}  // namespace carillon

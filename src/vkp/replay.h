// SPDX-License-Identifier: GPL-3.0-or-later
// Replaying the records of a ".vkp" patch onto image bytes, and checking that a patch text
// turns the bytes it was built from into the bytes it was built for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "core/message.h"
#include "vkp/reader.h"

namespace carillon {

// One change of the image copy: `bytes` replace the bytes at image offset `offset`.
struct ByteEdit {
    std::int64_t offset = 0;
    Bytes bytes;
};

// Replays `records` in order onto `ranges` (image offsets and the bytes there): every record
// must lie inside one range, and its known old bytes must equal the bytes there at its turn.
// Returns an empty text on success, else what failed ("line N: ..."); the ranges then hold the
// records before the failing one.
Message ReplayVkpMessage(const std::vector<VkpRecord>& records, ImageKind kind,
                         std::vector<ByteEdit>& ranges);
std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind,
                      std::vector<ByteEdit>& ranges);
// The same onto a whole image.
std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& image);

// Reads `text` back and replays it onto `before` (the bytes the patch was built from, in image
// offsets); the result must equal `after` (the bytes the builder computed, same ranges in the
// same order). Returns an empty text when it does, else why not.
Message VerifyPatchMessage(std::string_view text, ImageKind kind,
                           const std::vector<ByteEdit>& before, const std::vector<ByteEdit>& after);
std::string VerifyPatchText(std::string_view text, ImageKind kind,
                            const std::vector<ByteEdit>& before,
                            const std::vector<ByteEdit>& after);

}  // namespace carillon

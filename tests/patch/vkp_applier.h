// SPDX-License-Identifier: GPL-3.0-or-later
// ".vkp" text as this program writes it, for the tests: the core's reader, plus the stricter
// form every written patch has (CR LF line ends, old bytes on every record).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon::testing {

using VkpRecord = carillon::VkpRecord;

// Splits `text` into its patch records. Fails (returns false, with `error`) on a line not ended
// by CR LF, a text the reader refuses, or a record without old bytes.
bool ParseVkp(const std::string& text, std::vector<VkpRecord>& records, std::string& error);

// Applies the records of `text` to `image`. `base` is subtracted from every address (0x3A0000
// for an EEPROM ".bin" image). Fails when a record lies outside the image or an old byte differs
// from the image byte it replaces.
bool ApplyVkp(const std::string& text, std::int64_t base, Bytes& image, std::string& error);

}  // namespace carillon::testing

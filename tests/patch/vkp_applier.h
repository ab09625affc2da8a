// A small, independent reader of ".vkp" patch text for the tests: applies every record to an
// image after checking that its old bytes are the image's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"

namespace carillon::testing {

struct VkpRecord {
    std::int64_t address = 0;
    Bytes oldBytes;
    Bytes newBytes;
};

// Splits `text` into its patch records. Fails (returns false, with `error`) on a line not ended
// by CR LF, a record line that does not parse, or old and new parts of different lengths.
// Lines that are empty or start with ";" are comments.
bool ParseVkp(const std::string& text, std::vector<VkpRecord>& records, std::string& error);

// Applies the records of `text` to `image`. `base` is subtracted from every address (0x3A0000
// for an EEPROM ".bin" image). Fails when a record lies outside the image or an old byte differs
// from the image byte it replaces.
bool ApplyVkp(const std::string& text, std::int64_t base, Bytes& image, std::string& error);

}  // namespace carillon::testing

// Bytes from an image shown as text: every byte outside 0x20..0x7E appears as \xNN, so a
// garbled model field cannot move the cursor of a terminal or fill a label with noise.
#pragma once

#include <string>
#include <string_view>

namespace carillon {

// "A52" stays "A52"; the bytes C3 BA 37 become "\xC3\xBA7".
std::string PrintableBytes(std::string_view bytes);

}  // namespace carillon

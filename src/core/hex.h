// SPDX-License-Identifier: GPL-3.0-or-later
// Hexadecimal digits, read and written: the one place that knows them.
#pragma once

#include <cstdint>
#include <string>

#include "core/image.h"

namespace carillon {

// The value of one hexadecimal digit of either letter case, or -1. Takes any character type,
// so wide text (a QChar's code unit) is read by the same rule.
constexpr int HexDigitValue(char32_t c) {
    if (c >= U'0' && c <= U'9') {
        return static_cast<int>(c - U'0');
    }
    if (c >= U'A' && c <= U'F') {
        return static_cast<int>(c - U'A') + 10;
    }
    if (c >= U'a' && c <= U'f') {
        return static_cast<int>(c - U'a') + 10;
    }
    return -1;
}

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// One byte as two upper-case hexadecimal digits.
inline void AppendHexByte(std::string& out, std::uint8_t b) {
    out += kUpperHexDigits[b >> 4];
    out += kUpperHexDigits[b & 0x0F];
}

// Bytes as upper-case hexadecimal, two digits each, no separators.
inline void AppendHex(std::string& out, ByteView bytes) {
    for (const std::uint8_t b : bytes) {
        AppendHexByte(out, b);
    }
}

inline std::string HexBytes(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    AppendHex(out, bytes);
    return out;
}

}  // namespace carillon

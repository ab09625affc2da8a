// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/parser.h"

#include <array>

namespace carillon {

using namespace vkp_parse;

namespace {

// The Unicode code points of the Windows-1251 bytes 0x80..0xFF (0x98 has none and stays).
constexpr std::array<std::uint16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

std::uint16_t Cp1251ToUnicode(int byte) {
    return byte < 0x80 ? static_cast<std::uint16_t>(byte)
                       : kCp1251High[static_cast<std::size_t>(byte - 0x80)];
}

}  // namespace

// Appends one character of a string: a byte in double quotes, a UTF-16LE unit in single.
void VkpSource::Parser::PutUnit(Bytes& out, std::uint32_t unit, bool wide) {
    out.push_back(static_cast<std::uint8_t>(unit));
    if (wide) {
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

bool VkpSource::Parser::String(Bytes& out, bool wide) {
    const int quote = in_.Peek();
    in_.Skip();
    for (;;) {
        const int c = in_.Peek();
        if (IsLineEnd(c)) {
            Fail(Say(MessageId::VkpStringOpenAtLineEnd));
            return false;
        }
        if (c == quote) {
            in_.Skip();
            return true;
        }
        if (c == '/' && (in_.Peek(1) == '/' || in_.Peek(1) == '*')) {
            Fail(Say(MessageId::VkpSlashInString,
                     {"/" + std::string(1, static_cast<char>(in_.Peek(1)))}));
            return false;
        }
        if (out.size() >= kImageBufferSize) {  // refused before more is held
            Fail(TooLong());
            return false;
        }
        if (c != '\\') {
            PutUnit(out, wide ? Cp1251ToUnicode(c) : static_cast<std::uint32_t>(c), wide);
            in_.Skip();
            continue;
        }
        const int e = in_.Peek(1);
        if (e == '\r' || e == '\n') {  // the string goes on on the next line
            in_.Skip();
            in_.SkipLineEnd();
            continue;
        }
        std::uint32_t unit = 0;
        if (!Escape(unit, wide)) {
            return false;
        }
        PutUnit(out, unit, wide);
    }
}

// A backslash escape, from the backslash on.
bool VkpSource::Parser::Escape(std::uint32_t& unit, bool wide) {
    const int column = in_.column();
    const int e = in_.Peek(1);
    if (e == kEnd) {
        Fail(Say(MessageId::VkpStringOpenAtEnd));
        return false;
    }
    in_.Skip(2);
    static constexpr std::string_view kLetters = "abtrnvfe\\/\"'*` ";
    static constexpr std::array<std::uint8_t, 15> kValues = {7,  8,  9,  13, 10, 11, 12, 27,
                                                             92, 47, 34, 39, 42, 96, 32};
    const std::size_t letter = kLetters.find(static_cast<char>(e));
    if (letter != std::string_view::npos) {
        unit = kValues[letter];
        return true;
    }
    if (e >= '0' && e <= '7') {
        unit = static_cast<std::uint32_t>(e - '0');
        for (int n = 1; n < 3 && in_.Peek() >= '0' && in_.Peek() <= '7'; ++n) {
            unit = unit * 8 + static_cast<std::uint32_t>(in_.Peek() - '0');
            in_.Skip();
        }
        if (unit > 0xFF) {
            FailAt(in_.line(), column, Say(MessageId::VkpOctalAbove377));
            return false;
        }
        return true;
    }
    if (e == 'x' || (e == 'u' && wide)) {
        const std::size_t most = e == 'x' ? 2 : 4;
        std::size_t n = 0;
        for (; n < most && in_.Peek() != kEnd &&
               HexDigitValue(static_cast<char32_t>(in_.Peek())) >= 0;
             ++n) {
            unit = unit * 16 +
                   static_cast<std::uint32_t>(HexDigitValue(static_cast<char32_t>(in_.Peek())));
            in_.Skip();
        }
        // "\x4G" reads 04 and then the G; "\x4" closing the string is short of a digit.
        const int next = in_.Peek();
        if (n == 0 || (e == 'u' && n != 4) ||
            (e == 'x' && n == 1 && (IsLineEnd(next) || next == (wide ? '\'' : '"')))) {
            FailAt(in_.line(), column,
                   Say(e == 'x' ? MessageId::VkpXWithoutDigits : MessageId::VkpUNeedsFour));
            return false;
        }
        if (e == 'x' && !wide && unit > 0x7F) {
            FailAt(in_.line(), column, Say(MessageId::VkpXAbove7F));
            return false;
        }
        return true;
    }
    std::string shown = "\\";
    if (e > 0x20 && e < 0x7F) {
        shown += static_cast<char>(e);
    } else {
        shown += "x";
        AppendHexByte(shown, static_cast<std::uint8_t>(e));
    }
    FailAt(in_.line(), column,
           e == 'u' ? Say(MessageId::VkpUOnlySingle) : Say(MessageId::VkpUnknownEscape, {shown}));
    return false;
}

}  // namespace carillon

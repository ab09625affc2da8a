// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/parser.h"

#include <algorithm>
#include <array>
#include <limits>

namespace carillon {

using namespace vkp_parse;

// Items, one after the other or joined by commas; a run of commas joins as one, and a
// comma before a blank or the line end ends the list.
bool VkpSource::Parser::DataList(Bytes& out) {
    for (;;) {
        const int first = in_.Peek();
        if (!Item(out)) {
            return false;
        }
        if (out.size() > kImageBufferSize) {
            Fail(TooLong());
            return false;
        }
        if (AtLineJoin()) {
            // A backslash straight after an item joins the next line to the list.
            in_.Skip();
            in_.SkipLineEnd();
            const int next = in_.Peek();
            if (next == kEnd || (HexDigitValue(static_cast<char32_t>(next)) < 0 && next != '"' &&
                                 next != '\'' && next != ',')) {
                return true;
            }
            if (next != ',') {
                continue;
            }
        }
        const int c = in_.Peek();
        if (c == '"' || c == '\'' ||
            ((first == '"' || first == '\'') && c != kEnd &&
             HexDigitValue(static_cast<char32_t>(c)) >= 0)) {
            continue;  // a string, or an item after a string, needs no comma
        }
        if (c != ',') {
            return true;
        }
        while (in_.Peek() == ',') {
            in_.Skip();
        }
        if (IsBlank(in_.Peek()) || IsLineEnd(in_.Peek()) || AtComment()) {
            return true;
        }
    }
}

// What may follow an item: a comma, a blank, the line end, or (not after a number) a comment.
bool VkpSource::Parser::ItemEnds(bool number) {
    const int c = in_.Peek();
    if (c == ',' || c == '"' || c == '\'' || IsBlank(c) || IsLineEnd(c) || AtLineJoin()) {
        return true;
    }
    if (AtComment()) {
        if (number) {
            Fail(Say(MessageId::VkpBlankBeforeComment));
            return false;
        }
        return true;
    }
    if (c == '*' && in_.Peek(1) == '/') {
        Fail(Say(MessageId::VkpStrayCommentEnd));
    } else {
        Fail(Say(MessageId::VkpNotData, {Token()}));
    }
    return false;
}

// After a string an item of any kind may follow at once.
bool VkpSource::Parser::StringEnds() {
    const int c = in_.Peek();
    return c != kEnd && HexDigitValue(static_cast<char32_t>(c)) >= 0;
}

bool VkpSource::Parser::Item(Bytes& out) {
    const int c = in_.Peek();
    if (c == '*' && in_.Peek(1) == '/') {
        Fail(Say(MessageId::VkpStrayCommentEnd));
        return false;
    }
    if (c == '"' || c == '\'') {
        return String(out, c == '\'') && (StringEnds() || ItemEnds(false));
    }
    if (c == '0' && in_.Peek(1) == 'x') {
        return HexNumber(out) && ItemEnds(true);
    }
    if (c == '0' && in_.Peek(1) == 'n') {
        return BinaryNumber(out) && ItemEnds(true);
    }
    if (c == '0' && in_.Peek(1) == 'i') {
        return DecimalNumber(out) && ItemEnds(true);
    }
    if (c == kEnd || HexDigitValue(static_cast<char32_t>(c)) < 0) {
        Fail(Say(MessageId::VkpNotData, {Token()}));
        return false;
    }
    // Pairs of digits, read as they come: a run may be as long as the text. The whole pairs
    // already in the window are read from it at once; the loop below takes the rest (a pair
    // split between two pieces of the text, and whatever ends the run).
    const int column = in_.column();
    {
        const std::string_view ahead = in_.Ahead();
        const std::size_t room = out.size() < kImageBufferSize ? kImageBufferSize - out.size() : 0;
        const std::size_t most = std::min(ahead.size() / 2, room);
        const auto value = [&ahead](std::size_t i) {
            return kHexValue[static_cast<unsigned char>(ahead[i])];
        };
        // Decoded a few dozen at a time into a buffer of the stack, then appended in one go.
        std::size_t pairs = 0;
        for (;;) {
            std::array<std::uint8_t, 64> chunk;
            std::size_t n = 0;
            while (n < chunk.size() && pairs + n < most) {
                const int hi = value(2 * (pairs + n));
                const int lo = value(2 * (pairs + n) + 1);
                if ((hi | lo) < 0) {
                    break;
                }
                chunk[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
            }
            out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
            pairs += n;
            if (n < chunk.size()) {
                break;
            }
        }
        in_.Skip(2 * pairs);
    }
    for (;;) {
        const int hi = in_.Peek();
        if (hi == kEnd || HexDigitValue(static_cast<char32_t>(hi)) < 0) {
            break;
        }
        const int lo = in_.Peek(1);
        if (lo == kEnd || HexDigitValue(static_cast<char32_t>(lo)) < 0) {
            if (lo == ',' || IsBlank(lo) || IsLineEnd(lo) || AtComment(1)) {
                FailAt(in_.line(), column, Say(MessageId::VkpOddDigits));
                return false;
            }
            break;  // "AAXX": the item end below names what is not data
        }
        if (out.size() == kImageBufferSize) {
            Fail(TooLong());
            return false;
        }
        out.push_back(static_cast<std::uint8_t>(HexDigitValue(static_cast<char32_t>(hi)) * 16 +
                                                HexDigitValue(static_cast<char32_t>(lo))));
        in_.Skip(2);
    }
    return ItemEnds(false);
}

void VkpSource::Parser::PutLittleEndian(Bytes& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// Digits of `base` after a two-character prefix; false with an error when a digit of
// another kind follows.
std::size_t VkpSource::Parser::Digits(int base, std::uint64_t& value, bool& overflow) {
    std::size_t digits = 0;
    value = 0;
    overflow = false;
    for (;;) {
        const int c = in_.Peek();
        int d = -1;
        if (base == 16) {
            d = c == kEnd ? -1 : HexDigitValue(static_cast<char32_t>(c));
        } else if (c >= '0' && c < '0' + base) {
            d = c - '0';
        }
        if (d < 0) {
            return digits;
        }
        const auto b = static_cast<std::uint64_t>(base);
        const auto ud = static_cast<std::uint64_t>(d);
        if (value > (std::numeric_limits<std::uint64_t>::max() - ud) / b) {
            overflow = true;
        }
        value = value * b + ud;
        ++digits;
        in_.Skip();
    }
}

bool VkpSource::Parser::HexNumber(Bytes& out) {
    const int column = in_.column();
    in_.Skip(2);
    std::uint64_t value = 0;
    bool overflow = false;
    const std::size_t digits = Digits(16, value, overflow);
    if (digits == 0 || digits > 8) {
        FailAt(in_.line(), column,
               Say(digits == 0 ? MessageId::Vkp0xEmpty : MessageId::Vkp0xTooLong));
        return false;
    }
    PutLittleEndian(out, value, (digits + 1) / 2);
    return true;
}

bool VkpSource::Parser::BinaryNumber(Bytes& out) {
    const int column = in_.column();
    in_.Skip(2);
    std::uint64_t value = 0;
    bool overflow = false;
    const std::size_t digits = Digits(2, value, overflow);
    if (digits == 0 || digits > 32) {
        FailAt(in_.line(), column,
               Say(digits == 0 ? MessageId::Vkp0nEmpty : MessageId::Vkp0nTooLong));
        return false;
    }
    PutLittleEndian(out, value, (digits + 7) / 8);
    return true;
}

// "0i" decimal: the count of digits sets the width.
std::size_t VkpSource::Parser::DecimalWidth(std::size_t digits) {
    static constexpr std::array<std::size_t, 21> kWidth = {0, 1, 1, 1, 0, 2, 0, 0, 3, 0, 4,
                                                           0, 0, 5, 0, 6, 0, 7, 0, 0, 8};
    return digits < kWidth.size() ? kWidth[digits] : 0;
}

bool VkpSource::Parser::DecimalNumber(Bytes& out) {
    const int column = in_.column();
    in_.Skip(2);
    const int sign = in_.Peek() == '+' || in_.Peek() == '-' ? in_.Peek() : 0;
    if (sign != 0) {
        in_.Skip();
    }
    std::uint64_t value = 0;
    bool overflow = false;
    const std::size_t digits = Digits(10, value, overflow);
    const std::size_t width = DecimalWidth(digits);
    if (width == 0) {
        FailAt(in_.line(), column, Say(MessageId::Vkp0iDigits, {std::to_string(digits)}));
        return false;
    }
    const std::uint64_t all = width == 8 ? std::numeric_limits<std::uint64_t>::max()
                                         : (std::uint64_t{1} << (8 * width)) - 1;
    const std::uint64_t limit = sign != 0 ? all >> 1 : all;
    if (overflow || value > limit) {
        FailAt(in_.line(), column,
               Say(MessageId::Vkp0iRange,
                   {std::string(sign != 0 ? "-" : "0..") + std::to_string(limit) +
                        (sign != 0 ? ".." + std::to_string(limit) : ""),
                    std::to_string(width)}));
        return false;
    }
    PutLittleEndian(out, sign == '-' ? (~value + 1) & all : value, width);
    return true;
}

}  // namespace carillon

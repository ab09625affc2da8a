// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/parser.h"

#include <algorithm>
#include <array>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace carillon {

using namespace vkp_parse;

namespace {

#if defined(__SSE2__)
// Sixteen hexadecimal digits of either case into 8 bytes at `out`, in vector registers; false
// (and `out` not to be used) when any of them is no hexadecimal digit.
bool DecodeSixteenDigits(const char* text, std::uint8_t* out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    // Bytes from 0x80 up are negative here, so they fall outside both ranges.
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
    const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));  // 'A'..'F' as 'a'..'f'
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(folded, _mm_set1_epi8('a' - 1)),
                                         _mm_cmplt_epi8(folded, _mm_set1_epi8('f' + 1)));
    if (_mm_movemask_epi8(_mm_or_si128(digit, letter)) != 0xFFFF) {
        return false;
    }
    // Each digit's value: its low four bits, plus 9 for a letter.
    const __m128i value = _mm_add_epi8(_mm_and_si128(v, _mm_set1_epi8(0x0F)),
                                       _mm_and_si128(letter, _mm_set1_epi8(9)));
    // Each pair (first digit in the low byte of a 16-bit lane) as one byte.
    const __m128i high = _mm_slli_epi16(_mm_and_si128(value, _mm_set1_epi16(0x00FF)), 4);
    const __m128i low = _mm_srli_epi16(value, 8);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(_mm_or_si128(high, low), _mm_setzero_si128()));
    return true;
}
#endif

}  // namespace

// Items, one after the other or joined by commas; a run of commas joins as one, and a
// comma before a blank or the line end ends the list. A backslash at the line end, straight
// after an item or a comma, joins the next line to the list.
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
            if (!JoinLine()) {
                return true;
            }
            if (in_.Peek() != ',') {
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
        for (;;) {
            while (in_.Peek() == ',') {
                in_.Skip();
            }
            if (!AtLineJoin()) {
                break;
            }
            if (!JoinLine()) {
                return true;
            }
        }
        if (IsBlank(in_.Peek()) || IsLineEnd(in_.Peek()) || AtComment()) {
            return true;
        }
    }
}

bool VkpSource::Parser::JoinLine() {
    in_.Skip();
    in_.SkipLineEnd();
    const int next = in_.Peek();
    return next != kEnd && (HexDigitValue(static_cast<char32_t>(next)) >= 0 || next == '"' ||
                            next == '\'' || next == ',');
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
#if defined(__SSE2__)
            while (n + 8 <= chunk.size() && pairs + n + 8 <= most &&
                   DecodeSixteenDigits(ahead.data() + 2 * (pairs + n), chunk.data() + n)) {
                n += 8;
            }
#endif
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

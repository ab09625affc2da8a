// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/parser.h"

#include <algorithm>

namespace carillon {

using namespace vkp_parse;

// A word of letters, digits and underscores.
std::string VkpSource::Parser::Word() {
    std::string word;
    for (int c = in_.Peek();
         (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
         c = in_.Peek()) {
        word += static_cast<char>(c);
        in_.Skip();
        if (word.size() > kQuotedLength) {
            break;
        }
    }
    return word;
}

void VkpSource::Parser::Pragma() {
    const int line = in_.line();
    while (IsBlank(in_.Peek())) {
        in_.Skip();
    }
    const int verbColumn = in_.column();
    const std::string verb = Word();
    if (verb != "enable" && verb != "disable") {
        FailAt(line, verbColumn, Say(MessageId::VkpExpectedPragmaGot, {Quote(verb, false)}));
        return;
    }
    while (IsBlank(in_.Peek())) {
        in_.Skip();
    }
    const int nameColumn = in_.column();
    const std::string name = Word();
    const auto known = std::find_if(kPragmaNames.begin(), kPragmaNames.end(),
                                    [&](const PragmaName& p) { return p.name == name; });
    if (known == kPragmaNames.end()) {
        FailAt(line, nameColumn,
               name.empty() ? Say(MessageId::VkpExpectedPragma)
                            : Say(MessageId::VkpUnknownPragma, {Quote(name, false)}));
        return;
    }
    const bool on = verb == "enable";
    if (pragmas_.*known->flag == on) {
        Warn(line,
             Say(on ? MessageId::VkpAlreadyEnabled : MessageId::VkpAlreadyDisabled, {verb, name}));
    }
    pragmas_.*known->flag = on;
    ExpectEnd(MessageId::VkpTextAfterPragma);
}

// Hexadecimal digits with an optional "0x" or "0X", read. Any number of digits; a value
// above kVkpMaxAddress is kept as kVkpMaxAddress + 1.
std::size_t VkpSource::Parser::TakeHex(std::int64_t& value) {
    if (in_.Peek() == '0' && (in_.Peek(1) == 'x' || in_.Peek(1) == 'X') && in_.Peek(2) != kEnd &&
        HexDigitValue(static_cast<char32_t>(in_.Peek(2))) >= 0) {
        in_.Skip(2);
    }
    value = 0;
    std::size_t digits = 0;
    for (int c = in_.Peek(); c != kEnd && HexDigitValue(static_cast<char32_t>(c)) >= 0;
         c = in_.Peek()) {
        value = std::min<std::int64_t>(value * 16 + HexDigitValue(static_cast<char32_t>(c)),
                                       kVkpMaxAddress + 1);
        ++digits;
        in_.Skip();
    }
    return digits;
}

// "+HEX" or "-HEX": the offset added to every later address. No blank after the sign.
void VkpSource::Parser::Offset() {
    const int column = in_.column();
    const auto [shown, more] = TokenText();
    const bool minus = in_.Peek() == '-';
    in_.Skip();
    std::int64_t value = 0;
    const std::size_t digits = TakeHex(value);
    const int after = in_.Peek();
    if (digits == 0 || value > kVkpMaxAddress ||
        !(IsLineEnd(after) || IsBlank(after) || AtComment())) {
        FailAt(in_.line(), column,
               Say(MessageId::VkpBadOffset, {Quote(shown, more), FormatAddress(kVkpMaxAddress)}));
        return;
    }
    offset_ = minus ? -value : value;
    ExpectEnd(MessageId::VkpOffsetUnexpected);
}

// Blanks inside a record; a backslash at the line end joins the next line.
void VkpSource::Parser::RecordGap() {
    for (;;) {
        while (IsBlank(in_.Peek())) {
            in_.Skip();
        }
        if (!AtLineJoin()) {
            return;
        }
        in_.Skip();
        in_.SkipLineEnd();
    }
}

bool VkpSource::Parser::Record(VkpRecord& record) {
    const int line = in_.line();
    const int column = in_.column();
    // Up to 8 hexadecimal digits and a colon, already in the window, are an address that
    // reads: it is taken from there, and the texts an error would quote are gathered only for
    // anything else (which the general reading below takes, across pieces of the text too).
    const std::string_view ahead = in_.Ahead();
    std::size_t plainDigits = 0;
    std::int64_t plainValue = 0;
    while (plainDigits <= 8 && plainDigits < ahead.size() &&
           kHexValue[static_cast<unsigned char>(ahead[plainDigits])] >= 0) {
        plainValue = plainValue * 16 + kHexValue[static_cast<unsigned char>(ahead[plainDigits])];
        ++plainDigits;
    }
    const bool plain = plainDigits > 0 && plainDigits <= 8 && plainDigits < ahead.size() &&
                       ahead[plainDigits] == ':';
    // A colon on the line makes it a record with a bad address; else it is no record.
    bool colon = plain;
    for (std::size_t i = 0; i < kColonLookahead && !IsLineEnd(in_.Peek(i)) && !colon; ++i) {
        colon = in_.Peek(i) == ':';
    }
    std::string shown;
    for (std::size_t i = 0; !plain && colon && in_.Peek(i) != ':' && i < kQuotedLength; ++i) {
        shown += static_cast<char>(in_.Peek(i));
    }
    auto [rest, more] = plain ? std::pair<std::string, bool>() : in_.RestOfLine(kQuotedLength);
    std::int64_t value = plainValue;
    std::size_t digits = plainDigits;
    if (plain) {
        in_.Skip(plainDigits);
    } else {
        digits = TakeHex(value);
    }
    if (digits == 0 || value > kVkpMaxAddress || in_.Peek() != ':') {
        if (colon) {
            FailAt(line, column,
                   Say(MessageId::VkpBadAddress,
                       {Quote(shown, false), FormatAddress(kVkpMaxAddress)}));
        } else {
            while (!rest.empty() && IsBlank(rest.back())) {
                rest.pop_back();
            }
            FailAt(line, column, Say(MessageId::VkpNotARecord, {Quote(rest, more)}));
        }
        return false;
    }
    in_.Skip();  // the colon
    const std::int64_t address = value + offset_;
    if (address < 0) {
        FailAt(line, column, Say(MessageId::VkpAddressBelowZero, {Signed(offset_)}));
        return false;
    }

    record.line = line;
    record.address = address;
    record.pragmas = pragmas_;
    record.oldBytes.clear();
    record.newBytes.clear();
    RecordGap();
    if (in_.Peek() == '/' && in_.Peek(1) == '*') {
        Fail(Say(MessageId::VkpCommentInRecord));
        return false;
    }
    if (AtRecordEnd()) {
        Fail(Say(MessageId::VkpRecordWithoutData));
        return false;
    }
    const int oldColumn = in_.column();
    if (!DataList(record.oldBytes)) {
        return false;
    }
    RecordGap();
    if (AtRecordEnd()) {
        record.newBytes.swap(record.oldBytes);
    } else {
        const int newColumn = in_.column();
        if (!DataList(record.newBytes)) {
            return false;
        }
        ExpectEnd(MessageId::VkpMoreThanOldAndNew);
        if (!error_.empty()) {
            return false;
        }
        if (record.oldBytes.size() < record.newBytes.size()) {
            FailAt(line, oldColumn,
                   Say(MessageId::VkpOldShorterThanNew, {std::to_string(record.oldBytes.size()),
                                                         std::to_string(record.newBytes.size())}));
            return false;
        }
        if (record.newBytes.empty()) {
            FailAt(line, newColumn, Say(MessageId::VkpNewDataEmpty));
            return false;
        }
        // Old data longer than new is checked whole; only the new bytes are written.
        record.oldKnown = true;
        return true;
    }
    if (record.newBytes.empty()) {
        FailAt(line, oldColumn, Say(MessageId::VkpNewDataEmpty));
        return false;
    }
    ExpectEnd(MessageId::VkpMoreThanOldAndNew);
    if (!error_.empty()) {
        return false;
    }
    if (pragmas_.oldEqualFf) {
        record.oldBytes.assign(record.newBytes.size(), 0xFF);
        record.oldKnown = true;
    } else {
        record.oldKnown = false;
        if (pragmas_.warnNoOldOnApply) {
            Warn(line, Say(MessageId::VkpNoOldData));
        }
    }
    return true;
}

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's own parts, shared by its files only: the window the text is read through
// (`Input`), the helpers of its messages, and the parser. The parser's pieces follow the
// grammar, one file each: statements, comments and the end of the text (reader.cpp); records,
// offsets and pragmas (records.cpp); data lists and numbers (data.cpp); strings (strings.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/hex.h"
#include "vkp/reader.h"

namespace carillon {
namespace vkp_parse {

// At most this many characters of an offending text are quoted in an error.
inline constexpr std::size_t kQuotedLength = 40;
// How far an error looks ahead on its line for a colon, to tell a bad address from a line
// that is no record at all.
inline constexpr std::size_t kColonLookahead = 4096;
inline constexpr int kEnd = -1;
// Data longer than the largest image fits no image; it is refused before it is held.
inline Message TooLong() {
    return Message(MessageId::VkpTooLong, {Message::Arg(std::to_string(kImageBufferSize))});
}

// A message of the reader with plain arguments.
inline Message Say(MessageId id, std::initializer_list<std::string> args = {}) {
    std::vector<MessageArg> out;
    for (const std::string& a : args) {
        out.push_back(Message::Arg(a));
    }
    return Message(id, std::move(out));
}

// The five options and their names in "#pragma" lines.
struct PragmaName {
    std::string_view name;
    bool VkpPragmas::*flag;
};
inline constexpr std::array<PragmaName, 5> kPragmaNames{{
    {"warn_no_old_on_apply", &VkpPragmas::warnNoOldOnApply},
    {"warn_if_new_exist_on_apply", &VkpPragmas::warnIfNewExistOnApply},
    {"warn_if_old_exist_on_undo", &VkpPragmas::warnIfOldExistOnUndo},
    {"undo", &VkpPragmas::undo},
    {"old_equal_ff", &VkpPragmas::oldEqualFf},
}};

// Each character's value as a hexadecimal digit, or -1: HexDigitValue as a table, for the
// runs of digits that make up most of a patch.
inline constexpr std::array<std::int8_t, 256> kHexValue = [] {
    std::array<std::int8_t, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c) {
        table[c] = static_cast<std::int8_t>(HexDigitValue(static_cast<char32_t>(c)));
    }
    return table;
}();

inline bool IsBlank(int c) {
    return c == ' ' || c == '\t';
}

inline bool IsWordCharacter(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

inline bool IsLineEnd(int c) {
    return c == '\r' || c == '\n' || c == kEnd;
}

// Text from the file, quoted for a message: cut short, every byte outside 0x20..0x7E and the
// backslash shown as \xNN.
inline std::string Quote(std::string_view s, bool cut) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E || c == '\\') {
            out += "\\x";
            AppendHexByte(out, c);
        } else {
            out += ch;
        }
    }
    if (cut) {
        out += "...";
    }
    return out + "\"";
}

inline std::string Signed(std::int64_t value) {
    return (value < 0 ? "-" : "+") + FormatAddress(value < 0 ? -value : value);
}

// The text in pieces, read through a window that always holds the characters looked at.
class Input {
  public:
    explicit Input(std::string_view text) : window_(text) {}
    explicit Input(VkpTextPull pull) : pull_(std::move(pull)) {}

    // The character `k` places ahead (0..255), or kEnd.
    int Peek(std::size_t k = 0) {
        if (pos_ + k < window_.size()) [[likely]] {
            return static_cast<unsigned char>(window_[pos_ + k]);
        }
        return PeekAfterRefill(k);
    }
    // Steps over `n` characters of the current line.
    void Skip(std::size_t n = 1) {
        pos_ += n;
        column_ += static_cast<int>(n);
    }
    // Steps over CR LF, LF or a lone CR.
    void SkipLineEnd() {
        if (Peek() == '\r') {
            ++pos_;
            if (Peek() == '\n') {
                ++pos_;
            }
        } else if (Peek() == '\n') {
            ++pos_;
        } else {
            return;
        }
        ++line_;
        column_ = 1;
    }
    // The characters from here to the line end (at most `limit`), and whether more followed.
    std::pair<std::string, bool> RestOfLine(std::size_t limit) {
        std::string s;
        std::size_t k = 0;
        while (!IsLineEnd(Peek(k)) && k < limit) {
            s += static_cast<char>(Peek(k));
            ++k;
        }
        return {s, !IsLineEnd(Peek(k))};
    }
    // The characters already in the window from here on; nothing more is pulled. A caller
    // that reads a long run reads it from here, and Peek takes over at the window's end.
    std::string_view Ahead() const {
        return pos_ < window_.size() ? window_.substr(pos_) : std::string_view();
    }
    int line() const { return line_; }
    int column() const { return column_; }

  private:
    [[gnu::noinline]] int PeekAfterRefill(std::size_t k) {
        return Refill(k) ? static_cast<unsigned char>(window_[pos_ + k]) : kEnd;
    }
    bool Refill(std::size_t k) {
        while (pull_ && pos_ + k >= window_.size()) {
            const std::string_view piece = pull_();
            if (piece.empty()) {
                pull_ = nullptr;
                break;
            }
            std::string next(window_.substr(pos_));
            next.append(piece);
            held_.swap(next);
            window_ = held_;
            pos_ = 0;
        }
        return pos_ + k < window_.size();
    }

    VkpTextPull pull_;
    std::string held_;
    std::string_view window_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace vkp_parse

class VkpSource::Parser {
  public:
    explicit Parser(std::string_view text) : in_(text) {}
    explicit Parser(VkpTextPull pull) : in_(std::move(pull)) {}

    bool Next(VkpRecord& record);

    const std::string& error() const { return error_; }
    const Message& errorMessage() const { return errorMessage_; }
    int errorLine() const { return errorLine_; }
    int errorColumn() const { return errorColumn_; }
    const VkpPragmas& pragmas() const { return pragmas_; }
    std::int64_t offset() const { return offset_; }
    std::vector<VkpWarning> TakeWarnings() { return std::exchange(warnings_, {}); }
    std::size_t moreWarnings() const;

  private:
    // --- Errors and warnings ---------------------------------------------------------------
    void Fail(Message what) { FailAt(in_.line(), in_.column(), std::move(what)); }
    void FailAt(int line, int column, Message what);
    // The first kVkpWarningsKept warnings of the text are kept, the rest only counted, so
    // that no text makes them grow without bound.
    void Warn(int line, Message text);

    // The offending text from here to the next blank or line end, and whether it goes on.
    std::pair<std::string, bool> TokenText();
    std::string Token();

    // The end of the text: what is left switched on or off.
    void Finish();

    // --- Blanks and comments ---------------------------------------------------------------
    static constexpr std::string_view kPragmaWord = "#pragma";
    bool AtPragmaWord(std::size_t k = 0);

    bool AtComment(std::size_t k = 0);

    void SkipToLineEnd();

    // Inside "/*": up to and over the "*/", across lines; stays inside at the end of the text.
    void SkipBlockBody();

    // Blanks and "/* */" comments of this line. A comment still open at the line end ends the
    // statement: the reader stops at the line end, inside the comment.
    void Gap();

    // After a statement: only blanks and comments may follow on the line.
    void ExpectEnd(MessageId what);

    // --- Statements ------------------------------------------------------------------------
    // One statement from the start of a line (or from just after a "*/" that closed a comment
    // of earlier lines); true when it was a record.
    bool Statement(VkpRecord& record);

    // A word of letters, digits and underscores.
    std::string Word();

    void Pragma();

    // Hexadecimal digits with an optional "0x" or "0X", read. Any number of digits; a value
    // above kVkpMaxAddress is kept as kVkpMaxAddress + 1.
    std::size_t TakeHex(std::int64_t& value);

    // "+HEX" or "-HEX": the offset added to every later address. No blank after the sign.
    void Offset();

    // Blanks inside a record; a backslash at the line end joins the next line.
    void RecordGap();

    // Where a record's data ends: the line end or a comment.
    bool AtRecordEnd() { return vkp_parse::IsLineEnd(in_.Peek()) || AtComment(); }
    // A backslash at the line end: the next line goes on with this record.
    bool AtLineJoin() {
        return in_.Peek() == '\\' && vkp_parse::IsLineEnd(in_.Peek(1)) &&
               in_.Peek(1) != vkp_parse::kEnd;
    }

    bool Record(VkpRecord& record);

    // --- Data ------------------------------------------------------------------------------
    // Items, one after the other or joined by commas; a run of commas joins as one, and a
    // comma before a blank or the line end ends the list. A backslash at the line end, straight
    // after an item or a comma, joins the next line to the list.
    bool DataList(Bytes& out);

    // Over a backslash at the line end and the line end: whether the list goes on on the next
    // line (it starts with a digit, a quote or a comma) or ends.
    bool JoinLine();

    // What may follow an item: a comma, a blank, the line end, or (not after a number) a comment.
    bool ItemEnds(bool number);

    // After a string an item of any kind may follow at once.
    bool StringEnds();

    bool Item(Bytes& out);

    static void PutLittleEndian(Bytes& out, std::uint64_t value, std::size_t bytes);

    // Digits of `base` after a two-character prefix; false with an error when a digit of
    // another kind follows.
    std::size_t Digits(int base, std::uint64_t& value, bool& overflow);

    bool HexNumber(Bytes& out);

    bool BinaryNumber(Bytes& out);

    // "0i" decimal: the count of digits sets the width.
    static std::size_t DecimalWidth(std::size_t digits);

    bool DecimalNumber(Bytes& out);

    // Appends one character of a string: a byte in double quotes, a UTF-16LE unit in single.
    static void PutUnit(Bytes& out, std::uint32_t unit, bool wide);

    bool String(Bytes& out, bool wide);

    // A backslash escape, from the backslash on.
    bool Escape(std::uint32_t& unit, bool wide);

    vkp_parse::Input in_;
    std::string error_;
    Message errorMessage_;
    int errorLine_ = 0;
    int errorColumn_ = 0;
    std::vector<VkpWarning> warnings_;
    std::size_t warned_ = 0;  // every warning of the text, kept or not
    VkpPragmas pragmas_;
    std::int64_t offset_ = 0;
    bool inBlock_ = false;
    int blockStart_ = 0;
    bool done_ = false;
};

}  // namespace carillon

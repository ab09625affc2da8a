#include "vkp/reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace carillon {
namespace {

// At most this many characters of an offending text are quoted in an error.
constexpr std::size_t kQuotedLength = 40;
// How far an error looks ahead on its line for a colon, to tell a bad address from a line
// that is no record at all.
constexpr std::size_t kColonLookahead = 4096;
constexpr int kEnd = -1;
// Data longer than the largest image fits no image; it is refused before it is held.
Message TooLong() {
    return Message(MessageId::VkpTooLong, {Message::Arg(std::to_string(kImageBufferSize))});
}

// A message of the reader with plain arguments.
Message Say(MessageId id, std::initializer_list<std::string> args = {}) {
    std::vector<MessageArg> out;
    for (const std::string& a : args) {
        out.push_back(Message::Arg(a));
    }
    return Message(id, std::move(out));
}

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

// The five options and their names in "#pragma" lines.
struct PragmaName {
    std::string_view name;
    bool VkpPragmas::*flag;
};
constexpr std::array<PragmaName, 5> kPragmaNames{{
    {"warn_no_old_on_apply", &VkpPragmas::warnNoOldOnApply},
    {"warn_if_new_exist_on_apply", &VkpPragmas::warnIfNewExistOnApply},
    {"warn_if_old_exist_on_undo", &VkpPragmas::warnIfOldExistOnUndo},
    {"undo", &VkpPragmas::undo},
    {"old_equal_ff", &VkpPragmas::oldEqualFf},
}};

bool IsBlank(int c) {
    return c == ' ' || c == '\t';
}

bool IsWordCharacter(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsLineEnd(int c) {
    return c == '\r' || c == '\n' || c == kEnd;
}

// Text from the file, quoted for a message: cut short, every byte outside 0x20..0x7E and the
// backslash shown as \xNN.
std::string Quote(std::string_view s, bool cut) {
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

std::string Signed(std::int64_t value) {
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

}  // namespace

class VkpSource::Parser {
  public:
    explicit Parser(std::string_view text) : in_(text) {}
    explicit Parser(VkpTextPull pull) : in_(std::move(pull)) {}

    bool Next(VkpRecord& record) {
        while (!done_ && error_.empty()) {
            if (inBlock_) {
                SkipBlockBody();
                if (inBlock_) {  // the text ended inside the comment
                    Warn(blockStart_, Say(MessageId::VkpCommentNeverClosed));
                    Finish();
                    break;
                }
            }
            const bool got = Statement(record);
            if (!error_.empty()) {
                return false;
            }
            if (in_.Peek() == kEnd) {
                if (!inBlock_) {
                    Finish();
                }
            } else if (!inBlock_) {
                in_.SkipLineEnd();
            }
            if (got) {
                return true;
            }
        }
        return false;
    }

    const std::string& error() const { return error_; }
    const Message& errorMessage() const { return errorMessage_; }
    int errorLine() const { return errorLine_; }
    int errorColumn() const { return errorColumn_; }
    const VkpPragmas& pragmas() const { return pragmas_; }
    std::int64_t offset() const { return offset_; }
    std::vector<VkpWarning> TakeWarnings() { return std::exchange(warnings_, {}); }
    std::size_t moreWarnings() const {
        return warned_ > kVkpWarningsKept ? warned_ - kVkpWarningsKept : 0;
    }

  private:
    // --- Errors and warnings ---------------------------------------------------------------
    void Fail(Message what) { FailAt(in_.line(), in_.column(), std::move(what)); }
    void FailAt(int line, int column, Message what) {
        if (!error_.empty()) {
            return;
        }
        errorLine_ = line;
        errorColumn_ = column;
        errorMessage_ = Message(MessageId::VkpErrorAt, {Message::Arg(std::to_string(line)),
                                                        Message::Arg(std::to_string(column)),
                                                        Message::Arg(std::move(what))});
        error_ = English(errorMessage_);
    }
    // The first kVkpWarningsKept warnings of the text are kept, the rest only counted, so
    // that no text makes them grow without bound.
    void Warn(int line, Message text) {
        if (warned_++ >= kVkpWarningsKept) {
            return;
        }
        std::string english = English(text);
        warnings_.push_back({line, std::move(english), std::move(text)});
    }

    // The offending text from here to the next blank or line end, and whether it goes on.
    std::pair<std::string, bool> TokenText() {
        std::string s;
        std::size_t k = 0;
        while (!IsLineEnd(in_.Peek(k)) && !IsBlank(in_.Peek(k)) && k < kQuotedLength) {
            s += static_cast<char>(in_.Peek(k));
            ++k;
        }
        const int next = in_.Peek(k);
        return {s, !IsLineEnd(next) && !IsBlank(next)};
    }
    std::string Token() {
        const auto [s, more] = TokenText();
        return Quote(s, more);
    }

    // The end of the text: what is left switched on or off.
    void Finish() {
        done_ = true;
        // The last line that holds text: a final line end starts no line of its own.
        const int line = in_.column() == 1 && in_.line() > 1 ? in_.line() - 1 : in_.line();
        const VkpPragmas start;
        for (const PragmaName& p : kPragmaNames) {
            if (pragmas_.*p.flag != start.*p.flag) {
                Warn(line, Say(pragmas_.*p.flag ? MessageId::VkpStillEnabled
                                                : MessageId::VkpStillDisabled,
                               {std::string(p.name)}));
            }
        }
        if (offset_ != 0) {
            Warn(line, Say(MessageId::VkpOffsetStillInForce, {Signed(offset_)}));
        }
    }

    // --- Blanks and comments ---------------------------------------------------------------
    static constexpr std::string_view kPragmaWord = "#pragma";
    bool AtPragmaWord(std::size_t k = 0) {
        for (std::size_t i = 0; i < kPragmaWord.size(); ++i) {
            if (in_.Peek(k + i) != static_cast<unsigned char>(kPragmaWord[i])) {
                return false;
            }
        }
        return true;
    }

    bool AtComment(std::size_t k = 0) {
        const int c = in_.Peek(k);
        return c == ';' || c == '#' ||
               (c == '/' && (in_.Peek(k + 1) == '/' || in_.Peek(k + 1) == '*'));
    }

    void SkipToLineEnd() {
        while (!IsLineEnd(in_.Peek())) {
            in_.Skip();
        }
    }

    // Inside "/*": up to and over the "*/", across lines; stays inside at the end of the text.
    void SkipBlockBody() {
        for (;;) {
            const int c = in_.Peek();
            if (c == kEnd) {
                return;
            }
            if (c == '\r' || c == '\n') {
                in_.SkipLineEnd();
            } else if (c == '*' && in_.Peek(1) == '/') {
                in_.Skip(2);
                inBlock_ = false;
                return;
            } else {
                in_.Skip();
            }
        }
    }

    // Blanks and "/* */" comments of this line. A comment still open at the line end ends the
    // statement: the reader stops at the line end, inside the comment.
    void Gap() {
        for (;;) {
            while (IsBlank(in_.Peek())) {
                in_.Skip();
            }
            if (in_.Peek() != '/' || in_.Peek(1) != '*') {
                return;
            }
            inBlock_ = true;
            blockStart_ = in_.line();
            in_.Skip(2);
            while (!IsLineEnd(in_.Peek())) {
                if (in_.Peek() == '*' && in_.Peek(1) == '/') {
                    in_.Skip(2);
                    inBlock_ = false;
                    break;
                }
                in_.Skip();
            }
            if (inBlock_) {
                return;
            }
        }
    }

    // After a statement: only blanks and comments may follow on the line.
    void ExpectEnd(MessageId what) {
        Gap();
        if (inBlock_ || IsLineEnd(in_.Peek())) {
            return;
        }
        if (AtPragmaWord() && (IsBlank(in_.Peek(kPragmaWord.size())) ||
                               IsWordCharacter(in_.Peek(kPragmaWord.size())))) {
            Fail(Say(MessageId::VkpPragmaNotAlone));
        } else if (AtComment()) {
            SkipToLineEnd();
        } else if (in_.Peek() == '*' && in_.Peek(1) == '/') {
            Fail(Say(MessageId::VkpStrayCommentEnd));
        } else {
            Fail(Say(what, {Token()}));
        }
    }

    // --- Statements ------------------------------------------------------------------------
    // One statement from the start of a line (or from just after a "*/" that closed a comment
    // of earlier lines); true when it was a record.
    bool Statement(VkpRecord& record) {
        Gap();
        if (inBlock_ || IsLineEnd(in_.Peek())) {
            return false;
        }
        const int c = in_.Peek();
        if (c == ';' || (c == '/' && in_.Peek(1) == '/')) {
            SkipToLineEnd();
            return false;
        }
        if (c == '*' && in_.Peek(1) == '/') {
            // A stray "*/" at a line's start is noted and stepped over; the line goes on.
            Warn(in_.line(), Say(MessageId::VkpStrayCommentEnd));
            in_.Skip(2);
            return Statement(record);
        }
        if (c == '#') {
            if (!AtPragmaWord()) {
                SkipToLineEnd();
            } else if (IsWordCharacter(in_.Peek(kPragmaWord.size()))) {
                Fail(Say(MessageId::VkpExpectedPragmaGot, {Token()}));  // "#pragmas", "#pragma_x"
            } else if (!IsBlank(in_.Peek(kPragmaWord.size()))) {
                SkipToLineEnd();  // "#pragma" alone, or "#pragma," and the like: a comment
            } else {
                in_.Skip(kPragmaWord.size());
                Pragma();
            }
            return false;
        }
        if (c == '+' || c == '-') {
            Offset();
            return false;
        }
        return Record(record);
    }

    // A word of letters, digits and underscores.
    std::string Word() {
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

    void Pragma() {
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
            Warn(line, Say(on ? MessageId::VkpAlreadyEnabled : MessageId::VkpAlreadyDisabled,
                           {verb, name}));
        }
        pragmas_.*known->flag = on;
        ExpectEnd(MessageId::VkpTextAfterPragma);
    }

    // Hexadecimal digits with an optional "0x" or "0X", read. Any number of digits; a value
    // above kVkpMaxAddress is kept as kVkpMaxAddress + 1.
    std::size_t TakeHex(std::int64_t& value) {
        if (in_.Peek() == '0' && (in_.Peek(1) == 'x' || in_.Peek(1) == 'X') &&
            in_.Peek(2) != kEnd && HexDigitValue(static_cast<char32_t>(in_.Peek(2))) >= 0) {
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
    void Offset() {
        const int column = in_.column();
        const auto [shown, more] = TokenText();
        const bool minus = in_.Peek() == '-';
        in_.Skip();
        std::int64_t value = 0;
        const std::size_t digits = TakeHex(value);
        const int after = in_.Peek();
        if (digits == 0 || value > kVkpMaxAddress ||
            !(IsLineEnd(after) || IsBlank(after) || AtComment())) {
            FailAt(
                in_.line(), column,
                Say(MessageId::VkpBadOffset, {Quote(shown, more), FormatAddress(kVkpMaxAddress)}));
            return;
        }
        offset_ = minus ? -value : value;
        ExpectEnd(MessageId::VkpOffsetUnexpected);
    }

    // Blanks inside a record; a backslash at the line end joins the next line.
    void RecordGap() {
        for (;;) {
            while (IsBlank(in_.Peek())) {
                in_.Skip();
            }
            if (in_.Peek() != '\\' || !IsLineEnd(in_.Peek(1)) || in_.Peek(1) == kEnd) {
                return;
            }
            in_.Skip();
            in_.SkipLineEnd();
        }
    }

    // Where a record's data ends: the line end or a comment.
    bool AtRecordEnd() { return IsLineEnd(in_.Peek()) || AtComment(); }

    bool Record(VkpRecord& record) {
        const int line = in_.line();
        const int column = in_.column();
        // A colon on the line makes it a record with a bad address; else it is no record.
        bool colon = false;
        for (std::size_t i = 0; i < kColonLookahead && !IsLineEnd(in_.Peek(i)) && !colon; ++i) {
            colon = in_.Peek(i) == ':';
        }
        std::string shown;
        for (std::size_t i = 0; colon && in_.Peek(i) != ':' && i < kQuotedLength; ++i) {
            shown += static_cast<char>(in_.Peek(i));
        }
        auto [rest, more] = in_.RestOfLine(kQuotedLength);
        std::int64_t value = 0;
        const std::size_t digits = TakeHex(value);
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
                FailAt(
                    line, oldColumn,
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

    // --- Data ------------------------------------------------------------------------------
    // Items, one after the other or joined by commas; a run of commas joins as one, and a
    // comma before a blank or the line end ends the list.
    bool DataList(Bytes& out) {
        for (;;) {
            const int first = in_.Peek();
            if (!Item(out)) {
                return false;
            }
            if (out.size() > kImageBufferSize) {
                Fail(TooLong());
                return false;
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
    bool ItemEnds(bool number) {
        const int c = in_.Peek();
        if (c == ',' || c == '"' || c == '\'' || IsBlank(c) || IsLineEnd(c)) {
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
    bool StringEnds() {
        const int c = in_.Peek();
        return c != kEnd && HexDigitValue(static_cast<char32_t>(c)) >= 0;
    }

    bool Item(Bytes& out) {
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
        // Pairs of digits, read as they come: a run may be as long as the text.
        const int column = in_.column();
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

    static void PutLittleEndian(Bytes& out, std::uint64_t value, std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i) {
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }

    // Digits of `base` after a two-character prefix; false with an error when a digit of
    // another kind follows.
    std::size_t Digits(int base, std::uint64_t& value, bool& overflow) {
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

    bool HexNumber(Bytes& out) {
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

    bool BinaryNumber(Bytes& out) {
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
    static std::size_t DecimalWidth(std::size_t digits) {
        static constexpr std::array<std::size_t, 21> kWidth = {0, 1, 1, 1, 0, 2, 0, 0, 3, 0, 4,
                                                               0, 0, 5, 0, 6, 0, 7, 0, 0, 8};
        return digits < kWidth.size() ? kWidth[digits] : 0;
    }

    bool DecimalNumber(Bytes& out) {
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

    // Appends one character of a string: a byte in double quotes, a UTF-16LE unit in single.
    static void PutUnit(Bytes& out, std::uint32_t unit, bool wide) {
        out.push_back(static_cast<std::uint8_t>(unit));
        if (wide) {
            out.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
    }

    bool String(Bytes& out, bool wide) {
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
    bool Escape(std::uint32_t& unit, bool wide) {
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
        FailAt(
            in_.line(), column,
            e == 'u' ? Say(MessageId::VkpUOnlySingle) : Say(MessageId::VkpUnknownEscape, {shown}));
        return false;
    }

    Input in_;
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

VkpSource::VkpSource(std::string_view text) : parser_(std::make_unique<Parser>(text)) {}
VkpSource::VkpSource(VkpTextPull pull) : parser_(std::make_unique<Parser>(std::move(pull))) {}
VkpSource::~VkpSource() = default;
bool VkpSource::Next(VkpRecord& record) {
    return parser_->Next(record);
}
bool VkpSource::ok() const {
    return parser_->error().empty();
}
const std::string& VkpSource::error() const {
    return parser_->error();
}

const Message& VkpSource::errorMessage() const {
    return parser_->errorMessage();
}
int VkpSource::errorLine() const {
    return parser_->errorLine();
}
int VkpSource::errorColumn() const {
    return parser_->errorColumn();
}
const VkpPragmas& VkpSource::pragmas() const {
    return parser_->pragmas();
}
std::int64_t VkpSource::offset() const {
    return parser_->offset();
}
std::vector<VkpWarning> VkpSource::TakeWarnings() {
    return parser_->TakeWarnings();
}
std::size_t VkpSource::moreWarnings() const {
    return parser_->moreWarnings();
}

VkpParse ReadVkp(std::string_view text) {
    VkpParse parse;
    VkpSource source(text);
    VkpRecord record;
    while (source.Next(record)) {
        parse.records.push_back(record);
    }
    parse.warnings = source.TakeWarnings();
    parse.moreWarnings = source.moreWarnings();
    if (!source.ok()) {
        parse.records.clear();
        parse.error = source.error();
        parse.errorMessage = source.errorMessage();
        parse.errorLine = source.errorLine();
        parse.errorColumn = source.errorColumn();
    }
    return parse;
}

std::int64_t VkpAddressToImageOffset(ImageKind kind, std::int64_t address) {
    return FlashOffsetToImageOffset(kind, address);
}

std::string CommentSafe(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '_';
        }
    }
    return out;
}

}  // namespace carillon

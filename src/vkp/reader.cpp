// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/parser.h"

#include <algorithm>
#include <utility>

namespace carillon {

using namespace vkp_parse;

bool VkpSource::Parser::Next(VkpRecord& record) {
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

std::size_t VkpSource::Parser::moreWarnings() const {
    return warned_ > kVkpWarningsKept ? warned_ - kVkpWarningsKept : 0;
}

void VkpSource::Parser::FailAt(int line, int column, Message what) {
    if (!error_.empty()) {
        return;
    }
    errorLine_ = line;
    errorColumn_ = column;
    errorMessage_ = Message(MessageId::VkpErrorAt,
                            {Message::Arg(std::to_string(line)),
                             Message::Arg(std::to_string(column)), Message::Arg(std::move(what))});
    error_ = English(errorMessage_);
}

// The first kVkpWarningsKept warnings of the text are kept, the rest only counted, so
// that no text makes them grow without bound.
void VkpSource::Parser::Warn(int line, Message text) {
    if (warned_++ >= kVkpWarningsKept) {
        return;
    }
    std::string english = English(text);
    warnings_.push_back({line, std::move(english), std::move(text)});
}

// The offending text from here to the next blank or line end, and whether it goes on.
std::pair<std::string, bool> VkpSource::Parser::TokenText() {
    std::string s;
    std::size_t k = 0;
    while (!IsLineEnd(in_.Peek(k)) && !IsBlank(in_.Peek(k)) && k < kQuotedLength) {
        s += static_cast<char>(in_.Peek(k));
        ++k;
    }
    const int next = in_.Peek(k);
    return {s, !IsLineEnd(next) && !IsBlank(next)};
}

std::string VkpSource::Parser::Token() {
    const auto [s, more] = TokenText();
    return Quote(s, more);
}

// The end of the text: what is left switched on or off.
void VkpSource::Parser::Finish() {
    done_ = true;
    // The last line that holds text: a final line end starts no line of its own.
    const int line = in_.column() == 1 && in_.line() > 1 ? in_.line() - 1 : in_.line();
    const VkpPragmas start;
    for (const PragmaName& p : kPragmaNames) {
        if (pragmas_.*p.flag != start.*p.flag) {
            Warn(line,
                 Say(pragmas_.*p.flag ? MessageId::VkpStillEnabled : MessageId::VkpStillDisabled,
                     {std::string(p.name)}));
        }
    }
    if (offset_ != 0) {
        Warn(line, Say(MessageId::VkpOffsetStillInForce, {Signed(offset_)}));
    }
}

bool VkpSource::Parser::AtPragmaWord(std::size_t k) {
    for (std::size_t i = 0; i < kPragmaWord.size(); ++i) {
        if (in_.Peek(k + i) != static_cast<unsigned char>(kPragmaWord[i])) {
            return false;
        }
    }
    return true;
}

bool VkpSource::Parser::AtComment(std::size_t k) {
    const int c = in_.Peek(k);
    return c == ';' || c == '#' || (c == '/' && (in_.Peek(k + 1) == '/' || in_.Peek(k + 1) == '*'));
}

void VkpSource::Parser::SkipToLineEnd() {
    while (!IsLineEnd(in_.Peek())) {
        in_.Skip();
    }
}

// Inside "/*": up to and over the "*/", across lines; stays inside at the end of the text.
void VkpSource::Parser::SkipBlockBody() {
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
void VkpSource::Parser::Gap() {
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
void VkpSource::Parser::ExpectEnd(MessageId what) {
    Gap();
    if (inBlock_ || IsLineEnd(in_.Peek())) {
        return;
    }
    if (AtPragmaWord() &&
        (IsBlank(in_.Peek(kPragmaWord.size())) || IsWordCharacter(in_.Peek(kPragmaWord.size())))) {
        Fail(Say(MessageId::VkpPragmaNotAlone));
    } else if (AtComment()) {
        SkipToLineEnd();
    } else if (in_.Peek() == '*' && in_.Peek(1) == '/') {
        Fail(Say(MessageId::VkpStrayCommentEnd));
    } else {
        Fail(Say(what, {Token()}));
    }
}

// One statement from the start of a line (or from just after a "*/" that closed a comment
// of earlier lines); true when it was a record.
bool VkpSource::Parser::Statement(VkpRecord& record) {
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

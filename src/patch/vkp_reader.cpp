#include "patch/vkp_reader.h"

#include <algorithm>
#include <optional>
#include <span>

namespace carillon {
namespace {

constexpr std::string_view kPragma = "#pragma";
constexpr std::string_view kOldEqualFf = "old_equal_ff";
// At most this many characters of an offending text are quoted in an error.
constexpr std::size_t kQuotedLength = 40;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Text from the file, quoted for an error message: cut short, every byte outside 0x20..0x7E
// shown as \xNN.
std::string Quote(std::string_view s) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size() && i < kQuotedLength; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c > 0x7E || c == '\\') {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (s.size() > kQuotedLength) {
        out += "...";
    }
    return out + "\"";
}

// Hexadecimal number with an optional "0x", at most eight digits.
std::optional<std::int64_t> ParseNumber(std::string_view s) {
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > kVkpMaxAddressDigits) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + d;
    }
    return value;
}

// Bytes written as pairs of hexadecimal digits.
std::optional<Bytes> ParseBytes(std::string_view s) {
    if (s.empty() || s.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(s.size() / 2);
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = HexDigit(s[i]);
        const int lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::vector<std::string_view> SplitBlanks(std::string_view s) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    while (at < s.size()) {
        while (at < s.size() && IsBlank(s[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < s.size() && !IsBlank(s[end])) {
            ++end;
        }
        if (end > at) {
            parts.push_back(s.substr(at, end - at));
        }
        at = end;
    }
    return parts;
}

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    VkpParse Run() {
        std::size_t at = 0;
        int number = 0;
        while (at < text_.size() && result_.ok()) {
            ++number;
            std::size_t end = at;
            while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') {
                ++end;
            }
            Line(number, text_.substr(at, end - at));
            // CR LF, LF or a lone CR ends the line.
            at = end;
            if (at < text_.size() && text_[at] == '\r') {
                ++at;
                if (at < text_.size() && text_[at] == '\n') {
                    ++at;
                }
            } else if (at < text_.size()) {
                ++at;
            }
        }
        if (result_.ok() && inBlock_) {
            Fail(blockStart_, "comment \"/*\" is never closed");
        }
        return std::move(result_);
    }

  private:
    void Fail(int line, const std::string& what) {
        result_.errorLine = line;
        result_.error = "line " + std::to_string(line) + ": " + what;
    }

    // Removes the comments of one line, then reads what is left.
    void Line(int number, std::string_view line) {
        code_.clear();
        std::size_t i = 0;
        while (i < line.size()) {
            if (inBlock_) {
                const std::size_t close = line.find("*/", i);
                if (close == std::string_view::npos) {
                    break;
                }
                inBlock_ = false;
                code_ += ' ';
                i = close + 2;
                continue;
            }
            const char c = line[i];
            const char next = i + 1 < line.size() ? line[i + 1] : '\0';
            if (c == ';' || (c == '/' && next == '/')) {
                break;
            }
            if (c == '/' && next == '*') {
                inBlock_ = true;
                blockStart_ = number;
                i += 2;
                continue;
            }
            if (c == '#') {
                const std::string_view rest = line.substr(i);
                const bool pragma =
                    Trim(code_).empty() && rest.starts_with(kPragma) &&
                    (rest.size() == kPragma.size() || IsBlank(rest[kPragma.size()]));
                if (!pragma) {
                    break;
                }
                code_ += kPragma;
                i += kPragma.size();
                continue;
            }
            code_ += c;
            ++i;
        }
        Statement(number, Trim(code_));
    }

    void Statement(int number, std::string_view code) {
        if (code.empty()) {
            return;
        }
        if (code.starts_with(kPragma)) {
            Pragma(number, code);
        } else if (code[0] == '+' || code[0] == '-') {
            Offset(number, code);
        } else {
            Record(number, code);
        }
    }

    void Pragma(int number, std::string_view code) {
        const std::vector<std::string_view> parts = SplitBlanks(code);
        if (parts.size() != 3 || (parts[1] != "enable" && parts[1] != "disable")) {
            Fail(number, "expected \"#pragma enable NAME\" or \"#pragma disable NAME\", got " +
                             Quote(code));
            return;
        }
        if (parts[2] == kOldEqualFf) {
            oldEqualFf_ = parts[1] == "enable";
        }
    }

    void Offset(int number, std::string_view code) {
        const std::optional<std::int64_t> value = ParseNumber(Trim(code.substr(1)));
        if (!value) {
            Fail(number, "bad offset " + Quote(code) + " (expected +HEX or -HEX, at most " +
                             std::to_string(kVkpMaxAddressDigits) + " digits)");
            return;
        }
        offset_ = code[0] == '-' ? -*value : *value;
    }

    void Record(int number, std::string_view code) {
        const std::size_t colon = code.find(':');
        if (colon == std::string_view::npos) {
            Fail(number, "not a record, offset or pragma: " + Quote(code));
            return;
        }
        const std::string_view addressText = Trim(code.substr(0, colon));
        const std::optional<std::int64_t> address = ParseNumber(addressText);
        if (!address) {
            Fail(number, "bad address " + Quote(addressText) + " (expected hexadecimal, at most " +
                             std::to_string(kVkpMaxAddressDigits) + " digits)");
            return;
        }
        const std::vector<std::string_view> parts = SplitBlanks(code.substr(colon + 1));
        if (parts.empty() || parts.size() > 2) {
            Fail(number, parts.empty() ? "record without data"
                                       : "record with more than old and new data: " + Quote(code));
            return;
        }
        std::vector<Bytes> data;
        for (std::string_view part : parts) {
            std::optional<Bytes> bytes = ParseBytes(part);
            if (!bytes) {
                Fail(number, Quote(part) + " is not bytes in hexadecimal (two digits each)");
                return;
            }
            data.push_back(std::move(*bytes));
        }
        VkpRecord record;
        record.line = number;
        record.address = *address + offset_;
        record.newBytes = std::move(data.back());
        if (data.size() == 2) {
            if (data[0].size() < record.newBytes.size()) {
                Fail(number, "old data (" + std::to_string(data[0].size()) +
                                 " bytes) is shorter than new data (" +
                                 std::to_string(record.newBytes.size()) + " bytes)");
                return;
            }
            data[0].resize(record.newBytes.size());
            record.oldBytes = std::move(data[0]);
        } else if (oldEqualFf_) {
            record.oldBytes.assign(record.newBytes.size(), 0xFF);
        } else {
            record.oldKnown = false;
        }
        result_.records.push_back(std::move(record));
    }

    std::string_view text_;
    VkpParse result_;
    std::string code_;
    bool inBlock_ = false;
    int blockStart_ = 0;
    bool oldEqualFf_ = false;
    std::int64_t offset_ = 0;
};

using RangeView = std::pair<std::int64_t, std::span<std::uint8_t>>;

std::string ReplayOnto(const std::vector<VkpRecord>& records, ImageKind kind,
                       std::span<RangeView> ranges) {
    for (const VkpRecord& r : records) {
        const std::int64_t at = VkpAddressToImageOffset(kind, r.address);
        const auto count = static_cast<std::int64_t>(r.newBytes.size());
        const auto range = std::find_if(ranges.begin(), ranges.end(), [&](const RangeView& v) {
            return InImage(at - v.first, count, v.second.size());
        });
        const std::string where =
            "line " + std::to_string(r.line) + ": " + FormatAddress(r.address) + ": ";
        if (range == ranges.end()) {
            return where + std::to_string(count) + " bytes outside the bytes patched";
        }
        const std::span<std::uint8_t> bytes =
            range->second.subspan(static_cast<std::size_t>(at - range->first), r.newBytes.size());
        if (r.oldKnown) {
            const auto diff = std::mismatch(bytes.begin(), bytes.end(), r.oldBytes.begin());
            if (diff.first != bytes.end()) {
                const auto i = diff.first - bytes.begin();
                return where + "old byte " + HexBytes(ByteView(&*diff.second, 1)) + " at " +
                       FormatAddress(r.address + i) + ", found " +
                       HexBytes(ByteView(&*diff.first, 1));
            }
        }
        std::copy(r.newBytes.begin(), r.newBytes.end(), bytes.begin());
    }
    return {};
}

}  // namespace

VkpParse ReadVkp(std::string_view text) {
    return Reader(text).Run();
}

std::int64_t VkpAddressToImageOffset(ImageKind kind, std::int64_t address) {
    return FlashOffsetToImageOffset(kind, address);
}

std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind,
                      std::vector<ByteEdit>& ranges) {
    std::vector<RangeView> views;
    for (ByteEdit& r : ranges) {
        views.emplace_back(r.offset, std::span<std::uint8_t>(r.bytes));
    }
    return ReplayOnto(records, kind, views);
}

std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& image) {
    RangeView whole{0, std::span<std::uint8_t>(image)};
    return ReplayOnto(records, kind, std::span<RangeView>(&whole, 1));
}

std::string VerifyPatchText(std::string_view text, ImageKind kind,
                            const std::vector<ByteEdit>& before,
                            const std::vector<ByteEdit>& after) {
    const VkpParse parsed = ReadVkp(text);
    if (!parsed.ok()) {
        return parsed.error;
    }
    std::vector<ByteEdit> replayed = before;
    std::string failure = ReplayVkp(parsed.records, kind, replayed);
    if (!failure.empty()) {
        return failure;
    }
    if (replayed.size() != after.size()) {
        return "it covers other bytes than the ones built";
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        const Bytes& got = replayed[i].bytes;
        const Bytes& want = after[i].bytes;
        if (replayed[i].offset != after[i].offset || got.size() != want.size()) {
            return "it covers other bytes than the ones built";
        }
        const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
        if (diff.first != got.end()) {
            const std::int64_t at = after[i].offset + (diff.first - got.begin());
            return "image offset " + FormatAddress(at) + " would become " +
                   HexBytes(ByteView(&*diff.first, 1)) + ", not " +
                   HexBytes(ByteView(&*diff.second, 1));
        }
    }
    return {};
}

std::string_view StatusWord(RecordStatus status) {
    switch (status) {
        case RecordStatus::Applies:
        case RecordStatus::Both:
            return "applies";
        case RecordStatus::Applied:
            return "applied";
        case RecordStatus::Conflict:
            return "conflict";
        case RecordStatus::Outside:
            return "outside";
        case RecordStatus::Unchecked:
            return "unchecked";
    }
    return "unchecked";
}

bool VkpCheck::Passes() const {
    const int total = static_cast<int>(records.size());
    const int both =
        static_cast<int>(std::count_if(records.begin(), records.end(), [](const RecordCheck& r) {
            return r.status == RecordStatus::Both;
        }));
    return applies + unchecked == total || applied + both == total;
}

std::string VkpCheck::CountsLine() const {
    return std::to_string(records.size()) + " records: " + std::to_string(applies) + " apply, " +
           std::to_string(applied) + " applied, " + std::to_string(conflict) + " conflict, " +
           std::to_string(outside) + " outside, " + std::to_string(unchecked) + " unchecked";
}

VkpCheck CheckVkp(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image) {
    VkpCheck check;
    check.records.reserve(records.size());
    for (const VkpRecord& r : records) {
        RecordCheck c;
        c.record = &r;
        c.offset = VkpAddressToImageOffset(kind, r.address);
        const std::size_t n = r.newBytes.size();
        if (!InImage(c.offset, static_cast<std::int64_t>(n), image.size())) {
            c.status = RecordStatus::Outside;
            ++check.outside;
            check.records.push_back(std::move(c));
            continue;
        }
        const ByteView here = image.subspan(static_cast<std::size_t>(c.offset), n);
        const bool newThere = std::equal(here.begin(), here.end(), r.newBytes.begin());
        const bool oldThere =
            r.oldKnown && std::equal(here.begin(), here.end(), r.oldBytes.begin());
        if (oldThere) {
            c.status = newThere ? RecordStatus::Both : RecordStatus::Applies;
            ++check.applies;
        } else if (newThere) {
            c.status = RecordStatus::Applied;
            ++check.applied;
        } else if (!r.oldKnown) {
            c.status = RecordStatus::Unchecked;
            ++check.unchecked;
        } else {
            c.status = RecordStatus::Conflict;
            ++check.conflict;
            const auto diff = std::mismatch(here.begin(), here.end(), r.oldBytes.begin());
            const auto first = static_cast<std::size_t>(diff.first - here.begin());
            const std::size_t shown = std::min(kConflictShown, n - first);
            c.offset += static_cast<std::int64_t>(first);
            c.expected.assign(r.oldBytes.begin() + static_cast<std::ptrdiff_t>(first),
                              r.oldBytes.begin() + static_cast<std::ptrdiff_t>(first + shown));
            c.found.assign(here.begin() + static_cast<std::ptrdiff_t>(first),
                           here.begin() + static_cast<std::ptrdiff_t>(first + shown));
        }
        check.records.push_back(std::move(c));
    }
    return check;
}

std::string HexBytes(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

}  // namespace carillon

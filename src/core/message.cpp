// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/message.h"

#include <algorithm>

namespace carillon {
namespace {

constexpr MessagePattern kPatterns[] = {
    {MessageId::Plain, "Plain", "%1"},
#define CARILLON_MESSAGE(id, english) {MessageId::id, #id, english},
#include "core/message_ids.inc"
#undef CARILLON_MESSAGE
};

}  // namespace

std::span<const MessagePattern> MessagePatterns() {
    return kPatterns;
}

std::string_view EnglishPattern(MessageId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < std::size(kPatterns) ? kPatterns[index].english : std::string_view("%1");
}

int PlaceholderCount(std::string_view pattern) {
    int count = 0;
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '%' && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            count = std::max(count, pattern[i + 1] - '0');
        }
    }
    return count;
}

std::string FillPattern(std::string_view pattern, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string English(const Message& message) {
    if (message.empty()) {
        return {};
    }
    std::vector<std::string> args;
    args.reserve(message.args().size());
    for (const MessageArg& a : message.args()) {
        args.push_back(a.message ? English(*a.message) : a.text);
    }
    return FillPattern(EnglishPattern(message.id()), args);
}

std::string English(const MessageLines& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += "\r\n";
        }
        out += English(lines[i]);
    }
    return out;
}

}  // namespace carillon

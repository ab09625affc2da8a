// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/patch_append.h"

#include <memory>
#include <vector>

#include "vkp/reader.h"

namespace carillon {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool SameRecord(const VkpRecord& a, const VkpRecord& b) {
    return a.address == b.address && a.oldKnown == b.oldKnown && a.oldBytes == b.oldBytes &&
           a.newBytes == b.newBytes && a.pragmas == b.pragmas;
}

// The pragma lines that take `now` back to the start values.
std::string PragmasBack(const VkpPragmas& now) {
    const VkpPragmas start;
    struct Option {
        const char* name;
        bool VkpPragmas::*value;
    };
    constexpr Option kOptions[] = {
        {"warn_no_old_on_apply", &VkpPragmas::warnNoOldOnApply},
        {"warn_if_new_exist_on_apply", &VkpPragmas::warnIfNewExistOnApply},
        {"warn_if_old_exist_on_undo", &VkpPragmas::warnIfOldExistOnUndo},
        {"undo", &VkpPragmas::undo},
        {"old_equal_ff", &VkpPragmas::oldEqualFf},
    };
    std::string lines;
    for (const Option& o : kOptions) {
        if (now.*o.value != start.*o.value) {
            lines += std::string("#pragma ") + (start.*o.value ? "enable " : "disable ") + o.name;
            lines += kLineEnd;
        }
    }
    return lines;
}

struct AppendState {
    std::string_view block;
    std::size_t recordsBefore = 0;
};

AppendHooks::Lead Lead(AppendState& state, const FilePull& existing, std::uint64_t size) {
    if (size > kVkpTextLimit) {
        return {
            {},
            Message(MessageId::FileTooLargeLimit, {Message::Arg(std::to_string(size)),
                                                   Message::Arg(std::to_string(kVkpTextLimit))})};
    }
    bool zeroByte = false;
    char last = '\n';
    VkpSource source([&]() -> std::string_view {
        const std::string_view piece = existing();
        if (!piece.empty()) {
            zeroByte = zeroByte || piece.find('\0') != std::string_view::npos;
            last = piece.back();
        }
        return piece;
    });
    VkpRecord record;
    std::size_t records = 0;
    while (source.Next(record)) {
        ++records;
    }
    if (zeroByte) {
        return {{}, Message(MessageId::AppendNotText)};
    }
    if (!source.ok()) {
        return {{}, Message(MessageId::AppendNotAPatch, {Message::Arg(source.errorMessage())})};
    }
    bool openComment = false;
    for (const VkpWarning& w : source.TakeWarnings()) {
        openComment = openComment || w.message.id() == MessageId::VkpCommentNeverClosed;
    }
    std::string text;
    if (last != '\n' && last != '\r') {
        text += kLineEnd;
    }
    if (openComment) {
        text += "*/";
        text += kLineEnd;
    }
    if (source.offset() != 0) {
        text += "+0";
        text += kLineEnd;
    }
    text += PragmasBack(source.pragmas());
    state.recordsBefore = records;
    return {text, {}};
}

Message Whole(const AppendState& state, const FilePull& whole) {
    const VkpParse alone = ReadVkp(state.block);
    VkpSource source(whole);
    VkpRecord record;
    std::size_t index = 0;
    bool same = alone.ok();
    while (same && source.Next(record)) {
        if (index >= state.recordsBefore) {
            const std::size_t at = index - state.recordsBefore;
            same = at < alone.records.size() && SameRecord(record, alone.records[at]);
        }
        ++index;
    }
    if (!same || !source.ok() || index != state.recordsBefore + alone.records.size()) {
        return Message(MessageId::AppendReadsOtherwise);
    }
    return {};
}

}  // namespace

AppendHooks PatchAppendHooks(std::string_view block) {
    auto state = std::make_shared<AppendState>();
    state->block = block;
    AppendHooks hooks;
    hooks.lead = [state](const FilePull& existing, std::uint64_t size) {
        return Lead(*state, existing, size);
    };
    hooks.whole = [state](const FilePull& whole, std::uint64_t) { return Whole(*state, whole); };
    return hooks;
}

}  // namespace carillon

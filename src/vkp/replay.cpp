// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/replay.h"

#include <algorithm>
#include <utility>

namespace carillon {
namespace {

using RangeView = std::pair<std::int64_t, std::span<std::uint8_t>>;

// Replays one record onto the range that holds it; `hint` is the range of the record before,
// looked at first (a patch's records mostly come in the order of its ranges).
Message ReplayRecord(const VkpRecord& r, ImageKind kind, std::span<RangeView> ranges,
                     std::size_t& hint) {
    const std::int64_t at = VkpAddressToImageOffset(kind, r.address);
    const auto count = static_cast<std::int64_t>(r.Span());
    const auto holds = [&](const RangeView& v) {
        return InImage(at - v.first, count, v.second.size());
    };
    if (hint >= ranges.size() || !holds(ranges[hint])) {
        hint = static_cast<std::size_t>(std::find_if(ranges.begin(), ranges.end(), holds) -
                                        ranges.begin());
        if (hint == ranges.size()) {
            return Message(MessageId::ReplayOutside, {Message::Arg(std::to_string(r.line)),
                                                      Message::Arg(FormatAddress(r.address)),
                                                      Message::Arg(std::to_string(count))});
        }
    }
    const RangeView& range = ranges[hint];
    const std::span<std::uint8_t> bytes =
        range.second.subspan(static_cast<std::size_t>(at - range.first), r.Span());
    if (r.oldKnown) {
        const auto diff = std::mismatch(bytes.begin(), bytes.end(), r.oldBytes.begin());
        if (diff.first != bytes.end()) {
            const auto i = diff.first - bytes.begin();
            return Message(
                MessageId::ReplayOldByte,
                {Message::Arg(std::to_string(r.line)), Message::Arg(FormatAddress(r.address)),
                 Message::Arg(HexBytes(ByteView(&*diff.second, 1))),
                 Message::Arg(FormatAddress(r.address + i)),
                 Message::Arg(HexBytes(ByteView(&*diff.first, 1)))});
        }
    }
    std::copy(r.newBytes.begin(), r.newBytes.end(), bytes.begin());
    return {};
}

Message ReplayOnto(const std::vector<VkpRecord>& records, ImageKind kind,
                   std::span<RangeView> ranges) {
    std::size_t hint = 0;
    for (const VkpRecord& r : records) {
        if (Message failure = ReplayRecord(r, kind, ranges, hint); !failure.empty()) {
            return failure;
        }
    }
    return {};
}

std::vector<RangeView> Views(std::vector<ByteEdit>& ranges) {
    std::vector<RangeView> views;
    for (ByteEdit& r : ranges) {
        views.emplace_back(r.offset, std::span<std::uint8_t>(r.bytes));
    }
    return views;
}

}  // namespace

Message ReplayVkpMessage(const std::vector<VkpRecord>& records, ImageKind kind,
                         std::vector<ByteEdit>& ranges) {
    std::vector<RangeView> views = Views(ranges);
    return ReplayOnto(records, kind, views);
}

std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind,
                      std::vector<ByteEdit>& ranges) {
    return English(ReplayVkpMessage(records, kind, ranges));
}

std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& image) {
    RangeView whole{0, std::span<std::uint8_t>(image)};
    return English(ReplayOnto(records, kind, std::span<RangeView>(&whole, 1)));
}

std::string VerifyPatchText(std::string_view text, ImageKind kind,
                            const std::vector<ByteEdit>& before,
                            const std::vector<ByteEdit>& after) {
    return English(VerifyPatchMessage(text, kind, before, after));
}

Message VerifyPatchMessage(std::string_view text, ImageKind kind,
                           const std::vector<ByteEdit>& before,
                           const std::vector<ByteEdit>& after) {
    // One pass over the text: each record is replayed as it is read, none is kept.
    std::vector<ByteEdit> replayed = before;
    std::vector<RangeView> views = Views(replayed);
    VkpSource source(text);
    VkpRecord record;
    std::size_t hint = 0;
    while (source.Next(record)) {
        if (Message failure = ReplayRecord(record, kind, views, hint); !failure.empty()) {
            return failure;
        }
    }
    if (!source.ok()) {
        return source.errorMessage();
    }
    if (replayed.size() != after.size()) {
        return Message(MessageId::ReplayOtherBytes);
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        const Bytes& got = replayed[i].bytes;
        const Bytes& want = after[i].bytes;
        if (replayed[i].offset != after[i].offset || got.size() != want.size()) {
            return Message(MessageId::ReplayOtherBytes);
        }
        const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
        if (diff.first != got.end()) {
            const std::int64_t at = after[i].offset + (diff.first - got.begin());
            return Message(
                MessageId::ReplayWouldBecome,
                {Message::Arg(FormatAddress(at)), Message::Arg(HexBytes(ByteView(&*diff.first, 1))),
                 Message::Arg(HexBytes(ByteView(&*diff.second, 1)))});
        }
    }
    return {};
}

}  // namespace carillon

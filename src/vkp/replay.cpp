#include "vkp/replay.h"

#include <algorithm>
#include <utility>

namespace carillon {
namespace {

using RangeView = std::pair<std::int64_t, std::span<std::uint8_t>>;

Message ReplayOnto(const std::vector<VkpRecord>& records, ImageKind kind,
                   std::span<RangeView> ranges) {
    for (const VkpRecord& r : records) {
        const std::int64_t at = VkpAddressToImageOffset(kind, r.address);
        const auto count = static_cast<std::int64_t>(r.Span());
        const auto range = std::find_if(ranges.begin(), ranges.end(), [&](const RangeView& v) {
            return InImage(at - v.first, count, v.second.size());
        });
        const MessageArg line = Message::Arg(std::to_string(r.line));
        const MessageArg address = Message::Arg(FormatAddress(r.address));
        if (range == ranges.end()) {
            return Message(MessageId::ReplayOutside,
                           {line, address, Message::Arg(std::to_string(count))});
        }
        const std::span<std::uint8_t> bytes =
            range->second.subspan(static_cast<std::size_t>(at - range->first), r.Span());
        if (r.oldKnown) {
            const auto diff = std::mismatch(bytes.begin(), bytes.end(), r.oldBytes.begin());
            if (diff.first != bytes.end()) {
                const auto i = diff.first - bytes.begin();
                return Message(MessageId::ReplayOldByte,
                               {line, address, Message::Arg(HexBytes(ByteView(&*diff.second, 1))),
                                Message::Arg(FormatAddress(r.address + i)),
                                Message::Arg(HexBytes(ByteView(&*diff.first, 1)))});
            }
        }
        std::copy(r.newBytes.begin(), r.newBytes.end(), bytes.begin());
    }
    return {};
}

}  // namespace

Message ReplayVkpMessage(const std::vector<VkpRecord>& records, ImageKind kind,
                         std::vector<ByteEdit>& ranges) {
    std::vector<RangeView> views;
    for (ByteEdit& r : ranges) {
        views.emplace_back(r.offset, std::span<std::uint8_t>(r.bytes));
    }
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
    const VkpParse parsed = ReadVkp(text);
    if (!parsed.ok()) {
        return parsed.errorMessage;
    }
    std::vector<ByteEdit> replayed = before;
    Message failure = ReplayVkpMessage(parsed.records, kind, replayed);
    if (!failure.empty()) {
        return failure;
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

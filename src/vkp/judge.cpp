// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/judge.h"

#include <algorithm>
#include <utility>

namespace carillon {
namespace {

// A message with plain arguments.
Message Say(MessageId id, std::initializer_list<std::string> args = {}) {
    std::vector<MessageArg> out;
    for (const std::string& a : args) {
        out.push_back(Message::Arg(a));
    }
    return Message(id, std::move(out));
}

bool Equal(std::span<const std::uint8_t> a, const Bytes& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace

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

VkpJudge::VkpJudge(ImageKind kind, std::span<std::uint8_t> copy, JudgeDirection direction,
                   bool noteOverlaps)
    : kind_(kind), copy_(copy), direction_(direction) {
    if (noteOverlaps) {
        lastLine_.assign(copy.size(), 0);
    }
}

RecordCheck VkpJudge::Judge(const VkpRecord& record) {
    RecordCheck c;
    c.line = record.line;
    c.address = record.address;
    c.size = record.Span();
    c.offset = VkpAddressToImageOffset(kind_, record.address);
    if (!InImage(c.offset, static_cast<std::int64_t>(c.size), copy_.size())) {
        c.status = RecordStatus::Outside;
        return c;
    }
    const auto at = static_cast<std::size_t>(c.offset);
    const std::span<std::uint8_t> here = copy_.subspan(at, c.size);
    if (!lastLine_.empty()) {
        const auto lines = std::span(lastLine_).subspan(at, c.size);
        c.overlapsLine = *std::max_element(lines.begin(), lines.end());
        std::fill(lines.begin(), lines.end(), record.line);
    }
    const bool apply = direction_ == JudgeDirection::Apply;
    // What must be there, and what is written there: old data longer than the new is checked
    // whole, and its rest stays as it is.
    const Bytes after = record.After();
    const Bytes* want = apply ? (record.oldKnown ? &record.oldBytes : nullptr) : &after;
    const Bytes* put = apply ? &after : (record.oldKnown ? &record.oldBytes : nullptr);
    if (want == nullptr) {
        c.status = RecordStatus::Unchecked;
    } else if (Equal(here, *want)) {
        c.status = put != nullptr && *put == *want ? RecordStatus::Both : RecordStatus::Applies;
    } else if (put != nullptr && Equal(here, *put)) {
        c.status = RecordStatus::Applied;
        return c;
    } else {
        c.status = RecordStatus::Conflict;
        const auto diff = std::mismatch(here.begin(), here.end(), want->begin());
        const auto first = static_cast<std::size_t>(diff.first - here.begin());
        const std::size_t shown = std::min(kConflictShown, c.size - first);
        c.offset += static_cast<std::int64_t>(first);
        c.expected.assign(want->begin() + static_cast<std::ptrdiff_t>(first),
                          want->begin() + static_cast<std::ptrdiff_t>(first + shown));
        c.found.assign(here.begin() + static_cast<std::ptrdiff_t>(first),
                       here.begin() + static_cast<std::ptrdiff_t>(first + shown));
        return c;
    }
    if (put != nullptr) {
        std::copy(put->begin(), put->end(), here.begin());
    }
    return c;
}

VkpInPlaceJudge::VkpInPlaceJudge(ImageKind kind, ByteView image)
    : kind_(kind), image_(image), pendingValue_(image.size()), pending_(image.size()) {}

// Judged last first, with old and new swapped, record k finds at each of its bytes the old
// byte of the first later record with old bytes that covers it (records without old bytes
// write nothing back), or the image's byte when there is none. So, first to last: a byte's
// pending value is the new byte of the records since the last one with old bytes; the next
// record with old bytes there must have it as its old byte, and the image must hold what is
// still pending at the end.
void VkpInPlaceJudge::Add(const VkpRecord& record) {
    if (failed_) {
        return;
    }
    const std::int64_t offset = VkpAddressToImageOffset(kind_, record.address);
    const std::size_t n = record.Span();
    if (!InImage(offset, static_cast<std::int64_t>(n), image_.size())) {
        failed_ = true;
        return;
    }
    const auto at = static_cast<std::size_t>(offset);
    const std::size_t written = record.newBytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t p = at + i;
        const std::uint8_t now = i < written ? record.newBytes[i] : record.oldBytes[i];
        if (pending_[p]) {
            const std::uint8_t must = record.oldKnown ? record.oldBytes[i] : now;
            if (pendingValue_[p] != must) {
                failed_ = true;
                return;
            }
        }
        pending_[p] = true;
        pendingValue_[p] = now;
    }
}

bool VkpInPlaceJudge::Passes() {
    for (std::size_t p = 0; p < image_.size() && !failed_; ++p) {
        failed_ = pending_[p] && pendingValue_[p] != image_[p];
    }
    return !failed_;
}

void VkpCounts::Count(RecordStatus status) {
    ++records;
    switch (status) {
        case RecordStatus::Both:
            ++both;
            ++applies;
            break;
        case RecordStatus::Applies:
            ++applies;
            break;
        case RecordStatus::Applied:
            ++applied;
            break;
        case RecordStatus::Conflict:
            ++conflict;
            break;
        case RecordStatus::Outside:
            ++outside;
            break;
        case RecordStatus::Unchecked:
            ++unchecked;
            break;
    }
}

Message VkpCounts::CountsMessage() const {
    return Say(MessageId::CheckCounts,
               {std::to_string(records), std::to_string(applies), std::to_string(applied),
                std::to_string(conflict), std::to_string(outside), std::to_string(unchecked)});
}

RecordCheck VerdictWithoutJudging(const VkpRecord& record, ImageKind kind, RecordStatus status) {
    RecordCheck c;
    c.line = record.line;
    c.address = record.address;
    c.size = record.Span();
    c.offset = VkpAddressToImageOffset(kind, record.address);
    c.status = status;
    return c;
}

RecordCheck InPlaceCheck(const VkpRecord& record, ImageKind kind) {
    return VerdictWithoutJudging(record, kind,
                                 record.oldKnown && record.oldBytes == record.After()
                                     ? RecordStatus::Both
                                     : RecordStatus::Applied);
}

VkpCheck CheckVkp(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image) {
    VkpCheck check;
    VkpInPlaceJudge inPlace(kind, image);
    for (const VkpRecord& r : records) {
        inPlace.Add(r);
    }
    check.inPlace = inPlace.Passes();
    Bytes copy(image.begin(), image.end());
    VkpJudge judge(kind, copy);
    for (const VkpRecord& r : records) {
        RecordCheck c = check.inPlace ? InPlaceCheck(r, kind) : judge.Judge(r);
        check.counts.Count(c.status);
        check.records.push_back(std::move(c));
    }
    return check;
}

Message RecordVerdict(const RecordCheck& c) {
    const std::string line = std::to_string(c.line);
    const std::string address = FormatAddress(c.address);
    Message verdict;
    switch (c.status) {
        case RecordStatus::Conflict:
            verdict = Say(MessageId::CheckConflict, {line, address, FormatAddress(c.offset),
                                                     HexBytes(c.expected), HexBytes(c.found)});
            break;
        case RecordStatus::Outside:
            verdict = Say(MessageId::CheckOutside, {line, address, std::to_string(c.size)});
            break;
        case RecordStatus::Unchecked:
            verdict = Say(MessageId::CheckUnchecked, {line, address});
            break;
        default:
            verdict =
                Say(MessageId::CheckRecord, {line, address, std::string(StatusWord(c.status))});
            break;
    }
    if (c.overlapsLine > 0) {
        return Message(MessageId::CheckOverlaps, {Message::Arg(std::move(verdict)),
                                                  Message::Arg(std::to_string(c.overlapsLine))});
    }
    return verdict;
}

VkpFirstPass ReadWhetherInPlace(VkpSource& source, ImageKind kind, ByteView image) {
    VkpFirstPass pass;
    VkpInPlaceJudge judge(kind, image);
    VkpRecord record;
    auto keep = [&] {
        for (VkpWarning& w : source.TakeWarnings()) {
            pass.warnings.push_back(std::move(w));  // the reader hands out a bounded number
        }
        pass.moreWarnings = source.moreWarnings();
    };
    while (source.Next(record)) {
        judge.Add(record);
        ++pass.records;
        keep();
    }
    keep();
    pass.inPlace = source.ok() && pass.records > 0 && judge.Passes();
    return pass;
}

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// Judges arbitrary patches against a small image in order, as a flasher applies them. The
// judge must stay inside the image, give the same verdicts when run twice, and agree with
// itself both ways: the in-place judge (first to last, no records kept) says what judging the
// records last first with old and new swapped says, and a patch whose every record applied
// is found in place in the result and reverts to the image it started from. The workbench's
// apply and revert, read from the text as a stream, keep to the same verdicts: the revert
// (which keeps compact records) lists and writes what the list-based reverse judge gives, and
// where apply applied every record (none of them under "#pragma disable undo"), revert gives
// the image back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "vkp/apply.h"
#include "vkp/reader.h"

namespace {

using namespace carillon;

constexpr std::size_t kImageBytes = 64;

bool Passes(RecordStatus s) {
    return s == RecordStatus::Applies || s == RecordStatus::Both;
}

// Judges `records` last first with old and new swapped on `copy`; true when all pass.
bool RevertAll(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& copy) {
    VkpJudge judge(kind, copy, JudgeDirection::Revert, false);
    bool all = true;
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
        all = Passes(judge.Judge(*r).status) && all;
    }
    return all;
}

ApplyResult Workbench(std::string_view text, ImageKind kind, ByteView image,
                      JudgeDirection direction, bool allowUnchecked) {
    VkpSource source(text);
    return ApplyVkp(source, kind, image, {direction, allowUnchecked});
}

std::vector<int> Lines(const std::vector<RecordCheck>& checks) {
    std::vector<int> lines;
    for (const RecordCheck& c : checks) {
        lines.push_back(c.line);
    }
    return lines;
}

// The workbench's revert against the reverse judge over the whole list.
void CheckRevert(const std::vector<VkpRecord>& records, std::string_view text, ImageKind kind,
                 ByteView image) {
    const ApplyResult got = Workbench(text, kind, image, JudgeDirection::Revert, false);
    Bytes copy(image.begin(), image.end());
    VkpJudge judge(kind, copy, JudgeDirection::Revert);
    std::vector<int> failing;
    int written = 0;
    int inPlace = 0;
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
        RecordStatus status = RecordStatus::Unchecked;
        if (r->oldKnown) {
            status = judge.Judge(*r).status;
        } else if (!InImage(VkpAddressToImageOffset(kind, r->address),
                            static_cast<std::int64_t>(r->Span()), image.size())) {
            status = RecordStatus::Outside;
        }
        written += status == RecordStatus::Applies ? 1 : 0;
        inPlace += status == RecordStatus::Both || status == RecordStatus::Applied ? 1 : 0;
        if (status == RecordStatus::Conflict || status == RecordStatus::Outside ||
            status == RecordStatus::Unchecked) {
            failing.push_back(r->line);
        }
    }
    const std::size_t shown = std::min(failing.size(), kApplyFailuresShown);
    // A record marked not to be undone refuses the whole revert.
    const bool undoable = std::all_of(records.begin(), records.end(),
                                      [](const VkpRecord& r) { return r.pragmas.undo; });
    if (Lines(got.failures) != std::vector<int>(failing.begin(), failing.begin() + shown) ||
        got.failures.size() + static_cast<std::size_t>(got.moreFailures) != failing.size() ||
        got.written != written || got.inPlace != inPlace ||
        got.counts.records != static_cast<int>(records.size()) ||
        got.Writes() != (!records.empty() && failing.empty() && undoable) ||
        (got.Writes() && got.image != copy)) {
        std::abort();
    }
}

bool InPlace(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image) {
    VkpInPlaceJudge judge(kind, image);
    for (const VkpRecord& r : records) {
        judge.Add(r);
    }
    return judge.Passes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto kind = static_cast<ImageKind>(data[0] % 3);
    const std::size_t imageSize = std::min<std::size_t>(kImageBytes, data[1]);
    if (size < 2 + imageSize) {
        return 0;
    }
    const Bytes image(data + 2, data + 2 + imageSize);
    const std::string_view text(reinterpret_cast<const char*>(data + 2 + imageSize),
                                size - 2 - imageSize);
    const VkpParse parsed = ReadVkp(text);
    if (!parsed.ok()) {
        return 0;
    }

    // In order, twice: the same verdicts and the same working copy.
    Bytes first = image;
    Bytes second = image;
    VkpJudge a(kind, first);
    VkpJudge b(kind, second);
    bool allApplied = true;
    for (const VkpRecord& r : parsed.records) {
        const RecordCheck x = a.Judge(r);
        const RecordCheck y = b.Judge(r);
        if (x.status != y.status || x.offset != y.offset || x.expected != y.expected ||
            x.found != y.found || x.overlapsLine != y.overlapsLine ||
            (x.overlapsLine != 0 && x.overlapsLine >= r.line)) {
            std::abort();
        }
        allApplied = allApplied && Passes(x.status);
    }
    if (first != second || first.size() != imageSize) {
        std::abort();
    }

    // The in-place judge agrees with judging last first, swapped.
    Bytes reverted = image;
    if (InPlace(parsed.records, kind, image) != RevertAll(parsed.records, kind, reverted)) {
        std::abort();
    }
    // A patch that applied record by record is in place in its result and reverts from it.
    if (allApplied) {
        Bytes back = first;
        if (!InPlace(parsed.records, kind, first) || !RevertAll(parsed.records, kind, back) ||
            back != image) {
            std::abort();
        }
    }

    // The workbench: apply from the text, and revert of what it wrote.
    const bool allowUnchecked = (data[0] / 3) % 2 == 1;
    const ApplyResult applied = Workbench(text, kind, image, JudgeDirection::Apply, allowUnchecked);
    const int records = static_cast<int>(parsed.records.size());
    if (applied.counts.records != records || applied.failures.size() > kApplyFailuresShown ||
        (applied.wholeInPlace && !applied.failures.empty()) ||
        (applied.Writes() && applied.image.size() != imageSize)) {
        std::abort();
    }
    if (!applied.wholeInPlace && records > 0 &&
        (applied.written + applied.inPlace + static_cast<int>(applied.failures.size()) +
             applied.moreFailures !=
         records)) {
        std::abort();
    }
    // (Records read under "#pragma disable undo" are never reverted: such a revert is refused.)
    const bool undoable = std::all_of(parsed.records.begin(), parsed.records.end(),
                                      [](const VkpRecord& r) { return r.pragmas.undo; });
    if (applied.Writes() && applied.written == records && applied.withoutOld == 0 && undoable) {
        const ApplyResult back =
            Workbench(text, kind, applied.image, JudgeDirection::Revert, false);
        if (!back.Writes() || back.image != image) {
            std::abort();
        }
    }
    CheckRevert(parsed.records, text, kind, image);
    return 0;
}

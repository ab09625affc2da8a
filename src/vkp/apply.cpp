// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/apply.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>

#include "core/hex.h"
#include "core/output_commit.h"

namespace carillon {
namespace {

// The patch text is read in pieces of this size.
constexpr std::size_t kPieceSize = 1 << 20;

// Adds each judged record to the result: counts, what was written or skipped, and the records
// that stop the job.
class Tally {
  public:
    Tally(ApplyResult& result, bool uncheckedWrites)
        : result_(result), uncheckedWrites_(uncheckedWrites) {}

    void Add(const RecordCheck& c) {
        result_.counts.Count(c.status);
        switch (c.status) {
            case RecordStatus::Applies:
                ++result_.written;
                return;
            case RecordStatus::Both:
            case RecordStatus::Applied:
                ++result_.inPlace;
                return;
            case RecordStatus::Unchecked:
                ++result_.withoutOld;
                if (uncheckedWrites_) {
                    ++result_.written;
                    return;
                }
                break;
            case RecordStatus::Conflict:
            case RecordStatus::Outside:
                break;
        }
        Fail(c);
    }
    // A failing record in judging order: kept while there is room, else counted.
    void Fail(const RecordCheck& c) {
        if (result_.failures.size() < kApplyFailuresShown) {
            result_.failures.push_back(c);
        } else {
            ++result_.moreFailures;
        }
    }

  private:
    ApplyResult& result_;
    bool uncheckedWrites_;
};

void KeepWarnings(VkpSource& source, ApplyResult& result) {
    for (VkpWarning& w : source.TakeWarnings()) {
        result.warnings.push_back(std::move(w));  // the reader hands out a bounded number
    }
    result.moreWarnings = source.moreWarnings();
}

void ApplyForward(VkpSource& source, ImageKind kind, ByteView image, bool allowUnchecked,
                  ApplyResult& result) {
    Tally tally(result, allowUnchecked);
    VkpJudge judge(kind, result.image, JudgeDirection::Apply);
    VkpInPlaceJudge inPlace(kind, image);
    VkpCounts inPlaceCounts;  // the verdicts should the whole patch turn out to be in place
    VkpRecord record;
    while (source.Next(record)) {
        KeepWarnings(source, result);
        inPlace.Add(record);
        inPlaceCounts.Count(InPlaceCheck(record, kind).status);
        tally.Add(judge.Judge(record));
    }
    KeepWarnings(source, result);
    if (!source.ok() || result.counts.records == 0 || !inPlace.Passes()) {
        return;
    }
    // Applied once already, a patch whose records overlap may meet its own later bytes first;
    // wholly in place, nothing is written and every record counts as in place.
    result.wholeInPlace = true;
    result.counts = inPlaceCounts;
    result.written = 0;
    result.inPlace = inPlaceCounts.records;
    result.failures.clear();
    result.moreFailures = 0;
    result.image.assign(image.begin(), image.end());
}

// A revert judges the records last first, so they are kept until the text has been read: each
// one inside the image as its line, image offset and bytes (old, then new). A record outside
// the image or without old bytes fails whatever comes after it, so only the last few of those
// are kept to be listed in their place.
struct StoredRecord {
    std::uint32_t line = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

struct StaticFailure {
    std::size_t before = 0;  // stored records read before it
    RecordCheck check;
};

void RevertBackward(VkpSource& source, ImageKind kind, ByteView image, ApplyResult& result) {
    Tally tally(result, false);
    std::deque<StoredRecord> stored;
    std::deque<std::uint8_t> bytes;
    std::deque<StaticFailure> statics;  // the last kApplyFailuresShown of them
    VkpRecord record;
    while (source.Next(record)) {
        KeepWarnings(source, result);
        const std::int64_t offset = VkpAddressToImageOffset(kind, record.address);
        const bool inside = InImage(offset, static_cast<std::int64_t>(record.Span()), image.size());
        if (!record.pragmas.undo) {  // its author said it is not to be undone
            if (result.notUndoable++ == 0) {
                result.firstNotUndoable = record.line;
            }
        }
        if (inside && record.oldKnown) {
            // Old and new as long as each other: new data shorter than the old is followed by
            // the rest of the old, which the record left as it was.
            const Bytes after = record.After();
            stored.push_back({static_cast<std::uint32_t>(record.line),
                              static_cast<std::uint32_t>(offset),
                              static_cast<std::uint32_t>(after.size())});
            bytes.insert(bytes.end(), record.oldBytes.begin(), record.oldBytes.end());
            bytes.insert(bytes.end(), after.begin(), after.end());
            continue;
        }
        // Never reverted: outside the image, or nothing to put back.
        const RecordStatus status = inside ? RecordStatus::Unchecked : RecordStatus::Outside;
        result.counts.Count(status);
        result.withoutOld += record.oldKnown ? 0 : 1;
        statics.push_back({stored.size(), VerdictWithoutJudging(record, kind, status)});
        if (statics.size() > kApplyFailuresShown) {
            statics.pop_front();  // listed after at least as many failures as are shown
            ++result.moreFailures;
        }
    }
    KeepWarnings(source, result);
    if (!source.ok()) {
        return;
    }
    VkpJudge judge(kind, result.image, JudgeDirection::Revert);
    std::size_t end = bytes.size();
    for (std::size_t i = stored.size(); i-- > 0;) {
        while (!statics.empty() && statics.back().before > i) {
            tally.Fail(statics.back().check);
            statics.pop_back();
        }
        const StoredRecord& s = stored[i];
        const std::size_t start = end - 2 * std::size_t{s.size};
        const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(start);
        const auto mid = at + static_cast<std::ptrdiff_t>(s.size);
        record.line = static_cast<int>(s.line);
        record.address = ImageOffsetToFlashOffset(kind, s.offset);
        record.oldKnown = true;
        record.oldBytes.assign(at, mid);
        record.newBytes.assign(mid, mid + static_cast<std::ptrdiff_t>(s.size));
        tally.Add(judge.Judge(record));
        end = start;
        stored.pop_back();
        bytes.resize(end);  // frees the judged records as the walk goes
    }
    while (!statics.empty()) {
        tally.Fail(statics.back().check);
        statics.pop_back();
    }
}

}  // namespace

Message ApplyResult::Refusal() const {
    if (!error.empty()) {
        return error;
    }
    if (counts.records == 0) {
        return Message(MessageId::ApplyNoRecords);
    }
    if (wholeInPlace) {
        return {};
    }
    const bool revert = direction == JudgeDirection::Revert;
    if (revert && notUndoable > 0) {
        return Message(MessageId::ApplyNotUndoable,
                       {Message::Arg(std::to_string(notUndoable)),
                        Message::Arg(std::to_string(firstNotUndoable))});
    }
    if (const int failing = counts.conflict + counts.outside; failing > 0) {
        return Message(revert ? MessageId::ApplyCannotRevert : MessageId::ApplyDoNotApply,
                       {Message::Arg(std::to_string(failing))});
    }
    if (withoutOld > 0 && (revert || written + inPlace < counts.records)) {
        return Message(revert ? MessageId::ApplyNoOldUnreverted : MessageId::ApplyNoOldUnchecked,
                       {Message::Arg(std::to_string(withoutOld))});
    }
    return {};
}

Message ApplyResult::Summary() const {
    return Message(MessageId::ApplySummary,
                   {Message::Arg(std::to_string(written)), Message::Arg(std::to_string(inPlace))});
}

ApplyResult ApplyVkp(VkpSource& source, ImageKind kind, ByteView image,
                     const ApplyOptions& options) {
    ApplyResult result;
    result.kind = kind;
    result.direction = options.direction;
    result.image.assign(image.begin(), image.end());
    if (options.direction == JudgeDirection::Apply) {
        ApplyForward(source, kind, image, options.allowUnchecked, result);
    } else {
        RevertBackward(source, kind, image, result);
    }
    if (!source.ok()) {  // an error anywhere means the patch has no records
        ApplyResult failed;
        failed.kind = kind;
        failed.direction = options.direction;
        failed.error = source.errorMessage();
        failed.warnings = std::move(result.warnings);
        failed.moreWarnings = result.moreWarnings;
        return failed;
    }
    return result;
}

VkpTextPull PullVkpText(const InputFile& file, std::string& piece) {
    return [&file, &piece, at = std::uint64_t{0}]() mutable {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, file.size() - at));
        piece.resize(count);
        file.ReadAt(at, reinterpret_cast<std::uint8_t*>(piece.data()), count);
        at += count;
        return std::string_view(piece);
    };
}

ApplyResult ApplyVkpFile(const std::string& patchPath, ImageKind kind, ByteView image,
                         const ApplyOptions& options) {
    const InputFile patch(patchPath, kVkpTextLimit);
    std::string piece;
    VkpSource source(PullVkpText(patch, piece));
    return ApplyVkp(source, kind, image, options);
}

void WriteApplyResult(const ApplyResult& result, const std::string& imagePath,
                      const std::string& patchPath, const std::string& outPath, bool force) {
    if (const Message refusal = result.Refusal(); !refusal.empty()) {
        throw std::invalid_argument(English(refusal) + ": nothing written");
    }
    WriteOutputFile(
        outPath, result.image.data(), result.image.size(),
        JobOutputRules(force ? Existing::Replace : Existing::Refuse, {imagePath, patchPath}));
}

}  // namespace carillon

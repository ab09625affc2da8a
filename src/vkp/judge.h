// SPDX-License-Identifier: GPL-3.0-or-later
// Judging a ".vkp" patch against an image, record by record, as a flasher applies it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "core/message.h"
#include "vkp/reader.h"

namespace carillon {

enum class RecordStatus : std::uint8_t {
    Applies,    // old bytes match
    Both,       // old bytes match and equal the new ones: counted as applies
    Applied,    // the new bytes are already there (the old ones are not)
    Conflict,   // neither
    Outside,    // not inside the image
    Unchecked,  // no old bytes: written without a check, as a flasher does
};

// "applies", "applied", "conflict", "outside", "unchecked" ("applies" for Both).
std::string_view StatusWord(RecordStatus status);

struct RecordCheck {
    int line = 0;
    std::int64_t address = 0;
    std::size_t size = 0;  // bytes the record writes
    RecordStatus status = RecordStatus::Applies;
    std::int64_t offset = 0;  // image offset of the record; for a conflict, of the first difference
    Bytes expected;           // conflict: the bytes looked for, from the first difference on
    Bytes found;              // conflict: the image bytes there
    int overlapsLine = 0;     // the latest earlier record writing any of the same bytes, or 0
};

// Which way records are judged. Apply: old bytes must be there, new ones are written. Revert
// (the caller hands the records over last first): new bytes must be there, old ones are
// written back; a record without old bytes is checked but nothing is written back for it.
enum class JudgeDirection : std::uint8_t { Apply, Revert };

// Judges records one at a time against a working copy of the image, which it changes as a
// flasher would: a record that applies, and one without old bytes, is written to it; a conflict
// is not.
class VkpJudge {
  public:
    // `copy` is the working copy: it must outlive the judge. `noteOverlaps` keeps, for every
    // byte, the last record that wrote it (four bytes of memory per image byte).
    VkpJudge(ImageKind kind, std::span<std::uint8_t> copy,
             JudgeDirection direction = JudgeDirection::Apply, bool noteOverlaps = true);
    RecordCheck Judge(const VkpRecord& record);

  private:
    ImageKind kind_;
    std::span<std::uint8_t> copy_;
    JudgeDirection direction_;
    std::vector<std::int32_t> lastLine_;  // empty without notes
};

// Whether a patch is already in the image: judging its records last first, with old and new
// bytes swapped, every one passes. The records come first to last, one at a time; the judge
// keeps two bytes of state per image byte, never the records.
class VkpInPlaceJudge {
  public:
    VkpInPlaceJudge(ImageKind kind, ByteView image);
    void Add(const VkpRecord& record);
    // After the last record.
    bool Passes();

  private:
    ImageKind kind_;
    ByteView image_;
    Bytes pendingValue_;  // the byte a later record (or the image) must hold here
    std::vector<bool> pending_;
    bool failed_ = false;
};

// A first pass over a patch: how many records it holds, whether it is wholly in the image
// already, and its warnings (the reader's bounded list and the count of the rest). Whether it
// read is `source.ok()`.
struct VkpFirstPass {
    int records = 0;
    bool inPlace = false;
    std::vector<VkpWarning> warnings;
    std::size_t moreWarnings = 0;
};
VkpFirstPass ReadWhetherInPlace(VkpSource& source, ImageKind kind, ByteView image);

// Counts of judged records.
struct VkpCounts {
    int records = 0;
    int applies = 0;  // Applies and Both
    int both = 0;
    int applied = 0;
    int conflict = 0;
    int outside = 0;
    int unchecked = 0;
    void Count(RecordStatus status);
    // Applied in order, every record applies or is unchecked.
    bool PassesInOrder() const { return applied == 0 && conflict == 0 && outside == 0; }
    // As PassesInOrder, but a record already in place is skipped, not a failure.
    bool FitsSkippingInPlace() const { return conflict == 0 && outside == 0; }
    // "N records: A apply, B applied, C conflict, D outside, E unchecked"
    Message CountsMessage() const;
    std::string Line() const { return English(CountsMessage()); }
};

// The one rule of a patch's verdict: it passes when it is wholly in the image already, or when
// its records, judged in order, all apply or are unchecked.
inline bool PatchPasses(bool wholeInPlace, const VkpCounts& counts) {
    return wholeInPlace || counts.PassesInOrder();
}

// A whole patch judged: the records as a flasher applies them, unless the patch is already in
// the image, in which case every record is "applied" (or "applies" where old equals new).
struct VkpCheck {
    std::vector<RecordCheck> records;  // one per record, in order
    VkpCounts counts;
    bool inPlace = false;  // the whole patch is already in the image
    bool Passes() const { return PatchPasses(inPlace, counts); }
    std::string CountsLine() const { return counts.Line(); }
};

// The line "check" shows for a record that does not simply apply:
// "line N: ADDRESS: conflict at image offset ...: expected ..., found ..." and the like, with
// " (overlaps line M)" after it when an earlier record wrote the same bytes.
Message RecordVerdict(const RecordCheck& c);

// The verdict of a record of a patch found wholly in place.
RecordCheck InPlaceCheck(const VkpRecord& record, ImageKind kind);
// A record's verdict given without judging its bytes (outside the image, or never reverted).
RecordCheck VerdictWithoutJudging(const VkpRecord& record, ImageKind kind, RecordStatus status);

// Judges a whole list of records against `image` (for tests and small patches; the command
// line streams the same steps).
VkpCheck CheckVkp(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image);

// At most this many bytes of a conflict are shown.
inline constexpr std::size_t kConflictShown = 16;

}  // namespace carillon

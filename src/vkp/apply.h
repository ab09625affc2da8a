// SPDX-License-Identifier: GPL-3.0-or-later
// Putting a ".vkp" patch into an image, or taking it back out, on a copy: the records are judged
// in order as a flasher applies them (or last first, old and new swapped, to revert), a record
// whose bytes are already in place is skipped, and the copy is only worth writing when every
// record applies or is in place. The command line and the window share these steps.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/image.h"
#include "core/message.h"
#include "vkp/judge.h"
#include "vkp/reader.h"

namespace carillon {

struct ApplyOptions {
    JudgeDirection direction = JudgeDirection::Apply;
    // Write records without old bytes unchecked when applying; a revert never takes them back.
    bool allowUnchecked = false;
};

// At most this many records that stop a job are kept for showing; the rest are counted.
inline constexpr std::size_t kApplyFailuresShown = 10;
// At most this many warnings of the reader are kept; the rest are counted.
inline constexpr std::size_t kApplyWarningsKept = kVkpWarningsKept;

struct ApplyResult {
    ImageKind kind = ImageKind::FullFlash;
    JudgeDirection direction = JudgeDirection::Apply;
    Bytes image;         // the copy: the image with every applying record written over it
    VkpCounts counts;    // every record's verdict
    int written = 0;     // records written to the copy
    int inPlace = 0;     // records whose bytes were there already (skipped)
    int withoutOld = 0;  // records without old bytes
    // Reverting: records read under "#pragma disable undo", and the line of the first.
    int notUndoable = 0;
    int firstNotUndoable = 0;
    // Applying: the whole patch is in the image already (every record is then in place).
    bool wholeInPlace = false;
    std::vector<RecordCheck> failures;  // the first records that stop the job, judging order
    int moreFailures = 0;               // those beyond kApplyFailuresShown
    std::vector<VkpWarning> warnings;
    std::size_t moreWarnings = 0;
    Message error;  // the text does not read ("line N, column C: ..."): no records

    // True when the copy may be written: the text reads, holds records, and every record
    // applies or is in place (records without old bytes only when applying with
    // allowUnchecked, or when the patch is wholly in place).
    bool Writes() const { return Refusal().empty(); }
    // Why nothing is written ("3 records do not apply"), empty when the copy may be written.
    Message Refusal() const;
    // "N records applied, M already in place"
    Message Summary() const;
};

// Judges the records of `source` against `image` and computes the copy. Memory stays bounded
// by the image and the records' bytes, never the text: a revert keeps each record inside the
// image as its offset and bytes, and nothing of the others but a count and the last few.
ApplyResult ApplyVkp(VkpSource& source, ImageKind kind, ByteView image,
                     const ApplyOptions& options);
// The same for the patch file at `patchPath`, read a piece at a time. Throws FileError.
ApplyResult ApplyVkpFile(const std::string& patchPath, ImageKind kind, ByteView image,
                         const ApplyOptions& options);

// Pulls the text of `file` a piece at a time into `piece`.
VkpTextPull PullVkpText(const InputFile& file, std::string& piece);

// Writes `result.image` to `outPath` through the output commit, read back before it replaces
// anything; the image and the patch the result came from are never replaced, whatever `force`
// says. Throws FileError, and std::invalid_argument for a result that must not be written.
void WriteApplyResult(const ApplyResult& result, const std::string& imagePath,
                      const std::string& patchPath, const std::string& outPath, bool force);

}  // namespace carillon

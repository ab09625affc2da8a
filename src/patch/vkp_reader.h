// Reading V_KLay ".vkp" patch text, replaying it onto image bytes, and judging it against an
// image as a flasher applies it.
//
// The text is 8-bit Windows-1251 text. CR LF, LF or a lone CR end a line. Comments run from
// ";", "//" or any "#" that does not start "#pragma " to the line end; "/* ... */" may span
// lines. A record is "ADDRESS: OLD NEW" or "ADDRESS: NEW" (old bytes unknown): ADDRESS is 1 to 8
// hexadecimal digits with an optional "0x", and OLD and NEW are data lists: items joined by
// commas, each item hexadecimal bytes ("DEAD"), a little-endian number ("0x123", "0n101",
// "0i-001"), a Windows-1251 string ("ab") or a UTF-16LE string ('ab'). "+HEX" and "-HEX" set the
// offset added to every later address. "#pragma enable NAME" / "#pragma disable NAME" switch
// one of five options. Anything else is an error at its line and column, and the patch then
// has no records: the reader never guesses.
//
// The reader is a stream: `VkpSource` hands out one record at a time and holds only the record
// and a small window of text, so a patch of any size is read in constant memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/hex.h"
#include "core/image.h"
#include "patch/patch_builder.h"

namespace carillon {

// The largest ".vkp" text read: a patch rewriting every byte of the largest image is about
// five times the image's size.
inline constexpr std::uint64_t kVkpTextLimit = 64ull * 1024 * 1024;
// An address or offset holds at most this many hexadecimal digits.
inline constexpr std::size_t kVkpMaxAddressDigits = 8;

// The options a patch switches with "#pragma enable NAME" / "#pragma disable NAME", with the
// values they have at the start of a patch.
struct VkpPragmas {
    bool warnNoOldOnApply = true;       // warn_no_old_on_apply
    bool warnIfNewExistOnApply = true;  // warn_if_new_exist_on_apply
    bool warnIfOldExistOnUndo = true;   // warn_if_old_exist_on_undo
    bool undo = true;                   // undo
    bool oldEqualFf = false;            // old_equal_ff: missing old data is 0xFF bytes
    bool operator==(const VkpPragmas&) const = default;
};

struct VkpRecord {
    int line = 0;              // line of the record, from 1
    std::int64_t address = 0;  // the address as written, plus the offset in effect (>= 0)
    bool oldKnown = true;      // false: no old data and old_equal_ff was off
    Bytes oldBytes;            // as many bytes as newBytes when known (longer old data cut)
    Bytes newBytes;            // at least one byte
    VkpPragmas pragmas;        // the options in effect at this record
};

// Something a patch reads but probably does not mean; it changes nothing that is read.
struct VkpWarning {
    int line = 0;
    std::string text;  // in English
    Message message;   // the same by id
};

// Pulls the next piece of patch text; an empty piece ends the text. A piece stays valid until
// the next call.
using VkpTextPull = std::function<std::string_view()>;

// Reads a patch one record at a time.
class VkpSource {
  public:
    explicit VkpSource(std::string_view text);  // `text` must outlive the source
    explicit VkpSource(VkpTextPull pull);
    ~VkpSource();
    VkpSource(const VkpSource&) = delete;
    VkpSource& operator=(const VkpSource&) = delete;

    // The next record into `record`; false at the end of the text or at the first error.
    bool Next(VkpRecord& record);

    bool ok() const;
    // "line N, column C: WHAT", empty while the text reads.
    const std::string& error() const;
    const Message& errorMessage() const;  // the same by id
    int errorLine() const;
    int errorColumn() const;
    // The options and the offset as the text read so far has left them.
    const VkpPragmas& pragmas() const;
    std::int64_t offset() const;
    // The warnings found since the last call; those of the end of the text come once Next has
    // returned false.
    std::vector<VkpWarning> TakeWarnings();

  private:
    class Parser;
    std::unique_ptr<Parser> parser_;
};

struct VkpParse {
    std::vector<VkpRecord> records;
    std::vector<VkpWarning> warnings;
    int errorLine = 0;     // line of the first error, 0 when the text was read whole
    int errorColumn = 0;   // its column, from 1 (0 when the error is not at one place)
    std::string error;     // "line N, column C: WHAT", empty when the text was read whole
    Message errorMessage;  // the same by id
    bool ok() const { return error.empty(); }
};

// Reads a whole ".vkp" text into a list; on an error the list is empty.
VkpParse ReadVkp(std::string_view text);

// Image offset of a patch address: flash offsets for a full flash, minus 0x3A0000 for an
// EEPROM ".bin", file offsets for ".eep".
std::int64_t VkpAddressToImageOffset(ImageKind kind, std::int64_t address);

// Replays `records` in order onto `ranges` (image offsets and the bytes there): every record
// must lie inside one range, and its known old bytes must equal the bytes there at its turn.
// Returns an empty text on success, else what failed ("line N: ..."); the ranges then hold the
// records before the failing one.
Message ReplayVkpMessage(const std::vector<VkpRecord>& records, ImageKind kind,
                         std::vector<ByteEdit>& ranges);
std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind,
                      std::vector<ByteEdit>& ranges);
// The same onto a whole image.
std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& image);

// Reads `text` back and replays it onto `before` (the bytes the patch was built from, in image
// offsets); the result must equal `after` (the bytes the builder computed, same ranges in the
// same order). Returns an empty text when it does, else why not.
Message VerifyPatchMessage(std::string_view text, ImageKind kind,
                           const std::vector<ByteEdit>& before, const std::vector<ByteEdit>& after);
std::string VerifyPatchText(std::string_view text, ImageKind kind,
                            const std::vector<ByteEdit>& before,
                            const std::vector<ByteEdit>& after);

// --- Judging a patch against an image, in order, as a flasher applies it ------------------
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

// A whole patch judged: the records as a flasher applies them, unless the patch is already in
// the image, in which case every record is "applied" (or "applies" where old equals new).
struct VkpCheck {
    std::vector<RecordCheck> records;  // one per record, in order
    VkpCounts counts;
    bool inPlace = false;  // the whole patch is already in the image
    bool Passes() const { return inPlace || counts.PassesInOrder(); }
    std::string CountsLine() const { return counts.Line(); }
};

// The line "check" shows for a record that does not simply apply:
// "line N: ADDRESS: conflict at image offset ...: expected ..., found ..." and the like, with
// " (overlaps line M)" after it when an earlier record wrote the same bytes.
Message RecordVerdict(const RecordCheck& c);

// The verdict of a record of a patch found wholly in place.
RecordCheck InPlaceCheck(const VkpRecord& record, ImageKind kind);

// Judges a whole list of records against `image` (for tests and small patches; the command
// line streams the same steps).
VkpCheck CheckVkp(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image);

// At most this many bytes of a conflict are shown.
inline constexpr std::size_t kConflictShown = 16;

}  // namespace carillon

// Reading V_KLay ".vkp" patch text, replaying it onto image bytes, and checking it against an
// image.
//
// The text is read as users meet it (8-bit Windows text): CR LF, LF or a lone CR end a line;
// ";", "//" and any "#" that does not start a "#pragma" line begin a comment that runs to the
// line end, also after a record; "/* ... */" may span lines. A record is
// "ADDRESS: OLDHEX NEWHEX" or "ADDRESS: NEWHEX" (old bytes unknown); the address is hexadecimal
// with an optional "0x". "+HEX" and "-HEX" set the offset added to the address of every later
// record ("+0" cancels it). "#pragma enable NAME" and "#pragma disable NAME" switch options; with
// old_equal_ff enabled, a record without old data has old bytes 0xFF. Anything else is an error
// with its line number: the reader never guesses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "patch/patch_builder.h"

namespace carillon {

// The largest ".vkp" text read: a patch rewriting every byte of the largest image is about
// five times the image's size.
inline constexpr std::uint64_t kVkpTextLimit = 64ull * 1024 * 1024;
// An address or offset holds at most this many hexadecimal digits.
inline constexpr std::size_t kVkpMaxAddressDigits = 8;

struct VkpRecord {
    int line = 0;              // line of the record, from 1
    std::int64_t address = 0;  // the address as written, plus the offset in effect
    bool oldKnown = true;      // false: no old data and old_equal_ff was off
    Bytes oldBytes;            // as many bytes as newBytes when known (longer old data cut)
    Bytes newBytes;            // at least one byte
};

struct VkpParse {
    std::vector<VkpRecord> records;
    int errorLine = 0;  // line of the first error, 0 when the text was read whole
    std::string error;  // "line N: WHAT", empty when the text was read whole
    bool ok() const { return error.empty(); }
};

// Reads a whole ".vkp" text. Stops at the first error.
VkpParse ReadVkp(std::string_view text);

// Image offset of a patch address: flash offsets for a full flash, minus 0x3A0000 for an
// EEPROM ".bin", file offsets for ".eep".
std::int64_t VkpAddressToImageOffset(ImageKind kind, std::int64_t address);

// Replays `records` in order onto `ranges` (image offsets and the bytes there): every record
// must lie inside one range, and its known old bytes must equal the bytes there at its turn.
// Returns an empty text on success, else what failed ("line N: ..."); the ranges then hold the
// records before the failing one.
std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind,
                      std::vector<ByteEdit>& ranges);
// The same onto a whole image.
std::string ReplayVkp(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& image);

// Reads `text` back and replays it onto `before` (the bytes the patch was built from, in image
// offsets); the result must equal `after` (the bytes the builder computed, same ranges in the
// same order). Returns an empty text when it does, else why not.
std::string VerifyPatchText(std::string_view text, ImageKind kind,
                            const std::vector<ByteEdit>& before,
                            const std::vector<ByteEdit>& after);

// --- Checking a patch against an image, each record on its own ---------------------------
enum class RecordStatus : std::uint8_t {
    Applies,    // old bytes match
    Both,       // old bytes match and equal the new ones: counted as applies
    Applied,    // the new bytes are already there
    Conflict,   // neither
    Outside,    // not inside the image
    Unchecked,  // old bytes unknown and the new bytes are not there
};

// "applies", "applied", "conflict", "outside", "unchecked" ("applies" for Both).
std::string_view StatusWord(RecordStatus status);

struct RecordCheck {
    const VkpRecord* record = nullptr;
    RecordStatus status = RecordStatus::Applies;
    std::int64_t offset = 0;  // image offset of the record; for a conflict, of the first difference
    Bytes expected;           // conflict: the old bytes from the first difference on
    Bytes found;              // conflict: the image bytes there
};

struct VkpCheck {
    std::vector<RecordCheck> records;  // one per record, in order
    int applies = 0;                   // Applies and Both
    int applied = 0;
    int conflict = 0;
    int outside = 0;
    int unchecked = 0;
    // Every record applies or is unchecked, or every record is applied (or both).
    bool Passes() const;
    // "N records: A apply, B applied, C conflict, D outside, E unchecked"
    std::string CountsLine() const;
};

// Checks each record against `image` as given (not after earlier records). `records` must
// outlive the result.
VkpCheck CheckVkp(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image);

// At most this many bytes of a conflict are shown.
inline constexpr std::size_t kConflictShown = 16;

// Bytes as upper-case hexadecimal, two digits each, no separators.
std::string HexBytes(ByteView bytes);

}  // namespace carillon

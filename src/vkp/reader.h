// SPDX-License-Identifier: GPL-3.0-or-later
// Reading V_KLay ".vkp" patch text.
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
#include "core/message.h"

namespace carillon {

// The largest ".vkp" text read: a patch rewriting every byte of the largest image is about
// five times the image's size.
inline constexpr std::uint64_t kVkpTextLimit = 64ull * 1024 * 1024;
// The largest address or offset: any number of hexadecimal digits, up to this value.
inline constexpr std::int64_t kVkpMaxAddress = 0xFFFFFFFF;

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
    Bytes oldBytes;            // at least as many bytes as newBytes when known, all checked
    Bytes newBytes;            // at least one byte; only these are written
    VkpPragmas pragmas;        // the options in effect at this record

    // The bytes the record looks at: its old bytes when known, else its new bytes.
    std::size_t Span() const { return oldKnown ? oldBytes.size() : newBytes.size(); }
    // What those bytes hold once the record is written: the new bytes, then the rest of the
    // old ones.
    Bytes After() const {
        Bytes after = newBytes;
        if (oldKnown && oldBytes.size() > newBytes.size()) {
            after.insert(after.end(),
                         oldBytes.begin() + static_cast<std::ptrdiff_t>(newBytes.size()),
                         oldBytes.end());
        }
        return after;
    }
};

// At most this many warnings of a text are kept; the rest are counted.
inline constexpr std::size_t kVkpWarningsKept = 100;

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
    // returned false. Only the first kVkpWarningsKept of the text are ever handed out.
    std::vector<VkpWarning> TakeWarnings();
    // The warnings of the text so far beyond the first kVkpWarningsKept: counted, not kept.
    std::size_t moreWarnings() const;

  private:
    class Parser;
    std::unique_ptr<Parser> parser_;
};

struct VkpParse {
    std::vector<VkpRecord> records;
    std::vector<VkpWarning> warnings;  // the first kVkpWarningsKept
    std::size_t moreWarnings = 0;      // the rest, counted
    int errorLine = 0;                 // line of the first error, 0 when the text was read whole
    int errorColumn = 0;               // its column, from 1 (0 when the error is not at one place)
    std::string error;     // "line N, column C: WHAT", empty when the text was read whole
    Message errorMessage;  // the same by id
    bool ok() const { return error.empty(); }
};

// Reads a whole ".vkp" text into a list; on an error the list is empty.
VkpParse ReadVkp(std::string_view text);

// Image offset of a patch address: flash offsets for a full flash, minus 0x3A0000 for an
// EEPROM ".bin", file offsets for ".eep".
std::int64_t VkpAddressToImageOffset(ImageKind kind, std::int64_t address);

// `text` with every control character (below 0x20, and 0x7F) replaced by "_", so it cannot end
// a comment line of a patch and start a patch record of its own.
std::string CommentSafe(std::string_view text);

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// Compacting sector A, the first EEPROM sector, of a full flash or an EEPROM ".bin" image:
// the data of the valid blocks are packed back to back from 0x20 above the sector start,
// stale blocks are dropped, the header table is written anew and everything freed is erased.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/image.h"
#include "core/output_commit.h"
#include "eeprom/block_list.h"

namespace carillon {

// The image cannot be relocated safely; nothing was written. what() reads "NAME: PROBLEM".
class RelocationError : public std::runtime_error {
  public:
    // what(): "NAME: cannot relocate sector A: PROBLEM" in English; message() the same by id.
    RelocationError(std::string name, Message problem);
    const std::string& name() const { return name_; }
    Message message() const;

  private:
    std::string name_;
    Message problem_;
};

// Relocated data start this far above the sector start.
inline constexpr std::int64_t kRelocatedDataOffset = 0x20;

struct RelocationResult {
    // Lowest old block address over every listed block, valid or stale: what the window's
    // caption shows, in decimal.
    std::int32_t lowestBlockAddress = 0;
    int blocksKept = 0;            // valid blocks, moved and given new headers
    int blocksDropped = 0;         // stale blocks, erased with their headers
    std::int64_t bytesMoved = 0;   // data bytes of the kept blocks
    std::int64_t bytesFreed = 0;   // data and header bytes of the dropped blocks
    std::int64_t freeBytes = 0;    // room left between the moved data and the table's end entry
    std::int64_t dataEnd = 0;      // image offset just past the moved data
    std::int64_t tableBottom = 0;  // image offset of the lowest new header (the sector end
                                   // when no block was kept)
    std::string outputPath;        // set by the file-level functions
};

struct Relocation {
    Bytes image;  // the relocated image, as long as the input
    RelocationResult result;
    TTBlock blocks;  // the listed blocks; kept ones carry their new BlockAddress
};

// Relocates sector A of `image` (kind 0 or 1) in a copy. `name` names the image in messages.
// Throws RelocationError, without changing anything, for an ".eep" image, a sector A without
// a valid or stale block, a listed header or block whose bytes lie outside sector A, kept
// blocks that do not fit below the new header table and its 0xFF end entry, and moved data
// that would run into header entries left below the new table.
Relocation RelocateSectorA(ByteView image, ImageKind kind, std::string_view name);

// PATH + ".relopated.bin": where the relocated copy of PATH goes. The spelling is deliberate
// and must stay: it is the name the relocated copy has always had.
std::string RelocatedPath(const std::string& path);

// Reads `path` (read-only, at most kImageBufferSize bytes), relocates it as an image of
// `kind` and writes the result through the output commit to `outputPath`; an existing file
// there is replaced only with Existing::Replace. The file must not change while it is read
// ("PATH: the image changed while it was read"). The input file is never changed (an output that is
// the input is refused). Throws FileError for input/output failures and refused targets and
// RelocationError for refusals of the image; neither leaves a file behind.
RelocationResult RelocateFile(const std::string& path, ImageKind kind,
                              const std::string& outputPath, Existing existing = Existing::Replace);
// The same, writing to RelocatedPath(path).
RelocationResult RelocateFile(const std::string& path, ImageKind kind);
// The window's form: the file is read into `buffer` (which keeps holding the input's bytes
// afterwards, never the relocated ones) and the copy goes to RelocatedPath(path).
RelocationResult RelocateFile(ImageBuffer& buffer, const std::string& path, ImageKind kind);

}  // namespace carillon

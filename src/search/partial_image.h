// SPDX-License-Identifier: GPL-3.0-or-later
// An image read only where a search needs it: the command line's jobs read the identification
// bytes, the header tables and the content-size bytes of an image, not all of it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "core/file_io.h"
#include "core/image.h"

namespace carillon {

// A buffer as long as the file whose bytes are read in 16 KiB chunks on demand. The buffer is
// allocated without being touched (calloc), so the chunks never read cost no memory; they
// read as zero (or as `fill`, which tests use to show that nothing unread is looked at).
class PartialImage {
  public:
    // `file` is read from as chunks are needed, so it must outlive the PartialImage.
    explicit PartialImage(const InputFile& file, std::optional<std::uint8_t> fill = {});

    // Starts over on another file (which must outlive the PartialImage), as a new PartialImage
    // with the same fill would, but keeps the buffer when the file fits in it: only the chunks
    // read before are set back to the fill. For callers that read many images in a row.
    void Reset(const InputFile& file);

    // Makes [offset, offset + count) hold the file's bytes (a search or a builder decides on
    // them). The range must lie in the file.
    void Ensure(std::uint64_t offset, std::size_t count);
    // Reads every byte not read yet (an output made from the whole image).
    void EnsureAll();
    // Throws "PATH: the image changed while it was read" unless every byte read (by Ensure, or
    // by EnsureAll for an output made from the whole image) still is the file's, and the
    // file is as it was opened (InputFile::ConfirmUnchanged): everything the job decided on and
    // makes its output from is then one snapshot of the file.
    void ConfirmUnchanged() const;
    // Bytes of the file read so far (whole chunks).
    std::uint64_t BytesRead() const { return bytesRead_; }

    ByteView View() const { return {data_, static_cast<std::size_t>(size_)}; }

    // Writes `bytes` over the buffer at `offset` (not the file): a job that is done reading
    // makes its output in the snapshot itself. False, and nothing changed, when they do not
    // fit.
    bool Overwrite(std::uint64_t offset, ByteView bytes);

  private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    void Allocate(std::uint64_t size);

    const InputFile* file_;
    std::optional<std::uint8_t> fill_;
    std::uint64_t size_ = 0;
    std::uint64_t capacity_ = 0;
    std::unique_ptr<std::uint8_t[], Free> block_;  // the allocation
    std::uint8_t* data_ = nullptr;                 // the buffer: from block_'s first 2 MiB boundary
    std::vector<bool> loaded_;
    std::uint64_t bytesRead_ = 0;
};

// Reads every byte that Identify and SearchSlots look at for an image of `kind`: the
// identification bytes, each sector's header table down to its end entry (or the image's
// start), and the content-size bytes of every valid block; an ".eep" image is read whole.
void ReadForSearch(PartialImage& image, ImageKind kind);

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/file_check.h"

#include <algorithm>

#include "core/file_io.h"

namespace carillon {

bool FileStillHolds(const std::string& path, ByteView bytes) {
    const InputFile file(path);
    if (file.size() != bytes.size()) {
        return false;
    }
    // Compared piece by piece, so a large image never needs a second whole copy in memory. A
    // file that shrinks or changes while it is compared is no longer what was read either.
    constexpr std::size_t kPiece = std::size_t{1} << 16;
    std::vector<std::uint8_t> piece;
    try {
        for (std::size_t offset = 0; offset < bytes.size(); offset += kPiece) {
            const std::size_t count = std::min(kPiece, bytes.size() - offset);
            piece.resize(count);
            file.ReadAt(offset, piece.data(), count);
            if (!std::equal(piece.begin(), piece.end(),
                            bytes.begin() + static_cast<std::ptrdiff_t>(offset))) {
                return false;
            }
        }
        file.ConfirmUnchanged();
    } catch (const FileError&) {
        return false;
    }
    return true;
}

}  // namespace carillon

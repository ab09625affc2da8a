// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/diff.h"

#include <algorithm>

#include "core/hex.h"
#include "core/product.h"
#include "vkp/reader.h"

namespace carillon {
namespace {

constexpr std::size_t kBytesPerLine = 16;
// The end of the differing run that starts at `from`: one past its last differing byte, taking
// in every gap of at most kDiffGapCarried equal bytes.
std::size_t RunEnd(ByteView a, ByteView b, std::size_t from) {
    std::size_t end = from + 1;  // a[from] != b[from]
    std::size_t at = end;
    while (at < a.size()) {
        if (a[at] != b[at]) {
            end = ++at;
            continue;
        }
        if (at - end >= kDiffGapCarried) {
            break;
        }
        ++at;
    }
    return end;
}

}  // namespace

ImageDiff DiffImages(ImageKind kind, ByteView oldImage, ByteView newImage,
                     const DiffHeader& header) {
    ImageDiff diff;
    std::string& text = diff.text;
    text += "; this patch was created by\r\n; ";
    text += kWindowTitle;
    text += "\r\n";
    if (!header.title.empty()) {
        text += "; " + CommentSafe(header.title) + "\r\n";
    }
    text += "; old: " + CommentSafe(header.oldName) + "\r\n";
    text += "; new: " + CommentSafe(header.newName) + "\r\n\r\n";

    const std::size_t size = std::min(oldImage.size(), newImage.size());
    const ByteView a = oldImage.first(size);
    const ByteView b = newImage.first(size);
    std::size_t at = 0;
    while (true) {
        const auto mismatch = std::mismatch(a.begin() + static_cast<std::ptrdiff_t>(at), a.end(),
                                            b.begin() + static_cast<std::ptrdiff_t>(at));
        if (mismatch.first == a.end()) {
            break;
        }
        const auto start = static_cast<std::size_t>(mismatch.first - a.begin());
        const std::size_t end = RunEnd(a, b, start);
        for (std::size_t line = start; line < end; line += kBytesPerLine) {
            const std::size_t n = std::min(kBytesPerLine, end - line);
            text += FormatAddress(ImageOffsetToFlashOffset(kind, static_cast<std::int64_t>(line)));
            text += ": ";
            AppendHex(text, a.subspan(line, n));
            text += ' ';
            AppendHex(text, b.subspan(line, n));
            text += "\r\n";
            ++diff.lines;
        }
        for (std::size_t i = start; i < end; ++i) {
            diff.changed += a[i] != b[i] ? 1 : 0;
        }
        at = end;
    }
    return diff;
}

}  // namespace carillon

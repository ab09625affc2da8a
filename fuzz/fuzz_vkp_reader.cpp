// SPDX-License-Identifier: GPL-3.0-or-later
// Reads arbitrary text as a ".vkp" patch. Read whole or in small pieces, a text gives the same
// records or the same error. A text that reads must give records that are whole (new bytes
// present, old bytes as many as new when known, lines in order), that read back the same when
// written out again, and that check and replay against a small image without touching a byte
// outside it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vkp/judge.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace {

constexpr std::size_t kImageBytes = 64;

std::string WriteBack(const std::vector<carillon::VkpRecord>& records) {
    std::string text;
    for (const carillon::VkpRecord& r : records) {
        text += carillon::FormatAddress(r.address) + ": ";
        if (r.oldKnown) {
            text += carillon::HexBytes(r.oldBytes) + " ";
        }
        text += carillon::HexBytes(r.newBytes) + "\r\n";
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace carillon;
    if (size < 1) {
        return 0;
    }
    const auto kind = static_cast<ImageKind>(data[0] % 3);
    const std::size_t imageSize = std::min(kImageBytes, size - 1);
    Bytes image(data + 1, data + 1 + imageSize);
    const std::string_view text(reinterpret_cast<const char*>(data + 1 + imageSize),
                                size - 1 - imageSize);

    const VkpParse parsed = ReadVkp(text);
    // Read in small pieces, the text gives the same records and the same verdict.
    {
        const std::size_t piece = 1 + data[0] % 13;
        std::size_t at = 0;
        VkpSource source([&] {
            const std::string_view next = text.substr(std::min(at, text.size()), piece);
            at += piece;
            return next;
        });
        VkpRecord r;
        std::size_t n = 0;
        while (source.Next(r)) {
            if (parsed.ok() &&
                (n >= parsed.records.size() || r.newBytes != parsed.records[n].newBytes ||
                 r.oldBytes != parsed.records[n].oldBytes || r.line != parsed.records[n].line)) {
                std::abort();
            }
            ++n;
        }
        if (source.error() != parsed.error || (parsed.ok() && n != parsed.records.size())) {
            std::abort();
        }
    }
    if (!parsed.ok()) {
        if (parsed.errorLine < 1 || parsed.errorColumn < 1 || parsed.error.rfind("line ", 0) != 0 ||
            !parsed.records.empty()) {
            std::abort();
        }
        return 0;
    }
    int lastLine = 0;
    bool plainAddresses = true;
    for (const VkpRecord& r : parsed.records) {
        if (r.newBytes.empty() || r.line < lastLine ||
            (r.oldKnown && r.oldBytes.size() < r.newBytes.size()) ||
            (!r.oldKnown && !r.oldBytes.empty())) {
            std::abort();
        }
        lastLine = r.line;
        plainAddresses = plainAddresses && r.address >= 0 && r.address <= 0xFFFFFFFF;
    }
    if (plainAddresses) {
        const VkpParse again = ReadVkp(WriteBack(parsed.records));
        if (!again.ok() || again.records.size() != parsed.records.size()) {
            std::abort();
        }
        for (std::size_t i = 0; i < again.records.size(); ++i) {
            const VkpRecord& a = parsed.records[i];
            const VkpRecord& b = again.records[i];
            if (a.address != b.address || a.oldKnown != b.oldKnown || a.oldBytes != b.oldBytes ||
                a.newBytes != b.newBytes) {
                std::abort();
            }
        }
    }

    const VkpCheck check = CheckVkp(parsed.records, kind, image);
    const VkpCounts& n = check.counts;
    if (check.records.size() != parsed.records.size() ||
        n.applies + n.applied + n.conflict + n.outside + n.unchecked !=
            static_cast<int>(check.records.size())) {
        std::abort();
    }
    const std::string failure = ReplayVkp(parsed.records, kind, image);
    if (image.size() != imageSize || (failure.empty() && n.outside > 0)) {
        std::abort();
    }
    return 0;
}

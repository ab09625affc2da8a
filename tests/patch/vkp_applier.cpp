// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/vkp_applier.h"

namespace carillon::testing {

bool ParseVkp(const std::string& text, std::vector<VkpRecord>& records, std::string& error) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool crlf = text[i] == '\r' ? i + 1 < text.size() && text[i + 1] == '\n'
                                          : text[i] != '\n' || (i > 0 && text[i - 1] == '\r');
        if (!crlf) {
            error = "line not ended by CR LF at " + std::to_string(i);
            return false;
        }
    }
    if (!text.empty() && text.back() != '\n') {
        error = "last line not ended by CR LF";
        return false;
    }
    VkpParse parsed = ReadVkp(text);
    if (!parsed.ok()) {
        error = parsed.error;
        return false;
    }
    for (const VkpRecord& r : parsed.records) {
        if (!r.oldKnown) {
            error = "line " + std::to_string(r.line) + ": no old bytes";
            return false;
        }
    }
    records.insert(records.end(), parsed.records.begin(), parsed.records.end());
    return true;
}

bool ApplyVkp(const std::string& text, std::int64_t base, Bytes& image, std::string& error) {
    std::vector<VkpRecord> records;
    if (!ParseVkp(text, records, error)) {
        return false;
    }
    // An ".eep" image maps addresses one to one; a ".bin" EEPROM image subtracts its base.
    const ImageKind kind = base == kEepromImageBase ? ImageKind::EepromBin : ImageKind::EepromEep;
    error = ReplayVkp(records, kind, image);
    return error.empty();
}

}  // namespace carillon::testing

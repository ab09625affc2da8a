#include "patch/vkp_applier.h"

#include <cctype>

namespace carillon::testing {
namespace {

bool ParseHexBytes(const std::string& text, Bytes& out) {
    if (text.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        for (char c : pair) {
            // Records are written in upper case only.
            if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) {
                return false;
            }
        }
        out.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return true;
}

}  // namespace

bool ParseVkp(const std::string& text, std::vector<VkpRecord>& records, std::string& error) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t lf = text.find('\n', at);
        if (lf == std::string::npos || lf == at || text[lf - 1] != '\r') {
            error = "line not ended by CR LF at " + std::to_string(at);
            return false;
        }
        const std::string line = text.substr(at, lf - 1 - at);
        at = lf + 1;
        if (line.empty() || line[0] == ';') {
            continue;
        }
        const std::size_t colon = line.find(": ");
        const std::size_t blank = line.find(' ', colon + 2);
        if (colon == std::string::npos || colon < 6 || blank == std::string::npos) {
            error = "bad record: " + line;
            return false;
        }
        VkpRecord r;
        r.address = std::stoll(line.substr(0, colon), nullptr, 16);
        if (!ParseHexBytes(line.substr(colon + 2, blank - colon - 2), r.oldBytes) ||
            !ParseHexBytes(line.substr(blank + 1), r.newBytes) ||
            r.oldBytes.size() != r.newBytes.size() || r.oldBytes.empty()) {
            error = "bad record: " + line;
            return false;
        }
        records.push_back(std::move(r));
    }
    return true;
}

bool ApplyVkp(const std::string& text, std::int64_t base, Bytes& image, std::string& error) {
    std::vector<VkpRecord> records;
    if (!ParseVkp(text, records, error)) {
        return false;
    }
    for (const VkpRecord& r : records) {
        const std::int64_t offset = r.address - base;
        if (!InImage(offset, static_cast<std::int64_t>(r.oldBytes.size()), image.size())) {
            error = "record outside the image at " + std::to_string(r.address);
            return false;
        }
        for (std::size_t i = 0; i < r.oldBytes.size(); ++i) {
            auto& byte = image[static_cast<std::size_t>(offset) + i];
            if (byte != r.oldBytes[i]) {
                error =
                    "old byte differs at " + std::to_string(offset + static_cast<std::int64_t>(i));
                return false;
            }
            byte = r.newBytes[i];
        }
    }
    return true;
}

}  // namespace carillon::testing

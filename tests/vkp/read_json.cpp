// SPDX-License-Identifier: GPL-3.0-or-later
// Reads patch texts with Carillon's reader and prints what it made of each, one JSON object a
// line, in the form the reference runner prints: the differential test compares the two.
// Input (standard input): one text a line, base64 of its bytes.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "core/hex.h"
#include "vkp/reader.h"

namespace {

std::string FromBase64(const std::string& in) {
    static const std::string kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : in) {
        const auto v = kDigits.find(c);
        if (v == std::string::npos) {
            continue;  // padding
        }
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

nlohmann::ordered_json Pragmas(const carillon::VkpPragmas& p) {
    nlohmann::ordered_json on = nlohmann::ordered_json::array();
    // In the order of their names, as the reference runner lists them.
    if (p.oldEqualFf) {
        on.push_back("old_equal_ff");
    }
    if (p.undo) {
        on.push_back("undo");
    }
    if (p.warnIfNewExistOnApply) {
        on.push_back("warn_if_new_exist_on_apply");
    }
    if (p.warnIfOldExistOnUndo) {
        on.push_back("warn_if_old_exist_on_undo");
    }
    if (p.warnNoOldOnApply) {
        on.push_back("warn_no_old_on_apply");
    }
    return on;
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::string text = FromBase64(line);
        const carillon::VkpParse parse = carillon::ReadVkp(text);
        nlohmann::ordered_json out;
        out["reads"] = parse.ok();
        out["errors"] = nlohmann::ordered_json::array();
        if (!parse.ok()) {
            out["errors"].push_back(parse.error);
        }
        out["warnings"] = parse.warnings.size();
        out["records"] = nlohmann::ordered_json::array();
        for (const carillon::VkpRecord& r : parse.records) {
            nlohmann::ordered_json j;
            j["address"] = r.address;
            j["old"] = r.oldKnown ? nlohmann::ordered_json(carillon::HexBytes(r.oldBytes))
                                  : nlohmann::ordered_json(nullptr);
            j["new"] = carillon::HexBytes(r.newBytes);
            j["pragmas"] = Pragmas(r.pragmas);
            out["records"].push_back(j);
        }
        std::cout << out.dump() << '\n';
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Whole files as text or bytes, for comparing what a test wrote.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/image.h"

namespace carillon::test_support {

// The file's bytes as a string; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

// The record lines of a ".vkp" text ("ADDRESS: OLD NEW"): every CR LF line that is neither
// empty nor a ";" comment.
inline std::vector<std::string> RecordLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        const std::string line = text.substr(at, end - at);
        if (!line.empty() && line[0] != ';') {
            lines.push_back(line);
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 2;
    }
    return lines;
}

}  // namespace carillon::test_support

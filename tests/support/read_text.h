// Whole files as text or bytes, for comparing what a test wrote.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace carillon::test_support

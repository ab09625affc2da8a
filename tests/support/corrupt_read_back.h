// SPDX-License-Identifier: GPL-3.0-or-later
// Changes a written file between its write and its read-back, through the core's read-back
// hook, for as long as it lives.
#pragma once

#include <fstream>
#include <string>

#include "core/read_back.h"

namespace carillon::test_support {

class CorruptBeforeReadBack {
  public:
    // Overwrites the byte `fromEnd` bytes before the end of the written file with `byte`.
    CorruptBeforeReadBack(std::size_t fromEnd, char byte) {
        SetReadBackHook([fromEnd, byte](const std::string& path) {
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(-static_cast<std::streamoff>(fromEnd), std::ios::end);
            f.put(byte);
        });
    }
    CorruptBeforeReadBack(const CorruptBeforeReadBack&) = delete;
    CorruptBeforeReadBack& operator=(const CorruptBeforeReadBack&) = delete;
    ~CorruptBeforeReadBack() { SetReadBackHook({}); }
};

}  // namespace carillon::test_support

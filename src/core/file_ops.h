// SPDX-License-Identifier: GPL-3.0-or-later
// Small system-call helpers shared by the file layer's own sources (not for other layers):
// one EINTR loop, one mapping of EEXIST, one temporary-name scheme.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "core/file_io.h"

namespace carillon::file_ops {

inline std::error_code LastError() {
    return {errno, std::generic_category()};
}

// The error of a failed install or create: a name that is taken reads "already exists".
std::error_code InstallError();

// Repeats `call` while it fails with EINTR; returns its last result.
template <typename Call>
auto RetryOnInterrupt(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

// Writes all `size` bytes at the file position (or, with `at` >= 0, at that offset). Throws
// std::system_error.
void WriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t at = -1);

// "dir/" of "dir/name", "" of "name".
std::string FolderOf(const std::string& path);

// A short ".carillon-XXXXXX" name in `folder`, so that a target name of up to 255 bytes
// still has room beside it.
std::string TempName(const std::string& folder);

// fsync of a folder, so the names in it are durable. False when it could not be done.
bool FsyncFolder(const std::string& folder);

}  // namespace carillon::file_ops

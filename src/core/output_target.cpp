// SPDX-License-Identifier: GPL-3.0-or-later
// Which targets an output may replace: judged with lstat before anything is written.
#include <sys/stat.h>

#include <cstdlib>

#include "core/file_ops.h"
#include "core/output_commit.h"

namespace carillon {

using file_ops::LastError;

void OutputRules::Protect(const std::string& path) {
    if (const auto id = IdentityOf(path)) {
        inputs.push_back(*id);
    }
}

OutputRules JobOutputRules(Existing existing, const std::vector<std::string>& inputs) {
    OutputRules rules;
    rules.force = existing == Existing::Replace;
    for (const std::string& input : inputs) {
        rules.Protect(input);
    }
    return rules;
}

std::string CheckOutputTarget(const std::string& path, const OutputRules& rules) {
    if (path.empty()) {
        throw FileError(path, std::make_error_code(std::errc::no_such_file_or_directory));
    }
    struct stat st {};
    const bool present = ::lstat(path.c_str(), &st) == 0;
    if (!present && errno != ENOENT) {
        throw FileError(path, LastError());
    }
    if (path.back() == '/') {
        // No regular file has a name ending in a slash.
        throw FileError(path, std::make_error_code(present && S_ISDIR(st.st_mode)
                                                       ? std::errc::is_a_directory
                                                       : std::errc::not_a_directory));
    }
    if (!present) {
        return path;
    }
    if (S_ISDIR(st.st_mode)) {
        throw FileError(path, std::make_error_code(std::errc::is_a_directory));
    }
    std::string target = path;
    if (S_ISLNK(st.st_mode)) {
        struct stat pointed {};
        if (::stat(path.c_str(), &pointed) != 0 || !S_ISREG(pointed.st_mode)) {
            throw FileError(path, make_error_code(CarillonErrc::not_a_regular_file));
        }
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            throw FileError(path, LastError());
        }
        target = real;
        std::free(real);
        st = pointed;
    } else if (!S_ISREG(st.st_mode)) {
        throw FileError(path, make_error_code(CarillonErrc::not_a_regular_file));
    }
    for (const FileIdentity& input : rules.inputs) {
        if (input == FileIdentity{st.st_dev, st.st_ino}) {
            throw FileError(path, make_error_code(CarillonErrc::is_an_input));
        }
    }
    if (!rules.force) {
        throw FileError(path, make_error_code(CarillonErrc::already_exists));
    }
    return target;
}

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <random>

namespace carillon::file_ops {

std::error_code InstallError() {
    return errno == EEXIST ? make_error_code(CarillonErrc::already_exists) : LastError();
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t at) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = RetryOnInterrupt([&] {
            return at < 0 ? ::write(fd, data + done, size - done)
                          : ::pwrite(fd, data + done, size - done, at + static_cast<off_t>(done));
        });
        if (n < 0) {
            throw std::system_error(LastError());
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string TempName(const std::string& folder) {
    static std::mt19937 random{std::random_device{}()};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".carillon-";
    for (int i = 0; i < 6; ++i) {
        name += kLetters[random() % (sizeof kLetters - 1)];
    }
    return folder + name;
}

bool FsyncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace carillon::file_ops

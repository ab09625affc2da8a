#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace carillon {
namespace {

class CarillonCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "carillon"; }
    std::string message(int ev) const override {
        switch (static_cast<CarillonErrc>(ev)) {
            case CarillonErrc::file_too_large:
                return "File too large";
            case CarillonErrc::not_a_regular_file:
                return "Not a regular file";
        }
        return "Unknown error";
    }
};

// Closes the descriptor on every path out of a read.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

std::error_code LastError() {
    return {errno, std::generic_category()};
}

int OpenForReading(const std::string& path, std::uint64_t& size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw FileError(path, LastError());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        auto ec = LastError();
        ::close(fd);
        throw FileError(path, ec);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileError(path, make_error_code(CarillonErrc::not_a_regular_file));
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

std::string TooLargeText(std::uint64_t size, std::uint64_t limit) {
    return "File too large: " + std::to_string(size) + " bytes, the limit is " +
           std::to_string(limit) + " bytes";
}

void ReadExactly(const std::string& path, int fd, std::uint8_t* dest, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd, dest + done, count - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError(path, LastError());
        }
        if (n == 0) {
            throw FileError(path, std::make_error_code(std::errc::io_error),
                            "File ended early (it changed while it was read)");
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

const std::error_category& carillon_category() {
    static CarillonCategory category;
    return category;
}

std::error_code make_error_code(CarillonErrc e) {
    return {static_cast<int>(e), carillon_category()};
}

FileError::FileError(std::string path, std::error_code code, const std::string& text)
    : std::system_error(code),
      path_(std::move(path)),
      text_(text.empty() ? code.message() : text),
      message_(path_ + ": " + text_) {}

std::string FileError::reason() const {
    return text_;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint64_t FileSize(const std::string& path) {
    std::uint64_t size = 0;
    Fd fd(OpenForReading(path, size));
    return size;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uint64_t limit) {
    std::uint64_t size = 0;
    Fd fd(OpenForReading(path, size));
    if (size > limit) {
        throw FileError(path, make_error_code(CarillonErrc::file_too_large),
                        TooLargeText(size, limit));
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    ReadExactly(path, fd.get(), bytes.data(), bytes.size());
    return bytes;
}

std::size_t ReadWholeFileInto(const std::string& path, std::uint8_t* dest, std::size_t capacity) {
    std::uint64_t size = 0;
    Fd fd(OpenForReading(path, size));
    if (size > capacity) {
        throw FileError(path, make_error_code(CarillonErrc::file_too_large),
                        TooLargeText(size, capacity));
    }
    ReadExactly(path, fd.get(), dest, static_cast<std::size_t>(size));
    return static_cast<std::size_t>(size);
}

WriteCheckError::WriteCheckError(std::string path, const std::string& detail,
                                 const std::string& consequence)
    : FileError(std::move(path), std::make_error_code(std::errc::io_error),
                "The written file failed its check (" + detail + "); " + consequence) {}

void WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         const WrittenCheck& check) {
    const auto slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp =
        (slash == std::string::npos ? std::string() : folder) + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw FileError(path, LastError());
    }
    auto fail = [&](std::error_code ec) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw FileError(path, ec);
    };
    // Keep the permission bits of the file being replaced; a new file gets 0666 less umask.
    struct stat st {};
    mode_t mode = 0;
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) {
        fail(LastError());
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(LastError());
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        fail(LastError());
    }
    const std::string mismatch = ReadBackAndCheck(fd, temp, 0, data, size, check);
    if (!mismatch.empty()) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw WriteCheckError(path, mismatch,
                              existed ? "the old file was left as it was" : "nothing was written");
    }
    if (::close(fd) != 0) {
        const auto ec = LastError();
        ::unlink(temp.c_str());
        throw FileError(path, ec);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const auto ec = LastError();
        ::unlink(temp.c_str());
        throw FileError(path, ec);
    }
}

std::string FinalPathComponent(const std::string& path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("/\\:");
#else
    const auto cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace carillon

// Appending to a file that several runs may append to at once (the single ".vkp" patch).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/file_ops.h"
#include "core/output_commit.h"

namespace carillon {
namespace {

using file_ops::LastError;
using file_ops::RetryOnInterrupt;

// The file at `target`, open for appending and locked, and whether this run created it.
struct LockedFile {
    int fd = -1;
    bool created = false;
    ~LockedFile() {
        if (fd >= 0) {
            ::close(fd);  // also lets the lock go
        }
    }
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens (or creates) `target` and locks it. Another run may have removed or replaced the file
// between the open and the lock, so once locked the name must still lead to the file held;
// else it is opened again.
void OpenLocked(const std::string& path, const std::string& target, LockedFile& file) {
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0;; ++attempt) {
        file.created = true;
        int fd = ::open(target.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) {
            file.created = false;
            fd = ::open(target.c_str(), kFlags);
        }
        if (fd < 0) {
            if (errno == ENOENT && attempt < 100) {
                continue;  // removed between the two opens
            }
            throw FileError(path, LastError());
        }
        file.fd = fd;
        struct stat held {};
        if (::fstat(fd, &held) != 0) {
            throw FileError(path, LastError());
        }
        if (!S_ISREG(held.st_mode)) {
            throw FileError(path, make_error_code(CarillonErrc::not_a_regular_file));
        }
        if (RetryOnInterrupt([&] { return ::flock(fd, LOCK_EX); }) != 0) {
            throw FileError(path, LastError());
        }
        struct stat named {};
        if (::stat(target.c_str(), &named) == 0 && SameFile(named, held)) {
            return;
        }
        ::close(fd);
        file.fd = -1;
        if (attempt == 100) {
            throw FileError(path, std::make_error_code(std::errc::resource_unavailable_try_again),
                            Message(MessageId::FileKeptBeingReplaced));
        }
    }
}

// Undoes this append under the lock: the `added` bytes from `before` are cut off only while
// the file still ends with them (nothing else was written after them), and never above the
// file's current length. A file this append created and that is empty again is removed.
void Undo(const std::string& target, const LockedFile& file, off_t before, off_t added) {
    struct stat now {};
    if (::fstat(file.fd, &now) != 0) {
        return;
    }
    if (added > 0 && now.st_size == before + added) {
        [[maybe_unused]] const int cut = ::ftruncate(file.fd, before);
        now.st_size = before;
    }
    struct stat named {};
    if (file.created && now.st_size == 0 && ::stat(target.c_str(), &named) == 0 &&
        SameFile(named, now)) {
        ::unlink(target.c_str());
    }
}

}  // namespace

void AppendToOutputFile(const std::string& path, std::string_view text, const OutputRules& rules,
                        const WrittenCheck& check) {
    OutputRules appending = rules;
    appending.force = true;
    const std::string target = CheckOutputTarget(path, appending);
    LockedFile file;
    OpenLocked(path, target, file);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        throw FileError(path, LastError());
    }
    const off_t before = st.st_size;
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    off_t added = 0;
    try {
        // One block at a time under the lock: it lands at `before`.
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n =
                RetryOnInterrupt([&] { return ::write(file.fd, data + done, text.size() - done); });
            if (n < 0) {
                throw std::system_error(LastError());
            }
            done += static_cast<std::size_t>(n);
            added = static_cast<off_t>(done);
        }
        if (::fsync(file.fd) != 0) {
            throw std::system_error(LastError());
        }
    } catch (const std::system_error& e) {
        // Leave no half block behind: V_KLay would apply its first lines.
        Undo(target, file, before, added);
        throw FileError(path, e.code());
    }
    // Only what was just appended is read back; when it fails it is cut off again.
    Message mismatch = ReadBackAndCheck(file.fd, target, static_cast<std::uint64_t>(before), data,
                                        text.size(), check);
    if (!mismatch.empty()) {
        Undo(target, file, before, added);
        throw WriteCheckError(
            path, std::move(mismatch),
            Message(file.created ? MessageId::NothingWritten : MessageId::AppendCutOffAgain));
    }
}

}  // namespace carillon

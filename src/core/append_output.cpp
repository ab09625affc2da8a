// SPDX-License-Identifier: GPL-3.0-or-later
// Appending to a file that several runs may append to at once (the single ".vkp" patch).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

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

std::chrono::milliseconds& LockWait() {
    static std::chrono::milliseconds wait{std::chrono::seconds(kAppendLockWaitSeconds)};
    return wait;
}

using Clock = std::chrono::steady_clock;

// How long an append may still wait for locks, and whether it said that it waits.
struct Waiting {
    Clock::time_point until = Clock::now() + LockWait();
    bool told = false;
};

// Takes the exclusive lock on `fd`, waiting for another program's lock until `waiting.until`.
void Lock(const std::string& path, int fd, const AppendHooks& hooks, Waiting& waiting) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            throw FileError(path, LastError());
        }
        if (!waiting.told) {
            waiting.told = true;
            if (hooks.lockBusy) {
                hooks.lockBusy();
            }
        }
        const Clock::time_point now = Clock::now();
        if (now >= waiting.until) {
            throw FileError(path, std::make_error_code(std::errc::resource_unavailable_try_again),
                            Message(MessageId::AppendLockTimeout,
                                    {Message::Arg(std::to_string(kAppendLockWaitSeconds))}));
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(20), waiting.until - now));
    }
}

// The first `size` bytes of the open file, a piece at a time.
FilePull PullFrom(int fd, std::uint64_t size, std::vector<char>& piece) {
    piece.resize(64 * 1024);
    return [fd, size, &piece, at = std::uint64_t{0}]() mutable -> std::string_view {
        if (at >= size) {
            return {};
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - at));
        const ssize_t n = RetryOnInterrupt(
            [&] { return ::pread(fd, piece.data(), want, static_cast<off_t>(at)); });
        if (n <= 0) {
            throw std::system_error(n < 0 ? LastError()
                                          : std::make_error_code(std::errc::io_error));
        }
        at += static_cast<std::uint64_t>(n);
        return {piece.data(), static_cast<std::size_t>(n)};
    };
}

// Opens (or creates) `target` and locks it. Another run may have removed or replaced the file
// between the open and the lock, so once locked the name must still lead to the file held;
// else it is opened again.
void OpenLocked(const std::string& path, const std::string& target, LockedFile& file,
                const AppendHooks& hooks) {
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    Waiting waiting;
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
        Lock(path, fd, hooks, waiting);
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
// Returns what is left: the reason's last words.
MessageId Undo(const std::string& target, const LockedFile& file, off_t before, off_t added) {
    struct stat now {};
    if (::fstat(file.fd, &now) != 0) {
        return MessageId::AppendStillThere;
    }
    if (added > 0 && now.st_size == before + added && ::ftruncate(file.fd, before) == 0) {
        now.st_size = before;
    }
    if (now.st_size != before) {
        return MessageId::AppendStillThere;
    }
    struct stat named {};
    if (file.created && now.st_size == 0 && ::stat(target.c_str(), &named) == 0 &&
        SameFile(named, now) && ::unlink(target.c_str()) == 0) {
        return MessageId::NothingWritten;
    }
    return added > 0 ? MessageId::AppendCutOffAgain : MessageId::NothingWritten;
}

}  // namespace

void SetAppendLockWait(std::chrono::milliseconds wait) {
    LockWait() = wait;
}

void AppendToOutputFile(const std::string& path, std::string_view text, const OutputRules& rules,
                        const WrittenCheck& check, const AppendHooks& hooks) {
    OutputRules appending = rules;
    appending.force = true;
    const std::string target = CheckOutputTarget(path, appending);
    LockedFile file;
    OpenLocked(path, target, file, hooks);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        throw FileError(path, LastError());
    }
    // While the lock was awaited the name may have come to lead to an input of the job (a link
    // to the opened image): it is checked again, now that it leads to the file held.
    for (const FileIdentity& input : rules.inputs) {
        if (input == FileIdentity{st.st_dev, st.st_ino}) {
            throw FileError(path, make_error_code(CarillonErrc::is_an_input));
        }
    }
    const off_t before = st.st_size;
    std::vector<char> piece;
    std::string lead;
    if (hooks.lead) {
        try {
            AppendHooks::Lead planned =
                hooks.lead(PullFrom(file.fd, static_cast<std::uint64_t>(before), piece),
                           static_cast<std::uint64_t>(before));
            if (!planned.refusal.empty()) {
                throw FileError(path, std::make_error_code(std::errc::invalid_argument),
                                std::move(planned.refusal));
            }
            lead = std::move(planned.text);
        } catch (const std::system_error& e) {
            if (dynamic_cast<const FileError*>(&e) != nullptr) {
                throw;
            }
            throw FileError(path, e.code());
        }
    }
    const std::string joined = lead + std::string(text);
    const auto* data = reinterpret_cast<const std::uint8_t*>(joined.data());
    // An ending signal waits until the append is read back or undone.
    HeldSignals held;
    off_t added = 0;
    try {
        // One block at a time under the lock: it lands at `before`.
        std::size_t done = 0;
        while (done < joined.size()) {
            const ssize_t n = RetryOnInterrupt(
                [&] { return ::write(file.fd, data + done, joined.size() - done); });
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
    // Only what was just appended is read back, then (when asked) the whole file is read as
    // it now stands; when either fails the append is undone.
    WrittenCheck checkText;
    if (check) {
        checkText = [&](std::span<const std::uint8_t> written) {
            return check(written.subspan(lead.size()));
        };
    }
    // The file is the user's: another program may change it meanwhile, so it is read, never
    // mapped.
    Message mismatch = ReadBackAndCheck(file.fd, target, static_cast<std::uint64_t>(before), data,
                                        joined.size(), checkText, ReadBackFrom::SharedFile);
    if (mismatch.empty() && hooks.whole) {
        const std::uint64_t end = static_cast<std::uint64_t>(before) + joined.size();
        try {
            mismatch = hooks.whole(PullFrom(file.fd, end, piece), end);
        } catch (const std::system_error& e) {
            mismatch = Message::Text(e.code().message());
        }
    }
    if (!mismatch.empty()) {
        throw WriteCheckError(path, std::move(mismatch),
                              Message(Undo(target, file, before, added)));
    }
    held.Written(path);
}

}  // namespace carillon

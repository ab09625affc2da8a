// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/read_back.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace carillon {
namespace {

std::function<void(const std::string&)>& Hook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// Reads `size` bytes from `offset` of `fd`, as many as it gives (stops at its end). Returns the
// count, or -1 with errno set.
ssize_t ReadUpTo(int fd, std::uint8_t* dest, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, dest + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// The comparison through a read-only mapping of the file, or nothing when it cannot be mapped.
std::optional<Message> CompareMapped(int fd, std::uint64_t offset, const std::uint8_t* data,
                                     std::size_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (length != offset + size) {
        // The mapping must not reach past the end of the file.
        return Message(MessageId::ReadsBackAs,
                       {Message::Arg(std::to_string(length > offset ? length - offset : 0)),
                        Message::Arg(std::to_string(size))});
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset / page * page;
    const std::size_t span = static_cast<std::size_t>(offset - start) + size;
    void* mapped =
        ::mmap(nullptr, span, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, static_cast<off_t>(start));
    if (mapped == MAP_FAILED) {
        return std::nullopt;
    }
    ::madvise(mapped, span, MADV_SEQUENTIAL);
    const auto* back = static_cast<const std::uint8_t*>(mapped) + (offset - start);
    Message result;
    if (std::memcmp(back, data, size) != 0) {
        const auto diff = std::mismatch(back, back + size, data);
        result = Message(MessageId::ReadsBackDifferently,
                         {Message::Arg(std::to_string(diff.first - back))});
    }
    ::munmap(mapped, span);
    return result;
}

// The read-back: compared a megabyte at a time, so an image costs one read and no second copy
// in memory.
Message ReadBackInBlocks(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                         ReadBackFrom from) {
    constexpr std::size_t kBlock = 1 << 20;
    // Past this size a file of the program's own is compared where it lies in the page cache,
    // mapped in one go, without copying it out first (a copy costs fresh pages, each a fault);
    // a file that cannot be mapped is read block by block below.
    constexpr std::size_t kMapped = 64 * 1024;
    if (from == ReadBackFrom::OwnFile && size >= kMapped) {
        if (std::optional<Message> result = CompareMapped(fd, offset, data, size)) {
            return *result;
        }
    }
    // Not zeroed first: every byte compared is one the read gave.
    const std::size_t capacity = std::min(size, kBlock) + 1;
    const std::unique_ptr<std::uint8_t[]> back(new std::uint8_t[capacity]);
    for (std::size_t at = 0;; at += kBlock) {
        // The last block asks for one byte more: a file that grew meanwhile is caught too.
        const std::size_t want = std::min(size - at, kBlock) + (size - at <= kBlock ? 1 : 0);
        const ssize_t n = ReadUpTo(fd, back.get(), want, offset + at);
        if (n < 0) {
            return Message(MessageId::CouldNotReadBack, {Message::Arg(std::strerror(errno))});
        }
        const std::size_t expected = std::min(size - at, kBlock);
        if (static_cast<std::size_t>(n) != expected) {
            return Message(static_cast<std::size_t>(n) > expected ? MessageId::ReadsBackAsOrMore
                                                                  : MessageId::ReadsBackAs,
                           {Message::Arg(std::to_string(at + static_cast<std::size_t>(n))),
                            Message::Arg(std::to_string(size))});
        }
        // memcmp first: it compares in vector words; the byte is looked for only on a mismatch.
        if (std::memcmp(back.get(), data + at, expected) != 0) {
            const auto diff = std::mismatch(back.get(), back.get() + n, data + at);
            return Message(MessageId::ReadsBackDifferently,
                           {Message::Arg(std::to_string(
                               at + static_cast<std::size_t>(diff.first - back.get())))});
        }
        if (size - at <= kBlock) {
            return {};
        }
    }
}

}  // namespace

void SetReadBackHook(std::function<void(const std::string& writtenPath)> hook) {
    Hook() = std::move(hook);
}

void RunReadBackHook(const std::string& writtenPath) {
    if (Hook()) {
        Hook()(writtenPath);
    }
}

Message ReadBackAndCheck(int fd, const std::string& writtenPath, std::uint64_t offset,
                         const std::uint8_t* data, std::size_t size, const WrittenCheck& check,
                         ReadBackFrom from) {
    RunReadBackHook(writtenPath);
    Message mismatch = ReadBackInBlocks(fd, offset, data, size, from);
    if (!mismatch.empty() || !check) {
        return mismatch;
    }
    // What is on disk equals `data` byte for byte, so the check may look at `data`.
    return check(std::span<const std::uint8_t>(data, size));
}

}  // namespace carillon

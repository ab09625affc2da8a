// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/hex.h"

namespace carillon {
namespace {

// The reason of one of our own error codes, by its id.
MessageId CarillonReason(CarillonErrc e) {
    switch (e) {
        case CarillonErrc::file_too_large:
            return MessageId::FileTooLarge;
        case CarillonErrc::not_a_regular_file:
            return MessageId::FileNotRegular;
        case CarillonErrc::already_exists:
            return MessageId::FileExistsAlready;
        case CarillonErrc::changed_while_read:
            return MessageId::FileChangedWhileRead;
        case CarillonErrc::is_an_input:
            return MessageId::FileIsInput;
    }
    return MessageId::FileUnknownError;
}

class CarillonCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "carillon"; }
    std::string message(int ev) const override;
};

std::error_code LastError() {
    return {errno, std::generic_category()};
}

std::function<void(const std::string&, std::uint64_t)>& ReadHook() {
    static std::function<void(const std::string&, std::uint64_t)> hook;
    return hook;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

Message TooLargeText(std::uint64_t size, std::uint64_t limit) {
    return Message(MessageId::FileTooLargeLimit,
                   {Message::Arg(std::to_string(size)), Message::Arg(std::to_string(limit))});
}

Message ReasonOf(const std::error_code& code) {
    if (code.category() == carillon_category()) {
        return Message(CarillonReason(static_cast<CarillonErrc>(code.value())));
    }
    return Message::Text(code.message());
}

}  // namespace

std::string CarillonCategory::message(int ev) const {
    return English(Message(CarillonReason(static_cast<CarillonErrc>(ev))));
}

const std::error_category& carillon_category() {
    static CarillonCategory category;
    return category;
}

std::error_code make_error_code(CarillonErrc e) {
    return {static_cast<int>(e), carillon_category()};
}

FileError::FileError(std::string path, std::error_code code, Message reason)
    : std::system_error(code),
      path_(std::move(path)),
      reason_(reason.empty() ? ReasonOf(code) : std::move(reason)),
      english_(English(message())) {}

Message FileError::message() const {
    // "PATH is the opened image ...": a sentence about the path, not a reason after it.
    const bool sentence = code() == make_error_code(CarillonErrc::is_an_input);
    return Message(sentence ? MessageId::FileSentence : MessageId::FileFailure,
                   {Message::Arg(path_), Message::Arg(reason_)});
}

int FileError::systemError() const {
    const std::error_category& category = code().category();
    return category == std::generic_category() || category == std::system_category()
               ? code().value()
               : 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{st.st_dev, st.st_ino};
}

InputFile::InputFile(std::string path, std::uint64_t limit) : path_(std::move(path)) {
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait forever.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        throw FileError(path_, LastError());
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const auto ec = LastError();
        ::close(fd_);
        throw FileError(path_, ec);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        throw FileError(path_, S_ISDIR(st.st_mode)
                                   ? std::make_error_code(std::errc::is_a_directory)
                                   : make_error_code(CarillonErrc::not_a_regular_file));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    identity_ = {st.st_dev, st.st_ino};
    modified_ = st.st_mtim;
    changed_ = st.st_ctim;
    if (size_ > limit) {
        ::close(fd_);
        throw FileError(path_, make_error_code(CarillonErrc::file_too_large),
                        TooLargeText(size_, limit));
    }
}

InputFile::InputFile(InputFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      identity_(other.identity_),
      modified_(other.modified_),
      changed_(other.changed_) {}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void InputFile::ReadAt(std::uint64_t offset, std::uint8_t* dest, std::size_t count) const {
    if (offset > size_ || count > size_ - offset) {
        throw FileError(path_, std::make_error_code(std::errc::invalid_argument),
                        Message(MessageId::ReadOutsideFile, {Message::Arg(std::to_string(count)),
                                                             Message::Arg(std::to_string(offset)),
                                                             Message::Arg(std::to_string(size_))}));
    }
    if (ReadHook()) {
        ReadHook()(path_, offset);
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, dest + done, count - done,
                                  static_cast<off_t>(offset + static_cast<std::uint64_t>(done)));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            throw FileError(path_, LastError());
        }
        if (n == 0) {
            throw FileError(path_, std::make_error_code(std::errc::io_error),
                            Message(MessageId::FileEndedEarly));
        }
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> InputFile::ReadAt(std::uint64_t offset, std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    ReadAt(offset, bytes.data(), count);
    return bytes;
}

std::vector<std::uint8_t> InputFile::ReadAll() const {
    return ReadAt(0, static_cast<std::size_t>(size_));
}

std::vector<std::uint8_t> InputFile::ReadUpTo(std::size_t limit) const {
    if (ReadHook()) {
        ReadHook()(path_, 0);
    }
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(size_, limit)));
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done == limit) {
                break;
            }
            bytes.resize(std::min(limit, std::max<std::size_t>(done * 2, 4096)));
        }
        const ssize_t n =
            ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            throw FileError(path_, LastError());
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void InputFile::ConfirmUnchanged(std::span<const std::uint8_t> used) const {
    constexpr std::size_t kPiece = 16 * 1024;  // small pieces stay in the cache for the comparison
    std::vector<std::uint8_t> again(std::min(kPiece, used.size()));
    for (std::size_t at = 0; at < used.size(); at += kPiece) {
        const std::size_t n = std::min(kPiece, used.size() - at);
        try {
            ReadAt(at, again.data(), n);
        } catch (const FileError&) {
            // A file that shrank is a file that changed.
            throw FileError(path_, make_error_code(CarillonErrc::changed_while_read));
        }
        if (std::memcmp(again.data(), used.data() + at, n) != 0) {
            throw FileError(path_, make_error_code(CarillonErrc::changed_while_read));
        }
    }
    ConfirmUnchanged();
}

void InputFile::ConfirmUnchanged() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        throw FileError(path_, LastError());
    }
    if (static_cast<std::uint64_t>(st.st_size) != size_ || !SameTime(st.st_mtim, modified_) ||
        !SameTime(st.st_ctim, changed_)) {
        throw FileError(path_, make_error_code(CarillonErrc::changed_while_read));
    }
}

void SetInputReadHook(std::function<void(const std::string& path, std::uint64_t offset)> hook) {
    ReadHook() = std::move(hook);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint64_t FileSize(const std::string& path) {
    return InputFile(path).size();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uint64_t limit) {
    return InputFile(path, limit).ReadAll();
}

std::size_t ReadWholeFileInto(const std::string& path, std::uint8_t* dest, std::size_t capacity) {
    const InputFile file(path, capacity);
    const auto size = static_cast<std::size_t>(file.size());
    file.ReadAt(0, dest, size);
    return size;
}

WriteCheckError::WriteCheckError(std::string path, Message detail, Message consequence)
    : FileError(std::move(path), std::make_error_code(std::errc::io_error),
                Message(MessageId::WrittenFileFailedCheck,
                        {Message::Arg(std::move(detail)), Message::Arg(std::move(consequence))})) {}

std::string FinalPathComponent(const std::string& path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("/\\:");
#else
    const auto cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

namespace {

// Length of the valid UTF-8 sequence at the start of `text` that is not a control character
// (C1 controls U+0080..U+009F count as controls), or 0.
std::size_t PrintableSequence(std::string_view text) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto tail = [&](std::size_t i) { return i < text.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned char lead = b(0);
    if (lead >= 0x20 && lead <= 0x7E) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF && tail(1)) {
        return lead == 0xC2 && b(1) < 0xA0 ? 0 : 2;  // C2 80..C2 9F: C1 controls
    }
    if (lead >= 0xE0 && lead <= 0xEF && tail(1) && tail(2)) {
        const bool overlong = lead == 0xE0 && b(1) < 0xA0;
        const bool surrogate = lead == 0xED && b(1) >= 0xA0;
        // The bidirectional embeddings, overrides and isolates (U+202A..U+202E,
        // U+2066..U+2069) would make the rest of a line read in another order.
        const bool bidi = lead == 0xE2 && ((b(1) == 0x80 && b(2) >= 0xAA && b(2) <= 0xAE) ||
                                           (b(1) == 0x81 && b(2) >= 0xA6 && b(2) <= 0xA9));
        return overlong || surrogate || bidi ? 0 : 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4 && tail(1) && tail(2) && tail(3)) {
        const bool overlong = lead == 0xF0 && b(1) < 0x90;
        const bool tooHigh = lead == 0xF4 && b(1) >= 0x90;
        return overlong || tooHigh ? 0 : 4;
    }
    return 0;
}

std::string HexEscape(unsigned char b) {
    std::string out = "\\x";
    AppendHexByte(out, b);
    return out;
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b <= 0x7E) {
            out += c;
        } else {
            out += HexEscape(b);
        }
    }
    return out;
}

std::string EscapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = PrintableSequence(text);
        if (n > 0) {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
            continue;
        }
        out += HexEscape(static_cast<unsigned char>(text.front()));
        text.remove_prefix(1);
    }
    return out;
}

}  // namespace carillon

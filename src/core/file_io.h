// SPDX-License-Identifier: GPL-3.0-or-later
// File access shared by every front end: the one error type and the bounded reader. Outputs go
// through core/output_commit.h.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/message.h"

namespace carillon {

// An input/output failure on one file. what() reads "PATH: TEXT" in English; message() is the
// same as an id with its arguments, for a front end that shows it in another language. The
// system's own text (strerror) and the path stay as they are in every language.
class FileError : public std::system_error {
  public:
    // `reason` empty: the text of `code` (the system's text, or one of ours by its id).
    FileError(std::string path, std::error_code code, Message reason = {});
    const char* what() const noexcept override { return english_.c_str(); }
    const std::string& path() const { return path_; }
    // The text without the path, e.g. "Permission denied".
    std::string reason() const { return English(reason_); }
    const Message& reasonMessage() const { return reason_; }
    // The whole text: "PATH: REASON".
    Message message() const;
    // The system's error number (errno), or 0 when the failure is one of ours.
    int systemError() const;

  private:
    std::string path_;
    Message reason_;
    std::string english_;
};

// Error codes of our own (not from the system).
enum class CarillonErrc {
    file_too_large = 1,
    not_a_regular_file,
    already_exists,
    is_an_input,
    changed_while_read,
};
const std::error_category& carillon_category();
std::error_code make_error_code(CarillonErrc e);

}  // namespace carillon

template <>
struct std::is_error_code_enum<carillon::CarillonErrc> : std::true_type {};

namespace carillon {

// Which file a path names, after following links: equal identities are the same file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The identity of what `path` names now, or nothing when it names nothing.
std::optional<FileIdentity> IdentityOf(const std::string& path);

inline constexpr std::uint64_t kNoSizeLimit = std::numeric_limits<std::uint64_t>::max();

// A regular file opened for reading: read-only and non-blocking (a FIFO or a device never
// stalls the open), then checked with fstat: anything but a regular file is refused with
// "PATH: Not a regular file", a file over `limit` bytes with "PATH: File too large: ...".
// Reads are positional and bounded by the size the file had when it was opened; a file that
// shrinks meanwhile gives "PATH: File ended early ...". Every error is a FileError naming
// the path.
class InputFile {
  public:
    explicit InputFile(std::string path, std::uint64_t limit = kNoSizeLimit);
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&&) = delete;
    ~InputFile();

    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }
    FileIdentity identity() const { return identity_; }

    // Reads [offset, offset + count) into `dest`. A range past the size is refused before
    // anything is read.
    void ReadAt(std::uint64_t offset, std::uint8_t* dest, std::size_t count) const;
    std::vector<std::uint8_t> ReadAt(std::uint64_t offset, std::size_t count) const;
    std::vector<std::uint8_t> ReadAll() const;
    // Reads from the start until the file ends or `limit` bytes are read, whatever its size
    // when it was opened: the length of what it returns is the truth about a file that grew
    // meanwhile (up to `limit`).
    std::vector<std::uint8_t> ReadUpTo(std::size_t limit) const;

    // Throws "PATH: the image changed while it was read" when the file is no longer as it was
    // opened: another length, or a new modification or status-change time. A job that read
    // the file in several steps calls it once everything is read, before it writes anything.
    void ConfirmUnchanged() const;
    // The same, and the file must still hold `used` (the bytes the job read from its start and
    // made its output from): they are read again and compared, since a write through a shared
    // mapping moves neither the length nor the times.
    void ConfirmUnchanged(std::span<const std::uint8_t> used) const;

  private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    FileIdentity identity_;
    struct timespec modified_ {};
    struct timespec changed_ {};
};

// Test seam: called with the path and offset of every InputFile read just before it is made
// (a test may change the file there). An empty function removes the hook.
void SetInputReadHook(std::function<void(const std::string& path, std::uint64_t offset)> hook);

// True when `path` names a regular file (following links).
bool FileExists(const std::string& path);

// Size of an existing regular file; throws FileError.
std::uint64_t FileSize(const std::string& path);

// Reads the whole file with InputFile. Refuses files over `limit` bytes with a FileError
// naming the limit, before reading any byte.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uint64_t limit);

// Reads the whole file into `dest` (which holds `capacity` bytes). Returns the length.
// A file over `capacity` bytes is refused before `dest` changes.
std::size_t ReadWholeFileInto(const std::string& path, std::uint8_t* dest, std::size_t capacity);

// Final path component ("tune.si3" of "/a/b/tune.si3" or "C:\a\tune.si3").
std::string FinalPathComponent(const std::string& path);

// `text` with every byte outside 0x20..0x7E shown as "\xNN" (upper-case hex): bytes that are
// no text (the phone model of an image) cannot move the cursor or change a terminal's state.
std::string EscapeControlBytes(std::string_view text);

// A path or a name as a terminal may show it: every C0 control byte, 0x7F, C1 control
// (U+0080..U+009F), bidirectional control (U+202A..U+202E, U+2066..U+2069) and byte that is no
// part of valid UTF-8 is shown as "\xNN", so that a file name cannot colour or retitle the
// terminal or make a path read backwards. Valid UTF-8 (a Cyrillic name) stays as it is.
std::string EscapeForTerminal(std::string_view text);

// A written file that did not read back as meant (a WriteCheckError is a FileError).
class WriteCheckError : public FileError {
  public:
    // "PATH: The written file failed its check (DETAIL); CONSEQUENCE"
    WriteCheckError(std::string path, Message detail, Message consequence);
};

}  // namespace carillon

// File access shared by every front end: whole-file reads and the one error type.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "core/read_back.h"

namespace carillon {

// An input/output failure on one file. what() reads "PATH: TEXT".
class FileError : public std::system_error {
  public:
    FileError(std::string path, std::error_code code, const std::string& text = {});
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& path() const { return path_; }
    // The text without the path, e.g. "Permission denied".
    std::string reason() const;

  private:
    std::string path_;
    std::string text_;
    std::string message_;
};

// Error codes of our own (not from the system).
enum class CarillonErrc {
    file_too_large = 1,
    not_a_regular_file,
};
const std::error_category& carillon_category();
std::error_code make_error_code(CarillonErrc e);

bool FileExists(const std::string& path);

// Size of an existing regular file; throws FileError.
std::uint64_t FileSize(const std::string& path);

// Reads the whole file, opened read-only. Refuses files over `limit` bytes with a FileError
// naming the limit, before reading any byte.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uint64_t limit);

// Reads the whole file into `dest` (which holds `capacity` bytes). Returns the length.
// A file over `capacity` bytes is refused before `dest` changes.
std::size_t ReadWholeFileInto(const std::string& path, std::uint8_t* dest, std::size_t capacity);

// Final path component ("tune.si3" of "/a/b/tune.si3" or "C:\a\tune.si3").
std::string FinalPathComponent(const std::string& path);

}  // namespace carillon

template <>
struct std::is_error_code_enum<carillon::CarillonErrc> : std::true_type {};

namespace carillon {

// A written file that did not read back as meant (a WriteCheckError is a FileError).
class WriteCheckError : public FileError {
  public:
    // "PATH: The written file failed its check (DETAIL); CONSEQUENCE"
    WriteCheckError(std::string path, const std::string& detail, const std::string& consequence);
};

// Replaces (or creates) `path` with `bytes` safely: the bytes go to a temporary file in the
// same folder, which is flushed to disk, read back, compared (and given to `check`), and only
// then renamed over the target. On any failure the temporary file is removed, the old file
// stays whole, and a FileError naming `path` is thrown (a WriteCheckError when the read-back
// failed). An existing target keeps its permission bits.
void WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         const WrittenCheck& check = {});
inline void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                const WrittenCheck& check = {}) {
    WriteFileAtomically(path, bytes.data(), bytes.size(), check);
}

}  // namespace carillon

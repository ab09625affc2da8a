// The one way files are written: existence rules, the input-identity check, temporary files in
// the target's folder, no-replace or replacing installs, several files all or nothing, and
// cleanup of temporary files on every error and on SIGINT/SIGTERM.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_io.h"
#include "core/read_back.h"

namespace carillon {

// Rules for an output target, checked with lstat before anything is written:
// - a missing name is created;
// - any existing entry needs `force` ("PATH: already exists");
// - a folder is never replaced ("PATH: Is a directory"), nor anything else that is not a
//   regular file: FIFOs, devices, sockets, dangling links ("PATH: Not a regular file");
// - a symbolic link to a regular file is followed: the file it points to is replaced and the
//   link stays;
// - a target that is one of the protected files (same device and inode, after following
//   links) is refused whatever `force` says ("PATH: is an input of this job ...").
struct OutputRules {
    bool force = false;
    std::vector<FileIdentity> inputs;

    // Refuse `path` (when it exists) as an output. Throws nothing; a missing file protects
    // nothing.
    void Protect(const std::string& path);
    void Protect(const InputFile& file) { inputs.push_back(file.identity()); }
};

// Checks `path` against the rules; returns the path to write to (the file a link points to,
// or `path` itself). Throws FileError.
std::string CheckOutputTarget(const std::string& path, const OutputRules& rules);

// Several output files written all or nothing:
//   OutputCommit commit(rules);
//   commit.Check(a); commit.Check(b);      // every target, before any work
//   commit.Add(a, bytesA); commit.Add(b, bytesB);   // written to temporary files and flushed
//   commit.Commit();                        // installed one after another
// A failure before the first install removes every temporary file and leaves every old file
// as it was. A failure after it (the folder vanished) throws a FileError that names the files
// already replaced. The destructor removes whatever was not installed.
class OutputCommit {
  public:
    explicit OutputCommit(OutputRules rules);
    OutputCommit(const OutputCommit&) = delete;
    OutputCommit& operator=(const OutputCommit&) = delete;
    ~OutputCommit();

    // Checks one target against the rules (and against the targets added so far: one name
    // can be written once). Throws FileError.
    void Check(const std::string& path) const;
    // Checks the target, then writes `size` bytes to a temporary file in its folder, flushes
    // it to disk and reads it back: it must hold exactly those bytes and pass `check`. Throws
    // FileError naming `path` (a WriteCheckError when the read-back failed).
    void Add(const std::string& path, const std::uint8_t* data, std::size_t size,
             const WrittenCheck& check = {});
    void Add(const std::string& path, std::string_view text, const WrittenCheck& check = {}) {
        Add(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), check);
    }
    void Add(const std::string& path, const std::vector<std::uint8_t>& bytes,
             const WrittenCheck& check = {}) {
        Add(path, bytes.data(), bytes.size(), check);
    }
    // The same for a copy of `source` (as long as it was when opened) with `changes` written
    // over it in order; the copy is made in the kernel where the system allows. A source that
    // shrinks meanwhile is an error naming it. The copy is read back and compared with the
    // source and the changes.
    struct Change {
        std::uint64_t offset = 0;
        std::span<const std::uint8_t> bytes;
    };
    void AddCopy(const std::string& path, const InputFile& source,
                 const std::vector<Change>& changes);
    // Installs every added file in the order added: without `force` a file is put in place
    // only when its name is still free (a concurrent run gets "already exists"); with it the
    // temporary file is renamed over the target.
    void Commit();

  private:
    struct Pending;
    // Opens a temporary file for `path`, lets `fill` write it, flushes it, and lets `verify`
    // read it back (an empty text when it is right).
    template <typename Fill, typename Verify>
    void AddWith(const std::string& path, Fill fill, Verify verify);
    OutputRules rules_;
    std::vector<std::unique_ptr<Pending>> pending_;
};

// One file written through a one-file OutputCommit.
void WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                     const OutputRules& rules, const WrittenCheck& check = {});
inline void WriteOutputFile(const std::string& path, std::string_view text,
                            const OutputRules& rules, const WrittenCheck& check = {}) {
    WriteOutputFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), rules,
                    check);
}

// Appends `text` to `path` (created when missing) after the same target checks (an existing
// file is fine: appending is what was asked). A failed append cuts the file back to its old
// length. The appended text is read back and must equal `text` and pass `check`; when it does
// not, it is cut off again and a WriteCheckError is thrown. Throws FileError.
void AppendToOutputFile(const std::string& path, std::string_view text, const OutputRules& rules,
                        const WrittenCheck& check = {});

// Replaces (or creates) `path` with `bytes` safely, with `force` and no protected inputs: the
// bytes go to a temporary file in the same folder, which is flushed to disk and renamed over
// the target. On any failure the old file stays whole and a FileError naming `path` is thrown.
// An existing target keeps its permission bits.
void WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         const WrittenCheck& check = {});
inline void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                const WrittenCheck& check = {}) {
    WriteFileAtomically(path, bytes.data(), bytes.size(), check);
}

// For a process that writes files: SIGXFSZ is ignored (a write past the file size limit fails
// with EFBIG and is reported), and SIGINT and SIGTERM remove the named temporary files still
// in progress, then end the process by the same signal as before (exit status 130/143).
void InstallOutputSignalHandlers();

// Puts a named temporary file on the list the SIGINT/SIGTERM handler removes, for as long as
// it lives. The list is fixed-size and safe to walk in a signal handler; the output commit
// registers its own temporary names.
class TempFileRegistration {
  public:
    explicit TempFileRegistration(const std::string& path);
    TempFileRegistration(const TempFileRegistration&) = delete;
    TempFileRegistration& operator=(const TempFileRegistration&) = delete;
    ~TempFileRegistration();

  private:
    int slot_ = -1;
};

}  // namespace carillon

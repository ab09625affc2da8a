// SPDX-License-Identifier: GPL-3.0-or-later
// The one way files are written: existence rules, the input-identity check, temporary files in
// the target's folder, no-replace or replacing installs, several files all or nothing, and
// cleanup of temporary files on every error and on the signals that end a process.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_io.h"
#include "core/read_back.h"
#include "core/temp_files.h"

namespace carillon {

// Rules for an output target, checked with lstat before anything is written:
// - a missing name is created;
// - any existing entry needs `force` ("PATH: already exists");
// - a folder is never replaced ("PATH: Is a directory"), nor anything else that is not a
//   regular file: FIFOs, devices, sockets, dangling links ("PATH: Not a regular file");
// - a symbolic link to a regular file is followed: the file it points to is replaced and the
//   link stays;
// - a target that is one of the protected files (same device and inode, after following
//   links) is refused whatever `force` says ("PATH is the opened image (or a file this run
//   reads); it is never overwritten").
struct OutputRules {
    bool force = false;
    std::vector<FileIdentity> inputs;

    // Refuse `path` (when it exists) as an output. Throws nothing; a missing file protects
    // nothing.
    void Protect(const std::string& path);
    void Protect(const InputFile& file) { inputs.push_back(file.identity()); }
};

// Whether a job may replace outputs that exist already (the command line's --force).
enum class Existing : std::uint8_t { Refuse, Replace };

// The rules of one job: `existing` decides about existing outputs, and every file the job reads
// (the opened image, replacement files, ...) that exists now is never an output.
OutputRules JobOutputRules(Existing existing, const std::vector<std::string>& inputs);

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
    // Installs every added file in the order added: without `force` a file is put in place
    // only when its name is still free (a concurrent run gets "already exists"); with it the
    // temporary file is renamed over the target.
    void Commit();

  private:
    struct Pending;
    OutputRules rules_;
    std::vector<std::unique_ptr<Pending>> pending_;
};

// One file written through a one-file OutputCommit.
void WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                     const OutputRules& rules, const WrittenCheck& check = {});
inline void WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
                            const OutputRules& rules, const WrittenCheck& check = {}) {
    WriteOutputFile(path, bytes.data(), bytes.size(), rules, check);
}
inline void WriteOutputFile(const std::string& path, std::string_view text,
                            const OutputRules& rules, const WrittenCheck& check = {}) {
    WriteOutputFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), rules,
                    check);
}

// Reads a file from its start a piece at a time; an empty piece ends it. A piece stays valid
// until the next call.
using FilePull = std::function<std::string_view()>;

// What an append may add to its checks.
struct AppendHooks {
    // Called once when another program holds the lock and the append starts to wait for it.
    std::function<void()> lockBusy;
    // Called under the lock with the file as it stands (`size` bytes, from its start): the
    // text to write before the appended text (lines that restore what the file's text leaves
    // in force), or a refusal (then nothing is written).
    struct Lead {
        std::string text;
        Message refusal;
    };
    std::function<Lead(const FilePull& existing, std::uint64_t size)> lead;
    // Called once the appended text read back: the whole file as it now stands. Empty when it
    // reads as meant, else why not (the append is then undone).
    std::function<Message(const FilePull& whole, std::uint64_t size)> whole;
};

// How long an append waits for another program's lock on the file.
inline constexpr int kAppendLockWaitSeconds = 10;

// Appends `text` to `path` (created when missing) after the same target checks (an existing
// file is fine: appending is what was asked). Several processes may append to one file at
// once: each holds an exclusive lock (flock) on it from before its append to after its
// read-back, so blocks never mix and none is lost. A lock held by another program is waited
// for at most kAppendLockWaitSeconds (telling `hooks.lockBusy` once), then the append is
// refused. Once locked, the file must still be what the name leads to and none of the job's
// protected inputs (it may have been replaced by a link meanwhile). The appended text is read
// back and must equal `text` and pass `check`. The ending signals wait until the append is
// read back or undone. A failed append leaves the file as it was: this append's bytes are cut
// off again (only while the file still ends with them), and a file this append created is
// removed; the message says which happened. Throws FileError (WriteCheckError when the
// read-back failed).
void AppendToOutputFile(const std::string& path, std::string_view text, const OutputRules& rules,
                        const WrittenCheck& check = {}, const AppendHooks& hooks = {});

// Test seam: how long an append waits for a lock (kAppendLockWaitSeconds when not set).
void SetAppendLockWait(std::chrono::milliseconds wait);

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

// Test seam: called with each target's path just before the commit puts it in place (a test
// may send a signal there). An empty function removes the hook.
void SetInstallHook(std::function<void(const std::string& path)> hook);

}  // namespace carillon

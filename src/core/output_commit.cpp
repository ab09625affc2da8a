// SPDX-License-Identifier: GPL-3.0-or-later
// Several output files written to temporary files beside their targets, read back, and put in
// place all or nothing.
#include "core/output_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "core/file_ops.h"

namespace carillon {
namespace {

using file_ops::FolderOf;
using file_ops::InstallError;
using file_ops::LastError;
using file_ops::TempName;

std::function<void(const std::string&)>& InstallHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

mode_t ModeFor(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        return st.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

void SetInstallHook(std::function<void(const std::string& path)> hook) {
    InstallHook() = std::move(hook);
}

struct OutputCommit::Pending {
    std::string path;    // as the caller named it
    std::string target;  // what is replaced: `path`, or the file its link points to
    int fd = -1;         // the flushed temporary file, until it is installed
    std::string temp;    // its name, when it has one
    int slot = -1;       // its entry in the signal handler's table

    // Closes and removes the temporary file; returns the name of one that could not be
    // removed (an append-only folder), or "".
    std::string Discard() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
        std::string left;
        if (!temp.empty()) {
            if (::unlink(temp.c_str()) != 0 && errno != ENOENT) {
                left = temp;
            }
            ForgetName();
        }
        return left;
    }
    void ForgetName() {
        temp_files::Release(slot);
        temp.clear();
        slot = -1;
    }
    void TakeName(std::string name) {
        temp = std::move(name);
        slot = temp_files::Register(temp);
    }
    // `error` with the name of a temporary file that could not be removed, if any.
    FileError Failed(const FileError& error) {
        const std::string left = Discard();
        if (left.empty()) {
            return error;
        }
        return FileError(error.path(), error.code(),
                         Message(MessageId::TemporaryFileLeft,
                                 {Message::Arg(error.reasonMessage()), Message::Arg(left)}));
    }
    ~Pending() { Discard(); }

    // A temporary file without a name where the file system allows it (nothing to clean up,
    // even where removal is forbidden), else a short named one.
    void Open(mode_t mode) {
        const std::string folder = FolderOf(target);
        fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
                throw FileError(path, LastError());
            }
            for (int attempt = 0; fd < 0; ++attempt) {
                std::string name = TempName(folder);
                fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                if (fd < 0 && (errno != EEXIST || attempt == 100)) {
                    throw FileError(path, LastError());
                }
                if (fd >= 0) {
                    TakeName(std::move(name));
                }
            }
        }
        if (::fchmod(fd, mode) != 0) {
            throw FileError(path, LastError());
        }
    }

    // Gives the anonymous temporary file a short name beside the target.
    void Name() {
        for (int attempt = 0;; ++attempt) {
            std::string name = TempName(FolderOf(target));
            if (::linkat(AT_FDCWD, ProcPath(fd).c_str(), AT_FDCWD, name.c_str(),
                         AT_SYMLINK_FOLLOW) == 0) {
                TakeName(std::move(name));
                return;
            }
            if (errno != EEXIST || attempt == 100) {
                throw FileError(path, LastError());
            }
        }
    }

    void Install(bool force) {
        if (temp.empty() && !force) {
            // Appears under its name only if the name is still free.
            if (::linkat(AT_FDCWD, ProcPath(fd).c_str(), AT_FDCWD, target.c_str(),
                         AT_SYMLINK_FOLLOW) != 0) {
                throw FileError(path, InstallError());
            }
        } else {
            if (temp.empty()) {
                Name();
            }
            int moved = force ? ::rename(temp.c_str(), target.c_str())
                              : ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(),
                                            RENAME_NOREPLACE);
            if (moved != 0 && !force && errno == EINVAL) {
                // No RENAME_NOREPLACE on this file system: link fails on an existing name too.
                moved = ::link(temp.c_str(), target.c_str());
                if (moved == 0) {
                    ::unlink(temp.c_str());
                }
            }
            if (moved != 0) {
                throw FileError(path, InstallError());
            }
            ForgetName();
        }
        ::close(fd);
        fd = -1;
    }
};

OutputCommit::OutputCommit(OutputRules rules) : rules_(std::move(rules)) {}

OutputCommit::~OutputCommit() = default;

void OutputCommit::Check(const std::string& path) const {
    const std::string target = CheckOutputTarget(path, rules_);
    for (const auto& p : pending_) {
        if (p->path == path || p->target == target) {
            throw FileError(path, std::make_error_code(std::errc::file_exists),
                            Message(MessageId::OutputNamedTwice));
        }
    }
}

void OutputCommit::Add(const std::string& path, const std::uint8_t* data, std::size_t size,
                       const WrittenCheck& check) {
    Check(path);
    auto p = std::make_unique<Pending>();
    p->path = path;
    p->target = CheckOutputTarget(path, rules_);
    try {
        p->Open(ModeFor(p->target));
        file_ops::WriteAll(p->fd, data, size);
        if (::fsync(p->fd) != 0) {
            throw std::system_error(LastError());
        }
        // Read back before anything is replaced: a file that fails costs no old file.
        const std::string written = p->temp.empty() ? ProcPath(p->fd) : p->temp;
        Message mismatch =
            ReadBackAndCheck(p->fd, written, 0, data, size, check, ReadBackFrom::OwnFile);
        if (!mismatch.empty()) {
            struct stat st {};
            throw WriteCheckError(
                path, std::move(mismatch),
                Message(::stat(p->target.c_str(), &st) == 0 ? MessageId::OldFileLeft
                                                            : MessageId::NothingWritten));
        }
    } catch (const WriteCheckError&) {
        p->Discard();
        throw;
    } catch (const FileError& e) {
        throw p->Failed(e);
    } catch (const std::system_error& e) {
        throw p->Failed(FileError(path, e.code()));
    }
    pending_.push_back(std::move(p));
}

void OutputCommit::Commit() {
    std::string done;
    std::set<std::string> folders;
    // An ending signal waits until every file is in place, then ends the process with the
    // list of files written.
    HeldSignals held;
    for (auto& p : pending_) {
        try {
            if (InstallHook()) {
                InstallHook()(p->path);
            }
            p->Install(rules_.force);
        } catch (const FileError& failure) {
            const FileError e = p->Failed(failure);
            if (done.empty()) {
                throw e;
            }
            throw FileError(e.path(), e.code(),
                            Message(MessageId::FilesAlreadyWritten,
                                    {Message::Arg(e.reasonMessage()), Message::Arg(done)}));
        }
        done += (done.empty() ? "" : ", ") + p->path;
        held.Written(p->path);
        folders.insert(FolderOf(p->target));
    }
    // The new names are durable once their folders are.
    for (const std::string& folder : folders) {
        file_ops::FsyncFolder(folder);
    }
    pending_.clear();
}

void WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                     const OutputRules& rules, const WrittenCheck& check) {
    OutputCommit commit(rules);
    commit.Add(path, data, size, check);
    commit.Commit();
}

void WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         const WrittenCheck& check) {
    OutputRules rules;
    rules.force = true;
    WriteOutputFile(path, data, size, rules, check);
}

}  // namespace carillon

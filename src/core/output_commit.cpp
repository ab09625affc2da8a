#include "core/output_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

namespace carillon {
namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

// --- Named temporary files, for the signal handler ----------------------------------------
// A fixed table the handler can walk without allocating: a slot is claimed (1), filled, then
// published (2); the handler unlinks every published path. Plain zero-initialised data (no
// constructor runs at start-up, no page is touched until a slot is used), accessed atomically.
constexpr std::size_t kTempSlots = 64;
constexpr std::size_t kTempPathMax = 4096;
struct TempSlot {
    int state;
    char path[kTempPathMax];
};
TempSlot g_temps[kTempSlots];

std::atomic_ref<int> StateOf(TempSlot& slot) {
    return std::atomic_ref<int>(slot.state);
}

int RegisterTemp(const std::string& path) {
    if (path.size() >= kTempPathMax) {
        return -1;
    }
    for (std::size_t i = 0; i < kTempSlots; ++i) {
        int expected = 0;
        if (StateOf(g_temps[i]).compare_exchange_strong(expected, 1)) {
            std::memcpy(g_temps[i].path, path.c_str(), path.size() + 1);
            StateOf(g_temps[i]).store(2);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ReleaseTemp(int slot) {
    if (slot >= 0) {
        StateOf(g_temps[static_cast<std::size_t>(slot)]).store(0);
    }
}

extern "C" void RemoveTempsAndDie(int sig) {
    for (TempSlot& t : g_temps) {
        if (StateOf(t).load() == 2) {
            ::unlink(t.path);
        }
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// A short name in the target's folder, so that a target name of up to 255 bytes still works.
std::string TempName(const std::string& folder) {
    static std::mt19937 random{std::random_device{}()};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".carillon-";
    for (int i = 0; i < 6; ++i) {
        name += kLetters[random() % (sizeof kLetters - 1)];
    }
    return folder + name;
}

// "dir/" of "dir/name", "" of "name".
std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(LastError());
        }
        done += static_cast<std::size_t>(n);
    }
}

bool FsyncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The copy of `source` with `changes` written over it, read back from the temporary file.
// Compared a megabyte at a time, so the check costs two reads and no copy of the image.
std::string ReadBackCopy(int fd, const std::string& written, const InputFile& source,
                         const std::vector<OutputCommit::Change>& changes) {
    RunReadBackHook(written);
    constexpr std::uint64_t kChunk = 1 << 20;
    const std::uint64_t size = source.size();
    std::vector<std::uint8_t> expected, back;
    for (std::uint64_t at = 0; at < size; at += kChunk) {
        const auto n = static_cast<std::size_t>(std::min(kChunk, size - at));
        expected.resize(n);
        back.resize(n);
        source.ReadAt(at, expected.data(), n);
        for (const OutputCommit::Change& c : changes) {
            const std::uint64_t from = std::max(at, c.offset);
            const std::uint64_t to = std::min(at + n, c.offset + c.bytes.size());
            for (std::uint64_t i = from; i < to; ++i) {
                expected[i - at] = c.bytes[i - c.offset];
            }
        }
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r =
                ::pread(fd, back.data() + done, n - done, static_cast<off_t>(at + done));
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                return "it reads back shorter than " + std::to_string(size) + " bytes";
            }
            done += static_cast<std::size_t>(r);
        }
        const auto diff = std::mismatch(back.begin(), back.end(), expected.begin());
        if (diff.first != back.end()) {
            return "byte " +
                   std::to_string(at + static_cast<std::uint64_t>(diff.first - back.begin())) +
                   " reads back differently";
        }
    }
    std::uint8_t extra = 0;
    if (::pread(fd, &extra, 1, static_cast<off_t>(size)) > 0) {
        return "it reads back longer than " + std::to_string(size) + " bytes";
    }
    return {};
}

}  // namespace

void OutputRules::Protect(const std::string& path) {
    if (const auto id = IdentityOf(path)) {
        inputs.push_back(*id);
    }
}

std::string CheckOutputTarget(const std::string& path, const OutputRules& rules) {
    if (path.empty()) {
        throw FileError(path, std::make_error_code(std::errc::no_such_file_or_directory));
    }
    struct stat st {};
    const bool present = ::lstat(path.c_str(), &st) == 0;
    if (!present && errno != ENOENT) {
        throw FileError(path, LastError());
    }
    if (path.back() == '/') {
        // No regular file has a name ending in a slash.
        throw FileError(path, std::make_error_code(present && S_ISDIR(st.st_mode)
                                                       ? std::errc::is_a_directory
                                                       : std::errc::not_a_directory));
    }
    if (!present) {
        return path;
    }
    if (S_ISDIR(st.st_mode)) {
        throw FileError(path, std::make_error_code(std::errc::is_a_directory));
    }
    std::string target = path;
    if (S_ISLNK(st.st_mode)) {
        struct stat pointed {};
        if (::stat(path.c_str(), &pointed) != 0 || !S_ISREG(pointed.st_mode)) {
            throw FileError(path, make_error_code(CarillonErrc::not_a_regular_file));
        }
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            throw FileError(path, LastError());
        }
        target = real;
        std::free(real);
        st = pointed;
    } else if (!S_ISREG(st.st_mode)) {
        throw FileError(path, make_error_code(CarillonErrc::not_a_regular_file));
    }
    for (const FileIdentity& input : rules.inputs) {
        if (input == FileIdentity{st.st_dev, st.st_ino}) {
            throw FileError(path, make_error_code(CarillonErrc::is_an_input));
        }
    }
    if (!rules.force) {
        throw FileError(path, make_error_code(CarillonErrc::already_exists));
    }
    return target;
}

// --- OutputCommit -------------------------------------------------------------------------

struct OutputCommit::Pending {
    std::string path;    // as the caller named it
    std::string target;  // what is replaced: `path`, or the file its link points to
    int fd = -1;         // the flushed temporary file, until it is installed
    std::string temp;    // its name, when it has one
    int slot = -1;       // its entry in the signal handler's table
    bool installed = false;

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
            ReleaseTemp(slot);
            temp.clear();
            slot = -1;
        }
        return left;
    }
    // `error` with the name of a temporary file that could not be removed, if any.
    FileError Failed(const FileError& error) {
        const std::string left = Discard();
        if (left.empty()) {
            return error;
        }
        return FileError(error.path(), error.code(),
                         error.reason() + "; the temporary file " + left + " was left");
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
                    temp = std::move(name);
                    slot = RegisterTemp(temp);
                }
            }
        }
        if (::fchmod(fd, mode) != 0) {
            throw FileError(path, LastError());
        }
    }

    // Gives the anonymous temporary file a short name beside the target.
    void Name() {
        const std::string proc = "/proc/self/fd/" + std::to_string(fd);
        for (int attempt = 0;; ++attempt) {
            std::string name = TempName(FolderOf(target));
            if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temp = std::move(name);
                slot = RegisterTemp(temp);
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
            const std::string proc = "/proc/self/fd/" + std::to_string(fd);
            if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) !=
                0) {
                throw FileError(path, errno == EEXIST
                                          ? make_error_code(CarillonErrc::already_exists)
                                          : LastError());
            }
        } else {
            if (temp.empty()) {
                Name();
            }
            const int moved = force ? ::rename(temp.c_str(), target.c_str())
                                    : ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(),
                                                  RENAME_NOREPLACE);
            if (moved != 0 && !force && errno == EINVAL) {
                // No RENAME_NOREPLACE on this file system: link fails on an existing name too.
                if (::link(temp.c_str(), target.c_str()) != 0) {
                    throw FileError(path, errno == EEXIST
                                              ? make_error_code(CarillonErrc::already_exists)
                                              : LastError());
                }
                ::unlink(temp.c_str());
            } else if (moved != 0) {
                throw FileError(path, errno == EEXIST
                                          ? make_error_code(CarillonErrc::already_exists)
                                          : LastError());
            }
            ReleaseTemp(slot);
            slot = -1;
            temp.clear();
        }
        ::close(fd);
        fd = -1;
        installed = true;
    }
};

OutputCommit::OutputCommit(OutputRules rules) : rules_(std::move(rules)) {}

OutputCommit::~OutputCommit() = default;

void OutputCommit::Check(const std::string& path) const {
    const std::string target = CheckOutputTarget(path, rules_);
    for (const auto& p : pending_) {
        if (p->path == path || p->target == target) {
            throw FileError(path, std::make_error_code(std::errc::file_exists),
                            "is named twice as an output of this job");
        }
    }
}

template <typename Fill, typename Verify>
void OutputCommit::AddWith(const std::string& path, Fill fill, Verify verify) {
    Check(path);
    auto p = std::make_unique<Pending>();
    p->path = path;
    p->target = CheckOutputTarget(path, rules_);
    try {
        p->Open(ModeFor(p->target));
        fill(p->fd);
        if (::fsync(p->fd) != 0) {
            throw std::system_error(LastError());
        }
        // Read back before anything is replaced: a file that fails costs no old file.
        const std::string written =
            p->temp.empty() ? "/proc/self/fd/" + std::to_string(p->fd) : p->temp;
        const std::string mismatch = verify(p->fd, written);
        if (!mismatch.empty()) {
            struct stat st {};
            throw WriteCheckError(path, mismatch,
                                  ::stat(p->target.c_str(), &st) == 0
                                      ? "the old file was left as it was"
                                      : "nothing was written");
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

void OutputCommit::Add(const std::string& path, const std::uint8_t* data, std::size_t size,
                       const WrittenCheck& check) {
    AddWith(
        path, [&](int fd) { WriteAll(fd, data, size); },
        [&](int fd, const std::string& written) {
            return ReadBackAndCheck(fd, written, 0, data, size, check);
        });
}

void OutputCommit::AddCopy(const std::string& path, const InputFile& source,
                           const std::vector<Change>& changes) {
    for (const Change& c : changes) {
        if (c.offset > source.size() || c.bytes.size() > source.size() - c.offset) {
            throw FileError(
                source.path(), std::make_error_code(std::errc::invalid_argument),
                "a change at offset " + std::to_string(c.offset) + " lies outside the file");
        }
    }
    AddWith(
        path,
        [&](int fd) {
            off_t in = 0;
            const auto size = static_cast<off_t>(source.size());
            bool kernel = true;
            while (in < size) {
                ssize_t n = -1;
                if (kernel) {
                    n = ::copy_file_range(source.fd_, &in, fd, nullptr,
                                          static_cast<std::size_t>(size - in), 0);
                    if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                  errno == EOPNOTSUPP)) {
                        kernel = false;
                        continue;
                    }
                    if (n < 0 && errno == EINTR) {
                        continue;
                    }
                    if (n < 0) {
                        throw std::system_error(LastError());
                    }
                } else {
                    std::vector<std::uint8_t> chunk(
                        static_cast<std::size_t>(std::min<off_t>(size - in, 1 << 20)));
                    source.ReadAt(static_cast<std::uint64_t>(in), chunk.data(), chunk.size());
                    WriteAll(fd, chunk.data(), chunk.size());
                    n = static_cast<ssize_t>(chunk.size());
                    in += n;
                }
                if (n == 0) {
                    throw FileError(source.path(), std::make_error_code(std::errc::io_error),
                                    "File ended early (it changed while it was read)");
                }
            }
            for (const Change& c : changes) {
                std::size_t done = 0;
                while (done < c.bytes.size()) {
                    const ssize_t n = ::pwrite(fd, c.bytes.data() + done, c.bytes.size() - done,
                                               static_cast<off_t>(c.offset + done));
                    if (n < 0 && errno != EINTR) {
                        throw std::system_error(LastError());
                    }
                    done += n > 0 ? static_cast<std::size_t>(n) : 0;
                }
            }
        },
        [&](int fd, const std::string& written) {
            return ReadBackCopy(fd, written, source, changes);
        });
}

void OutputCommit::Commit() {
    std::string done;
    std::set<std::string> folders;
    for (auto& p : pending_) {
        try {
            p->Install(rules_.force);
        } catch (const FileError& failure) {
            const FileError e = p->Failed(failure);
            if (done.empty()) {
                throw e;
            }
            throw FileError(e.path(), e.code(),
                            e.reason() + "; these files were already written: " + done);
        }
        done += (done.empty() ? "" : ", ") + p->path;
        folders.insert(FolderOf(p->target));
    }
    // The new names are durable once their folders are.
    for (const std::string& folder : folders) {
        FsyncFolder(folder);
    }
    pending_.clear();
}

void WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                     const OutputRules& rules, const WrittenCheck& check) {
    OutputCommit commit(rules);
    commit.Add(path, data, size, check);
    commit.Commit();
}

void AppendToOutputFile(const std::string& path, std::string_view text, const OutputRules& rules,
                        const WrittenCheck& check) {
    OutputRules appending = rules;
    appending.force = true;
    const std::string target = CheckOutputTarget(path, appending);
    const int fd = ::open(target.c_str(),
                          O_RDWR | O_CREAT | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw FileError(path, LastError());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const auto ec =
            S_ISREG(st.st_mode) ? LastError() : make_error_code(CarillonErrc::not_a_regular_file);
        ::close(fd);
        throw FileError(path, ec);
    }
    const off_t before = st.st_size;
    try {
        WriteAll(fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        if (::fsync(fd) != 0) {
            throw std::system_error(LastError());
        }
    } catch (const std::system_error& e) {
        // Leave no half block behind: V_KLay would apply its first lines.
        [[maybe_unused]] const int cut = ::ftruncate(fd, before);
        ::close(fd);
        throw FileError(path, e.code());
    }
    // Only what was just appended is read back; when it fails it is cut off again.
    const std::string mismatch =
        ReadBackAndCheck(fd, target, static_cast<std::uint64_t>(before),
                         reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), check);
    if (!mismatch.empty()) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, before);
        ::close(fd);
        throw WriteCheckError(path, mismatch, "what was appended was cut off again");
    }
    if (::close(fd) != 0) {
        throw FileError(path, LastError());
    }
}

void WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         const WrittenCheck& check) {
    OutputRules rules;
    rules.force = true;
    WriteOutputFile(path, data, size, rules, check);
}

TempFileRegistration::TempFileRegistration(const std::string& path) : slot_(RegisterTemp(path)) {}

TempFileRegistration::~TempFileRegistration() {
    ReleaseTemp(slot_);
}

void InstallOutputSignalHandlers() {
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndDie;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace carillon

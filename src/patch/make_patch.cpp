#include "patch/make_patch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/file_io.h"
#include "patch/vkp_reader.h"

namespace carillon {
namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

// A file opened read-only, read at given offsets. Every read is checked against the size the
// file had when it was opened.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(std::string path) : path_(std::move(path)) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
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
            throw FileError(path_, make_error_code(CarillonErrc::not_a_regular_file));
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile() { ::close(fd_); }

    std::uint64_t size() const { return size_; }

    Bytes ReadAt(std::int64_t offset, std::size_t count) const {
        Bytes bytes(count);
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd_, bytes.data() + done, count - done,
                                      static_cast<off_t>(offset) + static_cast<off_t>(done));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw FileError(path_, LastError());
            }
            if (n == 0) {
                throw FileError(path_, std::make_error_code(std::errc::io_error),
                                "File ended early (it changed while it was read)");
            }
            done += static_cast<std::size_t>(n);
        }
        return bytes;
    }

  private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

void AppendToFile(const std::string& path, std::string_view block, const WrittenCheck& check) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw FileError(path, LastError());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const auto ec = LastError();
        ::close(fd);
        throw FileError(path, ec);
    }
    const off_t before = st.st_size;
    std::size_t done = 0;
    while (done < block.size()) {
        const ssize_t n = ::write(fd, block.data() + done, block.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Leave no half block behind: V_KLay would apply its first lines.
            const auto ec = LastError();
            [[maybe_unused]] const int cut = ::ftruncate(fd, before);
            ::close(fd);
            throw FileError(path, ec);
        }
        done += static_cast<std::size_t>(n);
    }
    // Only the block just appended is read back; one that fails is cut back off the file.
    const std::string mismatch =
        ReadBackAndCheck(fd, path, static_cast<std::uint64_t>(before),
                         reinterpret_cast<const std::uint8_t*>(block.data()), block.size(), check);
    if (!mismatch.empty()) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, before);
        ::close(fd);
        throw WriteCheckError(path, mismatch, "the block was cut back off the file");
    }
    if (::close(fd) != 0) {
        throw FileError(path, LastError());
    }
}

}  // namespace

std::string FullFlashMissingText(std::string_view imagePath) {
    return "Full flash " + std::string(imagePath) + " does not exist!";
}

std::string MelodyFileMissingText(std::string_view replacementPath) {
    return "Melody file " + std::string(replacementPath) + " does not exist!";
}

std::string VkpReplaceQuestion(std::string_view basePath) {
    return "File \"" + std::string(basePath) + ".vkp\" already exist!\r\nReplace it?";
}

PatchStart BeginPatch(const PatchCall& call) {
    PatchStart start;
    start.resultText = kUnknownError;
    if (!FileExists(call.request.imagePath)) {
        start.errorText = FullFlashMissingText(call.request.imagePath);
        start.resultText = kFullFlashNotFound;
        return start;
    }
    if (!FileExists(call.request.replacementPath)) {
        start.errorText = MelodyFileMissingText(call.request.replacementPath);
        start.resultText = kFileNotFound;
        return start;
    }
    const std::string baseName =
        call.singlePatch ? call.patchBaseName : PerSlotBaseName(call.patchName, call.timestamp);
    start.basePath = JoinPath(call.vkpFolder, baseName);
    start.patchPath = start.basePath + ".vkp";
    if (!call.singlePatch && FileExists(start.patchPath)) {
        start.confirmText = VkpReplaceQuestion(start.basePath);
    }
    start.ready = true;
    start.resultText = start.patchPath;
    return start;
}

BuiltPatch BuildPatchFromFiles(const PatchRequest& request) {
    const ReadOnlyFile image(request.imagePath);
    if (image.size() > kImageBufferSize) {
        throw FileError(request.imagePath, make_error_code(CarillonErrc::file_too_large),
                        "File too large: " + std::to_string(image.size()) +
                            " bytes, the limit is " + std::to_string(kImageBufferSize) + " bytes");
    }
    const ReadOnlyFile replacement(request.replacementPath);
    LayoutResult laid = LayOut(request, image.size(), replacement.size());
    if (!laid.layout) {
        return {std::nullopt, std::move(laid.failure), std::move(laid.detail)};
    }
    const PatchLayout& layout = *laid.layout;
    const Bytes oldContent =
        image.ReadAt(layout.PrefixOffset(), static_cast<std::size_t>(layout.Length() + 3));
    const Bytes oldName =
        layout.nameStep ? image.ReadAt(request.slot.NameAddress, kNameLength) : Bytes{};
    const Bytes kept = replacement.ReadAt(0, static_cast<std::size_t>(layout.kept));
    return {BuildPatchBlock(request, layout, oldContent, oldName, kept), {}, {}};
}

void WritePatchFile(const std::string& path, std::string_view block, bool append,
                    const WrittenCheck& check) {
    if (append) {
        AppendToFile(path, block, check);
    } else {
        WriteFileAtomically(path, reinterpret_cast<const std::uint8_t*>(block.data()), block.size(),
                            check);
    }
}

WrittenCheck PatchReplayCheck(ImageKind kind, const std::vector<ByteEdit>& before,
                              const std::vector<ByteEdit>& after) {
    return [kind, &before, &after](std::span<const std::uint8_t> written) {
        return VerifyPatchText(
            std::string_view(reinterpret_cast<const char*>(written.data()), written.size()), kind,
            before, after);
    };
}

PatchOutcome FinishPatch(const PatchCall& call, const PatchStart& start, Bytes& workingImage,
                         std::string& lastPatchPath) {
    PatchOutcome outcome;
    if (!start.ready) {
        outcome.resultText = start.resultText;
        return outcome;
    }
    BuiltPatch built = BuildPatchFromFiles(call.request);
    if (!built.block) {
        outcome.resultText = std::move(built.failure);
        outcome.errorText = std::move(built.detail);
        return outcome;
    }
    const PatchBlock& block = *built.block;
    // What the image copy holds where the block writes, to undo a slot whose patch fails.
    std::vector<ByteEdit> held;
    if (EditsFit(block.edits, workingImage.size())) {
        for (const ByteEdit& e : block.edits) {
            const auto at = workingImage.begin() + static_cast<std::ptrdiff_t>(e.offset);
            held.push_back({e.offset, Bytes(at, at + static_cast<std::ptrdiff_t>(e.bytes.size()))});
        }
    }
    if (!ApplyEdits(block.edits, workingImage)) {
        outcome.resultText = kWorkingImageTooShort;
        outcome.errorText = "The image file " + call.request.imagePath +
                            " is longer than when it was opened. Open it again.";
        return outcome;
    }
    if (call.vklayMode) {
        lastPatchPath = start.patchPath;
        try {
            WritePatchFile(start.patchPath, block.text, call.singlePatch,
                           PatchReplayCheck(call.request.kind, block.originals, block.edits));
        } catch (const WriteCheckError& e) {
            // Undone in reverse, so overlapping ranges come back as they were.
            for (auto h = held.rbegin(); h != held.rend(); ++h) {
                std::copy(h->bytes.begin(), h->bytes.end(),
                          workingImage.begin() + static_cast<std::ptrdiff_t>(h->offset));
            }
            outcome.resultText = kPatchCheckFailed;
            outcome.errorText = e.what();
            return outcome;
        }
    }
    outcome.ok = true;
    outcome.resultText = start.patchPath;
    outcome.block = std::move(built.block->text);
    return outcome;
}

PatchOutcome MakePatch(const PatchCall& call, Bytes& workingImage, std::string& lastPatchPath,
                       const PatchDialogs& dialogs) {
    const PatchStart start = BeginPatch(call);
    if (!start.ready) {
        if (dialogs.error) {
            dialogs.error(start.errorText);
        }
        return {false, start.resultText, start.errorText, {}};
    }
    if (!start.confirmText.empty() && !dialogs.confirm(start.confirmText)) {
        return {false, std::string(kDontReplaceVkp), {}, {}};
    }
    PatchOutcome outcome = FinishPatch(call, start, workingImage, lastPatchPath);
    if (!outcome.ok && !outcome.errorText.empty() && dialogs.error) {
        dialogs.error(outcome.errorText);
    }
    return outcome;
}

}  // namespace carillon

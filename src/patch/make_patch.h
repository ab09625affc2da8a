// SPDX-License-Identifier: GPL-3.0-or-later
// One slot of a patch run: the checks, the ".vkp" naming and its question, the block built from
// the files on disk, the same edits in the image copy, and the ".vkp" file.
//
// A front end calls BeginPatch, shows the "Error" box or asks the "Confirm" question it names,
// then calls FinishPatch; or it calls MakePatch with two callbacks that do the showing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "core/read_back.h"
#include "patch/patch_builder.h"
#include "patch/patch_run.h"
#include "search/partial_image.h"

namespace carillon {

// Result texts of a slot that was not handled (the English of their ids).
inline const std::string_view kUnknownError = EnglishPattern(MessageId::UnknownError);
inline const std::string_view kFullFlashNotFound = EnglishPattern(MessageId::FullFlashNotFound);
inline const std::string_view kFileNotFound = EnglishPattern(MessageId::FileNotFound);
inline const std::string_view kDontReplaceVkp = EnglishPattern(MessageId::DontReplaceVkp);
// The ".vkp" file read back did not replay to the bytes built.
inline const std::string_view kPatchCheckFailed = EnglishPattern(MessageId::PatchCheckFailed);

// Texts of the "Error" boxes (the wording says "Full flash" for every image kind).
Message FullFlashMissingText(std::string_view imagePath);
Message MelodyFileMissingText(std::string_view replacementPath);
// The "Confirm" question before a per-slot ".vkp" file is replaced.
MessageLines VkpReplaceQuestion(std::string_view basePath);

// Everything one slot's patch depends on, read from the window at the time of the call.
struct PatchCall {
    PatchRequest request;
    bool vklayMode = true;    // "create patch for V_KLay"; false: "patch file directly"
    bool singlePatch = true;  // "Use single patch"
    std::string patchName;    // Edit5: base name of a per-slot file
    // "Add Timestamp" checked: the regional date and time texts, read at the time of the call
    // (only per-slot names use them; the single patch's name carries the run's suffix).
    std::optional<DateTimeTexts> timestamp;
    std::string patchBaseName;  // PatchBaseName of the run (single-patch mode)
    std::string vkpFolder;      // folder that receives ".vkp" files
};

// Checks and naming, before anything is read.
struct PatchStart {
    bool ready = false;
    MessageLines error;     // not ready: the text of the "Error" box to show
    Message result;         // not ready: "Full Flash not found" or "File not found"
    std::string basePath;   // vkpFolder + base name
    std::string patchPath;  // basePath + ".vkp"
    // Per-slot V_KLay mode with an existing ".vkp" file: ask this ("Confirm", Yes and No). Anything
    // but Yes ends the slot with kDontReplaceVkp; nothing has been changed.
    MessageLines confirm;
};
PatchStart BeginPatch(const PatchCall& call);

struct PatchOutcome {
    bool ok = false;
    Message result;          // the ".vkp" path (also in direct mode), or the failure reason
    std::string resultText;  // the same in English
    // Failure found while building (a slot outside the image, ...): an "Error" box text, so the
    // failure is seen in direct mode too, where the failed list is not shown.
    MessageLines error;
    std::string block;  // the patch block text
};

// Builds the block from the image file on disk and the replacement file (both read-only; only
// the bytes the block covers are read), makes its edits in `workingImage` and, in V_KLay mode,
// sets `lastPatchPath` and writes the ".vkp" file: single-patch mode appends (or creates),
// per-slot mode replaces. A failure found before any change leaves everything as it was. The
// written block is read back and replayed; one that fails is removed again and the slot fails
// with kPatchCheckFailed. Any failure of the slot (a failed write too) undoes its edits in
// `workingImage`, so a slot reported failed is never written by a later direct-mode run.
// Throws FileError on an input/output failure, and for an image file over 10,000,000 bytes.
PatchOutcome FinishPatch(const PatchCall& call, const PatchStart& start, Bytes& workingImage,
                         std::string& lastPatchPath);

// The front end's two dialogs: show an "Error" box; ask a "Confirm" question (true: Yes).
struct PatchDialogs {
    std::function<void(const MessageLines&)> error;
    std::function<bool(const MessageLines&)> confirm;
};

// BeginPatch, the dialog it asks for, FinishPatch (and its error box) in one call.
PatchOutcome MakePatch(const PatchCall& call, Bytes& workingImage, std::string& lastPatchPath,
                       const PatchDialogs& dialogs);

// Reads what the block covers from the files on disk and builds it. Throws FileError.
BuiltPatch BuildPatchFromFiles(const PatchRequest& request);
// The same with the image bytes taken from `image`, the job's one snapshot of the image file
// (the bytes the block covers are read into it), and the replacement
// file's bytes as the job read them once: their length is the file's size for the layout.
// With `appendTo` the text goes to the end of that string (see BuildPatchBlock).
BuiltPatch BuildPatchFromSnapshot(const PatchRequest& request, PartialImage& image,
                                  ByteView replacement, std::string* appendTo = nullptr);

// How a patch file is written: the single patch grows, a per-slot file is replaced.
enum class PatchFileMode : std::uint8_t { Replace, Append };

// Writes a patch block: appended to `path` (created when missing) with Append, under a lock
// that other appending runs wait for; else `path` is replaced by a file holding exactly the
// block (written beside it and renamed over it). What was written is read back and must equal
// `block` and pass `check`; a failed append leaves the file as it was. An append checks the
// file's text as PatchAppendHooks does, and calls `lockBusy` once when it has to wait for
// another program's lock. Throws FileError (WriteCheckError when the read-back failed).
void WritePatchFile(const std::string& path, std::string_view block, PatchFileMode mode,
                    const OutputRules& rules = {.force = true, .inputs = {}},
                    const WrittenCheck& check = {}, const std::function<void()>& lockBusy = {});

// The check of a written ".vkp": read with the ".vkp" reader and replayed onto `before` (the
// bytes it was built from), it must give `after` (the bytes built). Both must outlive it.
WrittenCheck PatchReplayCheck(ImageKind kind, const std::vector<ByteEdit>& before,
                              const std::vector<ByteEdit>& after);

}  // namespace carillon

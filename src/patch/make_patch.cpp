// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/make_patch.h"

#include "core/file_io.h"
#include "patch/patch_append.h"
#include "search/block_soundness.h"
#include "search/partial_image.h"
#include "search/slot_search.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon {

Message FullFlashMissingText(std::string_view imagePath) {
    return Message(MessageId::FullFlashMissing, {Message::Arg(std::string(imagePath))});
}

Message MelodyFileMissingText(std::string_view replacementPath) {
    return Message(MessageId::MelodyFileMissing, {Message::Arg(std::string(replacementPath))});
}

MessageLines VkpReplaceQuestion(std::string_view basePath) {
    return {Message(MessageId::FileAlreadyExists, {Message::Arg(std::string(basePath) + ".vkp")}),
            Message(MessageId::ReplaceIt)};
}

PatchStart BeginPatch(const PatchCall& call) {
    PatchStart start;
    start.result = Message(MessageId::UnknownError);
    if (!FileExists(call.request.imagePath)) {
        start.error = {FullFlashMissingText(call.request.imagePath)};
        start.result = Message(MessageId::FullFlashNotFound);
        return start;
    }
    if (!FileExists(call.request.replacementPath)) {
        // A FIFO or a device in the chosen file's place is there, but is no file to read.
        if (IdentityOf(call.request.replacementPath)) {
            start.error = {Message(MessageId::MelodyFileNotRegular,
                                   {Message::Arg(call.request.replacementPath)})};
            start.result = Message(MessageId::FileNotRegular);
            return start;
        }
        start.error = {MelodyFileMissingText(call.request.replacementPath)};
        start.result = Message(MessageId::FileNotFound);
        return start;
    }
    const std::string baseName =
        call.singlePatch ? call.patchBaseName : PerSlotBaseName(call.patchName, call.timestamp);
    start.basePath = JoinPath(call.vkpFolder, baseName);
    start.patchPath = start.basePath + ".vkp";
    // Only a V_KLay run writes the per-slot file, so only it asks before replacing one.
    if (call.vklayMode && !call.singlePatch && FileExists(start.patchPath)) {
        start.confirm = VkpReplaceQuestion(start.basePath);
    }
    start.ready = true;
    start.result = Message::Text(start.patchPath);
    return start;
}

namespace {

// The image's own tables decide whether the slot's block may be written: read again, searched
// as when the image was opened, and judged. Empty when the block is sound.
Message UnsoundBlock(const InputFile& image, const PatchRequest& request) {
    PartialImage partial(image);
    ReadForSearch(partial, request.kind);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(partial.View(), request.kind, slots);
    if (request.row < 0 || request.row >= kSlotCount) {
        return {};
    }
    const auto row = static_cast<std::size_t>(request.row);
    const SlotSoundness s = CheckSlotSoundness(partial.View(), request.kind, slots)[row];
    return s.sound() ? Message() : UnsoundSlotMessage(request.row + 1, s);
}

}  // namespace

BuiltPatch BuildPatchFromFiles(const PatchRequest& request) {
    const InputFile image(request.imagePath, kImageBufferSize);
    if (Message unsound = UnsoundBlock(image, request); !unsound.empty()) {
        return {std::nullopt, Message(MessageId::BlockTableDamaged), {std::move(unsound)}};
    }
    const InputFile replacement(request.replacementPath);
    LayoutResult laid = LayOut(request, image.size(), replacement.size());
    if (!laid.layout) {
        return {std::nullopt, std::move(laid.failure), std::move(laid.detail)};
    }
    const PatchLayout& layout = *laid.layout;
    const Bytes oldContent = image.ReadAt(static_cast<std::uint64_t>(layout.PrefixOffset()),
                                          static_cast<std::size_t>(layout.Length() + 3));
    const Bytes oldName =
        layout.nameStep
            ? image.ReadAt(static_cast<std::uint64_t>(request.slot.NameAddress), kNameLength)
            : Bytes{};
    const Bytes kept = replacement.ReadAt(0, static_cast<std::size_t>(layout.kept));
    return {BuildPatchBlock(request, layout, oldContent, oldName, kept), {}, {}};
}

BuiltPatch BuildPatchFromSnapshot(const PatchRequest& request, PartialImage& image,
                                  ByteView replacement, std::string* appendTo) {
    const ByteView bytes = image.View();
    LayoutResult laid = LayOut(request, bytes.size(), replacement.size());
    if (!laid.layout) {
        return {std::nullopt, std::move(laid.failure), std::move(laid.detail)};
    }
    const PatchLayout& layout = *laid.layout;
    const auto prefix = static_cast<std::size_t>(layout.PrefixOffset());
    const auto length = static_cast<std::size_t>(layout.Length() + 3);
    image.Ensure(prefix, length);
    ByteView oldName;
    if (layout.nameStep) {
        const auto name = static_cast<std::size_t>(request.slot.NameAddress);
        image.Ensure(name, kNameLength);
        oldName = bytes.subspan(name, kNameLength);
    }
    const ByteView kept = replacement.subspan(0, static_cast<std::size_t>(layout.kept));
    return {
        BuildPatchBlock(request, layout, bytes.subspan(prefix, length), oldName, kept, appendTo),
        {},
        {}};
}

void WritePatchFile(const std::string& path, std::string_view block, PatchFileMode mode,
                    const OutputRules& rules, const WrittenCheck& check,
                    const std::function<void()>& lockBusy) {
    if (mode == PatchFileMode::Append) {
        AppendHooks hooks = PatchAppendHooks(block);
        hooks.lockBusy = lockBusy;
        AppendToOutputFile(path, block, rules, check, hooks);
    } else {
        WriteOutputFile(path, block, rules, check);
    }
}

WrittenCheck PatchReplayCheck(ImageKind kind, const std::vector<ByteEdit>& before,
                              const std::vector<ByteEdit>& after) {
    return [kind, &before, &after](std::span<const std::uint8_t> written) {
        return VerifyPatchMessage(
            std::string_view(reinterpret_cast<const char*>(written.data()), written.size()), kind,
            before, after);
    };
}

PatchOutcome FinishPatch(const PatchCall& call, const PatchStart& start, Bytes& workingImage,
                         std::string& lastPatchPath) {
    PatchOutcome outcome;
    const auto fail = [&outcome](Message reason, MessageLines error) -> PatchOutcome& {
        outcome.resultText = English(reason);
        outcome.result = std::move(reason);
        outcome.error = std::move(error);
        return outcome;
    };
    if (!start.ready) {
        return fail(start.result, {});
    }
    BuiltPatch built = BuildPatchFromFiles(call.request);
    if (!built.block) {
        return fail(std::move(built.failure), {std::move(built.detail)});
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
        return fail(Message(MessageId::WorkingImageTooShort),
                    {Message(MessageId::ImageLonger, {Message::Arg(call.request.imagePath)})});
    }
    if (call.vklayMode) {
        lastPatchPath = start.patchPath;
        // A per-slot file was confirmed (or is new); the image and the replacement file are
        // never written over.
        const OutputRules rules = JobOutputRules(
            Existing::Replace, {call.request.imagePath, call.request.replacementPath});
        // Undone in reverse, so overlapping ranges come back as they were.
        const auto undo = [&] {
            for (auto h = held.rbegin(); h != held.rend(); ++h) {
                std::copy(h->bytes.begin(), h->bytes.end(),
                          workingImage.begin() + static_cast<std::ptrdiff_t>(h->offset));
            }
        };
        try {
            WritePatchFile(start.patchPath, block.text,
                           call.singlePatch ? PatchFileMode::Append : PatchFileMode::Replace, rules,
                           PatchReplayCheck(call.request.kind, block.originals, block.edits));
        } catch (const WriteCheckError& e) {
            undo();
            return fail(Message(MessageId::PatchCheckFailed), {e.message()});
        } catch (...) {
            // A slot that failed for any reason leaves no edit behind.
            undo();
            throw;
        }
    }
    outcome.ok = true;
    outcome.result = Message::Text(start.patchPath);
    outcome.resultText = start.patchPath;
    outcome.block = std::move(built.block->text);
    return outcome;
}

PatchOutcome MakePatch(const PatchCall& call, Bytes& workingImage, std::string& lastPatchPath,
                       const PatchDialogs& dialogs) {
    const PatchStart start = BeginPatch(call);
    if (!start.ready) {
        if (dialogs.error) {
            dialogs.error(start.error);
        }
        return {false, start.result, English(start.result), start.error, {}};
    }
    if (!start.confirm.empty() && !dialogs.confirm(start.confirm)) {
        return {false, Message(MessageId::DontReplaceVkp), std::string(kDontReplaceVkp), {}, {}};
    }
    PatchOutcome outcome = FinishPatch(call, start, workingImage, lastPatchPath);
    if (!outcome.ok && !outcome.error.empty() && dialogs.error) {
        dialogs.error(outcome.error);
    }
    return outcome;
}

}  // namespace carillon

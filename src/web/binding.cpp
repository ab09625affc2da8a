// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's byte functions for the page: the opened image, its 18 rows, the outputs of a run,
// a slot's content, and the ".vkp" workbench (check, apply or revert to a copy, a patch from two
// images). Files come in and go out as bytes; nothing here opens a file. Every report is a
// message id with its arguments ({id, args}); the page words it in its language.
//
// Every output is checked before it is handed over, as the command line checks its files: a
// ".vkp" replayed onto the bytes it was built from must give the bytes built, an image copy must
// hold exactly the edits made, a patch from two images must turn the first into the second.
#include <emscripten/bind.h>
#include <emscripten/heap.h>
#include <emscripten/val.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/image.h"
#include "core/message.h"
#include "core/slots.h"
#include "patch/patch_builder.h"
#include "patch/patch_request.h"
#include "patch/patch_run.h"
#include "patch/run_output.h"
#include "patch/slot_export.h"
#include "search/block_soundness.h"
#include "search/slot_search.h"
#include "vkp/apply.h"
#include "vkp/diff.h"
#include "vkp/judge.h"
#include "vkp/reader.h"
#include "vkp/replay.h"

namespace carillon::web {
namespace {

using emscripten::val;

// --- Moving bytes and messages across ---------------------------------------------------

Bytes BytesOf(const val& array) {
    Bytes bytes(array["length"].as<std::size_t>());
    if (!bytes.empty()) {
        val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<void>("set", array);
    }
    return bytes;
}

// A copy the page owns (a Uint8Array outside the module's memory).
val ToArray(const std::uint8_t* data, std::size_t size) {
    return val(emscripten::typed_memory_view(size, data)).call<val>("slice");
}
val ToArray(ByteView bytes) {
    return ToArray(bytes.data(), bytes.size());
}
// A large output (an image) as a view of the module's memory rather than a copy: valid until
// the next call into the module, so the page makes its download from it at once.
Bytes& Outgoing() {
    static Bytes outgoing;
    return outgoing;
}
val ToView(Bytes bytes) {
    Outgoing() = std::move(bytes);
    return val(emscripten::typed_memory_view(Outgoing().size(), Outgoing().data()));
}
val ToArray(std::string_view text) {
    return ToArray(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

val ToVal(const Message& message) {
    val out = val::object();
    out.set("id", std::string(MessagePatterns()[static_cast<std::size_t>(message.id())].name));
    val args = val::array();
    for (const MessageArg& a : message.args()) {
        args.call<void>("push", a.message ? ToVal(*a.message) : val(a.text));
    }
    out.set("args", args);
    return out;
}

val ToVal(const MessageLines& lines) {
    val out = val::array();
    for (const Message& line : lines) {
        out.call<void>("push", ToVal(line));
    }
    return out;
}

// The size of the module's memory, which only grows: its peak so far.
double MemoryBytes() {
    return static_cast<double>(emscripten_get_heap_size());
}

val Failure(const Message& message) {
    val out = val::object();
    out.set("error", ToVal(message));
    return out;
}

// "NAME: REASON", as a file error of the command line reads.
Message NamedFailure(const std::string& name, const Message& reason) {
    return FileError(name, make_error_code(CarillonErrc::file_too_large), reason).message();
}

std::optional<Message> TooLarge(const std::string& name, std::size_t size, std::uint64_t limit) {
    if (size <= limit) {
        return std::nullopt;
    }
    return NamedFailure(
        name, Message(MessageId::FileTooLargeLimit,
                      {Message::Arg(std::to_string(size)), Message::Arg(std::to_string(limit))}));
}

// Why a file of `size` bytes is not read at all (too large for an image, or for a ".vkp"), or
// null: the page asks before it reads a file into memory.
val SizeRefusal(const std::string& name, double size, bool patch) {
    const auto bytes = static_cast<std::size_t>(std::max(0.0, size));
    if (auto refusal = TooLarge(name, bytes, patch ? kVkpTextLimit : kImageBufferSize)) {
        return ToVal(*refusal);
    }
    return val::null();
}

// --- The opened image ---------------------------------------------------------------------

struct Opened {
    std::string name;
    Bytes bytes;
    ImageKind kind = ImageKind::FullFlash;
    SlotTable slots{};
    SoundnessTable soundness{};
    std::array<std::optional<std::string>, kSlotCount> stored;
};

Opened& Current() {
    static Opened opened;
    return opened;
}

bool IsOpen() {
    return !Current().name.empty();
}

val RowVal(const Opened& o, const SlotRows& rows, int row) {
    const int n = SlotOfRow(row);
    const auto r = static_cast<std::size_t>(row);
    const TMelody& slot = o.slots[r];
    const SlotDefinition& def = SlotDef(n);
    val out = val::object();
    out.set("slot", n);
    out.set("caption", std::string(def.caption));
    out.set("shownCaption", ShownCaption(row, o.stored[r]));
    out.set("kind", static_cast<int>(def.kind));
    out.set("extension", std::string(def.fileExtension));
    out.set("found", rows[r].found);
    out.set("size", ToVal(rows[r].size));
    out.set("max", ToVal(rows[r].max));
    out.set("address", ToVal(rows[r].address));
    out.set("blockNumber", slot.BlockNumber);
    out.set("addressValue", rows[r].found ? slot.Address : kNotFound);
    out.set("capacity", slot.Capacity);
    out.set("contentSize", slot.ContentSize);
    out.set("storedName", o.stored[r] ? val(*o.stored[r]) : val::null());
    out.set("nameWritable", NameWritable(o.kind, row, o.stored[r].has_value()));
    out.set("nameFixed", NameFixed(o.kind, row, o.stored[r].has_value()));
    const SlotSoundness& damage = o.soundness[r];
    out.set("unsound", damage.sound() ? val::null() : ToVal(BlockDamageMessage(damage, false)));
    out.set("unsoundText", damage.sound() ? val::null() : ToVal(UnsoundSlotMessage(n, damage)));
    return out;
}

// Opens an image given as its file name and bytes: the kind, phone, version and the 18 rows.
val OpenBytes(const std::string& name, Bytes bytes) {
    Opened& o = Current();
    o = Opened{};
    o.name = name;
    o.bytes = std::move(bytes);
    const ImageInfo info = Identify(name, o.bytes);
    o.kind = info.kind;
    InitialiseSlotTable(o.slots);
    const SlotRows rows = SearchSlots(o.bytes, o.kind, o.slots);
    o.soundness = CheckSlotSoundness(o.bytes, o.kind, o.slots);
    bool any = false;
    for (int row = 0; row < kSlotCount; ++row) {
        const auto r = static_cast<std::size_t>(row);
        o.stored[r] = StoredName(o.bytes, o.kind, row, o.slots[r]);
        any = any || rows[r].found;
    }
    val out = val::object();
    out.set("name", name);
    out.set("size", static_cast<double>(o.bytes.size()));
    out.set("kind", static_cast<int>(o.kind));
    out.set("kindText", ToVal(KindMessage(o.kind)));
    out.set("phone", info.phone);
    out.set("version", info.version);
    out.set("versionByte", info.versionByte ? val(*info.versionByte) : val::null());
    out.set("anyFound", any);
    val list = val::array();
    for (int row = 0; row < kSlotCount; ++row) {
        list.call<void>("push", RowVal(o, rows, row));
    }
    out.set("rows", list);
    if (!any) {
        // Nothing to patch or save: the bytes are not kept.
        o = Opened{};
    }
    return out;
}

val OpenImage(const std::string& name, const val& array) {
    const std::size_t length = array["length"].as<std::size_t>();
    if (auto refusal = TooLarge(name, length, kImageBufferSize)) {
        return Failure(*refusal);
    }
    return OpenBytes(name, BytesOf(array));
}

// An image read straight into the module's memory, so that the page holds no second copy: the
// page asks for room (`ReceiveImage`, after `SizeRefusal`), writes the file's bytes into the
// view `Received` gives (asked again for each piece: the memory may have moved), then opens it.
Bytes& Incoming() {
    static Bytes incoming;
    return incoming;
}

void ReceiveImage(double size) {
    Incoming() = Bytes(static_cast<std::size_t>(std::clamp(size, 0.0, double(kImageBufferSize))));
}

val Received() {
    return val(emscripten::typed_memory_view(Incoming().size(), Incoming().data()));
}

val OpenReceived(const std::string& name) {
    return OpenBytes(name, std::move(Incoming()));
}

void CloseImage() {
    Current() = Opened{};
}

// --- Choosing files and names -------------------------------------------------------------

// The warning shown when a chosen file is larger than its slot, or [] when it fits.
val CutWarning(int slot, const std::string& caption, const std::string& fileName, double size) {
    if (!IsOpen() || slot < 1 || slot > kSlotCount || size < 0) {
        return val::array();
    }
    const TMelody& m = Current().slots[static_cast<std::size_t>(RowOfSlot(slot))];
    const auto fileSize = static_cast<std::uint64_t>(size);
    if (CutBytes(m.Capacity, fileSize) == 0) {
        return val::array();
    }
    return ToVal(CutWarningText(CutDescription(caption, fileName, m.Capacity, fileSize)));
}

val RunAborted() {
    return ToVal(RunAbortedText());
}

std::string CleanName(const std::string& text) {
    return CleanMelodyName(text);
}

std::string Fill(const std::string& pattern, const val& args) {
    return FillPattern(pattern, emscripten::vecFromJSArray<std::string>(args));
}

val PatternList() {
    val out = val::array();
    for (const MessagePattern& p : MessagePatterns()) {
        val item = val::object();
        item.set("name", std::string(p.name));
        item.set("english", std::string(p.english));
        out.call<void>("push", item);
    }
    return out;
}

// --- A run: the outputs of the chosen files ----------------------------------------------

struct Choice {
    int slot = 0;
    std::string fileName;
    Bytes bytes;
    std::optional<std::string> name;  // a new name, as typed
};

struct Built {
    int slot = 0;
    std::string caption;
    PatchBlock block;
    std::optional<Message> cutLine;
};

std::optional<DateTimeTexts> StampOf(const val& request) {
    const val stamp = request["stamp"];
    if (stamp.isNull() || stamp.isUndefined()) {
        return std::nullopt;
    }
    return DateTimeTexts{stamp["date"].as<std::string>(), stamp["time"].as<std::string>()};
}

val FileVal(const std::string& name, val bytes) {
    val out = val::object();
    out.set("name", name);
    out.set("bytes", std::move(bytes));
    return out;
}

// Builds every chosen slot's block from the opened image, all or nothing, then the files a run
// gives: request.output is "single" (one ".vkp" named patchName + the timestamp suffix),
// "perSlot" (a ".vkp" per slot named after its row) or "image" (the patched image).
val BuildOutputs(const val& request) {
    if (!IsOpen()) {
        return Failure(Message(MessageId::Plain, {Message::Arg("")}));
    }
    Outgoing() = Bytes();  // the last output's view is spent: its room serves this run
    Opened& o = Current();
    const std::string output = request["output"].as<std::string>();
    const bool keepNames = request["keepNames"].as<bool>();
    const bool allowCut = request["allowCut"].as<bool>();
    const std::string patchName = request["patchName"].as<std::string>();
    const std::optional<DateTimeTexts> stamp = StampOf(request);

    std::vector<Choice> choices;
    const val list = request["choices"];
    const auto count = list["length"].as<std::size_t>();
    for (std::size_t i = 0; i < count; ++i) {
        const val c = list[i];
        Choice choice;
        choice.slot = c["slot"].as<int>();
        choice.fileName = c["fileName"].as<std::string>();
        choice.bytes = BytesOf(c["bytes"]);
        if (!c["name"].isNull() && !c["name"].isUndefined()) {
            choice.name = c["name"].as<std::string>();
        }
        if (choice.slot < 1 || choice.slot > kSlotCount) {
            continue;
        }
        choices.push_back(std::move(choice));
    }
    std::sort(choices.begin(), choices.end(),
              [](const Choice& a, const Choice& b) { return a.slot < b.slot; });

    // Files larger than their slots: the run asks first, as the window does.
    if (!allowCut) {
        MessageLines cuts;
        for (const Choice& c : choices) {
            const auto r = static_cast<std::size_t>(RowOfSlot(c.slot));
            const TMelody& slot = o.slots[r];
            if (slot.Address != kNotFound && CutBytes(slot.Capacity, c.bytes.size()) > 0) {
                cuts.push_back(CutDescription(ShownCaption(RowOfSlot(c.slot), o.stored[r]),
                                              c.fileName, slot.Capacity, c.bytes.size()));
            }
        }
        if (!cuts.empty()) {
            val out = val::object();
            out.set("cutQuestion", ToVal(CutQuestionText(cuts)));
            return out;
        }
    }

    std::vector<Built> built;
    for (const Choice& c : choices) {
        const int row = RowOfSlot(c.slot);
        const auto r = static_cast<std::size_t>(row);
        const TMelody& slot = o.slots[r];
        if (slot.Address == kNotFound) {
            return Failure(Message(MessageId::FullFlashNotFound));
        }
        if (!o.soundness[r].sound()) {
            return Failure(NamedFailure(o.name, UnsoundSlotMessage(c.slot, o.soundness[r])));
        }
        const std::string caption = c.name && NameWritable(o.kind, row, o.stored[r].has_value())
                                        ? CleanMelodyName(*c.name)
                                        : ShownCaption(row, o.stored[r]);
        const std::uint64_t cut = CutBytes(slot.Capacity, c.bytes.size());
        PatchChoice choice;
        choice.imagePath = o.name;
        choice.kind = o.kind;
        choice.row = row;
        choice.slot = slot;
        choice.caption = caption;
        choice.replacementPath = c.fileName;
        choice.keepName = keepNames;
        choice.nameStored = o.stored[r].has_value();
        const PatchRequest patch = MakePatchRequest(choice);
        BuiltPatch b = BuildPatchFromBytes(patch, o.bytes, c.bytes);
        if (!b.block) {
            return Failure(NamedFailure(o.name, b.detail.empty() ? b.failure : b.detail));
        }
        Built item{c.slot, caption, std::move(*b.block), std::nullopt};
        if (cut > 0) {
            item.cutLine = CutLine(caption, slot.Capacity, c.bytes.size());
        }
        built.push_back(std::move(item));
    }
    if (built.empty()) {
        return Failure(Message(MessageId::Plain, {Message::Arg("")}));
    }

    val files = val::array();
    val cutLines = val::array();
    for (const Built& b : built) {
        if (b.cutLine) {
            cutLines.call<void>("push", ToVal(*b.cutLine));
        }
    }
    const RunNames names = NameRun(patchName, o.name, o.kind, true, o.name, stamp);
    if (output == "image") {
        Bytes image = o.bytes;
        for (const Built& b : built) {
            if (!ApplyEdits(b.block.edits, image)) {
                return Failure(Message(MessageId::WorkingImageTooShort));
            }
        }
        // The copy holds each block's bytes where it writes, and the image's bytes elsewhere.
        std::vector<bool> edited(image.size());
        for (const Built& b : built) {
            for (const ByteEdit& e : b.block.edits) {
                const auto at = static_cast<std::ptrdiff_t>(e.offset);
                if (!std::equal(e.bytes.begin(), e.bytes.end(), image.begin() + at)) {
                    return Failure(Message(MessageId::PatchCheckFailed));
                }
                std::fill_n(edited.begin() + at, e.bytes.size(), true);
            }
        }
        for (std::size_t i = 0; i < image.size(); ++i) {
            if (image[i] != o.bytes[i] && !edited[i]) {
                return Failure(Message(MessageId::PatchCheckFailed));
            }
        }
        files.call<void>(
            "push", FileVal(FinalPathComponent(names.patchedImagePath), ToView(std::move(image))));
    } else if (output == "single") {
        if (const Message refusal = PatchNameRefusalMessage(patchName, ""); !refusal.empty()) {
            return Failure(refusal);
        }
        std::string text;
        std::vector<ByteEdit> before, after;
        for (const Built& b : built) {
            text += b.block.text;
            before.insert(before.end(), b.block.originals.begin(), b.block.originals.end());
            after.insert(after.end(), b.block.edits.begin(), b.block.edits.end());
        }
        const std::string name = names.patchBaseName + ".vkp";
        if (const Message failed = VerifyPatchMessage(text, o.kind, before, after);
            !failed.empty()) {
            return Failure(NamedFailure(name, failed));
        }
        files.call<void>("push", FileVal(name, ToArray(text)));
    } else {
        std::vector<PlannedPatchFile> planned;
        for (const Built& b : built) {
            const std::string base = CaptionFileName(b.caption);
            if (const Message refusal = PatchNameRefusalMessage(base, ""); !refusal.empty()) {
                return Failure(refusal);
            }
            planned.push_back({b.slot, b.caption, PerSlotPatchPath("", base, stamp)});
        }
        if (const Message shared = SharedPatchFileMessage(planned); !shared.empty()) {
            return Failure(shared);
        }
        for (std::size_t i = 0; i < built.size(); ++i) {
            const PatchBlock& b = built[i].block;
            if (const Message failed = VerifyPatchMessage(b.text, o.kind, b.originals, b.edits);
                !failed.empty()) {
                return Failure(NamedFailure(planned[i].path, failed));
            }
            files.call<void>("push", FileVal(planned[i].path, ToArray(b.text)));
        }
    }
    val out = val::object();
    out.set("files", files);
    out.set("cutLines", cutLines);
    // New names typed on rows that take no part in the run are not written; say so.
    val nameLines = val::array();
    const val pending = request["pendingNames"];
    const auto pendingCount = pending.isUndefined() ? 0 : pending["length"].as<std::size_t>();
    for (std::size_t i = 0; i < pendingCount; ++i) {
        const int n = pending[i]["slot"].as<int>();
        if (n < 1 || n > kSlotCount) {
            continue;
        }
        const int row = RowOfSlot(n);
        const auto r = static_cast<std::size_t>(row);
        const std::string name = CleanMelodyName(pending[i]["name"].as<std::string>());
        const std::string shown = ShownCaption(row, o.stored[r]);
        if (name.empty() || name == shown || !NameWritable(o.kind, row, o.stored[r].has_value())) {
            continue;
        }
        nameLines.call<void>(
            "push",
            ToVal(UnwrittenNameLine(name, FailureSlotName(row, o.slots[r].Name, shown), false)));
    }
    out.set("nameLines", nameLines);
    return out;
}

// --- A slot's content ------------------------------------------------------------------------

val ExportSlot(int slot, const std::string& caption) {
    if (!IsOpen() || slot < 1 || slot > kSlotCount) {
        return Failure(Message(MessageId::Plain, {Message::Arg("")}));
    }
    const Opened& o = Current();
    const auto r = static_cast<std::size_t>(RowOfSlot(slot));
    const ExportPlan plan = PlanSlotExport(o.slots[r], o.kind, o.bytes.size(), o.soundness[r]);
    if (plan.skip != ExportSkip::None) {
        val out = Failure(plan.reason);
        out.set("skipped", true);
        return out;
    }
    return FileVal(ExportFileName(slot, caption), ToArray(ByteView(SlotContent(plan, o.bytes))));
}

// --- The workbench ---------------------------------------------------------------------------

val RecordVal(const RecordCheck& c) {
    val out = val::object();
    out.set("line", c.line);
    out.set("address", static_cast<double>(c.address));
    out.set("addressText", FormatAddress(c.address));
    out.set("size", static_cast<double>(c.size));
    out.set("status", std::string(StatusWord(c.status)));
    out.set("offset", static_cast<double>(c.offset));
    out.set("verdict", ToVal(RecordVerdict(c)));
    return out;
}

val WarningsVal(const std::vector<VkpWarning>& warnings, std::size_t more) {
    val out = val::array();
    for (const VkpWarning& w : warnings) {
        val item = val::object();
        item.set("line", w.line);
        item.set("message", ToVal(w.message));
        out.call<void>("push", item);
    }
    if (more > 0) {
        val item = val::object();
        item.set("line", 0);
        item.set("more", static_cast<double>(more));
        out.call<void>("push", item);
    }
    return out;
}

// At most this many records are listed by a check, and as many of those that do not simply
// apply; the rest are counted.
constexpr std::size_t kRecordsListed = 1000;

// Judges a ".vkp" against the opened image as a flasher applies it: the counts, the records
// that do not simply apply, the record list (the first kRecordsListed) and the warnings.
val CheckPatch(const std::string& patchName, const val& array) {
    if (!IsOpen()) {
        return Failure(Message(MessageId::Plain, {Message::Arg("")}));
    }
    const std::size_t length = array["length"].as<std::size_t>();
    if (auto refusal = TooLarge(patchName, length, kVkpTextLimit)) {
        return Failure(*refusal);
    }
    const Opened& o = Current();
    const Bytes bytes = BytesOf(array);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    VkpSource first(text);
    const VkpFirstPass pass = ReadWhetherInPlace(first, o.kind, o.bytes);
    if (!first.ok()) {
        return Failure(NamedFailure(patchName, first.errorMessage()));
    }
    if (pass.records == 0) {
        return Failure(NamedFailure(patchName, Message(MessageId::ApplyNoRecords)));
    }
    const bool inPlace = pass.inPlace;
    VkpCounts counts;
    val failing = val::array();
    val listed = val::array();
    std::size_t shown = 0;
    std::size_t failingShown = 0;
    double moreFailing = 0;
    {
        VkpSource source(text);
        Bytes copy;
        std::optional<VkpJudge> judge;
        if (!inPlace) {
            copy = o.bytes;
            judge.emplace(o.kind, copy);
        }
        VkpRecord record;
        while (source.Next(record)) {
            const RecordCheck c = inPlace ? InPlaceCheck(record, o.kind) : judge->Judge(record);
            counts.Count(c.status);
            if (c.status != RecordStatus::Applies && c.status != RecordStatus::Both) {
                if (failingShown < kRecordsListed) {
                    failing.call<void>("push", ToVal(RecordVerdict(c)));
                    ++failingShown;
                } else {
                    ++moreFailing;
                }
            }
            if (shown < kRecordsListed) {
                listed.call<void>("push", RecordVal(c));
                ++shown;
            }
            source.TakeWarnings();
        }
    }
    // The workbench's two buttons: each exactly when `carillon-cli apply` (or `apply --revert`)
    // would write its copy, by the same judgement the window uses.
    VkpSource again(text);
    const ApplyResult applied = ApplyVkp(again, o.kind, o.bytes, {JudgeDirection::Apply, false});
    VkpSource back(text);
    const ApplyResult reverted = ApplyVkp(back, o.kind, o.bytes, {JudgeDirection::Revert, false});
    val out = val::object();
    out.set("canApply", applied.Writes());
    out.set("canRevert", reverted.Writes());
    out.set("counts", ToVal(counts.CountsMessage()));
    out.set("records", counts.records);
    out.set("unlisted", counts.records - static_cast<int>(shown));
    out.set("passes", inPlace || counts.PassesInOrder());
    out.set("inPlace", inPlace);
    out.set("failing", failing);
    out.set("moreFailing", moreFailing);
    out.set("list", listed);
    out.set("warnings", WarningsVal(pass.warnings, pass.moreWarnings));
    return out;
}

// A file name without its extension (from its last ".", when there is one).
std::string Stem(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}

// "image.bin" and "__applied" give "image__applied.bin".
std::string WithTag(const std::string& name, std::string_view tag) {
    const std::size_t dot = name.rfind('.');
    return Stem(name) + std::string(tag) + (dot == std::string::npos ? "" : name.substr(dot));
}

// The opened image with a ".vkp" applied (or reverted) as a copy, named as the window names it;
// nothing when a record does not apply.
val ApplyPatch(const std::string& patchName, const val& array, bool revert, bool allowUnchecked) {
    if (!IsOpen()) {
        return Failure(Message(MessageId::Plain, {Message::Arg("")}));
    }
    const std::size_t length = array["length"].as<std::size_t>();
    if (auto refusal = TooLarge(patchName, length, kVkpTextLimit)) {
        return Failure(*refusal);
    }
    Outgoing() = Bytes();
    const Opened& o = Current();
    const Bytes bytes = BytesOf(array);
    VkpSource source(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    ApplyOptions options;
    options.direction = revert ? JudgeDirection::Revert : JudgeDirection::Apply;
    options.allowUnchecked = allowUnchecked;
    ApplyResult result = ApplyVkp(source, o.kind, o.bytes, options);
    if (!result.error.empty()) {
        return Failure(NamedFailure(patchName, result.error));
    }
    if (const Message refusal = result.Refusal(); !refusal.empty()) {
        val out = Failure(NamedFailure(patchName, refusal));
        val failures = val::array();
        for (const RecordCheck& c : result.failures) {
            failures.call<void>("push", ToVal(RecordVerdict(c)));
        }
        out.set("failures", failures);
        out.set("moreFailures", result.moreFailures);
        out.set("counts", ToVal(result.counts.CountsMessage()));
        return out;
    }
    val out = FileVal(WithTag(o.name, revert ? "__reverted" : "__applied"),
                      ToView(std::move(result.image)));
    out.set("summary", ToVal(result.Summary()));
    out.set("warnings", WarningsVal(result.warnings, result.moreWarnings));
    return out;
}

// A ".vkp" that turns the opened image into `newBytes`, named OLD + "__to__" + NEW + ".vkp";
// replayed onto the opened image it must give the second image, or nothing is handed over.
val MakeDiff(const std::string& newName, const val& array, const std::string& title) {
    if (!IsOpen()) {
        return Failure(Message(MessageId::Plain, {Message::Arg("")}));
    }
    const Opened& o = Current();
    const std::size_t length = array["length"].as<std::size_t>();
    if (auto refusal = TooLarge(newName, length, kImageBufferSize)) {
        return Failure(*refusal);
    }
    const ImageKind newKind = DecideKind(newName, length);
    if (newKind != o.kind) {
        return Failure(Message(MessageId::DiffKindsDiffer,
                               {Message::Arg(o.name), Message::Arg(KindMessage(o.kind)),
                                Message::Arg(newName), Message::Arg(KindMessage(newKind))}));
    }
    if (length != o.bytes.size()) {
        return Failure(Message(MessageId::DiffLengthsDiffer,
                               {Message::Arg(o.name), Message::Arg(std::to_string(o.bytes.size())),
                                Message::Arg(newName), Message::Arg(std::to_string(length))}));
    }
    const Bytes newImage = BytesOf(array);
    const ImageDiff diff = DiffImages(o.kind, o.bytes, newImage, {title, o.name, newName});
    if (diff.changed == 0) {
        return Failure(
            Message(MessageId::DiffEqual, {Message::Arg(o.name), Message::Arg(newName)}));
    }
    if (diff.text.size() > kVkpTextLimit) {
        return Failure(
            Message(MessageId::DiffTooLong, {Message::Arg(std::to_string(diff.text.size())),
                                             Message::Arg(std::to_string(kVkpTextLimit))}));
    }
    // Replayed onto the opened image, record by record, it must give the second image.
    {
        VkpSource source(diff.text);
        Bytes image = o.bytes;
        VkpJudge judge(o.kind, image, JudgeDirection::Apply, false);
        VkpRecord record;
        while (source.Next(record)) {
            const RecordCheck c = judge.Judge(record);
            if (c.status != RecordStatus::Applies && c.status != RecordStatus::Both) {
                return Failure(RecordVerdict(c));
            }
        }
        if (!source.ok()) {
            return Failure(source.errorMessage());
        }
        if (image != newImage) {
            return Failure(Message(MessageId::DiffDoesNotGiveNew));
        }
    }
    val out = FileVal(Stem(o.name) + "__to__" + Stem(newName) + ".vkp", ToArray(diff.text));
    out.set("lines", static_cast<double>(diff.lines));
    out.set("changed", static_cast<double>(diff.changed));
    return out;
}

}  // namespace
}  // namespace carillon::web

EMSCRIPTEN_BINDINGS(carillon) {
    using namespace carillon::web;
    emscripten::function("patterns", &PatternList);
    emscripten::function("memoryBytes", &MemoryBytes);
    emscripten::function("fill", &Fill);
    emscripten::function("sizeRefusal", &SizeRefusal);
    emscripten::function("openImage", &OpenImage);
    emscripten::function("receiveImage", &ReceiveImage);
    emscripten::function("received", &Received);
    emscripten::function("openReceived", &OpenReceived);
    emscripten::function("closeImage", &CloseImage);
    emscripten::function("cutWarning", &CutWarning);
    emscripten::function("cleanName", &CleanName);
    emscripten::function("runAborted", &RunAborted);
    emscripten::function("buildOutputs", &BuildOutputs);
    emscripten::function("exportSlot", &ExportSlot);
    emscripten::function("checkPatch", &CheckPatch);
    emscripten::function("applyPatch", &ApplyPatch);
    emscripten::function("makeDiff", &MakeDiff);
}

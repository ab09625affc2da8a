// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/slot_export.h"

#include <set>

#include "core/file_io.h"
#include "core/output_commit.h"
#include "patch/patch_run.h"

namespace carillon {

namespace {
constexpr std::int32_t kErasedContentSize = 0xFFFF;
}  // namespace

ExportPlan PlanSlotExport(const TMelody& slot, ImageKind kind, std::uint64_t imageSize,
                          const SlotSoundness& soundness) {
    ExportPlan plan;
    if (slot.Address == kNotFound || slot.Found == 0) {
        plan.skip = ExportSkip::NotFound;
        plan.reason = Message(MessageId::NotFound);
        return plan;
    }
    // An unsound block holds no size worth believing.
    if (!soundness.sound()) {
        plan.skip = ExportSkip::Unsound;
        plan.reason =
            Message(MessageId::UnsoundExport, {Message::Arg(BlockDamageMessage(soundness))});
        return plan;
    }
    if (slot.ContentSize == 0 || slot.ContentSize == kErasedContentSize) {
        plan.skip = ExportSkip::Empty;
        plan.reason = Message(MessageId::Empty);
        return plan;
    }
    plan.offset = FlashOffsetToImageOffset(kind, slot.Address);
    plan.size = slot.ContentSize;
    if (slot.ContentSize < 0 || slot.ContentSize > slot.Capacity) {
        plan.skip = ExportSkip::Unsound;
        plan.reason = Message(MessageId::ContentLargerThanCapacity,
                              {Message::Arg(std::to_string(slot.ContentSize)),
                               Message::Arg(std::to_string(slot.Capacity))});
        return plan;
    }
    if (!InImage(plan.offset, plan.size, static_cast<std::size_t>(imageSize))) {
        plan.skip = ExportSkip::Unsound;
        plan.reason = Message(
            MessageId::ContentOutsideImage,
            {Message::Arg(std::to_string(plan.size)), Message::Arg(FormatAddress(slot.Address))});
        return plan;
    }
    return plan;
}

Bytes SlotContent(const ExportPlan& plan, ByteView image) {
    if (plan.skip != ExportSkip::None || !InImage(plan.offset, plan.size, image.size())) {
        return {};
    }
    const ByteView content =
        image.subspan(static_cast<std::size_t>(plan.offset), static_cast<std::size_t>(plan.size));
    return Bytes(content.begin(), content.end());
}

ExportPlan SaveSlotContent(const std::string& imagePath, ImageKind kind, const TMelody& slot,
                           const SlotSoundness& soundness, const std::string& outPath,
                           OutputRules rules) {
    const InputFile image(imagePath, kImageBufferSize);
    const ExportPlan plan = PlanSlotExport(slot, kind, image.size(), soundness);
    if (plan.skip == ExportSkip::None) {
        rules.Protect(image);
        const Bytes content = image.ReadAt(static_cast<std::uint64_t>(plan.offset),
                                           static_cast<std::size_t>(plan.size));
        image.ConfirmUnchanged();
        WriteOutputFile(outPath, content.data(), content.size(), rules);
    }
    return plan;
}

std::string ExportFileName(int slot, std::string_view caption) {
    std::string name = CaptionFileName(caption);
    if (name.empty()) {
        name = "slot_" + std::to_string(slot);
    }
    return name + std::string(SlotDef(slot).fileExtension);
}

std::vector<std::string> UniqueExportNames(const std::vector<std::string>& names) {
    std::set<std::string> taken;
    std::vector<std::string> unique;
    for (const std::string& name : names) {
        const std::size_t dot = name.rfind('.');
        const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
        const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
        std::string candidate = name;
        for (int n = 2; !taken.insert(candidate).second; ++n) {
            candidate = stem + "_" + std::to_string(n) + ext;
        }
        unique.push_back(candidate);
    }
    return unique;
}

}  // namespace carillon

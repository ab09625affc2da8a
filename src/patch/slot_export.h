// SPDX-License-Identifier: GPL-3.0-or-later
// Saving what a slot holds: the content bytes of a found slot, and the names of the files an
// export of every slot writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "core/slots.h"
#include "search/block_soundness.h"

namespace carillon {

enum class ExportSkip : std::uint8_t {
    None,      // the slot has content to save
    NotFound,  // the last search did not find the slot
    Empty,     // content size 0 or 0xFFFF
    Unsound,   // the block is unsound (CheckSlotSoundness), its content size is above the
               // capacity, or its content lies outside the image
};

// Where a slot's content lies, or why it cannot be saved.
struct ExportPlan {
    ExportSkip skip = ExportSkip::None;
    Message reason;           // "not found", "empty", or what is unsound; empty when None
    std::int64_t offset = 0;  // image offset of the first content byte
    std::int64_t size = 0;    // ContentSize bytes
};

// The content of a searched slot: its ContentSize bytes from Address (an image offset as the
// patch builder computes it). Nothing is saved from a slot whose block is unsound (`soundness`,
// the slot's entry of CheckSlotSoundness on the same search), whose content size is above its
// capacity or whose content lies outside an image of `imageSize` bytes.
ExportPlan PlanSlotExport(const TMelody& slot, ImageKind kind, std::uint64_t imageSize,
                          const SlotSoundness& soundness);

// The planned bytes of `image` (empty unless plan.skip is None and they fit).
Bytes SlotContent(const ExportPlan& plan, ByteView image);

// Saves the content of a searched slot of the image file at `imagePath` (read again, read-only,
// only the content's bytes), planned as PlanSlotExport plans it, to `outPath` through the output
// commit under `rules` (the image itself is never replaced), read back before it replaces anything.
// An image file that changed since it was opened fails with "PATH: the image changed while it was
// read". Returns the plan: when its skip is not None nothing was written and its reason says why.
// Throws FileError.
ExportPlan SaveSlotContent(const std::string& imagePath, ImageKind kind, const TMelody& slot,
                           const SlotSoundness& soundness, const std::string& outPath,
                           OutputRules rules);

// File name of a slot's content: the caption with every blank (and every character that
// cannot stand in a file name) as "_", then the slot kind's extension (".si3", ".bmp", ".bmx").
std::string ExportFileName(int slot, std::string_view caption);

// The file names of an export of several slots, in the order given: a name met before gets
// "_2" (then "_3", ...) before its extension.
std::vector<std::string> UniqueExportNames(const std::vector<std::string>& names);

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// What a patch run checks before it writes anything, and the patched image it writes in direct
// mode. Nothing here shows or asks anything: the window shows the texts, the command line prints
// them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "patch/patch_run.h"

namespace carillon {

// The question a run asks before its first slot, or empty when it asks none. Only a direct-mode
// run writes the patched image, and only one with a chosen slot can write it; it asks when a
// file stands at `patchedImagePath` (always so without a backup, where that is the opened file).
// A V_KLay-mode run writes ".vkp" files only and never asks about the image.
MessageLines PatchedImageQuestionFor(bool directMode, bool anySlotChosen,
                                     const std::string& patchedImagePath);

// Why `name` (the "Save Patch To" name, TrimBlanks) cannot name a patch file in `folder`: it holds
// a path separator ("/" or "\", so "../escaped" would leave the folder) or is "." or "..". Empty
// when it can. PatchNameRefusal is its English text.
Message PatchNameRefusalMessage(std::string_view name, std::string_view folder);
std::string PatchNameRefusal(std::string_view name, std::string_view folder);

// Path of a per-slot ".vkp" file: `folder` + PerSlotBaseName(baseName, stamp) + ".vkp", as the
// patch builder names it.
std::string PerSlotPatchPath(std::string_view folder, std::string_view baseName,
                             const std::optional<DateTimeTexts>& stamp);

// One chosen slot of a run and the file it would write.
struct PlannedPatchFile {
    int slot = 0;         // 1..18
    std::string caption;  // the row's caption
    std::string path;
};

// The first two slots that would write one file, as a message naming both rows and the file;
// empty when every slot writes a file of its own. SharedPatchFileText is its English text.
Message SharedPatchFileMessage(const std::vector<PlannedPatchFile>& files);
std::string SharedPatchFileText(const std::vector<PlannedPatchFile>& files);

// A line of the closing box for a standard melody whose new caption is not written because its
// row takes no part in the run:
//   Name "Ringtone" not written: "Pop 1" has no file chosen
//   Name "Ringtone" not written: "Pop 1" is not checked
Message UnwrittenNameLine(std::string_view newName, std::string_view slotName, bool fileChosen);

// Writes the patched image of a direct-mode run: `workingImage` to `patchedImagePath` through
// the output commit, replacing what stands there (the run asked first). The opened image is
// refused as the target unless it is `patchedImagePath` itself (no backup); a replacement file
// always is. What was written is read back before it replaces anything. Throws FileError.
void WritePatchedImage(const std::string& patchedImagePath, const std::string& openedImagePath,
                       ByteView workingImage, const std::vector<std::string>& replacementFiles);

}  // namespace carillon

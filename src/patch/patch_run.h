// SPDX-License-Identifier: GPL-3.0-or-later
// The names and texts of a patch run ("Go"): the timestamp suffix, the single patch's base
// name, the patched image's path, the created and failed lists and the summary. Nothing here
// shows or asks anything; the window shows the texts, and starts V_KLay through its platform
// seam.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "core/message.h"

namespace carillon {

// The clock as the user's regional settings render it: short date and long time.
struct DateTimeTexts {
    std::string date;  // e.g. "07.12.2026" or "12/8/26"
    std::string time;  // e.g. "14:03:59"
};

// Characters replaced by "-" in a timestamp: ":" and ".", and everything that cannot stand in
// one file name ("/" and "\", and on Windows also * ? " < > |).
bool IsTimestampUnsafe(char c);

// "__" + date + "__" + time, each unsafe character replaced by "-":
// 07.12.2026 and 14:03:59 give "__07-12-2026__14-03-59".
std::string TimestampSuffix(const DateTimeTexts& now);

// A patch name without the blanks at either end: a file name that starts or ends in a blank is
// easily mistaken for another. Every patch name is taken so.
std::string_view TrimBlanks(std::string_view name);

// Base name of a per-slot patch file: the patch name field (TrimBlanks), and with a timestamp the
// suffix, after which every ":" and "." of the whole name becomes "-".
std::string PerSlotBaseName(std::string_view patchName, const std::optional<DateTimeTexts>& stamp);

// A row caption as a file name: every blank, and every character that cannot stand in a file
// name (a path separator, a control character), becomes "_". "Pop 1" gives "Pop_1".
std::string CaptionFileName(std::string_view caption);

// `folder` + separator + `name` (no separator added when `folder` is empty or ends in one).
std::string JoinPath(std::string_view folder, std::string_view name);

// Path of the patched image: the image path without its extension (everything from the last
// "." of the final path component on; a name without one is kept whole) + "__patched" +
// `suffix` + ".eep" for an ".eep" image, ".bin" for the other kinds.
std::string PatchedImagePathFor(std::string_view imagePath, ImageKind kind,
                                std::string_view suffix);

// The per-run names, both with the same timestamp suffix.
struct RunNames {
    std::string patchBaseName;     // patch name field (TrimBlanks) + suffix
    std::string patchedImagePath;  // PatchedImagePathFor, or `openedFile` without a backup
};
RunNames NameRun(std::string_view patchName, std::string_view imagePath, ImageKind kind,
                 bool createBackup, std::string_view openedFile,
                 const std::optional<DateTimeTexts>& stamp);

// Question before a patched image that exists already is replaced ("Confirm", Yes/No).
MessageLines PatchedImageQuestion(std::string_view patchedImagePath);
// Message of a run the user aborted at that question (box titled "Carillon").
MessageLines RunAbortedText();

// The name of a slot in a failure line: the stock name of a standard melody (rows 0..9), the
// caption for the user slots.
std::string FailureSlotName(int row, std::string_view stockName, std::string_view caption);

// "\"NAME\" to \"FILE\"  (ERROR: REASON)", FILE being the final path component.
Message FailureLine(std::string_view slotName, std::string_view replacementPath, Message reason);

// The created and failed lists of one run and the texts made from them.
class RunSummary {
  public:
    // A slot that was handled: single-patch mode lists only the first success of the run
    // (every slot went into the same file), per-slot mode every one.
    void AddSuccess(std::string_view resultText, bool singlePatch);
    void AddFailure(std::string_view slotName, std::string_view replacementPath, Message reason);

    bool anySuccess() const { return anySuccess_; }

    // Summary of a V_KLay-mode run (box titled "Carillon"), line by line, ended by a line end.
    MessageLines VKlayLines() const;
    // The same in English.
    std::string VKlayText() const { return English(VKlayLines()); }

  private:
    MessageLines created_;
    MessageLines failed_;
    bool anySuccess_ = false;
};

// Message of a direct-mode run that wrote the patched image (box titled "Carillon").
MessageLines DirectDoneLines(std::string_view patchedImagePath);
inline std::string DirectDoneText(std::string_view patchedImagePath) {
    return English(DirectDoneLines(patchedImagePath));
}

}  // namespace carillon

// SPDX-License-Identifier: GPL-3.0-or-later
// "Go": the patch run over every chosen slot, and the patch builder of the selected slot.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <algorithm>
#include <optional>

#include "core/file_io.h"
#include "core/output_commit.h"
#include "patch/make_patch.h"
#include "patch/patch_request.h"
#include "patch/run_output.h"
#include "ui/form1.h"
#include "ui/slot_list.h"
#include "ui/translation.h"

namespace carillon::ui {

namespace {

constexpr const char* kResultTitle = "Carillon";

QString Shown(const std::string& text) {
    return FromLocalPath(text);
}

// Locks the slot list for a run and unlocks it when the run ends, however it ends.
class ListLock {
  public:
    explicit ListLock(QWidget* list) : list_(list) { list_->setEnabled(false); }
    ~ListLock() { list_->setEnabled(true); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

  private:
    QWidget* list_;
};

// The regional date and time for a timestamp, or nothing without "Add Timestamp".
std::optional<DateTimeTexts> Timestamp(bool wanted, Platform& platform) {
    if (!wanted) {
        return std::nullopt;
    }
    const ClockText now = platform.Now();
    return DateTimeTexts{LocalPath(now.shortDate), LocalPath(now.longTime)};
}

}  // namespace

bool TForm1::MakePatch(const std::string& FileName, carillon::Message& result) {
    result = carillon::Message(MessageId::UnknownError);
    const int row = SelectedRow();
    if (row < 0) {
        return false;
    }

    PatchChoice choice;
    choice.imagePath = LocalPath(Edit1->text());
    choice.kind = Kind;
    choice.row = row;
    choice.slot = Melodies[static_cast<std::size_t>(row)];
    choice.caption = Caption(row).toStdString();
    choice.replacementPath = FileName;
    choice.keepName = CheckBox3->isChecked();
    choice.nameStored = NameStored(row);
    choice.startText = Edit6->text().toStdString();
    choice.endText = Edit7->text().toStdString();
    choice.windowTitle = windowTitle().toStdString();
    PatchCall call;
    call.request = MakePatchRequest(choice);
    call.vklayMode = RadioButton2->isChecked();
    call.singlePatch = CheckBox1->isChecked();
    // Per-slot files are named after their rows' captions as they are now, as the command line
    // names them; the single patch after the field.
    call.patchName = CheckBox1->isChecked() ? LocalPath(Edit5->text())
                                            : CaptionFileName(LocalPath(Caption(row)));
    call.timestamp = Timestamp(CheckBox2->isChecked(), platform);
    call.patchBaseName = PatchBaseName;
    call.vkpFolder = LocalPath(platform.PatchFolder(Edit1->text()));

    const PatchDialogs boxes{
        [this](const MessageLines& text) { dialogs.ShowError(Translated(text)); },
        [this](const MessageLines& text) { return dialogs.Confirm(Translated(text)); },
    };
    const PatchOutcome outcome = carillon::MakePatch(call, WorkingImage, LastPatchPath, boxes);
    result = outcome.result;
    if (outcome.ok) {
        PatchApplied = true;
    }
    return outcome.ok;
}

// The chosen slots whose files the slots of the opened image cannot hold whole.
QString TForm1::CutQuestion() const {
    MessageLines lines;
    for (int row = 0; row < kSlotCount; ++row) {
        const std::uint64_t cut = CutOfSlot(SlotOfRow(row));
        if (!CheckBoxM[static_cast<std::size_t>(row)]->isChecked() || cut == 0) {
            continue;
        }
        lines.push_back(CutDescriptionOf(SlotOfRow(row)));
    }
    return lines.empty() ? QString() : Translated(CutQuestionText(lines));
}

QString TForm1::RunRefusal() {
    for (int row = 0; row < kSlotCount; ++row) {
        if (CheckBoxM[static_cast<std::size_t>(row)]->isChecked()) {
            if (const QString refusal = UnsoundRefusal(row); !refusal.isEmpty()) {
                return refusal;
            }
        }
    }
    if (!RadioButton2->isChecked()) {
        return {};  // direct mode writes no ".vkp" file
    }
    const std::string folder = LocalPath(platform.PatchFolder(Edit1->text()));
    const std::string patchName = LocalPath(Edit5->text());
    if (CheckBox1->isChecked()) {
        const carillon::Message refusal = PatchNameRefusalMessage(patchName, folder);
        return refusal.empty() ? QString() : Translated(refusal);
    }
    // One file per slot, named after its row's caption.
    const std::optional<DateTimeTexts> stamp = Timestamp(CheckBox2->isChecked(), platform);
    std::vector<PlannedPatchFile> planned;
    for (int row = 0; row < kSlotCount; ++row) {
        if (!CheckBoxM[static_cast<std::size_t>(row)]->isChecked()) {
            continue;
        }
        const std::string caption = LocalPath(Caption(row));
        const std::string base = CaptionFileName(caption);
        if (const carillon::Message refusal = PatchNameRefusalMessage(base, folder);
            !refusal.empty()) {
            return Translated(refusal);
        }
        planned.push_back({SlotOfRow(row), caption, PerSlotPatchPath(folder, base, stamp)});
    }
    const carillon::Message shared = SharedPatchFileMessage(planned);
    return shared.empty() ? QString() : Translated(shared);
}

std::optional<carillon::Message> TForm1::UnwrittenName(int row) const {
    if (CheckBoxM[static_cast<std::size_t>(row)]->isChecked() || !PendingRename(row)) {
        return std::nullopt;
    }
    const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
    return UnwrittenNameLine(LocalPath(Caption(row)),
                             FailureSlotName(row, slot.Name, LocalPath(Caption(row))),
                             !ListView1->topLevelItem(row)->text(kColumnFilename).isEmpty());
}

void TForm1::OpenAgainKeepingChoices() {
    std::array<std::optional<QString>, kSlotCount> renames;
    for (int row = 0; row < kSlotCount; ++row) {
        if (PendingRename(row)) {
            renames[static_cast<std::size_t>(row)] = Caption(row);
        }
    }
    OpenImage(Edit1->text());  // chosen files and their marks stay as they are
    for (int row = 0; row < kSlotCount; ++row) {
        const auto& rename = renames[static_cast<std::size_t>(row)];
        if (rename && NameWritable(Kind, row, NameStored(row))) {
            ListView1->topLevelItem(row)->setText(kColumnCaption, *rename);
        }
    }
}

bool TForm1::PatchRun() {
    ListLock lock(ListView1);
    RunSummary summary;
    MessageLines closingLines;  // cut slots, then names not written
    MessageLines nameLines;
    PatchApplied = false;
    const std::string opened = LocalPath(Edit1->text());
    const RunNames names = NameRun(LocalPath(Edit5->text()), opened, Kind, CheckBox5->isChecked(),
                                   opened, Timestamp(CheckBox2->isChecked(), platform));
    PatchBaseName = names.patchBaseName;
    PatchedImagePath = names.patchedImagePath;

    const bool direct = RadioButton1->isChecked();
    const bool anyChosen = std::any_of(CheckBoxM.begin(), CheckBoxM.end(),
                                       [](const QCheckBox* mark) { return mark->isChecked(); });
    if (const MessageLines question = PatchedImageQuestionFor(direct, anyChosen, PatchedImagePath);
        !question.empty() && !dialogs.Confirm(Translated(question))) {
        dialogs.ShowMessage(QString::fromLatin1(kResultTitle), Translated(RunAbortedText()));
        return false;
    }

    for (int row = 0; row < kSlotCount; ++row) {
        if (!CheckBoxM[static_cast<std::size_t>(row)]->isChecked()) {
            if (const auto line = UnwrittenName(row)) {
                nameLines.push_back(*line);
            }
            continue;
        }
        SelectRow(row);
        const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
        const std::string fileName = slot.FileName;
        const std::uint64_t cut = CutOfSlot(SlotOfRow(row));
        carillon::Message result;
        if (MakePatch(fileName, result)) {
            summary.AddSuccess(English(result), CheckBox1->isChecked());
            if (cut > 0) {
                closingLines.push_back(CutLine(LocalPath(Caption(row)), slot.Capacity,
                                               ChosenFileSize(SlotOfRow(row)).value_or(0)));
            }
        } else {
            summary.AddFailure(FailureSlotName(row, slot.Name, LocalPath(Caption(row))), fileName,
                               result);
        }
        // Repaint and let the timer run; clicks and keys wait until the run is over, so
        // nothing can start a second run or open another image half-way through this one.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    closingLines.insert(closingLines.end(), nameLines.begin(), nameLines.end());

    if (direct && PatchApplied) {
        // The run took a while and showed boxes: the file is checked again just before it is
        // replaced, so nothing changed meanwhile is written over. Nothing of this run is kept.
        if (ImageChangedRefusal()) {
            if (Edit1->text() == FromLocalPath(opened)) {  // not opened again: the copy as read
                const ByteView read = Buffer.Image();
                WorkingImage.assign(read.begin(), read.end());
            }
            return false;
        }
        std::vector<std::string> replacementFiles;
        for (const TMelody& m : Melodies) {
            replacementFiles.push_back(m.FileName);
        }
        WritePatchedImage(PatchedImagePath, opened, WorkingImage, replacementFiles);
        choicesChanged_ = false;
        if (PatchedImagePath == opened) {
            // The list, the stored names and "Save content as..." describe the file as it is now.
            OpenAgainKeepingChoices();
        }
        dialogs.ShowMessage(
            QString::fromLatin1(kResultTitle),
            Translated(WithCutLines(DirectDoneLines(PatchedImagePath), closingLines)));
    }
    if (RadioButton2->isChecked()) {
        if (summary.anySuccess()) {
            choicesChanged_ = false;
        }
        QString text = Translated(WithCutLines(summary.VKlayLines(), closingLines));
        if (CheckBox1->isChecked() && CheckBox4->isChecked() &&
            !platform.FileExists(Edit8->text())) {
            text += tr("V_KLay was not started: %1 does not exist.").arg(Edit8->text());
        }
        dialogs.ShowMessage(QString::fromLatin1(kResultTitle), text);
    }
    return true;
}

void TForm1::Button3Click() {
    // The slot list is disabled exactly while a run is under way; a second press of "Go"
    // during the run is ignored.
    if (!ListView1->isEnabled()) {
        return;
    }
    // Nothing is asked about a run that cannot write what it would name.
    if (const QString refusal = RunRefusal(); !refusal.isEmpty()) {
        dialogs.ShowWarning(refusal);
        return;
    }
    // A run works from the bytes read when the image was opened: a file changed since (another
    // program, a second window) is neither written over nor patched from stale bytes.
    if (ImageChangedRefusal()) {
        return;
    }
    // Before anything is written and before any other question: the user agrees to cuts.
    if (const QString cuts = CutQuestion(); !cuts.isEmpty() && !dialogs.Confirm(cuts)) {
        return;
    }
    if (!PatchRun()) {
        return;
    }
    // Only a program that is there is started; the closing box named a missing one.
    if (CheckBox1->isChecked() && CheckBox4->isChecked() && platform.FileExists(Edit8->text())) {
        if (const auto error = platform.StartProgram(Edit8->text(), Shown(LastPatchPath))) {
            dialogs.ShowError(tr("V_KLay could not be started with the patch.\r\nProgram: "
                                 "%1\r\nReason: %2")
                                  .arg(Edit8->text(), *error));
        }
    }
}

}  // namespace carillon::ui

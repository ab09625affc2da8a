// "Go": the patch run over every chosen slot, and the patch builder of the selected slot.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <optional>

#include "core/file_io.h"
#include "core/output_commit.h"
#include "patch/make_patch.h"
#include "patch/patch_request.h"
#include "ui/form1.h"
#include "ui/translation.h"

namespace carillon::ui {

namespace {

constexpr const char* kResultTitle = "Carillon";

QString Shown(const std::string& text) {
    return FromLocalPath(text);
}

// A message of the engine, in the window's language.
QString Message(const std::string& text) {
    return TranslatedMessage(FromLocalPath(text));
}

// Re-enables the slot list when the run ends, however it ends.
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

bool TForm1::MakePatch(const std::string& FileName, std::string& result) {
    result = std::string(kUnknownError);
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
    choice.nameStored = StoredNames[static_cast<std::size_t>(row)].has_value();
    choice.startText = Edit6->text().toStdString();
    choice.endText = Edit7->text().toStdString();
    choice.windowTitle = windowTitle().toStdString();
    PatchCall call;
    call.request = MakePatchRequest(choice);
    call.vklayMode = RadioButton2->isChecked();
    call.singlePatch = CheckBox1->isChecked();
    call.patchName = LocalPath(Edit5->text());
    call.timestamp = Timestamp(CheckBox2->isChecked(), platform);
    call.patchBaseName = PatchBaseName;
    call.vkpFolder = LocalPath(platform.PatchFolder(Edit1->text()));

    const PatchDialogs boxes{
        [this](const std::string& text) { dialogs.ShowError(Message(text)); },
        [this](const std::string& text) { return dialogs.Confirm(Message(text)); },
    };
    const PatchOutcome outcome = carillon::MakePatch(call, WorkingImage, LastPatchPath, boxes);
    result = outcome.resultText;
    if (outcome.ok) {
        PatchApplied = true;
    }
    return outcome.ok;
}

// The chosen slots whose files the slots of the opened image cannot hold whole.
QString TForm1::CutQuestion() const {
    QString lines;
    for (int n = 1; n <= kSlotCount; ++n) {
        const std::uint64_t cut = CutOfSlot(n);
        if (!CheckBoxM[static_cast<std::size_t>(RowOfSlot(n))]->isChecked() || cut == 0) {
            continue;
        }
        const TMelody& slot = Melodies[static_cast<std::size_t>(RowOfSlot(n))];
        lines += tr("\"%1\": %2 has %3 bytes, the slot holds %4 (%5 cut)")
                     .arg(Caption(RowOfSlot(n)), Shown(FinalPathComponent(slot.FileName)))
                     .arg(static_cast<std::uint64_t>(slot.Capacity) + cut)
                     .arg(slot.Capacity)
                     .arg(cut) +
                 QStringLiteral("\r\n");
    }
    if (lines.isEmpty()) {
        return {};
    }
    return tr("These files are larger than their slots; only their first bytes would be "
              "written:\r\n%1\r\nCut them and go on?")
        .arg(lines);
}

void TForm1::Button3Click() {
    // The slot list is disabled exactly while a run is under way; a second press of "Go"
    // during the run is ignored.
    if (!ListView1->isEnabled()) {
        return;
    }
    // Before anything is written and before any other question: the user agrees to cuts.
    if (const QString cuts = CutQuestion(); !cuts.isEmpty() && !dialogs.Confirm(cuts)) {
        return;
    }
    ListLock lock(ListView1);
    RunSummary summary;
    std::string cutLines;
    PatchApplied = false;
    const RunNames names =
        NameRun(LocalPath(Edit5->text()), LocalPath(Edit1->text()), Kind, CheckBox5->isChecked(),
                LocalPath(Edit1->text()), Timestamp(CheckBox2->isChecked(), platform));
    PatchBaseName = names.patchBaseName;
    PatchedImagePath = names.patchedImagePath;

    if (carillon::FileExists(PatchedImagePath) &&
        !dialogs.Confirm(Message(PatchedImageQuestion(PatchedImagePath)))) {
        dialogs.ShowMessage(QString::fromLatin1(kResultTitle),
                            Message(std::string(kRunAbortedText)));
        return;
    }

    for (int n = 1; n <= ListView1->topLevelItemCount(); ++n) {
        const auto* mark = findChild<QCheckBox*>(QStringLiteral("CheckBoxM%1").arg(n));
        if (mark == nullptr || !mark->isChecked()) {
            continue;
        }
        const int row = n - 1;
        SelectRow(row);
        const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
        const std::string fileName = slot.FileName;
        const std::uint64_t cut = CutOfSlot(n);
        std::string result;
        if (MakePatch(fileName, result)) {
            summary.AddSuccess(result, CheckBox1->isChecked());
            if (cut > 0) {
                cutLines += CutLine(Caption(row).toStdString(), slot.Capacity,
                                    static_cast<std::uint64_t>(slot.Capacity) + cut) +
                            "\r\n";
            }
        } else {
            summary.AddFailure(FailureSlotName(row, slot.Name, Caption(row).toStdString()),
                               fileName, result);
        }
        // Repaint and let the timer run; clicks and keys wait until the run is over, so
        // nothing can start a second run or open another image half-way through this one.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

    if (RadioButton1->isChecked() && PatchApplied) {
        // Without a backup the patched image replaces the opened file, as the user chose;
        // any other target that is the opened image, or a replacement file, is refused.
        std::vector<std::string> inputs;
        if (PatchedImagePath != LocalPath(Edit1->text())) {
            inputs.push_back(LocalPath(Edit1->text()));
        }
        for (const TMelody& m : Melodies) {
            if (!m.FileName.empty()) {
                inputs.push_back(m.FileName);
            }
        }
        // An existing patched image was confirmed above.
        WriteOutputFile(PatchedImagePath, WorkingImage.data(), WorkingImage.size(),
                        JobOutputRules(Existing::Replace, inputs));
        dialogs.ShowMessage(QString::fromLatin1(kResultTitle),
                            Message(WithCutLines(DirectDoneText(PatchedImagePath), cutLines)));
    }
    if (RadioButton2->isChecked()) {
        dialogs.ShowMessage(QString::fromLatin1(kResultTitle),
                            Message(WithCutLines(summary.VKlayText(), cutLines)));
    }
    ListView1->setEnabled(true);
    if (CheckBox1->isChecked() && CheckBox4->isChecked()) {
        if (const auto error = platform.StartProgram(Edit8->text(), Shown(LastPatchPath))) {
            dialogs.ShowError(tr("V_KLay could not be started with the patch.\r\nProgram: "
                                 "%1\r\nReason: %2")
                                  .arg(Edit8->text(), *error));
        }
    }
}

}  // namespace carillon::ui

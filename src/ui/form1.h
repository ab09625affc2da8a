// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: every control of the tool, the start-up, the option rules, the row
// selection, opening an image, choosing slot files and naming melodies. Handlers keep the
// names of the controls and events that raise them and stay thin: they read the controls,
// call the core and write the results back.
//
// The window is built in form1_build.cpp, the slot list's look lives in slot_list.cpp, slot
// files, drops and stored names in form1_slots.cpp, "Go" in form1_patch.cpp and the hidden
// commands in form1_eeprom.cpp; the other handlers are in form1.cpp.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "core/image.h"
#include "core/slots.h"
#include "platform/platform.h"
#include "search/block_soundness.h"
#include "search/slot_search.h"
#include "ui/dialogs.h"
#include "vkp/apply.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QPoint;

namespace carillon::ui {

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    // The seams are borrowed and must outlive the window.
    TForm1(Dialogs& dialogs, Platform& platform, QWidget* parent = nullptr);
    ~TForm1() override;

    // --- What tests may read of the window's state ---------------------------------------
    const SlotTable& SlotRecords() const { return Melodies; }
    ImageKind OpenedKind() const { return Kind; }
    // The bytes read when the image was opened, and the copy runs edit.
    ByteView OpenedImage() const { return Buffer.Image(); }
    const Bytes& Working() const { return WorkingImage; }
    const std::string& LastPatch() const { return LastPatchPath; }
    const FileDialogRequest& ImageDialog() const { return OpenDialog1; }
    const FileDialogRequest& VKlayDialog() const { return OpenDialog3; }

    // --- Controls (member name = objectName) ----------------------------------------------
    QGroupBox* GroupBox7;  // picture
    QLabel* Image3;
    QGroupBox* GroupBox1;  // "  Files  "
    QLabel* Label3;
    QLineEdit* Edit1;
    QPushButton* Button2;
    QRadioButton* RadioButton1;
    QCheckBox* CheckBox5;
    QRadioButton* RadioButton2;
    QLabel* Label5;
    QLineEdit* Edit5;
    QLabel* Label21;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QGroupBox* GroupBox4;  // "  Information  "
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;       // phone
    QLabel* Label13;       // version
    QLabel* Label2;        // file type
    QGroupBox* GroupBox3;  // "  Action  "
    QPushButton* Button3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox3;
    QGroupBox* GroupBox2;  // "  Melodies, Pictures, Animations  "
    QTreeWidget* ListView1;
    std::array<QCheckBox*, kSlotCount> CheckBoxM{};  // CheckBoxM1..18 at [0..17]
    std::array<QPushButton*, kSlotCount> ButtonM{};  // ButtonM1..18 at [0..17], Tag = n
    QLabel* Image1;                                  // legend: found
    QLabel* Label6;
    QLabel* Image2;  // legend: not found
    QLabel* Label7;
    QPushButton* Button1;  // "Edit Name"
    QGroupBox* GroupBox6;  // "  Path to V_KLay executable  "
    QLineEdit* Edit8;
    QPushButton* Button4;
    QLabel* Label23;
    QLabel* Panel1;
    QGroupBox* GroupBox5;  // "  Addresses  ", never shown
    QLabel* Label14;
    QLabel* Label15;
    QLabel* Label16;
    QLabel* Label17;
    QLineEdit* Edit6;
    QLineEdit* Edit7;
    QPushButton* Button5;
    QPushButton* Button6;
    QTimer* Timer1;

    // --- Handlers ----------------------------------------------------------------------------
    // Start-up: the V_KLay lookup and the slot-table initialisation. Runs once, at the first
    // activation; later calls do nothing.
    void FormActivate();
    void Edit8Change();
    void Button4Click();
    void CheckBox1Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void Timer1Timer();
    void ListView1SelectItem();
    void Button2Click();
    // Opens the image at `path` as the image button does after its dialog. Edit1 and
    // everything else change only once the file has been read; a failure is reported and
    // leaves the window describing the image that was open before.
    void OpenImage(const QString& path);
    // Opens the image at `path` as the user asked (dialog, drop, command line): while chosen
    // files or new names are not yet written, asks first ("No", the default, keeps everything).
    void OpenAnotherImage(const QString& path);
    // Every control's enabled state, from the output mode, the options, the V_KLay path and
    // the opened image; called after each change of any of them.
    void ApplyControlStates();
    void SearchMelodies(ByteView image);
    void SearchMelodiesEEP(ByteView image);
    void ComboBox1Change();
    void OpenMelodyClick(QObject* Sender);
    void ChooseSlotFile(int n);
    void Button1Click();
    // "Don't change melody name" ticked by the user: the selected standard melody gets back
    // the caption the image stores, so no new name is written for it.
    void CheckBox3Click();
    // Called when an in-place caption edit of `Item` is confirmed; `S` is the typed text and
    // becomes the text the caption takes.
    void ListView1Edited(QTreeWidgetItem* Item, QString& S);
    // How a typed melody name is written when cleaning changes it, and why; empty when it is
    // written as typed.
    static QString CleanedNameHint(const QString& typed);
    // The patch builder for the selected row and its replacement file `FileName`: true and
    // the ".vkp" path in `result`, or false and the reason. Throws FileError.
    bool MakePatch(const std::string& FileName, Message& result);
    // "Go": a patch run over every slot whose chosen mark is checked.
    void Button3Click();
    // Shows the window centred on its screen, runs the start-up steps and opens `image`
    // (nothing when empty), as the program does when it starts; whatever fails is reported
    // over the window.
    void Start(const QString& image);
    // The slot list's context menu at `pos` (viewport coordinates): on a found row, "Save
    // content as...", enabled when the slot holds content (else its tooltip says why not).
    void ListView1ContextPopup(const QPoint& pos);
    // That menu for row `row`, not shown; owned by the window.
    QMenu* SlotMenu(int row);
    // "Save content as...": a save-file dialog with the kind's filter and the caption (blanks
    // as "_") as the proposed name, then the slot's stored content saved there, read back.
    void SaveContentClick(int row);
    // The hidden free-space probe; its button's caption shows the result.
    void Button5Click();
    // The hidden relocation of sector A into Edit1 + ".relopated.bin"; its button's caption
    // shows the lowest old block address.
    void Button6Click();

    // --- Helpers ----------------------------------------------------------------------------
    // Records `path` as slot n's replacement file: "Filename" cell, FileName, chosen mark,
    // and the cell's marks (CheckSlotFile).
    void SetSlotFile(int n, const QString& path);
    // Records a file the user chose for slot n and warns when the slot cannot take all of it,
    // or when a picture cannot be decoded.
    void AssignSlotFile(int n, const QString& path);
    // Marks slot n's "Filename" cell: a warning icon and tooltip when the file is larger than
    // the slot of the opened image, a preview tooltip for a picture.
    void CheckSlotFile(int n);
    // Bytes of slot n's chosen file that the slot of the opened image cannot hold (0 without
    // an image, a file or a found slot).
    std::uint64_t CutOfSlot(int n) const;
    // The engine's description of that cut ("Classic 2": big.si3 has 5000 bytes, ...).
    Message CutDescriptionOf(int n) const;
    // A melody, picture or animation file dropped at `pos` (window coordinates): assigned to
    // the row under it when its kind matches, refused with a message otherwise. False when the
    // file is not one of those kinds.
    bool DropSlotFile(const QString& path, QPoint pos);
    // A ".vkp" file (any letter case) dropped on the window: the patch workbench for the
    // opened image, or "Open an image first". False when the file is not a patch.
    bool DropPatchFile(const QString& path);
    // The patch workbench: the opened image read afresh, the patch at `path` judged against it,
    // one dialog, and a copy with the patch applied or reverted written where the user says.
    // The opened image itself is never written.
    void PatchWorkbench(const QString& path);
    // Runs `handler`: an input/output error, or any other failure, is shown in the general
    // error report and the window keeps running.
    void Guard(const std::function<void()>& handler);
    // Index of the selected row, -1 when none.
    int SelectedRow() const;
    void SelectRow(int row);
    // The row's small image: -1 none, 0 found, 1 not found.
    int SmallImage(int row) const;
    void SetSmallImage(int row, int image);
    // Caption of row `row`.
    QString Caption(int row) const;
    // The caption row `row` shows for the opened image: its stored name or its stock caption.
    QString KeptCaption(int row) const;
    // True when the image stores a name for row `row`.
    bool NameStored(int row) const;
    // True when row `row` shows a new name that a run would write.
    bool PendingRename(int row) const;

  protected:
    bool event(QEvent* e) override;
    // The slot list never scrolls: its rows, marks and "..." buttons stay level.
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    // --- Process-wide values of the tool --------------------------------------------------
    SlotTable Melodies{};
    ImageBuffer Buffer;
    ImageKind Kind = ImageKind::FullFlash;
    Bytes WorkingImage;         // copy of the opened file; the patch builder edits it
    std::string PatchBaseName;  // base name of the single patch of a run
    std::string PatchedImagePath;
    std::string LastPatchPath;  // last ".vkp" written
    bool PatchApplied = false;
    // What the window knows of each row's slot in the opened image beyond the slot table.
    struct RowState {
        // The melody name the image stores at the row's NameAddress, when those bytes are a
        // name (standard melodies of a full flash only).
        std::optional<std::string> storedName;
        // Whether the slot's block may be written or saved: a damaged block table can point
        // it at another block's bytes. An unsound row shows a mark with the reason, and every
        // choice of a file for it, save and run that includes it is refused.
        SlotSoundness soundness;
    };
    std::array<RowState, kSlotCount> Rows{};

    Dialogs& dialogs;
    Platform& platform;
    FileDialogRequest OpenDialog1;
    FileDialogRequest OpenDialog2;
    FileDialogRequest OpenDialog3;

    void BuildLeftColumn();
    void BuildFilesGroup();
    void BuildInformationGroup();
    void BuildActionGroup();
    void BuildRightColumn();
    void BuildSlotList();
    void BuildSlotControls();
    void BuildVKlayGroup();
    void BuildHiddenControls();
    void AlignSlotControls();
    // Connects `signal` of `sender` to `handler`, run under the one guard.
    template <typename Sender, typename Signal, typename Handler>
    void On(Sender* sender, Signal signal, Handler handler);
    // The question "Go" asks first when chosen files would be cut; empty when none would be.
    QString CutQuestion() const;
    // Why "Go" writes nothing at all: a patch name that leaves its folder, or two rows that
    // would write one ".vkp" file. Empty when the run may go on.
    QString RunRefusal();
    // The run with the slot list locked; false when the user stopped it at the question about
    // the patched image.
    bool PatchRun();
    // Opens the image of Edit1 again after a run wrote over it, keeping chosen files and the
    // new names that were not written.
    void OpenAgainKeepingChoices();
    // The closing box's line for a row whose new name this run does not write; empty for
    // every other row.
    // The closing line about a new caption not written, or nothing.
    std::optional<Message> UnwrittenName(int row) const;
    // Why a standard melody's name cannot change in the open image.
    static QString NoNameText();
    // True when the selected row's name may change in the opened image.
    bool NameEditable(int row) const;
    void ApplyNameControls();
    void ApplyRows(const SlotRows& rows);
    // Captions of the standard rows from the image's stored names, and whether each may be
    // edited in place.
    void ApplyStoredNames(ByteView image);
    void ApplySoundness(ByteView image);
    // The refusal for a row whose block is unsound, or an empty text.
    QString UnsoundRefusal(int row) const;
    void ShowStoredPictures(ByteView image);
    // A folder kept across launches for one kind of file ("image", "melody", ...).
    QString KeptFolder(const QString& kind) const;
    void KeepFolder(const QString& kind, const QString& chosenFile);
    // Asks for the file a workbench copy goes to (NAME__TAG.EXT beside the image proposed) and
    // writes `result` there; false when the user cancelled.
    bool SaveWorkbenchCopy(const ApplyResult& result, const QString& imagePath,
                           const QString& patchPath, const QString& title, const QString& tag);

    // True when the opened file no longer holds what was read when it was opened: the user is
    // told and may open it again; nothing has been written.
    bool ImageChangedRefusal();
    // True while chosen files or new names wait to be written by a run.
    bool UnwrittenChoices() const;
    // Size of slot n's chosen file, when an image is open, the slot was found and the file is
    // a regular file.
    std::optional<std::uint64_t> ChosenFileSize(int n) const;
    // True when row `row` of the opened image shows a standard melody whose name cannot change.
    bool CaptionFixed(int row) const;
    // Shows row `row`'s caption hint: the name as it will be written when cleaning changed
    // what was typed (`typed`), with the reason.
    void ShowCleanedName(int row, const QString& typed);

    bool started_ = false;
    bool imageOpen_ = false;
    // Only ".eep" files are open: V_KLay mode is not offered.
    bool eepOnly_ = false;
    // Files chosen or names given since the last run that wrote anything.
    bool choicesChanged_ = false;
};

}  // namespace carillon::ui

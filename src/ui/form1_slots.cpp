// SPDX-License-Identifier: GPL-3.0-or-later
// Slot files and names: choosing a file for a slot, checking it against the slot of the open
// image (cuts, picture previews), files dropped on rows, and the names the image stores.
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>

#include "core/file_io.h"
#include "core/output_commit.h"
#include "core/product.h"
#include "patch/patch_request.h"
#include "patch/patch_run.h"
#include "patch/slot_export.h"
#include "ui/form1.h"
#include "ui/slot_list.h"
#include "ui/translation.h"

namespace carillon::ui {

namespace {

// The kind of file a slot takes, which keeps its own last folder.
QString FolderKind(int n) {
    switch (SlotDef(n).kind) {
        case SlotKind::UserPicture:
            return QStringLiteral("picture");
        case SlotKind::UserAnimation:
            return QStringLiteral("animation");
        default:
            return QStringLiteral("melody");
    }
}

}  // namespace

// Why a standard melody's name cannot change in this image.
QString TForm1::NoNameText() {
    return tr(
        "The image holds no melody name for this slot (another firmware or damaged bytes), "
        "so its name is not changed.");
}

void TForm1::ApplyStoredNames(ByteView image) {
    for (int row = 0; row < kSlotCount; ++row) {
        const auto index = static_cast<std::size_t>(row);
        Rows[index].storedName = StoredName(image, Kind, row, Melodies[index]);
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        if (IsStandardMelodyRow(row)) {
            item->setText(kColumnCaption, KeptCaption(row));
        }
        // Only a caption whose name may change opens an editor when clicked.
        item->setFlags(NameEditable(row) ? item->flags() | Qt::ItemIsEditable
                                         : item->flags() & ~Qt::ItemIsEditable);
        item->setToolTip(kColumnCaption, CaptionFixed(row) ? NoNameText() : QString());
    }
}

// A found slot whose block is damaged shows a warning mark in place of its found picture, with
// the reason in the tooltips of its caption and its "Address" cell.
void TForm1::ApplySoundness(ByteView image) {
    const SoundnessTable table = CheckSlotSoundness(image, Kind, Melodies);
    for (int row = 0; row < kSlotCount; ++row) {
        const auto index = static_cast<std::size_t>(row);
        Rows[index].soundness = table[index];
        SetSmallImage(row, SmallImage(row));
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        const QString refusal = UnsoundRefusal(row);
        item->setToolTip(kColumnAddress, refusal);
        if (!refusal.isEmpty()) {
            item->setToolTip(kColumnCaption, refusal);
        }
    }
}

QString TForm1::UnsoundRefusal(int row) const {
    const SlotSoundness& soundness = Rows[static_cast<std::size_t>(row)].soundness;
    if (soundness.sound()) {
        return {};
    }
    return tr("%1\nNothing is written into this slot or saved from it.")
        .arg(Translated(UnsoundSlotMessage(SlotOfRow(row), soundness)));
}

// The "Size" cell of a found picture slot previews the picture the image holds now.
void TForm1::ShowStoredPictures(ByteView image) {
    for (int row = 0; row < kSlotCount; ++row) {
        const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        item->setToolTip(kColumnSize, QString());
        if (SlotDef(SlotOfRow(row)).kind != SlotKind::UserPicture || slot.Address == kNotFound) {
            continue;
        }
        const std::int64_t start = FlashOffsetToImageOffset(Kind, slot.Address);
        const std::int64_t size = std::min(slot.ContentSize, slot.Capacity);
        if (!InImage(start, size, image.size())) {
            continue;
        }
        const QByteArray bytes(reinterpret_cast<const char*>(image.data() + start),
                               static_cast<qsizetype>(size));
        const QImage picture = QImage::fromData(bytes);
        if (!picture.isNull()) {
            item->setToolTip(kColumnSize, PictureTooltip(picture, tr("The picture in the image "
                                                                     "now")));
        }
    }
}

// --- Slot files and names ---------------------------------------------------------------------

void TForm1::OpenMelodyClick(QObject* Sender) {
    const int n = Sender->property("Tag").toInt();
    if (n >= 1 && n <= kSlotCount) {
        ChooseSlotFile(n);
    }
}

void TForm1::ChooseSlotFile(int n) {
    if (const QString refusal = UnsoundRefusal(RowOfSlot(n)); !refusal.isEmpty()) {
        dialogs.ShowWarning(refusal);
        return;
    }
    const QString kind = FolderKind(n);
    OpenDialog2.fileName.clear();
    OpenDialog2.filter = Translated(SlotFileFilterMessage(n));
    OpenDialog2.folder = KeptFolder(kind);
    if (const auto chosen = dialogs.OpenFile(OpenDialog2)) {
        AssignSlotFile(n, *chosen);
    }
}

Message TForm1::CutDescriptionOf(int n) const {
    const int row = RowOfSlot(n);
    const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
    return CutDescription(LocalPath(Caption(row)), FinalPathComponent(slot.FileName), slot.Capacity,
                          ChosenFileSize(n).value_or(0));
}

void TForm1::AssignSlotFile(int n, const QString& path) {
    // A FIFO or a device could block the run that reads it, and is no content to write.
    if (const QFileInfo chosen(path); chosen.exists() && !chosen.isFile()) {
        dialogs.ShowError(tr("\"%1\" is not a regular file; nothing was chosen for \"%2\".")
                              .arg(path, Caption(RowOfSlot(n))));
        return;
    }
    SetSlotFile(n, path);
    KeepFolder(FolderKind(n), path);
    const QString name = QFileInfo(path).fileName();
    if (CutOfSlot(n) > 0) {
        dialogs.ShowWarning(Translated(CutWarningText(CutDescriptionOf(n))));
    }
    // Only a regular file is decoded: reading a pipe or a device could block the window.
    if (SlotDef(n).kind == SlotKind::UserPicture &&
        (!QFileInfo(path).isFile() || QImage(path).isNull())) {
        dialogs.ShowWarning(tr("The file \"%1\" is not a picture this window can show. It is "
                               "written to the phone as it is.")
                                .arg(name));
    }
}

std::optional<std::uint64_t> TForm1::ChosenFileSize(int n) const {
    const TMelody& slot = Melodies[static_cast<std::size_t>(RowOfSlot(n))];
    if (!imageOpen_ || slot.Address == kNotFound || slot.FileName.empty()) {
        return std::nullopt;
    }
    const QFileInfo file(FromLocalPath(slot.FileName));
    if (!file.isFile()) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(file.size());
}

std::uint64_t TForm1::CutOfSlot(int n) const {
    const std::optional<std::uint64_t> size = ChosenFileSize(n);
    return size ? CutBytes(Melodies[static_cast<std::size_t>(RowOfSlot(n))].Capacity, *size) : 0;
}

void TForm1::CheckSlotFile(int n) {
    const int row = RowOfSlot(n);
    const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (slot.FileName.empty() || item->text(kColumnFilename).isEmpty()) {
        item->setIcon(kColumnFilename, QIcon());
        item->setToolTip(kColumnFilename, QString());
        return;
    }
    const QString path = FromLocalPath(slot.FileName);
    QString tip = path;
    const std::uint64_t cut = CutOfSlot(n);
    if (cut > 0) {
        tip = path + QLatin1Char('\n') + Translated(CutDescriptionOf(n));
    }
    item->setIcon(kColumnFilename,
                  cut > 0 ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    if (SlotDef(n).kind == SlotKind::UserPicture && QFileInfo(path).isFile()) {
        const QImage picture(path);
        QFile file(path);
        std::optional<BmpHeader> header;
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray head = file.read(64);
            header = ReadBmpHeader(ByteView(reinterpret_cast<const std::uint8_t*>(head.constData()),
                                            static_cast<std::size_t>(head.size())));
        }
        if (!picture.isNull()) {
            const QString facts = header ? tr("%1 x %2 pixels, %3 bits per pixel")
                                               .arg(header->width)
                                               .arg(header->height)
                                               .arg(header->bitsPerPixel)
                                         : QString();
            tip = PictureTooltip(picture, facts.isEmpty() ? tip : facts + QLatin1Char('\n') + tip);
        }
    }
    item->setToolTip(kColumnFilename, tip);
}

void TForm1::SetSlotFile(int n, const QString& path) {
    const std::string local = LocalPath(path);
    ListView1->topLevelItem(RowOfSlot(n))
        ->setText(kColumnFilename, FromLocalPath(FinalPathComponent(local)));
    Melodies[static_cast<std::size_t>(RowOfSlot(n))].FileName = local;
    QCheckBox* mark = CheckBoxM[static_cast<std::size_t>(RowOfSlot(n))];
    mark->setEnabled(true);
    mark->setVisible(true);
    mark->setChecked(true);
    choicesChanged_ = true;
    CheckSlotFile(n);
}

void TForm1::Button1Click() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    ListView1->setFocus();
    ListView1->editItem(ListView1->topLevelItem(row), kColumnCaption);
}

void TForm1::ListView1Edited(QTreeWidgetItem* Item, QString& S) {
    const int row = ListView1->indexOfTopLevelItem(Item);
    // User slots, and melodies whose image stores no name, keep their captions.
    // The rule follows the selected row (none counts as row -1, a standard one) and the row.
    const int selected = SelectedRow();
    const QString before = Item ? Item->text(kColumnCaption) : QString();
    if (!IsStandardMelodyRow(row) || (selected >= 0 && !IsStandardMelodyRow(selected)) ||
        CaptionFixed(row)) {
        S = before;
        return;
    }
    const QString typed = S;
    const std::optional<std::string> name = NewMelodyName(typed.toStdString());
    if (!name) {  // the phone would keep no name, and the slot could not be renamed again
        S = before;
        dialogs.ShowWarning(tr("A melody name needs at least one character that is not a blank; "
                               "\"%1\" keeps its name.")
                                .arg(before));
        return;
    }
    S = QString::fromStdString(*name);
    ShowCleanedName(row, typed);
    if (S != before) {
        choicesChanged_ = true;
    }
    // A new name given after "Don't change melody name" was ticked is meant to be written.
    if (row == SelectedRow() && CheckBox3->isEnabled() && S != KeptCaption(row)) {
        CheckBox3->setChecked(false);
    }
    // The per-slot patch name shown follows the caption it is made from.
    if (row == SelectedRow() && !CheckBox1->isChecked()) {
        Edit5->setText(FromLocalPath(CaptionFileName(LocalPath(S))));
    }
}

QString TForm1::CleanedNameHint(const QString& typed) {
    const QString written = QString::fromStdString(CleanMelodyName(typed.toStdString()));
    if (written == typed) {
        return {};
    }
    return tr("Written to the phone as \"%1\": a phone's melody name holds at most 11 of the "
              "letters A-Z and a-z, the digits, _-^!#()[] and the blank; every other character "
              "becomes \"_\".")
        .arg(written);
}

void TForm1::ShowCleanedName(int row, const QString& typed) {
    ListView1->topLevelItem(row)->setToolTip(kColumnCaption, CleanedNameHint(typed));
}

void TForm1::CheckBox3Click() {
    const int row = SelectedRow();
    if (!CheckBox3->isChecked() || row < 0 || !NameEditable(row)) {
        return;
    }
    ListView1->topLevelItem(row)->setText(kColumnCaption, KeptCaption(row));
    if (!CheckBox1->isChecked()) {  // the per-slot patch name follows the caption
        Edit5->setText(FromLocalPath(CaptionFileName(LocalPath(Caption(row)))));
    }
}

bool TForm1::DropSlotFile(const QString& path, QPoint pos) {
    const QString suffix = QLatin1Char('.') + QFileInfo(path).suffix().toLower();
    int kindSlot = 0;  // a slot whose files have this extension
    for (int n = 1; n <= kSlotCount && kindSlot == 0; ++n) {
        if (suffix == Text(SlotDef(n).fileExtension)) {
            kindSlot = n;
        }
    }
    if (kindSlot == 0) {
        return false;
    }
    const QPoint at = ListView1->viewport()->mapFrom(this, pos);
    QTreeWidgetItem* item =
        ListView1->viewport()->rect().contains(at) ? ListView1->itemAt(at) : nullptr;
    const int row = item ? ListView1->indexOfTopLevelItem(item) : -1;
    const QString name = QFileInfo(path).fileName();
    if (row < 0) {
        dialogs.ShowMessage(Text(kApplicationTitle),
                            tr("Drop \"%1\" on the row of the slot it is for.").arg(name));
    } else if (Melodies[static_cast<std::size_t>(row)].Address == kNotFound ||
               !ButtonM[static_cast<std::size_t>(row)]->isEnabled()) {
        dialogs.ShowMessage(
            Text(kApplicationTitle),
            tr("\"%1\" was not found in the image: no file can go there.").arg(Caption(row)));
    } else if (const QString refusal = UnsoundRefusal(row); !refusal.isEmpty()) {
        dialogs.ShowWarning(refusal);
    } else if (Text(SlotDef(SlotOfRow(row)).fileExtension) != suffix) {
        dialogs.ShowMessage(Text(kApplicationTitle),
                            tr("\"%1\" does not take \"%2\" files.").arg(Caption(row), suffix));
    } else {
        AssignSlotFile(SlotOfRow(row), path);
    }
    return true;
}

// The slot list's context menu: "Save content as..." saves what a found slot holds, so the
// user keeps it before replacing it.
QMenu* TForm1::SlotMenu(int row) {
    auto* menu = new QMenu(this);
    QAction* save = menu->addAction(tr("Save content as..."));
    save->setObjectName(QStringLiteral("SaveContent"));
    const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
    const ExportPlan plan = PlanSlotExport(slot, Kind, WorkingImage.size(),
                                           Rows[static_cast<std::size_t>(row)].soundness);
    save->setEnabled(plan.skip == ExportSkip::None);
    if (plan.skip != ExportSkip::None) {
        save->setToolTip(Translated(plan.reason));
    }
    connect(save, &QAction::triggered, this,
            [this, row] { Guard([this, row] { SaveContentClick(row); }); });
    return menu;
}

void TForm1::ListView1ContextPopup(const QPoint& pos) {
    QTreeWidgetItem* item = ListView1->itemAt(pos);
    if (item == nullptr) {
        return;
    }
    const int row = ListView1->indexOfTopLevelItem(item);
    if (row < 0 || Melodies[static_cast<std::size_t>(row)].Address == kNotFound) {
        return;
    }
    QMenu* menu = SlotMenu(row);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(ListView1->viewport()->mapToGlobal(pos));
}

void TForm1::SaveContentClick(int row) {
    const int n = SlotOfRow(row);
    const TMelody& slot = Melodies[static_cast<std::size_t>(row)];
    if (slot.Address == kNotFound) {
        return;
    }
    FileDialogRequest dialog;
    dialog.title = tr("Save content as");
    dialog.filter = Translated(SlotFileFilterMessage(n));
    dialog.fileName = Text(ExportFileName(n, Caption(row).toStdString()));
    dialog.folder = KeptFolder(FolderKind(n));
    const std::optional<QString> chosen = dialogs.SaveFile(dialog);
    if (!chosen) {
        return;
    }
    // The user confirmed the name in the dialog; the opened image is never replaced.
    const std::string image = LocalPath(Edit1->text());
    const ExportPlan plan =
        SaveSlotContent(image, Kind, slot, Rows[static_cast<std::size_t>(row)].soundness,
                        LocalPath(*chosen), JobOutputRules(Existing::Replace, {image}));
    if (plan.skip != ExportSkip::None) {
        dialogs.ShowError(
            tr("Nothing saved from \"%1\": %2").arg(Caption(row), Translated(plan.reason)));
        return;
    }
    KeepFolder(FolderKind(n), *chosen);
}

}  // namespace carillon::ui

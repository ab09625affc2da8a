// SPDX-License-Identifier: GPL-3.0-or-later
// The handlers of the window: start-up, the option rules, the row selection, opening an
// image, window events (activation, drops) and the one guard.
#include "ui/form1.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

#include "core/file_check.h"
#include "core/file_io.h"
#include "core/product.h"
#include "eeprom/relocation.h"
#include "patch/patch_request.h"
#include "patch/patch_run.h"
#include "platform/vklay.h"
#include "ui/slot_list.h"
#include "ui/translation.h"

namespace carillon::ui {

namespace {

// The V_KLay path the user chose by hand with its "...".
constexpr const char* kKeptVKlayPath = "vklay/path";

// Removes leading and trailing blanks and control characters.
QString TrimControl(const QString& text) {
    auto removable = [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && removable(text[begin])) {
        ++begin;
    }
    while (end > begin && removable(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

}  // namespace

// --- Start-up and options -------------------------------------------------------------------

void TForm1::FormActivate() {
    if (started_) {
        return;
    }
    started_ = true;
    // The registry wins where it names V_KLay; a path the user chose by hand is kept for
    // where it does not.
    const std::optional<QString> command = platform.VKlayCommand();
    const QString kept = platform.Setting(QString::fromLatin1(kKeptVKlayPath));
    Edit8->setText(
        command || kept.isEmpty() ? platform.LocalProgramPath(ProgramFromCommand(command)) : kept);
    InitialiseSlotTable(Melodies);
    SelectRow(0);
    for (int row = 0; row < kSlotCount; ++row) {  // four cells after the caption
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        for (int c = 1; c <= kColumnFilename; ++c) {
            item->setText(c, item->text(c));
        }
    }
}

void TForm1::Edit8Change() {
    const bool exists = platform.FileExists(Edit8->text());
    Label23->setText(exists ? QString() : tr("not found"));
    ApplyControlStates();  // "Auto run V_KLay" is cleared when it cannot run
}

// One rule for every option control, whatever changed last: V_KLay mode offers the patch name
// and "Use single patch"; the name only for a single patch; "Auto run V_KLay" only for a single
// patch with V_KLay found (and cleared while it is not offered); "create backup" only in direct
// mode; V_KLay mode not at all while an ".eep" file is open.
void TForm1::ApplyControlStates() {
    const bool vklay = RadioButton2->isChecked();
    const bool single = CheckBox1->isChecked();
    RadioButton2->setEnabled(!eepOnly_);
    CheckBox5->setEnabled(!vklay);
    CheckBox1->setEnabled(vklay);
    for (QWidget* w : std::initializer_list<QWidget*>{Label5, Edit5, Label21}) {
        w->setEnabled(vklay && single);
    }
    const bool autoRun = vklay && single && platform.FileExists(Edit8->text());
    CheckBox4->setEnabled(autoRun);
    if (!autoRun) {
        CheckBox4->setChecked(false);
    }
    ApplyNameControls();
}

void TForm1::Button4Click() {
    OpenDialog3.fileName = Edit8->text();
    OpenDialog3.folder = KeptFolder(QStringLiteral("vklay"));
    if (const auto chosen = dialogs.OpenFile(OpenDialog3)) {
        Edit8->setText(*chosen);
        platform.SetSetting(QString::fromLatin1(kKeptVKlayPath), *chosen);
        KeepFolder(QStringLiteral("vklay"), *chosen);
    }
}

void TForm1::CheckBox1Click() {
    const bool single = CheckBox1->isChecked();
    CheckBox4->setChecked(platform.FileExists(Edit8->text()) && single);
    if (single) {
        Edit5->setText(QStringLiteral("All_Patches"));
    } else {  // per-slot files are named after their rows; the field shows the selected one's
        const int row = SelectedRow();
        Edit5->setText(row >= 0 ? FromLocalPath(CaptionFileName(LocalPath(Caption(row))))
                                : QString());
    }
    ApplyControlStates();
}

void TForm1::RadioButton1Click() {
    CheckBox4->setChecked(false);
    ApplyControlStates();
}

void TForm1::RadioButton2Click() {
    ApplyControlStates();
}

void TForm1::Timer1Timer() {
    Button3->setEnabled(!TrimControl(Edit1->text()).isEmpty() &&
                        !TrimControl(Edit5->text()).isEmpty());
}

// --- Slot list --------------------------------------------------------------------------------

int TForm1::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.constFirst());
}

void TForm1::SelectRow(int row) {
    if (row < 0 || row >= kSlotCount) {
        ListView1->clearSelection();
        return;
    }
    ListView1->setCurrentItem(ListView1->topLevelItem(row));
}

QString TForm1::Caption(int row) const {
    return ListView1->topLevelItem(row)->text(kColumnCaption);
}

int TForm1::SmallImage(int row) const {
    return ListView1->topLevelItem(row)->data(kColumnCaption, kSmallImageRole).toInt();
}

// The caption's icon shows the kind picture and, right of it, the found / not-found picture.
void TForm1::SetSmallImage(int row, int image) {
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    const auto kind = static_cast<SlotKind>(item->data(kColumnCaption, kKindRole).toInt());
    QPixmap icon(2 * kIconSize + kIconGap, kIconSize);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.drawPixmap(0, 0, KindPicture(kind));
        if (!Rows[static_cast<std::size_t>(row)].soundness.sound()) {
            painter.drawPixmap(
                kIconSize + kIconGap, 0,
                style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(kIconSize, kIconSize));
        } else if (image >= 0) {
            painter.drawPixmap(kIconSize + kIconGap, 0, SmallPicture(image));
        }
    }
    item->setIcon(kColumnCaption, QIcon(icon));
    item->setData(kColumnCaption, kSmallImageRole, image);
}

void TForm1::ListView1SelectItem() {
    const int row = SelectedRow();
    if (!CheckBox1->isChecked()) {
        Edit5->setText(row >= 0 ? FromLocalPath(CaptionFileName(LocalPath(Caption(row))))
                                : QString());
    }
    ApplyNameControls();
    ComboBox1Change();
}

bool TForm1::NameStored(int row) const {
    return row >= 0 && row < kSlotCount && Rows[static_cast<std::size_t>(row)].storedName;
}

QString TForm1::KeptCaption(int row) const {
    return Text(ShownCaption(row, Rows[static_cast<std::size_t>(row)].storedName));
}

bool TForm1::PendingRename(int row) const {
    return imageOpen_ && NameWritable(Kind, row, NameStored(row)) &&
           Caption(row) != KeptCaption(row);
}

// Names can change only for a standard-melody row of a full flash (no selection counts as
// row -1), and, once an image is open, only where it stores a name to replace.
bool TForm1::NameEditable(int row) const {
    if (row < 0) {
        return Kind == ImageKind::FullFlash;
    }
    return NameWritable(Kind, row, !imageOpen_ || NameStored(row));
}

bool TForm1::CaptionFixed(int row) const {
    return row >= 0 && row < kSlotCount && imageOpen_ && NameFixed(Kind, row, NameStored(row));
}

void TForm1::ApplyNameControls() {
    const int row = SelectedRow();
    const bool names = NameEditable(row);
    CheckBox3->setEnabled(names);
    CheckBox3->setChecked(!names);
    Button1->setEnabled(row >= 0 && names);
    Button1->setToolTip(CaptionFixed(row) ? NoNameText() : QString());
}

void TForm1::ComboBox1Change() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const SelectedSlotDisplay display = ShowSelectedSlot(Melodies[static_cast<std::size_t>(row)]);
    Edit6->setText(Text(display.start));
    Edit7->setText(Text(display.end));
    Edit6->setEnabled(display.enabled);
    Edit7->setEnabled(display.enabled);
}

// --- Opening an image -------------------------------------------------------------------------

void TForm1::Button2Click() {
    OpenDialog1.folder = KeptFolder(QStringLiteral("image"));
    if (const auto chosen = dialogs.OpenFile(OpenDialog1)) {
        KeepFolder(QStringLiteral("image"), *chosen);
        OpenAnotherImage(*chosen);
    }
}

bool TForm1::UnwrittenChoices() const {
    if (!choicesChanged_) {
        return false;
    }
    for (int row = 0; row < kSlotCount; ++row) {
        if (CheckBoxM[static_cast<std::size_t>(row)]->isChecked() || PendingRename(row)) {
            return true;
        }
    }
    return false;
}

void TForm1::OpenAnotherImage(const QString& path) {
    if (imageOpen_ && UnwrittenChoices() &&
        !dialogs.Confirm(tr("Files chosen or new names given for %1 are not written yet.\n"
                            "Open %2 instead? Names given are lost, and files chosen for slots "
                            "that image lacks.")
                             .arg(Edit1->text(), path))) {
        return;
    }
    OpenImage(path);
}

bool TForm1::ImageChangedRefusal() {
    const QString path = Edit1->text();
    if (FileStillHolds(LocalPath(path), Buffer.Image())) {
        return false;
    }
    if (dialogs.Confirm(tr("%1 changed since it was opened; open it again.\nNothing was "
                           "written. Open it again now? Chosen files and new names stay.")
                            .arg(path))) {
        OpenAgainKeepingChoices();
    }
    return true;
}

void TForm1::OpenImage(const QString& path) {
    const std::string local = LocalPath(path);
    Buffer.Load(local);  // throws before anything of the window changes
    const ByteView image = Buffer.Image();
    imageOpen_ = true;
    KeepFolder(QStringLiteral("image"), path);
    Edit1->setText(path);
    WorkingImage.assign(image.begin(), image.end());
    const ImageInfo info = Identify(local, image);
    Kind = info.kind;
    eepOnly_ = false;
    Label12->setText(Text(EscapeControlBytes(info.phone)));
    Label13->setText(Text(info.version));
    Label2->setText(Translated(KindMessage(Kind)));
    if (Kind == ImageKind::EepromEep && EndsWithEep(local)) {
        eepOnly_ = true;
        RadioButton1->setChecked(true);
    }
    if (Kind == ImageKind::EepromEep) {
        SearchMelodiesEEP(image);
    } else {
        SearchMelodies(image);
    }
    ApplyStoredNames(image);
    ApplySoundness(image);
    ShowStoredPictures(image);
    ApplyControlStates();
    for (int n = 1; n <= kSlotCount; ++n) {  // chosen files against the new capacities
        CheckSlotFile(n);
    }
    if (std::none_of(Melodies.begin(), Melodies.end(),
                     [](const TMelody& m) { return m.Address != kNotFound; })) {
        dialogs.ShowMessage(Text(kApplicationTitle),
                            tr("No content slots were found in %1: it does not look like a full "
                               "flash or EEPROM image of an A52.")
                                .arg(path));
    }
}

void TForm1::SearchMelodies(ByteView image) {
    ApplyRows(SearchFullFlash(image, Kind, Melodies));
    ComboBox1Change();
}

void TForm1::SearchMelodiesEEP(ByteView image) {
    ApplyRows(SearchEep(image, Melodies));
    ComboBox1Change();
}

void TForm1::ApplyRows(const SlotRows& rows) {
    for (int row = 0; row < kSlotCount; ++row) {
        const SlotRow& result = rows[static_cast<std::size_t>(row)];
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        QCheckBox* mark = CheckBoxM[static_cast<std::size_t>(row)];
        if (result.dropChoice) {
            item->setText(kColumnFilename, QString());
            mark->setEnabled(false);
            mark->setVisible(false);
            mark->setChecked(false);
        }
        SetSmallImage(row, result.found ? 0 : 1);
        item->setText(1, Translated(result.size));
        item->setText(2, Translated(result.max));
        item->setText(3, Translated(result.address));
        ButtonM[static_cast<std::size_t>(row)]->setEnabled(result.found);
    }
}

// --- Start --------------------------------------------------------------------------------

void TForm1::Start(const QString& image) {
    // Placed before it is shown, so that a message about the image opens over the window and
    // not over where the window manager has yet to put it.
    if (const QScreen* shown = screen()) {
        move(shown->availableGeometry().center() - rect().center());
    }
    show();
    // Lets the window system place the window (a "-geometry" given to the program, the window
    // manager's own choice) before a box about the image is centred on it.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Guard([this] { FormActivate(); });
    if (!image.isEmpty()) {
        Guard([&] { OpenAnotherImage(QFileInfo(image).absoluteFilePath()); });
    }
}

// --- Window events ----------------------------------------------------------------------------

void TForm1::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const FileError& e) {  // "PATH: TEXT", the path and the system's text kept
        dialogs.ReportError(Translated(e.message()));
    } catch (const RelocationError& e) {
        dialogs.ReportError(Translated(e.message()));
    } catch (const std::exception& e) {
        dialogs.ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        dialogs.ReportError(tr("An unexpected error ended this action."));
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ListView1->viewport() && e->type() == QEvent::Wheel) {
        return true;  // all 18 rows are always shown: there is nothing to scroll to
    }
    return QWidget::eventFilter(watched, e);
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        Guard([this] { FormActivate(); });
    }
    return QWidget::event(e);
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile() &&
        QFileInfo(urls.constFirst().toLocalFile()).isFile()) {
        e->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile()) {
        e->acceptProposedAction();
        const QString path = QFileInfo(urls.constFirst().toLocalFile()).absoluteFilePath();
        const QPoint pos = e->position().toPoint();
        Guard([&] {
            FormActivate();
            if (DropPatchFile(path) || DropSlotFile(path, pos)) {
                return;
            }
            if (HasImageExtension(LocalPath(path))) {
                OpenAnotherImage(path);
                return;
            }
            // Anything else would be read as an image and end the session for nothing.
            dialogs.ShowMessage(Text(kApplicationTitle),
                                tr("\"%1\" was not opened: drop an image (.fls, .bin, .eep), a "
                                   "melody (.si3), picture (.bmp) or animation (.bmx) on its "
                                   "row, or a patch (.vkp).")
                                    .arg(QFileInfo(path).fileName()));
        });
    }
}

QString TForm1::KeptFolder(const QString& kind) const {
    return platform.Setting(QStringLiteral("folders/") + kind);
}

void TForm1::KeepFolder(const QString& kind, const QString& chosenFile) {
    platform.SetSetting(QStringLiteral("folders/") + kind, QFileInfo(chosenFile).absolutePath());
}

}  // namespace carillon::ui

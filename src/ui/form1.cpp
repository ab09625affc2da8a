// The handlers of the window: start-up, the option rules, the row selection, opening an
// image, choosing slot files and naming melodies, dropped files.
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
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

#include "core/file_io.h"
#include "core/printable.h"
#include "core/product.h"
#include "patch/patch_request.h"
#include "ui/slot_list.h"
#include "ui/vklay.h"

namespace carillon::ui {

namespace {

// The V_KLay path the user chose by hand with its "...".
constexpr const char* kKeptVKlayPath = "vklay/path";

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

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

// Why a standard melody's name cannot change in this image.
QString NoNameText() {
    return QCoreApplication::translate(
        "TForm1",
        "The image holds no melody name for this slot (another firmware or damaged bytes), "
        "so its name is not changed.");
}

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
    const bool autoRun = exists && CheckBox1->isChecked();
    CheckBox4->setEnabled(autoRun);
    if (!autoRun) {
        CheckBox4->setChecked(false);
    }
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
    Edit5->setEnabled(single);
    const bool autoRun = platform.FileExists(Edit8->text()) && single;
    CheckBox4->setEnabled(autoRun);
    CheckBox4->setChecked(autoRun);
    if (single) {
        Edit5->setText(QStringLiteral("All_Patches"));
    }
}

void TForm1::RadioButton1Click() {
    CheckBox5->setEnabled(true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label5, Edit5, Label21, CheckBox1, CheckBox4}) {
        w->setEnabled(false);
    }
    CheckBox4->setChecked(false);
}

void TForm1::RadioButton2Click() {
    CheckBox5->setEnabled(false);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label5, Edit5, Label21, CheckBox1, CheckBox4}) {
        w->setEnabled(true);
    }
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
        if (image >= 0) {
            painter.drawPixmap(kIconSize + kIconGap, 0, SmallPicture(image));
        }
    }
    item->setIcon(kColumnCaption, QIcon(icon));
    item->setData(kColumnCaption, kSmallImageRole, image);
}

void TForm1::ListView1SelectItem() {
    const int row = SelectedRow();
    QString caption = row >= 0 ? Caption(row) : QString();
    caption.replace(QLatin1Char(' '), QLatin1Char('_'));
    if (!CheckBox1->isChecked()) {
        Edit5->setText(caption);
    }
    ApplyNameControls();
    ComboBox1Change();
}

// Names can change only for a standard-melody row of a full flash (no selection counts as
// row -1), and, once an image is open, only where it stores a name to replace.
bool TForm1::NameEditable(int row) const {
    if (row >= kStandardMelodyCount || Kind != ImageKind::FullFlash) {
        return false;
    }
    return row < 0 || !imageOpen_ || StoredNames[static_cast<std::size_t>(row)].has_value();
}

void TForm1::ApplyNameControls() {
    const int row = SelectedRow();
    const bool names = NameEditable(row);
    CheckBox3->setEnabled(names);
    CheckBox3->setChecked(!names);
    Button1->setEnabled(row >= 0 && names);
    const bool noTable = row >= 0 && NameMayChange(Kind, row) && !names;
    Button1->setToolTip(noTable ? NoNameText() : QString());
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
        OpenImage(*chosen);
    }
}

void TForm1::OpenImage(const QString& path) {
    const std::string local = LocalPath(path);
    Buffer.Load(local);  // throws before anything of the window changes
    const ByteView image = Buffer.Image();
    imageOpen_ = true;
    Edit1->setText(path);
    WorkingImage.assign(image.begin(), image.end());
    const ImageInfo info = Identify(local, image);
    Kind = info.kind;
    RadioButton2->setEnabled(true);
    Label12->setText(Text(PrintableBytes(info.phone)));
    Label13->setText(Text(info.version));
    Label2->setText(Text(KindText(Kind)));
    if (Kind == ImageKind::EepromEep && EndsWithEep(local)) {
        RadioButton1->setChecked(true);
        RadioButton2->setEnabled(false);
    }
    if (Kind == ImageKind::EepromEep) {
        SearchMelodiesEEP(image);
    } else {
        SearchMelodies(image);
    }
    ApplyStoredNames(image);
    ShowStoredPictures(image);
    ApplyNameControls();
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

void TForm1::ApplyStoredNames(ByteView image) {
    for (int row = 0; row < kSlotCount; ++row) {
        const auto index = static_cast<std::size_t>(row);
        StoredNames[index] = StoredName(image, Kind, row, Melodies[index]);
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        if (IsStandardMelodyRow(row)) {
            item->setText(kColumnCaption, StoredNames[index]
                                              ? Text(*StoredNames[index])
                                              : Text(SlotDef(SlotOfRow(row)).caption));
        }
        const bool noTable = NameMayChange(Kind, row) && !StoredNames[index];
        item->setFlags(noTable ? item->flags() & ~Qt::ItemIsEditable
                               : item->flags() | Qt::ItemIsEditable);
        item->setToolTip(kColumnCaption, noTable ? NoNameText() : QString());
    }
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
        item->setText(1, Text(result.size));
        item->setText(2, Text(result.max));
        item->setText(3, Text(result.address));
        ButtonM[static_cast<std::size_t>(row)]->setEnabled(result.found);
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
    const QString kind = FolderKind(n);
    OpenDialog2.fileName.clear();
    OpenDialog2.filter = Text(SlotFileFilter(n));
    OpenDialog2.folder = KeptFolder(kind);
    if (const auto chosen = dialogs.OpenFile(OpenDialog2)) {
        KeepFolder(kind, *chosen);
        AssignSlotFile(n, *chosen);
    }
}

void TForm1::AssignSlotFile(int n, const QString& path) {
    SetSlotFile(n, path);
    const int row = RowOfSlot(n);
    const QString name = QFileInfo(path).fileName();
    if (const std::uint64_t cut = CutOfSlot(n); cut > 0) {
        const auto capacity = static_cast<std::uint64_t>(Melodies[std::size_t(row)].Capacity);
        dialogs.ShowWarning(tr("The file \"%1\" has %2 bytes, but the slot \"%3\" holds %4 "
                               "bytes: the last %5 bytes would be cut.")
                                .arg(name)
                                .arg(capacity + cut)
                                .arg(Caption(row))
                                .arg(capacity)
                                .arg(cut));
    }
    if (SlotDef(n).kind == SlotKind::UserPicture && QImage(path).isNull()) {
        dialogs.ShowWarning(tr("The file \"%1\" is not a picture this window can show. It is "
                               "written to the phone as it is.")
                                .arg(name));
    }
}

std::uint64_t TForm1::CutOfSlot(int n) const {
    const TMelody& slot = Melodies[static_cast<std::size_t>(RowOfSlot(n))];
    if (!imageOpen_ || slot.Address == kNotFound || slot.FileName.empty()) {
        return 0;
    }
    const QFileInfo file(FromLocalPath(slot.FileName));
    if (!file.isFile()) {
        return 0;
    }
    return CutBytes(slot.Capacity, static_cast<std::uint64_t>(file.size()));
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
        tip = tr("%1\n%2 bytes; the slot holds %3: the last %4 bytes would be cut.")
                  .arg(path)
                  .arg(static_cast<std::uint64_t>(slot.Capacity) + cut)
                  .arg(slot.Capacity)
                  .arg(cut);
    }
    item->setIcon(kColumnFilename,
                  cut > 0 ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    if (SlotDef(n).kind == SlotKind::UserPicture) {
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
    const bool noTable = row >= 0 && imageOpen_ && NameMayChange(Kind, row) && !NameEditable(row);
    if (!IsStandardMelodyRow(row) || SelectedRow() >= kStandardMelodyCount || noTable) {
        S = Item ? Item->text(kColumnCaption) : QString();
        return;
    }
    S = QString::fromStdString(CleanMelodyName(S.toStdString()));
}

// --- Window events ----------------------------------------------------------------------------

void TForm1::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {  // FileError: "PATH: TEXT"
        dialogs.ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        dialogs.ReportError(tr("An unexpected error ended this action."));
    }
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
            if (!DropSlotFile(path, pos)) {
                OpenImage(path);
            }
        });
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
    } else if (Text(SlotDef(SlotOfRow(row)).fileExtension) != suffix) {
        dialogs.ShowMessage(Text(kApplicationTitle),
                            tr("\"%1\" does not take \"%2\" files.").arg(Caption(row), suffix));
    } else {
        AssignSlotFile(SlotOfRow(row), path);
    }
    return true;
}

QString TForm1::KeptFolder(const QString& kind) const {
    return platform.Setting(QStringLiteral("folders/") + kind);
}

void TForm1::KeepFolder(const QString& kind, const QString& chosenFile) {
    platform.SetSetting(QStringLiteral("folders/") + kind, QFileInfo(chosenFile).absolutePath());
}

}  // namespace carillon::ui

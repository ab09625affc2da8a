// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven through its controls, with scripted dialogs and a fake platform.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <memory>
#include <stdexcept>

#include "core/hex.h"
#include "fakes.h"
#include "image_builder.h"
#include "ui/form1.h"

using namespace carillon;
using namespace carillon::ui;
using namespace carillon::ui::testing;
namespace fx = carillon::fixtures;

namespace {

constexpr const char* kVKlay = R"(C:\Program Files\Vi-Soft\V_Klay\V_KLay.exe)";

// One window with its fakes and a folder for the files a test writes.
struct Harness {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    std::unique_ptr<TForm1> form;

    explicit Harness(std::optional<QString> registry = std::nullopt, QStringList existing = {}) {
        platform.registryValue = std::move(registry);
        platform.existingFiles = std::move(existing);
        form = std::make_unique<TForm1>(dialogs, platform);
        form->show();
        form->FormActivate();
    }

    QString Write(const QString& name, const Bytes& bytes) {
        const QString path = dir.filePath(name);
        fx::WriteFile(LocalPath(path), bytes);
        return path;
    }
    // Opens `path` through the image "..." button and its dialog.
    void Open(const QString& path) {
        dialogs.fileAnswers.push_back(path);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
    }
    // Chooses `path` for slot n through the slot's "..." button.
    void Choose(int n, std::optional<QString> path) {
        dialogs.fileAnswers.push_back(std::move(path));
        form->ButtonM[static_cast<std::size_t>(n - 1)]->click();
    }
    QString Cell(int row, int column) const {
        return form->ListView1->topLevelItem(row)->text(column);
    }
    QCheckBox* Mark(int n) const { return form->CheckBoxM[static_cast<std::size_t>(n - 1)]; }
    QPushButton* More(int n) const { return form->ButtonM[static_cast<std::size_t>(n - 1)]; }
};

Bytes FlashOf(std::size_t size) {
    Bytes bytes(size, 0xFF);
    bytes[780] = 'A';
    bytes[781] = '5';
    bytes[782] = '2';
    bytes[258] = 0x0B;
    return bytes;
}

}  // namespace

class TestForm1 : public QObject {
    Q_OBJECT

  private slots:
    void windowAndControlsStartAsDescribed();
    void startupFillsTheListAndSelectsTheFirstRow();
    void slotControlsAreLevelWithTheirRows();
    void registryValueGivesTheVKlayPath_data();
    void registryValueGivesTheVKlayPath();
    void typingTheVKlayPathFollowsTheFile();
    void browsingForVKlay();
    void singlePatchOption();
    void outputModeOptions();
    void goNeedsImageAndPatchName();
    void rowSelectionCopiesCaptionWhenPatchesArePerSlot();
    void nameControlsFollowRowAndKind();
    void openingAFullFlashShowsModelVersionAndSlots();
    void sizeThresholdDecidesTheKind();
    void eepForcesDirectPatchingUntilABinIsOpened();
    void eeUnderscoreKeepsBothOutputModes();
    void selectedSlotDisplayFillsTheAddressFields();
    void searchesDropChoicesOfMissingSlots();
    void failedOpenKeepsTheOpenImage();
    void slotFileChoice();
    void slotFileFilters();
    void namesAreCleaned_data();
    void namesAreCleaned();
    void editingACaptionInPlace();
    void renamedMelodyNamesItsPatch();
    void droppedFileIsOpened();
    void fileDroppedOnARowGoesToItsSlot();
    void droppedPatchOpensTheWorkbench();
    void picturesArePreviewed();
    void cutsAreCheckedAgainstEachImage();
    void anImageWithoutSlotsSaysSo();
    void aFailingHandlerIsReportedAndTheWindowGoesOn();
    void foldersAndTheVKlayPathAreKept();
    void filesGivenWithoutADialogSetTheirFolders();
    void rowsAndTheirButtonsNeverPart();
    void aDropNeverEndsTheSession();
};

void TestForm1::windowAndControlsStartAsDescribed() {
    ScriptedDialogs dialogs;
    FakePlatform platform;
    TForm1 form(dialogs, platform);
    QCOMPARE(form.windowTitle(), QStringLiteral("Carillon     v2.20b"));
    // A click on the logo shows the version and the licence.
    QCOMPARE(form.Image3->toolTip(), QStringLiteral("About Carillon"));
    QTest::mouseClick(form.Image3, Qt::LeftButton);
    QCOMPARE(dialogs.shown.size(), std::size_t{1});
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("Carillon"));
    QCOMPARE(dialogs.shown[0].text,
             QStringLiteral("Carillon 2.20b\n\nFree software: you may share and change it under "
                            "the GNU General Public License, version 3 or later "
                            "(GPL-3.0-or-later). It comes with no warranty."));
    QCOMPARE(form.size(), QSize(665, 519));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);

    // Controls are members and found by name.
    QCOMPARE(form.findChild<QCheckBox*>(QStringLiteral("CheckBoxM7")), form.CheckBoxM[6]);
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("ButtonM18")), form.ButtonM[17]);
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("Edit5")), form.Edit5);
    for (int n = 1; n <= kSlotCount; ++n) {
        QCOMPARE(form.ButtonM[static_cast<std::size_t>(n - 1)]->property("Tag").toInt(), n);
        QVERIFY(form.ButtonM[static_cast<std::size_t>(n - 1)]->isEnabled());
        QCheckBox* mark = form.CheckBoxM[static_cast<std::size_t>(n - 1)];
        QVERIFY(mark->isHidden() && !mark->isEnabled() && !mark->isChecked());
    }
    QCOMPARE(form.CheckBoxM[0]->text(), QStringLiteral("melody"));
    QCOMPARE(form.CheckBoxM[10]->text(), QStringLiteral("user mel"));
    QCOMPARE(form.CheckBoxM[15]->text(), QStringLiteral("pic"));
    QCOMPARE(form.CheckBoxM[16]->text(), QStringLiteral("anim"));

    QCOMPARE(form.GroupBox1->title(), QStringLiteral("  Files  "));
    QCOMPARE(form.GroupBox2->title(), QStringLiteral("  Melodies, Pictures, Animations  "));
    QCOMPARE(form.GroupBox2->height(), 385);
    QVERIFY(form.GroupBox1->font().bold());
    QVERIFY(!form.Label3->font().bold());
    QVERIFY(form.Edit1->text().isEmpty() && form.Edit1->isReadOnly());
    QVERIFY(!form.RadioButton1->isChecked() && form.RadioButton2->isChecked());
    QVERIFY(form.CheckBox5->isChecked() && !form.CheckBox5->isEnabled());
    QCOMPARE(form.Edit5->text(), QStringLiteral("All_Patches"));
    QCOMPARE(form.Edit5->maxLength(), 128);
    QVERIFY(form.CheckBox1->isChecked() && form.CheckBox2->isChecked());
    QVERIFY(!form.Button3->isEnabled() && form.Button3->font().bold());
    QVERIFY(form.CheckBox4->isChecked() && !form.CheckBox3->isChecked());
    QCOMPARE(form.Edit8->text(), QStringLiteral("v_klay.exe"));
    QCOMPARE(form.Label23->text(), QStringLiteral("not found"));
    QCOMPARE(form.Panel1->text(), QStringLiteral("empty slot ;)"));
    QVERIFY(form.GroupBox5->isHidden());
    QCOMPARE(form.Edit6->text(), QStringLiteral("0"));
    QCOMPARE(form.Edit7->text(), QStringLiteral("0"));
    QCOMPARE(form.Button6->text(), QStringLiteral("relopate eep"));
    for (QPushButton* hidden : {form.Button5, form.Button6}) {
        QVERIFY(hidden->isHidden() && !hidden->isEnabled());
    }
    QCOMPARE(form.Timer1->interval(), 250);
    QVERIFY(form.Timer1->isActive());

    QCOMPARE(form.ImageDialog().title, QStringLiteral("Open A52 Full Flash or EEPROM"));
    QCOMPARE(form.ImageDialog().filter,
             QStringLiteral("V_KLay Full Flash or EEPROM (*.bin)|*.bin|Freia Full Flash or "
                            "EEPROM (*.fls)|*.fls|Siemens EEPROM tool (*.eep)|*.eep|All "
                            "Files|*.*"));
    QCOMPARE(form.VKlayDialog().filter, QStringLiteral("V_KLay|*.exe"));
    QVERIFY(form.VKlayDialog().title.isEmpty());

    QTreeWidget* list = form.ListView1;
    QCOMPARE(list->columnCount(), 5);
    const std::array<int, 5> widths = {130, 40, 40, 58, 137};
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(list->columnWidth(c), widths[static_cast<std::size_t>(c)]);
    }
    QCOMPARE(list->headerItem()->text(4), QStringLiteral("Filename"));
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(!list->rootIsDecorated());
    list->header()->resizeSection(1, 90);  // "Size" grows to 60 at most
    QCOMPARE(list->columnWidth(1), 60);
}

void TestForm1::startupFillsTheListAndSelectsTheFirstRow() {
    Harness h;
    QCOMPARE(h.form->SelectedRow(), 0);
    for (int row = 0; row < kSlotCount; ++row) {
        QCOMPARE(h.form->Caption(row), QString::fromUtf8(SlotDef(row + 1).caption.data()));
        QCOMPARE(h.form->SmallImage(row), -1);
        for (int c = 1; c <= 4; ++c) {
            QVERIFY(h.Cell(row, c).isEmpty());
        }
        QCOMPARE(h.form->SlotRecords()[static_cast<std::size_t>(row)].Address, 0);
    }
    QCOMPARE(h.form->SlotRecords()[0].BlockNumber, 285);
    QCOMPARE(h.form->SlotRecords()[17].BlockNumber, 5393);
    // No image yet counts as a full flash: row 0 allows renaming.
    QVERIFY(h.form->CheckBox3->isEnabled() && !h.form->CheckBox3->isChecked());
    QVERIFY(h.form->Button1->isEnabled());
    QCOMPARE(h.form->Edit6->text(), QStringLiteral("000000"));
}

void TestForm1::slotControlsAreLevelWithTheirRows() {
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
    QTreeWidget* list = h.form->ListView1;
    const QRect listRect(h.form->GroupBox2->mapTo(h.form.get(), list->geometry().topLeft()),
                         list->size());
    for (int row = 0; row < kSlotCount; ++row) {
        const QRect item = list->visualItemRect(list->topLevelItem(row));
        QVERIFY(list->viewport()->rect().contains(item));  // every row shows without scrolling
        const int rowCentre = list->viewport()->mapTo(h.form.get(), item.center()).y();
        const QRect mark = h.Mark(row + 1)->geometry();
        const QRect more = h.More(row + 1)->geometry();
        QVERIFY(qAbs(h.form->GroupBox2->mapTo(h.form.get(), mark.center()).y() - rowCentre) <= 1);
        QVERIFY(qAbs(h.form->GroupBox2->mapTo(h.form.get(), more.center()).y() - rowCentre) <= 1);
        QVERIFY(h.form->GroupBox2->mapTo(h.form.get(), mark.topLeft()).x() < listRect.left());
        QVERIFY(h.form->GroupBox2->mapTo(h.form.get(), more.topLeft()).x() > listRect.right());
        // The list covers the mark's caption: it lies above the mark.
        const QObjectList& stack = h.form->GroupBox2->children();
        QVERIFY(stack.indexOf(h.Mark(row + 1)) < stack.indexOf(list));
    }
}

void TestForm1::registryValueGivesTheVKlayPath_data() {
    QTest::addColumn<std::optional<QString>>("value");
    QTest::addColumn<QString>("path");
    const QString bare = QString::fromLatin1(kVKlay);
    QTest::newRow("quoted with %1")
        << std::optional<QString>(u'"' + bare + QStringLiteral("\" \"%1\"")) << bare;
    QTest::newRow("quoted alone") << std::optional<QString>(u'"' + bare + u'"') << bare;
    QTest::newRow("unquoted with %1")
        << std::optional<QString>(bare + QStringLiteral(" %1")) << bare;
    QTest::newRow("without %1") << std::optional<QString>(QStringLiteral(R"(D:\V\v.exe -x)"))
                                << QStringLiteral(R"(D:\V\v.exe -x)");
    QTest::newRow("%1 in the middle")
        << std::optional<QString>(QStringLiteral(R"(D:\V\v.exe %1 /q)"))
        << QStringLiteral(R"(D:\V\v.exe %1)");
    QTest::newRow("missing key") << std::optional<QString>() << bare;
}

void TestForm1::registryValueGivesTheVKlayPath() {
    QFETCH(std::optional<QString>, value);
    QFETCH(QString, path);
    Harness h(value);
    QCOMPARE(h.form->Edit8->text(), path);
    QCOMPARE(h.form->Label23->text(), QStringLiteral("not found"));
    QVERIFY(!h.form->CheckBox4->isEnabled() && !h.form->CheckBox4->isChecked());

    // The same command naming an installed program finds it.
    Harness found(value, {path});
    QVERIFY(found.form->Label23->text().isEmpty());
    QVERIFY(found.form->CheckBox4->isEnabled() && found.form->CheckBox4->isChecked());
}

void TestForm1::typingTheVKlayPathFollowsTheFile() {
    Harness h;
    const QString program = h.Write(QStringLiteral("V_KLay.exe"), {0x4D, 0x5A});
    QVERIFY(!h.form->CheckBox4->isEnabled() && !h.form->CheckBox4->isChecked());
    h.form->Edit8->clear();
    QTest::keyClicks(h.form->Edit8, program);
    QVERIFY(h.form->Label23->text().isEmpty());
    QVERIFY(h.form->CheckBox4->isEnabled());
    QVERIFY(!h.form->CheckBox4->isChecked());  // enabling does not check it
    h.form->CheckBox4->setChecked(true);
    QTest::keyClicks(h.form->Edit8, QStringLiteral("x"));
    QCOMPARE(h.form->Label23->text(), QStringLiteral("not found"));
    QVERIFY(!h.form->CheckBox4->isEnabled() && !h.form->CheckBox4->isChecked());
}

void TestForm1::browsingForVKlay() {
    Harness h;
    const QString program = h.Write(QStringLiteral("V_KLay.exe"), {0x4D, 0x5A});
    h.dialogs.fileAnswers.push_back(std::nullopt);
    QTest::mouseClick(h.form->Button4, Qt::LeftButton);
    QCOMPARE(h.form->Edit8->text(), QString::fromLatin1(kVKlay));
    QCOMPARE(h.dialogs.fileDialogs.back().fileName, QString::fromLatin1(kVKlay));
    QCOMPARE(h.dialogs.fileDialogs.back().filter, QStringLiteral("V_KLay|*.exe"));

    h.dialogs.fileAnswers.push_back(program);
    QTest::mouseClick(h.form->Button4, Qt::LeftButton);
    QCOMPARE(h.form->Edit8->text(), program);
    QVERIFY(h.form->Label23->text().isEmpty());
}

void TestForm1::singlePatchOption() {
    Harness h(std::nullopt, {QString::fromLatin1(kVKlay)});
    TForm1& f = *h.form;
    QVERIFY(f.CheckBox4->isChecked());
    f.Edit5->setText(QStringLiteral("Mine"));
    QTest::mouseClick(f.CheckBox1, Qt::LeftButton);
    QVERIFY(!f.CheckBox1->isChecked());
    QVERIFY(!f.Edit5->isEnabled());
    QVERIFY(!f.CheckBox4->isEnabled() && !f.CheckBox4->isChecked());
    QTest::mouseClick(f.CheckBox1, Qt::LeftButton);
    QVERIFY(f.Edit5->isEnabled());
    QCOMPARE(f.Edit5->text(), QStringLiteral("All_Patches"));
    QVERIFY(f.CheckBox4->isEnabled() && f.CheckBox4->isChecked());

    Harness missing;  // without V_KLay, checking it again leaves "Auto run" off
    missing.form->CheckBox1->setChecked(false);
    missing.form->CheckBox1->setChecked(true);
    QVERIFY(!missing.form->CheckBox4->isEnabled() && !missing.form->CheckBox4->isChecked());
}

void TestForm1::outputModeOptions() {
    Harness h(std::nullopt, {QString::fromLatin1(kVKlay)});
    TForm1& f = *h.form;
    QTest::mouseClick(f.RadioButton1, Qt::LeftButton);
    QVERIFY(f.RadioButton1->isChecked() && !f.RadioButton2->isChecked());
    QVERIFY(f.CheckBox5->isEnabled() && f.CheckBox5->isChecked());
    for (QWidget* w :
         std::initializer_list<QWidget*>{f.Label5, f.Edit5, f.Label21, f.CheckBox1, f.CheckBox4}) {
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    }
    QVERIFY(!f.CheckBox4->isChecked());
    QVERIFY(f.CheckBox1->isChecked());  // kept

    f.CheckBox5->setChecked(false);
    QTest::mouseClick(f.RadioButton2, Qt::LeftButton);
    QVERIFY(!f.CheckBox5->isEnabled() && !f.CheckBox5->isChecked());
    for (QWidget* w :
         std::initializer_list<QWidget*>{f.Label5, f.Edit5, f.Label21, f.CheckBox1, f.CheckBox4}) {
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }
    QVERIFY(!f.CheckBox4->isChecked());  // re-enabled, not checked
}

void TestForm1::goNeedsImageAndPatchName() {
    Harness h;
    TForm1& f = *h.form;
    f.Timer1Timer();
    QVERIFY(!f.Button3->isEnabled());
    h.Open(h.Write(QStringLiteral("demo.bin"), fx::DemoFlash()));
    f.Timer1Timer();
    QVERIFY(f.Button3->isEnabled());
    f.Edit5->setText(QStringLiteral(" \t "));
    f.Timer1Timer();
    QVERIFY(!f.Button3->isEnabled());
    f.RadioButton1->setChecked(true);  // disabled in direct mode, its text still counts
    f.Timer1Timer();
    QVERIFY(!f.Button3->isEnabled());
    f.Edit5->setText(QStringLiteral("\x01 x \x1f"));
    f.Timer1Timer();
    QVERIFY(f.Button3->isEnabled());
    // The timer itself keeps the button in line.
    f.Edit5->clear();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Button3->isEnabled(), 2000);
}

void TestForm1::rowSelectionCopiesCaptionWhenPatchesArePerSlot() {
    Harness h;
    h.form->SelectRow(14);
    QCOMPARE(h.form->Edit5->text(), QStringLiteral("All_Patches"));  // single patch: untouched
    h.form->CheckBox1->setChecked(false);
    h.form->SelectRow(15);
    h.form->SelectRow(14);
    QCOMPARE(h.form->Edit5->text(), QStringLiteral("User_Picture_1"));
    h.form->SelectRow(-1);
    QCOMPARE(h.form->Edit5->text(), QString());
    // No row counts as index -1: names could change, but there is no row to rename.
    QVERIFY(h.form->CheckBox3->isEnabled() && !h.form->CheckBox3->isChecked());
    QVERIFY(!h.form->Button1->isEnabled());
}

void TestForm1::nameControlsFollowRowAndKind() {
    Harness h;
    TForm1& f = *h.form;
    f.SelectRow(12);  // "User Melody 3" selected while a full flash opens
    h.Open(h.Write(QStringLiteral("demo.bin"), fx::DemoFlash()));
    QVERIFY(!f.CheckBox3->isEnabled() && f.CheckBox3->isChecked() && !f.Button1->isEnabled());
    f.SelectRow(3);  // "Pop 2"
    QVERIFY(f.CheckBox3->isEnabled() && !f.CheckBox3->isChecked() && f.Button1->isEnabled());
    f.SelectRow(10);  // "User Melody 1"
    QVERIFY(!f.CheckBox3->isEnabled() && f.CheckBox3->isChecked() && !f.Button1->isEnabled());
    f.SelectRow(2);
    h.Open(h.dir.filePath(QStringLiteral("demo.bin")));  // opened with row 3 selected
    QVERIFY(f.CheckBox3->isEnabled() && !f.CheckBox3->isChecked() && f.Button1->isEnabled());

    // An EEPROM image never lets names change.
    h.Open(h.Write(QStringLiteral("eeprom.bin"),
                   fx::FlashImage(ImageKind::EepromBin)
                       .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(10, 1)))
                       .Build()));
    for (int row : {0, 3, 9, 10, 17}) {
        f.SelectRow(row);
        QVERIFY(!f.CheckBox3->isEnabled() && f.CheckBox3->isChecked() && !f.Button1->isEnabled());
    }
}

void TestForm1::openingAFullFlashShowsModelVersionAndSlots() {
    Harness h;
    TForm1& f = *h.form;
    const Bytes demo = fx::DemoFlash();
    const QString path = h.Write(QStringLiteral("demo.bin"), demo);
    h.Open(path);
    QCOMPARE(h.dialogs.fileDialogs.back().title, f.ImageDialog().title);
    QCOMPARE(f.Edit1->text(), path);
    QCOMPARE(f.Label12->text(), QStringLiteral("A52"));
    QCOMPARE(f.Label13->text(), QStringLiteral("11"));
    QCOMPARE(f.Label2->text(), QStringLiteral(".bin Full Flash"));
    QCOMPARE(f.OpenedKind(), ImageKind::FullFlash);
    QVERIFY(f.Working() == demo);
    QVERIFY(h.dialogs.shown.empty());

    // Rows follow the search: found slots with their cells, missing ones with "n/a".
    SlotTable expected{};
    InitialiseSlotTable(expected);
    const SlotRows rows = SearchFullFlash(demo, ImageKind::FullFlash, expected);
    for (int row = 0; row < kSlotCount; ++row) {
        const SlotRow& r = rows[static_cast<std::size_t>(row)];
        QCOMPARE(f.SmallImage(row), r.found ? 0 : 1);
        QCOMPARE(h.Cell(row, 1), QString::fromStdString(English(r.size)));
        QCOMPARE(h.Cell(row, 2), QString::fromStdString(English(r.max)));
        QCOMPARE(h.Cell(row, 3), QString::fromStdString(English(r.address)));
        QCOMPARE(h.More(row + 1)->isEnabled(), r.found);
        QCOMPARE(f.SlotRecords()[static_cast<std::size_t>(row)].Address,
                 expected[static_cast<std::size_t>(row)].Address);
    }
    QCOMPARE(h.Cell(8, 1), QStringLiteral("n/a"));  // Folklore 2: stale block only
    QCOMPARE(f.SlotRecords()[8].Address, -1);
    QCOMPARE(h.Cell(13, 1), QStringLiteral("empty"));
}

void TestForm1::sizeThresholdDecidesTheKind() {
    Harness h;
    TForm1& f = *h.form;
    h.Open(h.Write(QStringLiteral("short.bin"), FlashOf(399999)));
    QCOMPARE(f.OpenedKind(), ImageKind::EepromBin);
    QCOMPARE(f.Label12->text(), QStringLiteral("-"));
    QCOMPARE(f.Label13->text(), QStringLiteral("-"));
    QCOMPARE(f.Label2->text(), QStringLiteral(".bin EEPROM"));
    h.Open(h.Write(QStringLiteral("exact.fls"), FlashOf(400000)));
    QCOMPARE(f.OpenedKind(), ImageKind::FullFlash);
    QCOMPARE(f.Label12->text(), QStringLiteral("A52"));
    QCOMPARE(f.Label13->text(), QStringLiteral("11"));
    QCOMPARE(f.Label2->text(), QStringLiteral(".bin Full Flash"));
    for (int row = 0; row < kSlotCount; ++row) {  // nothing in an erased image
        QCOMPARE(h.Cell(row, 3), QStringLiteral("n/a"));
    }
}

void TestForm1::eepForcesDirectPatchingUntilABinIsOpened() {
    Harness h(std::nullopt, {QString::fromLatin1(kVKlay)});
    TForm1& f = *h.form;
    const Bytes eep = fx::EepImage().Slot(1, fx::Pattern(100, 1)).Slot(11, {}, 0xFFFF).Build();
    h.Open(h.Write(QStringLiteral("PHONE.EEP"), eep));
    QCOMPARE(f.OpenedKind(), ImageKind::EepromEep);
    QCOMPARE(f.Label2->text(), QStringLiteral(".eep EEPROM"));
    QCOMPARE(f.Label12->text(), QStringLiteral("-"));
    QVERIFY(f.RadioButton1->isChecked() && !f.RadioButton2->isEnabled());
    QVERIFY(!f.CheckBox4->isChecked() && !f.Edit5->isEnabled() && f.CheckBox5->isEnabled());
    QCOMPARE(h.Cell(0, 3), QStringLiteral("000017"));
    QCOMPARE(h.Cell(10, 1), QStringLiteral("empty"));
    QCOMPARE(h.Cell(1, 1), QStringLiteral("n/a"));

    h.Open(h.Write(QStringLiteral("demo.bin"), fx::DemoFlash()));
    QVERIFY(f.RadioButton2->isEnabled());
    QVERIFY(f.RadioButton1->isChecked() && !f.RadioButton2->isChecked());
}

void TestForm1::eeUnderscoreKeepsBothOutputModes() {
    Harness h;
    h.Open(
        h.Write(QStringLiteral("phone.Ee_"), fx::EepImage().Slot(2, fx::Pattern(40, 2)).Build()));
    QCOMPARE(h.form->OpenedKind(), ImageKind::EepromEep);
    QCOMPARE(h.form->Label2->text(), QStringLiteral(".eep EEPROM"));
    QVERIFY(h.form->RadioButton2->isChecked() && h.form->RadioButton2->isEnabled());
    QVERIFY(h.form->RadioButton1->isEnabled());
    QCOMPARE(h.form->SmallImage(1), 0);
}

void TestForm1::selectedSlotDisplayFillsTheAddressFields() {
    Harness h;
    TForm1& f = *h.form;
    fx::Block pop3 = fx::SlotBlock(5, fx::Pattern(100, 5));
    pop3.address = 0xC00000 + 0x3A0120;
    pop3.length = 2003;
    h.Open(h.Write(QStringLiteral("flash.bin"), fx::StandardFlash().Add(Sector::A, pop3).Build()));
    f.SelectRow(4);
    QCOMPARE(f.Edit6->text(), QStringLiteral("3A0123"));
    QCOMPARE(f.Edit7->text(), QStringLiteral("3A08F3"));
    QVERIFY(f.Edit6->isEnabled() && f.Edit7->isEnabled());
    QCOMPARE(f.SlotRecords()[4].EndAddress, 0x3A08F3);
    f.SelectRow(0);  // not found
    QCOMPARE(f.Edit6->text(), QStringLiteral("??????"));
    QCOMPARE(f.Edit7->text(), QStringLiteral("??????"));
    QVERIFY(!f.Edit6->isEnabled() && !f.Edit7->isEnabled());
}

void TestForm1::searchesDropChoicesOfMissingSlots() {
    Harness h;
    TForm1& f = *h.form;
    const QString tune = h.Write(QStringLiteral("tune.si3"), {1, 2, 3});
    for (int n : {1, 9, 12}) {
        h.Choose(n, tune);
        QVERIFY(h.Mark(n)->isVisible() && h.Mark(n)->isChecked());
    }
    h.Open(h.Write(QStringLiteral("demo.bin"), fx::DemoFlash()));
    // Found: the choice stays.
    QVERIFY(h.Mark(1)->isVisible() && h.Mark(1)->isChecked() && h.Mark(1)->isEnabled());
    QCOMPARE(h.Cell(0, 4), QStringLiteral("tune.si3"));
    // Not found: the choice is dropped, the file name is kept, the button is off.
    QCOMPARE(f.SmallImage(8), 1);
    QVERIFY(!h.Mark(9)->isVisible() && !h.Mark(9)->isChecked() && !h.Mark(9)->isEnabled());
    QVERIFY(h.Cell(8, 4).isEmpty());
    QVERIFY(!h.More(9)->isEnabled());
    QCOMPARE(f.SlotRecords()[8].FileName, LocalPath(tune));
    // Found only in sector C: shown as found, but no longer marked for patching.
    QCOMPARE(f.SmallImage(11), 0);
    QVERIFY(h.More(12)->isEnabled());
    QVERIFY(h.Cell(11, 4).isEmpty());
    QVERIFY(!h.Mark(12)->isVisible() && !h.Mark(12)->isChecked());
    QCOMPARE(h.Cell(11, 1), QStringLiteral("2010"));
}

void TestForm1::failedOpenKeepsTheOpenImage() {
    Harness h;
    TForm1& f = *h.form;
    const Bytes demo = fx::DemoFlash();
    const QString good = h.Write(QStringLiteral("demo.bin"), demo);
    h.Open(good);
    const QString rowBefore = h.Cell(0, 3);

    const QString missing = h.dir.filePath(QStringLiteral("gone.eep"));
    h.Open(missing);
    QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(h.dialogs.shown[0].kind, ShownMessage::Report);
    QCOMPARE(h.dialogs.shown[0].title, QStringLiteral("Carillon"));
    QVERIFY(h.dialogs.shown[0].text.startsWith(missing + QStringLiteral(": ")));
    QCOMPARE(f.Edit1->text(), good);
    QCOMPARE(f.OpenedKind(), ImageKind::FullFlash);
    QCOMPARE(f.Label2->text(), QStringLiteral(".bin Full Flash"));
    QVERIFY(f.RadioButton2->isChecked() && f.RadioButton2->isEnabled());
    QCOMPARE(h.Cell(0, 3), rowBefore);
    QVERIFY(f.Working() == demo);

    // A file larger than the image buffer is refused the same way.
    const QString huge = h.dir.filePath(QStringLiteral("huge.bin"));
    QFile big(huge);
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(10'000'001));
    big.close();
    h.Open(huge);
    QCOMPARE(h.dialogs.shown.size(), std::size_t{2});
    QCOMPARE(f.Edit1->text(), good);
    QCOMPARE(f.OpenedImage().size(), demo.size());

    // A FIFO is refused at once instead of freezing the window.
    const QString fifo = h.dir.filePath(QStringLiteral("f.bin"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    ::alarm(20);
    h.Open(fifo);
    ::alarm(0);
    QCOMPARE(h.dialogs.shown.size(), std::size_t{3});
    QCOMPARE(h.dialogs.shown[2].text, fifo + QStringLiteral(": Not a regular file"));
    QCOMPARE(f.Edit1->text(), good);

    // Cancelling changes nothing and shows nothing.
    h.dialogs.fileAnswers.push_back(std::nullopt);
    QTest::mouseClick(f.Button2, Qt::LeftButton);
    QCOMPARE(f.Edit1->text(), good);
}

void TestForm1::slotFileChoice() {
    Harness h;
    TForm1& f = *h.form;
    const QString first = h.Write(QStringLiteral("first.si3"), {1});
    const QString second = h.Write(QStringLiteral("second tune.si3"), {2});
    h.Choose(3, first);
    QCOMPARE(h.Cell(2, 4), QStringLiteral("first.si3"));
    QCOMPARE(f.SlotRecords()[2].FileName, LocalPath(first));
    QVERIFY(h.Mark(3)->isVisible() && h.Mark(3)->isEnabled() && h.Mark(3)->isChecked());

    h.Mark(3)->setChecked(false);  // the user leaves the slot out, then chooses again
    h.Choose(3, second);
    QCOMPARE(h.Cell(2, 4), QStringLiteral("second tune.si3"));
    QCOMPARE(f.SlotRecords()[2].FileName, LocalPath(second));
    QVERIFY(h.Mark(3)->isChecked());

    h.Mark(3)->setChecked(false);
    h.Choose(3, std::nullopt);  // cancel keeps the earlier choice as it is
    QCOMPARE(h.Cell(2, 4), QStringLiteral("second tune.si3"));
    QCOMPARE(f.SlotRecords()[2].FileName, LocalPath(second));
    QVERIFY(!h.Mark(3)->isChecked() && h.Mark(3)->isVisible());
    for (int row = 0; row < kSlotCount; ++row) {  // no other slot changed
        if (row != 2) {
            QVERIFY(h.Cell(row, 4).isEmpty() && h.Mark(row + 1)->isHidden());
        }
    }
}

void TestForm1::slotFileFilters() {
    Harness h;
    for (int n : {1, 14, 15, 16, 17, 18}) {
        QTest::mouseClick(h.More(n), Qt::LeftButton);
    }
    const auto& shown = h.dialogs.fileDialogs;
    QCOMPARE(shown.size(), std::size_t{6});
    QCOMPARE(shown[0].filter, QStringLiteral("Melodies (*.si3)|*.si3"));
    QCOMPARE(shown[1].filter, QStringLiteral("Melodies (*.si3)|*.si3"));
    QCOMPARE(shown[2].filter, QStringLiteral("Pictures (*.bmp)|*.bmp"));
    QCOMPARE(shown[3].filter, QStringLiteral("Pictures (*.bmp)|*.bmp"));
    QCOMPARE(shown[4].filter, QStringLiteral("Animations (*.bmx)|*.bmx"));
    QCOMPARE(shown[5].filter, QStringLiteral("Animations (*.bmx)|*.bmx"));
    for (const FileDialogRequest& d : shown) {
        QVERIFY(d.fileName.isEmpty() && d.title.isEmpty());
    }
}

void TestForm1::namesAreCleaned_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("caption");
    QTest::newRow("11 allowed") << 0 << QStringLiteral("Ab9_-^!#()[")
                                << QStringLiteral("Ab9_-^!#()[");
    QTest::newRow("12 cut") << 0 << QStringLiteral("Abcdefghijkl") << QStringLiteral("Abcdefghijk");
    QTest::newRow("stop and plus")
        << 1 << QStringLiteral("Pop.2+Mix") << QStringLiteral("Pop_2_Mix");
    QTest::newRow("precomposed") << 2 << QStringLiteral("Caf\u00e9 ol\u00e9")
                                 << QStringLiteral("Caf_ ol_");
    QTest::newRow("decomposed") << 2 << QStringLiteral("Cafe\u0301 x") << QStringLiteral("Caf_ x");
    // No name at all: refused, the caption stays.
    QTest::newRow("blanks") << 3 << QStringLiteral("   ") << QStringLiteral("Pop 2");
    QTest::newRow("empty") << 1 << QString() << QStringLiteral("Classic 2");
    QTest::newRow("user slot") << 11 << QStringLiteral("Mine") << QStringLiteral("User Melody 2");
}

void TestForm1::namesAreCleaned() {
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QString, caption);
    Harness h;
    h.form->SelectRow(row);
    QString s = typed;
    h.form->ListView1Edited(h.form->ListView1->topLevelItem(row), s);
    QCOMPARE(s, caption);
}

void TestForm1::editingACaptionInPlace() {
    Harness h;
    TForm1& f = *h.form;
    h.Open(h.Write(QStringLiteral("demo.bin"), fx::DemoFlash()));
    f.SelectRow(6);  // "Tango"
    QTest::mouseClick(f.Button1, Qt::LeftButton);
    auto* editor = f.ListView1->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 11);  // enforced while typing
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Tango+Cash Mix"));
    QCOMPARE(editor->text(), QStringLiteral("Tango+Cash "));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(f.Caption(6), QStringLiteral("Tango_Cash "));
    QCOMPARE(f.SlotRecords()[6].Name, std::string("Tango"));  // the stock name stays
    QCOMPARE(f.SmallImage(6), 0);

    // A user slot's caption cannot change: a click on the selected row opens no editor.
    f.SelectRow(11);
    const QRect rect = f.ListView1->visualItemRect(f.ListView1->topLevelItem(11));
    QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    for (QLineEdit* e : f.ListView1->viewport()->findChildren<QLineEdit*>()) {
        QVERIFY(!e->isVisible());
    }
    QCOMPARE(f.Caption(11), QStringLiteral("User Melody 2"));

    // A name outside the phone's characters: the caption says how it is written, and why.
    f.SelectRow(6);
    QTest::mouseClick(f.Button1, Qt::LeftButton);
    TypeCaption(f, QStringLiteral("Новое"));
    QTRY_COMPARE(f.Caption(6), QStringLiteral("_____"));
    QVERIFY(f.ListView1->topLevelItem(6)->toolTip(0).startsWith(
        QStringLiteral("Written to the phone as \"_____\"")));
}

void TestForm1::renamedMelodyNamesItsPatch() {
    Harness h;
    TForm1& f = *h.form;
    f.CheckBox1->setChecked(false);
    f.SelectRow(6);
    QString s = QStringLiteral("Slow Tango");
    f.ListView1Edited(f.ListView1->topLevelItem(6), s);
    f.ListView1->topLevelItem(6)->setText(0, s);
    f.SelectRow(0);
    QCOMPARE(f.Edit5->text(), QStringLiteral("Classic_1"));
    f.SelectRow(6);
    QCOMPARE(f.Edit5->text(), QStringLiteral("Slow_Tango"));
}

void TestForm1::droppedFileIsOpened() {
    Harness h;
    const QString path = h.Write(QStringLiteral("demo.bin"), fx::DemoFlash());
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(h.dir.path())});
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &folder, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QCoreApplication::sendEvent(h.form.get(), &refused);
    QVERIFY(!refused.isAccepted());

    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QCoreApplication::sendEvent(h.form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(h.form.get(), &drop);
    QCOMPARE(h.form->Edit1->text(), path);
    QCOMPARE(h.form->Label2->text(), QStringLiteral(".bin Full Flash"));
    QVERIFY(h.dialogs.fileDialogs.empty());
}

namespace {

// A full flash with Classic 1, Classic 2 and User Picture 1 found; the picture slot holds
// `picture` as its content.
Bytes SlotsFlash(const Bytes& picture = fx::Pattern(100, 15)) {
    return fx::StandardFlash()
        .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(700, 1)))
        .Add(Sector::A, fx::SlotBlock(2, fx::Pattern(300, 2)))
        .Add(Sector::B, fx::SlotBlock(15, picture))
        .Build();
}

Bytes BmpFile(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::red);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return Bytes(data.begin(), data.end());
}

}  // namespace

void TestForm1::fileDroppedOnARowGoesToItsSlot() {
    Harness h;
    const QString image = h.Write(QStringLiteral("flash.bin"), SlotsFlash());
    h.Open(image);
    const QString melody = h.Write(QStringLiteral("Tune.SI3"), fx::Pattern(20, 1));
    DropOn(*h.form, melody, 1);
    QCOMPARE(h.Cell(1, 4), QStringLiteral("Tune.SI3"));
    QVERIFY(h.Mark(2)->isChecked());
    QCOMPARE(h.form->Edit1->text(), image);  // the image stays open, nothing else changes

    struct Refusal {
        int row;
        QString file;
        QString text;
    };
    const QString picture = h.Write(QStringLiteral("pic.bmp"), BmpFile(4, 3));
    for (const Refusal& r : {Refusal{0, picture, "\"Classic 1\" does not take \".bmp\" files."},
                             Refusal{3, melody,
                                     "\"Pop 2\" was not found in the image: no file "
                                     "can go there."},
                             Refusal{-1, melody,
                                     "Drop \"Tune.SI3\" on the row of the slot it "
                                     "is for."}}) {
        h.dialogs.shown.clear();
        DropOn(*h.form, r.file, r.row);
        QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(h.dialogs.shown[0].text, r.text);
        QCOMPARE(h.form->Edit1->text(), image);
    }
    QVERIFY(h.Cell(0, 4).isEmpty());
    QVERIFY(h.Cell(3, 4).isEmpty());

    DropOn(*h.form, picture, 14);
    QCOMPARE(h.Cell(14, 4), QStringLiteral("pic.bmp"));
    const QString other = h.Write(QStringLiteral("other.bin"), SlotsFlash());
    h.dialogs.confirmAnswers = {true};  // chosen files are not written yet: asked first
    DropOn(*h.form, other, 1);          // an image opens, whichever row it is dropped on
    QCOMPARE(h.form->Edit1->text(), other);
}

// A ".vkp" dropped on the window: one workbench dialog, and copies written through it.
void TestForm1::droppedPatchOpensTheWorkbench() {
    Harness h;
    const Bytes original = SlotsFlash();
    Bytes patched = original;
    patched[0x100] = static_cast<std::uint8_t>(~original[0x100]);
    const auto record = [](std::uint8_t oldByte, std::uint8_t newByte) {
        return "; a fix\r\n000100: " + HexBytes(ByteView(&oldByte, 1)) + " " +
               HexBytes(ByteView(&newByte, 1)) + "\r\n";
    };
    const std::string fits = record(original[0x100], patched[0x100]);
    const QString fix = h.Write(QStringLiteral("fix.VKP"), Bytes(fits.begin(), fits.end()));

    DropOn(*h.form, fix, -1);
    QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral("Open an image first"));
    QVERIFY(h.dialogs.workbenches.empty());

    const QString image = h.Write(QStringLiteral("flash.bin"), original);
    h.Open(image);
    h.dialogs.shown.clear();
    const QString copy = h.dir.filePath(QStringLiteral("copy.bin"));
    h.dialogs.workbenchAnswers.push_back(WorkbenchChoice::Apply);
    h.dialogs.saveAnswers.push_back(copy);
    DropOn(*h.form, fix, -1);
    QCOMPARE(h.dialogs.workbenches.size(), std::size_t{1});
    const PatchWorkbenchRequest& shown = h.dialogs.workbenches[0];
    QCOMPARE(shown.patchName, QStringLiteral("fix.VKP"));
    QCOMPARE(shown.counts,
             QStringLiteral("1 records: 1 apply, 0 applied, 0 conflict, 0 outside, 0 unchecked"));
    QVERIFY(shown.records.isEmpty());
    QVERIFY(shown.applyEnabled);
    // Each button as the command line decides: `apply --revert` writes this image unchanged
    // (the patch's old bytes are all there), a conflicting patch below neither.
    QVERIFY(shown.revertEnabled);
    QCOMPARE(h.dialogs.saveDialogs.size(), std::size_t{1});
    QCOMPARE(h.dialogs.saveDialogs[0].fileName, QStringLiteral("flash__applied.bin"));
    QCOMPARE(h.dialogs.saveDialogs[0].folder, h.dir.path());
    QVERIFY(ReadWholeFile(LocalPath(copy), kImageBufferSize) == patched);
    QVERIFY(ReadWholeFile(LocalPath(image), kImageBufferSize) == original);
    QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(h.dialogs.shown[0].text,
             QStringLiteral("Wrote ") + copy +
                 QStringLiteral(" (verified): 1 records applied, 0 already in place"));

    // A patch that does not fit: its record is listed, and "Apply" cannot be pressed.
    const std::string conflict = record(static_cast<std::uint8_t>(original[0x100] + 1), 0x00);
    h.dialogs.workbenchAnswers.push_back(WorkbenchChoice::Apply);
    DropOn(*h.form, h.Write(QStringLiteral("other.vkp"), Bytes(conflict.begin(), conflict.end())),
           -1);
    QCOMPARE(h.dialogs.workbenches.size(), std::size_t{2});
    QVERIFY(!h.dialogs.workbenches[1].applyEnabled);
    QVERIFY(!h.dialogs.workbenches[1].revertEnabled);
    QCOMPARE(h.dialogs.workbenches[1].records.size(), qsizetype{1});
    QVERIFY(h.dialogs.workbenches[1].records[0].startsWith(QStringLiteral("line 2: 000100: ")));
    QCOMPARE(h.dialogs.saveDialogs.size(), std::size_t{1});

    // On the copy the patch is wholly in place: both buttons, and the revert gives the image.
    h.Open(copy);
    const QString back = h.dir.filePath(QStringLiteral("back.bin"));
    h.dialogs.workbenchAnswers.push_back(WorkbenchChoice::Revert);
    h.dialogs.saveAnswers.push_back(back);
    DropOn(*h.form, fix, -1);
    QVERIFY(h.dialogs.workbenches[2].applyEnabled);
    QVERIFY(h.dialogs.workbenches[2].revertEnabled);
    QCOMPARE(h.dialogs.saveDialogs.back().fileName, QStringLiteral("copy__reverted.bin"));
    QVERIFY(ReadWholeFile(LocalPath(back), kImageBufferSize) == original);
    QVERIFY(ReadWholeFile(LocalPath(copy), kImageBufferSize) == patched);
    QCOMPARE(h.form->Edit1->text(), copy);
}

void TestForm1::picturesArePreviewed() {
    Harness h;
    h.Open(h.Write(QStringLiteral("flash.bin"), SlotsFlash(BmpFile(2, 2))));
    QVERIFY(h.form->ListView1->topLevelItem(14)->toolTip(1).contains(
        QStringLiteral("data:image/png;base64,")));
    QVERIFY(h.form->ListView1->topLevelItem(0)->toolTip(1).isEmpty());

    h.Choose(15, h.Write(QStringLiteral("pic.bmp"), BmpFile(5, 3)));
    QVERIFY(h.dialogs.shown.empty());
    const QString tip = h.form->ListView1->topLevelItem(14)->toolTip(4);
    QVERIFY(tip.contains(QStringLiteral("data:image/png;base64,")));
    QVERIFY(tip.contains(QStringLiteral("5 x 3 pixels, 24 bits per pixel")));
    QTextDocument shown;  // the tooltip decodes its picture: 5 pixels shown 25 times as wide
    shown.setHtml(tip);
    QVERIFY2(shown.idealWidth() >= 125, qPrintable(QString::number(shown.idealWidth())));

    h.Choose(15, h.Write(QStringLiteral("broken.bmp"), {'B', 'M', 1, 2, 3}));
    QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(h.dialogs.shown[0].kind, ShownMessage::Warning);
    QVERIFY(
        h.dialogs.shown[0].text.startsWith(QStringLiteral("The file \"broken.bmp\" is not a "
                                                          "picture")));
    QVERIFY(!h.form->ListView1->topLevelItem(14)->toolTip(4).contains(QStringLiteral("<img")));
}

void TestForm1::cutsAreCheckedAgainstEachImage() {
    Harness h;
    h.Choose(2, h.Write(QStringLiteral("big.si3"), fx::Pattern(1000, 2)));
    QVERIFY(h.dialogs.shown.empty());  // no image: no capacity, no warning
    QVERIFY(h.form->ListView1->topLevelItem(1)->icon(4).isNull());

    const Bytes small = fx::StandardFlash()
                            .Add(Sector::A, fx::SlotBlock(2, fx::Pattern(300, 2), kStatusValid))
                            .Build();
    fx::FlashImage tiny = fx::StandardFlash();
    fx::Block block = fx::SlotBlock(2, fx::Pattern(300, 2));
    block.length = 503;  // holds 500
    h.Open(h.Write(QStringLiteral("tiny.bin"), tiny.Add(Sector::A, block).Build()));
    QVERIFY(!h.form->ListView1->topLevelItem(1)->icon(4).isNull());
    h.dialogs.confirmAnswers = {true};  // open it, though the chosen file is not written yet
    h.Open(h.Write(QStringLiteral("roomy.bin"), small));
    QVERIFY(h.form->ListView1->topLevelItem(1)->icon(4).isNull());
}

void TestForm1::anImageWithoutSlotsSaysSo() {
    Harness h;
    Bytes noise(1'000'000);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    }
    noise[780] = 0xD3;
    noise[781] = 0xBA;
    noise[782] = '7';
    for (const auto& [name, bytes] : {std::pair{QStringLiteral("noise.bin"), noise},
                                      std::pair{QStringLiteral("empty.bin"), Bytes{}}}) {
        const QString path = h.Write(name, bytes);
        h.dialogs.shown.clear();
        h.Open(path);
        QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(h.dialogs.shown[0].kind, ShownMessage::Message);
        QCOMPARE(h.dialogs.shown[0].title, QStringLiteral("Carillon"));
        QCOMPARE(h.dialogs.shown[0].text,
                 "No content slots were found in " + path +
                     ": it does not look like a full flash or EEPROM image of an A52.");
        if (!bytes.empty()) {
            QCOMPARE(h.form->Label12->text(), QStringLiteral("\\xD3\\xBA7"));
        }
    }
    h.dialogs.shown.clear();
    h.Open(h.Write(QStringLiteral("flash.bin"), SlotsFlash()));
    QVERIFY(h.dialogs.shown.empty());
}

void TestForm1::aFailingHandlerIsReportedAndTheWindowGoesOn() {
    Harness h;
    h.dialogs.failOpenFile = [] { throw std::runtime_error("disk on fire"); };
    QTest::mouseClick(h.form->Button2, Qt::LeftButton);
    h.dialogs.failOpenFile = [] { throw 42; };
    QTest::mouseClick(h.form->Button2, Qt::LeftButton);
    QCOMPARE(h.dialogs.shown.size(), std::size_t{2});
    for (const ShownMessage& m : h.dialogs.shown) {
        QCOMPARE(m.kind, ShownMessage::Report);
        QCOMPARE(m.title, QStringLiteral("Carillon"));
    }
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral("disk on fire"));
    QCOMPARE(h.dialogs.shown[1].text, QStringLiteral("An unexpected error ended this action."));
    const QString image = h.Write(QStringLiteral("flash.bin"), SlotsFlash());
    h.Open(image);
    QCOMPARE(h.form->Edit1->text(), image);
}

void TestForm1::foldersAndTheVKlayPathAreKept() {
    Harness h;
    const QString image = h.Write(QStringLiteral("flash.bin"), SlotsFlash());
    h.Open(image);
    QDir(h.dir.path()).mkdir(QStringLiteral("tunes"));
    h.Choose(1, h.Write(QStringLiteral("tunes/a.si3"), fx::Pattern(10, 1)));
    h.Open(image);
    h.Choose(2, std::nullopt);
    h.Choose(15, std::nullopt);
    const auto& shown = h.dialogs.fileDialogs;
    QCOMPARE(shown[shown.size() - 3].folder, h.dir.path());  // images
    QCOMPARE(shown[shown.size() - 2].folder, h.dir.filePath(QStringLiteral("tunes")));
    QVERIFY(shown.back().folder.isEmpty());  // no picture chosen yet

    const QString chosen = h.Write(QStringLiteral("V_KLay.exe"), {});
    h.dialogs.fileAnswers.push_back(chosen);
    QTest::mouseClick(h.form->Button4, Qt::LeftButton);
    QCOMPARE(h.form->Edit8->text(), chosen);

    // The next launch: the kept path where the registry names no V_KLay; the registry wins
    // where it does.
    for (const std::optional<QString>& registry :
         {std::optional<QString>(), std::optional<QString>(QString::fromLatin1(kVKlay))}) {
        ScriptedDialogs dialogs;
        FakePlatform platform;
        platform.settings = h.platform.settings;
        platform.registryValue = registry;
        TForm1 next(dialogs, platform);
        next.FormActivate();
        QCOMPARE(next.Edit8->text(), registry ? QString::fromLatin1(kVKlay) : chosen);
    }
}

void TestForm1::filesGivenWithoutADialogSetTheirFolders() {
    Harness h;
    QDir(h.dir.path()).mkpath(QStringLiteral("images"));
    QDir(h.dir.path()).mkpath(QStringLiteral("tunes"));
    h.form->Start(h.Write(QStringLiteral("images/flash.bin"), SlotsFlash()));  // the command line
    DropOn(*h.form, h.Write(QStringLiteral("tunes/a.si3"), fx::Pattern(10, 1)), 1);
    QCOMPARE(h.Cell(1, 4), QStringLiteral("a.si3"));
    h.Choose(1, std::nullopt);
    QTest::mouseClick(h.form->Button2, Qt::LeftButton);
    const auto& shown = h.dialogs.fileDialogs;
    QCOMPARE(shown.size(), std::size_t{2});
    QCOMPARE(shown[0].folder, h.dir.filePath(QStringLiteral("tunes")));
    QCOMPARE(shown[1].folder, h.dir.filePath(QStringLiteral("images")));
}

QTEST_MAIN(TestForm1)
// Whatever the user does to the list (headers dragged wider, the wheel turned, a key that
// would scroll), each row's chosen mark and "..." button stay level with it, and "..." beside a
// row chooses for that row's slot.
void TestForm1::rowsAndTheirButtonsNeverPart() {
    Harness h;
    TForm1& f = *h.form;
    h.Open(h.Write(QStringLiteral("demo.bin"), fx::DemoFlash()));
    QHeaderView* header = f.ListView1->header();
    header->resizeSection(1, 60);
    header->resizeSection(2, 60);
    header->resizeSection(4, 300);
    QWidget* viewport = f.ListView1->viewport();
    for (int notch = 0; notch < 3; ++notch) {
        QWheelEvent wheel(QPointF(50, 50), viewport->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &wheel);
    }
    f.SelectRow(17);
    f.ListView1->scrollToItem(f.ListView1->topLevelItem(17));
    QCoreApplication::processEvents();

    QVERIFY(!f.ListView1->horizontalScrollBar()->isVisible());
    QWidget* box = f.GroupBox2;
    const int buttonX = f.ListView1->geometry().right() + 10;
    for (int row = 0; row < kSlotCount; ++row) {
        const QRect rect = f.ListView1->visualItemRect(f.ListView1->topLevelItem(row));
        QVERIFY2(rect.top() >= 0 && rect.bottom() < viewport->height(),  // all shown
                 qPrintable(f.Caption(row)));
        const QPoint at(buttonX, viewport->mapTo(box, rect.center()).y());
        QCOMPARE(box->childAt(at), h.More(row + 1));
        const QRect mark = h.Mark(row + 1)->geometry();
        QVERIFY2(mark.top() <= at.y() && at.y() <= mark.bottom(), qPrintable(f.Caption(row)));
        if (h.More(row + 1)->isEnabled()) {  // "..." at the row's height chooses for it
            const QString file = h.Write(QStringLiteral("row%1.si3").arg(row), fx::Pattern(20, 2));
            h.dialogs.fileAnswers.push_back(file);
            QTest::mouseClick(h.More(row + 1), Qt::LeftButton, {},
                              h.More(row + 1)->mapFrom(box, at));
            QCOMPARE(h.Cell(row, 4), QFileInfo(file).fileName());
        }
    }
}

// A dropped file that is neither an image nor a file for a slot is refused by its name, and
// another image (dropped or chosen) asks first while chosen files or new names wait to be
// written: "No", the default, keeps everything.
void TestForm1::aDropNeverEndsTheSession() {
    Harness h;
    TForm1& f = *h.form;
    const QString image = h.Write(QStringLiteral("flash.bin"), SlotsFlash());
    h.Open(image);
    h.Choose(2, h.Write(QStringLiteral("tune.si3"), fx::Pattern(20, 1)));
    f.SelectRow(0);
    QTest::mouseClick(f.Button1, Qt::LeftButton);
    TypeCaption(f, QStringLiteral("Mine"));
    QTRY_COMPARE(f.Caption(0), QStringLiteral("Mine"));

    struct Drop {
        QString path;
        ShownMessage::Kind shown;
    };
    const QString other = h.Write(QStringLiteral("other.BIN"), SlotsFlash());
    for (const Drop& d :
         {Drop{h.Write(QStringLiteral("song.mid"), fx::Pattern(64, 3)), ShownMessage::Message},
          Drop{h.Write(QStringLiteral("notes"), fx::Pattern(64, 4)), ShownMessage::Message},
          Drop{other, ShownMessage::Confirm}}) {
        h.dialogs.shown.clear();
        DropOn(f, d.path, -1);  // nothing queued: "No"
        QCOMPARE(h.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(h.dialogs.shown[0].kind, d.shown);
        QVERIFY(h.dialogs.shown[0].text.contains(QFileInfo(d.path).fileName()));
        QCOMPARE(f.Edit1->text(), image);
        QCOMPARE(h.Cell(1, 4), QStringLiteral("tune.si3"));
        QVERIFY(h.Mark(2)->isChecked());
        QCOMPARE(f.Caption(0), QStringLiteral("Mine"));
    }
    QVERIFY(h.dialogs.shown[0].text.contains(image));
    // The image dialog asks the same; "Yes" opens the other image.
    h.dialogs.confirmAnswers = {true};
    h.Open(other);
    QCOMPARE(h.dialogs.shown.back().kind, ShownMessage::Confirm);
    QCOMPARE(f.Edit1->text(), other);
}

#include "form1_test.moc"

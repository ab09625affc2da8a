// SPDX-License-Identifier: GPL-3.0-or-later
// The two hidden buttons: relocating sector A into a new file, and the free-space probe.
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "eeprom/relocation.h"
#include "fakes.h"
#include "image_builder.h"
#include "ui/form1.h"

using namespace carillon;
using namespace carillon::ui;
using namespace carillon::ui::testing;
namespace fx = carillon::fixtures;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bytes ToBytes(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

// A window with one image written and opened; the hidden buttons are enabled for the test.
struct Window {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    std::unique_ptr<TForm1> form;
    QString image;

    Window(const QString& name, const Bytes& bytes) {
        form = std::make_unique<TForm1>(dialogs, platform);
        form->show();
        form->FormActivate();
        QVERIFY(form->Button5->isHidden() && !form->Button5->isEnabled());
        QVERIFY(form->Button6->isHidden() && !form->Button6->isEnabled());
        image = dir.filePath(name);
        fx::WriteFile(LocalPath(image), bytes);
        dialogs.fileAnswers.push_back(image);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        dialogs.shown.clear();  // these images hold no slots: opening them says so
        form->Button5->setEnabled(true);
        form->Button6->setEnabled(true);
    }
    QString Relocated() const { return image + ".relopated.bin"; }
};

fx::Block At(std::uint16_t number, std::uint8_t status, std::uint16_t length, std::uint32_t address,
             std::uint8_t seed) {
    fx::Block b;
    b.number = number;
    b.status = status;
    b.length = length;
    b.address = address;
    b.content = fx::Pattern(length - 3u, seed);
    return b;
}

Bytes WithFreeRun(std::size_t before, std::size_t run) {
    Bytes bytes(before + run + 50, 0x00);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(before), run, std::uint8_t{0xFF});
    return bytes;
}

}  // namespace

class TestRelocateButtons : public QObject {
    Q_OBJECT

  private slots:
    void relocationWritesTheCompactCopyAndShowsTheLowestAddress();
    void relocationOfAFullFlash();
    void refusedImagesWriteNothing();
    void probeShowsWhereTheFirstFreeRunStarts();
};

void TestRelocateButtons::relocationWritesTheCompactCopyAndShowsTheLowestAddress() {
    // An EEPROM ".bin": valid 285 at 0xFA1000, stale 286 at 0xFA0020, valid 287 at 0xFA1100.
    const Bytes input = fx::FlashImage(ImageKind::EepromBin)
                            .Add(Sector::A, At(285, kStatusValid, 0x100, 0xFA1000, 1))
                            .Add(Sector::A, At(286, kStatusStale, 0x80, 0xFA0020, 2))
                            .Add(Sector::A, At(287, kStatusValid, 0x40, 0xFA1100, 3))
                            .Build();
    Window window(QStringLiteral("phone.bin"), input);
    fx::WriteFile(LocalPath(window.Relocated()), {'o', 'l', 'd'});  // replaced unasked
    QTest::mouseClick(window.form->Button6, Qt::LeftButton);

    QVERIFY(window.dialogs.shown.empty());
    QCOMPARE(window.form->Button6->text(), QStringLiteral("16384032"));
    const Bytes output = ToBytes(Read(window.Relocated()));
    QCOMPARE(output, RelocateSectorA(input, ImageKind::EepromBin, "phone.bin").image);
    QCOMPARE(output.size(), input.size());
    // Block 285's data now start the data area, block 287's follow it.
    QVERIFY(std::equal(input.begin() + 0x1000, input.begin() + 0x1100, output.begin() + 0x20));
    QVERIFY(std::equal(input.begin() + 0x1100, input.begin() + 0x1140, output.begin() + 0x120));
    QCOMPARE(ToBytes(Read(window.image)), input);
    QCOMPARE(window.form->OpenedImage().size(), input.size());
    QVERIFY(std::equal(input.begin(), input.end(), window.form->OpenedImage().begin()));
}

void TestRelocateButtons::relocationOfAFullFlash() {
    const Bytes input = fx::StandardFlash()
                            .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(700, 1), kStatusStale))
                            .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(600, 2)))
                            .Add(Sector::A, fx::SlotBlock(2, fx::Pattern(300, 3)))
                            .Build();
    Window window(QStringLiteral("flash.fls"), input);
    window.form->Button6Click();
    const Relocation expected = RelocateSectorA(input, ImageKind::FullFlash, "flash.fls");
    QCOMPARE(window.form->Button6->text(), QString::number(expected.result.lowestBlockAddress));
    QCOMPARE(ToBytes(Read(window.Relocated())), expected.image);
}

void TestRelocateButtons::refusedImagesWriteNothing() {
    // An ".eep" image has no header tables to compact.
    Window eep(QStringLiteral("phone.eep"), fx::EepImage().Slot(11, fx::Pattern(50, 1)).Build());
    eep.form->Button6Click();
    QCOMPARE(eep.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(eep.dialogs.shown[0].kind, ShownMessage::Report);
    QCOMPARE(eep.dialogs.shown[0].title, QStringLiteral("Carillon"));
    QVERIFY(!eep.dialogs.shown[0].text.isEmpty());
    QCOMPARE(eep.form->Button6->text(), QStringLiteral("relopate eep"));
    QCOMPARE(QDir(eep.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), qsizetype{1});

    // A sector A without valid or stale blocks, and an image that has gone away.
    Window empty(QStringLiteral("empty.bin"), fx::FlashImage(ImageKind::EepromBin).Build());
    empty.form->Button6Click();
    QCOMPARE(empty.dialogs.shown.size(), std::size_t{1});
    QVERIFY(!QFile::exists(empty.Relocated()));
    QFile::remove(empty.image);
    empty.form->Button6Click();
    QCOMPARE(empty.dialogs.shown.size(), std::size_t{2});
    QVERIFY(empty.dialogs.shown[1].text.startsWith(empty.image + ": "));
    QVERIFY(!QFile::exists(empty.Relocated()));
    QCOMPARE(empty.form->Button6->text(), QStringLiteral("relopate eep"));
}

void TestRelocateButtons::probeShowsWhereTheFirstFreeRunStarts() {
    Window window(QStringLiteral("probe.bin"), WithFreeRun(100, 15000));
    QTest::mouseClick(window.form->Button5, Qt::LeftButton);
    QCOMPARE(window.form->Button5->text(), QStringLiteral("101"));

    fx::WriteFile(LocalPath(window.image), WithFreeRun(100, 14999));  // read again each press
    window.form->Button5Click();
    QCOMPARE(window.form->Button5->text(), QStringLiteral("0"));

    QFile::remove(window.image);
    window.form->Button5Click();
    QCOMPARE(window.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(window.dialogs.shown[0].kind, ShownMessage::Report);
    QCOMPARE(window.form->Button5->text(), QStringLiteral("0"));
}

QTEST_MAIN(TestRelocateButtons)
#include "relocate_buttons_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// "Go" pressed in the window: the files a run writes, its summary, questions and launch.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>
#include <functional>
#include <memory>

#include "core/file_io.h"
#include "core/read_back.h"
#include "fakes.h"
#include "image_builder.h"
#include "patch/vkp_applier.h"
#include "support/damaged_tables.h"
#include "ui/form1.h"
#include "ui/slot_list.h"

using namespace carillon;
using namespace carillon::ui;
using namespace carillon::ui::testing;
namespace fx = carillon::fixtures;

namespace {

constexpr const char* kVKlay = "/opt/vklay/V_KLay.exe";
const QString kCarillon = QStringLiteral("Carillon");

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bytes ToBytes(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

// A full flash with slots 1, 2 and 11 found, opened in a window whose ".vkp" files go to a
// folder "program" of their own, and three replacement files.
struct Run {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    std::unique_ptr<TForm1> form;
    QString image;
    QString program;
    Bytes original;

    explicit Run(bool vklayExists = true) {
        platform.registryValue = QString::fromLatin1(kVKlay);
        if (vklayExists) {
            platform.existingFiles << QString::fromLatin1(kVKlay);
        }
        program = dir.filePath(QStringLiteral("program"));
        QDir().mkpath(program);
        platform.patchFolder = program;
        form = std::make_unique<TForm1>(dialogs, platform);
        form->show();
        form->FormActivate();

        original = fx::StandardFlash()
                       .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(700, 1)))
                       .Add(Sector::A, fx::SlotBlock(2, fx::Pattern(300, 2)))
                       .Add(Sector::B, fx::SlotBlock(11, fx::Pattern(900, 11)))
                       .Build();
        image = Write(QStringLiteral("flash.bin"), original);
        dialogs.fileAnswers.push_back(image);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        form->CheckBox2->setChecked(false);  // no timestamp unless a test wants one
    }

    QString Write(const QString& name, const Bytes& bytes) {
        const QString path = dir.filePath(name);
        fx::WriteFile(LocalPath(path), bytes);
        return path;
    }
    // Writes a replacement file and chooses it for slot n through the slot's "..." button.
    QString Choose(int n, const QString& name, std::size_t size) {
        const QString path = Write(name, fx::Pattern(size, static_cast<std::uint8_t>(40 + n)));
        dialogs.fileAnswers.push_back(path);
        QTest::mouseClick(form->ButtonM[static_cast<std::size_t>(n - 1)], Qt::LeftButton);
        return path;
    }
    // Selects row `row` with a click on it, as a user does; nothing when it is selected
    // already (a click on it would start editing its caption).
    void ClickRow(int row) {
        if (form->SelectedRow() == row) {
            return;
        }
        const QRect rect = form->ListView1->visualRect(form->ListView1->model()->index(row, 2));
        QTest::mouseClick(form->ListView1->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(form->SelectedRow(), row);
    }
    // Gives standard melody row `row` the new name `name` with "Edit Name".
    void Rename(int row, const QString& name) {
        ClickRow(row);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        TypeCaption(*form, name);
        QTRY_COMPARE(form->Caption(row), name);
    }
    QString Cell(int row, int column) const {
        return form->ListView1->topLevelItem(row)->text(column);
    }
    void Open(const QString& path) {
        dialogs.fileAnswers.push_back(path);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
    }
    void Go() {
        form->Timer1Timer();
        QVERIFY(form->Button3->isEnabled());
        QTest::mouseClick(form->Button3, Qt::LeftButton);
    }
    QString Vkp(const QString& base) const { return program + QLatin1Char('/') + base + ".vkp"; }
    QString Patched() const { return dir.filePath(QStringLiteral("flash__patched.bin")); }
    std::vector<ShownMessage> Messages() const {
        std::vector<ShownMessage> messages;
        for (const ShownMessage& m : dialogs.shown) {
            if (m.kind == ShownMessage::Message || m.kind == ShownMessage::Report) {
                messages.push_back(m);
            }
        }
        return messages;
    }
    // The one box the run showed, titled "Carillon".
    QString Summary() const {
        const auto messages = Messages();
        if (messages.size() != 1 || messages[0].kind != ShownMessage::Message ||
            messages[0].title != kCarillon) {
            return QStringLiteral("<not exactly one result box>");
        }
        return messages[0].text;
    }
    // The original image with the records of a ".vkp" text applied (every old byte checked).
    Bytes Applied(const QByteArray& vkp) const {
        Bytes expected = original;
        std::string error;
        if (!carillon::testing::ApplyVkp(vkp.toStdString(), 0, expected, error)) {
            qWarning("%s", error.c_str());
            return {};
        }
        return expected;
    }
};

int Blocks(const QByteArray& vkp) {
    return static_cast<int>(vkp.count("; this patch was created by\r\n"));
}

// A flash whose name table says "Ringtone" for slot 1 and holds no name for slot 2.
Bytes NamedFlash() {
    return fx::StandardFlash()
        .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(700, 1)))
        .Add(Sector::A, fx::SlotBlock(2, fx::Pattern(300, 2)))
        .MelodyName(1, "Ringtone")
        .Poke(static_cast<std::size_t>(SlotDef(2).nameAddress), Bytes(11, 0xFF))
        .Build();
}

int NameLines(const QByteArray& vkp, int slot) {
    const QByteArray address = QByteArray::fromStdString(FormatAddress(SlotDef(slot).nameAddress));
    return static_cast<int>(vkp.count("\r\n" + address + ": "));
}

}  // namespace

class TestPatchRun : public QObject {
    Q_OBJECT

  private slots:
    void singlePatchListsOneFileAndLaunchesVKlay();
    void perSlotListsEveryFileInSlotOrder();
    void everyChosenSlotFailing();
    void noSlotChosenStillLaunchesWithAnEmptyPatchPath();
    void directModeAsksNothingAboutVkpFiles();
    void patchedImageQuestion();
    void vklayModeNeverAsksAboutTheImage();
    void dontChangeMelodyNameGivesTheStoredNameBack();
    void rowsThatWouldWriteOneFileAreRefused();
    void writingOverTheOpenedImageOpensItAgain();
    void patchNamesStayInTheirFolder();
    void directModeWritesTheRunsRecordsApplied();
    void eepImageGetsAnEepPatchedImage();
    void inputOutputErrorsEndTheRunAndFreeTheList();
    void timestampFromTheClockStaysInOneFileName();
    void goDuringARunIsIgnored();
    void oversizedFileWarnsAtChoiceAndAsksAtGo();
    void storedNamesAreShownAndKept();
    void noNameTableMeansNoNameLine();
    void dontChangeMelodyNameIsHonoured();
    void slotListIsLockedDuringARun();
    void vklayThatCannotStartIsReported();
    void aWrittenFileThatFailsItsCheckIsNeverSilent();
    void saveContentAsWritesWhatTheSlotHolds();
    void unsoundSlotsAreMarkedAndNeverWritten();
    void aChangedImageIsNeverWrittenOver();
    void aNameOfBlanksIsRefused();
    void perSlotFilesTakeTheirRowsCaptionsAtTheRun();
    void controlsFollowTheStateAndAMissingVKlayIsNeverStarted();
    void aFifoIsNoFileForASlot();
};

void TestPatchRun::singlePatchListsOneFileAndLaunchesVKlay() {
    Run run;
    QVERIFY(run.form->CheckBox4->isChecked());
    run.Choose(11, QStringLiteral("user.si3"), 500);
    run.Choose(1, QStringLiteral("one.si3"), 5000);  // larger than the slot: cut
    run.Choose(2, QStringLiteral("two.si3"), 10);
    run.dialogs.confirmAnswers = {true};  // cut it
    run.Go();

    const QString vkp = run.Vkp(QStringLiteral("All_Patches"));
    const QString cut = QStringLiteral("Cut: \"Classic 1\" holds 3400 of 5000 bytes\r\n");
    QCOMPARE(run.Summary(), "Done!\r\n\r\nPatches Created: \r\n" + vkp + "\r\n" + cut);
    const QByteArray text = Read(vkp);
    QCOMPARE(Blocks(text), 3);
    QVERIFY(text.indexOf("\"one.si3\"") < text.indexOf("\"two.si3\""));
    QVERIFY(text.indexOf("\"two.si3\"") < text.indexOf("User Melody 1 to \"user.si3\""));
    QCOMPARE(run.form->Working(), run.Applied(text));
    QVERIFY(!QFile::exists(run.Patched()));
    QCOMPARE(run.form->LastPatch(), LocalPath(vkp));
    QVERIFY(run.form->ListView1->isEnabled());
    QCOMPARE(run.form->SelectedRow(), 10);  // the last chosen slot stays selected

    QCOMPARE(run.platform.launches.size(), std::size_t{1});
    QCOMPARE(run.platform.launches[0].program, QString::fromLatin1(kVKlay));
    QCOMPARE(run.platform.launches[0].argument, vkp);

    // Without a timestamp a second run appends to the same file, without a question.
    run.dialogs.shown.clear();
    run.dialogs.confirmAnswers = {true};
    run.Go();
    QCOMPARE(Blocks(Read(vkp)), 6);
    QCOMPARE(run.Summary(), "Done!\r\n\r\nPatches Created: \r\n" + vkp + "\r\n" + cut);
}

void TestPatchRun::perSlotListsEveryFileInSlotOrder() {
    Run run;
    run.form->CheckBox1->setChecked(false);
    QVERIFY(!run.form->CheckBox4->isChecked());
    run.Choose(11, QStringLiteral("user.si3"), 500);
    run.Choose(2, QStringLiteral("two.si3"), 10);
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.form->ListView1->topLevelItem(0)->setText(0, QStringLiteral("My Tune"));
    run.form->CheckBox2->setChecked(true);  // per-slot names carry the clock's stamp
    run.form->SelectRow(17);                // the run's selections name the files
    run.platform.clock = {QStringLiteral("08.12.2026"), QStringLiteral("02:03:04")};
    run.Go();

    const QString stamp = QStringLiteral("__08-12-2026__02-03-04");
    const QStringList files = {run.Vkp("My_Tune" + stamp), run.Vkp("Classic_2" + stamp),
                               run.Vkp("User_Melody_1" + stamp)};
    QCOMPARE(run.Summary(), "Done!\r\n\r\nPatches Created: \r\n" + files.join("\r\n") + "\r\n");
    for (const QString& file : files) {
        QCOMPARE(Blocks(Read(file)), 1);
    }
    // The renamed melody's comment keeps its stock name; its name line gives the new one.
    const QByteArray first = Read(files[0]);
    QVERIFY(first.contains("; Change standard melody \"Classic 1\" to \"one.si3\"\r\n"));
    QVERIFY(first.contains(" 4D792054756E6520202020\r\n"));
    QVERIFY(run.platform.launches.empty());
}

void TestPatchRun::everyChosenSlotFailing() {
    Run run;
    const QString one = run.Choose(1, QStringLiteral("one.si3"), 20);
    const QString user = run.Choose(11, QStringLiteral("user.si3"), 20);
    QFile::remove(one);
    QFile::remove(user);
    run.form->ListView1->topLevelItem(0)->setText(0, QStringLiteral("Renamed"));
    run.Go();

    QCOMPARE(run.Summary(), QStringLiteral("Done!\r\n\r\nPatches Created: None\r\n\r\n"
                                           "Patches not created:\r\n"
                                           "\"Classic 1\" to \"one.si3\"  (ERROR: File not "
                                           "found)\r\n"
                                           "\"User Melody 1\" to \"user.si3\"  (ERROR: File not "
                                           "found)\r\n"));
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Error);
    QCOMPARE(run.dialogs.shown[0].text, "Melody file " + one + " does not exist!");
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("All_Patches"))));
    QCOMPARE(run.form->Working(), run.original);
    // Auto run does not depend on what this run created.
    QCOMPARE(run.platform.launches.size(), std::size_t{1});
}

void TestPatchRun::noSlotChosenStillLaunchesWithAnEmptyPatchPath() {
    Run run;
    run.Go();
    QCOMPARE(run.Summary(), QStringLiteral("Done!\r\n\r\nPatches Created: None\r\n"));
    QCOMPARE(run.platform.launches.size(), std::size_t{1});
    QCOMPARE(run.platform.launches[0].program, QString::fromLatin1(kVKlay));
    QVERIFY(run.platform.launches[0].argument.isEmpty());

    // Without V_KLay's program file, auto run is off and nothing is started.
    Run missing(false);
    missing.Go();
    QVERIFY(missing.platform.launches.empty());
}

void TestPatchRun::directModeAsksNothingAboutVkpFiles() {
    // Per-slot direct mode writes no ".vkp" file: an existing one is neither asked about nor
    // touched, and every chosen slot goes into the image.
    Run run;
    run.form->CheckBox1->setChecked(false);
    run.form->RadioButton1->setChecked(true);
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.Choose(2, QStringLiteral("two.si3"), 30);
    const QString existing = run.Write(QStringLiteral("program/Classic_1.vkp"), {'o', 'l', 'd'});
    run.form->SelectRow(17);
    run.Go();

    QCOMPARE(run.Summary(), "Done!\r\n\r\nFiles patched: \r\n" + run.Patched());
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(Read(existing), QByteArray("old"));
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("Classic_2"))));
    const Bytes written = ToBytes(Read(run.Patched()));
    QCOMPARE(written, run.form->Working());
    for (const auto& [n, size] : {std::pair{1, 20}, std::pair{2, 30}}) {
        const Bytes file = fx::Pattern(static_cast<std::size_t>(size), std::uint8_t(40 + n));
        const auto at = run.form->SlotRecords()[std::size_t(n - 1)].Address;
        QVERIFY(std::equal(file.begin(), file.end(), written.begin() + at));
    }
}

void TestPatchRun::patchedImageQuestion() {
    // Without a backup the opened file is the target: the question always comes, and No
    // aborts before any slot is handled.
    Run run;
    run.form->RadioButton1->setChecked(true);
    run.form->CheckBox5->setChecked(false);
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.Go();
    QCOMPARE(run.dialogs.shown.size(), std::size_t{2});
    QCOMPARE(run.dialogs.shown[0].text, "File \"" + run.image + "\" already exist!\r\nReplace it?");
    QCOMPARE(run.dialogs.shown[1].kind, ShownMessage::Message);
    QCOMPARE(run.dialogs.shown[1].title, kCarillon);
    QCOMPARE(run.dialogs.shown[1].text,
             QStringLiteral("Patches created: None\r\n\r\nERROR: aborted by user (file already "
                            "exist)"));
    QCOMPARE(ToBytes(Read(run.image)), run.original);
    QCOMPARE(run.form->Working(), run.original);
    QVERIFY(run.form->ListView1->isEnabled());
    QVERIFY(run.platform.launches.empty());
    QCOMPARE(QDir(run.dir.path()).entryList(QDir::Files).size(), qsizetype{2});
}

void TestPatchRun::vklayModeNeverAsksAboutTheImage() {
    // A V_KLay run writes ".vkp" files only: neither the opened file nor an old patched image
    // beside it is asked about, and nothing of them changes.
    struct Case {
        const char* name;
        bool backupOff;   // set through "patch file directly" first
        bool oldPatched;  // a patched image of an earlier run lies beside the image
        bool choose;
    };
    for (const Case& c :
         {Case{"without backup", true, false, true}, Case{"old patched image", false, true, true},
          Case{"no slot chosen", true, true, false}}) {
        Run run;
        if (c.backupOff) {
            QTest::mouseClick(run.form->RadioButton1, Qt::LeftButton);
            QTest::mouseClick(run.form->CheckBox5, Qt::LeftButton);
            QTest::mouseClick(run.form->RadioButton2, Qt::LeftButton);
            QVERIFY(run.form->RadioButton2->isChecked() && !run.form->CheckBox5->isChecked());
        }
        if (c.oldPatched) {
            run.Write(QStringLiteral("flash__patched.bin"), {'o', 'l', 'd'});
        }
        if (c.choose) {
            run.Choose(1, QStringLiteral("one.si3"), 20);
        }
        run.Go();
        for (const ShownMessage& m : run.dialogs.shown) {
            QVERIFY2(m.kind != ShownMessage::Confirm, c.name);
        }
        const QString vkp = run.Vkp(QStringLiteral("All_Patches"));
        QCOMPARE(run.Summary(), QStringLiteral("Done!\r\n\r\nPatches Created: ") +
                                    (c.choose ? "\r\n" + vkp + "\r\n" : "None\r\n"));
        QCOMPARE(ToBytes(Read(run.image)), run.original);
        if (c.oldPatched) {
            QCOMPARE(Read(run.Patched()), QByteArray("old"));
        }
    }
}

void TestPatchRun::directModeWritesTheRunsRecordsApplied() {
    Run run;
    run.Choose(1, QStringLiteral("one.si3"), 5000);
    run.Choose(2, QStringLiteral("two.si3"), 0);
    run.Choose(11, QStringLiteral("user.si3"), 2561);  // exactly the capacity
    run.form->ListView1->topLevelItem(0)->setText(0, QStringLiteral("My Tune"));
    const QString cut = QStringLiteral("\r\nCut: \"My Tune\" holds 3400 of 5000 bytes\r\n");
    run.dialogs.confirmAnswers = {true};
    run.Go();  // V_KLay mode first: the records of the run
    const QByteArray vkp = Read(run.Vkp(QStringLiteral("All_Patches")));
    const Bytes expected = run.Applied(vkp);
    QVERIFY(!expected.empty());

    // A direct run with the same choices writes the image with those records applied.
    run.form->RadioButton1->setChecked(true);
    run.dialogs.shown.clear();
    run.dialogs.confirmAnswers = {true};
    run.Go();
    QCOMPARE(run.Summary(), "Done!\r\n\r\nFiles patched: \r\n" + run.Patched() + cut);
    QCOMPARE(ToBytes(Read(run.Patched())), expected);
    QCOMPARE(ToBytes(Read(run.image)), run.original);

    // Without a backup, Yes replaces the opened file with the same bytes.
    run.form->CheckBox5->setChecked(false);
    run.dialogs.confirmAnswers = {true, true};
    run.dialogs.shown.clear();
    run.Go();
    QCOMPARE(run.dialogs.shown.back().text, "Done!\r\n\r\nFiles patched: \r\n" + run.image + cut);
    QCOMPARE(ToBytes(Read(run.image)), expected);
    QCOMPARE(QDir(run.dir.path())
                 .entryList({QStringLiteral("*.bin*")}, QDir::Files | QDir::Hidden)
                 .size(),
             qsizetype{2});  // no temporary file left beside them
}

void TestPatchRun::eepImageGetsAnEepPatchedImage() {
    Run run;
    const Bytes eep = fx::EepImage().Slot(11, fx::Pattern(100, 5)).Build();
    const QString path = run.Write(QStringLiteral("phone.eep"), eep);
    run.dialogs.fileAnswers.push_back(path);
    QTest::mouseClick(run.form->Button2, Qt::LeftButton);
    QVERIFY(run.form->RadioButton1->isChecked());
    run.Choose(11, QStringLiteral("user.si3"), 40);
    run.Go();
    const QString patched = run.dir.filePath(QStringLiteral("phone__patched.eep"));
    QCOMPARE(run.Summary(), "Done!\r\n\r\nFiles patched: \r\n" + patched);
    const Bytes written = ToBytes(Read(patched));
    QCOMPARE(written.size(), eep.size());
    QCOMPARE(written, run.form->Working());
    QVERIFY(written != eep);
}

void TestPatchRun::inputOutputErrorsEndTheRunAndFreeTheList() {
    // The ".vkp" folder cannot be written: the first slot ends the run with the error report.
    Run run;
    run.platform.patchFolder = run.dir.filePath(QStringLiteral("missing"));
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.Choose(2, QStringLiteral("two.si3"), 20);
    run.Go();
    const auto messages = run.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].kind, ShownMessage::Report);
    QCOMPARE(messages[0].title, kCarillon);
    QVERIFY(messages[0].text.startsWith(run.platform.patchFolder + "/All_Patches.vkp: "));
    QVERIFY(run.form->ListView1->isEnabled());
    QVERIFY(run.platform.launches.empty());

    // The patched image cannot replace what stands at its path (a folder): reported, and
    // the folder is left as it was.
    Run direct;
    direct.form->RadioButton1->setChecked(true);
    direct.Choose(1, QStringLiteral("one.si3"), 20);
    QVERIFY(QDir().mkdir(direct.Patched()));
    direct.Go();
    const auto report = direct.Messages();
    QCOMPARE(report.size(), std::size_t{1});
    QCOMPARE(report[0].kind, ShownMessage::Report);
    QVERIFY(report[0].text.startsWith(direct.Patched() + ": "));
    QVERIFY(QFileInfo(direct.Patched()).isDir());
    QVERIFY(direct.form->ListView1->isEnabled());

    // The list is usable again: the next run works once the problem is gone.
    QDir().rmdir(direct.Patched());
    direct.dialogs.shown.clear();
    direct.Go();
    QCOMPARE(direct.Summary(), "Done!\r\n\r\nFiles patched: \r\n" + direct.Patched());
}

void TestPatchRun::timestampFromTheClockStaysInOneFileName() {
    Run run;
    run.form->CheckBox2->setChecked(true);
    run.platform.clock = {QStringLiteral("12/8/26"), QStringLiteral("3:04:05 AM")};
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.form->Edit5->setText(QStringLiteral("My.Patch"));  // kept as typed
    run.Go();
    const QString stamp = QStringLiteral("__12-8-26__3-04-05 AM");
    const QString vkp = run.Vkp("My.Patch" + stamp);
    QCOMPARE(run.Summary(), "Done!\r\n\r\nPatches Created: \r\n" + vkp + "\r\n");
    QCOMPARE(Blocks(Read(vkp)), 1);
    QCOMPARE(QDir(run.program).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
             qsizetype{1});

    run.form->RadioButton1->setChecked(true);
    run.dialogs.shown.clear();
    run.Go();
    const QString patched = run.dir.filePath("flash__patched" + stamp + ".bin");
    QCOMPARE(run.Summary(), "Done!\r\n\r\nFiles patched: \r\n" + patched);
    QVERIFY(QFileInfo(patched).isFile());
}

void TestPatchRun::goDuringARunIsIgnored() {
    // While the list is disabled a run is under way; "Go" must not start a second one.
    Run run;
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.form->ListView1->setEnabled(false);
    run.form->Button3Click();
    QVERIFY(run.dialogs.shown.empty());
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("All_Patches"))));
}

void TestPatchRun::aWrittenFileThatFailsItsCheckIsNeverSilent() {
    // From the `from`-th written file on, one byte near the end changes before the read-back.
    int writes = 0;
    const auto corruptFrom = [&writes](int from) {
        writes = 0;
        SetReadBackHook([&writes, from](const std::string& path) {
            if (++writes >= from) {
                QFile file(QString::fromStdString(path));
                QVERIFY(file.open(QIODevice::ReadWrite));
                QVERIFY(file.seek(file.size() - 3));
                file.write("0");
            }
        });
    };
    Run run;
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.Choose(11, QStringLiteral("user.si3"), 500);
    corruptFrom(2);
    run.Go();
    const QString vkp = run.Vkp(QStringLiteral("All_Patches"));
    QCOMPARE(run.Summary(), "Done!\r\n\r\nPatches Created: \r\n" + vkp +
                                "\r\n\r\nPatches not created:\r\n\"User Melody 1\" to "
                                "\"user.si3\"  (ERROR: Patch failed its check)\r\n");
    QCOMPARE(Blocks(Read(vkp)), 1);  // the failed block was cut off again
    QCOMPARE(run.form->Working(), run.Applied(Read(vkp)));

    run.form->RadioButton1->setChecked(true);
    run.dialogs.shown.clear();
    corruptFrom(1);
    run.Go();
    SetReadBackHook({});
    const auto messages = run.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].kind, ShownMessage::Report);
    QCOMPARE(messages[0].text, run.Patched() + ": The written file failed its check (byte " +
                                   QString::number(run.original.size() - 3) +
                                   " reads back differently); nothing was written");
    QVERIFY(!QFile::exists(run.Patched()));
}

void TestPatchRun::oversizedFileWarnsAtChoiceAndAsksAtGo() {
    Run run;
    run.Choose(2, QStringLiteral("big.si3"), 5000);  // the slot holds 3400
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Warning);
    const QString description =
        QStringLiteral("\"Classic 2\": big.si3 has 5000 bytes, the slot holds 3400 (1600 cut)");
    QCOMPARE(run.dialogs.shown[0].text,
             "This file is larger than its slot; only its first bytes would be written:\r\n" +
                 description);
    const QTreeWidgetItem* row = run.form->ListView1->topLevelItem(1);
    QCOMPARE(row->text(4), QStringLiteral("big.si3"));  // the file stays chosen, marked
    QVERIFY(!row->icon(4).isNull());
    QVERIFY(row->toolTip(4).endsWith("\n" + description));
    run.Choose(1, QStringLiteral("small.si3"), 20);
    QVERIFY(run.form->ListView1->topLevelItem(0)->icon(4).isNull());

    // "Go" asks first, before the patched image's question; No writes and shows nothing more.
    run.Write(QStringLiteral("flash__patched.bin"), {'k'});
    run.dialogs.shown.clear();
    run.Go();
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Confirm);
    QVERIFY(run.dialogs.shown[0].text.contains(description));
    QVERIFY(!run.dialogs.shown[0].text.contains(QStringLiteral("small.si3")));
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("All_Patches"))));
    QCOMPARE(run.form->Working(), run.original);
    QVERIFY(run.platform.launches.empty());
    QVERIFY(run.form->ListView1->isEnabled());
}

void TestPatchRun::storedNamesAreShownAndKept() {
    Run run;
    run.Open(run.Write(QStringLiteral("named.bin"), NamedFlash()));
    QCOMPARE(run.form->Caption(0), QStringLiteral("Ringtone"));
    QCOMPARE(run.form->Caption(1), QStringLiteral("Classic 2"));  // no stored name: stock
    run.form->CheckBox1->setChecked(false);
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.form->SelectRow(17);
    run.Go();
    const QByteArray vkp = Read(run.Vkp(QStringLiteral("Ringtone")));  // named after the caption
    QCOMPARE(Blocks(vkp), 1);
    QVERIFY(vkp.contains("; Change standard melody \"Classic 1\" to \"one.si3\""));
    QCOMPARE(NameLines(vkp, 1), 0);  // the unedited caption keeps the phone's name

    // Every image brings its own names: the edit belonged to the one before.
    run.form->ListView1->topLevelItem(0)->setText(0, QStringLiteral("Edited"));
    run.Open(run.image);
    QCOMPARE(run.form->Caption(0), QStringLiteral("Classic 1"));
}

void TestPatchRun::noNameTableMeansNoNameLine() {
    Run run;
    run.Open(run.Write(QStringLiteral("named.bin"), NamedFlash()));
    run.form->SelectRow(1);
    QVERIFY(run.form->CheckBox3->isChecked() && !run.form->CheckBox3->isEnabled());
    QVERIFY(!run.form->Button1->isEnabled());
    QVERIFY(!run.form->Button1->toolTip().isEmpty());
    QVERIFY(!(run.form->ListView1->topLevelItem(1)->flags() & Qt::ItemIsEditable));
    run.form->SelectRow(0);
    QVERIFY(run.form->Button1->isEnabled() && run.form->Button1->toolTip().isEmpty());
    QVERIFY(run.form->ListView1->topLevelItem(0)->flags() & Qt::ItemIsEditable);

    // Even a caption changed behind the window's back writes no name there.
    run.form->ListView1->topLevelItem(1)->setText(0, QStringLiteral("Forced"));
    run.Choose(2, QStringLiteral("two.si3"), 20);
    run.Go();
    const QByteArray vkp = Read(run.Vkp(QStringLiteral("All_Patches")));
    QCOMPARE(Blocks(vkp), 1);
    QCOMPARE(NameLines(vkp, 2), 0);
}

void TestPatchRun::dontChangeMelodyNameIsHonoured() {
    Run run;
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.form->ListView1->topLevelItem(0)->setText(0, QStringLiteral("My Tune"));
    run.form->SelectRow(0);
    run.form->CheckBox3->setChecked(true);
    run.Go();  // row 0 is selected already: the run keeps the box as the user left it
    QCOMPARE(NameLines(Read(run.Vkp(QStringLiteral("All_Patches"))), 1), 0);

    run.form->CheckBox3->setChecked(false);
    run.Go();
    QCOMPARE(NameLines(Read(run.Vkp(QStringLiteral("All_Patches"))), 1), 1);
}

void TestPatchRun::dontChangeMelodyNameGivesTheStoredNameBack() {
    Run run;
    run.Rename(1, QStringLiteral("NewName"));
    run.Choose(2, QStringLiteral("two.si3"), 20);
    QTest::mouseClick(run.form->CheckBox3, Qt::LeftButton);
    QCOMPARE(run.form->Caption(1), QStringLiteral("Classic 2"));  // the name the image stores
    run.ClickRow(2);  // "Pop 1": the box follows the selection again
    QVERIFY(!run.form->CheckBox3->isChecked());
    run.Go();
    const QByteArray vkp = Read(run.Vkp(QStringLiteral("All_Patches")));
    QCOMPARE(Blocks(vkp), 1);
    QCOMPARE(NameLines(vkp, 2), 0);
    QVERIFY(!vkp.contains("4E65774E616D65"));

    // Named again after a tick, the melody's new name is meant: the tick goes, the name is
    // written.
    run.ClickRow(1);
    QTest::mouseClick(run.form->CheckBox3, Qt::LeftButton);
    run.Rename(1, QStringLiteral("Again"));
    QVERIFY(!run.form->CheckBox3->isChecked());
    run.Go();
    QCOMPARE(NameLines(Read(run.Vkp(QStringLiteral("All_Patches"))), 2), 1);
}

void TestPatchRun::rowsThatWouldWriteOneFileAreRefused() {
    // Per-slot files are named after the rows; two rows that give one file name stop the run
    // before anything is asked or written.
    struct Case {
        QString first;   // new name of "Classic 1", or empty
        QString second;  // new name of "Classic 2"
        bool stamp;
        QString file;
    };
    for (const Case& c : {Case{{}, QStringLiteral("Classic 1"), false, QStringLiteral("Classic_1")},
                          Case{QStringLiteral("Pop 1"), QStringLiteral("Pop_1"), true,
                               QStringLiteral("Pop_1__08-12-2026__02-03-04")}}) {
        Run run;
        QTest::mouseClick(run.form->CheckBox1, Qt::LeftButton);
        run.form->CheckBox2->setChecked(c.stamp);
        run.Choose(1, QStringLiteral("one.si3"), 5000);  // would be cut: asked only if it runs
        run.Choose(2, QStringLiteral("two.si3"), 20);
        if (!c.first.isEmpty()) {
            run.Rename(0, c.first);
        }
        run.Rename(1, c.second);
        run.dialogs.shown.clear();
        run.Go();
        QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Warning);
        QCOMPARE(run.dialogs.shown[0].text,
                 QStringLiteral("\"%1\" (slot 1) and \"%2\" (slot 2) would both write %3; give one "
                                "of them another name. Nothing was written.")
                     .arg(run.form->Caption(0), c.second, run.Vkp(c.file)));
        QVERIFY(QDir(run.program).isEmpty());
        QCOMPARE(run.form->Working(), run.original);
        QVERIFY(run.form->ListView1->isEnabled());
    }
}

void TestPatchRun::writingOverTheOpenedImageOpensItAgain() {
    Run run;
    QTest::mouseClick(run.form->RadioButton1, Qt::LeftButton);
    QTest::mouseClick(run.form->CheckBox5, Qt::LeftButton);
    const QString two = run.Choose(2, QStringLiteral("two.si3"), 1119);  // the slot holds 300
    run.Rename(0, QStringLiteral("Waiting"));                            // no file: not written
    run.dialogs.confirmAnswers = {true};
    run.Go();

    // The list shows what the file holds now, and keeps the user's choices.
    QCOMPARE(run.form->ListView1->topLevelItem(1)->text(1), QStringLiteral("1119"));
    QCOMPARE(run.form->SlotRecords()[1].FileName, LocalPath(two));
    QVERIFY(run.form->CheckBoxM[1]->isChecked());
    QCOMPARE(run.form->Caption(0), QStringLiteral("Waiting"));
    QCOMPARE(run.form->Working(), ToBytes(Read(run.image)));
    const QString saved = run.dir.filePath(QStringLiteral("saved.si3"));
    run.dialogs.saveAnswers.push_back(saved);
    run.form->SaveContentClick(1);
    QCOMPARE(Read(saved), Read(two));
    // The new name of a row without a file was not written, and the closing box says so.
    QCOMPARE(run.Summary(), "Done!\r\n\r\nFiles patched: \r\n" + run.image +
                                "\r\nName \"Waiting\" not written: \"Classic 1\" has no file "
                                "chosen\r\n");
}

void TestPatchRun::patchNamesStayInTheirFolder() {
    // "../escaped" would be written one folder up (the other refused names: RunChecks).
    Run run;
    run.Choose(1, QStringLiteral("one.si3"), 20);
    run.form->Edit5->selectAll();
    QTest::keyClicks(run.form->Edit5, QStringLiteral("../escaped"));
    run.Go();
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Warning);
    QVERIFY(run.dialogs.shown[0].text.startsWith(QStringLiteral("The patch name \"../escaped\"")));
    QCOMPARE(QDir(run.dir.path()).entryList(QDir::Files).size(), qsizetype{2});
    QVERIFY(QDir(run.program).isEmpty());
    QVERIFY(run.platform.launches.empty());
}

void TestPatchRun::slotListIsLockedDuringARun() {
    Run run;
    const QString gone = run.Choose(1, QStringLiteral("gone.si3"), 20);
    QFile::remove(gone);  // its error box comes half-way through the run
    std::vector<bool> enabledWhenShown;
    run.dialogs.onShow = [&](const ShownMessage&) {
        enabledWhenShown.push_back(run.form->ListView1->isEnabled());
    };
    run.Go();
    QCOMPARE(enabledWhenShown, (std::vector<bool>{false, false}));  // error box, summary
    QVERIFY(run.form->ListView1->isEnabled());
}

void TestPatchRun::vklayThatCannotStartIsReported() {
    Run run;
    run.platform.startError = QStringLiteral("wine: No such file or directory");
    run.Go();
    const ShownMessage& last = run.dialogs.shown.back();
    QCOMPARE(last.kind, ShownMessage::Error);
    QVERIFY(last.text.contains(QString::fromLatin1(kVKlay)));
    QVERIFY(last.text.contains(QStringLiteral("wine: No such file or directory")));
}

void TestPatchRun::saveContentAsWritesWhatTheSlotHolds() {
    Run run;
    QMenu* menu = run.form->SlotMenu(0);
    const QAction* save = menu->findChild<QAction*>(QStringLiteral("SaveContent"));
    QVERIFY(save != nullptr);
    QCOMPARE(save->text(), QStringLiteral("Save content as..."));
    QVERIFY(save->isEnabled());

    run.form->SaveContentClick(0);  // cancelled: nothing written
    QCOMPARE(run.dialogs.saveDialogs.size(), std::size_t{1});
    QCOMPARE(run.dialogs.saveDialogs[0].fileName, QStringLiteral("Classic_1.si3"));
    QCOMPARE(run.dialogs.saveDialogs[0].filter, QStringLiteral("Melodies (*.si3)|*.si3"));

    const QString saved = run.dir.filePath(QStringLiteral("saved.si3"));
    run.dialogs.saveAnswers.push_back(saved);
    run.form->SaveContentClick(0);
    QCOMPARE(ToBytes(Read(saved)), fx::Pattern(700, 1));
    QVERIFY(run.dialogs.shown.empty());
    // The image itself is never the target: refused in the error report.
    run.dialogs.saveAnswers.push_back(run.image);
    run.form->Guard([&run] { run.form->SaveContentClick(0); });
    QCOMPARE(ToBytes(Read(run.image)), run.original);
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Report);
}

void TestPatchRun::unsoundSlotsAreMarkedAndNeverWritten() {
    Run run;
    run.Open(run.Write(QStringLiteral("sound.bin"),
                       carillon::test_support::FlashWith([](fx::FlashImage& image) {
                           image.Add(Sector::A, fx::SlotBlock(4, fx::Pattern(400, 4)));
                       })));
    run.Choose(4, QStringLiteral("pop.si3"), 100);  // chosen while the image is sound
    QVERIFY(run.form->CheckBoxM[3]->isChecked());
    // Slot 4's header now points into slot 10's block.
    const QString damaged =
        run.Write(QStringLiteral("damaged.bin"), carillon::test_support::DamagedTables()[0].image);
    run.dialogs.confirmAnswers = {true};  // open it, though the chosen file is not written yet
    run.Open(damaged);
    const QString reason = QStringLiteral(
        "slot 4 (Pop 2) overlaps slot 10 (Folklore 3): the image's block table is "
        "damaged");
    // The row's found picture gives way to a warning mark; the address stays readable.
    const QTreeWidgetItem* row = run.form->ListView1->topLevelItem(3);
    const QTreeWidgetItem* sound = run.form->ListView1->topLevelItem(0);
    const auto picture = [](const QTreeWidgetItem* item) {
        return item->icon(0).pixmap(2 * kIconSize + kIconGap, kIconSize).toImage();
    };
    QVERIFY(picture(row) != picture(sound));
    QCOMPARE(row->text(3),
             QString::fromStdString(FormatAddress(run.form->SlotRecords()[3].Address)));
    QVERIFY2(row->toolTip(0).startsWith(reason), qPrintable(row->toolTip(0)));
    QVERIFY2(row->toolTip(3).startsWith(reason), qPrintable(row->toolTip(3)));
    QVERIFY(sound->toolTip(3).isEmpty());

    // "Go" with the row still marked: refused before anything is written.
    run.dialogs.shown.clear();
    run.Go();
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Warning);
    QVERIFY(run.dialogs.shown[0].text.startsWith(reason));
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("All_Patches"))));
    QVERIFY(run.form->ListView1->isEnabled());

    // Choosing a file for it, by its button or by a drop, is refused with the same reason.
    run.dialogs.shown.clear();
    const std::size_t dialogsBefore = run.dialogs.fileDialogs.size();
    QTest::mouseClick(run.form->ButtonM[3], Qt::LeftButton);
    QCOMPARE(run.dialogs.fileDialogs.size(), dialogsBefore);
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QVERIFY(run.dialogs.shown[0].text.startsWith(reason));
    // Nor is its content saved.
    const QAction* save = run.form->SlotMenu(3)->findChild<QAction*>(QStringLiteral("SaveContent"));
    QVERIFY(save != nullptr && !save->isEnabled());
}

QTEST_MAIN(TestPatchRun)
// A run works from the bytes read when the image was opened. When the file changed since
// (another program, or a second window writing in place), no mode writes anything: the box names
// the file and offers to open it again, keeping the chosen files and names.
void TestPatchRun::aChangedImageIsNeverWrittenOver() {
    for (const bool direct : {true, false}) {
        Run run;
        run.Choose(2, QStringLiteral("two.si3"), 100);
        if (direct) {
            QTest::mouseClick(run.form->RadioButton1, Qt::LeftButton);
            run.form->CheckBox5->click();  // no backup: the opened file is written
        }
        Bytes changed = run.original;  // 16 bytes changed elsewhere
        std::fill_n(changed.begin() + 0x1000, 16, std::uint8_t{0x5A});
        fx::WriteFile(LocalPath(run.image), changed);
        run.Go();  // "open it again?": no answer queued, so "No"
        QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Confirm);
        QVERIFY(run.dialogs.shown[0].text.startsWith(
            run.image + QStringLiteral(" changed since it was opened; open it again")));
        QCOMPARE(ToBytes(Read(run.image)), changed);
        QVERIFY(QDir(run.program).isEmpty());
        QVERIFY(run.platform.launches.empty());

        // "Yes" opens it again with the choice kept; the next run keeps the outside change.
        run.dialogs.shown.clear();
        run.dialogs.confirmAnswers = {true};  // open it again
        run.Go();
        QCOMPARE(run.Cell(1, 4), QStringLiteral("two.si3"));
        QVERIFY(run.form->CheckBoxM[1]->isChecked());
        run.dialogs.confirmAnswers = {true};
        run.Go();
        if (direct) {
            const Bytes written = ToBytes(Read(run.image));
            QVERIFY(std::equal(written.begin() + 0x1000, written.begin() + 0x1010,
                               changed.begin() + 0x1000));
            QVERIFY(written != changed);
        } else {
            QVERIFY(QFile::exists(run.Vkp(QStringLiteral("All_Patches"))));
        }
    }

    // Two windows on one file: the second write in place is refused.
    Run run;
    TForm1 second(run.dialogs, run.platform);
    second.show();
    second.FormActivate();
    run.dialogs.fileAnswers.push_back(run.image);
    QTest::mouseClick(second.Button2, Qt::LeftButton);
    for (TForm1* window : {run.form.get(), &second}) {
        run.dialogs.fileAnswers.push_back(
            run.Write(QStringLiteral("tune.si3"), fx::Pattern(50, 7)));
        QTest::mouseClick(window->ButtonM[window == &second ? 0 : 1], Qt::LeftButton);
        QTest::mouseClick(window->RadioButton1, Qt::LeftButton);
        window->CheckBox5->click();
        window->Timer1Timer();
    }
    run.dialogs.confirmAnswers = {true};  // replace the image
    QTest::mouseClick(second.Button3, Qt::LeftButton);
    const QByteArray afterSecond = Read(run.image);
    QVERIFY(ToBytes(afterSecond) != run.original);
    run.dialogs.shown.clear();
    QTest::mouseClick(run.form->Button3, Qt::LeftButton);
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QVERIFY(run.dialogs.shown[0].text.contains(QStringLiteral("changed since it was opened")));
    QCOMPARE(Read(run.image), afterSecond);
}

// A name that is empty or only blanks is no name: the caption goes back with a message, and an
// in-place write keeps the stored name, so the row can be renamed later.
void TestPatchRun::aNameOfBlanksIsRefused() {
    Run run;
    for (const QString& typed : {QStringLiteral("   "), QString()}) {
        run.dialogs.shown.clear();
        run.ClickRow(1);
        QTest::mouseClick(run.form->Button1, Qt::LeftButton);
        TypeCaption(*run.form, typed);
        QTRY_COMPARE(run.dialogs.shown.size(), std::size_t{1});
        QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Warning);
        QCOMPARE(run.form->Caption(1), QStringLiteral("Classic 2"));
    }
    run.Choose(2, QStringLiteral("two.si3"), 50);
    QTest::mouseClick(run.form->RadioButton1, Qt::LeftButton);
    run.form->CheckBox5->click();
    run.dialogs.confirmAnswers = {true};
    run.Go();
    QCOMPARE(run.form->Caption(1), QStringLiteral("Classic 2"));
    run.ClickRow(1);
    QVERIFY(run.form->Button1->isEnabled());
}

// Each per-slot file is named after its row's caption at the time of the run, whichever row is
// selected and whatever the field showed before.
void TestPatchRun::perSlotFilesTakeTheirRowsCaptionsAtTheRun() {
    Run run;
    run.Choose(1, QStringLiteral("one.si3"), 10);  // "Classic 1" is selected at start
    run.form->CheckBox1->click();                  // per-slot files
    QCOMPARE(run.form->Edit5->text(), QStringLiteral("Classic_1"));
    run.Go();
    QVERIFY(QFile::exists(run.Vkp(QStringLiteral("Classic_1"))));
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("All_Patches"))));

    run.Choose(2, QStringLiteral("two.si3"), 10);
    run.Rename(1, QStringLiteral("MyTune"));  // the selected row
    QCOMPARE(run.form->Edit5->text(), QStringLiteral("MyTune"));
    run.Go();  // "replace Classic_1.vkp?": no
    QVERIFY(QFile::exists(run.Vkp(QStringLiteral("MyTune"))));
    QVERIFY(!QFile::exists(run.Vkp(QStringLiteral("Classic_2"))));
}

// Every option control follows one rule of the current state, whatever changed last; a run
// never starts a V_KLay that is not there, and names the missing path instead.
void TestPatchRun::controlsFollowTheStateAndAMissingVKlayIsNeverStarted() {
    Run run(false);
    TForm1& f = *run.form;
    const QString vklay = QString::fromLatin1(kVKlay);
    struct Step {
        const char* name;
        std::function<void()> act;
        bool autoRun, patchName, single, backup;
    };
    const std::vector<Step> steps{
        {"direct", [&] { QTest::mouseClick(f.RadioButton1, Qt::LeftButton); }, false, false, false,
         true},
        {"V_KLay, not found", [&] { QTest::mouseClick(f.RadioButton2, Qt::LeftButton); }, false,
         true, true, false},
        {"per slot", [&] { f.CheckBox1->click(); }, false, false, true, false},
        {"direct again", [&] { QTest::mouseClick(f.RadioButton1, Qt::LeftButton); }, false, false,
         false, true},
        {"V_KLay, per slot", [&] { QTest::mouseClick(f.RadioButton2, Qt::LeftButton); }, false,
         false, true, false},
        {"V_KLay found",
         [&] {
             run.platform.existingFiles << vklay;
             f.Edit8->clear();
             f.Edit8->setText(vklay);
         },
         false, false, true, false},
        {"single", [&] { f.CheckBox1->click(); }, true, true, true, false},
    };
    for (const Step& step : steps) {
        step.act();
        QVERIFY2(f.CheckBox4->isEnabled() == step.autoRun, step.name);
        QVERIFY2(f.Edit5->isEnabled() == step.patchName, step.name);
        QVERIFY2(f.CheckBox1->isEnabled() == step.single, step.name);
        QVERIFY2(f.CheckBox5->isEnabled() == step.backup, step.name);
    }
    // V_KLay gone after "Auto run" was ticked: the run names it and starts nothing.
    QVERIFY(f.CheckBox4->isChecked());
    run.platform.existingFiles.clear();
    run.Choose(1, QStringLiteral("one.si3"), 10);
    run.Go();
    QVERIFY(run.platform.launches.empty());
    QVERIFY(run.Summary().endsWith(
        QStringLiteral("V_KLay was not started: %1 does not exist.").arg(vklay)));
}

// A FIFO is no file for a slot: refused by name when chosen, and named as such by a run when a
// chosen file became one.
void TestPatchRun::aFifoIsNoFileForASlot() {
    Run run;
    const QString fifo = run.dir.filePath(QStringLiteral("pipe.si3"));
    QCOMPARE(::mkfifo(LocalPath(fifo).c_str(), 0600), 0);
    run.dialogs.fileAnswers.push_back(fifo);
    QTest::mouseClick(run.form->ButtonM[0], Qt::LeftButton);
    QCOMPARE(run.dialogs.shown.size(), std::size_t{1});
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Error);
    QVERIFY(run.dialogs.shown[0].text.contains(QStringLiteral("is not a regular file")));
    QVERIFY(run.Cell(0, 4).isEmpty());

    const QString tune = run.Choose(1, QStringLiteral("tune.si3"), 10);
    QFile::remove(tune);
    QCOMPARE(::mkfifo(LocalPath(tune).c_str(), 0600), 0);
    run.dialogs.shown.clear();
    run.Go();
    QCOMPARE(run.dialogs.shown[0].kind, ShownMessage::Error);
    QCOMPARE(run.dialogs.shown[0].text,
             QStringLiteral("Melody file %1 is not a regular file!").arg(tune));
}

#include "patch_run_test.moc"

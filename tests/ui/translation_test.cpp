// SPDX-License-Identifier: GPL-3.0-or-later
// The window under a Russian locale: ctest starts this program with LANG, LC_ALL and LANGUAGE
// set to Russian, as a Russian desktop session would.
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeWidget>

#include <sys/stat.h>

#include "core/file_io.h"
#include "core/read_back.h"
#include "fakes.h"
#include "image_builder.h"
#include "support/damaged_tables.h"
#include "ui/form1.h"
#include "ui/translation.h"

using namespace carillon;
using namespace carillon::ui;
using namespace carillon::ui::testing;
namespace fx = carillon::fixtures;

class TestRussian : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void controlsAreTranslatedSlotNamesAndFileNamesAreNot();
    void aFailedRunReportsInRussianAndKeepsItsPaths();
    void aRunSummaryAFileErrorAndAFailedPatchCheckInRussian();
    void aPatchThatDoesNotReadIsReportedInRussian();
    void everyEngineMessageHasRussianTextWithItsArguments();
    void everyTextTheWindowShowsHasRussianText();

  private:
    // Asked last, after the real translations: records every text of the program that none of
    // them knows.
    class Untranslated : public QTranslator {
      public:
        mutable QStringList texts;
        bool isEmpty() const override { return false; }
        QString translate(const char* context, const char* source, const char*,
                          int) const override {
            const QString where = QString::fromLatin1(context);
            if (where.startsWith(QStringLiteral("carillon")) ||
                where == QStringLiteral("Dialogs") || where == QStringLiteral("Message")) {
                texts << where + QStringLiteral(": ") + QString::fromUtf8(source);
            }
            return {};
        }
    };
    Untranslated untranslated_;
};

void TestRussian::initTestCase() {
    QCOMPARE(QLocale().language(), QLocale::Russian);
    QCoreApplication::installTranslator(&untranslated_);
    QVERIFY(InstallTranslations(*QCoreApplication::instance(), QLocale(),
                                {QStringLiteral(CARILLON_TRANSLATIONS)}));
}

void TestRussian::controlsAreTranslatedSlotNamesAndFileNamesAreNot() {
    ScriptedDialogs dialogs;
    FakePlatform platform;
    TForm1 form(dialogs, platform);
    form.FormActivate();

    QCOMPARE(form.Button3->text(), QStringLiteral("Пуск"));
    QCOMPARE(form.Button1->text(), QStringLiteral("Изменить имя"));
    QCOMPARE(form.GroupBox2->title(), QStringLiteral("  Мелодии, картинки, анимации  "));
    QCOMPARE(form.Label9->text(), QStringLiteral("Телефон:"));
    QTest::mouseClick(form.Image3, Qt::LeftButton);  // the "About" box
    QVERIFY(dialogs.shown.back().text.startsWith(
        QStringLiteral("Carillon 2.20b\n\nСвободная программа: ")));
    QVERIFY(dialogs.shown.back().text.contains(QStringLiteral("(GPL-3.0-or-later)")));
    QCOMPARE(form.ListView1->headerItem()->text(0), QStringLiteral("Мелодия"));
    // Names: they name per-slot files and stand in patch comments.
    QCOMPARE(form.ListView1->topLevelItem(0)->text(0), QStringLiteral("Classic 1"));
    QCOMPARE(form.Edit5->text(), QStringLiteral("All_Patches"));
    // The file dialogs' filters, as the real dialog shows them.
    for (const auto& [slot, shown] :
         {std::pair{1, "Мелодии (*.si3 *.SI3)"}, std::pair{15, "Картинки (*.bmp *.BMP)"},
          std::pair{17, "Анимации (*.bmx *.BMX)"}}) {
        QTest::mouseClick(form.ButtonM[static_cast<std::size_t>(slot - 1)], Qt::LeftButton);
        QCOMPARE(QtNameFilter(dialogs.fileDialogs.back().filter), QString::fromUtf8(shown));
    }
}

void TestRussian::aFailedRunReportsInRussianAndKeepsItsPaths() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    platform.patchFolder = dir.path();
    TForm1 form(dialogs, platform);
    form.show();
    form.FormActivate();

    const QString image = dir.filePath(QStringLiteral("flash.bin"));
    fx::WriteFile(
        LocalPath(image),
        fx::StandardFlash().Add(Sector::A, fx::SlotBlock(1, fx::Pattern(700, 1))).Build());
    dialogs.fileAnswers.push_back(image);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QCOMPARE(form.Label2->text(), QStringLiteral(".bin фулфлеш"));

    // A replacement file whose name holds "%2", then taken away before "Go".
    const QString melody = dir.filePath(QStringLiteral("a%2b.si3"));
    fx::WriteFile(LocalPath(melody), fx::Pattern(20, 7));
    dialogs.fileAnswers.push_back(melody);
    QTest::mouseClick(form.ButtonM[0], Qt::LeftButton);
    QFile::remove(melody);
    form.Timer1Timer();
    QTest::mouseClick(form.Button3, Qt::LeftButton);

    QVERIFY(dialogs.shown.size() >= 2);
    QCOMPARE(dialogs.shown[0].text, "Файл мелодии " + melody + " не найден!");
    QCOMPARE(dialogs.shown.back().title, QStringLiteral("Carillon"));
    QVERIFY2(dialogs.shown.back().text.contains(
                 QStringLiteral("«Classic 1» на «a%2b.si3»  (ОШИБКА: Файл не найден)\r\n")),
             qPrintable(dialogs.shown.back().text));
    QVERIFY(
        dialogs.shown.back().text.startsWith(QStringLiteral("Готово!\r\n\r\nСозданы патчи: нет")));
}

// What the engine reports reaches the window by id: a run's summary line by line, a file error
// with its path, and the verdict on a written patch that fails its read-back check.
void TestRussian::aRunSummaryAFileErrorAndAFailedPatchCheckInRussian() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    platform.patchFolder = dir.path();
    TForm1 form(dialogs, platform);
    form.show();
    form.FormActivate();

    // A file error: the path and the reason, the reason in Russian.
    const QString fifo = dir.filePath(QStringLiteral("pipe.bin"));
    QCOMPARE(::mkfifo(LocalPath(fifo).c_str(), 0600), 0);
    dialogs.fileAnswers.push_back(fifo);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QCOMPARE(dialogs.shown.back().text, fifo + QStringLiteral(": Не обычный файл"));

    const QString image = dir.filePath(QStringLiteral("flash.bin"));
    fx::WriteFile(LocalPath(image), fx::StandardFlash()
                                        .Add(Sector::A, fx::SlotBlock(1, fx::Pattern(700, 1)))
                                        .Add(Sector::A, fx::SlotBlock(2, fx::Pattern(700, 2)))
                                        .Build());
    dialogs.fileAnswers.push_back(image);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    for (int slot : {1, 2}) {
        const QString melody = dir.filePath(QStringLiteral("m%1.si3").arg(slot));
        fx::WriteFile(LocalPath(melody), fx::Pattern(20, static_cast<std::uint8_t>(slot)));
        dialogs.fileAnswers.push_back(melody);
        QTest::mouseClick(form.ButtonM[static_cast<std::size_t>(slot - 1)], Qt::LeftButton);
    }
    form.Timer1Timer();

    // The second block written is changed before it is read back: the check catches it, the
    // block is cut off again, and the run says so in Russian.
    int writes = 0;
    SetReadBackHook([&writes](const std::string& path) {
        if (++writes == 2) {
            QFile file(QString::fromStdString(path));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(file.size() - 3));
            file.write("0");
        }
    });
    dialogs.shown.clear();
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    SetReadBackHook({});

    const QString vkp = FromLocalPath(form.LastPatch());
    QVERIFY(vkp.startsWith(dir.filePath(QStringLiteral("All_Patches"))));
    QCOMPARE(dialogs.shown.size(), std::size_t{2});
    const QString error = dialogs.shown[0].text;
    QVERIFY2(error.startsWith(vkp + QStringLiteral(": Записанный файл не прошёл проверку (байт ")),
             qPrintable(error));
    QVERIFY2(error.endsWith(QStringLiteral(" читается обратно иначе); дописанное снова отрезано")),
             qPrintable(error));
    QCOMPARE(dialogs.shown[1].title, QStringLiteral("Carillon"));
    QCOMPARE(dialogs.shown[1].text, QStringLiteral("Готово!\r\n\r\nСозданы патчи: \r\n") + vkp +
                                        QStringLiteral("\r\n\r\nНе созданы патчи:\r\n«Classic "
                                                       "2» на «m2.si3»  (ОШИБКА: Патч не прошёл "
                                                       "проверку)\r\n"));
}

// A ".vkp" dropped on the window that the reader refuses: the workbench names the line and
// column and the reason in Russian, and nothing can be written from it.
void TestRussian::aPatchThatDoesNotReadIsReportedInRussian() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    TForm1 form(dialogs, platform);
    form.FormActivate();
    const QString image = dir.filePath(QStringLiteral("flash.bin"));
    fx::WriteFile(LocalPath(image), fx::StandardFlash().Build());
    dialogs.fileAnswers.push_back(image);
    QTest::mouseClick(form.Button2, Qt::LeftButton);

    const QString patch = dir.filePath(QStringLiteral("bad.vkp"));
    const std::string text = "#pragma enable nonsense\r\n000000: 00 01\r\n";
    fx::WriteFile(LocalPath(patch), Bytes(text.begin(), text.end()));
    QVERIFY(form.DropPatchFile(patch));
    QCOMPARE(dialogs.workbenches.size(), std::size_t{1});
    QVERIFY2(dialogs.workbenches[0].counts.startsWith(QStringLiteral("строка 1, столбец ")),
             qPrintable(dialogs.workbenches[0].counts));
    QVERIFY2(dialogs.workbenches[0].counts.contains(QStringLiteral("неизвестная прагма")),
             qPrintable(dialogs.workbenches[0].counts));
    QVERIFY(!dialogs.workbenches[0].applyEnabled);
}

void TestRussian::everyEngineMessageHasRussianTextWithItsArguments() {
    QTranslator russianOnly;
    QVERIFY(russianOnly.load(QLocale(), QStringLiteral("carillon"), QStringLiteral("_"),
                             QStringLiteral(CARILLON_TRANSLATIONS)));
    for (const MessagePattern& p : MessagePatterns()) {
        if (p.id == MessageId::Plain) {
            continue;
        }
        const std::string english(p.english);
        // An empty text: the translation has no entry for this pattern.
        const QString russian = russianOnly.translate("Message", english.c_str());
        const QByteArray name = QByteArray(p.name.data(), static_cast<qsizetype>(p.name.size()));
        QVERIFY2(!russian.isEmpty(), name + " has no Russian text");
        const int count = PlaceholderCount(english);
        QVERIFY2(PlaceholderCount(russian.toStdString()) == count, name);
        for (int n = 1; n <= count; ++n) {
            QVERIFY2(russian.contains(QStringLiteral("%") + QString::number(n)),
                     name + " leaves out an argument");
        }
    }
}

// The window driven through the states the last walk found English in: an unsound row, a name
// cleaned, a refused drop, a changed image, a missing V_KLay. Every text it asks for has a
// Russian entry.
void TestRussian::everyTextTheWindowShowsHasRussianText() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakePlatform platform;
    platform.patchFolder = dir.path();
    untranslated_.texts.clear();
    TForm1 form(dialogs, platform);
    form.show();
    form.FormActivate();

    const QString image = dir.filePath(QStringLiteral("damaged.bin"));
    fx::WriteFile(LocalPath(image), carillon::test_support::DamagedTables()[0].image);
    dialogs.fileAnswers.push_back(image);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QTest::mouseClick(form.ButtonM[3], Qt::LeftButton);  // the unsound slot: refused
    const QString melody = dir.filePath(QStringLiteral("m.si3"));
    fx::WriteFile(LocalPath(melody), fx::Pattern(5000, 1));
    dialogs.fileAnswers.push_back(melody);
    QTest::mouseClick(form.ButtonM[0], Qt::LeftButton);  // cut
    form.SelectRow(0);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    TypeCaption(form, QStringLiteral("Новое"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    TypeCaption(form, QStringLiteral("  "));
    const QString song = dir.filePath(QStringLiteral("song.mid"));
    fx::WriteFile(LocalPath(song), fx::Pattern(10, 2));
    DropOn(form, song, -1);
    DropOn(form, image, -1);  // asks first: a file is chosen
    const QString pipe = dir.filePath(QStringLiteral("pipe.si3"));
    QCOMPARE(::mkfifo(LocalPath(pipe).c_str(), 0600), 0);
    dialogs.fileAnswers.push_back(pipe);
    QTest::mouseClick(form.ButtonM[9], Qt::LeftButton);

    // A run whose image changed, then one with V_KLay gone after "Auto run" was ticked.
    form.Timer1Timer();
    fx::WriteFile(LocalPath(image), fx::StandardFlash().Build());
    dialogs.confirmAnswers = {true};
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    platform.existingFiles << QStringLiteral("/opt/v.exe");
    form.Edit8->setText(QStringLiteral("/opt/v.exe"));
    form.CheckBox1->click();
    form.CheckBox1->click();
    platform.existingFiles.clear();
    dialogs.confirmAnswers = {true};
    QTest::mouseClick(form.Button3, Qt::LeftButton);
    QVERIFY(!dialogs.shown.empty());

    untranslated_.texts.removeDuplicates();
    QVERIFY2(untranslated_.texts.isEmpty(),
             qPrintable(untranslated_.texts.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestRussian)
#include "translation_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The real platform side: V_KLay under Wine, launching, the ".vkp" folder, the clock, and the
// filter and command texts the window hands to the system.
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "fakes.h"
#include "platform/platform.h"
#include "platform/vklay.h"
#include "platform/wine.h"
#include "ui/dialogs.h"

using namespace carillon::ui;

namespace {

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A Wine prefix with drive C: linked to drive_c, holding Program Files/Vi-Soft/V_Klay/V_KLay.exe.
struct WinePrefixDir {
    QTemporaryDir dir;
    QString prefix;
    QString program;

    WinePrefixDir() {
        prefix = dir.path() + QStringLiteral("/prefix");
        const QString folder = prefix + QStringLiteral("/drive_c/Program Files/Vi-Soft/V_Klay");
        QDir().mkpath(folder);
        QDir().mkpath(prefix + QStringLiteral("/dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:"));
        program = folder + QStringLiteral("/V_KLay.exe");
        WriteText(program, "MZ");
    }
    void Registry(const QByteArray& body) {
        WriteText(prefix + QStringLiteral("/system.reg"),
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                  "[Software\\\\Classes\\\\.vkp] 1700000000\n#time=1da0000\n@=\"V_KLay.vkp\"\n\n" +
                      body);
    }
};

constexpr const char* kKey = R"(SOFTWARE\Classes\V_KLay.vkp\shell\open\command)";

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

  private slots:
    void wineRegistryHoldsTheOpenCommand();
    void wineRegistryWithoutTheKey();
    void wineStringEscapes();
    void windowsPathsMapIntoThePrefix();
    void unixPathsMapToWineDrives();
    void vklayLookupUnderWine();
    void launchesNeverGoThroughAShell();
    void aProgramThatCannotStartSaysWhy();
    void programFromCommand();
    void patchFolder();
    void clockUsesRegionalFormats();
    void dialogFilters();
    void scriptedDialogsRecordEverything();
};

void TestPlatform::wineRegistryHoldsTheOpenCommand() {
    WinePrefixDir wine;
    wine.Registry(
        "[Software\\\\Classes\\\\V_KLay.vkp\\\\shell\\\\open\\\\command] 1700000000\n"
        "#time=1da0000\n"
        "\"Other\"=\"x\"\n"
        "@=\"\\\"C:\\\\Program Files\\\\Vi-Soft\\\\V_Klay\\\\V_KLay.exe\\\" \\\"%1\\\" \\xe9\"\n"
        "\n[Software\\\\Classes\\\\V_KLay.vkp\\\\shell\\\\open\\\\command\\\\more] "
        "1\n@=\"wrong\"\n");
    const auto value = ReadWineRegistryDefault(wine.prefix + QStringLiteral("/system.reg"),
                                               QString::fromLatin1(kKey));
    QVERIFY(value);
    QCOMPARE(*value,
             QStringLiteral("\"C:\\Program Files\\Vi-Soft\\V_Klay\\V_KLay.exe\" \"%1\" \u00e9"));

    // The key's letter case does not matter; "str(2):" values count as text.
    wine.Registry(
        "[software\\\\classes\\\\v_klay.vkp\\\\Shell\\\\Open\\\\Command] 1\n"
        "@=str(2):\"D:\\\\VK\\\\v.exe %1\"\n");
    QCOMPARE(ReadWineRegistryDefault(wine.prefix + QStringLiteral("/system.reg"),
                                     QString::fromLatin1(kKey)),
             std::optional<QString>(QStringLiteral(R"(D:\VK\v.exe %1)")));
}

void TestPlatform::wineRegistryWithoutTheKey() {
    WinePrefixDir wine;
    const QString reg = wine.prefix + QStringLiteral("/system.reg");
    QVERIFY(!ReadWineRegistryDefault(reg, QString::fromLatin1(kKey)));  // no file
    wine.Registry("");
    QVERIFY(!ReadWineRegistryDefault(reg, QString::fromLatin1(kKey)));  // no key
    wine.Registry(
        "[Software\\\\Classes\\\\V_KLay.vkp\\\\shell\\\\open\\\\command] 1\n\"a\"=\"b\"\n");
    QVERIFY(!ReadWineRegistryDefault(reg, QString::fromLatin1(kKey)));  // no default value
    wine.Registry(
        "[Software\\\\Classes\\\\V_KLay.vkp\\\\shell\\\\open\\\\command] 1\n@=dword:00000001\n");
    QVERIFY(!ReadWineRegistryDefault(reg, QString::fromLatin1(kKey)));  // not text
    wine.Registry(
        "[Software\\\\Classes\\\\V_KLay.vkp\\\\shell\\\\open\\\\command] 1\n@=\"cut\\\"\n");
    QVERIFY(!ReadWineRegistryDefault(reg, QString::fromLatin1(kKey)));  // unterminated
}

void TestPlatform::wineStringEscapes() {
    QCOMPARE(UnescapeWineString(u"a\\\\b\\\"c"), QStringLiteral("a\\b\"c"));
    QCOMPARE(UnescapeWineString(u"\\x00e9t\\xe9"), QStringLiteral("\u00e9t\u00e9"));
    QCOMPARE(UnescapeWineString(u"\\x20ACx"), QStringLiteral("\u20acx"));  // four digits at most
    QCOMPARE(UnescapeWineString(u"\\x20ac5"), QStringLiteral("\u20ac5"));
    QCOMPARE(UnescapeWineString(u"\\101\\n\\t"), QStringLiteral("A\n\t"));
    QCOMPARE(UnescapeWineString(u"end\\"), QStringLiteral("end\\"));
}

void TestPlatform::windowsPathsMapIntoThePrefix() {
    WinePrefixDir wine;
    // Letter case of folders and file is matched as Windows would.
    QCOMPARE(WindowsToUnixPath(wine.prefix, QString::fromLatin1(kDefaultVKlayPath)),
             QFileInfo(wine.program).canonicalFilePath());
    QCOMPARE(WindowsToUnixPath(wine.prefix,
                               QStringLiteral(R"(c:\program files\VI-SOFT\v_klay\v_klay.EXE)")),
             QFileInfo(wine.program).canonicalFilePath());
    QCOMPARE(WindowsToUnixPath(wine.prefix, QStringLiteral("C:/Program Files/none.exe")),
             QFileInfo(wine.prefix + QStringLiteral("/drive_c")).canonicalFilePath() +
                 QStringLiteral("/Program Files/none.exe"));
    QCOMPARE(WindowsToUnixPath(wine.prefix, QStringLiteral("relative\\v.exe")),
             QStringLiteral("relative\\v.exe"));
    QCOMPARE(WindowsToUnixPath(wine.prefix, QStringLiteral("/usr/bin/v")),
             QStringLiteral("/usr/bin/v"));
}

void TestPlatform::unixPathsMapToWineDrives() {
    WinePrefixDir wine;
    const QString patch = QFileInfo(wine.program).canonicalPath() + QStringLiteral("/All.vkp");
    QCOMPARE(UnixToWindowsPath(wine.prefix, patch),
             QStringLiteral(R"(C:\Program Files\Vi-Soft\V_Klay\All.vkp)"));
    QCOMPARE(UnixToWindowsPath(wine.prefix, QStringLiteral("/nowhere/x y.vkp")),
             QStringLiteral(R"(Z:\nowhere\x y.vkp)"));
}

void TestPlatform::vklayLookupUnderWine() {
    WinePrefixDir wine;
    wine.Registry(
        "[Software\\\\Classes\\\\V_KLay.vkp\\\\shell\\\\open\\\\command] 1\n"
        "@=\"\\\"C:\\\\Program Files\\\\Vi-Soft\\\\V_Klay\\\\V_KLay.exe\\\" \\\"%1\\\"\"\n");
    const QByteArray saved = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", wine.prefix.toLocal8Bit());
    SystemPlatform platform;
    const QString path = platform.LocalProgramPath(ProgramFromCommand(platform.VKlayCommand()));
    QCOMPARE(path, QFileInfo(wine.program).canonicalFilePath());
    QVERIFY(platform.FileExists(path));
    QVERIFY(!platform.FileExists(QFileInfo(path).absolutePath()));  // a folder is no file

    QFile::remove(wine.prefix + QStringLiteral("/system.reg"));  // no key: the default path
    QVERIFY(!platform.VKlayCommand());
    QCOMPARE(platform.LocalProgramPath(ProgramFromCommand(std::nullopt)), path);
    if (saved.isNull()) {
        qunsetenv("WINEPREFIX");
    } else {
        qputenv("WINEPREFIX", saved);
    }
}

void TestPlatform::launchesNeverGoThroughAShell() {
    WinePrefixDir wine;
    const QString patch = QFileInfo(wine.program).canonicalPath() + QStringLiteral("/a b;c.vkp");
    const LaunchCommand viaWine = BuildLaunch(wine.program, patch, wine.prefix);
    QCOMPARE(viaWine.program, QStringLiteral("wine"));
    QCOMPARE(viaWine.arguments,
             QStringList(
                 {wine.program, QStringLiteral(R"(C:\Program Files\Vi-Soft\V_Klay\a b;c.vkp)")}));
    QCOMPARE(viaWine.winePrefix, wine.prefix);
    const LaunchCommand upper = BuildLaunch(QStringLiteral("/opt/V.EXE"), patch, wine.prefix);
    QCOMPARE(upper.program, QStringLiteral("wine"));

    const LaunchCommand direct = BuildLaunch(QStringLiteral("/usr/bin/vklay"), patch, wine.prefix);
    QCOMPARE(direct.program, QStringLiteral("/usr/bin/vklay"));
    QCOMPARE(direct.arguments, QStringList{patch});
    QVERIFY(direct.winePrefix.isEmpty());

    carillon::ui::testing::FakePlatform fake;  // the recorder the patch run is tested with
    fake.StartProgram(wine.program, patch);
    QCOMPARE(fake.launches.size(), std::size_t{1});
    QCOMPARE(fake.launches[0].argument, patch);
}

void TestPlatform::aProgramThatCannotStartSaysWhy() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-program"));
    SystemPlatform platform;
    const std::optional<QString> error = platform.StartProgram(missing, QStringLiteral("a.vkp"));
    QVERIFY(error.has_value());
    QVERIFY2(
        error->startsWith(missing + QStringLiteral(": ")) && error->size() > missing.size() + 2,
        qPrintable(*error));
}

void TestPlatform::programFromCommand() {
    QCOMPARE(ProgramFromCommand(std::nullopt), QString::fromLatin1(kDefaultVKlayPath));
    QCOMPARE(ProgramFromCommand(QStringLiteral("\"C:\\a b\\v.exe\" \"%1\"")),
             QStringLiteral("C:\\a b\\v.exe"));
    QCOMPARE(ProgramFromCommand(QStringLiteral("\"C:\\unclosed.exe")),
             QStringLiteral("C:\\unclosed.exe"));
    QCOMPARE(ProgramFromCommand(QStringLiteral("C:\\v.exe %1")), QStringLiteral("C:\\v.exe"));
    QCOMPARE(ProgramFromCommand(QStringLiteral("C:\\v.exe %1 -q")), QStringLiteral("C:\\v.exe %1"));
    QCOMPARE(ProgramFromCommand(QStringLiteral("C:\\v.exe")), QStringLiteral("C:\\v.exe"));
    QCOMPARE(ProgramFromCommand(QString()), QString());
}

void TestPlatform::patchFolder() {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString images = dir.filePath(QStringLiteral("images"));
    QDir().mkpath(program);
    QDir().mkpath(images);
    const QString image = images + QStringLiteral("/flash.bin");
    QCOMPARE(ChoosePatchFolder(program, image), program);
    QCOMPARE(ChoosePatchFolder(dir.filePath(QStringLiteral("missing")), image), images);
    if (QFile(program).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner) &&
        !QFileInfo(program).isWritable()) {  // root may write anywhere
        QCOMPARE(ChoosePatchFolder(program, image), images);
    }
}

void TestPlatform::clockUsesRegionalFormats() {
    const QLocale saved;
    const QDateTime moment(QDate(2026, 12, 8), QTime(2, 3, 4));
    const ClockText text = FormatClock(moment);
    QCOMPARE(text.shortDate, QLocale::system().toString(moment.date(), QLocale::ShortFormat));
    QCOMPARE(text.longTime, QLocale::system().toString(moment.time(), QLocale::LongFormat));
    QVERIFY(text.longTime.contains(QLatin1Char('3')));
}

void TestPlatform::dialogFilters() {
    QCOMPARE(QtNameFilter(QStringLiteral("V_KLay Full Flash or EEPROM (*.bin)|*.bin|Freia Full "
                                         "Flash or EEPROM (*.fls)|*.fls|Siemens EEPROM tool "
                                         "(*.eep)|*.eep|All Files|*.*")),
             QStringLiteral("V_KLay Full Flash or EEPROM (*.bin *.BIN);;Freia Full Flash or EEPROM "
                            "(*.fls *.FLS);;Siemens EEPROM tool (*.eep *.EEP);;All Files (*)"));
    QCOMPARE(QtNameFilter(QStringLiteral("V_KLay|*.exe")), QStringLiteral("V_KLay (*.exe *.EXE)"));
    QCOMPARE(QtNameFilter(QString()), QString());
}

void TestPlatform::scriptedDialogsRecordEverything() {
    carillon::ui::testing::ScriptedDialogs dialogs;
    dialogs.confirmAnswers = {true};
    QVERIFY(dialogs.Confirm(QStringLiteral("Replace?")));
    QVERIFY(!dialogs.Confirm(QStringLiteral("Again?")));  // nothing queued: No
    dialogs.ShowError(QStringLiteral("bad"));
    dialogs.ShowMessage(QStringLiteral("Carillon"), QStringLiteral("done"));
    QVERIFY(!dialogs.OpenFile({}));
    QCOMPARE(dialogs.shown.size(), std::size_t{4});
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("Confirm"));
    QCOMPARE(dialogs.shown[2].title, QStringLiteral("Error"));
    QCOMPARE(dialogs.shown[3].text, QStringLiteral("done"));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "platform_test.moc"

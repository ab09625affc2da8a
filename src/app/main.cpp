// SPDX-License-Identifier: GPL-3.0-or-later
// carillon: the window. "carillon IMAGE" opens IMAGE at start, as a file manager's "Open with"
// does.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "core/output_commit.h"
#include "core/product.h"
#include "platform/platform.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/translation.h"

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "--help" and "--version" answer on a terminal without a display, so they must not need the
// window system.
bool AsksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
            arg == "--version") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // A write past the file size limit fails with EFBIG and is reported; an interrupt removes
    // temporary files before the window dies.
    carillon::InstallOutputSignalHandlers();
    const std::unique_ptr<QCoreApplication> app =
        AsksForTextOnly(argc, argv) ? std::make_unique<QCoreApplication>(argc, argv)
                                    : std::make_unique<QApplication>(argc, argv);
    const QString title = FromView(carillon::kApplicationTitle);
    // Only the name: a display name would be appended to the window's caption on Linux.
    QApplication::setApplicationName(title);
    QApplication::setApplicationVersion(FromView(carillon::kVersion));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(FromView(carillon::kDesktopId));

    QCommandLineParser parser;
    parser.setApplicationDescription(title);
    parser.addHelpOption();
    // Qt's own version option would print "Carillon 2.20b"; both programs print the same lines.
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays version information."));
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("IMAGE"),
                                 QStringLiteral("A52 full flash or EEPROM image to open."));
    // For scripts/screenshot: choose a file for a slot, save a picture of the window and end.
    QCommandLineOption choose(QStringLiteral("choose"), QStringLiteral("Slot file N=FILE."),
                              QStringLiteral("N=FILE"));
    choose.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save the window as PNG and quit."),
                                  QStringLiteral("OUT"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(choose);
    parser.addOption(screenshot);
    parser.process(*app);
    if (parser.isSet(version)) {
        std::puts(std::string(carillon::kVersionLine).c_str());
        std::puts(std::string(carillon::kLicenseLine).c_str());
        return 0;
    }

    carillon::ui::InstallTranslations(*app, QLocale(), carillon::ui::TranslationFolders());

    carillon::ui::QtDialogs dialogs;
    carillon::ui::SystemPlatform platform;
    carillon::ui::TForm1 form(dialogs, platform);
    dialogs.SetParent(&form);
    // Start-up runs before the image of the command line is opened.
    const QStringList images = parser.positionalArguments();
    form.Start(images.isEmpty() ? QString() : images.constFirst());
    for (const QString& value : parser.values(choose)) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        bool ok = false;
        const int slot = value.left(eq).toInt(&ok);
        if (eq > 0 && ok && slot >= 1 && slot <= carillon::kSlotCount) {
            form.SetSlotFile(slot, QFileInfo(value.mid(eq + 1)).absoluteFilePath());
        }
    }

    if (parser.isSet(screenshot)) {
        const QString out = parser.value(screenshot);
        QTimer::singleShot(500, &form, [&form, out] {
            form.Timer1Timer();
            const bool saved = form.grab().save(out, "PNG");
            if (!saved) {
                std::fprintf(stderr, "carillon: cannot write %s\n", qPrintable(out));
            }
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}

// carillon: the window. "carillon IMAGE" opens IMAGE at start, as a file manager's "Open with"
// does.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "core/output_commit.h"
#include "core/product.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/platform.h"

int main(int argc, char** argv) {
    // A write past the file size limit fails with EFBIG and is reported; an interrupt removes
    // temporary files before the window dies.
    carillon::InstallOutputSignalHandlers();
    QApplication app(argc, argv);
    const QString title =
        QString::fromUtf8(carillon::kApplicationTitle.data(),
                          static_cast<qsizetype>(carillon::kApplicationTitle.size()));
    // Only the name: a display name would be appended to the window's caption on Linux.
    QApplication::setApplicationName(title);

    QCommandLineParser parser;
    parser.setApplicationDescription(title);
    parser.addHelpOption();
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
    parser.process(app);

    carillon::ui::QtDialogs dialogs;
    carillon::ui::SystemPlatform platform;
    carillon::ui::TForm1 form(dialogs, platform);
    dialogs.SetParent(&form);
    form.show();
    // Start-up runs before the image of the command line is opened.
    form.Guard([&form] { form.FormActivate(); });

    const QStringList images = parser.positionalArguments();
    if (!images.isEmpty()) {
        form.Guard([&] { form.OpenImage(QFileInfo(images.constFirst()).absoluteFilePath()); });
    }
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

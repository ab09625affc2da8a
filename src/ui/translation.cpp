// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/platform.h"

namespace carillon::ui {

namespace {

// Puts the parts into "%N" in one pass, so that a part holding "%2" (a path may) stays as it is.
QString Fill(const QString& pattern, const QStringList& parts) {
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
            const int n = pattern[i + 1].digitValue();
            if (n >= 1 && n <= parts.size()) {
                out += parts[n - 1];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace

bool InstallTranslations(QCoreApplication& app, const QLocale& locale, const QStringList& folders) {
    auto* qt = new QTranslator(&app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    }
    for (const QString& folder : folders) {
        auto* own = new QTranslator(&app);
        if (own->load(locale, QStringLiteral("carillon"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(own);
            return true;
        }
        delete own;
    }
    return false;
}

QStringList TranslationFolders() {
    const QDir bin(QCoreApplication::applicationDirPath());
    return {bin.absolutePath(),
            bin.absoluteFilePath(QStringLiteral("../share/carillon/translations"))};
}

QString Translated(const Message& message) {
    if (message.empty()) {
        return {};
    }
    QStringList args;
    for (const MessageArg& a : message.args()) {
        args << (a.message ? Translated(*a.message) : FromLocalPath(a.text));
    }
    if (message.id() == MessageId::Plain) {
        return args.value(0);
    }
    const std::string_view english = EnglishPattern(message.id());
    const QString pattern = QCoreApplication::translate("Message", std::string(english).c_str());
    return Fill(pattern, args);
}

QString Translated(const MessageLines& lines) {
    QStringList out;
    for (const Message& line : lines) {
        out << Translated(line);
    }
    return out.join(QStringLiteral("\r\n"));
}

}  // namespace carillon::ui

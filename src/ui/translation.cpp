#include "ui/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

#include <array>
#include <vector>
#include "platform/platform.h"

namespace carillon::ui {

namespace {

// The engine's message lines, "%1" and "%2" standing for their variable parts. Each is its own
// source text of the translation, in the context "Message".
constexpr std::array kMessageLines = {
    QT_TRANSLATE_NOOP("Message", "Full flash %1 does not exist!"),
    QT_TRANSLATE_NOOP("Message", "Melody file %1 does not exist!"),
    QT_TRANSLATE_NOOP("Message", "File \"%1\" already exist!"),
    QT_TRANSLATE_NOOP("Message", "Replace it?"),
    QT_TRANSLATE_NOOP("Message", "Done!"),
    QT_TRANSLATE_NOOP("Message", "Patches Created: %1"),
    QT_TRANSLATE_NOOP("Message", "Patches created: %1"),
    QT_TRANSLATE_NOOP("Message", "Patches not created:"),
    QT_TRANSLATE_NOOP("Message", "Files patched: %1"),
    QT_TRANSLATE_NOOP("Message", "None"),
    QT_TRANSLATE_NOOP("Message", "ERROR: aborted by user (file already exist)"),
    QT_TRANSLATE_NOOP("Message", "\"%1\" to \"%2\"  (ERROR: %3)"),
    QT_TRANSLATE_NOOP("Message", "Full Flash not found"),
    QT_TRANSLATE_NOOP("Message", "File not found"),
    QT_TRANSLATE_NOOP("Message", "Don't replace .vkp"),
    QT_TRANSLATE_NOOP("Message", "Unknown Error"),
    QT_TRANSLATE_NOOP("Message",
                      "The image file %1 is longer than when it was opened. Open it again."),
    QT_TRANSLATE_NOOP("Message", ".bin Full Flash"),
    QT_TRANSLATE_NOOP("Message", ".bin EEPROM"),
    QT_TRANSLATE_NOOP("Message", ".eep EEPROM"),
    QT_TRANSLATE_NOOP("Message", "Cut: \"%1\" holds %2 of %3 bytes"),
    QT_TRANSLATE_NOOP("Message", "\"%1\": %2 has %3 bytes, the slot holds %4 (%5 cut)"),
    QT_TRANSLATE_NOOP("Message",
                      "This file is larger than its slot; only its first bytes would be written:"),
    QT_TRANSLATE_NOOP(
        "Message",
        "These files are larger than their slots; only their first bytes would be written:"),
    QT_TRANSLATE_NOOP("Message", "Cut them and go on?"),
    QT_TRANSLATE_NOOP("Message", "Name \"%1\" not written: \"%2\" has no file chosen"),
    QT_TRANSLATE_NOOP("Message", "Name \"%1\" not written: \"%2\" is not checked"),
    // Runs refused before anything is written.
    QT_TRANSLATE_NOOP("Message",
                      "The patch name \"%1\" is not a plain file name; patches are written into "
                      "%2. Give a name without \"/\" or \"\\\"."),
    QT_TRANSLATE_NOOP("Message",
                      "\"%1\" (slot %2) and \"%3\" (slot %4) would both write %5; give one of them "
                      "another name. Nothing was written."),
    // The filters of the slot files' dialogs.
    QT_TRANSLATE_NOOP("Message", "Melodies (*.si3)|*.si3"),
    QT_TRANSLATE_NOOP("Message", "Pictures (*.bmp)|*.bmp"),
    QT_TRANSLATE_NOOP("Message", "Animations (*.bmx)|*.bmx"),
    // Why a slot's content cannot be saved.
    QT_TRANSLATE_NOOP("Message", "not found"),
    QT_TRANSLATE_NOOP("Message", "content size %1 is larger than the capacity %2"),
    QT_TRANSLATE_NOOP("Message", "content (%1 bytes at %2) lies outside the image"),
    // The "Size", "Max" and "Address" cells of a missing or empty slot.
    QT_TRANSLATE_NOOP("Message", "n/a"),
    QT_TRANSLATE_NOOP("Message", "empty"),
};

struct Pattern {
    QRegularExpression regex;
    const char* source;
};

// One anchored expression per message line; "%N" matches any text and is captured.
const std::vector<Pattern>& Patterns() {
    static const std::vector<Pattern> patterns = [] {
        std::vector<Pattern> out;
        static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
        for (const char* source : kMessageLines) {
            const QStringList pieces = QString::fromUtf8(source).split(placeholder);
            QStringList escaped;
            for (const QString& piece : pieces) {
                escaped << QRegularExpression::escape(piece);
            }
            out.push_back(
                {QRegularExpression(QStringLiteral("^") + escaped.join(QStringLiteral("(.*)")) +
                                    QStringLiteral("$")),
                 source});
        }
        return out;
    }();
    return patterns;
}

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

// `line` translated when it is one of the messages; `fixedOnly` takes only those without
// variable parts (a failure's reason, "None").
QString TranslatedLine(const QString& line, bool fixedOnly) {
    for (const Pattern& p : Patterns()) {
        const QRegularExpressionMatch m = p.regex.match(line);
        if (!m.hasMatch() || (fixedOnly && m.lastCapturedIndex() > 0)) {
            continue;
        }
        QStringList parts;
        for (int i = 1; i <= m.lastCapturedIndex(); ++i) {
            parts << TranslatedLine(m.captured(i), true);
        }
        return Fill(QCoreApplication::translate("Message", p.source), parts);
    }
    return line;
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

QString TranslatedMessage(const QString& text) {
    // Lines end in CRLF; each is translated on its own and the line ends are kept.
    static const QRegularExpression lineEnd(QStringLiteral("(\r\n|\n)"));
    QString out;
    qsizetype start = 0;
    QRegularExpressionMatchIterator it = lineEnd.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += TranslatedLine(text.mid(start, m.capturedStart() - start), false) + m.captured();
        start = m.capturedEnd();
    }
    return out + TranslatedLine(text.mid(start), false);
}

QString Translated(const Message& message) {
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

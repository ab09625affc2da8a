// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include "core/hex.h"

namespace carillon::ui {

namespace {

int HexValue(QChar c) {
    return HexDigitValue(c.unicode());
}

// The quoted text that starts at `from` (just past the opening quote), up to the closing
// quote that is not escaped; nothing when the line ends first.
std::optional<QStringView> QuotedText(QStringView line, qsizetype from) {
    for (qsizetype i = from; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\')) {
            ++i;
        } else if (line[i] == QLatin1Char('"')) {
            return line.mid(from, i - from);
        }
    }
    return std::nullopt;
}

// The key name of a section line "[Software\\Classes\\...] 1700000000".
std::optional<QString> SectionKey(QStringView line) {
    if (!line.startsWith(QLatin1Char('['))) {
        return std::nullopt;
    }
    const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
    if (close < 1) {
        return std::nullopt;
    }
    return UnescapeWineString(line.mid(1, close - 1));
}

QString NormaliseKey(QString key) {
    key.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (key.startsWith(QLatin1Char('\\'))) {
        key.remove(0, 1);
    }
    return key;
}

// The entry of `folder` named `name`, matched without letter case when the exact name is
// missing; the name itself when nothing matches.
QString MatchEntry(const QString& folder, const QString& name) {
    if (name.isEmpty() || QFileInfo::exists(folder + QLatin1Char('/') + name)) {
        return name;
    }
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            return entry;
        }
    }
    return name;
}

}  // namespace

QString WinePrefix(const QProcessEnvironment& environment) {
    const QString prefix = environment.value(QStringLiteral("WINEPREFIX"));
    if (!prefix.isEmpty()) {
        return prefix;
    }
    return environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.wine");
}

QString UnescapeWineString(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QChar e = text[++i];
        switch (e.unicode()) {
            case u'a':
                out += QChar(0x07);
                break;
            case u'b':
                out += QChar(0x08);
                break;
            case u'e':
                out += QChar(0x1B);
                break;
            case u'f':
                out += QChar(0x0C);
                break;
            case u'n':
                out += QChar(0x0A);
                break;
            case u'r':
                out += QChar(0x0D);
                break;
            case u't':
                out += QChar(0x09);
                break;
            case u'v':
                out += QChar(0x0B);
                break;
            case u'x': {
                int value = 0;
                int digits = 0;
                while (digits < 4 && i + 1 < text.size() && HexValue(text[i + 1]) >= 0) {
                    value = value * 16 + HexValue(text[++i]);
                    ++digits;
                }
                out += digits == 0 ? QChar(u'x') : QChar(static_cast<char16_t>(value));
                break;
            }
            default:
                if (e >= QLatin1Char('0') && e <= QLatin1Char('7')) {
                    int value = e.unicode() - u'0';
                    for (int digits = 1;
                         digits < 3 && i + 1 < text.size() && text[i + 1] >= QLatin1Char('0') &&
                         text[i + 1] <= QLatin1Char('7');
                         ++digits) {
                        value = value * 8 + (text[++i].unicode() - u'0');
                    }
                    out += QChar(static_cast<char16_t>(value));
                } else {
                    out += e;  // "\\", "\"" and anything unknown: the character itself
                }
        }
    }
    return out;
}

std::optional<QString> ReadWineRegistryDefault(const QString& systemReg, const QString& key) {
    QFile file(systemReg);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    const QString wanted = NormaliseKey(key);
    bool inKey = false;
    QString line;
    while (in.readLineInto(&line)) {
        if (const auto section = SectionKey(line)) {
            inKey = NormaliseKey(*section).compare(wanted, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inKey || !line.startsWith(QLatin1String("@="))) {
            continue;
        }
        QStringView value = QStringView(line).mid(2);
        if (value.startsWith(QLatin1String("str("))) {  // str(2): expandable text
            const qsizetype colon = value.indexOf(QLatin1String("):"));
            if (colon < 0) {
                return std::nullopt;
            }
            value = value.mid(colon + 2);
        }
        if (!value.startsWith(QLatin1Char('"'))) {
            return std::nullopt;  // not a text value
        }
        const auto quoted = QuotedText(value, 1);
        if (!quoted) {
            return std::nullopt;
        }
        return UnescapeWineString(*quoted);
    }
    return std::nullopt;
}

QString WindowsToUnixPath(const QString& prefix, const QString& windowsPath) {
    static const QRegularExpression drivePath(QStringLiteral(R"(^([A-Za-z]):(?:[\\/](.*))?$)"));
    const QRegularExpressionMatch match = drivePath.match(windowsPath);
    if (!match.hasMatch()) {
        return windowsPath;
    }
    const QString drive = match.captured(1).toLower();
    QString folder = prefix + QStringLiteral("/dosdevices/") + drive + QLatin1Char(':');
    if (!QFileInfo::exists(folder) && drive == QLatin1String("c")) {
        folder = prefix + QStringLiteral("/drive_c");
    }
    if (const QString real = QFileInfo(folder).canonicalFilePath(); !real.isEmpty()) {
        folder = real;
    }
    const QStringList names =
        match.captured(2).split(QRegularExpression(QStringLiteral(R"([\\/])")), Qt::SkipEmptyParts);
    QString path = folder;
    for (const QString& name : names) {
        path += QLatin1Char('/') + MatchEntry(path, name);
    }
    return path;
}

QString UnixToWindowsPath(const QString& prefix, const QString& unixPath) {
    QString path = QDir::cleanPath(QFileInfo(unixPath).absoluteFilePath());
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (const QString real = folder.canonicalFilePath(); !real.isEmpty()) {
        path = real + QLatin1Char('/') + QFileInfo(path).fileName();
    }
    QString bestDrive = QStringLiteral("z");
    QString bestRoot = QStringLiteral("/");
    qsizetype bestLength = -1;
    const QDir devices(prefix + QStringLiteral("/dosdevices"));
    for (const QString& entry :
         devices.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.size() != 2 || entry[1] != QLatin1Char(':') || !entry[0].isLetter()) {
            continue;
        }
        const QString root = QFileInfo(devices.filePath(entry)).canonicalFilePath();
        if (root.isEmpty() || root.size() <= bestLength) {
            continue;
        }
        if (path == root || root == QLatin1String("/") ||
            path.startsWith(root + QLatin1Char('/'))) {
            bestDrive = entry.left(1);
            bestRoot = root;
            bestLength = root.size();
        }
    }
    QString rest = path.mid(bestRoot == QLatin1String("/") ? 0 : bestRoot.size());
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!rest.startsWith(QLatin1Char('\\'))) {
        rest.prepend(QLatin1Char('\\'));
    }
    return bestDrive.toUpper() + QLatin1Char(':') + rest;
}

LaunchCommand BuildLaunch(const QString& program, const QString& argument,
                          const QString& winePrefix) {
#ifndef Q_OS_WIN
    if (program.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        return {
            QStringLiteral("wine"), {program, UnixToWindowsPath(winePrefix, argument)}, winePrefix};
    }
#else
    Q_UNUSED(winePrefix);
#endif
    return {program, {argument}, {}};
}

}  // namespace carillon::ui

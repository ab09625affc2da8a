// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>

#include "core/file_io.h"
#include "platform/vklay.h"
#include "platform/wine.h"

#include <QSettings>

namespace carillon::ui {

ClockText FormatClock(const QDateTime& moment) {
    const QLocale locale = QLocale::system();
    return {locale.toString(moment.date(), QLocale::ShortFormat),
            locale.toString(moment.time(), QLocale::LongFormat)};
}

QString ChoosePatchFolder(const QString& programFolder, const QString& imagePath) {
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable()) {
        return program.absoluteFilePath();
    }
    return QFileInfo(imagePath).absolutePath();
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString FromLocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::optional<QString> SystemPlatform::VKlayCommand() {
#ifdef Q_OS_WIN
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromLatin1(kVKlayCommandKey),
                  QSettings::NativeFormat);
    if (!key.contains(QStringLiteral("Default"))) {
        return std::nullopt;
    }
    return key.value(QStringLiteral("Default")).toString();
#else
    const QString prefix = WinePrefix(QProcessEnvironment::systemEnvironment());
    return ReadWineRegistryDefault(prefix + QStringLiteral("/system.reg"),
                                   QString::fromLatin1(kVKlayCommandKey));
#endif
}

QString SystemPlatform::LocalProgramPath(const QString& windowsPath) {
#ifdef Q_OS_WIN
    return windowsPath;
#else
    return WindowsToUnixPath(WinePrefix(QProcessEnvironment::systemEnvironment()), windowsPath);
#endif
}

bool SystemPlatform::FileExists(const QString& path) {
    return carillon::FileExists(LocalPath(path));
}

std::optional<QString> SystemPlatform::StartProgram(const QString& program,
                                                    const QString& argument) {
    const LaunchCommand launch =
        BuildLaunch(program, argument, WinePrefix(QProcessEnvironment::systemEnvironment()));
    QProcess process;
    process.setProgram(launch.program);
    process.setArguments(launch.arguments);
    if (!launch.winePrefix.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), launch.winePrefix);
        process.setProcessEnvironment(environment);
    }
    if (!process.startDetached()) {
        return launch.program + QStringLiteral(": ") + process.errorString();
    }
    return std::nullopt;
}

ClockText SystemPlatform::Now() {
    return FormatClock(QDateTime::currentDateTime());
}

QString SystemPlatform::PatchFolder(const QString& imagePath) {
    return ChoosePatchFolder(QCoreApplication::applicationDirPath(), imagePath);
}

QString SystemPlatform::Setting(const QString& key) {
    const QSettings settings(QSettings::UserScope, QStringLiteral("Carillon"),
                             QStringLiteral("Carillon"));
    return settings.value(key).toString();
}

void SystemPlatform::SetSetting(const QString& key, const QString& value) {
    QSettings settings(QSettings::UserScope, QStringLiteral("Carillon"),
                       QStringLiteral("Carillon"));
    settings.setValue(key, value);
}

}  // namespace carillon::ui

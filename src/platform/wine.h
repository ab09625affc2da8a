// SPDX-License-Identifier: GPL-3.0-or-later
// V_KLay under Wine: the prefix's registry file and the mapping between Windows and Unix paths.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace carillon::ui {

// $WINEPREFIX, or ~/.wine when it is unset or empty.
QString WinePrefix(const QProcessEnvironment& environment);

// The contents of a quoted string of a Wine registry file (without the quotes), unescaped:
// "\\" and "\"" stand for one character, "\xNNNN" (one to four hex digits) for a UTF-16 code
// unit, "\ooo" for an octal one, and "\n", "\r", "\t", "\a", "\b", "\e", "\f", "\v" as in C.
QString UnescapeWineString(QStringView text);

// The default value ("@=...") of `key` (relative to HKEY_LOCAL_MACHINE, any letter case) in
// a Wine "system.reg" file, or nothing when the file, the key or the value is missing.
std::optional<QString> ReadWineRegistryDefault(const QString& systemReg, const QString& key);

// "C:\Program Files\x.exe" → the Unix path through "<prefix>/dosdevices/c:" (or
// "<prefix>/drive_c" when that link is missing). Each folder and file name is matched without
// regard to letter case when the exact spelling does not exist, as Windows would. Text that
// is not a drive-letter path comes back unchanged.
QString WindowsToUnixPath(const QString& prefix, const QString& windowsPath);

// An absolute Unix path as Wine programs see it: through the drive of "<prefix>/dosdevices"
// whose folder holds it most closely, else through "Z:", Wine's drive for "/".
QString UnixToWindowsPath(const QString& prefix, const QString& unixPath);

// How a program is started with one argument: never through a shell. On Linux a ".exe" runs
// as "wine PROGRAM ARG", with WINEPREFIX set and ARG given as a Windows path.
struct LaunchCommand {
    QString program;
    QStringList arguments;
    QString winePrefix;  // empty: no Wine
};
LaunchCommand BuildLaunch(const QString& program, const QString& argument,
                          const QString& winePrefix);

}  // namespace carillon::ui

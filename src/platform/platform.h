// SPDX-License-Identifier: GPL-3.0-or-later
// What the window needs from the system besides dialogs: the V_KLay lookup, file existence,
// starting a program, the clock in the user's regional formats and the folder for ".vkp"
// files. Tests put a fake in its place.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace carillon::ui {

// The local date and time as the user's regional settings write them.
struct ClockText {
    QString shortDate;  // regional short date format
    QString longTime;   // regional long time format
};

class Platform {
  public:
    virtual ~Platform() = default;

    // The default value of the "open" command key of ".vkp" files (kVKlayCommandKey under
    // HKEY_LOCAL_MACHINE), or nothing when the key or the value is missing.
    virtual std::optional<QString> VKlayCommand() = 0;
    // The path this system uses for a Windows program path from that command: the path
    // itself on Windows, the Unix path inside the Wine prefix on Linux.
    virtual QString LocalProgramPath(const QString& windowsPath) = 0;
    // True when a regular file exists at `path`.
    virtual bool FileExists(const QString& path) = 0;
    // Starts `program` with the one argument `argument` without waiting; never through a
    // shell. Nothing when it started, else the program that could not be started and the
    // system's reason.
    virtual std::optional<QString> StartProgram(const QString& program,
                                                const QString& argument) = 0;
    // The current local date and time in the regional formats.
    virtual ClockText Now() = 0;
    // The folder that receives ".vkp" files for the image at `imagePath`.
    virtual QString PatchFolder(const QString& imagePath) = 0;
    // What the window keeps across launches (folders last used, a V_KLay path chosen by
    // hand): the value stored under `key`, empty when none.
    virtual QString Setting(const QString& key) = 0;
    virtual void SetSetting(const QString& key, const QString& value) = 0;
};

// Formats a moment with the system locale's short date and long time formats.
ClockText FormatClock(const QDateTime& moment);

// The program's own folder while it is writable (a portable install), else the folder of
// the opened image (a system-wide install).
QString ChoosePatchFolder(const QString& programFolder, const QString& imagePath);

// A QString path in the local 8-bit encoding the core's file functions take, and back.
std::string LocalPath(const QString& path);
QString FromLocalPath(const std::string& path);

// The real system: the registry on Windows; Wine's registry file and drive links on Linux.
class SystemPlatform : public Platform {
  public:
    std::optional<QString> VKlayCommand() override;
    QString LocalProgramPath(const QString& windowsPath) override;
    bool FileExists(const QString& path) override;
    std::optional<QString> StartProgram(const QString& program, const QString& argument) override;
    ClockText Now() override;
    QString PatchFolder(const QString& imagePath) override;
    // The user's settings of this program (QSettings, organisation and application "Carillon").
    QString Setting(const QString& key) override;
    void SetSetting(const QString& key, const QString& value) override;
};

}  // namespace carillon::ui

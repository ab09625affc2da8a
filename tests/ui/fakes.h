// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-ins for the window's seams: dialogs answered from a script, and a platform with a
// given registry value, recorded launches, a fixed clock and a chosen patch folder.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "ui/dialogs.h"

namespace carillon::ui::testing {

// One message, question or report that the window showed.
struct ShownMessage {
    enum Kind { Error, Confirm, Message, Warning, Report } kind;
    QString title;  // "Error", "Confirm", the given title, or "Carillon"
    QString text;
};

class ScriptedDialogs : public Dialogs {
  public:
    // Answers for OpenFile in order; nothing queued (or std::nullopt) means Cancel.
    std::deque<std::optional<QString>> fileAnswers;
    // Answers for Confirm in order; nothing queued means No.
    std::deque<bool> confirmAnswers;
    // Every file dialog shown, as it was described when shown.
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<ShownMessage> shown;
    // Called with each message, question or report as it is shown (to look at the window then).
    std::function<void(const ShownMessage&)> onShow;
    // When set, the next file dialog fails with this instead of showing (a handler that throws).
    std::function<void()> failOpenFile;

    std::optional<QString> OpenFile(const FileDialogRequest& dialog) override;
    // Save-file dialogs: answered from `saveAnswers` (nothing queued means Cancel) and
    // recorded in `saveDialogs`.
    std::deque<std::optional<QString>> saveAnswers;
    std::vector<FileDialogRequest> saveDialogs;
    std::optional<QString> SaveFile(const FileDialogRequest& dialog) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    void ShowMessage(const QString& title, const QString& text) override;
    void ShowWarning(const QString& text) override;
    void ReportError(const QString& text) override;
    // Patch workbenches: answered from `workbenchAnswers` (nothing queued means Close; a
    // disabled button cannot be pressed, so it closes the box too) and recorded as shown.
    std::deque<WorkbenchChoice> workbenchAnswers;
    std::vector<PatchWorkbenchRequest> workbenches;
    WorkbenchChoice PatchWorkbench(const PatchWorkbenchRequest& dialog) override;

  private:
    void Show(const ShownMessage& message);
};

class FakePlatform : public Platform {
  public:
    struct Launch {
        QString program;
        QString argument;
    };

    std::optional<QString> registryValue;  // the "open" command; nothing: key missing
    QStringList existingFiles;             // exist besides the real files on disk
    std::vector<Launch> launches;
    ClockText clock{QStringLiteral("08.12.2026"), QStringLiteral("02:03:04")};
    QString patchFolder;  // empty: the image's folder

    std::optional<QString> VKlayCommand() override { return registryValue; }
    QString LocalProgramPath(const QString& windowsPath) override { return windowsPath; }
    bool FileExists(const QString& path) override;
    std::optional<QString> startError;  // set: every start fails with this reason
    QMap<QString, QString> settings;    // what the window keeps across launches

    std::optional<QString> StartProgram(const QString& program, const QString& argument) override {
        launches.push_back({program, argument});
        return startError;
    }
    ClockText Now() override { return clock; }
    QString PatchFolder(const QString& imagePath) override;
    QString Setting(const QString& key) override { return settings.value(key); }
    void SetSetting(const QString& key, const QString& value) override {
        settings.insert(key, value);
    }
};

}  // namespace carillon::ui::testing

namespace carillon::ui {
class TForm1;
}

namespace carillon::ui::testing {

// Gestures on the window, as a user makes them.
// Drops `path` on row `row` of the slot list (-1: on the window's left column).
void DropOn(TForm1& form, const QString& path, int row);
// Types `text` into the caption editor that is open, and confirms it with Return.
void TypeCaption(TForm1& form, const QString& text);

}  // namespace carillon::ui::testing

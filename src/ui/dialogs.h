// SPDX-License-Identifier: GPL-3.0-or-later
// Every message box, question and file dialog of the window goes through this interface, so
// tests can answer them from a script and read back what was shown.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace carillon::ui {

// An open-file dialog as the window describes it. The filter is a list of pairs, description
// and pattern, all separated by "|" ("Melodies (*.si3)|*.si3"). An empty title means the
// platform's default title. The dialog accepts only an existing file in an existing folder.
struct FileDialogRequest {
    QString title;
    QString filter;
    QString fileName;  // preset file name, may be empty
    QString folder;    // folder to open in when no preset names one; may be empty
};

// The patch workbench: what a ".vkp" dropped on the window would do to the opened image.
struct PatchWorkbenchRequest {
    QString patchName;           // the patch's file name
    QString counts;              // its counts line, or why it cannot be used
    QStringList records;         // at most ten records that do not apply, with their lines
    QString more;                // "and K more", or empty
    bool applyEnabled = false;   // "Apply to a copy..."
    bool revertEnabled = false;  // "Revert to a copy..."
};

// The button that closed the workbench.
enum class WorkbenchChoice { Close, Apply, Revert };

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // Shows an open-file dialog; the chosen file's full path, or nothing on cancel.
    virtual std::optional<QString> OpenFile(const FileDialogRequest& dialog) = 0;
    // Shows a save-file dialog proposing `dialog.fileName` in `dialog.folder`; the platform's
    // dialog asks before an existing file is chosen. The chosen full path, or nothing.
    virtual std::optional<QString> SaveFile(const FileDialogRequest& dialog) = 0;
    // The platform's standard error dialog: caption "Error", one OK button.
    virtual void ShowError(const QString& text) = 0;
    // The platform's standard question: caption "Confirm", Yes and No, "No" the default (a
    // "Yes" replaces a file or cuts one). True for Yes.
    virtual bool Confirm(const QString& text) = 0;
    // A message box with the given caption, an OK button and no icon. The patch run names
    // "Carillon" as its caption.
    virtual void ShowMessage(const QString& title, const QString& text) = 0;
    // A warning box captioned "Carillon" with the warning icon and an OK button: something the
    // user must know before anything is written.
    virtual void ShowWarning(const QString& text) = 0;
    // The application's general error report, captioned "Carillon": shows an input/output
    // error text ("PATH: TEXT"), or any other failure, that ended a handler.
    virtual void ReportError(const QString& text) = 0;
    // The patch workbench, captioned "Carillon": the patch's name, its counts and failing
    // records, and the buttons "Apply to a copy...", "Revert to a copy..." (each enabled as
    // the request says) and "Close". The button pressed; Close when the box is dismissed.
    virtual WorkbenchChoice PatchWorkbench(const PatchWorkbenchRequest& dialog) = 0;
};

// Converts "Desc|pattern|Desc|pattern" to Qt's "Desc (pattern);;..." form. "*.*" becomes "*",
// and each extension pattern also matches its upper-case spelling.
QString QtNameFilter(const QString& filter);

// The real dialogs: QFileDialog and QMessageBox, parented to `parent`.
class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    std::optional<QString> OpenFile(const FileDialogRequest& dialog) override;
    std::optional<QString> SaveFile(const FileDialogRequest& dialog) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;
    void ShowMessage(const QString& title, const QString& text) override;
    void ShowWarning(const QString& text) override;
    void ReportError(const QString& text) override;
    WorkbenchChoice PatchWorkbench(const PatchWorkbenchRequest& dialog) override;

  private:
    QWidget* parent_;
};

}  // namespace carillon::ui

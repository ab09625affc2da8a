#include "fakes.h"

#include <QFileInfo>
#include <utility>

#include "core/file_io.h"

namespace carillon::ui::testing {

std::optional<QString> ScriptedDialogs::SaveFile(const FileDialogRequest& dialog) {
    saveDialogs.push_back(dialog);
    if (saveAnswers.empty()) {
        return std::nullopt;
    }
    const std::optional<QString> answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::OpenFile(const FileDialogRequest& dialog) {
    if (failOpenFile) {
        const auto fail = std::exchange(failOpenFile, nullptr);
        fail();
    }
    fileDialogs.push_back(dialog);
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    const bool chosen = fileAnswers.front().has_value();
    const QString answer = chosen ? *fileAnswers.front() : QString();
    fileAnswers.pop_front();
    if (!chosen) {
        return std::nullopt;
    }
    return answer;
}

void ScriptedDialogs::ShowError(const QString& text) {
    Show({ShownMessage::Error, QStringLiteral("Error"), text});
}

bool ScriptedDialogs::Confirm(const QString& text) {
    Show({ShownMessage::Confirm, QStringLiteral("Confirm"), text});
    if (confirmAnswers.empty()) {
        return false;
    }
    const bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::ShowMessage(const QString& title, const QString& text) {
    Show({ShownMessage::Message, title, text});
}

void ScriptedDialogs::ShowWarning(const QString& text) {
    Show({ShownMessage::Warning, QStringLiteral("Carillon"), text});
}

void ScriptedDialogs::ReportError(const QString& text) {
    Show({ShownMessage::Report, QStringLiteral("Carillon"), text});
}

WorkbenchChoice ScriptedDialogs::PatchWorkbench(const PatchWorkbenchRequest& dialog) {
    workbenches.push_back(dialog);
    if (workbenchAnswers.empty()) {
        return WorkbenchChoice::Close;
    }
    const WorkbenchChoice answer = workbenchAnswers.front();
    workbenchAnswers.pop_front();
    const bool enabled = (answer == WorkbenchChoice::Apply && dialog.applyEnabled) ||
                         (answer == WorkbenchChoice::Revert && dialog.revertEnabled);
    return enabled ? answer : WorkbenchChoice::Close;
}

void ScriptedDialogs::Show(const ShownMessage& message) {
    shown.push_back(message);
    if (onShow) {
        onShow(message);
    }
}

bool FakePlatform::FileExists(const QString& path) {
    return existingFiles.contains(path) || carillon::FileExists(LocalPath(path));
}

QString FakePlatform::PatchFolder(const QString& imagePath) {
    return patchFolder.isEmpty() ? QFileInfo(imagePath).absolutePath() : patchFolder;
}

}  // namespace carillon::ui::testing

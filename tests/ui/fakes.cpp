// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTreeWidget>
#include <utility>

#include "core/file_io.h"
#include "ui/form1.h"

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

void DropOn(TForm1& form, const QString& path, int row) {
    QPoint at(40, 40);
    if (row >= 0) {
        const QRect rect = form.ListView1->visualItemRect(form.ListView1->topLevelItem(row));
        at = form.ListView1->viewport()->mapTo(&form, rect.center());
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);  // a drop reaches the widget a drag entered
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
}

void TypeCaption(TForm1& form, const QString& text) {
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : form.ListView1->viewport()->findChildren<QLineEdit*>()) {
        editor = e->isVisible() ? e : editor;
    }
    if (editor == nullptr) {
        QFAIL("no caption editor is open");
    }
    editor->clear();
    for (const QChar c : text) {  // QTest types ASCII only; other letters arrive as key text
        if (c.unicode() < 0x80) {
            QTest::keyClick(editor, c.toLatin1());
        } else {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(editor, &press);
        }
    }
    QTest::keyClick(editor, Qt::Key_Return);
}

}  // namespace carillon::ui::testing

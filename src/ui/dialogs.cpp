// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include "core/product.h"

namespace carillon::ui {

namespace {

QString Patterns(const QString& patterns) {
    QStringList out;
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString pattern = p.trimmed();
        if (pattern == QLatin1String("*.*")) {
            out << QStringLiteral("*");
            continue;
        }
        out << pattern;
        if (pattern.toUpper() != pattern) {
            out << pattern.toUpper();
        }
    }
    return out.join(QLatin1Char(' '));
}

QString Title() {
    return QString::fromUtf8(kApplicationTitle.data(), qsizetype(kApplicationTitle.size()));
}

// Shows `box` centred on the window it belongs to. Qt centres a box on its parent only once
// the window system has placed the parent; a box shown while the window is still being placed
// (a message about the image given on the command line) would open in the middle of the screen.
int Exec(QMessageBox& box, QWidget* parent) {
    if (parent != nullptr) {
        // Once the box is shown at its final size, and the window's place is known.
        QTimer::singleShot(0, &box, [&box, parent] {
            const QRect window = parent->window()->frameGeometry();
            const QRect frame = box.frameGeometry();
            box.move(window.center() - QPoint(frame.width() / 2, frame.height() / 2));
        });
    }
    return box.exec();
}

}  // namespace

QString QtNameFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString shown = QStringLiteral("(") + parts[i + 1] + QStringLiteral(")");
        if (description.endsWith(shown)) {
            description.chop(shown.size());
        }
        entries << description.trimmed() + QStringLiteral(" (") + Patterns(parts[i + 1]) +
                       QStringLiteral(")");
    }
    return entries.join(QStringLiteral(";;"));
}

std::optional<QString> QtDialogs::SaveFile(const FileDialogRequest& dialog) {
    QFileDialog box(parent_, dialog.title);
    box.setFileMode(QFileDialog::AnyFile);
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setNameFilter(QtNameFilter(dialog.filter));
    if (!dialog.folder.isEmpty() && QFileInfo(dialog.folder).isDir()) {
        box.setDirectory(dialog.folder);
    }
    box.selectFile(dialog.fileName);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFileInfo(box.selectedFiles().constFirst()).absoluteFilePath();
}

std::optional<QString> QtDialogs::OpenFile(const FileDialogRequest& dialog) {
    QFileDialog box(parent_, dialog.title);
    box.setFileMode(QFileDialog::ExistingFile);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setNameFilter(QtNameFilter(dialog.filter));
    if (!dialog.fileName.isEmpty()) {
        const QFileInfo preset(dialog.fileName);
        if (preset.dir().exists()) {
            box.setDirectory(preset.absolutePath());
        }
        box.selectFile(preset.fileName());
    } else if (!dialog.folder.isEmpty() && QFileInfo(dialog.folder).isDir()) {
        box.setDirectory(dialog.folder);
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    // Whatever is there is returned, a FIFO too: the window says why it takes no such file.
    const QFileInfo chosen(box.selectedFiles().constFirst());
    if (!chosen.exists()) {
        return std::nullopt;
    }
    return chosen.absoluteFilePath();
}

void QtDialogs::ShowError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("Dialogs", "Error"), text,
                    QMessageBox::Ok, parent_);
    Exec(box, parent_);
}

bool QtDialogs::Confirm(const QString& text) {
    // Every question's "Yes" replaces or cuts something: Enter and Escape both answer "No".
    QMessageBox box(QMessageBox::Question, QCoreApplication::translate("Dialogs", "Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return Exec(box, parent_) == QMessageBox::Yes;
}

void QtDialogs::ShowMessage(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent_);
    Exec(box, parent_);
}

void QtDialogs::ShowWarning(const QString& text) {
    QMessageBox box(QMessageBox::Warning, Title(), text, QMessageBox::Ok, parent_);
    Exec(box, parent_);
}

void QtDialogs::ReportError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, Title(), text, QMessageBox::Ok, parent_);
    Exec(box, parent_);
}

WorkbenchChoice QtDialogs::PatchWorkbench(const PatchWorkbenchRequest& dialog) {
    QMessageBox box(
        QMessageBox::NoIcon,
        QString::fromUtf8(kApplicationTitle.data(), qsizetype(kApplicationTitle.size())),
        dialog.patchName, QMessageBox::NoButton, parent_);
    // The counts, then the records that do not apply after a blank line.
    QStringList lines = dialog.records;
    if (!dialog.more.isEmpty()) {
        lines << dialog.more;
    }
    if (!lines.isEmpty()) {
        lines.prepend(QString());
    }
    lines.prepend(dialog.counts);
    box.setInformativeText(lines.join(QLatin1Char('\n')));
    box.setTextFormat(Qt::PlainText);
    QPushButton* apply = box.addButton(QCoreApplication::translate("Dialogs", "Apply to a copy..."),
                                       QMessageBox::AcceptRole);
    QPushButton* revert = box.addButton(
        QCoreApplication::translate("Dialogs", "Revert to a copy..."), QMessageBox::ActionRole);
    QPushButton* close =
        box.addButton(QCoreApplication::translate("Dialogs", "Close"), QMessageBox::RejectRole);
    apply->setEnabled(dialog.applyEnabled);
    revert->setEnabled(dialog.revertEnabled);
    box.setDefaultButton(close);
    box.setEscapeButton(close);
    Exec(box, parent_);
    if (box.clickedButton() == apply && dialog.applyEnabled) {
        return WorkbenchChoice::Apply;
    }
    if (box.clickedButton() == revert && dialog.revertEnabled) {
        return WorkbenchChoice::Revert;
    }
    return WorkbenchChoice::Close;
}

}  // namespace carillon::ui

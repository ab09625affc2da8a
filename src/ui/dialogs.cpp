#include "ui/dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

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
    const QFileInfo chosen(box.selectedFiles().constFirst());
    if (!chosen.isFile()) {
        return std::nullopt;
    }
    return chosen.absoluteFilePath();
}

void QtDialogs::ShowError(const QString& text) {
    QMessageBox::critical(parent_, QCoreApplication::translate("Dialogs", "Error"), text,
                          QMessageBox::Ok);
}

bool QtDialogs::Confirm(const QString& text) {
    // Every question's "Yes" replaces or cuts something: Enter and Escape both answer "No".
    QMessageBox box(QMessageBox::Question, QCoreApplication::translate("Dialogs", "Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::ShowMessage(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent_);
    box.exec();
}

void QtDialogs::ShowWarning(const QString& text) {
    QMessageBox::warning(
        parent_, QString::fromUtf8(kApplicationTitle.data(), qsizetype(kApplicationTitle.size())),
        text, QMessageBox::Ok);
}

void QtDialogs::ReportError(const QString& text) {
    QMessageBox::critical(
        parent_, QString::fromUtf8(kApplicationTitle.data(), qsizetype(kApplicationTitle.size())),
        text, QMessageBox::Ok);
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
    box.exec();
    if (box.clickedButton() == apply && dialog.applyEnabled) {
        return WorkbenchChoice::Apply;
    }
    if (box.clickedButton() == revert && dialog.revertEnabled) {
        return WorkbenchChoice::Revert;
    }
    return WorkbenchChoice::Close;
}

}  // namespace carillon::ui

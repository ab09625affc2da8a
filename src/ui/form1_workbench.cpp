// SPDX-License-Identifier: GPL-3.0-or-later
// The patch workbench: a ".vkp" dropped on the window is judged against the opened image, read
// afresh from disk, and one dialog offers a copy of the image with the patch applied, or taken
// back out. Each is offered exactly when `carillon-cli apply` (or `apply --revert`) would write
// it, by the same engine judgement; the opened image is never written here.
#include <QFileInfo>
#include <QLineEdit>

#include "core/file_io.h"
#include "core/product.h"
#include "platform/platform.h"
#include "ui/form1.h"
#include "ui/slot_list.h"
#include "ui/translation.h"

namespace carillon::ui {

bool TForm1::DropPatchFile(const QString& path) {
    if (QFileInfo(path).suffix().compare(QStringLiteral("vkp"), Qt::CaseInsensitive) != 0) {
        return false;
    }
    if (!imageOpen_) {
        dialogs.ShowMessage(Text(kApplicationTitle), tr("Open an image first"));
        return true;
    }
    PatchWorkbench(path);
    return true;
}

void TForm1::PatchWorkbench(const QString& path) {
    const QString imagePath = Edit1->text();
    const std::string localImage = LocalPath(imagePath);
    const std::string localPatch = LocalPath(path);
    const Bytes image = ReadWholeFile(localImage, kImageBufferSize);
    const ImageKind kind = DecideKind(localImage, image.size());
    const ApplyResult applied = ApplyVkpFile(localPatch, kind, image, {JudgeDirection::Apply});
    // The same snapshot of the image, the patch read again and judged last first.
    const ApplyResult reverted = ApplyVkpFile(localPatch, kind, image, {JudgeDirection::Revert});

    PatchWorkbenchRequest request;
    request.patchName = QFileInfo(path).fileName();
    request.counts =
        Translated(applied.counts.records > 0 ? applied.counts.CountsMessage() : applied.Refusal());
    for (const RecordCheck& c : applied.failures) {
        request.records << Translated(RecordVerdict(c));
    }
    if (applied.moreFailures > 0) {
        request.more = tr("and %1 more").arg(applied.moreFailures);
    }
    request.applyEnabled = applied.Writes();
    request.revertEnabled = reverted.Writes();

    switch (dialogs.PatchWorkbench(request)) {
        case WorkbenchChoice::Apply:
            SaveWorkbenchCopy(applied, imagePath, path, tr("Apply to a copy"),
                              QStringLiteral("applied"));
            break;
        case WorkbenchChoice::Revert:
            SaveWorkbenchCopy(reverted, imagePath, path, tr("Revert to a copy"),
                              QStringLiteral("reverted"));
            break;
        case WorkbenchChoice::Close:
            break;
    }
}

bool TForm1::SaveWorkbenchCopy(const ApplyResult& result, const QString& imagePath,
                               const QString& patchPath, const QString& title, const QString& tag) {
    const QFileInfo opened(imagePath);
    FileDialogRequest dialog;
    dialog.title = title;
    dialog.filter = OpenDialog1.filter;
    dialog.fileName = opened.completeBaseName() + QStringLiteral("__") + tag;
    if (!opened.suffix().isEmpty()) {
        dialog.fileName += QLatin1Char('.') + opened.suffix();
    }
    dialog.folder = opened.absolutePath();
    const std::optional<QString> chosen = dialogs.SaveFile(dialog);
    if (!chosen) {
        return false;
    }
    // The user confirmed the name in the dialog; the image and the patch are never replaced.
    WriteApplyResult(result, LocalPath(imagePath), LocalPath(patchPath), LocalPath(*chosen), true);
    dialogs.ShowMessage(Text(kApplicationTitle),
                        tr("Wrote %1 (verified): %2").arg(*chosen, Translated(result.Summary())));
    return true;
}

}  // namespace carillon::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// The real dialogs (QMessageBox), as a user meets them: the key that answers a question, and
// where a message at start-up opens.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "fakes.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

using namespace carillon::ui;
using namespace carillon::ui::testing;

namespace {

// Runs `look` on the next message box that opens, then closes it with `key`.
void OnNextBox(const std::function<void(QMessageBox&)>& look, Qt::Key key) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, look, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        look(*box);
        QTest::keyClick(box, key);
    });
    poll->start(10);
}

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT

  private slots:
    void enterNeverSaysYes();
    void aStartUpMessageOpensOverTheWindow();
    void theWorkbenchOffersOnlyWhatTheRequestAllows();
};

void TestDialogs::enterNeverSaysYes() {
    QtDialogs dialogs;
    QString defaultButton;
    OnNextBox(
        [&](QMessageBox& box) {
            defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
        },
        Qt::Key_Return);
    QVERIFY(!dialogs.Confirm(QStringLiteral("File \"x.bin\" already exist!\r\nReplace it?")));
    QCOMPARE(defaultButton, QMessageBox(QMessageBox::Question, {}, {}, QMessageBox::No)
                                .button(QMessageBox::No)
                                ->text());
    OnNextBox([](QMessageBox&) {}, Qt::Key_Escape);
    QVERIFY(!dialogs.Confirm(QStringLiteral("Cut them and go on?")));
}

void TestDialogs::aStartUpMessageOpensOverTheWindow() {
    QTemporaryDir dir;
    FakePlatform platform;
    QtDialogs dialogs;
    TForm1 form(dialogs, platform);
    dialogs.SetParent(&form);
    QPoint boxCentre;
    QString text;
    OnNextBox(
        [&](QMessageBox& box) {
            boxCentre = box.frameGeometry().center();
            text = box.text();
        },
        Qt::Key_Return);
    form.Start(dir.filePath(QStringLiteral("missing.bin")));  // as `carillon missing.bin`
    QVERIFY(text.startsWith(dir.filePath(QStringLiteral("missing.bin")) + ": "));
    const QPoint formCentre = form.frameGeometry().center();
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    QVERIFY2((boxCentre - formCentre).manhattanLength() <= 4,
             qPrintable(QStringLiteral("box at %1,%2, window at %3,%4")
                            .arg(boxCentre.x())
                            .arg(boxCentre.y())
                            .arg(formCentre.x())
                            .arg(formCentre.y())));
    QVERIFY((formCentre - screenCentre).manhattanLength() <= 4);
}

void TestDialogs::theWorkbenchOffersOnlyWhatTheRequestAllows() {
    QtDialogs dialogs;
    PatchWorkbenchRequest request;
    request.patchName = QStringLiteral("fix.vkp");
    request.counts =
        QStringLiteral("2 records: 1 apply, 0 applied, 1 conflict, 0 outside, 0 unchecked");
    request.records = {QStringLiteral("line 4: 000100: conflict")};
    request.revertEnabled = true;
    QStringList enabled;
    QString shown;
    QString defaultButton;
    OnNextBox(
        [&](QMessageBox& box) {
            for (QAbstractButton* b : box.buttons()) {
                if (b->isEnabled()) {
                    enabled << b->text();
                }
            }
            shown = box.text() + QLatin1Char('\n') + box.informativeText();
            defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
        },
        Qt::Key_Return);
    QCOMPARE(dialogs.PatchWorkbench(request), WorkbenchChoice::Close);
    enabled.sort();
    QCOMPARE(enabled,
             (QStringList{QStringLiteral("Close"), QStringLiteral("Revert to a copy...")}));
    QCOMPARE(shown, QStringLiteral("fix.vkp\n") + request.counts +
                        QStringLiteral("\n\nline 4: 000100: conflict"));
    QCOMPARE(defaultButton, QStringLiteral("Close"));
    OnNextBox([](QMessageBox&) {}, Qt::Key_Escape);
    QCOMPARE(dialogs.PatchWorkbench(request), WorkbenchChoice::Close);
}

QTEST_MAIN(TestDialogs)
#include "dialogs_test.moc"

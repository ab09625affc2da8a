// SPDX-License-Identifier: GPL-3.0-or-later
// The two hidden commands: compacting sector A into a new file, and the free-space probe.
// Their only output is the caption of their button.
#include <QLineEdit>
#include <QPushButton>

#include "core/file_io.h"
#include "eeprom/probe.h"
#include "eeprom/relocation.h"
#include "ui/form1.h"

namespace carillon::ui {

void TForm1::Button6Click() {
    Guard([this] {
        // The copy goes to the image path + ".relopated.bin", replacing a file of that name;
        // an image that cannot be relocated safely is refused before anything is written.
        const RelocationResult relocated = RelocateFile(Buffer, LocalPath(Edit1->text()), Kind);
        Button6->setText(QString::number(relocated.lowestBlockAddress));
    });
}

void TForm1::Button5Click() {
    Guard(
        [this] { Button5->setText(QString::number(ProbeFile(Buffer, LocalPath(Edit1->text())))); });
}

}  // namespace carillon::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/vklay.h"

namespace carillon::ui {

QString ProgramFromCommand(const std::optional<QString>& command) {
    if (!command) {
        return QString::fromLatin1(kDefaultVKlayPath);
    }
    QString text = *command;
    if (text.startsWith(QLatin1Char('"'))) {
        const qsizetype close = text.indexOf(QLatin1Char('"'), 1);
        return close < 0 ? text.mid(1) : text.mid(1, close - 1);
    }
    if (text.contains(QLatin1String(" %1"))) {
        text.chop(3);
    }
    return text;
}

}  // namespace carillon::ui

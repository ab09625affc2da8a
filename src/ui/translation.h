// SPDX-License-Identifier: GPL-3.0-or-later
// The window in the language of the user's locale. English is the source language: under an
// English or C locale no translation is loaded and every text stays as written. Files the
// window writes (".vkp" comments, file names) and slot captions are never translated.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include "core/message.h"

class QCoreApplication;

namespace carillon::ui {

// Installs Qt's own translation (standard buttons, file dialogs) and the first
// carillon_<language>.qm for `locale` found in `folders`. True when Carillon's was found.
bool InstallTranslations(QCoreApplication& app, const QLocale& locale, const QStringList& folders);

// Where an installed carillon keeps its translations: beside the program (a portable copy) and
// in share/carillon/translations above its bin folder.
QStringList TranslationFolders();

// An engine message in the window's language: its pattern translated in the context "Message",
// its plain arguments (paths, names, numbers) kept as they are, its message arguments
// translated the same way.
QString Translated(const Message& message);
// Lines joined by CR LF, each translated.
QString Translated(const MessageLines& lines);

}  // namespace carillon::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// The page's own texts, beside those it shares with the window. The page looks them up in the
// context "Web" of translations/carillon_ru.ts; this list is what keeps them there when the
// translations are refreshed from the sources (`update_translations`).
#pragma once

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace carillon::web {

inline constexpr const char* kPageTexts[] = {
    QT_TRANSLATE_NOOP("Web",
                      "Nothing you open here leaves this page: every file is read and "
                      "written in your browser."),
    QT_TRANSLATE_NOOP("Web", "Image"),
    QT_TRANSLATE_NOOP("Web", "Content"),
    QT_TRANSLATE_NOOP("Web", "Patch for V_KLay"),
    QT_TRANSLATE_NOOP("Web", "Patched image"),
    QT_TRANSLATE_NOOP("Web", "Add timestamp"),
    QT_TRANSLATE_NOOP("Web", "Patch workbench"),
    QT_TRANSLATE_NOOP("Web", "Patch"),
    QT_TRANSLATE_NOOP("Web", "Records"),
    QT_TRANSLATE_NOOP("Web", "Line"),
    QT_TRANSLATE_NOOP("Web", "Bytes"),
    QT_TRANSLATE_NOOP("Web", "Verdict"),
    QT_TRANSLATE_NOOP("Web", "Compare with"),
    QT_TRANSLATE_NOOP("Web", "Make patch"),
    QT_TRANSLATE_NOOP("Web", "File for %1"),
    QT_TRANSLATE_NOOP("Web", "New name for %1"),
    QT_TRANSLATE_NOOP("Web", "Written as %1"),
    QT_TRANSLATE_NOOP("Web", "Opened %1"),
    QT_TRANSLATE_NOOP("Web", "Downloaded %1"),
    QT_TRANSLATE_NOOP("Web", "%1 goes into \"%2\""),
    QT_TRANSLATE_NOOP("Web", "Choose a file for a slot first"),
    QT_TRANSLATE_NOOP("Web", "%1: %2"),
    QT_TRANSLATE_NOOP("Web", "%1 records, %2 bytes changed"),
};

}  // namespace carillon::web

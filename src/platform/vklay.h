// SPDX-License-Identifier: GPL-3.0-or-later
// Where the V_KLay program is, from the "open" command of ".vkp" files.
#pragma once

#include <QString>
#include <optional>

namespace carillon::ui {

// The key whose default value holds the "open" command of ".vkp" files, under
// HKEY_LOCAL_MACHINE.
inline constexpr const char* kVKlayCommandKey = R"(SOFTWARE\Classes\V_KLay.vkp\shell\open\command)";
// Used when the key or its default value is missing.
inline constexpr const char* kDefaultVKlayPath = R"(C:\Program Files\Vi-Soft\V_Klay\V_KLay.exe)";

// The program path in an "open" command. Without a value: the default path. A value that
// starts with a double quote gives the text up to the next double quote (the whole rest when
// none follows). Otherwise a value holding " %1" anywhere loses its last three characters,
// and any other value is taken unchanged.
QString ProgramFromCommand(const std::optional<QString>& command);

}  // namespace carillon::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// Names the window and every patch block carry, and the names the installed desktop files use.
#pragma once

#include <string_view>

namespace carillon {

inline constexpr std::string_view kApplicationTitle = "Carillon";
// The version both programs report; CMake reads it from this line for the package.
inline constexpr std::string_view kVersion = "2.20b";
// The main window's caption; the second line of every patch block repeats it.
inline constexpr std::string_view kWindowTitle = "Carillon     v2.20b";
static_assert(kWindowTitle.ends_with(kVersion), "the caption shows the program's version");
// What `--version` prints for both programs.
inline constexpr std::string_view kVersionLine = "carillon 2.20b";
static_assert(kVersionLine.ends_with(kVersion));
// The licence, by its SPDX id: free software under the GNU GPL, version 3 or later. CMake reads
// it from this line for the package and the metainfo.
inline constexpr std::string_view kLicense = "GPL-3.0-or-later";
// The line `--version` prints after kVersionLine.
inline constexpr std::string_view kLicenseLine =
    "Licence: GPL-3.0-or-later (GNU General Public License, version 3 or later)";
static_assert(kLicenseLine.find(kLicense) != std::string_view::npos);
// The id of the desktop entry, the AppStream component, the icons and the MIME package.
inline constexpr std::string_view kDesktopId = "io.github.carillon.Carillon";

}  // namespace carillon

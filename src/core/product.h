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
// The id of the desktop entry, the AppStream component, the icons and the MIME package.
inline constexpr std::string_view kDesktopId = "io.github.carillon.Carillon";

}  // namespace carillon

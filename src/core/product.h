// Names the window and every patch block carry.
#pragma once

#include <string_view>

namespace carillon {

inline constexpr std::string_view kApplicationTitle = "Carillon";
// The main window's caption; the second line of every patch block repeats it.
inline constexpr std::string_view kWindowTitle = "Carillon     v2.20b";

}  // namespace carillon

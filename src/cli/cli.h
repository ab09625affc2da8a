// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace carillon::cli {

// Runs carillon-cli with the given arguments (argv[0] is the program name). Returns the exit
// code: 0 success, 1 a failed job (message on `err`), 2 a usage error.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// "these files were written: A, B" (paths escaped), or "no file was written".
std::string WrittenFilesClause(const std::vector<std::string>& written);

}  // namespace carillon::cli

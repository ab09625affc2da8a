// SPDX-License-Identifier: GPL-3.0-or-later
// Appending a patch block to a ".vkp" file that already holds text: the block must read after
// that text exactly as it reads alone.
#pragma once

#include <string_view>

#include "core/output_commit.h"

namespace carillon {

// The checks of an append of `block` (which must outlive them) to a patch file:
// - before writing, the file's text is read as the reader reads it: a file that is not patch
//   text (a zero byte, an error, over the size limit) is refused; where the text leaves an
//   offset, changed pragmas or an open "/*" comment in force, or ends without a line end, the
//   lines that restore the start state ("*/", "+0", the pragmas back) are written first;
// - after writing, the whole file is read again: its last records must be the block's, as the
//   block reads alone, and nothing else may follow the records before it.
AppendHooks PatchAppendHooks(std::string_view block);

}  // namespace carillon

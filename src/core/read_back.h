// SPDX-License-Identifier: GPL-3.0-or-later
// Reading back what was just written, before it replaces anything: the bytes on disk must be
// the bytes meant, and may have to pass a check of their own (a patch must replay).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/message.h"

namespace carillon {

// A check of the bytes read back, beyond their equality with what was written: an empty message
// when they are right, else why not.
using WrittenCheck = std::function<Message(std::span<const std::uint8_t> written)>;

// Who else may change the file while it is read back. Only a file of the program's own (a
// temporary file nobody else names) is compared through a mapping: a mapped file that another
// program cuts short ends the reader with SIGBUS, so a shared file is always read.
enum class ReadBackFrom { OwnFile, SharedFile };

// Reads back `size` bytes from `offset` of the open file `fd` (`writtenPath` names it), after
// the read-back hook. Returns an empty message when they equal `data` and pass `check`, else what
// differs. A failed read is reported the same way: nothing read back counts as checked.
Message ReadBackAndCheck(int fd, const std::string& writtenPath, std::uint64_t offset,
                         const std::uint8_t* data, std::size_t size, const WrittenCheck& check,
                         ReadBackFrom from);

// Calls the read-back hook, for a reader of its own.
void RunReadBackHook(const std::string& writtenPath);

// Test seam: called with the path of a written file just before it is read back (a test may
// change the file there). An empty function removes the hook.
void SetReadBackHook(std::function<void(const std::string& writtenPath)> hook);

}  // namespace carillon

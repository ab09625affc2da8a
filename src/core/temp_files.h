// SPDX-License-Identifier: GPL-3.0-or-later
// Named temporary files and the signals that end a process: a fixed, signal-safe table of the
// temporary names in progress, removed when SIGINT, SIGTERM, SIGHUP or SIGQUIT ends the
// process, and the holding of those signals while a job puts its files in place.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace carillon {

// What a front end says when an ending signal arrived while files were put in place: the
// files already written (in order). Called outside any signal handler, just before the signal
// ends the process.
using InterruptedReport = void (*)(const std::vector<std::string>& written);
// The text a front end leaves on standard error when an ending signal arrives after files were
// put in place but before it named them itself: the files written so far (in order).
using WrittenFilesText = std::string (*)(const std::vector<std::string>& written);

// For a process that writes files: SIGXFSZ is ignored (a write past the file size limit fails
// with EFBIG and is reported), and SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the named
// temporary files still in progress, then end the process by the same signal as before (exit
// status 128 + the signal). `report` (may be null) is called by HeldSignals. With `farewell`,
// the files put in place by every HeldSignals so far are named on standard error by the
// handler, when a signal ends the process before ForgetWrittenFiles is called.
void InstallOutputSignalHandlers(InterruptedReport report = nullptr,
                                 WrittenFilesText farewell = nullptr);

// The files put in place (listed with HeldSignals::Written) since the last ForgetWrittenFiles.
std::vector<std::string> WrittenFiles();
// Called once the front end has named the written files itself: a later signal names none.
void ForgetWrittenFiles();

// Puts a named temporary file on the list the signal handler removes, for as long as it lives.
// The list is fixed-size and safe to walk in a signal handler; the output commit registers its
// own temporary names.
class TempFileRegistration {
  public:
    explicit TempFileRegistration(const std::string& path);
    TempFileRegistration(const TempFileRegistration&) = delete;
    TempFileRegistration& operator=(const TempFileRegistration&) = delete;
    ~TempFileRegistration();

  private:
    int slot_ = -1;
};

// Holds SIGINT, SIGTERM, SIGHUP and SIGQUIT for as long as it lives, so that a job that puts
// several files in place is never cut between two of them. On destruction, when one of them
// arrived meanwhile, the report given to InstallOutputSignalHandlers gets the files listed
// with Written; then the signals are let through again (and the one that arrived ends the
// process as it would have). When none arrived, the files listed join WrittenFiles.
class HeldSignals {
  public:
    HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;
    ~HeldSignals();

    void Written(const std::string& path) { written_.push_back(path); }

  private:
    sigset_t before_{};
    std::vector<std::string> written_;
};

namespace temp_files {
// The table's own interface, for the output commit: a slot number, or -1 when the table is
// full or the path too long (the file is then only removed on errors, not on signals).
int Register(const std::string& path);
void Release(int slot);
}  // namespace temp_files

}  // namespace carillon

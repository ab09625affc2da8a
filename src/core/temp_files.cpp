// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/temp_files.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace carillon {
namespace {

// A fixed table the handler can walk without allocating: a slot is claimed (1), filled, then
// published (2); the handler unlinks every published path. Plain zero-initialised data (no
// constructor runs at start-up, no page is touched until a slot is used), accessed atomically.
constexpr std::size_t kTempSlots = 64;
constexpr std::size_t kTempPathMax = 4096;
struct TempSlot {
    int state;
    char path[kTempPathMax];
};
TempSlot g_temps[kTempSlots];

std::atomic<InterruptedReport> g_report{nullptr};
std::atomic<WrittenFilesText> g_farewell{nullptr};

// The files written and not yet named by the front end, and the text the handler leaves on
// standard error for them: formatted beforehand (while the signals are held), written with
// write(2) alone.
std::vector<std::string> g_written;
constexpr std::size_t kFarewellMax = 16 * 1024;
char g_farewellText[kFarewellMax];
std::atomic<std::size_t> g_farewellLength{0};

void SetFarewell(const std::string& text) {
    g_farewellLength.store(0);
    const std::size_t n = std::min(text.size(), kFarewellMax);
    std::memcpy(g_farewellText, text.data(), n);
    g_farewellLength.store(n);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

std::atomic_ref<int> StateOf(TempSlot& slot) {
    return std::atomic_ref<int>(slot.state);
}

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : kEndingSignals) {
        sigaddset(&set, sig);
    }
    return set;
}

extern "C" void RemoveTempsAndDie(int sig) {
    for (TempSlot& t : g_temps) {
        if (StateOf(t).load() == 2) {
            ::unlink(t.path);
        }
    }
    if (const std::size_t n = g_farewellLength.load(); n > 0) {
        [[maybe_unused]] const ssize_t shown = ::write(STDERR_FILENO, g_farewellText, n);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

namespace temp_files {

int Register(const std::string& path) {
    if (path.size() >= kTempPathMax) {
        return -1;
    }
    for (std::size_t i = 0; i < kTempSlots; ++i) {
        int expected = 0;
        if (StateOf(g_temps[i]).compare_exchange_strong(expected, 1)) {
            std::memcpy(g_temps[i].path, path.c_str(), path.size() + 1);
            StateOf(g_temps[i]).store(2);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void Release(int slot) {
    if (slot >= 0) {
        StateOf(g_temps[static_cast<std::size_t>(slot)]).store(0);
    }
}

}  // namespace temp_files

TempFileRegistration::TempFileRegistration(const std::string& path)
    : slot_(temp_files::Register(path)) {}

TempFileRegistration::~TempFileRegistration() {
    temp_files::Release(slot_);
}

HeldSignals::HeldSignals() {
    const sigset_t ending = EndingSignals();
    ::pthread_sigmask(SIG_BLOCK, &ending, &before_);
}

HeldSignals::~HeldSignals() {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    bool arrived = false;
    for (const int sig : kEndingSignals) {
        arrived = arrived || (sigismember(&pending, sig) == 1 && sigismember(&before_, sig) == 0);
    }
    if (arrived) {
        g_farewellLength.store(0);  // the report names them
        if (const InterruptedReport report = g_report.load()) {
            try {
                report(written_);
            } catch (...) {
                // The signal ends the process either way.
            }
        }
    } else if (!written_.empty()) {
        try {
            g_written.insert(g_written.end(), written_.begin(), written_.end());
            if (const WrittenFilesText farewell = g_farewell.load()) {
                SetFarewell(farewell(g_written));
            }
        } catch (...) {
            // Without memory the files stay unnamed on a signal, as before.
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

std::vector<std::string> WrittenFiles() {
    return g_written;
}

void ForgetWrittenFiles() {
    g_farewellLength.store(0);
    g_written.clear();
}

void InstallOutputSignalHandlers(InterruptedReport report, WrittenFilesText farewell) {
    g_report.store(report);
    g_farewell.store(farewell);
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndDie;
    action.sa_mask = EndingSignals();
    for (const int sig : kEndingSignals) {
        ::sigaction(sig, &action, nullptr);
    }
}

}  // namespace carillon

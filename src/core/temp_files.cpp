#include "core/temp_files.h"

#include <unistd.h>

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
        if (const InterruptedReport report = g_report.load()) {
            try {
                report(written_);
            } catch (...) {
                // The signal ends the process either way.
            }
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

void InstallOutputSignalHandlers(InterruptedReport report) {
    g_report.store(report);
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndDie;
    action.sa_mask = EndingSignals();
    for (const int sig : kEndingSignals) {
        ::sigaction(sig, &action, nullptr);
    }
}

}  // namespace carillon

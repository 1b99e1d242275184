#include "common/platform/Stop.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/platform/Text.h"

namespace platform {

namespace {

std::atomic<int> g_StopSignal{0};

// The stop signals whose action the process was started with is not
// SIG_IGN. A blocked signal is still queued while ignored, and sigwait
// would take it: an ignored one must stay out of the set.
sigset_t WatchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action;
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            continue;
        }
        sigaddset(&set, signal);
    }
    return set;
}

[[noreturn]] void EndBySignal(int signal, const sigset_t& unblocked)
{
    // The default action ends the whole process; the signal only has to
    // reach a thread that does not block it: this one. raise sends it to
    // the calling thread alone, so the thread that waits for the signals
    // cannot take it. Only a watched signal comes here, never one the
    // caller ignored.
    ::signal(signal, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(signal);
    std::_Exit(SignalExitStatus(signal));
}

void WaitForSignals(sigset_t watched)
{
    for (;;) {
        int signal = 0;
        if (sigwait(&watched, &signal) != 0) {
            continue;
        }
        int none = 0;
        if (!g_StopSignal.compare_exchange_strong(none, signal)) {
            EndBySignal(signal, watched);
        }
    }
}

}  // namespace

void WatchStopSignals()
{
    const sigset_t watched = WatchedSignals();
    if (sigisemptyset(&watched)) {
        return;
    }
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    // Without the thread the signals act by default again: the run can
    // still be stopped, if not cleanly, rather than not at all.
    try {
        std::thread(WaitForSignals, watched).detach();
    } catch (...) {
        pthread_sigmask(SIG_UNBLOCK, &watched, nullptr);
    }
}

void IgnoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

int StopSignal()
{
    return g_StopSignal.load(std::memory_order_relaxed);
}

void SetStopSignal(int signal)
{
    g_StopSignal.store(signal, std::memory_order_relaxed);
}

int SignalExitStatus(int signal)
{
    return 128 + signal;
}

void EndByStopSignal(int signal)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    EndBySignal(signal, set);
}

std::wstring SignalName(int signal)
{
    const char* name = strsignal(signal);
    return DecodeText(std::string(name ? name : "unknown signal"));
}

}  // namespace platform

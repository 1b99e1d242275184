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

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

[[noreturn]] void EndBySignal(int signal)
{
    // The default action ends the whole process; the signal only has to
    // reach a thread that does not block it: this one.
    ::signal(signal, SIG_DFL);
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    std::_Exit(SignalExitStatus(signal));
}

void WaitForSignals()
{
    const sigset_t set = StopSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) {
            continue;
        }
        int none = 0;
        if (!g_StopSignal.compare_exchange_strong(none, signal)) {
            EndBySignal(signal);
        }
    }
}

}  // namespace

void WatchStopSignals()
{
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // Without the thread the signals stay blocked and the run goes on to its
    // end: better than a run that dies half-way.
    try {
        std::thread(WaitForSignals).detach();
    } catch (...) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
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

std::wstring SignalName(int signal)
{
    const char* name = strsignal(signal);
    return DecodeText(std::string(name ? name : "unknown signal"));
}

}  // namespace platform

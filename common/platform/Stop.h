// Stopping a run on SIGINT, SIGTERM or SIGHUP without leaving anything
// behind: the signals are taken by one thread, which only raises a flag;
// the run's long loops look at the flag and fail, so the run cleans up on
// its ordinary failure path, not inside a signal handler.
#pragma once

#include <string>

namespace platform {

// Blocks the three signals in the calling thread, and so in every thread it
// starts later, and starts the thread that waits for them. Call it before
// any other thread starts. The first signal raises the flag; a second one
// ends the process at once, as if nothing had blocked it. A signal that the
// caller left ignored (nohup, a shell's background job) is left out: it
// stays ignored, neither raising the flag nor ending the process.
void WatchStopSignals();

// SIGPIPE ignored from here on, so that a write to a pipe or socket whose
// reader is gone fails with EPIPE instead of killing the process.
void IgnoreBrokenPipes();

// The signal that asked the run to stop; 0 while none did.
int StopSignal();
inline bool StopRequested()
{
    return StopSignal() != 0;
}
// Raises or clears the flag as a signal would; for tests.
void SetStopSignal(int signal);

// What a shell reports for a process that the signal ended: 128 + its
// number.
int SignalExitStatus(int signal);
// Ends the process by the stop signal that raised the flag, once the run
// has cleaned up: its default action, so that the caller sees a death by
// that signal (a shell running a loop of builds stops the loop, as it
// would for any command that Ctrl-C ended).
[[noreturn]] void EndByStopSignal(int signal);
// The system's English name of the signal ("Terminated").
std::wstring SignalName(int signal);

}  // namespace platform

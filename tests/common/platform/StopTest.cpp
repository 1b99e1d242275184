// The stop-signal watcher, each case in a child process of its own: the
// watcher blocks signals and starts a thread for good, which a test
// program shared with other tests must not keep.
#include "common/platform/Stop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

// Ends a child that no signal ended; its test then fails with SIGALRM.
constexpr unsigned kHungSeconds = 60;

struct Child {
    pid_t pid = -1;
    int reports = -1;  // what the child writes, one byte a report
};

// Runs body in a forked child, which ends with body's result; body reports
// through the descriptor it is given.
template <class Body>
Child StartChild(Body body)
{
    int ends[2];
    if (pipe(ends) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        close(ends[0]);
        alarm(kHungSeconds);
        _exit(body(ends[1]));
    }
    close(ends[1]);
    return Child{pid, ends[0]};
}

void Report(int fd, int value)
{
    const char byte = static_cast<char>(value);
    if (write(fd, &byte, 1) != 1) {
        _exit(120);
    }
}

// The child's next report; -1 when it ended or sent none in time.
int NextReport(const Child& child)
{
    pollfd wait{child.reports, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(kHungSeconds) * 1000) != 1) {
        return -1;
    }
    char byte = 0;
    return read(child.reports, &byte, 1) == 1 ? static_cast<unsigned char>(byte) : -1;
}

int WaitStatus(const Child& child)
{
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    close(child.reports);
    return status;
}

std::string Describe(int status)
{
    if (WIFSIGNALED(status)) {
        return WTERMSIG(status) == SIGALRM ? "hung" : "ended by signal " + std::to_string(WTERMSIG(status));
    }
    return "exited with " + std::to_string(WEXITSTATUS(status));
}

// The watcher in a process whose long step never looks at the flag: it
// reports that it watches, then the signal that raised the flag, and then
// only a signal can end it.
int WatchingChild(int reports, const std::vector<int>& ignored)
{
    for (const int signal : ignored) {
        ::signal(signal, SIG_IGN);
    }
    platform::WatchStopSignals();
    Report(reports, 0);
    while (!platform::StopRequested()) {
        usleep(1000);
    }
    Report(reports, platform::StopSignal());
    for (;;) {
        pause();
    }
}

TEST(StopTest, TheFirstSignalRaisesTheFlagAndTheSecondEndsTheProcess)
{
    struct Case {
        const char* name;
        std::vector<int> ignored;      // by the caller, before the watcher starts
        std::vector<int> first;        // sent in order before the flag is up
        int flag;                      // the signal that raised it
        std::vector<int> second;       // sent in order once it is up
        int ending;                    // the signal the process ends by
    };
    const Case cases[] = {
        {"two terms", {}, {SIGTERM}, SIGTERM, {SIGTERM}, SIGTERM},
        {"an interrupt, then a hang-up", {}, {SIGINT}, SIGINT, {SIGHUP}, SIGHUP},
        {"hang-up ignored, as under nohup", {SIGHUP}, {SIGHUP, SIGTERM}, SIGTERM, {SIGHUP, SIGINT}, SIGINT},
        {"interrupt ignored, as in a background job", {SIGINT}, {SIGINT, SIGHUP}, SIGHUP, {SIGINT, SIGTERM}, SIGTERM},
        {"interrupt and hang-up ignored", {SIGINT, SIGHUP}, {SIGHUP, SIGINT, SIGTERM}, SIGTERM,
         {SIGINT, SIGHUP, SIGTERM}, SIGTERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Child child = StartChild([&](int reports) { return WatchingChild(reports, c.ignored); });
        ASSERT_EQ(NextReport(child), 0) << "the watcher never started";
        // An ignored signal is dropped when it is sent; the lowest pending
        // one would be taken first if the watcher waited for it.
        for (const int signal : c.first) {
            kill(child.pid, signal);
        }
        EXPECT_EQ(NextReport(child), c.flag);
        for (const int signal : c.second) {
            kill(child.pid, signal);
        }
        const int status = WaitStatus(child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.ending) << Describe(status);
    }
}

TEST(StopTest, SignalsTheCallerIgnoredStayIgnoredAndUnblocked)
{
    const Child child = StartChild([](int reports) {
        ::signal(SIGHUP, SIG_IGN);
        platform::WatchStopSignals();
        sigset_t blocked;
        pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
        struct sigaction action;
        sigaction(SIGHUP, nullptr, &action);
        Report(reports, (action.sa_handler == SIG_IGN ? 1 : 0) | (sigismember(&blocked, SIGHUP) ? 0 : 2) |
                            (sigismember(&blocked, SIGTERM) ? 4 : 0));
        return 0;
    });
    EXPECT_EQ(NextReport(child), 1 | 2 | 4) << "1: still ignored, 2: not blocked, 4: the others blocked";
    const int status = WaitStatus(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status);
}

TEST(StopTest, AWriteToAPipeWithoutReaderFailsInsteadOfEndingTheProcess)
{
    const Child child = StartChild([](int reports) {
        platform::IgnoreBrokenPipes();
        int ends[2];
        if (pipe(ends) != 0) {
            return 2;
        }
        close(ends[0]);
        const bool failed = write(ends[1], "x", 1) < 0 && errno == EPIPE;
        Report(reports, failed ? 1 : 0);
        return 0;
    });
    EXPECT_EQ(NextReport(child), 1);
    const int status = WaitStatus(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status);
}

}  // namespace

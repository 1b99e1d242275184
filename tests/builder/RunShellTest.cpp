// What wraps each run of the tool: the turn it takes behind another build of
// the same program copy, the stop signals as the caller left them, a console
// that nobody reads, and the processors the run may use. The tool is started
// here as the caller would start it: with ignored signals, a closed pipe as
// standard output, an affinity mask.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kWaitLine[] = "Another run of this program is working in its folder; waiting for it to finish...\n";
// Ends a wait for something that never comes.
constexpr std::chrono::seconds kHung(120);

struct Caller {
    std::vector<int> ignored;  // stop signals set to SIG_IGN before the exec
    int output = -1;           // standard output, when not a file
    int cpu = -1;              // the one CPU the run may use, when not -1
};

// One run of the tool, started as the caller would, killed if the test
// leaves it running.
class ToolRun {
public:
    ToolRun(const ToolCopy& tool, const std::vector<std::string>& args, const Caller& caller = Caller())
        : m_Tool(tool), m_Name("shell" + std::to_string(++s_Runs))
    {
        RunOptions options;
        options.outputName = m_Name;
        options.defaultSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
        options.ignoredSignals = caller.ignored;
        options.output = caller.output;
        options.cpu = caller.cpu;
        m_Pid = tool.Start(args, options);
    }
    ~ToolRun()
    {
        if (!m_Result) {
            kill(m_Pid, SIGKILL);
            Wait();
        }
    }
    ToolRun(const ToolRun&) = delete;
    ToolRun& operator=(const ToolRun&) = delete;

    int Pid() const { return m_Pid; }
    std::string Out() const { return m_Result ? m_Result->out : m_Tool.PrintedSoFar(m_Name); }
    // Whether it has ended; it has once Wait returned.
    bool Ended() const { return m_Result || ToolCopy::Ended(m_Pid); }
    RunResult Wait()
    {
        if (!m_Result) m_Result = m_Tool.Wait(m_Pid, m_Name);
        return *m_Result;
    }

private:
    static int s_Runs;
    const ToolCopy& m_Tool;
    std::string m_Name;  // of its captured output, beside the tool's folder
    int m_Pid = -1;
    std::optional<RunResult> m_Result;
};

int ToolRun::s_Runs = 0;

// A FIFO in a folder of its own, its read end open (and not inherited by
// the tool) so that the tool's open of it does not wait.
struct Fifo {
    TempFolder folder;
    std::string path = folder.File("out.fifo");
    int reader = -1;
};

void OpenFifo(Fifo& fifo)
{
    ASSERT_EQ(mkfifo(fifo.path.c_str(), 0600), 0);
    fifo.reader = open(fifo.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo.reader, 0);
}

// Whether the package has begun to arrive before the "hung" deadline.
bool Arrives(int reader)
{
    pollfd readable{reader, POLLIN, 0};
    return poll(&readable, 1, static_cast<int>(kHung.count()) * 1000) == 1;
}

// Waits until the run has printed text, or ended; whether it printed it.
bool WaitForLine(ToolRun& run, const std::string& text)
{
    const Clock::time_point deadline = Clock::now() + kHung;
    while (Clock::now() < deadline) {
        // Read before looking whether it ended: what it printed is there.
        const bool ended = run.Ended();
        if (Contains(run.Out(), text)) return true;
        if (ended) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::vector<std::string> Args(const std::string& layout, const std::string& output)
{
    return {"-f", layout, "-i", "0x100000", "-o", output};
}

// One image packed as it is, of the given size.
std::string PlainLayout(const ToolCopy& tool, size_t bytes)
{
    Layout layout;
    layout.flash = "Max_OTA_Image_Size = 0x7FFFFFFF\n";
    layout.images = {{"ROOT", "0x524F4F54", "root.bin", Pattern(bytes, 5)}};
    return WriteLayout(tool, layout);
}

// Images that are compressed first, which takes a while.
std::string CompressedLayout(const ToolCopy& tool, size_t images, size_t bytes,
                             const std::string& name = "layout.blf")
{
    Layout layout;
    layout.processor = "NLT118";
    layout.flash = "Max_OTA_Image_Size = 0x7FFFFFFF\n";
    for (size_t i = 0; i < images; ++i) {
        const std::string n = std::to_string(i);
        layout.images.push_back({"IMG" + n, "0x494D4" + std::to_string(7 + i), "image" + n + ".bin",
                                 Pattern(bytes, static_cast<uint32_t>(10 + i)),
                                 "0x00" + std::to_string(1 + i) + "00000", "RAW_LZMA"});
    }
    return WriteLayout(tool, layout, name);
}

// Whether a compressed image has appeared in the work folder: the run is in
// the middle of its compression.
bool WaitForCompression(const ToolCopy& tool, ToolRun& run)
{
    const Clock::time_point deadline = Clock::now() + kHung;
    while (Clock::now() < deadline && !run.Ended()) {
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(tool.File("AbsBlfTemp"), ec)) {
            if (entry.path().extension() == ".lzma") return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

TEST(RunShellTest, OnlyABuildWaitsBehindARunningBuild)
{
    const ToolCopy tool;
    // Larger than a pipe holds, so that the first build stays in the middle
    // of writing its output until the test reads it.
    const std::string layout = PlainLayout(tool, size_t(1) << 20);
    const RunResult solo = tool.Run(Args(layout, "solo.kxp"));
    ASSERT_TRUE(Succeeded(solo)) << solo.out << solo.err;
    const std::string expected = ReadFile(tool.File("solo.kxp"));
    const std::set<std::string> before = Entries(tool.Folder());

    Fifo fifo;
    ASSERT_NO_FATAL_FAILURE(OpenFifo(fifo));
    const int reader = fifo.reader;
    ToolRun first(tool, Args(layout, fifo.path));
    ASSERT_TRUE(Arrives(reader)) << "hung: " << first.Out();

    const std::set<std::string> building = Entries(tool.Folder());
    ASSERT_TRUE(building.count("AbsBlfTemp")) << "the build's work folder";

    // Runs that are refused before they could build end at once.
    struct Refused {
        const char* name;
        std::vector<std::string> args;
        std::string message;
    };
    const Refused refused[] = {
        {"no arguments", {}, std::string(kBanner) + "Invalid parameters input\n"},
        {"a split size too small", {"-f", layout, "-i", "0x100", "-o", "x.kxp"},
         "Invalid Input,Split Size is too small!\n"},
        {"an output in a work folder", Args(layout, "temp/x.kxp"), "is in the work folder "},
        {"a key file that is not there", {"-f", layout, "-i", "0x100000", "-s", "missing.pem"}, "missing.pem"},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.name);
        ToolRun run(tool, c.args);
        if (WaitForLine(run, kWaitLine)) {
            ADD_FAILURE() << "waited behind the build";
            kill(run.Pid(), SIGKILL);
            continue;
        }
        const RunResult r = run.Wait();
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(Contains(r.out + r.err, c.message)) << r.out << r.err;
        // What the running build made is not the refused run's.
        EXPECT_EQ(Entries(tool.Folder()), building);
    }

    // Two builds wait, the third started while the second waits.
    ToolRun second(tool, Args(layout, "second.kxp"));
    ASSERT_TRUE(WaitForLine(second, kWaitLine)) << second.Out();
    ToolRun third(tool, Args(layout, "third.kxp"));
    ASSERT_TRUE(WaitForLine(third, kWaitLine)) << third.Out();
    EXPECT_FALSE(first.Ended());

    std::string delivered;
    fcntl(reader, F_SETFL, 0);
    char buffer[65536];
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) delivered.append(buffer, static_cast<size_t>(n));
    close(reader);
    const RunResult a = first.Wait(), b = second.Wait(), c = third.Wait();
    ASSERT_TRUE(Succeeded(a)) << a.out << a.err;
    ASSERT_TRUE(Succeeded(b)) << b.out << b.err;
    ASSERT_TRUE(Succeeded(c)) << c.out << c.err;
    EXPECT_TRUE(delivered == expected);
    EXPECT_TRUE(ReadFile(tool.File("second.kxp")) == expected);
    EXPECT_TRUE(ReadFile(tool.File("third.kxp")) == expected);
    std::set<std::string> after = before;
    after.insert({"second.kxp", "third.kxp"});
    EXPECT_EQ(Entries(tool.Folder()), after);
}

TEST(RunShellTest, EveryNameTheRunUsesIsAnOrdinaryOutputOrRefused)
{
    struct Case {
        const char* output;
        const char* refusal;  // null: a package is written there
        bool survives;        // the package stays there through a later build
    };
    const Case cases[] = {
        // No run locks or removes a file of this name any more.
        {"Tarvok_WEB.lock", nullptr, true},
        // The build's own package file; a later build makes it again.
        {"kxp.bin", nullptr, false},
        {"temp/out.kxp", "is in the work folder ", false},
        {"AbsBlfTemp/out.kxp", "is in the work folder ", false},
        {"TempSplit/out.kxp", "is in the work folder ", false},
        {"Tarvok_WEB", "program", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const ToolCopy tool;
        const std::string layout = PlainLayout(tool, 30000);
        const std::set<std::string> before = Entries(tool.Folder());
        const RunResult r = tool.Run(Args(layout, c.output));
        const std::string path = tool.File(c.output);
        if (c.refusal) {
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_TRUE(Contains(r.out + r.err, c.refusal)) << r.out << r.err;
            EXPECT_EQ(Entries(tool.Folder()), before);
            continue;
        }
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        const std::string package = ReadFile(path);
        ASSERT_FALSE(package.empty());
        const RunResult later = tool.Run(Args(layout, "later.kxp"));
        ASSERT_TRUE(Succeeded(later)) << later.out << later.err;
        EXPECT_TRUE(ReadFile(tool.File("later.kxp")) == package);
        if (c.survives) {
            EXPECT_TRUE(ReadFile(path) == package);
        }
    }
}

TEST(RunShellTest, AStopSignalTheCallerIgnoredStaysIgnored)
{
    struct Case {
        const char* name;
        std::vector<int> ignored;
        std::vector<int> sent;  // in the middle of the compression
        int ending;  // the signal that ends the run; 0: it builds its package
    };
    const Case cases[] = {
        {"hang-up under nohup", {SIGHUP}, {SIGHUP}, 0},
        {"interrupt in a background job", {SIGINT}, {SIGINT}, 0},
        {"both ignored", {SIGINT, SIGHUP}, {SIGHUP, SIGINT}, 0},
        // The signals the caller did not ignore still stop the run.
        {"hang-up ignored, then a term", {SIGHUP}, {SIGHUP, SIGTERM}, SIGTERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        const std::string layout = CompressedLayout(tool, 1, size_t(2) << 20);
        const std::set<std::string> before = Entries(tool.Folder());
        Caller caller;
        caller.ignored = c.ignored;
        ToolRun run(tool, Args(layout, "out.kxp"), caller);
        ASSERT_TRUE(WaitForCompression(tool, run)) << "the compression was never seen: " << run.Out();
        for (const int signal : c.sent) kill(run.Pid(), signal);
        const RunResult r = run.Wait();
        std::set<std::string> left = before;
        if (c.ending == 0) {
            EXPECT_TRUE(Succeeded(r)) << r.out << r.err;
            left.insert("out.kxp");
        } else {
            EXPECT_EQ(r.signal, c.ending) << "exit status " << r.exitCode << ": " << r.out << r.err;
            EXPECT_TRUE(Contains(r.out, "\nStopped by signal " + std::to_string(c.ending) + " (")) << r.out;
        }
        EXPECT_EQ(Entries(tool.Folder()), left);
    }
}

// The state letter of a process in /proc ('T' when stopped); '?' when it is
// gone.
char ProcessState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() ? line[name + 2] : '?';
}

// Ctrl-C in a terminal reaches the whole foreground process group: the
// script and the build it waits for. A shell goes on with its loop when the
// build exits as if it had handled the signal itself, and ends the loop
// when the signal ended the build.
TEST(RunShellTest, AnInterruptedBuildEndsTheLoopOfItsScript)
{
    const ToolCopy tool;
    // Incompressible: the compressed image grows to the image's size.
    const size_t imageBytes = size_t(16) << 20;
    const std::string layout = CompressedLayout(tool, 1, imageBytes);
    const std::set<std::string> before = Entries(tool.Folder());
    const TempFolder notes;
    // Each build notes its number, then its process id (that of the
    // subshell it replaces), before it starts.
    const std::string script = "for i in 1 2; do echo $i >> '" + notes.File("started") + "'; (echo $BASHPID > '" +
                               notes.File("pid") + "'; exec '" + tool.Executable() + "' -f " + layout +
                               " -i 0x100000 -o out$i.kxp > '" + notes.File("out") + "'$i); done; echo done >> '" +
                               notes.File("started") + "'";
    const pid_t shell = fork();
    ASSERT_GE(shell, 0);
    if (shell == 0) {
        // A process group of its own, as a terminal's foreground job; the
        // stop signals as a shell leaves them for such a job.
        setsid();
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (chdir(tool.Folder().c_str()) != 0) _exit(127);
        alarm(240);
        execl("/bin/bash", "bash", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Held still in the middle of the first build's compression, with the
    // script, until the interrupt has been sent to both.
    const std::string compressed = tool.File("AbsBlfTemp/image0.bin.lzma");
    const Clock::time_point deadline = Clock::now() + kHung;
    const auto sizeOf = [](const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    };
    bool compressing = false;
    while (!(compressing = sizeOf(compressed) >= (256 << 10)) && Clock::now() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(shell), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == shell) {
            break;
        }
        std::this_thread::yield();
    }
    kill(-shell, SIGSTOP);
    const pid_t build = static_cast<pid_t>(std::atoi(ReadFile(notes.File("pid")).c_str()));
    bool held = compressing && build > 0;
    while (held && ProcessState(build) != 'T' && Clock::now() < deadline) std::this_thread::yield();
    held = held && ProcessState(build) == 'T';
    const long long atSignal = sizeOf(compressed);
    kill(-shell, SIGINT);
    kill(-shell, SIGCONT);
    int status = 0;
    while (waitpid(shell, &status, 0) < 0 && errno == EINTR) {
    }
    const std::string out = ReadFile(notes.File("out1"));

    ASSERT_TRUE(held) << "the first build was not held in its compression: " << out;
    EXPECT_LT(atSignal, static_cast<long long>(imageBytes)) << "the compression was over";
    EXPECT_TRUE(Contains(out, "\nStopped by signal " + std::to_string(SIGINT) + " (")) << out;
    EXPECT_EQ(ReadFile(notes.File("started")), "1\n") << "the loop went on";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "the script's status: " << status;
    EXPECT_EQ(Entries(tool.Folder()), before);
}

TEST(RunShellTest, AConsoleNobodyReadsDoesNotStopTheRun)
{
    struct Case {
        const char* name;
        bool build;  // false: a layout file that is not there
    };
    const Case cases[] = {{"a build", true}, {"a failing build", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        const std::string layout = PlainLayout(tool, 300000);
        const RunResult plain = tool.Run(Args(layout, "plain.kxp"));
        ASSERT_TRUE(Succeeded(plain)) << plain.out;
        const std::set<std::string> before = Entries(tool.Folder());
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        close(ends[0]);
        Caller caller;
        caller.output = ends[1];
        ToolRun run(tool, Args(c.build ? layout : "missing.blf", "out.kxp"), caller);
        close(ends[1]);
        const RunResult r = run.Wait();
        std::set<std::string> left = before;
        if (c.build) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_TRUE(ReadFile(tool.File("out.kxp")) == ReadFile(tool.File("plain.kxp")));
            left.insert("out.kxp");
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.err;
        }
        EXPECT_EQ(Entries(tool.Folder()), left);
    }
}

TEST(RunShellTest, AnOutputPipeWhoseReaderWentAwayFailsTheRun)
{
    const ToolCopy tool;
    const std::string layout = PlainLayout(tool, size_t(1) << 20);
    const std::set<std::string> before = Entries(tool.Folder());
    Fifo fifo;
    ASSERT_NO_FATAL_FAILURE(OpenFifo(fifo));
    ToolRun run(tool, Args(layout, fifo.path));
    // The package is on its way: then the reader goes.
    ASSERT_TRUE(Arrives(fifo.reader)) << "hung: " << run.Out();
    close(fifo.reader);
    const RunResult r = run.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Write file failed:" + fifo.path + "\n")) << r.out;
    EXPECT_EQ(Entries(tool.Folder()), before);
}

// The threads of a running process, from /proc.
int ThreadCount(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 8, "Threads:") == 0) return std::stoi(line.substr(8));
    }
    return 0;
}

TEST(RunShellTest, CompressesOnTheOneCpuTheRunMayUse)
{
    cpu_set_t usable;
    CPU_ZERO(&usable);
    ASSERT_EQ(sched_getaffinity(0, sizeof usable, &usable), 0);
    int cpu = CPU_SETSIZE - 1;
    while (cpu > 0 && !CPU_ISSET(cpu, &usable)) --cpu;

    const ToolCopy tool;
    // The most threads a run had at once, sampled until it ends.
    const auto mostThreads = [&](const std::string& layout) {
        Caller caller;
        caller.cpu = cpu;
        ToolRun run(tool, Args(layout, "out.kxp"), caller);
        int most = 0;
        while (!run.Ended()) {
            most = std::max(most, ThreadCount(run.Pid()));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const RunResult r = run.Wait();
        EXPECT_TRUE(Succeeded(r)) << r.out << r.err;
        return most;
    };
    // One image has one encoder whatever the CPUs: four on one CPU must not
    // have more threads than that.
    const int alone = mostThreads(CompressedLayout(tool, 1, size_t(1) << 20, "one.blf"));
    const int four = mostThreads(CompressedLayout(tool, 4, size_t(1) << 20, "four.blf"));
    EXPECT_GE(alone, 1);
    EXPECT_LE(four, alone);
}

}  // namespace

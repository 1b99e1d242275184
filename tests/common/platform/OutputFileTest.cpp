// The routines that put the package at its output: where links lead, the
// file made beside an output, and what is written as it stands.
#include "common/platform/OutputFile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/FileSystem.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"
#include "support/TestSupport.h"

using testsupport::FileExists;
using testsupport::GoneProcess;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

std::wstring W(const std::string& s)
{
    return platform::DecodeText(s);
}

std::string N(const std::wstring& s)
{
    return platform::EncodeText(s);
}

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Ignores SIGPIPE while it lives, as the tool does, so that a write to a
// pipe nobody reads fails instead of ending the test.
struct IgnoredSigpipe {
    IgnoredSigpipe() { previous = signal(SIGPIPE, SIG_IGN); }
    ~IgnoredSigpipe() { signal(SIGPIPE, previous); }
    void (*previous)(int);
};

TEST(OutputFileTest, TheOutputsEntryTakesRelativeTargetsFromTheLinksFolder)
{
    // The links lie away from the current folder: a relative target read
    // from there would name another path.
    const TempFolder folder;
    const std::string f = folder.Path();
    ASSERT_EQ(mkdir((f + "/sub").c_str(), 0700), 0);
    WriteFile(f + "/file", "x");
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // link, its target
        std::string path;
        std::string target;
        bool ends;
    };
    const Case cases[] = {
        {"no link", {}, f + "/file", f + "/file", true},
        {"absolute", {{f + "/abs", f + "/file"}}, f + "/abs", f + "/file", true},
        {"relative", {{f + "/sub/rel", "target"}}, f + "/sub/rel", f + "/sub/target", true},
        {"chain of relative links",
         {{f + "/one", "sub/two"}, {f + "/sub/two", "../sub/three"}, {f + "/sub/three", "../file"}},
         f + "/one",
         f + "/sub/../sub/../file",
         true},
        {"dangling", {{f + "/dangling", "missing"}}, f + "/dangling", f + "/missing", true},
        {"loop", {{f + "/a", "b"}, {f + "/b", "a"}}, f + "/a", "", false},
        {"link to itself", {{f + "/self", "self"}}, f + "/self", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& link : c.links) {
            ASSERT_EQ(symlink(link.second.c_str(), link.first.c_str()), 0);
        }
        const platform::OutputTarget output = platform::ResolveOutput(W(c.path), std::wstring());
        EXPECT_EQ(output.kind != platform::OutputKind::kLinkLoop, c.ends);
        EXPECT_FALSE(output.own);
        if (c.ends) {
            EXPECT_EQ(N(output.entry), c.target);
        }
    }
}

// Every walk over links follows as many as the kernel does, and calls one
// more a loop, as the kernel's own walk (stat) does.
TEST(OutputFileTest, TheLinkWalksShareTheKernelsBound)
{
    const TempFolder folder;
    const std::string f = std::filesystem::canonical(folder.Path()).string();
    WriteFile(f + "/file", "x");
    std::string next = "file";
    for (int i = 1; i <= platform::kMaxLinks + 1; ++i) {
        const std::string link = "link" + std::to_string(i);
        ASSERT_EQ(symlink(next.c_str(), (f + "/" + link).c_str()), 0);
        next = link;
    }
    for (const int links : {platform::kMaxLinks, platform::kMaxLinks + 1}) {
        SCOPED_TRACE(links);
        const std::string path = f + "/link" + std::to_string(links);
        struct stat st;
        const bool ends = links <= platform::kMaxLinks;
        EXPECT_EQ(stat(path.c_str(), &st) == 0, ends);
        const platform::OutputTarget output = platform::ResolveOutput(W(path), std::wstring());
        EXPECT_EQ(output.kind, ends ? platform::OutputKind::kFile : platform::OutputKind::kLinkLoop);
        EXPECT_EQ(platform::GetOutputKind(W(path)), output.kind);
        EXPECT_EQ(N(output.place) == f + "/file", ends);
        EXPECT_EQ(N(output.entry) == f + "/file", ends);
    }
}

// A link of /proc to a file open under a name it no longer has leads to
// no entry that a rename could replace.
TEST(OutputFileTest, AnOpenFileThatLostItsNameIsUnnamed)
{
    const TempFolder folder;
    const std::string file = folder.File("removed");
    WriteFile(file, "x");
    const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string link = "/dev/fd/" + std::to_string(fd);
    EXPECT_EQ(platform::ResolveOutput(W(link), std::wstring()).kind, platform::OutputKind::kFile);
    ASSERT_EQ(unlink(file.c_str()), 0);
    EXPECT_EQ(platform::ResolveOutput(W(link), std::wstring()).kind, platform::OutputKind::kUnnamedFile);
    close(fd);
}

TEST(OutputFileTest, OutputKinds)
{
    const TempFolder folder;
    const std::string f = folder.Path();
    WriteFile(f + "/file", "x");
    ASSERT_EQ(mkfifo((f + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("file", (f + "/link").c_str()), 0);
    ASSERT_EQ(symlink("missing", (f + "/dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop", (f + "/loop").c_str()), 0);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    struct Case {
        std::string path;
        platform::OutputKind kind;
    };
    const Case cases[] = {
        {f + "/file", platform::OutputKind::kFile},
        {f + "/link", platform::OutputKind::kFile},
        {f, platform::OutputKind::kFolder},
        {f + "/fifo", platform::OutputKind::kStream},
        {"/dev/null", platform::OutputKind::kStream},
        {"/dev/fd/" + std::to_string(ends[1]), platform::OutputKind::kStream},
        {f + "/missing", platform::OutputKind::kNone},
        {f + "/dangling", platform::OutputKind::kNone},
        {f + "/loop", platform::OutputKind::kLinkLoop},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::GetOutputKind(W(c.path)), c.kind) << c.path;
    }
    close(ends[0]);
    close(ends[1]);
}

TEST(OutputFileTest, FileBesideIsNewHiddenAndFitsTheNameLimit)
{
    const TempFolder folder;
    const std::string f = folder.Path();
    const mode_t mask = umask(022);
    struct Case {
        const char* name;
        std::string output;
    };
    // "é" is two bytes: a cut must not split one.
    std::string accented;
    while (accented.size() + 2 <= 255) accented += "\xc3\xa9";
    const Case cases[] = {
        {"short name", "out.kxp"},
        {"longest name", std::string(255, 'n')},
        {"longest name of two-byte characters", accented},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring created;
        FILE* file = platform::CreateFileBeside(W(f + "/" + c.output), created);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(std::fputs("abc", file), 1);
        EXPECT_EQ(std::fclose(file), 0);
        const std::string path = N(created);
        ASSERT_EQ(path.compare(0, f.size() + 1, f + "/"), 0) << path;
        const std::string name = path.substr(f.size() + 1);
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name[0], '.');
        const std::string kept = name.substr(1, name.rfind('.', name.rfind('.') - 1) - 1);
        EXPECT_EQ(c.output.compare(0, kept.size(), kept), 0) << name;
        EXPECT_EQ(platform::DecodeText(kept).find(wchar_t(0xDC00 + 0xC3)), std::wstring::npos) << "a character was cut";
        EXPECT_EQ(name.substr(name.size() - 5), ".part");
        EXPECT_EQ(ReadFile(path), "abc");
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        unlink(path.c_str());
    }
    umask(mask);
}

TEST(OutputFileTest, FileBesideRemovesOnlyLeftoversOfRunsThatAreGone)
{
    const TempFolder folder;
    const std::string f = folder.Path();
    const std::string gone = std::to_string(GoneProcess());
    // Process 1 lives as long as the machine does.
    const std::set<std::string> kept = {
        ".out.kxp.1-5.part",                   // its process lives
        ".other.kxp." + gone + "-5.part",      // another output's
        ".out.kxp." + gone + "-5.partial",     // not the pattern
        ".out.kxp.x" + gone + "-5.part",       // not the pattern
        ".out.kxp." + gone + "-5.part.old",    // not the pattern
    };
    for (const std::string& name : kept) {
        WriteFile(f + "/" + name, "kept");
    }
    // A link of that name is no file a run left.
    const std::string link = ".out.kxp." + gone + "-6.part";
    ASSERT_EQ(symlink("elsewhere", (f + "/" + link).c_str()), 0);
    const std::string leftover = ".out.kxp." + gone + "-5.part";
    WriteFile(f + "/" + leftover, "left by a killed run");

    std::wstring created;
    FILE* file = platform::CreateFileBeside(W(f + "/out.kxp"), created);
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    std::set<std::string> expected = kept;
    expected.insert(link);
    expected.insert(N(created).substr(f.size() + 1));
    EXPECT_EQ(Entries(f), expected);
}

TEST(OutputFileTest, FifoOpensOnlyWithAReaderAndTerminalsAreNoFifos)
{
    const TempFolder folder;
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    platform::DirectOutput output;
    EXPECT_EQ(output.OpenDevice(W(fifo)), platform::DeviceOpen::kNoReader);

    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(output.OpenDevice(W(fifo)), platform::DeviceOpen::kOpened);
    EXPECT_TRUE(output.Write(reinterpret_cast<const uint8_t*>("package"), 7));
    EXPECT_TRUE(output.Close());
    char got[16] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 7);
    EXPECT_EQ(std::string(got), "package");
    close(reader);

    EXPECT_EQ(output.OpenDevice(W(folder.File("missing"))), platform::DeviceOpen::kFailed);
    struct stat st;
    if (stat("/dev/tty", &st) == 0) {
        // A process of a new session has no controlling terminal.
        const pid_t child = fork();
        if (child == 0) {
            setsid();
            platform::DirectOutput tty;
            _exit(tty.OpenDevice(L"/dev/tty") == platform::DeviceOpen::kFailed ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "/dev/tty was taken for a FIFO";
    }
}

TEST(OutputFileTest, WritesThatAReaderHoldsUpEndOnAStopOrWhenTheReaderGoes)
{
    const IgnoredSigpipe ignored;
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stop" : "reader gone");
        const TempFolder folder;
        const std::string fifo = folder.File("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        const int capacity = fcntl(reader, F_GETPIPE_SZ);
        ASSERT_GT(capacity, 0);
        platform::DirectOutput output;
        ASSERT_EQ(output.OpenDevice(W(fifo)), platform::DeviceOpen::kOpened);
        // The reader takes nothing: once the pipe is full, the write waits.
        std::thread disturber([&] {
            int held = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
            while ((ioctl(reader, FIONREAD, &held) != 0 || held < capacity) &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (stop) {
                platform::SetStopSignal(SIGTERM);
            } else {
                close(reader);
                reader = -1;
            }
        });
        const std::vector<uint8_t> data(size_t(capacity) * 4, 0x5A);
        EXPECT_FALSE(output.Write(data.data(), data.size()));
        disturber.join();
        platform::SetStopSignal(0);
        if (reader >= 0) close(reader);
    }
}

TEST(OutputFileTest, OpenExistingRewritesTheFileItselfAndNothingElse)
{
    const TempFolder folder;
    const std::string file = folder.File("out.kxp");
    const std::string second = folder.File("second");
    WriteFile(file, "an old package, longer than the new one");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(link(file.c_str(), second.c_str()), 0);
    platform::DirectOutput output;
    ASSERT_TRUE(output.OpenExisting(W(file)));
    EXPECT_TRUE(output.Write(reinterpret_cast<const uint8_t*>("new"), 3));
    EXPECT_TRUE(output.Close());
    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_EQ(ReadFile(second), "new");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Never made, never through a link, never a FIFO.
    ASSERT_EQ(symlink("out.kxp", folder.File("link").c_str()), 0);
    ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);
    for (const char* name : {"missing", "link", "fifo"}) {
        EXPECT_FALSE(output.OpenExisting(W(folder.File(name)))) << name;
    }
    EXPECT_FALSE(FileExists(folder.File("missing")));
    EXPECT_EQ(ReadFile(file), "new");
}

}  // namespace

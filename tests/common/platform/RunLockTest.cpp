// The lock of a program folder: holders in child processes report through
// one pipe, so that the order of their reports is the order of their
// steps.
#include "common/platform/RunLock.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/platform/Text.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempFolder;

constexpr int kHungSeconds = 60;

std::wstring Wide(const std::string& path)
{
    return platform::DecodeText(path);
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Whether a lock of the folder, or of the file, could be taken now, without
// waiting.
bool FreeNow(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + folder);
    }
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

// A process that takes the folder's lock, reports "<id>w" if it had to
// wait, "<id>h" once it holds it, and "<id>f" just before it lets go,
// which it does when told to.
struct Holder {
    char id = '?';
    pid_t pid = -1;
    int release = -1;  // written to tell it to let go
};

Holder StartHolder(char id, const std::string& folder, int reports, bool asOtherUser = false)
{
    int control[2];
    if (pipe(control) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        close(control[1]);
        alarm(kHungSeconds);
        const auto report = [&](char event) {
            const char message[2] = {id, event};
            if (write(reports, message, 2) != 2) _exit(3);
        };
        if (asOtherUser && (setgroups(0, nullptr) != 0 || setgid(testsupport::kOtherGroup) != 0 ||
                            setuid(testsupport::kOtherUser) != 0)) {
            _exit(5);
        }
        platform::RunLock lock;
        if (!lock.Acquire(Wide(folder), [&] { report('w'); })) _exit(2);
        report('h');
        char byte = 0;
        if (read(control[0], &byte, 1) != 1) _exit(4);
        report('f');
        lock.Release();
        _exit(0);
    }
    close(control[0]);
    return Holder{id, pid, control[1]};
}

std::string NextReport(int reports)
{
    pollfd wait{reports, POLLIN, 0};
    std::string message(2, '\0');
    if (poll(&wait, 1, kHungSeconds * 1000) != 1 || read(reports, &message[0], 2) != 2) {
        return "hung";
    }
    return message;
}

std::string Message(const Holder& holder, char event)
{
    return std::string(1, holder.id) + event;
}

void LetGo(const Holder& holder)
{
    if (write(holder.release, "x", 1) != 1) throw std::runtime_error("cannot tell the holder");
}

void Finish(const Holder& holder)
{
    close(holder.release);
    int status = 0;
    waitpid(holder.pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << holder.id << " ended with status " << status;
}

TEST(RunLockTest, HoldersNeverOverlapAndAThirdWaitsBesideTheSecond)
{
    TempFolder folder;
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const Holder first = StartHolder('a', folder.Path(), reports[1]);
    EXPECT_EQ(NextReport(reports[0]), "ah") << "a free folder is locked at once";
    const Holder second = StartHolder('b', folder.Path(), reports[1]);
    EXPECT_EQ(NextReport(reports[0]), "bw");
    const Holder third = StartHolder('c', folder.Path(), reports[1]);
    EXPECT_EQ(NextReport(reports[0]), "cw");
    EXPECT_FALSE(FreeNow(folder.Path()));

    // The first lets go; one of the waiting two follows, then the other,
    // never both at once.
    LetGo(first);
    EXPECT_EQ(NextReport(reports[0]), "af");
    const std::string next = NextReport(reports[0]);
    ASSERT_TRUE(next == "bh" || next == "ch") << next;
    const Holder& following = next[0] == 'b' ? second : third;
    const Holder& last = next[0] == 'b' ? third : second;
    EXPECT_FALSE(FreeNow(folder.Path()));
    LetGo(following);
    EXPECT_EQ(NextReport(reports[0]), Message(following, 'f'));
    EXPECT_EQ(NextReport(reports[0]), Message(last, 'h'));
    EXPECT_FALSE(FreeNow(folder.Path()));
    LetGo(last);
    EXPECT_EQ(NextReport(reports[0]), Message(last, 'f'));
    for (const Holder* holder : {&first, &second, &third}) {
        Finish(*holder);
    }
    EXPECT_TRUE(FreeNow(folder.Path()));
    close(reports[0]);
    close(reports[1]);
    // Nothing in the folder, whatever name a user might give a file there.
    EXPECT_TRUE(Names(folder.Path()).empty());
}

TEST(RunLockTest, LocksAFolderThatMayOnlyBeReadAndMakesNothingInIt)
{
    TempFolder folder;
    testsupport::WriteFile(folder.File("Tarvok_WEB.lock"), "the user's file");
    ASSERT_EQ(chmod(folder.Path().c_str(), 0555), 0);
    {
        platform::RunLock lock;
        bool waited = false;
        ASSERT_TRUE(lock.Acquire(Wide(folder.Path()), [&] { waited = true; }));
        EXPECT_TRUE(lock.Held());
        EXPECT_FALSE(waited);
        EXPECT_FALSE(FreeNow(folder.Path()));
        lock.Release();
        EXPECT_FALSE(lock.Held());
        EXPECT_TRUE(FreeNow(folder.Path()));
        ASSERT_TRUE(lock.Acquire(Wide(folder.Path()), nullptr));
    }
    // Its end lets go as well.
    EXPECT_TRUE(FreeNow(folder.Path()));
    chmod(folder.Path().c_str(), 0700);
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"Tarvok_WEB.lock"});
    EXPECT_EQ(testsupport::ReadFile(folder.File("Tarvok_WEB.lock")), "the user's file");
}

// A folder its user may write but not read (mode 0333) cannot be opened to
// be locked: the runs take turns by its lock file, made once and kept. A
// user who may read it (root) locks the folder, and the lock file as well
// once it is there.
TEST(RunLockTest, TakesTurnsByTheLockFileWhereTheFolderMayNotBeRead)
{
    struct Case {
        const char* name;
        bool firstMayRead, secondMayRead;
        bool lockFileThere;  // made by an earlier run
    };
    const Case cases[] = {
        {"two runs that may not read it", false, false, false},
        {"then a run that may", false, true, false},
        {"a run that may, then one that may not", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string lockFile = folder.File("kxp.lock");
        EXPECT_EQ(platform::EncodeText(platform::RunLock::LockFilePath(Wide(folder.Path()))), lockFile);
        if (c.lockFileThere) {
            testsupport::WriteFile(lockFile, "");
        }
        ASSERT_EQ(chown(folder.Path().c_str(), testsupport::kOtherUser, testsupport::kOtherGroup), 0);
        ASSERT_EQ(chmod(folder.Path().c_str(), 0333), 0);
        int reports[2];
        ASSERT_EQ(pipe(reports), 0);
        const Holder first = StartHolder('a', folder.Path(), reports[1], !c.firstMayRead);
        EXPECT_EQ(NextReport(reports[0]), "ah");
        const Holder second = StartHolder('b', folder.Path(), reports[1], !c.secondMayRead);
        EXPECT_EQ(NextReport(reports[0]), "bw");
        EXPECT_FALSE(FreeNow(lockFile));
        LetGo(first);
        EXPECT_EQ(NextReport(reports[0]), "af");
        EXPECT_EQ(NextReport(reports[0]), "bh");
        EXPECT_FALSE(FreeNow(lockFile));
        LetGo(second);
        EXPECT_EQ(NextReport(reports[0]), "bf");
        Finish(first);
        Finish(second);
        close(reports[0]);
        close(reports[1]);
        EXPECT_TRUE(FreeNow(lockFile));
        EXPECT_TRUE(FreeNow(folder.Path()));
        struct stat st;
        ASSERT_EQ(lstat(lockFile.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_size, 0);
        EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"kxp.lock"});
    }
}

// What stands at the lock file's name of a folder that may not be read:
// another user's regular file is locked and never written; anything else
// is left alone and no lock is taken.
TEST(RunLockTest, WhereTheFolderMayNotBeReadOnlyARegularFileIsTakenForTheLockFile)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& path, const std::string& elsewhere)> plant;
        bool locked;
    };
    const Case cases[] = {
        {"another user's file", [](const std::string& p, const std::string&) { testsupport::WriteFile(p, "kept"); },
         true},
        {"a FIFO", [](const std::string& p, const std::string&) { ASSERT_EQ(mkfifo(p.c_str(), 0666), 0); }, false},
        {"a folder", [](const std::string& p, const std::string&) { ASSERT_EQ(mkdir(p.c_str(), 0777), 0); }, false},
        {"a link to a file", [](const std::string& p, const std::string& e) { ASSERT_EQ(symlink(e.c_str(), p.c_str()), 0); },
         false},
        {"a dangling link",
         [](const std::string& p, const std::string& e) { ASSERT_EQ(symlink((e + "-missing").c_str(), p.c_str()), 0); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder, other;
        const std::string elsewhere = other.File("target");
        testsupport::WriteFile(elsewhere, "the target");
        ASSERT_EQ(chmod(other.Path().c_str(), 0777), 0);
        ASSERT_EQ(chmod(elsewhere.c_str(), 0666), 0);
        const std::string lockFile = folder.File("kxp.lock");
        ASSERT_NO_FATAL_FAILURE(c.plant(lockFile, elsewhere));
        struct stat before;
        ASSERT_EQ(lstat(lockFile.c_str(), &before), 0);
        ASSERT_EQ(chown(folder.Path().c_str(), testsupport::kOtherUser, testsupport::kOtherGroup), 0);
        ASSERT_EQ(chmod(folder.Path().c_str(), 0333), 0);
        int reports[2];
        ASSERT_EQ(pipe(reports), 0);
        const Holder holder = StartHolder('a', folder.Path(), reports[1], true);
        close(reports[1]);
        if (c.locked) {
            EXPECT_EQ(NextReport(reports[0]), "ah");
            EXPECT_FALSE(FreeNow(lockFile));
            LetGo(holder);
            EXPECT_EQ(NextReport(reports[0]), "af");
            Finish(holder);
        } else {
            EXPECT_EQ(NextReport(reports[0]), "hung") << "no report: it took no lock";
            close(holder.release);
            int status = 0;
            waitpid(holder.pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << "ended with status " << status;
        }
        close(reports[0]);
        struct stat after;
        ASSERT_EQ(lstat(lockFile.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_EQ(testsupport::ReadFile(elsewhere), "the target");
        if (c.locked) {
            EXPECT_EQ(testsupport::ReadFile(lockFile), "kept");
        }
    }
}

TEST(RunLockTest, RefusesWhatIsNoFolder)
{
    TempFolder folder;
    testsupport::WriteFile(folder.File("file"), "");
    std::wstring withNul = Wide(folder.Path());
    withNul += L'\0';
    withNul += L"/x";
    struct Case {
        const char* name;
        std::wstring path;
        int error;
    };
    const Case cases[] = {
        // The OS would see the folder before the NUL, another path.
        {"a path holding a NUL", withNul, EINVAL},
        {"nothing there", Wide(folder.File("missing")), ENOENT},
        {"a file", Wide(folder.File("file")), ENOTDIR},
    };
    for (const Case& c : cases) {
        platform::RunLock lock;
        errno = 0;
        EXPECT_FALSE(lock.Acquire(c.path, nullptr)) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        EXPECT_FALSE(lock.Held()) << c.name;
    }
    EXPECT_TRUE(FreeNow(folder.Path()));
}

}  // namespace

// Every kind of output the package can be written to, through the tool: a
// file is replaced whole by a rename (or a copy beside it on another file
// system), a FIFO, pipe or device is written as it stands, an existing
// output in a folder that takes no new file is rewritten in place, and
// links that never end are refused. "kxp.bin" in the program's folder is
// the tool's own name: whatever stands there is replaced, never written
// through, and as the output it keeps its old bytes until the finished
// package replaces it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

const std::string kOld = "the package of an earlier release";

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct stat Stat(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

std::string LinkTarget(const std::string& path)
{
    std::error_code ec;
    return fs::read_symlink(path, ec).string();
}

// Runs the tool in a session of its own, so that it has no controlling
// terminal, as root or as another user.
RunResult RunTool(const ToolCopy& tool, const std::vector<std::string>& args, bool asOtherUser)
{
    if (asOtherUser) {
        // The other user runs the copy and keeps its work files beside it.
        if (chown(tool.Folder().c_str(), kOtherUser, kOtherGroup) != 0 || chmod(tool.Executable().c_str(), 0755)) {
            ADD_FAILURE() << "cannot hand the tool's folder over";
        }
    }
    RunOptions options;
    options.newSession = true;
    options.defaultSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    options.asOtherUser = asOtherUser;
    return tool.Run(args, options);
}

// A reader of a FIFO or pipe that takes everything until the end.
class Reader {
public:
    // The read end is opened before the tool starts, which never waits for
    // a reader; a second writer held here keeps the reader from seeing the
    // end before the tool has written.
    void OpenFifo(const std::string& fifo)
    {
        m_Read = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        m_Held = open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(m_Read, 0);
        ASSERT_GE(m_Held, 0);
        ASSERT_EQ(fcntl(m_Read, F_SETFL, 0), 0);
        Start();
    }
    // A pipe the tool inherits: the -o argument that names its write end.
    std::string OpenPipe()
    {
        int ends[2] = {-1, -1};
        EXPECT_EQ(pipe(ends), 0);
        m_Read = ends[0];
        m_Held = ends[1];
        Start();
        return "/dev/fd/" + std::to_string(ends[1]);
    }
    // Everything that arrived, once the tool is done.
    std::string Finish()
    {
        if (m_Held >= 0) close(m_Held);
        m_Held = -1;
        if (m_Thread.joinable()) m_Thread.join();
        return m_Received;
    }
    ~Reader() { Finish(); }

private:
    void Start()
    {
        m_Thread = std::thread([this] {
            char buffer[65536];
            ssize_t n = 0;
            while ((n = read(m_Read, buffer, sizeof buffer)) > 0) m_Received.append(buffer, static_cast<size_t>(n));
            close(m_Read);
        });
    }

    int m_Read = -1;
    int m_Held = -1;
    std::thread m_Thread;
    std::string m_Received;
};

// What a case works with: the tool, a folder of the test's own beside it,
// one on another file system, and the package a plain run builds.
struct Place {
    const ToolCopy& tool;
    std::string folder;
    std::string otherFileSystem;
    std::string expected;
    Reader reader;
    ino_t inode = 0;
};

struct OutputCase {
    const char* name;
    // Prepares what the output path leads to; gives the -o argument, ""
    // for none, "skip" when the machine cannot have it.
    std::function<std::string(Place&)> prepare;
    // nullptr: the run succeeds. Otherwise it fails and prints this ("@"
    // for the tool's folder, "%" for the test's folder).
    const char* failure;
    std::function<void(Place&, const RunResult&)> check;
    bool asOtherUser = false;
    const char* layout = "layout.blf";
};

std::string Expand(std::string text, const Place& place)
{
    for (size_t at; (at = text.find_first_of("@%")) != std::string::npos;) {
        text.replace(at, 1, text[at] == '@' ? place.tool.Folder() : place.folder);
    }
    return text;
}

// Root's writable output in a sticky folder made in base, which another
// user's run may add a file to but not replace the output in.
std::string StickyOutput(Place& p, const std::string& base)
{
    const std::string folder = base + "/sticky";
    mkdir(folder.c_str(), 0755);
    chmod(folder.c_str(), 01777);
    WriteFile(folder + "/out.kxp", kOld);
    chmod((folder + "/out.kxp").c_str(), 0666);
    p.inode = Stat(folder + "/out.kxp").st_ino;
    return folder + "/out.kxp";
}

void ExpectStickyOutputRewritten(const Place& p, const std::string& base)
{
    const std::string output = base + "/sticky/out.kxp";
    EXPECT_TRUE(ReadFile(output) == p.expected);
    EXPECT_EQ(Stat(output).st_ino, p.inode) << "rewritten in place";
    EXPECT_EQ(Stat(output).st_uid, 0u);
    EXPECT_EQ(Entries(base + "/sticky"), (std::set<std::string>{"out.kxp"}));
}

// A file of the old bytes that the other user owns and may not write.
void OtherUsersReadOnlyFile(const std::string& path)
{
    WriteFile(path, kOld);
    chown(path.c_str(), kOtherUser, kOtherGroup);
    chmod(path.c_str(), 0444);
}

const OutputCase kCases[] = {
    {"new file", [](Place& p) { return p.folder + "/new.kxp"; }, nullptr,
     [](Place& p, const RunResult&) { EXPECT_TRUE(ReadFile(p.folder + "/new.kxp") == p.expected); }},
    {"existing file keeps its mode",
     [](Place& p) {
         WriteFile(p.folder + "/out.kxp", kOld);
         chmod((p.folder + "/out.kxp").c_str(), 0604);
         return p.folder + "/out.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.folder + "/out.kxp") == p.expected);
         EXPECT_EQ(Stat(p.folder + "/out.kxp").st_mode & 07777, 0604u);
     }},
    {"relative link into another folder",
     [](Place& p) {
         mkdir((p.folder + "/sub").c_str(), 0755);
         WriteFile(p.folder + "/sub/target.kxp", kOld);
         symlink("sub/target.kxp", (p.folder + "/link.kxp").c_str());
         return p.folder + "/link.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_EQ(LinkTarget(p.folder + "/link.kxp"), "sub/target.kxp");
         EXPECT_TRUE(ReadFile(p.folder + "/sub/target.kxp") == p.expected);
         EXPECT_EQ(Entries(p.folder), (std::set<std::string>{"link.kxp", "sub"}));
     }},
    {"link loop",
     [](Place& p) {
         symlink("b.kxp", (p.folder + "/a.kxp").c_str());
         symlink("a.kxp", (p.folder + "/b.kxp").c_str());
         return p.folder + "/a.kxp";
     },
     "Open file failed:%/a.kxp\n",
     [](Place& p, const RunResult&) {
         EXPECT_EQ(LinkTarget(p.folder + "/a.kxp"), "b.kxp");
         EXPECT_EQ(LinkTarget(p.folder + "/b.kxp"), "a.kxp");
         EXPECT_EQ(Entries(p.folder), (std::set<std::string>{"a.kxp", "b.kxp"}));
     }},
    {"hard-linked output",
     [](Place& p) {
         WriteFile(p.folder + "/out.kxp", kOld);
         link((p.folder + "/out.kxp").c_str(), (p.folder + "/release.kxp").c_str());
         return p.folder + "/out.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.folder + "/out.kxp") == p.expected);
         EXPECT_EQ(ReadFile(p.folder + "/release.kxp"), kOld);
     }},
    {"writable output in a folder the user may only read",
     [](Place& p) {
         const std::string folder = p.folder + "/read-only";
         mkdir(folder.c_str(), 0755);
         WriteFile(folder + "/out.kxp", kOld);
         chown((folder + "/out.kxp").c_str(), kOtherUser, kOtherGroup);
         chmod(folder.c_str(), 0555);
         p.inode = Stat(folder + "/out.kxp").st_ino;
         return folder + "/out.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         const std::string output = p.folder + "/read-only/out.kxp";
         EXPECT_TRUE(ReadFile(output) == p.expected);
         EXPECT_EQ(Stat(output).st_ino, p.inode) << "rewritten in place";
         EXPECT_EQ(Entries(p.folder + "/read-only"), (std::set<std::string>{"out.kxp"}));
     },
     true},
    {"another user's writable output in a sticky folder",
     [](Place& p) { return StickyOutput(p, p.folder); }, nullptr,
     [](Place& p, const RunResult&) { ExpectStickyOutputRewritten(p, p.folder); }, true},
    {"another user's writable output in a sticky folder on another file system",
     [](Place& p) {
         if (p.otherFileSystem.empty()) return std::string("skip");
         chmod(p.otherFileSystem.c_str(), 0755);
         return StickyOutput(p, p.otherFileSystem);
     },
     nullptr, [](Place& p, const RunResult&) { ExpectStickyOutputRewritten(p, p.otherFileSystem); }, true},
    {"a read-only output of the user's own",
     [](Place& p) {
         OtherUsersReadOnlyFile(p.tool.File("out.kxp"));
         return std::string("out.kxp");
     },
     "Open file failed:@/out.kxp\n",
     [](Place& p, const RunResult&) { EXPECT_EQ(ReadFile(p.tool.File("out.kxp")), kOld); }, true},
    {"FIFO with a reader",
     [](Place& p) {
         mkfifo((p.folder + "/fifo").c_str(), 0600);
         p.reader.OpenFifo(p.folder + "/fifo");
         return p.folder + "/fifo";
     },
     nullptr, [](Place& p, const RunResult&) { EXPECT_TRUE(p.reader.Finish() == p.expected); }},
    {"FIFO without a reader",
     [](Place& p) {
         mkfifo((p.folder + "/fifo").c_str(), 0600);
         return p.folder + "/fifo";
     },
     "Open file failed:%/fifo has no reader\n", [](Place&, const RunResult&) {}},
    {"pipe named by /dev/fd", [](Place& p) { return p.reader.OpenPipe(); }, nullptr,
     [](Place& p, const RunResult&) { EXPECT_TRUE(p.reader.Finish() == p.expected); }},
    {"terminal without a controlling terminal",
     [](Place&) { return std::string(Stat("/dev/tty").st_rdev != 0 ? "/dev/tty" : "skip"); },
     "Open file failed:/dev/tty\n",
     [](Place&, const RunResult& r) { EXPECT_FALSE(Contains(r.out, "has no reader")) << r.out; }},
    {"character device", [](Place&) { return std::string("/dev/null"); }, nullptr,
     [](Place&, const RunResult&) { EXPECT_TRUE(S_ISCHR(Stat("/dev/null").st_mode)); }},
    {"another file system",
     [](Place& p) {
         if (p.otherFileSystem.empty()) return std::string("skip");
         WriteFile(p.otherFileSystem + "/out.kxp", kOld);
         chmod((p.otherFileSystem + "/out.kxp").c_str(), 0640);
         return p.otherFileSystem + "/out.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.otherFileSystem + "/out.kxp") == p.expected);
         EXPECT_EQ(Stat(p.otherFileSystem + "/out.kxp").st_mode & 07777, 0640u);
         EXPECT_EQ(Entries(p.otherFileSystem), (std::set<std::string>{"out.kxp"}));
     }},
    {"another file system, the longest name it takes",
     [](Place& p) {
         return p.otherFileSystem.empty() ? std::string("skip") : p.otherFileSystem + "/" + std::string(255, 'k');
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.otherFileSystem + "/" + std::string(255, 'k')) == p.expected);
         EXPECT_EQ(Entries(p.otherFileSystem), (std::set<std::string>{std::string(255, 'k')}));
     }},
    {"another file system, files left by a killed run",
     [](Place& p) {
         if (p.otherFileSystem.empty()) return std::string("skip");
         WriteFile(p.otherFileSystem + "/.out.kxp." + std::to_string(GoneProcess()) + "-3.part", "half");
         // Process 1 is alive: its file may still be written.
         WriteFile(p.otherFileSystem + "/.out.kxp.1-3.part", "busy");
         return p.otherFileSystem + "/out.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.otherFileSystem + "/out.kxp") == p.expected);
         EXPECT_EQ(Entries(p.otherFileSystem), (std::set<std::string>{"out.kxp", ".out.kxp.1-3.part"}));
     }},
    {"another file system, another user's file of that pattern",
     [](Place& p) {
         if (p.otherFileSystem.empty()) return std::string("skip");
         const std::string other = p.otherFileSystem + "/.out.kxp." + std::to_string(GoneProcess()) + "-3.part";
         WriteFile(other, "theirs");
         chown(other.c_str(), kOtherUser, kOtherGroup);
         return p.otherFileSystem + "/out.kxp";
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.otherFileSystem + "/out.kxp") == p.expected);
         EXPECT_EQ(Entries(p.otherFileSystem).size(), 2u);
         for (const std::string& name : Entries(p.otherFileSystem)) {
             if (name != "out.kxp") {
                 EXPECT_EQ(ReadFile(p.otherFileSystem + "/" + name), "theirs");
             }
         }
     }},
    {"kxp.bin as the output, with a second hard link",
     [](Place& p) {
         WriteFile(p.tool.File("kxp.bin"), kOld);
         link(p.tool.File("kxp.bin").c_str(), (p.folder + "/release.kxp").c_str());
         return std::string();
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(ReadFile(p.tool.File("kxp.bin")) == p.expected);
         EXPECT_EQ(ReadFile(p.folder + "/release.kxp"), kOld);
     }},
    {"kxp.bin as the output, a run that fails once the package is built",
     [](Place& p) {
         WriteFile(p.tool.File("kxp.bin"), kOld);
         p.inode = Stat(p.tool.File("kxp.bin")).st_ino;
         return std::string();
     },
     "OTA image size is too larger",
     [](Place& p, const RunResult&) {
         EXPECT_EQ(ReadFile(p.tool.File("kxp.bin")), kOld);
         EXPECT_EQ(Stat(p.tool.File("kxp.bin")).st_ino, p.inode);
     },
     false, "small.blf"},
    {"a FIFO at kxp.bin as the output",
     [](Place& p) {
         mkfifo(p.tool.File("kxp.bin").c_str(), 0600);
         return std::string();
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(S_ISREG(Stat(p.tool.File("kxp.bin")).st_mode));
         EXPECT_TRUE(ReadFile(p.tool.File("kxp.bin")) == p.expected);
     }},
    {"a user's file hard-linked as kxp.bin",
     [](Place& p) {
         WriteFile(p.folder + "/user.txt", kOld);
         link((p.folder + "/user.txt").c_str(), p.tool.File("kxp.bin").c_str());
         return std::string("out.kxp");
     },
     nullptr,
     [](Place& p, const RunResult&) {
         EXPECT_EQ(ReadFile(p.folder + "/user.txt"), kOld);
         EXPECT_EQ(Stat(p.folder + "/user.txt").st_nlink, 1u);
     }},
    {"a read-only file at kxp.bin",
     [](Place& p) {
         WriteFile(p.tool.File("kxp.bin"), kOld);
         chmod(p.tool.File("kxp.bin").c_str(), 0444);
         return std::string("out.kxp");
     },
     nullptr, [](Place&, const RunResult&) {}},
    {"a read-only file at kxp.bin, another user's run",
     [](Place& p) {
         OtherUsersReadOnlyFile(p.tool.File("kxp.bin"));
         return std::string("out.kxp");
     },
     nullptr, [](Place& p, const RunResult&) { EXPECT_TRUE(ReadFile(p.tool.File("out.kxp")) == p.expected); },
     true},
    // As the output, "kxp.bin" is an existing output like any other.
    {"a read-only kxp.bin as the output, another user's run",
     [](Place& p) {
         OtherUsersReadOnlyFile(p.tool.File("kxp.bin"));
         return std::string();
     },
     "Open file failed:@/kxp.bin\n",
     [](Place& p, const RunResult&) {
         EXPECT_EQ(ReadFile(p.tool.File("kxp.bin")), kOld);
         EXPECT_EQ(Stat(p.tool.File("kxp.bin")).st_mode & 07777, 0444u);
     },
     true},
    {"another user's file at kxp.bin",
     [](Place& p) {
         WriteFile(p.tool.File("kxp.bin"), kOld);
         chmod(p.tool.File("kxp.bin").c_str(), 0666);
         chown(p.tool.File("kxp.bin").c_str(), kOtherUser, kOtherGroup);
         return std::string("out.kxp");
     },
     nullptr, [](Place& p, const RunResult&) { EXPECT_EQ(Stat(p.tool.File("out.kxp")).st_uid, 0u); }},
    {"a device node at kxp.bin",
     [](Place& p) {
         return mknod(p.tool.File("kxp.bin").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? std::string("out.kxp")
                                                                                         : std::string("skip");
     },
     "Unable to replace @/kxp.bin, which is not a regular file.\n",
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(S_ISCHR(Stat(p.tool.File("kxp.bin")).st_mode));
         EXPECT_FALSE(FileExists(p.tool.File("out.kxp")));
         unlink(p.tool.File("kxp.bin").c_str());
     }},
    {"a device node at kxp.bin as the output",
     [](Place& p) {
         return mknod(p.tool.File("kxp.bin").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? std::string()
                                                                                         : std::string("skip");
     },
     "Unable to replace @/kxp.bin, which is not a regular file.\n",
     [](Place& p, const RunResult&) {
         EXPECT_TRUE(S_ISCHR(Stat(p.tool.File("kxp.bin")).st_mode));
         unlink(p.tool.File("kxp.bin").c_str());
     }},
};

Layout PlainLayout(const std::string& maxSize)
{
    Layout layout;
    layout.flash = "Max_OTA_Image_Size = " + maxSize + "\n";
    layout.images = {{"KERN", "0x4B45524E", "kern.bin", Pattern(30000, 4)}};
    return layout;
}

TEST(OutputKindsTest, EveryKindOfOutput)
{
    for (const OutputCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        WriteLayout(tool, PlainLayout("0x2000000"), "layout.blf");
        WriteLayout(tool, PlainLayout("0x100"), "small.blf");
        const RunResult plain = tool.Run({"-f", "layout.blf", "-i", "0x100000", "-o", "plain.kxp"});
        ASSERT_TRUE(Succeeded(plain)) << plain.out << plain.err;
        const TempFolder folder;
        chmod(folder.Path().c_str(), 0755);
        const OtherFileSystemFolder other(tool.Folder());
        Place place{tool, folder.Path(), other.Path(), ReadFile(tool.File("plain.kxp")), {}, 0};
        ASSERT_EQ(unlink(tool.File("plain.kxp").c_str()), 0);
        // Root passes every permission check: these cases need the run
        // handed to another user, which only root can do.
        if (c.asOtherUser && (geteuid() != 0 || getpwuid(kOtherUser) == nullptr)) {
            std::cout << "left out: " << c.name << " needs root and user " << kOtherUser << "\n";
            continue;
        }
        const std::string output = c.prepare(place);
        if (output == "skip") {
            std::cout << "left out here: " << c.name << "\n";
            continue;
        }
        std::vector<std::string> args = {"-f", c.layout, "-i", "0x100000"};
        if (!output.empty()) {
            args.insert(args.end(), {"-o", output});
        }
        const RunResult r = RunTool(tool, args, c.asOtherUser);
        if (c.failure == nullptr) {
            EXPECT_TRUE(Succeeded(r)) << r.out << r.err;
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
            EXPECT_TRUE(Contains(r.out, Expand(c.failure, place))) << r.out << r.err;
        }
        c.check(place, r);
        place.reader.Finish();
        // Only the program, and the output where it is there.
        std::set<std::string> left = {"Tarvok_WEB", "layout.blf", "small.blf", "kern.bin"};
        if (output == "out.kxp" && (c.failure == nullptr || FileExists(tool.File("out.kxp")))) left.insert("out.kxp");
        if (output.empty() && (c.failure == nullptr || FileExists(tool.File("kxp.bin")))) left.insert("kxp.bin");
        EXPECT_EQ(Entries(tool.Folder()), left);
        chmod((place.folder + "/read-only").c_str(), 0755);
    }
}

// An output whose name no file can take (its folder is missing, also
// behind a dangling link, a file stands where a folder should, a trailing
// separator, a name too long) fails like one that cannot be opened, on one
// line, and leaves what was there and no work file.
TEST(OutputKindsTest, AnOutputThatCannotBeMadeFailsOnOneLine)
{
    struct Case {
        const char* name;
        // Prepares the test's folder; gives the -o argument.
        std::function<std::string(const std::string& folder)> prepare;
        // The path the message names, relative to the program's folder
        // when it does not start with a separator.
        std::function<std::string(const std::string& folder)> named;
    };
    const auto same = [](const std::string& output) { return [output](const std::string& f) { return f + output; }; };
    const Case cases[] = {
        {"a missing folder", [](const std::string& f) { return f + "/missing/out.kxp"; }, same("/missing/out.kxp")},
        {"a missing folder, relative", [](const std::string&) { return std::string("missing/out.kxp"); },
         [](const std::string&) { return std::string("missing/out.kxp"); }},
        {"a folder behind a dangling link",
         [](const std::string& f) {
             EXPECT_EQ(symlink((f + "/gone").c_str(), (f + "/away").c_str()), 0);
             return f + "/away/out.kxp";
         },
         same("/away/out.kxp")},
        {"a file used as a folder",
         [](const std::string& f) {
             WriteFile(f + "/file", kOld);
             return f + "/file/out.kxp";
         },
         same("/file/out.kxp")},
        {"a trailing separator",
         [](const std::string& f) {
             WriteFile(f + "/out.kxp", kOld);
             return f + "/out.kxp/";
         },
         same("/out.kxp/")},
        {"a name too long", [](const std::string& f) { return f + "/" + std::string(256, 'n'); },
         [](const std::string& f) { return f + "/" + std::string(256, 'n'); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        WriteLayout(tool, PlainLayout("0x2000000"), "layout.blf");
        const TempFolder folder;
        const std::string output = c.prepare(folder.Path());
        const std::set<std::string> before = Entries(folder.Path());
        const RunResult r = tool.Run({"-f", "layout.blf", "-i", "0x100000", "-o", output});
        std::string named = c.named(folder.Path());
        if (named[0] != '/') named = fs::canonical(tool.Folder()).string() + "/" + named;
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        const std::string last = "\nOpen file failed:" + named + "\n";
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), last.size())), last) << r.out;
        EXPECT_FALSE(Contains(r.out, "successfully")) << r.out;
        EXPECT_EQ(Entries(tool.Folder()), (std::set<std::string>{"Tarvok_WEB", "layout.blf", "kern.bin"}));
        EXPECT_EQ(Entries(folder.Path()), before);
        for (const std::string& name : before) {
            if (S_ISREG(Stat(folder.File(name)).st_mode)) {
                EXPECT_EQ(ReadFile(folder.File(name)), kOld) << name;
            }
        }
    }
}

// A FIFO whose reader takes nothing until the tool's write waits, then a
// stop, or the reader going away: the run fails on its ordinary path and
// leaves no work file.
TEST(OutputKindsTest, AFifoThatStopsTakingTheRunEndsOnAStopOrWhenItsReaderGoes)
{
    // As the tool's shell does; inherited by the tool.
    struct IgnoredSigpipe {
        IgnoredSigpipe() { previous = signal(SIGPIPE, SIG_IGN); }
        ~IgnoredSigpipe() { signal(SIGPIPE, previous); }
        void (*previous)(int);
    } ignored;
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "SIGTERM" : "reader gone");
        const ToolCopy tool;
        Layout layout;
        layout.images = {{"KERN", "0x4B45524E", "kern.bin", Pattern(1 << 20, 5)}};
        WriteLayout(tool, layout);
        const TempFolder folder;
        const std::string fifo = folder.File("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        // Not inherited by the tool, which would then read it itself.
        int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        const int capacity = fcntl(reader, F_GETPIPE_SZ);
        ASSERT_GT(capacity, 0);
        const int pid = tool.Start({"-f", "layout.blf", "-i", "0x100000", "-o", fifo});
        int held = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while ((ioctl(reader, FIONREAD, &held) != 0 || held < capacity) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_GE(held, capacity) << "hung: the tool never filled the FIFO";
        if (stop) {
            kill(pid, SIGTERM);
        } else {
            close(reader);
        }
        const RunResult r = tool.Wait(pid);
        if (stop) {
            close(reader);
            EXPECT_EQ(r.signal, SIGTERM) << "exit status " << r.exitCode << ": " << r.out;
            EXPECT_TRUE(Contains(r.out, "\nStopped by signal 15 (")) << r.out;
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_TRUE(Contains(r.out, "Write file failed:" + fifo + "\n")) << r.out;
        }
        EXPECT_FALSE(Contains(r.out, "successfully")) << r.out;
        EXPECT_EQ(Entries(tool.Folder()), (std::set<std::string>{"Tarvok_WEB", "layout.blf", "kern.bin"}));
    }
}

}  // namespace

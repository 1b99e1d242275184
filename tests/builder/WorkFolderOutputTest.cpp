// The run's work folders ("temp", "AbsBlfTemp", "TempSplit" in the
// program's folder) through the tool: an output that leads into one of them,
// whatever links lead there, is refused before anything is built, and a
// work folder that cannot be made fails the run once, naming the folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/PackageLayout.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

std::string PlainLayout(const ToolCopy& tool)
{
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "a.bin", "ABCDE"}};
    return WriteLayout(tool, layout);
}

// The program's folder as the run names it: with its own links resolved.
std::string ProgramFolder(const ToolCopy& tool)
{
    return fs::canonical(tool.Folder()).string();
}

void Link(const std::string& target, const std::string& at)
{
    ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at;
}

TEST(WorkFolderOutputTest, OutputsThatLeadIntoAWorkFolderAreRefused)
{
    struct Case {
        const char* name;
        std::string output;  // -o, relative to the program's folder
        // Puts links in place; gets the program's folder and a folder
        // outside it.
        std::function<void(const std::string& program, const std::string& outside)> prepare;
        const char* folder;  // the work folder the message names
    };
    const auto none = [](const std::string&, const std::string&) {};
    const Case cases[] = {
        {"a work folder itself", "temp", none, "temp"},
        {"a work folder with a trailing separator", "AbsBlfTemp/", none, "AbsBlfTemp"},
        {"a work folder that no run has made", "TempSplit", none, "TempSplit"},
        {"a link to a file in a work folder", "out.kxp",
         [](const std::string& p, const std::string&) { Link("AbsBlfTemp/out.kxp", p + "/out.kxp"); },
         "AbsBlfTemp"},
        {"an absolute link to a file in a work folder", "out.kxp",
         [](const std::string& p, const std::string&) { Link(p + "/temp/out.kxp", p + "/out.kxp"); }, "temp"},
        {"a link to a work folder", "out.kxp",
         [](const std::string& p, const std::string&) { Link("TempSplit", p + "/out.kxp"); }, "TempSplit"},
        {"a chain of links", "out.kxp",
         [](const std::string& p, const std::string& o) {
             Link(o + "/second", p + "/out.kxp");
             Link(p + "/AbsBlfTemp/out.kxp", o + "/second");
         },
         "AbsBlfTemp"},
        // Relative targets start from the folder of the link, not from the
        // program's folder.
        {"a relative link in a sub-folder", "sub/out.kxp",
         [](const std::string& p, const std::string&) {
             ASSERT_EQ(mkdir((p + "/sub").c_str(), 0700), 0);
             Link("../temp/out.kxp", p + "/sub/out.kxp");
         },
         "temp"},
        {"a link from outside back into a work folder", "away/out.kxp",
         [](const std::string& p, const std::string& o) {
             Link(o, p + "/away");
             Link(p + "/TempSplit/x.kxp", o + "/out.kxp");
         },
         "TempSplit"},
        // The folder the link names is made by the run only later.
        {"a folder link to a work folder not made yet", "work/out.kxp",
         [](const std::string& p, const std::string&) { Link("TempSplit", p + "/work"); }, "TempSplit"},
        {"an absolute folder link to a work folder", "work/out.kxp",
         [](const std::string& p, const std::string&) { Link(p + "/temp", p + "/work"); }, "temp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        const TempFolder outside;
        const std::string program = ProgramFolder(tool);
        c.prepare(program, fs::canonical(outside.Path()).string());
        const RunResult r = tool.Run({"-f", PlainLayout(tool), "-i", "0x100000", "-o", c.output});
        EXPECT_EQ(r.exitCode, 1);
        std::string output = program + "/" + c.output;
        if (output.back() == '/') output.pop_back();
        EXPECT_EQ(r.out, std::string(kBanner) + "Invalid Input,output file " + output + " is in the work folder " +
                             program + "/" + c.folder + ", which is deleted at exit!\n");
        EXPECT_EQ(r.err, "");
        ExpectWorkFilesGone(tool);
        EXPECT_FALSE(FileExists(outside.File("second/out.kxp")));
    }
}

TEST(WorkFolderOutputTest, OutputsBesideTheWorkFoldersAreWritten)
{
    struct Case {
        const char* name;
        std::string output;  // empty: the file itself
        std::function<std::string(const std::string& program, const std::string& outside)> prepare;  // the file
    };
    const Case cases[] = {
        {"a name that starts like a work folder", "temp.kxp",
         [](const std::string& p, const std::string&) { return p + "/temp.kxp"; }},
        {"a folder whose name starts like a work folder", "TempSplitter/out.kxp",
         [](const std::string& p, const std::string&) {
             EXPECT_EQ(mkdir((p + "/TempSplitter").c_str(), 0700), 0);
             return p + "/TempSplitter/out.kxp";
         }},
        {"a link out of the program's folder", "out.kxp",
         [](const std::string& p, const std::string& o) {
             Link(o + "/real.kxp", p + "/out.kxp");
             return o + "/real.kxp";
         }},
        {"a folder named temp elsewhere", "",
         [](const std::string&, const std::string& o) {
             EXPECT_EQ(mkdir((o + "/temp").c_str(), 0700), 0);
             return o + "/temp/out.kxp";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        const TempFolder outside;
        const std::string file = c.prepare(ProgramFolder(tool), fs::canonical(outside.Path()).string());
        const RunResult r =
            tool.Run({"-f", PlainLayout(tool), "-i", "0x100000", "-o", c.output.empty() ? file : c.output});
        EXPECT_TRUE(Succeeded(r)) << r.out << r.err;
        EXPECT_GT(ReadFile(file).size(), 0u);
        ExpectWorkFilesGone(tool);
    }
}

// Runs the tool in its folder, as the user "nobody" when the test runs as
// root, so that a folder without write permission holds also then.
RunResult RunWithoutPrivileges(const ToolCopy& tool, const std::vector<std::string>& args)
{
    RunOptions options;
    options.asOtherUser = geteuid() == 0;
    return tool.Run(args, options);
}

TEST(WorkFolderOutputTest, AWorkFolderThatCannotBeMadeIsNamedOnce)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& program)> prepare;
        bool readOnly;      // the program's folder may not be written
        std::string box;    // the one message box, "%s" for the program's folder
        std::string named;  // the line on standard output that names the folder, if any
    };
    const std::string inTheWay = "File %s/temp has exist,don't create the same name folder\n";
    const auto none = [](const std::string&) {};
    const Case cases[] = {
        {"a file named temp", [](const std::string& p) { WriteFile(p + "/temp", "the user's file"); }, false,
         inTheWay, ""},
        {"a FIFO named temp", [](const std::string& p) { ASSERT_EQ(mkfifo((p + "/temp").c_str(), 0600), 0); },
         false, inTheWay, ""},
        {"a file named AbsBlfTemp", [](const std::string& p) { WriteFile(p + "/AbsBlfTemp", "the user's file"); },
         false, "File %s/AbsBlfTemp has exist,don't create the same name folder\n", ""},
        {"a program folder the run may not write", none, true, "Create Folder Failed:Permission denied\n\n",
         "Unable to create the work folder %s/temp.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        const std::string program = ProgramFolder(tool);
        const std::vector<std::string> args = {"-f", PlainLayout(tool), "-i", "0x100000", "-o", "out.kxp"};
        c.prepare(program);
        RunResult r;
        if (c.readOnly) {
            ASSERT_EQ(chmod(tool.Executable().c_str(), 0755), 0);
            ASSERT_EQ(chmod(program.c_str(), 0555), 0);
            r = RunWithoutPrivileges(tool, args);
            chmod(program.c_str(), 0700);
        } else {
            r = tool.Run(args);
        }
        EXPECT_EQ(r.exitCode, 1);
        std::string box = c.box;
        if (box.find("%s") != std::string::npos) box.replace(box.find("%s"), 2, program);
        EXPECT_EQ(r.err, box);
        std::string failure = "DoTarvokfileforWebUpgrade failed.\nDoTarvokforSplitImage failed....\n";
        if (!c.named.empty()) {
            std::string named = c.named;
            failure = named.replace(named.find("%s"), 2, program) + failure;
        }
        // In its place: right after the command line was taken, before the
        // layout file is read.
        EXPECT_EQ(r.out.substr(0, std::string(kBanner).size() + failure.size()), kBanner + failure) << r.out;
        EXPECT_FALSE(FileExists(tool.File("out.kxp")));
        EXPECT_FALSE(FileExists(tool.File("kxp.bin")));
    }
}

}  // namespace

#include "common/FileUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "common/platform/Console.h"
#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"

using testsupport::MessageBoxes;

namespace {

using testsupport::FileExists;
using testsupport::TempFolder;
using testsupport::WriteFile;

std::wstring Wide(const std::string& path)
{
    return platform::DecodeText(path);
}

std::string Narrow(const std::wstring& text)
{
    return platform::EncodeText(text);
}

bool IsDir(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::wstring CurrentFolder()
{
    return Wide(std::filesystem::current_path().string());
}

std::wstring ProgramFolder()
{
    return Wide(std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}

TEST(FileUtilsTest, ParentFolderAndFileName)
{
    struct Case {
        std::wstring path;
        std::wstring parent;
        std::wstring name;
    };
    const std::vector<Case> cases = {
        {L"a/b/c.bin", L"a/b", L"c.bin"},
        {L"a\\b\\c.bin", L"a\\b", L"c.bin"},
        {L"a\\b/c.bin", L"a\\b", L"c.bin"},
        {L"D:\\work\\x.blf", L"D:\\work", L"x.blf"},
        {L"c.bin", L"c.bin", L"c.bin"},
        {L"/c.bin", L"/", L"c.bin"},
        {L"a/b/", L"a/b", L""},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetParentFolder(c.path), c.parent) << Narrow(c.path);
        std::wstring name = c.path;
        StripPathToFileName(name);
        EXPECT_EQ(name, c.name) << Narrow(c.path);
    }
}

TEST(FileUtilsTest, RelativeAndDrivelessPaths)
{
    struct Case {
        std::wstring path;
        bool relative;
    };
    const std::vector<Case> cases = {
        {L"/a", false}, {L"\\a", false}, {L"a", true}, {L"./a", true},
        {L"..\\a", true}, {L"C:\\a", true}, {L"", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRelativePath(c.path), c.relative) << Narrow(c.path);
        EXPECT_EQ(IsPathWithoutDrive(c.path), c.relative) << Narrow(c.path);
    }
}

TEST(FileUtilsTest, CombinePathIfRelative)
{
    struct Case {
        std::wstring base;
        std::wstring path;
        std::wstring out;
    };
    const std::vector<Case> cases = {
        {L"/work/blf", L"images\\a.bin", L"/work/blf/images/a.bin"},
        {L"/work/blf", L"..\\a.bin", L"/work/a.bin"},
        {L"/work/blf", L"./a//b", L"/work/blf/a/b"},
        {L"/work/blf", L"../../../x", L"/x"},
        {L"\\work\\blf\\", L"a.bin", L"/work/blf/a.bin"},
        // An absolute path comes back exactly as given.
        {L"/work/blf", L"/abs/x/../y", L"/abs/x/../y"},
        {L"/work/blf", L"\\abs\\y", L"\\abs\\y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CombinePathIfRelative(c.base, c.path), c.out) << Narrow(c.path);
    }
}

TEST(FileUtilsTest, GetAbsPathIsLexicalAndKeepsTheCurrentFolder)
{
    const std::wstring cwd = CurrentFolder();
    struct Case {
        std::wstring path;
        std::wstring base;
        std::wstring out;
    };
    const std::vector<Case> cases = {
        // Folders need not exist: a missing folder is kept, not dropped.
        {L"images\\a.bin", L"/no/such/blf/x.blf", L"/no/such/blf/images/a.bin"},
        {L"..\\a.bin", L"/no/such/blf/x.blf", L"/no/such/a.bin"},
        {L"a.bin", L"\\no\\blf\\x.blf", L"/no/blf/a.bin"},
        {L"../../../a.bin", L"/w/x.blf", L"/a.bin"},
        {L"a.bin", L"/x.blf", L"/a.bin"},
        {L"C:\\a.bin", L"/w/x.blf", L"/w/C:/a.bin"},
        // Absolute paths are left exactly as they are.
        {L"/abs/../a.bin", L"/w/x.blf", L"/abs/../a.bin"},
        {L"\\abs\\a.bin", L"/w/x.blf", L"\\abs\\a.bin"},
        // A base without a folder, or with a relative one, starts at the
        // current folder.
        {L"a.bin", L"x.blf", cwd + L"/a.bin"},
        {L"a.bin", L"", cwd + L"/a.bin"},
        {L"..\\a.bin", L"sub\\x.blf", cwd + L"/a.bin"},
        {L"a.bin", L"sub/deeper/x.blf", cwd + L"/sub/deeper/a.bin"},
    };
    for (const Case& c : cases) {
        std::wstring path = c.path;
        EXPECT_TRUE(GetAbsPath(path, c.base)) << Narrow(c.path);
        EXPECT_EQ(path, c.out) << Narrow(c.path) << " against " << Narrow(c.base);
    }
    EXPECT_EQ(CurrentFolder(), cwd);
}

TEST(FileUtilsTest, ProgramAndCurrentFolder)
{
    const std::wstring program = ProgramFolder();
    EXPECT_EQ(GetProgramFolder(), program);
    EXPECT_EQ(GetCurrentFolder(), CurrentFolder());

    struct Case {
        std::wstring path;
        std::wstring out;
    };
    const std::vector<Case> cases = {
        {L"x.blf", program + L"/x.blf"},
        {L"keys\\k.key", program + L"/keys/k.key"},
        {L"sub/../x.blf", program + L"/x.blf"},
        {L"/abs/x.blf", L"/abs/x.blf"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring path = c.path;
        EXPECT_TRUE(SetAbsolutePath(path)) << Narrow(c.path);
        EXPECT_EQ(path, c.out) << Narrow(c.path);
        if (!c.path.empty()) {
            EXPECT_EQ(GetPathInProgramFolder(c.path), c.out) << Narrow(c.path);
        }
    }
}

TEST(FileUtilsTest, CreateFolderTreeCreatesMissingParents)
{
    TempFolder temp;
    MessageBoxes boxes;
    const std::vector<std::string> spellings = {
        "/a/b/c", "/d/e/f/", "\\g\\h\\i\\", "/j/./k", "/l//m",
    };
    for (const std::string& spelling : spellings) {
        EXPECT_TRUE(CreateFolderTree(Wide(temp.Path() + spelling))) << spelling;
    }
    for (const char* folder : {"a/b/c", "d/e/f", "g/h/i", "j/k", "l/m"}) {
        EXPECT_TRUE(IsDir(temp.File(folder))) << folder;
    }
    // An existing folder is simply accepted.
    EXPECT_TRUE(CreateFolderTree(Wide(temp.File("a/b"))));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST(FileUtilsTest, CreateFolderTreeReportsFailures)
{
    TempFolder temp;
    WriteFile(temp.File("file"), "x");
    MessageBoxes boxes;

    const std::wstring existing = Wide(temp.File("file"));
    EXPECT_FALSE(CreateFolderTree(existing));
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], L"File " + existing + L" has exist,don't create the same name folder");

    boxes.texts.clear();
    EXPECT_FALSE(CreateFolderTree(Wide(temp.File("file/sub/deeper"))));
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], L"Create Folder Failed:Not a directory\n");

    boxes.texts.clear();
    ReportCreateFolderError(ENOENT);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], L"Create Folder Failed:No such file or directory\n");
}

TEST(FileUtilsTest, CreateWorkFolderReportsOnlyWhenAskedAndOnce)
{
    struct Case {
        const char* name;
        const char* inTheWay;  // what stands at the work folder's name
        bool made;
        std::wstring box;  // "%s" for the folder
        std::string line;  // the same
    };
    const Case cases[] = {
        {"nothing there", "", true, L"", ""},
        {"a folder there", "folder", true, L"", ""},
        {"a link there is replaced", "link", true, L"", ""},
        {"a file there", "file", false, L"File %s has exist,don't create the same name folder", ""},
        {"below a file", "file below", false, L"Create Folder Failed:Not a directory\n",
         "Unable to create the work folder %s.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool report : {false, true}) {
            TempFolder temp;
            std::string folder = temp.File("work");
            const std::string kind = c.inTheWay;
            if (kind == "folder") {
                ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            }
            if (kind == "link") {
                ASSERT_EQ(symlink(temp.Path().c_str(), folder.c_str()), 0);
            }
            if (kind == "file") WriteFile(folder, "the user's file");
            if (kind == "file below") {
                WriteFile(folder, "the user's file");
                folder += "/inner";
            }
            MessageBoxes boxes;
            const testsupport::Outcome o = testsupport::Capture([&] { return CreateWorkFolder(Wide(folder), report); });
            EXPECT_EQ(o.result, c.made);
            EXPECT_EQ(IsDir(folder), c.made);
            std::wstring box = c.box;
            if (box.find(L"%s") != std::wstring::npos) box.replace(box.find(L"%s"), 2, Wide(folder));
            std::string line = c.line;
            if (line.find("%s") != std::string::npos) line.replace(line.find("%s"), 2, folder);
            EXPECT_EQ(boxes.texts, report && !box.empty() ? std::vector<std::wstring>{box} : std::vector<std::wstring>{});
            EXPECT_EQ(o.out, report ? line : "");
            if (kind == "file") {
                EXPECT_EQ(testsupport::ReadFile(folder), "the user's file");
            }
        }
    }
}

TEST(FileUtilsTest, DeleteTempFolderRemovesTreeButNotWhatLinksPointTo)
{
    TempFolder temp;
    const std::string outside = temp.File("outside");
    ASSERT_EQ(mkdir(outside.c_str(), 0777), 0);
    WriteFile(outside + "/keep.bin", "keep");
    WriteFile(temp.File("keep-file"), "keep");

    const std::string tree = temp.File("tree");
    ASSERT_EQ(mkdir(tree.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((tree + "/n1").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((tree + "/n1/n2").c_str(), 0777), 0);
    WriteFile(tree + "/top.bin", "x");
    WriteFile(tree + "/n1/n2/read-only.bin", "x");
    ASSERT_EQ(chmod((tree + "/n1/n2/read-only.bin").c_str(), 0444), 0);
    ASSERT_EQ(mkdir((tree + "/n1/locked").c_str(), 0777), 0);
    WriteFile(tree + "/n1/locked/inside.bin", "x");
    ASSERT_EQ(chmod((tree + "/n1/locked").c_str(), 0500), 0);
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/n1/to-outside").c_str()), 0);
    ASSERT_EQ(symlink(temp.File("keep-file").c_str(), (tree + "/to-file").c_str()), 0);
    ASSERT_EQ(chmod(temp.File("keep-file").c_str(), 0444), 0);
    // A second name of the user's read-only file: the name goes, the file
    // keeps its mode.
    ASSERT_EQ(link(temp.File("keep-file").c_str(), (tree + "/n1/second-name").c_str()), 0);
    ASSERT_EQ(symlink("/no/such/target", (tree + "/dangling").c_str()), 0);

    EXPECT_TRUE(DeleteTempFolder(Wide(tree)));
    EXPECT_FALSE(FileExists(tree));
    EXPECT_EQ(testsupport::ReadFile(outside + "/keep.bin"), "keep");
    EXPECT_EQ(testsupport::ReadFile(temp.File("keep-file")), "keep");
    struct stat info;
    ASSERT_EQ(stat(temp.File("keep-file").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
}

TEST(FileUtilsTest, DeleteTempFolderOnLinksMissingFoldersAndFiles)
{
    TempFolder temp;
    const std::string target = temp.File("target");
    ASSERT_EQ(mkdir(target.c_str(), 0777), 0);
    WriteFile(target + "/keep.bin", "keep");

    // The given path itself is a link: only the link goes, also when it is
    // written with a trailing separator.
    for (const char* suffix : {"", "/", "\\"}) {
        const std::string link = temp.File("link");
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        EXPECT_TRUE(DeleteTempFolder(Wide(link + suffix))) << suffix;
        EXPECT_FALSE(FileExists(link)) << suffix;
        EXPECT_TRUE(FileExists(target + "/keep.bin")) << suffix;
    }

    EXPECT_TRUE(DeleteTempFolder(Wide(temp.File("missing"))));

    // A file is not a folder: it stays, and the caller learns it.
    WriteFile(temp.File("file"), "x");
    EXPECT_FALSE(DeleteTempFolder(Wide(temp.File("file"))));
    EXPECT_TRUE(FileExists(temp.File("file")));
}

TEST(FileUtilsTest, DeleteTempFolderNeverReadsABackslashNameAsAPath)
{
    // "..\\..\\victim" is one name on Linux, but the path routines would
    // read it as a way out of the tree.
    TempFolder temp;
    WriteFile(temp.File("victim"), "keep");
    const std::string tree = temp.File("tree");
    ASSERT_EQ(mkdir(tree.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((tree + "/inner").c_str(), 0777), 0);
    WriteFile(tree + "/inner/..\\..\\victim", "x");

    EXPECT_FALSE(DeleteTempFolder(Wide(tree)));
    EXPECT_EQ(testsupport::ReadFile(temp.File("victim")), "keep");
    EXPECT_TRUE(FileExists(tree + "/inner/..\\..\\victim"));
}

TEST(FileUtilsTest, ForceDeleteFile)
{
    TempFolder temp;
    WriteFile(temp.File("plain"), "x");
    WriteFile(temp.File("read-only"), "x");
    ASSERT_EQ(chmod(temp.File("read-only").c_str(), 0444), 0);
    WriteFile(temp.File("users"), "x");
    ASSERT_EQ(chmod(temp.File("users").c_str(), 0444), 0);
    ASSERT_EQ(link(temp.File("users").c_str(), temp.File("second-name").c_str()), 0);
    ASSERT_EQ(mkdir(temp.File("folder").c_str(), 0777), 0);
    ASSERT_EQ(symlink("/no/such/target", temp.File("dangling").c_str()), 0);

    struct Case {
        const char* name;
        int result;
        bool remains;
    };
    const std::vector<Case> cases = {
        {"plain", 1, false},
        {"read-only", 1, false},
        {"second-name", 1, false},
        {"dangling", 1, false},
        {"missing", -1, false},
        {"folder", 0, true},  // never removes a folder, even an empty one
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ForceDeleteFile(Wide(temp.File(c.name))), c.result) << c.name;
        EXPECT_EQ(FileExists(temp.File(c.name)), c.remains) << c.name;
    }
    // The file of the removed second name keeps its mode.
    struct stat info;
    ASSERT_EQ(stat(temp.File("users").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
}

TEST(FileUtilsTest, GetFileSizeByPath)
{
    TempFolder temp;
    WriteFile(temp.File("five"), "12345");
    WriteFile(temp.File("empty"), "");
    const std::string largest = temp.File("largest");
    const std::string tooLarge = temp.File("too-large");
    WriteFile(largest, "");
    WriteFile(tooLarge, "");
    ASSERT_EQ(truncate(largest.c_str(), 0x7FFFFFFF), 0);
    ASSERT_EQ(truncate(tooLarge.c_str(), 0x100000005LL), 0);  // would wrap to 5
    ASSERT_EQ(mkfifo(temp.File("fifo").c_str(), 0600), 0);

    struct Case {
        std::string path;
        bool ok;
        uint32_t size;
    };
    const std::vector<Case> cases = {
        {temp.File("five"), true, 5},
        {temp.File("empty"), true, 0},
        {largest, true, 0x7FFFFFFFu},
        {tooLarge, false, 77},
        {temp.File("missing"), false, 77},
        {temp.Path(), false, 77},
        {temp.File("fifo"), false, 77},  // refused, not waited on for a writer
        {"/dev/zero", false, 77},
    };
    for (const Case& c : cases) {
        uint32_t size = 77;
        testing::internal::CaptureStdout();
        const bool ok = GetFileSizeByPath(Wide(c.path), size);
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, c.ok) << c.path;
        EXPECT_EQ(size, c.size) << c.path;
        EXPECT_EQ(log.empty(), c.ok) << c.path;
    }

    testing::internal::CaptureStdout();
    uint32_t size = 0;
    GetFileSizeByPath(Wide(temp.File("missing")), size);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Open file " + temp.File("missing") + " failed when get file size.");
}

TEST(FileUtilsTest, IsReadOnlyFile)
{
    TempFolder temp;
    WriteFile(temp.File("writable"), "x");
    WriteFile(temp.File("read-only"), "x");
    ASSERT_EQ(chmod(temp.File("read-only").c_str(), 0444), 0);

    EXPECT_FALSE(IsReadOnlyFile(Wide(temp.File("writable"))));
    EXPECT_TRUE(IsReadOnlyFile(Wide(temp.File("read-only"))));
    EXPECT_TRUE(IsReadOnlyFile(Wide(temp.File("missing"))));
}

TEST(FileUtilsTest, TestWritePermissionFolderForm)
{
    TempFolder temp;
    const std::string testFile = temp.File("zelmoraqdl_testfile");

    EXPECT_TRUE(TestWritePermission(nullptr, true));
    EXPECT_TRUE(TestWritePermission(Wide(temp.Path()).c_str(), true));
    EXPECT_FALSE(FileExists(testFile));

    // A leftover test file is cleared away.
    WriteFile(testFile, "old");
    EXPECT_TRUE(TestWritePermission(Wide(temp.Path()).c_str(), true));
    EXPECT_FALSE(FileExists(testFile));

    // A link in its place is removed, never written through.
    const std::string elsewhere = temp.File("elsewhere");
    ASSERT_EQ(symlink(elsewhere.c_str(), testFile.c_str()), 0);
    EXPECT_TRUE(TestWritePermission(Wide(temp.Path()).c_str(), true));
    EXPECT_FALSE(FileExists(testFile));
    EXPECT_FALSE(FileExists(elsewhere));

    EXPECT_FALSE(TestWritePermission(Wide(temp.File("missing")).c_str(), true));
    EXPECT_FALSE(FileExists(temp.File("missing")));

    if (geteuid() != 0) {  // the superuser may write anywhere
        const std::string locked = temp.File("locked");
        ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
        EXPECT_FALSE(TestWritePermission(Wide(locked).c_str(), true));
    }
}

TEST(FileUtilsTest, TestWritePermissionFileForm)
{
    TempFolder temp;
    const std::string existing = temp.File("existing");
    WriteFile(existing, "content");

    EXPECT_TRUE(TestWritePermission(Wide(existing).c_str(), false));
    EXPECT_EQ(testsupport::ReadFile(existing), "content");

    EXPECT_TRUE(TestWritePermission(Wide(temp.File("new")).c_str(), false));
    EXPECT_FALSE(FileExists(temp.File("new")));

    EXPECT_FALSE(TestWritePermission(Wide(temp.File("missing/new")).c_str(), false));
    EXPECT_FALSE(TestWritePermission(Wide(temp.Path()).c_str(), false));

    // A dangling link: nothing may be created where it points.
    const std::string link = temp.File("dangling");
    ASSERT_EQ(symlink(temp.File("target").c_str(), link.c_str()), 0);
    EXPECT_FALSE(TestWritePermission(Wide(link).c_str(), false));
    EXPECT_FALSE(FileExists(temp.File("target")));

    if (geteuid() != 0) {
        ASSERT_EQ(chmod(existing.c_str(), 0444), 0);
        EXPECT_FALSE(TestWritePermission(Wide(existing).c_str(), false));
    }
}

}  // namespace

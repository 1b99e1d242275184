#include "common/platform/FileSystem.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/platform/Text.h"
#include "support/TestSupport.h"

namespace {

using platform::EntryType;
using testsupport::TempFolder;

std::wstring Wide(const std::string& path)
{
    return platform::DecodeText(path);
}

mode_t ModeOf(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST(FileSystemTest, OpenFileRefusesFolders)
{
    TempFolder temp;
    for (const char* mode : {"rb", "r", "r+"}) {
        errno = 0;
        EXPECT_EQ(platform::OpenFile(Wide(temp.Path()), mode), nullptr) << mode;
        EXPECT_EQ(errno, EISDIR) << mode;
    }
}

TEST(FileSystemTest, OpenFileTakesBackslashesAndRefusesNul)
{
    TempFolder temp;
    ASSERT_EQ(mkdir(temp.File("sub").c_str(), 0777), 0);
    testsupport::WriteFile(temp.File("sub/f.bin"), "data");

    FILE* file = platform::OpenFile(Wide(temp.Path() + "\\sub\\f.bin"), "rb");
    ASSERT_NE(file, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(fread(buffer, 1, sizeof buffer, file), 4u);
    EXPECT_STREQ(buffer, "data");
    fclose(file);

    // "sub\0/f.bin" must not reach the OS as "sub".
    std::wstring withNul = Wide(temp.File("sub"));
    withNul += L'\0';
    withNul += L"/f.bin";
    errno = 0;
    EXPECT_EQ(platform::OpenFile(withNul, "rb"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(platform::GetEntryType(withNul), EntryType::kNone);
}

// A failed open leaves the guard empty; closing it then, or twice, is no
// success and touches no stream.
TEST(FileSystemTest, OpenedFileClosesOnlyWhatItHolds)
{
    TempFolder temp;
    platform::OpenedFile missing(platform::OpenFile(Wide(temp.File("missing.bin")), "rb"));
    ASSERT_EQ(missing.Get(), nullptr);
    EXPECT_FALSE(missing.Close());

    platform::OpenedFile written(platform::OpenFile(Wide(temp.File("f.bin")), "wb"));
    ASSERT_NE(written.Get(), nullptr);
    EXPECT_TRUE(written.Close());
    EXPECT_EQ(written.Get(), nullptr);
    EXPECT_FALSE(written.Close());

    // A moved guard hands its file on; one that takes another closes its own.
    platform::OpenedFile first(platform::OpenFile(Wide(temp.File("f.bin")), "rb"));
    FILE* const held = first.Get();
    ASSERT_NE(held, nullptr);
    platform::OpenedFile second(std::move(first));
    EXPECT_EQ(first.Get(), nullptr);
    EXPECT_EQ(second.Get(), held);
    platform::OpenedFile third(platform::OpenFile(Wide(temp.File("f.bin")), "rb"));
    const int replaced = fileno(third.Get());
    third = std::move(second);
    EXPECT_EQ(third.Get(), held);
    EXPECT_EQ(fcntl(replaced, F_GETFD), -1);  // closed
    EXPECT_TRUE(third.Close());
}

TEST(FileSystemTest, EntryTypes)
{
    TempFolder temp;
    testsupport::WriteFile(temp.File("file"), "x");
    ASSERT_EQ(mkdir(temp.File("folder").c_str(), 0777), 0);
    ASSERT_EQ(symlink(temp.File("folder").c_str(), temp.File("to-folder").c_str()), 0);
    ASSERT_EQ(symlink(temp.File("nothing").c_str(), temp.File("dangling").c_str()), 0);

    struct Case {
        const char* name;
        EntryType type;
        bool folder;
        bool exists;
    };
    const std::vector<Case> cases = {
        {"file", EntryType::kFile, false, true},
        {"folder", EntryType::kFolder, true, true},
        {"to-folder", EntryType::kLink, true, true},
        {"dangling", EntryType::kLink, false, false},
        {"nothing", EntryType::kNone, false, false},
    };
    for (const Case& c : cases) {
        const std::wstring path = Wide(temp.File(c.name));
        EXPECT_EQ(platform::GetEntryType(path), c.type) << c.name;
        EXPECT_EQ(platform::IsFolder(path), c.folder) << c.name;
        EXPECT_EQ(platform::Exists(path), c.exists) << c.name;
    }
}

TEST(FileSystemTest, CreateAndRemove)
{
    TempFolder temp;
    const std::wstring folder = Wide(temp.File("made"));
    EXPECT_TRUE(platform::CreateFolder(folder));
    EXPECT_FALSE(platform::CreateFolder(folder));
    EXPECT_EQ(platform::LastErrorCode(), EEXIST);

    // Deleting a file never takes a folder with it, even an empty one.
    EXPECT_FALSE(platform::RemoveFile(folder));
    EXPECT_TRUE(platform::IsFolder(folder));
    EXPECT_TRUE(platform::RemoveFolder(folder));
    EXPECT_EQ(platform::GetEntryType(folder), EntryType::kNone);

    testsupport::WriteFile(temp.File("f"), "x");
    EXPECT_FALSE(platform::RemoveFolder(Wide(temp.File("f"))));
    EXPECT_TRUE(platform::RemoveFile(Wide(temp.File("f"))));
    EXPECT_FALSE(testsupport::FileExists(temp.File("f")));
}

TEST(FileSystemTest, OwnerBitsNeverChangeALinkTarget)
{
    TempFolder temp;
    const std::string target = temp.File("target");
    testsupport::WriteFile(target, "x");
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    ASSERT_EQ(symlink(target.c_str(), temp.File("link").c_str()), 0);

    EXPECT_FALSE(platform::HasOwnerWriteBit(Wide(target)));
    EXPECT_FALSE(platform::SetOwnerFullAccess(Wide(temp.File("link"))));
    EXPECT_EQ(ModeOf(target), 0444u);
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
    EXPECT_TRUE(platform::HasOwnerWriteBit(Wide(target)));

    const std::string locked = temp.File("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    EXPECT_TRUE(platform::SetOwnerFullAccess(Wide(locked)));
    EXPECT_EQ(ModeOf(locked), 0700u);

    EXPECT_FALSE(platform::HasOwnerWriteBit(Wide(temp.File("missing"))));
    EXPECT_FALSE(platform::SetOwnerFullAccess(Wide(temp.File("missing"))));
}

TEST(FileSystemTest, ListFolderGivesNamesAndOwnTypes)
{
    TempFolder temp;
    testsupport::WriteFile(temp.File("file"), "x");
    ASSERT_EQ(mkdir(temp.File("folder").c_str(), 0777), 0);
    ASSERT_EQ(symlink(temp.File("folder").c_str(), temp.File("link").c_str()), 0);
    const std::string oddName = "odd\xff\xfe";
    testsupport::WriteFile(temp.File(oddName), "x");

    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(Wide(temp.Path()), entries));
    std::sort(entries.begin(), entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, L"file");
    EXPECT_EQ(entries[0].type, EntryType::kFile);
    EXPECT_EQ(entries[1].name, L"folder");
    EXPECT_EQ(entries[1].type, EntryType::kFolder);
    EXPECT_EQ(entries[2].name, L"link");
    EXPECT_EQ(entries[2].type, EntryType::kLink);
    // A name that is not UTF-8 must still name the same entry.
    EXPECT_EQ(platform::EncodeText(entries[3].name), oddName);
    EXPECT_EQ(platform::GetEntryType(Wide(temp.Path()) + L"/" + entries[3].name), EntryType::kFile);

    EXPECT_FALSE(platform::ListFolder(Wide(temp.File("missing")), entries));
    EXPECT_TRUE(entries.empty());
}

TEST(FileSystemTest, ProgramAndWorkingFolder)
{
    EXPECT_EQ(platform::GetExecutablePath(), Wide(std::filesystem::read_symlink("/proc/self/exe").string()));

    // A current folder longer than a fixed buffer of 1024 characters.
    TempFolder temp;
    std::string deep = temp.Path();
    while (deep.size() < 1500) {
        deep += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0777), 0);
    }
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(deep);
    const std::wstring seen = platform::GetWorkingFolder();
    std::filesystem::current_path(saved);
    EXPECT_EQ(seen, Wide(deep));
}

TEST(FileSystemTest, ErrorTextIsEnglishWithLineBreak)
{
    EXPECT_EQ(platform::ErrorText(ENOENT), L"No such file or directory\n");
    EXPECT_EQ(platform::ErrorText(ENOTDIR), L"Not a directory\n");
}

TEST(FileSystemTest, ReadTextFileDropsOnlyCrBeforeLfAndKeepsEveryByte)
{
    TempFolder temp;
    struct Case {
        std::string bytes;
        std::string expected;  // after encoding the text back
    };
    std::string big(200000, 'x');
    big[70000] = '\r';
    big[70001] = '\n';
    std::string bigExpected = big;
    bigExpected.erase(70000, 1);
    const std::vector<Case> cases = {
        {"", ""},
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\rb\r", "a\rb\r"},
        {"a\r\r\nb", "a\r\nb"},
        {"\n\r", "\n\r"},
        {"caf\xc3\xa9 \xff\xfe\x80\r\nend", "caf\xc3\xa9 \xff\xfe\x80\nend"},
        {big, bigExpected},
        // A UTF-8 mark is dropped only at the very start.
        {"\xef\xbb\xbf[S]\r\n", "[S]\n"},
        {"a\xef\xbb\xbf", "a\xef\xbb\xbf"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string path = temp.File("t" + std::to_string(i));
        testsupport::WriteFile(path, cases[i].bytes);
        std::wstring text = L"stale";
        ASSERT_TRUE(platform::ReadTextFile(Wide(path), text)) << i;
        EXPECT_EQ(platform::EncodeText(text), cases[i].expected) << i;
    }
    std::wstring text;
    EXPECT_FALSE(platform::ReadTextFile(Wide(temp.File("missing")), text));
    EXPECT_FALSE(platform::ReadTextFile(Wide(temp.Path()), text));

    // A file that says it is empty but is not, as /proc's say, is read to
    // its end all the same, and its limit holds.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(cmdline.empty());
    ASSERT_TRUE(platform::ReadTextFile(L"/proc/self/cmdline", text));
    EXPECT_EQ(platform::EncodeText(text), cmdline);
    EXPECT_EQ(platform::ReadTextFile(L"/proc/self/cmdline", cmdline.size() - 1, text),
              platform::TextFileStatus::kTooLarge);
}

TEST(FileSystemTest, ReadTextFileReadsOnlyRegularFilesUpToItsLimit)
{
    using platform::TextFileStatus;
    TempFolder temp;
    testsupport::WriteFile(temp.File("ten"), "0123456789");
    testsupport::WriteFile(temp.File("le"), std::string("\xff\xfe[\0", 4));
    testsupport::WriteFile(temp.File("be"), std::string("\xfe\xff\0[", 4));
    ASSERT_EQ(mkfifo(temp.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", temp.File("zero").c_str()), 0);
    struct Case {
        std::string path;
        size_t limit;
        TextFileStatus status;
    };
    const std::vector<Case> cases = {
        {temp.File("ten"), 10, TextFileStatus::kRead},
        {temp.File("ten"), 9, TextFileStatus::kTooLarge},
        {temp.File("le"), 10, TextFileStatus::kUtf16},
        {temp.File("be"), 10, TextFileStatus::kUtf16},
        // Neither waits for a writer nor reads without end.
        {temp.File("fifo"), 10, TextFileStatus::kUnreadable},
        {temp.File("zero"), 10, TextFileStatus::kUnreadable},
        {"/dev/null", 10, TextFileStatus::kUnreadable},
    };
    for (const Case& c : cases) {
        std::wstring text = L"kept";
        EXPECT_EQ(platform::ReadTextFile(Wide(c.path), c.limit, text), c.status) << c.path << " " << c.limit;
        if (c.status != TextFileStatus::kRead) {
            EXPECT_EQ(text, L"kept") << c.path;
        }
    }
    errno = 0;
    EXPECT_EQ(platform::OpenRegularFile(Wide(temp.File("fifo"))), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(platform::OpenRegularFile(Wide(temp.Path())), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_TRUE(platform::IsRegularFile(Wide(temp.File("ten"))));
    EXPECT_FALSE(platform::IsRegularFile(Wide(temp.File("zero"))));
}

struct SeekCase {
    uint64_t offset;
    bool seeks;
    int byte;  // the byte read there; EOF past the end
};

TEST(FileSystemTest, SeekAndTellTakeWholeSixtyFourBitOffsets)
{
    TempFolder folder;
    const std::string path = folder.File("f.bin");
    testsupport::WriteFile(path, "0123456789");
    FILE* file = platform::OpenFile(Wide(path), "rb");
    ASSERT_NE(file, nullptr);
    const std::vector<SeekCase> cases = {
        {7, true, '7'},
        {0, true, '0'},
        {10, true, EOF},
        // Past 4 GiB: a position cut to 32 bits would read byte 1 here.
        {0x100000001ull, true, EOF},
        // Past the largest file position; the cast to off_t would be negative.
        {0x8000000000000000ull, false, 0},
        {0xFFFFFFFFFFFFFFFFull, false, 0},
    };
    uint64_t position = 0;
    for (const SeekCase& c : cases) {
        ASSERT_TRUE(platform::SeekStream(file, 3));
        EXPECT_EQ(platform::SeekStream(file, c.offset), c.seeks) << c.offset;
        ASSERT_TRUE(platform::TellStream(file, position));
        // A refused seek leaves the stream where it was.
        EXPECT_EQ(position, c.seeks ? c.offset : 3u) << c.offset;
        EXPECT_EQ(std::fgetc(file), c.seeks ? c.byte : '3') << c.offset;
    }
    std::fclose(file);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* pipeStream = fdopen(fds[0], "rb");
    ASSERT_NE(pipeStream, nullptr);
    EXPECT_FALSE(platform::SeekStream(pipeStream, 0));
    EXPECT_FALSE(platform::TellStream(pipeStream, position));
    std::fclose(pipeStream);
    close(fds[1]);
}

}  // namespace

TEST(FileSystemTest, MappedFileShowsTheBytesWrittenBeforeMapping)
{
    TempFolder folder;
    const std::string path = folder.File("f.bin");
    testsupport::WriteFile(path, std::string("abc\0def", 7));
    FILE* file = platform::OpenFile(Wide(path), "r+b");
    ASSERT_NE(file, nullptr);
    // Written through the stream, then flushed: the view shows it.
    ASSERT_EQ(std::fwrite("X", 1, 1, file), 1u);
    ASSERT_EQ(std::fflush(file), 0);
    {
        platform::MappedFile view;
        ASSERT_TRUE(view.Map(file));
        ASSERT_EQ(view.Size(), 7u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.Data()), 7), std::string("Xbc\0def", 7));
    }
    std::fclose(file);

    testsupport::WriteFile(folder.File("empty"), "");
    FILE* empty = platform::OpenFile(Wide(folder.File("empty")), "rb");
    ASSERT_NE(empty, nullptr);
    platform::MappedFile none;
    EXPECT_TRUE(none.Map(empty));
    EXPECT_EQ(none.Size(), 0u);
    std::fclose(empty);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* pipeStream = fdopen(fds[0], "rb");
    ASSERT_NE(pipeStream, nullptr);
    platform::MappedFile refused;
    EXPECT_FALSE(refused.Map(pipeStream));
    std::fclose(pipeStream);
    close(fds[1]);
}

// Whatever stands at the name goes, never what it leads to; only a folder
// stays and refuses the file.
TEST(FileSystemTest, CreateNewFileReplacesWhatStandsAtTheName)
{
    enum class Standing { kNothing, kFile, kSecondName, kLink, kFolder };
    struct Case {
        const char* what;
        Standing standing;
        const char* target;  // in the other folder; "" for the folder itself
    };
    const Case cases[] = {
        {"nothing", Standing::kNothing, ""},
        {"a plain file", Standing::kFile, ""},
        {"a second name of a file", Standing::kSecondName, "kept"},
        {"a link to a file", Standing::kLink, "kept"},
        {"a dangling link", Standing::kLink, "missing"},
        {"a link to a folder", Standing::kLink, ""},
        {"a folder", Standing::kFolder, ""},
    };
    for (const char* mode : {"wb", "w+b"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + mode);
            TempFolder work;
            TempFolder elsewhere;
            testsupport::WriteFile(elsewhere.File("kept"), "kept");
            const std::string name = work.File("f.bin");
            const std::string target = *c.target ? elsewhere.File(c.target) : elsewhere.Path();
            switch (c.standing) {
            case Standing::kNothing:
                break;
            case Standing::kFile:
                testsupport::WriteFile(name, "old");
                break;
            case Standing::kSecondName:
                ASSERT_EQ(link(target.c_str(), name.c_str()), 0);
                break;
            case Standing::kLink:
                ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
                break;
            case Standing::kFolder:
                ASSERT_EQ(mkdir(name.c_str(), 0777), 0);
                testsupport::WriteFile(name + "/inside", "in");
                break;
            }
            errno = 0;
            FILE* file = platform::CreateNewFile(Wide(name), mode);
            if (c.standing == Standing::kFolder) {
                EXPECT_EQ(file, nullptr);
                EXPECT_EQ(errno, EISDIR);
                EXPECT_EQ(testsupport::ReadFile(name + "/inside"), "in");
                if (file) std::fclose(file);
                continue;
            }
            ASSERT_NE(file, nullptr);
            EXPECT_EQ(std::fwrite("new", 1, 3, file), 3u);
            if (std::string(mode) == "w+b") {
                char back[4] = {};
                ASSERT_TRUE(platform::SeekStream(file, 0));
                EXPECT_EQ(std::fread(back, 1, 3, file), 3u);
                EXPECT_STREQ(back, "new");
            }
            EXPECT_EQ(std::fclose(file), 0);
            EXPECT_EQ(platform::GetEntryType(Wide(name)), EntryType::kFile);
            EXPECT_EQ(testsupport::ReadFile(name), "new");
            EXPECT_EQ(testsupport::ReadFile(elsewhere.File("kept")), "kept");
            EXPECT_FALSE(testsupport::FileExists(elsewhere.File("missing")));
            EXPECT_FALSE(testsupport::FileExists(elsewhere.File("f.bin")));
        }
    }
}

// As fopen "wb" makes a file, but closed to programs started from here; any
// other mode is refused before anything is touched.
TEST(FileSystemTest, CreateNewFileModes)
{
    TempFolder work;
    const std::string name = work.File("f.bin");
    const mode_t mask = umask(022);
    umask(mask);
    FILE* file = platform::CreateNewFile(Wide(name), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ModeOf(name), 0666 & ~mask);
    EXPECT_NE(fcntl(fileno(file), F_GETFD) & FD_CLOEXEC, 0);
    std::fclose(file);

    testsupport::WriteFile(name, "old");
    for (const char* mode : {"rb", "r+b", "ab", "w", ""}) {
        SCOPED_TRACE(mode);
        errno = 0;
        EXPECT_EQ(platform::CreateNewFile(Wide(name), mode), nullptr);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(testsupport::ReadFile(name), "old");
    }

    // A device node stays where it is, also for root (only root can make
    // one here: a test of the null device's own numbers).
    const std::string node = work.File("null");
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        errno = 0;
        EXPECT_EQ(platform::CreateNewFile(Wide(node), "wb"), nullptr);
        EXPECT_EQ(errno, EEXIST);
        struct stat device;
        ASSERT_EQ(lstat(node.c_str(), &device), 0);
        EXPECT_TRUE(S_ISCHR(device.st_mode));
    }
}

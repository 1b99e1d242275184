#include "builder/VirtualFileStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/TestSupport.h"

using testsupport::Pattern;

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

constexpr uint32_t kSector = 8192;

const uint8_t* Data(const std::string& bytes)
{
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

size_t OpenDescriptors()
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

// A private store in its own folder, emptied and closed after each test.
class VirtualFileStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        storeFolder = temp.File("store");
        ASSERT_EQ(mkdir(storeFolder.c_str(), 0700), 0);
        ASSERT_TRUE(store.Open(Wide(storeFolder).c_str(), L"wb"));
        // The processing context leaves the store without a stream.
        store.CloseStream();
    }
    void TearDown() override { store.Reset(); }

    std::wstring Name(const std::string& file) const { return Wide(temp.File(file)); }
    std::string StoreFile() const { return storeFolder + "/BinFile.bin"; }

    TempFolder temp;
    std::string storeFolder;
    CVirtualFileStore store;
};

TEST_F(VirtualFileStoreTest, PlainWritesCopyOutUnchanged)
{
    const std::wstring name = Name("plain.kxp");
    const std::string parts[] = {Pattern(kSector, 1), Pattern(3 * kSector, 2), Pattern(17, 3)};
    std::string expected;
    for (const std::string& part : parts) {
        ASSERT_TRUE(store.Write(name, Data(part), static_cast<uint32_t>(part.size())));
        expected += part;
    }
    EXPECT_EQ(store.GetSize(name), expected.size());

    // Reading from the start gives the bytes back in any piece sizes.
    ASSERT_EQ(store.Seek(name, 0), 0);
    std::vector<uint8_t> first(100), rest(expected.size() - 100);
    EXPECT_EQ(store.Read(name, first.data(), 100), 100u);
    EXPECT_EQ(store.Read(name, rest.data(), static_cast<uint32_t>(rest.size())), rest.size());
    EXPECT_EQ(std::string(first.begin(), first.end()) + std::string(rest.begin(), rest.end()), expected);

    ASSERT_TRUE(store.CopyOut(name));
    EXPECT_EQ(ReadFile(temp.File("plain.kxp")), expected);
}

// The package writer's sequence: header, first image, middle images through
// the interleaved write, last image, then the header rewritten in place.
// Alone in the store the package is moved out; behind another file it is
// copied segment by segment. Both must give the same bytes.
TEST_F(VirtualFileStoreTest, InterleavedPackageMatchesPlainSequence)
{
    const std::string header = std::string(kSector, '\0');
    const std::string images[] = {Pattern(2 * kSector, 10), Pattern(kSector, 11), Pattern(3 * kSector, 12),
                                  Pattern(kSector, 13)};
    // Larger than the copy-out chunk, so segment boundaries fall inside a
    // chunk as well as on one.
    const std::string big = Pattern((1u << 20) + 3 * kSector, 14);
    const std::string finalHeader = Pattern(kSector, 99);
    const std::string expected = finalHeader + images[0] + images[1] + big + images[2] + images[3];

    for (const bool behindAnotherFile : {false, true}) {
        SCOPED_TRACE(behindAnotherFile ? "copied" : "moved");
        ASSERT_TRUE(store.Open(nullptr, L"wb"));
        store.Reset();
        const std::wstring name = Name(behindAnotherFile ? "copied.kxp" : "moved.kxp");
        if (behindAnotherFile) {
            const std::string other = Pattern(kSector + 7, 20);
            ASSERT_TRUE(store.Write(Name("other.kxp"), Data(other), static_cast<uint32_t>(other.size())));
        }

        ASSERT_TRUE(store.Write(name, Data(header), kSector));
        ASSERT_TRUE(store.Write(name, Data(images[0]), static_cast<uint32_t>(images[0].size())));
        ASSERT_TRUE(store.WriteInterleaved(name, Data(images[1]), static_cast<uint32_t>(images[1].size())));
        ASSERT_TRUE(store.WriteInterleaved(name, Data(big), static_cast<uint32_t>(big.size())));
        ASSERT_TRUE(store.WriteInterleaved(name, Data(images[2]), static_cast<uint32_t>(images[2].size())));
        ASSERT_TRUE(store.Write(name, Data(images[3]), static_cast<uint32_t>(images[3].size())));
        const uint32_t sizeBefore = store.GetSize(name);
        EXPECT_EQ(sizeBefore, expected.size());

        ASSERT_EQ(store.Seek(name, 0), 0);
        ASSERT_TRUE(store.Write(name, Data(finalHeader), kSector));
        EXPECT_EQ(store.GetSize(name), sizeBefore);

        // A read that starts inside the first part runs on across the split.
        ASSERT_EQ(store.Seek(name, kSector), 0);
        std::vector<uint8_t> across(3 * kSector);
        EXPECT_EQ(store.Read(name, across.data(), 3 * kSector), 3 * kSector);
        EXPECT_EQ(std::string(across.begin(), across.end()), images[0] + images[1]);

        ASSERT_TRUE(store.CopyOut(name));
        EXPECT_EQ(ReadFile(platform::EncodeText(name)), expected);
    }
}

// Moving the store file out leaves an empty store; the next build opens it
// again.
TEST_F(VirtualFileStoreTest, CopyOutOfTheOnlyFileEmptiesTheStore)
{
    const std::wstring name = Name("only.kxp");
    const std::string data = Pattern(2 * kSector, 1);
    WriteFile(temp.File("only.kxp"), "old content");
    ASSERT_TRUE(store.Write(name, Data(data), static_cast<uint32_t>(data.size())));
    ASSERT_TRUE(store.CopyOut(name));
    EXPECT_EQ(ReadFile(temp.File("only.kxp")), data);
    EXPECT_EQ(store.GetSize(name), 0u);
    EXPECT_TRUE(store.CopyOut(name));
    EXPECT_EQ(ReadFile(temp.File("only.kxp")), data);

    ASSERT_TRUE(store.Open(nullptr, L"wb"));
    ASSERT_TRUE(store.Write(name, Data(data), 100));
    EXPECT_EQ(store.GetSize(name), 100u);
}

// An existing output keeps what rewriting it would keep: its permission
// bits and every other name it has.
TEST_F(VirtualFileStoreTest, CopyOutOverAnExistingFileKeepsItsModeAndLinks)
{
    const std::string data = Pattern(kSector, 2);
    const std::string locked = temp.File("locked.kxp");
    WriteFile(locked, "old content");
    ASSERT_EQ(chmod(locked.c_str(), 0600), 0);
    ASSERT_TRUE(store.Write(Name("locked.kxp"), Data(data), kSector));
    ASSERT_TRUE(store.CopyOut(Name("locked.kxp")));
    struct stat info;
    ASSERT_EQ(stat(locked.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFile(locked), data);

    ASSERT_TRUE(store.Open(nullptr, L"wb"));
    store.CloseStream();
    const std::string second = temp.File("second-name.kxp");
    WriteFile(temp.File("linked.kxp"), "old content");
    ASSERT_EQ(link(temp.File("linked.kxp").c_str(), second.c_str()), 0);
    ASSERT_TRUE(store.Write(Name("linked.kxp"), Data(data), kSector));
    ASSERT_TRUE(store.CopyOut(Name("linked.kxp")));
    EXPECT_EQ(ReadFile(second), data);
}

// A link at the package's path is written through, never replaced.
TEST_F(VirtualFileStoreTest, CopyOutWritesThroughALink)
{
    const std::string target = temp.File("target.kxp");
    WriteFile(target, "old content");
    ASSERT_EQ(symlink(target.c_str(), temp.File("link.kxp").c_str()), 0);
    const std::wstring name = Name("link.kxp");
    const std::string data = Pattern(kSector, 1);
    ASSERT_TRUE(store.Write(name, Data(data), kSector));
    ASSERT_TRUE(store.CopyOut(name));
    struct stat info;
    ASSERT_EQ(lstat(temp.File("link.kxp").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target), data);
}

TEST_F(VirtualFileStoreTest, InterleavedWriteOnlyForTheOuterFile)
{
    const std::wstring outer = Name("outer.kxp");
    const std::wstring other = Name("other.kxp");
    const std::string a = Pattern(kSector, 1);
    const std::string b = Pattern(kSector, 2);

    // A file that was never written cannot become the outer file.
    EXPECT_FALSE(store.WriteInterleaved(outer, Data(a), kSector));
    EXPECT_EQ(store.GetSize(outer), 0u);

    ASSERT_TRUE(store.Write(outer, Data(a), kSector));
    ASSERT_TRUE(store.WriteInterleaved(outer, Data(b), kSector));
    ASSERT_TRUE(store.Write(other, Data(b), kSector));
    EXPECT_FALSE(store.WriteInterleaved(other, Data(a), kSector));
    EXPECT_EQ(store.GetSize(other), kSector);
    ASSERT_TRUE(store.CopyOut(other));
    EXPECT_EQ(ReadFile(temp.File("other.kxp")), b);

    // After a reset the next interleaved write may choose another file.
    store.Reset();
    ASSERT_TRUE(store.Write(other, Data(a), kSector));
    EXPECT_TRUE(store.WriteInterleaved(other, Data(b), kSector));
    EXPECT_EQ(store.GetSize(other), 2 * kSector);
}

TEST_F(VirtualFileStoreTest, TwoFilesKeepTheirOwnContent)
{
    const std::wstring first = Name("first.kxp");
    const std::wstring second = Name("second.kxp");
    const std::string a = Pattern(3 * kSector + 5, 1);
    const std::string b = Pattern(kSector - 1, 2);
    ASSERT_TRUE(store.Write(first, Data(a), static_cast<uint32_t>(a.size())));
    ASSERT_TRUE(store.Write(second, Data(b), static_cast<uint32_t>(b.size())));
    // Rewriting the first file's start must not touch the second one.
    const std::string head = Pattern(16, 3);
    ASSERT_EQ(store.Seek(first, 0), 0);
    ASSERT_TRUE(store.Write(first, Data(head), 16));

    EXPECT_EQ(store.GetSize(first), a.size());
    EXPECT_EQ(store.GetSize(second), b.size());
    ASSERT_TRUE(store.CopyOut(second));
    ASSERT_TRUE(store.CopyOut(first));
    EXPECT_EQ(ReadFile(temp.File("first.kxp")), head + a.substr(16));
    EXPECT_EQ(ReadFile(temp.File("second.kxp")), b);
    // Names are compared exactly.
    EXPECT_EQ(store.GetSize(Name("FIRST.kxp")), 0u);
}

TEST_F(VirtualFileStoreTest, UnknownNameCreatesNothing)
{
    const std::wstring name = Name("never.kxp");
    uint8_t buffer[16] = {};
    EXPECT_NE(store.Seek(name, 0), 0);
    EXPECT_EQ(store.Read(name, buffer, sizeof buffer), 0u);
    EXPECT_EQ(store.GetSize(name), 0u);
    EXPECT_TRUE(store.CopyOut(name));
    EXPECT_FALSE(FileExists(temp.File("never.kxp")));
    // Nor does it disturb a file written afterwards.
    const std::string data = Pattern(100, 1);
    ASSERT_TRUE(store.Write(name, Data(data), 100));
    EXPECT_EQ(store.GetSize(name), 100u);
}

TEST_F(VirtualFileStoreTest, WritePastFourGigabytesIsRefused)
{
    const std::wstring name = Name("huge.kxp");
    const std::string data = Pattern(32, 1);
    ASSERT_TRUE(store.Write(name, Data(data), 32));
    ASSERT_EQ(store.Seek(name, 0xFFFFFFF0u), 0);
    EXPECT_FALSE(store.Write(name, Data(data), 32));
    EXPECT_EQ(store.GetSize(name), 32u);
    // Nothing was written out there.
    EXPECT_EQ(std::filesystem::file_size(StoreFile()), 32u);
    // An offset beyond 32 bits from a file's start is refused as well.
    ASSERT_TRUE(store.Write(Name("second.kxp"), Data(data), 32));
    EXPECT_NE(store.Seek(Name("second.kxp"), 0xFFFFFFF0u), 0);
}

TEST_F(VirtualFileStoreTest, FailedWritesReportFalse)
{
    const std::wstring name = Name("lost.kxp");
    const std::string data = Pattern(kSector, 1);

    // The store file went away after Open: it cannot be reopened.
    ASSERT_EQ(unlink(StoreFile().c_str()), 0);
    EXPECT_FALSE(store.Write(name, Data(data), kSector));
    EXPECT_EQ(store.GetSize(name), 0u);

    // A device that accepts no data: the flush fails.
    ASSERT_EQ(symlink("/dev/full", StoreFile().c_str()), 0);
    EXPECT_FALSE(store.Write(name, Data(data), kSector));
}

TEST_F(VirtualFileStoreTest, OpenAndWriteFailWithoutAStoreFile)
{
    struct Case {
        const char* what;
        std::string folder;
    };
    const std::string blocked = temp.File("blocked");
    // A folder where the store file should be: it can never be opened.
    ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((blocked + "/BinFile.bin").c_str(), 0700), 0);
    const Case cases[] = {
        {"missing folder", temp.File("missing")},
        {"store file is a folder", blocked},
    };
    const std::string data = Pattern(64, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CVirtualFileStore local;
        EXPECT_FALSE(local.Open(Wide(c.folder).c_str(), L"wb"));
        EXPECT_FALSE(local.Write(Name("x.kxp"), Data(data), 64));
        EXPECT_EQ(local.GetSize(Name("x.kxp")), 0u);
    }
}

TEST_F(VirtualFileStoreTest, FailedCopyOutLeavesNoFile)
{
    const std::wstring name = Name("partial.kxp");
    // Three copy-out chunks, so the first reaches the real file before the
    // read fails.
    const std::string data = Pattern(3u << 20, 1);
    ASSERT_TRUE(store.Write(name, Data(data), static_cast<uint32_t>(data.size())));
    store.CloseStream();
    std::filesystem::resize_file(StoreFile(), (3u << 20) / 2);
    EXPECT_FALSE(store.CopyOut(name));
    EXPECT_FALSE(FileExists(temp.File("partial.kxp")));

    // A real file that cannot be created.
    const std::wstring elsewhere = Wide(temp.File("missing/out.kxp"));
    ASSERT_TRUE(store.Write(elsewhere, Data(data), 64));
    EXPECT_FALSE(store.CopyOut(elsewhere));
}

TEST_F(VirtualFileStoreTest, CloseForgetsEverythingAndRemovesTheFolder)
{
    const std::wstring name = Name("gone.kxp");
    const std::string data = Pattern(kSector, 1);
    ASSERT_TRUE(store.Write(name, Data(data), kSector));
    ASSERT_TRUE(store.Write(Name("also.kxp"), Data(data), kSector));

    const testsupport::Outcome closed = testsupport::Capture([&] { return store.Close(); });
    EXPECT_TRUE(closed.result);
    EXPECT_EQ(closed.out, "");
    EXPECT_FALSE(FileExists(storeFolder));
    EXPECT_EQ(store.GetSize(name), 0u);
    EXPECT_EQ(store.GetSize(Name("also.kxp")), 0u);
    EXPECT_TRUE(store.CopyOut(name));
    EXPECT_FALSE(FileExists(temp.File("gone.kxp")));
}

TEST_F(VirtualFileStoreTest, ResetClosesTheStream)
{
    const size_t before = OpenDescriptors();
    ASSERT_TRUE(store.Open(nullptr, L"wb"));
    EXPECT_EQ(OpenDescriptors(), before + 1);
    store.Reset();
    EXPECT_EQ(OpenDescriptors(), before);

    // The store file is still there: the next write opens it again at an
    // empty store.
    const std::string data = Pattern(10, 1);
    ASSERT_TRUE(store.Write(Name("again.kxp"), Data(data), 10));
    ASSERT_TRUE(store.CopyOut(Name("again.kxp")));
    EXPECT_EQ(ReadFile(temp.File("again.kxp")), data);
}

}  // namespace

#include "builder/FlasherBinary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "builder/VirtualFileStore.h"
#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/PrivateStore.h"
#include "support/TestSupport.h"

using testsupport::Pattern;
using testsupport::XorWords;

namespace {

using testsupport::Capture;
using testsupport::FileExists;
using testsupport::Outcome;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

constexpr uint32_t kSector = 8192;
constexpr uint32_t kBlock = CFlasherBinary::kSectorsPerBlock * kSector;

std::unique_ptr<CFlasherBinary> MakeBinary(const std::string& path, const std::wstring& type = L"RAW",
                                           uint32_t eraseValue = 0, uint32_t sectorSize = kSector)
{
    return std::make_unique<CFlasherBinary>(Wide(path), type, 0, 0, 1, 0x54494D48, 0x1000, sectorSize, 3, 64,
                                            2048, 0, eraseValue, 0);
}

// A file of the given bytes in the fixture's folder.
class FlasherBinaryTest : public testing::Test {
protected:
    std::string Image(const std::string& name, const std::string& bytes)
    {
        const std::string path = temp.File(name);
        WriteFile(path, bytes);
        return path;
    }

    TempFolder temp;
};

TEST_F(FlasherBinaryTest, ChecksumOfShortFiles)
{
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t length;
        uint32_t sum;
    };
    const Case cases[] = {
        // 0x44434241 ^ 0xFFFFFF45: the fifth byte is padded with 0xFF.
        {"five bytes", "ABCDE", 8, 0xBBBCBD04u},
        {"length inside the file", "ABCDEFGH", 4, 0x44434241u},
        {"empty file, one padding word", "", 4, 0xFFFFFFFFu},
        {"no length", "ABCD", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto binary = MakeBinary(Image("image.bin", c.bytes));
        uint32_t sum = 0x12345678;
        EXPECT_TRUE(CFlasherBinary::ComputeChecksum(*binary, sum, 0, c.length));
        EXPECT_EQ(sum, c.sum);
    }
}

TEST_F(FlasherBinaryTest, ChecksumAcrossTheReadChunk)
{
    // Several of the pieces the checksum adds up side by side, the last one
    // short; the length is rounded up to 4, so the last word holds two
    // bytes of padding.
    const std::string data = Pattern(0x800000 + 6, 7);
    auto binary = MakeBinary(Image("large.bin", data));
    ASSERT_EQ(binary->m_Length, data.size());
    const uint32_t length = 0x800000 + 8;
    uint32_t sum = 0;
    ASSERT_TRUE(CFlasherBinary::ComputeChecksum(*binary, sum, 0, length));
    EXPECT_EQ(sum, XorWords(data, length));
}

// A file that shrank after it was measured cannot give the bytes the
// package would hold: one message, whichever pieces come up short.
TEST_F(FlasherBinaryTest, ChecksumOfAShrunkFileFails)
{
    struct Case {
        const char* what;
        uint32_t measured, left;
    };
    const Case cases[] = {
        {"one piece", 3 * kSector, 10},
        {"the middle and last of three pieces", 0x900000, 0x500000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Image("shrinks.bin", Pattern(c.measured, 1));
        auto binary = MakeBinary(path);
        std::filesystem::resize_file(path, c.left);
        uint32_t sum = 0;
        const Outcome o = Capture([&] { return CFlasherBinary::ComputeChecksum(*binary, sum, 0, c.measured); });
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, "Unable to read file: " + path + "\n");
    }
}

TEST_F(FlasherBinaryTest, YaffsChecksumIsLeftToTheRelayout)
{
    auto binary = MakeBinary(Image("fs.yaffs", "ABCDEFGH"), L"YAFFS");
    EXPECT_EQ(binary->m_Mode, 2);
    uint32_t sum = 0x12345678;
    EXPECT_TRUE(CFlasherBinary::ComputeChecksum(*binary, sum, 0, 8));
    EXPECT_EQ(sum, 0x12345678u);
    // Only the exact type text selects the re-layout.
    EXPECT_EQ(MakeBinary(Image("fs.yaffs", "ABCD"), L"yaffs")->m_Mode, 0);
}

TEST_F(FlasherBinaryTest, EraseSize)
{
    struct Case {
        uint32_t eraseValue;
        uint32_t fileSize;
        uint32_t eraseSize;
    };
    const Case cases[] = {
        {0x40000, 0x1000, 0x40000},
        {0x100, 0x1000, 0x1000},
        {0, 0x1000, 0x1000},
        {0x1000, 0x1000, 0x1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eraseValue);
        auto binary = MakeBinary(Image("image.bin", std::string(c.fileSize, 'x')), L"RAW", c.eraseValue);
        EXPECT_EQ(binary->m_Length, c.fileSize);
        EXPECT_EQ(binary->m_EraseSize, c.eraseSize);
    }
}

TEST_F(FlasherBinaryTest, EraseOnlyHasNoFile)
{
    TempFolder storeFolder;
    ASSERT_TRUE(g_VirtualFileStore.Open(Wide(storeFolder.Path()).c_str(), L"wb"));
    // The path is never opened, so one that does not exist is fine.
    auto binary = MakeBinary(temp.File("missing.bin"), L"ERASEONLY", 0x20000);
    EXPECT_FALSE(binary->HasPath());
    EXPECT_EQ(binary->m_Stream.Get(), nullptr);
    EXPECT_EQ(binary->m_Length, 0u);
    EXPECT_EQ(binary->m_EraseSize, 0x20000u);
    uint32_t sum = 0x12345678;
    EXPECT_TRUE(CFlasherBinary::ComputeChecksum(*binary, sum, 0, 0));
    EXPECT_EQ(sum, 0u);
    std::vector<uint8_t> block(kBlock);
    const std::wstring name = Wide(temp.File("out.kxp"));
    EXPECT_TRUE(CFlasherBinary::CopyToStore(*binary, block.data(), name));
    EXPECT_EQ(g_VirtualFileStore.GetSize(name), 0u);
    g_VirtualFileStore.Close();
}

TEST_F(FlasherBinaryTest, UnopenableFileRaises)
{
    const std::string folder = temp.File("folder.bin");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string fifo = temp.File("fifo.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::wstring message;
    };
    const Case cases[] = {
        {temp.File("missing.bin"), L"Unable to open file: " + Wide(temp.File("missing.bin"))},
        {folder, L"Unable to open file: " + Wide(folder)},
        // Refused without waiting for a writer, as the checks refuse it.
        {fifo, L"image file " + Wide(fifo) + L" is not a regular file.\n"},
        {"/dev/zero", L"image file /dev/zero is not a regular file.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Outcome o = Capture([&] {
            MakeBinary(c.path);
            return true;
        });
        EXPECT_TRUE(o.thrown);
        EXPECT_EQ(o.message, c.message);
    }
}

// Copies go to the program's store, opened on a private folder.
class FlasherBinaryCopyTest : public FlasherBinaryTest {
protected:
    void FreshStore() { store.Fresh(); }
    std::string CopiedOut(const std::wstring& file) { return store.CopiedOut(file); }

    testsupport::PrivateStore store;
    std::wstring name = Wide(temp.File("out.kxp"));
    std::vector<uint8_t> block = std::vector<uint8_t>(kBlock);
};

TEST_F(FlasherBinaryCopyTest, WholeSectorsPaddedWithFF)
{
    struct Case {
        const char* what;
        uint32_t size;
        uint32_t copied;
    };
    const Case cases[] = {
        {"empty file", 0, 0},
        {"five bytes", 5, kSector},
        {"one sector", kSector, kSector},
        {"whole sectors and a partial one", 3 * kSector + 5, 4 * kSector},
        {"one whole block", kBlock, kBlock},
        {"one byte past a block", kBlock + 1, kBlock + kSector},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshStore();
        const std::string data = Pattern(c.size, c.size);
        auto binary = MakeBinary(Image("image.bin", data));
        // A block buffer that arrives full of other bytes must not leak
        // them into the padding.
        std::fill(block.begin(), block.end(), 0x5A);
        const std::wstring out = Wide(temp.File(std::string("out-") + std::to_string(c.size)));
        ASSERT_TRUE(CFlasherBinary::CopyToStore(*binary, block.data(), out));
        EXPECT_EQ(binary->m_Stream.Get(), nullptr);
        EXPECT_EQ(g_VirtualFileStore.GetSize(out), c.copied);
        const std::string copied = CopiedOut(out);
        ASSERT_EQ(copied.size(), c.copied);
        EXPECT_TRUE(copied.compare(0, data.size(), data) == 0);
        EXPECT_EQ(copied.find_first_not_of('\xFF', data.size()), std::string::npos);
    }
}

TEST_F(FlasherBinaryCopyTest, ShortImageAfterLongOneGetsNoStaleBytes)
{
    const std::string longData = Pattern(3 * kSector, 1);
    const std::string shortData = "short";
    auto first = MakeBinary(Image("long.bin", longData));
    auto second = MakeBinary(Image("short.bin", shortData));
    ASSERT_TRUE(CFlasherBinary::CopyToStore(*first, block.data(), name));
    ASSERT_TRUE(CFlasherBinary::CopyToStore(*second, block.data(), name));
    const std::string copied = CopiedOut(name);
    ASSERT_EQ(copied.size(), 4u * kSector);
    EXPECT_EQ(copied.substr(0, 3 * kSector), longData);
    EXPECT_EQ(copied.substr(3 * kSector, 5), shortData);
    EXPECT_EQ(copied.find_first_not_of('\xFF', 3 * kSector + 5), std::string::npos);
}

// The package's order: header, first image, middle images interleaved,
// last image, header rewritten. The copy-out must read as one run.
TEST_F(FlasherBinaryCopyTest, InterleavedCopyGivesTheSameBytes)
{
    const std::string header(kSector, '\0');
    const std::string images[] = {Pattern(kSector + 3, 1), Pattern(2 * kSector, 2), Pattern(10, 3),
                                  Pattern(kSector - 1, 4)};
    const auto padded = [](const std::string& data) {
        const size_t sectors = (data.size() + kSector - 1) / kSector;
        return data + std::string(sectors * kSector - data.size(), '\xFF');
    };

    ASSERT_TRUE(g_VirtualFileStore.Write(name, reinterpret_cast<const uint8_t*>(header.data()), kSector));
    for (size_t i = 0; i < 4; ++i) {
        auto binary = MakeBinary(Image("image" + std::to_string(i), images[i]));
        const bool middle = i == 1 || i == 2;
        ASSERT_TRUE(middle ? CFlasherBinary::CopyToStoreInterleaved(*binary, block.data(), name)
                           : CFlasherBinary::CopyToStore(*binary, block.data(), name));
    }
    const std::string finalHeader = Pattern(kSector, 9);
    ASSERT_EQ(g_VirtualFileStore.Seek(name, 0), 0);
    ASSERT_TRUE(g_VirtualFileStore.Write(name, reinterpret_cast<const uint8_t*>(finalHeader.data()), kSector));

    EXPECT_EQ(CopiedOut(name),
              finalHeader + padded(images[0]) + padded(images[1]) + padded(images[2]) + padded(images[3]));
}

// The image's length is taken when it is opened; what the file gained since
// stays out of the package.
TEST_F(FlasherBinaryCopyTest, BytesAddedAfterMeasuringAreLeftOut)
{
    const std::string data = Pattern(2 * kSector + 9, 5);
    const std::string path = Image("grows.bin", data);
    auto binary = MakeBinary(path);
    WriteFile(path, data + Pattern(3 * kSector, 6));
    ASSERT_TRUE(CFlasherBinary::CopyToStore(*binary, block.data(), name));
    EXPECT_EQ(CopiedOut(name), data + std::string(kSector - 9, '\xFF'));
}

// A store that only appends makes the kernel refuse every copy into it;
// the ordinary writes give the same bytes.
TEST_F(FlasherBinaryCopyTest, RefusedKernelCopyFallsBackToWrites)
{
    const std::string header = Pattern(kSector, 7);
    const std::string images[] = {Pattern(3 * kSector + 100, 8), Pattern(2 * kSector, 9), Pattern(kSector + 1, 10)};
    ASSERT_TRUE(g_VirtualFileStore.Open(Wide(store.Path()).c_str(), L"ab+"));
    ASSERT_TRUE(g_VirtualFileStore.Write(name, reinterpret_cast<const uint8_t*>(header.data()), kSector));
    std::string expected = header;
    for (size_t i = 0; i < 3; ++i) {
        auto binary = MakeBinary(Image("image" + std::to_string(i), images[i]));
        ASSERT_TRUE(i == 1 ? CFlasherBinary::CopyToStoreInterleaved(*binary, block.data(), name)
                           : CFlasherBinary::CopyToStore(*binary, block.data(), name));
        const size_t sectors = (images[i].size() + kSector - 1) / kSector;
        expected += images[i] + std::string(sectors * kSector - images[i].size(), '\xFF');
    }
    EXPECT_TRUE(CopiedOut(name) == expected);
}

TEST_F(FlasherBinaryCopyTest, ReadAndWriteFailuresReportFalse)
{
    // The file shrinks after it was measured: the read comes up short.
    const std::string path = Image("shrinks.bin", Pattern(3 * kSector, 1));
    auto forCopy = MakeBinary(path);
    std::filesystem::resize_file(path, 10);

    Outcome o = Capture([&] { return CFlasherBinary::CopyToStore(*forCopy, block.data(), name); });
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Unable to read file: " + path + "\n");
    EXPECT_EQ(forCopy->m_Stream.Get(), nullptr);
    EXPECT_EQ(g_VirtualFileStore.GetSize(name), 0u);

    // The store file is gone and its stream closed: the write fails.
    auto intact = MakeBinary(Image("intact.bin", "ABCDE"));
    g_VirtualFileStore.CloseStream();
    ASSERT_EQ(unlink((store.Path() + "/BinFile.bin").c_str()), 0);
    o = Capture([&] { return CFlasherBinary::CopyToStore(*intact, block.data(), name); });
    EXPECT_FALSE(o.result);
    EXPECT_NE(o.out.find("Unable to write file: "), std::string::npos) << o.out;
}

TEST_F(FlasherBinaryCopyTest, YaffsImageGoesThroughTheRelayout)
{
    // Geometry 0: 2048-byte pages with 64-byte spare areas.
    const std::string pages = Pattern(4 * 2112, 1);
    auto binary = MakeBinary(Image("fs.yaffs", pages), L"YAFFS");
    ASSERT_TRUE(CFlasherBinary::CopyToStore(*binary, block.data(), name));
    EXPECT_EQ(binary->m_Stream.Get(), nullptr);
    const std::string copied = CopiedOut(name);
    ASSERT_EQ(copied.size(), 2 * kSector);
    EXPECT_EQ(copied.substr(0, 2048), pages.substr(0, 2048));
    EXPECT_EQ(copied.substr(2048, 2), "\xFF\xFF");
    EXPECT_EQ(binary->m_YaffsChecksum, XorWords(copied, static_cast<uint32_t>(pages.size())));

    // A refused re-layout fails the copy with its message.
    auto refused = MakeBinary(Image("odd.yaffs", Pattern(2 * kSector, 1)), L"YAFFS");
    const Outcome o = Capture([&] { return CFlasherBinary::CopyToStore(*refused, block.data(), name); });
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Error:  Yaffs2 image size is not multiple of page size and oob area size\n");
    EXPECT_EQ(refused->m_Stream.Get(), nullptr);
}

// A YAFFS image that grows after its entry was sized would overrun the
// sectors kept for it; one that shrinks would come up short.
TEST_F(FlasherBinaryCopyTest, YaffsImageThatChangedSizeIsRefused)
{
    for (const size_t newSize : {5 * 2112, 3 * 2112}) {
        SCOPED_TRACE(newSize);
        const std::string path = Image("changes.yaffs", Pattern(4 * 2112, 1));
        auto binary = MakeBinary(path, L"YAFFS");
        std::filesystem::resize_file(path, newSize);
        const Outcome o = Capture([&] { return CFlasherBinary::CopyToStore(*binary, block.data(), name); });
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, "Error:  Yaffs2 image changed size after it was measured\n");
        EXPECT_EQ(binary->m_Stream.Get(), nullptr);
        EXPECT_EQ(g_VirtualFileStore.GetSize(name), 0u);
    }
}

TEST(BootFlashSignatureCodeTest, FirstTableEntryContainedInTheValue)
{
    struct Case {
        std::wstring text;
        uint32_t code;
    };
    const Case cases[] = {
        {L"0x4D4D4308", 8},
        {L"0x00000000", 0},
        {L"0x5350491A", 26},
        {L"NOT AVAILABLE", 255},
        {L"", 255},
        {L"0x4d4d4308", 255},  // hexadecimal digits are compared as written
        {L"0x53444915", 255},  // codes 21 and 22 have no entry
        {L"0x4E414E0", 255},
        {L"  0x58495003 (XIP)", 3},
        // Table order decides, not the order in the text.
        {L"0x4D4D4308 0x4E414E01", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetBootFlashSignatureCode(c.text), c.code) << platform::EncodeText(c.text);
    }
}

}  // namespace

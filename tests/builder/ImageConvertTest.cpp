#include "builder/ImageConvert.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "builder/VirtualFileStore.h"
#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/PrivateStore.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Pattern;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;
using testsupport::XorWords;

constexpr uint32_t kSector = 8192;

TEST(NandGeometryTest, EightGeometriesFromTheIndexBits)
{
    struct Case {
        int index;
        uint32_t page, spare, x, y;
    };
    const Case cases[] = {
        {0, 2048, 64, 0, 0},  {1, 2048, 64, 0, 1},  {2, 4096, 128, 0, 0}, {3, 4096, 128, 0, 1},
        {4, 2048, 64, 1, 0},  {5, 2048, 64, 1, 1},  {6, 4096, 128, 1, 0}, {7, 4096, 128, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        NandGeometry g;
        ASSERT_TRUE(GetNandGeometry(c.index, g));
        EXPECT_EQ(g.pageSize, c.page);
        EXPECT_EQ(g.spareSize, c.spare);
        EXPECT_EQ(g.x, c.x);
        EXPECT_EQ(g.y, c.y);
    }
    NandGeometry untouched{1, 2, 3, 4};
    for (int index : {-1, 8, kNoNandGeometry}) {
        EXPECT_FALSE(GetNandGeometry(index, untouched)) << index;
        EXPECT_EQ(untouched.pageSize, 1u);
    }
}

TEST(NandGeometryTest, ScatterStopsOnceTheTagLengthIsReached)
{
    const OobRange ranges[] = {{0, 2}, {4, 2}, {8, 2}};
    const uint8_t source[] = {1, 2, 3, 4, 5, 6};
    struct Case {
        uint32_t tagLength;
        size_t rangeCount;
        uint32_t copied;
        std::vector<uint8_t> spare;
    };
    const Case cases[] = {
        {6, 3, 6, {1, 2, 0, 0, 3, 4, 0, 0, 5, 6}},
        // A whole range is copied once it starts.
        {3, 3, 4, {1, 2, 0, 0, 3, 4, 0, 0, 0, 0}},
        {0, 3, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Fewer ranges than tag bytes: what the ranges hold.
        {6, 1, 2, {1, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tagLength);
        std::vector<uint8_t> spare(10, 0);
        EXPECT_EQ(ScatterOobTags(source, ranges, c.rangeCount, spare.data(), c.tagLength), c.copied);
        EXPECT_EQ(spare, c.spare);
    }
}

// Re-layouts into the program's store, opened on a private folder.
class ImageConvertTest : public testing::Test {
protected:
    void FreshStore() { store.Fresh(); }

    struct Result {
        bool ok = false;
        uint32_t checksum = 0;
        std::wstring message;
        std::string output;
    };

    // Re-lays bytes out with the geometry; the image file is opened with mode.
    Result Convert(const std::string& bytes, int geometry, uint32_t sectorSize = kSector, const char* mode = "rb")
    {
        const std::string path = temp.File("image.yaffs");
        WriteFile(path, bytes);
        FILE* image = std::fopen(path.c_str(), mode);
        EXPECT_NE(image, nullptr);
        Result r;
        CImageConvert convert;
        r.ok = convert.ConvertYaffs2(r.checksum, name, image, geometry, sectorSize, r.message);
        std::fclose(image);
        if (g_VirtualFileStore.GetSize(name) != 0) {
            r.output = store.CopiedOut(name);
        }
        return r;
    }

    TempFolder temp;
    testsupport::PrivateStore store;
    std::wstring name = Wide(temp.File("out.kxp"));
};

// Where the device expects the tag bytes: (spare offset, source offset,
// length) for each geometry.
struct Placement {
    uint32_t to, from, length;
};

const std::vector<Placement> kPlacements[8] = {
    {{2, 0, 38}},
    {{2, 0, 30}},
    {},
    {{2, 0, 62}},
    {{2, 0, 3}, {14, 3, 2}, {18, 5, 3}, {30, 8, 2}, {34, 10, 3}, {46, 13, 2}, {50, 15, 3}, {62, 18, 2}},
    {},
    {{2, 0, 4}, {18, 4, 4}, {34, 8, 4}, {50, 12, 4}, {66, 16, 4}, {82, 20, 4}, {98, 24, 4}, {114, 28, 4}},
    {},
};

TEST_F(ImageConvertTest, PagesKeptSpareAreasRebuiltPaddedToSectors)
{
    struct Case {
        int geometry;
        uint32_t pages;
        uint32_t sectorSize;
        uint32_t padding;
    };
    const Case cases[] = {
        // 64 x 2112 = 135168 bytes: 16.5 sectors, so 4096 bytes of padding.
        {0, 64, kSector, 4096},
        {1, 3, kSector, 8192 - 3 * 2112},
        {2, 2, kSector, 2 * 8192 - 2 * 4224},
        {3, 2, kSector, 2 * 8192 - 2 * 4224},
        {4, 4, kSector, 2 * 8192 - 4 * 2112},
        {5, 1, kSector, 8192 - 2112},
        {6, 2, kSector, 2 * 8192 - 2 * 4224},
        {7, 2, kSector, 2 * 8192 - 2 * 4224},
        // More padding than one 4096-byte piece.
        {0, 1, 8112, 6000},
        // Whole sectors: no padding.
        {0, 2, 4224, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.geometry);
        FreshStore();
        NandGeometry g;
        ASSERT_TRUE(GetNandGeometry(c.geometry, g));
        const uint32_t unit = g.pageSize + g.spareSize;
        const std::string input = Pattern(size_t(c.pages) * unit, c.pages + c.geometry);

        std::string expected;
        for (uint32_t p = 0; p < c.pages; ++p) {
            const std::string source = input.substr(size_t(p) * unit, unit);
            std::string spare(g.spareSize, '\xFF');
            for (const Placement& at : kPlacements[c.geometry]) {
                spare.replace(at.to, at.length, source.substr(g.pageSize + at.from, at.length));
            }
            expected += source.substr(0, g.pageSize) + spare;
        }

        const Result r = Convert(input, c.geometry, c.sectorSize);
        ASSERT_TRUE(r.ok) << platform::EncodeText(r.message);
        ASSERT_EQ(r.output.size(), input.size() + c.padding);
        EXPECT_EQ(r.output.size() % c.sectorSize, 0u);
        EXPECT_TRUE(r.output.compare(0, expected.size(), expected) == 0);
        EXPECT_EQ(r.output.substr(expected.size()), std::string(c.padding, '\xFF'));
        EXPECT_EQ(r.checksum, XorWords(expected, static_cast<uint32_t>(expected.size())));
    }
}

TEST_F(ImageConvertTest, RefusalsWriteNothing)
{
    const std::string sizeMessage = " Yaffs2 image size is not multiple of page size and oob area size";
    struct Case {
        const char* what;
        size_t size;
        int geometry;
        const char* mode;
        std::string message;
    };
    const Case cases[] = {
        {"empty image", 0, 0, "rb", sizeMessage},
        {"one byte short of a page and spare area", 2111, 0, "rb", sizeMessage},
        {"one byte more", 2113, 0, "rb", sizeMessage},
        {"2048-byte pages in a 4096-byte geometry", 3 * 2112, 2, "rb", sizeMessage},
        {"index below the table", 2112, -1, "rb", " Yaffs2 image has no NAND page geometry (index -1)"},
        {"index past the table", 2112, 8, "rb", " Yaffs2 image has no NAND page geometry (index 8)"},
        // The stream cannot be read: a short read is no page of 0xFF.
        {"unreadable stream", 2112, 0, "ab", " Yaffs2 image ended before its measured size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshStore();
        const Result r = Convert(Pattern(c.size, 7), c.geometry, kSector, c.mode);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(platform::EncodeText(r.message), c.message);
        EXPECT_EQ(r.checksum, 0u);
        EXPECT_EQ(g_VirtualFileStore.GetSize(name), 0u);
    }
}

TEST_F(ImageConvertTest, FailedStoreWriteFails)
{
    ASSERT_EQ(unlink((store.Path() + "/BinFile.bin").c_str()), 0);
    const Result r = Convert(Pattern(2112, 1), 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(platform::EncodeText(r.message), "Unable to write file: " + store.Path() + "/BinFile.bin");
}

}  // namespace

// "YAFFS" images built into packages by the tool: re-laid out for the
// device's NAND page geometry between other images.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

constexpr size_t kPage = 2048;
constexpr size_t kSpare = 64;

// Geometry 1: the spare area's first 30 bytes move to offset 2; all the
// rest of the spare area is 0xFF.
std::string RelaidOut(const std::string& image)
{
    std::string out;
    for (size_t at = 0; at < image.size(); at += kPage + kSpare) {
        std::string spare(kSpare, '\xFF');
        spare.replace(2, 30, image.substr(at + kPage, 30));
        out += image.substr(at, kPage) + spare;
    }
    return out;
}

TEST(YaffsPackageTest, YaffsImageBetweenTwoOthersIsRelaidOut)
{
    const ToolCopy tool;
    Layout layout;
    layout.family = "NAND";
    layout.flash = "Data_Area_Size = 2048\nSpare_Area_Size = 64\n";
    // Code 13 selects the geometry with 30 tag bytes.
    layout.sections = "[TIM_Configuration]\nBoot_Flash_Signature = 0x4E414E0D\n";
    const std::string first = Pattern(3 * kSector + 5, 1);
    const std::string yaffs = Pattern(64 * (kPage + kSpare), 2);
    const std::string last = Pattern(100, 3);
    layout.images = {
        {"AAAA", "0x41414141", "a.bin", first, "0x00100000"},
        {"YAFS", "0x59414653", "fs.yaffs", yaffs, "0x00200000", "YAFFS"},
        {"CCCC", "0x43434343", "c.bin", last, "0x00300000"},
    };
    const RunResult r = Build(tool, WriteLayout(tool, layout));
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    ExpectWorkFilesGone(tool);

    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    // 64 pages of 2112 bytes are 16.5 sectors: 17 with the padding.
    ASSERT_EQ(p.size(), kSector * (1 + Sectors(last.size()) + 17 + Sectors(first.size())));
    const Entry c = ReadEntry(p, 0), y = ReadEntry(p, 1), a = ReadEntry(p, 2);
    EXPECT_EQ(y.imageId, 0x59414653u);
    EXPECT_EQ(y.length, yaffs.size());
    EXPECT_EQ(y.firstSector, 1 + Sectors(last.size()));
    EXPECT_EQ(a.firstSector, y.firstSector + 17);

    const std::string expected = RelaidOut(yaffs);
    const std::string run = p.substr(size_t(y.firstSector) * kSector, 17 * kSector);
    EXPECT_TRUE(run.compare(0, expected.size(), expected) == 0);
    EXPECT_EQ(run.substr(expected.size()), std::string(4096, '\xFF'));
    EXPECT_EQ(y.checksum, XorWords(expected, static_cast<uint32_t>(expected.size())));

    // The images on either side are untouched.
    EXPECT_EQ(p.substr(size_t(c.firstSector) * kSector, last.size()), last);
    EXPECT_EQ(c.checksum, Checksum(last));
    EXPECT_EQ(p.substr(size_t(a.firstSector) * kSector, first.size()), first);
    EXPECT_EQ(a.checksum, Checksum(first));
}

}  // namespace

namespace {

// Off NAND the page geometry depends on Data_Area_Size alone: 2048 and 4096
// have none there and fail the build; any other size, or none, is laid out
// as 2048 + 64-byte pages with 38 tag bytes at offset 2.
TEST(YaffsPackageTest, EmmcDeviceDependsOnTheDataAreaSize)
{
    struct Case {
        const char* dataAreaSize;
        bool builds;
    };
    const Case cases[] = {{"", true}, {"512", true}, {"2048", false}, {"4096", false}};
    const std::string yaffs = Pattern(4 * (kPage + kSpare), 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataAreaSize);
        const ToolCopy tool;
        Layout layout;
        layout.family = "eMMC";
        layout.flash = *c.dataAreaSize ? std::string("Data_Area_Size = ") + c.dataAreaSize + "\n" : "";
        layout.images = {{"YAFS", "0x59414653", "fs.yaffs", yaffs, "0x00200000", "YAFFS"}};
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        EXPECT_EQ(r.exitCode, c.builds ? 0 : 1) << r.out << r.err;
        if (!c.builds) {
            EXPECT_TRUE(Contains(r.out, "has no NAND page geometry\n")) << r.out;
            EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
            continue;
        }
        const std::string p = ReadFile(tool.Folder() + "/out.kxp");
        const Entry y = ReadEntry(p, 0);
        const std::string firstSpare = p.substr(size_t(y.firstSector) * kSector + kPage, kSpare);
        EXPECT_EQ(firstSpare, "\xFF\xFF" + yaffs.substr(kPage, 38) + std::string(24, '\xFF'));
    }
}

}  // namespace

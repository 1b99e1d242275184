// Packages of the platforms that split their images: by the command line's
// size (platform codes 3 and 6) or by the layout file's (code 15).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/PackageLayout.h"
#include "support/XzDecode.h"

using namespace testsupport;

namespace {

constexpr uint32_t kSplit = 0x20000;

RunResult BuildWithSplit(const ToolCopy& tool, const std::string& layoutName, const std::string& split)
{
    return tool.Run({"-f", layoutName, "-i", split, "-o", "out.kxp"});
}

struct ExpectedEntry {
    uint32_t flashStart;
    std::string bytes;
};

// The entries in package order, each with its data.
void ExpectEntries(const std::string& p, const std::vector<ExpectedEntry>& expected)
{
    ASSERT_GE(p.size(), kSector);
    ASSERT_EQ(Le32(p, 76 + 240), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const Entry e = ReadEntry(p, static_cast<uint32_t>(i));
        EXPECT_EQ(e.flashStart, expected[i].flashStart);
        ASSERT_EQ(e.length, expected[i].bytes.size());
        EXPECT_EQ(e.checksum, Checksum(expected[i].bytes));
        ASSERT_LE(size_t(e.firstSector) * kSector + e.length, p.size());
        EXPECT_TRUE(p.substr(size_t(e.firstSector) * kSector, e.length) == expected[i].bytes);
    }
}

}  // namespace

TEST(SplitPackageTest, SplittingPlatformsCutLargeImagesIntoParts)
{
    const std::string big = Pattern(2 * kSplit + 100, 1);
    const std::string small = Pattern(kSplit, 2);
    struct Case {
        const char* processor;
        std::string flash;  // more [Flash_Properties] lines
        std::string split;  // the command line's size
        bool splits;
    };
    for (const Case& c : {Case{"NLT115", "", "0x20000", true}, Case{"NLT116", "", "131072", true},
                          Case{"NLT118", "OTA_Image_Split_Size = 0x20000\n", "0x100000", true},
                          Case{"NLT118", "", "0x20000", false}, Case{"NLT122", "", "0x20000", false}}) {
        SCOPED_TRACE(std::string(c.processor) + " " + c.flash);
        const ToolCopy tool;
        Layout layout;
        layout.processor = c.processor;
        layout.flash = c.flash;
        layout.images = {{"BIGI", "0x42494749", "big.bin", big, "0x00200000"},
                         {"OFFI", "0x4F464649", "gone.bin", "", "0x00900000", "RAW", false, "", false},
                         {"SMLI", "0x534D4C49", "small.bin", small, "0x00800000"}};
        const RunResult r = BuildWithSplit(tool, WriteLayout(tool, layout), c.split);
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        const std::string p = ReadFile(tool.Folder() + "/out.kxp");
        // Images come out in reverse list order, parts in place of their image.
        if (c.splits) {
            ExpectEntries(p, {{0x00800000, small},
                              {0x00240000, big.substr(2 * kSplit)},
                              {0x00220000, big.substr(kSplit, kSplit)},
                              {0x00200000, big.substr(0, kSplit)}});
        } else {
            ExpectEntries(p, {{0x00800000, small}, {0x00200000, big}});
        }
        ExpectWorkFilesGone(tool);
    }
}

TEST(SplitPackageTest, SplitSizesThatReadAsZeroFailTheBuild)
{
    struct Case {
        const char* name;
        const char* processor;
        std::string flash;
        std::string split;
        std::string message;
    };
    for (const Case& c : {
             // Decimal for the front end's test, octal 0 for the build.
             Case{"octal command line size", "NLT115", "", "0800000",
                  "Error: the split size \"0800000\" reads as 0, images cannot be split by it.\n"},
             Case{"zero layout size", "NLT118", "OTA_Image_Split_Size = 0\n", "0x20000",
                  "Error: the split size \"0\" reads as 0, images cannot be split by it.\n"},
             Case{"unreadable layout size", "NLT118", "OTA_Image_Split_Size = none\n", "0x20000",
                  "Error: the split size \"none\" reads as 0, images cannot be split by it.\n"},
         }) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        Layout layout;
        layout.processor = c.processor;
        layout.flash = c.flash;
        layout.images = {{"BIGI", "0x42494749", "big.bin", Pattern(3 * kSplit, 3)}};
        const RunResult r = BuildWithSplit(tool, WriteLayout(tool, layout), c.split);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Contains(r.out, c.message + "DoTarvokfileforWebUpgrade failed.\n")) << r.out;
        EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        ExpectWorkFilesGone(tool);
    }
}

TEST(SplitPackageTest, TheImageLimitCountsParts)
{
    for (uint32_t extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        const ToolCopy tool;
        Layout layout;
        layout.processor = "NLT115";
        // Thirty parts, or one byte more for a thirty-first.
        layout.images = {{"BIGI", "0x42494749", "big.bin", Pattern(30 * kSplit + extra, 4), "0x00200000"}};
        const RunResult r = BuildWithSplit(tool, WriteLayout(tool, layout), "0x20000");
        if (extra == 0) {
            ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
            EXPECT_EQ(Le32(ReadFile(tool.Folder() + "/out.kxp"), 76 + 240), 30u);
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(Contains(r.out, "\n\nError:Splite size is too small or total images size is too large.\n\n"
                                        "DoTarvokfileforWebUpgrade failed.\n"))
                << r.out;
            EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        }
        ExpectWorkFilesGone(tool);
    }
}

TEST(SplitPackageTest, TooManyPartsFailBeforeAnyPartIsWritten)
{
    struct Case {
        const char* name;
        const char* processor;
        std::string flash;
        std::string split;
        std::vector<size_t> sizes;
    };
    for (const Case& c : {
             Case{"layout size", "NLT118", "OTA_Image_Split_Size = 0x20000\n", "0x100000", {30 * kSplit + 1}},
             // Thirty parts and one more image.
             Case{"command line size", "NLT116", "", "0x20000", {30 * kSplit, 1}},
         }) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        Layout layout;
        layout.processor = c.processor;
        layout.flash = c.flash;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string n = std::to_string(i);
            layout.images.push_back({"IMG" + n, "0x" + std::to_string(1000 + i), "i" + n + ".bin",
                                     Pattern(c.sizes[i], 5), "0x00200000"});
        }
        const std::string name = WriteLayout(tool, layout);
        // Writing any part file would fail (they are larger than the cap on
        // written files): the image limit must be seen first.
        const RunResult r = tool.Run({"-f", name, "-i", c.split, "-o", "out.kxp"}, "", 64 * 1024);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Contains(r.out, "\n\nError:Splite size is too small or total images size is too large.\n\n"
                                    "DoTarvokfileforWebUpgrade failed.\n"))
            << r.out;
        EXPECT_FALSE(Contains(r.out, "Unable to write file")) << r.out;
        EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        ExpectWorkFilesGone(tool);
    }
}

TEST(SplitPackageTest, AMissingImageFileFailsTheSplit)
{
    // The layout reader passes an image whose file goes missing only when
    // it cannot tell; a folder in its place reads as missing to the split.
    const ToolCopy tool;
    Layout layout;
    layout.processor = "NLT115";
    layout.images = {{"BIGI", "0x42494749", "sub", "", "0x00200000", "RAW", true, "", false}};
    mkdir((tool.Folder() + "/sub").c_str(), 0700);
    const RunResult r = BuildWithSplit(tool, WriteLayout(tool, layout), "0x20000");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "Error: Can't open  " + tool.Folder() + "/sub file!\n")) << r.out;
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

TEST(SplitPackageTest, PartsOfSectorAddressedLayoutsStartAtTheirOwnSector)
{
    // In layouts with 64-bit addresses the device is told sector numbers,
    // taken from one address field or the other by the image's partition.
    for (const std::string partition : {"0", "3"}) {
        SCOPED_TRACE(partition);
        const ToolCopy tool;
        Layout layout;
        layout.processor = "NLT115";
        layout.version = "V2.1.0";
        const std::string big = Pattern(2 * kSplit + 4, 5);
        layout.images = {{"AAAA", "0x41414141", "a.bin", big, "0x00200000", "RAW", true,
                          "Partition_Number = " + partition + "\n"}};
        const RunResult r = BuildWithSplit(tool, WriteLayout(tool, layout), "0x20000");
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        ExpectEntries(ReadFile(tool.Folder() + "/out.kxp"), {{0x1200, big.substr(2 * kSplit)},
                                                             {0x1100, big.substr(kSplit, kSplit)},
                                                             {0x1000, big.substr(0, kSplit)}});
    }
}

TEST(SplitPackageTest, CompressedImagesAreSplitAfterCompression)
{
    // Random bytes barely compress, so the compressed copy still needs parts.
    const ToolCopy tool;
    Layout layout;
    layout.processor = "NLT118";
    layout.flash = "OTA_Image_Split_Size = 0x20000\n";
    const std::string source = Pattern(3 * kSplit, 6);
    layout.images = {{"ROOT", "0x524F4F54", "root.bin", source, "0x00200000", "RAW_LZMA"}};
    const RunResult r = BuildWithSplit(tool, WriteLayout(tool, layout), "0x100000");
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    const uint32_t count = Le32(p, 76 + 240);
    ASSERT_GE(count, 4u);
    // Entries in reverse order; the parts together are the ".lzma" file.
    std::string joined;
    for (uint32_t i = count; i-- > 0;) {
        const Entry e = ReadEntry(p, i);
        EXPECT_EQ(e.flashStart, 0x00200000 + (count - 1 - i) * kSplit);
        if (i > 0) {
            EXPECT_EQ(e.length, kSplit);
        }
        joined += p.substr(size_t(e.firstSector) * kSector, e.length);
    }
    // The last entry's length is rounded up to whole words, and xz refuses
    // both a stream cut short and bytes after its end: exactly one of the
    // lengths decodes.
    bool decodes = false;
    for (size_t cut = 0; cut < 4 && !decodes; ++cut) {
        WriteFile(tool.Folder() + "/joined.lzma", joined.substr(0, joined.size() - cut));
        std::string decoded;
        decodes = XzDecode(tool.Folder() + "/joined.lzma", decoded) && decoded == source;
    }
    EXPECT_TRUE(decodes);
    ExpectWorkFilesGone(tool);
}

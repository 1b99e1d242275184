// Builds packages with the tool itself, from a private copy of its folder,
// and reads them back byte by byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/MasterHeader.h"
#include "support/PackageLayout.h"

using namespace testsupport;

TEST(PackageBuildTest, PackageIsLaidOutFieldByField)
{
    const ToolCopy tool;
    Layout layout;
    layout.flash = "Spare_Area_Size = 0x12345\nFlash_NandID = 0xABCD1234\n";
    layout.sections =
        "[Flash_Options]\nErase_All_Flash = 7\nReset_BBT = 1\nProductionMode = 5\nSkip_Blocks_Number = 9-7, 2\n"
        "[UE_Options]\nUE_Boot_Option = 0x1FF\n"
        "[Reserved_Data]\nBBCS\nEnabled = 0x102\nEnd_BBCS\nCRCS\nEnabled = 1\nEnd_CRCS\nEnd_Reserved_Data\n";
    const std::string abcde = "ABCDE";
    const std::string oneSector = Pattern(kSector, 1);
    const std::string third = Pattern(3 * kSector + 10, 2);
    layout.images = {
        {"AAAA", "0x41414141", "a.bin", abcde, "0x00100000", "UBIFS", true,
         "Erase_Size = 0x40000\nPartition_Number = 2\nTim_Included = 1\n"},
        {"SKIP", "0x534B4950", "skip.bin", "not packaged", "0x00200000", "RAW", false},
        {"BBBB", "0x42424242", "b.bin", oneSector, "0x00300000", "JFFS2_LZMA", true, "Erase_Size = 0x100\n"},
        {"CCCC", "0x43434343", "c.bin", third, "0x00400000", "SOMETHING"},
    };
    const RunResult r = Build(tool, WriteLayout(tool, layout), {"-v", "1.2.3", "-d"});
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    ExpectWorkFilesGone(tool);

    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    ASSERT_EQ(p.size(), kSector * (1 + Sectors(third.size()) + 1 + 1));

    const uint32_t total = RoundUp4(abcde.size()) + RoundUp4(oneSector.size()) + RoundUp4(third.size());
    ExpectMasterHeader(p, {std::string("1.2.3\0\0\0\0\0\0\0", 12), 0x2345, kSector, total, 3});

    // Device header.
    const size_t d = 76;
    EXPECT_EQ(Le32(p, d), 0u);
    EXPECT_EQ(p.substr(d + 4, 64), std::string(64, '\0'));
    EXPECT_EQ(Le32(p, d + 68), 7u);
    EXPECT_EQ(Le32(p, d + 72), 1u);
    EXPECT_EQ(Le32(p, d + 76), 0x1234u);
    EXPECT_EQ(Le32(p, d + 92), 4u);
    EXPECT_EQ(Le32(p, d + 96), 7u);
    EXPECT_EQ(Le32(p, d + 100), 8u);
    EXPECT_EQ(Le32(p, d + 104), 9u);
    EXPECT_EQ(Le32(p, d + 108), 2u);
    EXPECT_EQ(Le32(p, d + 112), 0u);
    EXPECT_EQ(Le32(p, d + 224), 5u);
    EXPECT_EQ(static_cast<uint8_t>(p[d + 228]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(p[d + 229]), 10);
    EXPECT_EQ(static_cast<uint8_t>(p[d + 230]), 2);
    EXPECT_EQ(static_cast<uint8_t>(p[d + 231]), 1);
    EXPECT_EQ(Le32(p, d + 232), 1u);
    EXPECT_EQ(Le32(p, d + 240), 3u);

    // Entries, from the last image of the list to the first; the disabled
    // image is left out.
    const Entry c = ReadEntry(p, 0), b = ReadEntry(p, 1), a = ReadEntry(p, 2);
    EXPECT_EQ(c.imageId, 0x43434343u);
    EXPECT_EQ(c.commands, 0x3u);
    EXPECT_EQ(c.firstSector, 1u);
    EXPECT_EQ(c.length, RoundUp4(third.size()));
    EXPECT_EQ(c.eraseSize, third.size());
    EXPECT_EQ(c.flashStart, 0x00400000u);
    EXPECT_EQ(c.checksum, Checksum(third));

    EXPECT_EQ(b.imageId, 0x42424242u);
    EXPECT_EQ(b.commands, 0xB3u);
    EXPECT_EQ(b.firstSector, 1 + Sectors(third.size()));
    EXPECT_EQ(b.length, kSector);
    EXPECT_EQ(b.eraseSize, kSector);
    EXPECT_EQ(b.checksum, Checksum(oneSector));

    EXPECT_EQ(a.imageId, 0x41414141u);
    EXPECT_EQ(a.inTim, 1u);
    EXPECT_EQ(a.partition, 2u);
    EXPECT_EQ(a.eraseSize, 0x40000u);
    EXPECT_EQ(a.commands, 0x33u);
    EXPECT_EQ(a.firstSector, b.firstSector + 1);
    EXPECT_EQ(a.length, 8u);
    EXPECT_EQ(a.flashStart, 0x00100000u);
    EXPECT_EQ(a.checksum, 0xBBBCBD04u);
    for (const Entry* e : {&a, &b, &c}) {
        EXPECT_EQ(e->reserved, std::string(16, '\0'));
    }
    // The rest of the header sector is zero.
    EXPECT_EQ(p.substr(320 + 52 * 3, kSector - 320 - 52 * 3), std::string(kSector - 320 - 52 * 3, '\0'));

    // Sector runs: the file's bytes, then 0xFF up to the run's end.
    const auto run = [&](const Entry& e, const std::string& bytes) {
        const std::string body = p.substr(size_t(e.firstSector) * kSector, size_t(Sectors(bytes.size())) * kSector);
        EXPECT_EQ(body.substr(0, bytes.size()), bytes);
        EXPECT_EQ(body.substr(bytes.size()), std::string(body.size() - bytes.size(), '\xff'));
    };
    run(c, third);
    run(b, oneSector);
    run(a, abcde);
}

TEST(PackageBuildTest, OptionalStampsAndVersionText)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string version;
        uint32_t differential;
    };
    const std::vector<Case> cases = {
        {"no options", {}, std::string(12, '\0'), 0},
        {"12 characters", {"-v", "123456789012"}, "123456789012", 0},
        {"differential", {"-d"}, std::string(12, '\0'), 1},
    };
    const ToolCopy tool;
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "a.bin", "ABCDE"}};
    const std::string name = WriteLayout(tool, layout);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = Build(tool, name, c.args);
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        const std::string p = ReadFile(tool.Folder() + "/out.kxp");
        ASSERT_EQ(p.size(), 2 * kSector);
        EXPECT_EQ(p.substr(0, 12), std::string("Zelmora_KXP\0", 12));
        EXPECT_EQ(p.substr(12, 12), c.version);
        EXPECT_EQ(Le16(p, 0x18), 0xFFFF);  // no Spare_Area_Size
        EXPECT_EQ(Le32(p, 76 + 232), c.differential);
    }
}

TEST(PackageBuildTest, PackagesWithoutData)
{
    // No image at all, and only disabled ones: the header sector alone.
    for (bool disabled : {false, true}) {
        SCOPED_TRACE(disabled);
        const ToolCopy tool;
        Layout layout;
        if (disabled) {
            layout.images = {{"AAAA", "0x41414141", "a.bin", "ABCDE", "0x00100000", "RAW", false}};
        }
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        const std::string p = ReadFile(tool.Folder() + "/out.kxp");
        ASSERT_EQ(p.size(), kSector);
        EXPECT_EQ(Le32(p, 76 + 240), 0u);
        EXPECT_EQ(Le32(p, 0x24), 0u);
        EXPECT_EQ(Le32(p, 0x28), 0u);
        EXPECT_EQ(Le32(p, 0x2C), 0u);
        EXPECT_EQ(Le32(p, 0x40), 320u);
    }

    // Images that are all empty: nothing to package is a failure.
    const ToolCopy tool;
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "empty1.bin", ""}, {"BBBB", "0x42424242", "empty2.bin", ""}};
    const RunResult r = Build(tool, WriteLayout(tool, layout));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "createVirtualKXP failed.\nDoTarvokfileforWebUpgrade failed.\n"
                                "DoTarvokforSplitImage failed....\n"))
        << r.out;
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

TEST(PackageBuildTest, EmptyImageSharesItsFirstSectorWithTheNext)
{
    const ToolCopy tool;
    Layout layout;
    const std::string data = Pattern(100, 3);
    layout.images = {{"AAAA", "0x41414141", "a.bin", data}, {"ZERO", "0x5A45524F", "zero.bin", ""},
                     {"CCCC", "0x43434343", "c.bin", data}};
    const RunResult r = Build(tool, WriteLayout(tool, layout));
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    ASSERT_EQ(p.size(), 3 * kSector);
    EXPECT_EQ(ReadEntry(p, 0).firstSector, 1u);
    EXPECT_EQ(ReadEntry(p, 1).firstSector, 2u);
    EXPECT_EQ(ReadEntry(p, 1).length, 0u);
    EXPECT_EQ(ReadEntry(p, 1).checksum, 0u);
    EXPECT_EQ(ReadEntry(p, 2).firstSector, 2u);
    EXPECT_EQ(p.substr(2 * kSector, data.size()), data);
}

TEST(PackageBuildTest, ImagesAroundTheCopyBlock)
{
    // 2048 sectors are one full copy block; one byte more needs a second
    // block of one sector.
    const ToolCopy tool;
    Layout layout;
    const std::string block = Pattern(2048 * kSector, 4);
    const std::string blockPlusOne = Pattern(2048 * kSector + 1, 5);
    layout.flash = "Max_OTA_Image_Size = 0x4000000\n";
    layout.images = {{"AAAA", "0x41414141", "a.bin", block}, {"BBBB", "0x42424242", "b.bin", blockPlusOne}};
    const RunResult r = Build(tool, WriteLayout(tool, layout));
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    ASSERT_EQ(p.size(), size_t(kSector) * (1 + 2049 + 2048));
    const Entry b = ReadEntry(p, 0), a = ReadEntry(p, 1);
    EXPECT_EQ(b.firstSector, 1u);
    EXPECT_EQ(a.firstSector, 2050u);
    EXPECT_EQ(b.checksum, Checksum(blockPlusOne));
    EXPECT_EQ(a.checksum, Checksum(block));
    EXPECT_EQ(p.substr(kSector, blockPlusOne.size()), blockPlusOne);
    EXPECT_EQ(p.substr(kSector + blockPlusOne.size(), kSector - 1), std::string(kSector - 1, '\xff'));
    EXPECT_EQ(p.substr(size_t(2050) * kSector), block);
}

TEST(PackageBuildTest, ImageLimitCountsDisabledImagesWithoutASplit)
{
    for (size_t count : {30u, 31u}) {
        SCOPED_TRACE(count);
        const ToolCopy tool;
        Layout layout;
        for (size_t i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            // The last one is disabled: it still counts.
            layout.images.push_back({"I" + n, "0x" + std::to_string(1000 + i), "img" + n + ".bin", "data" + n,
                                     "0x00100000", "RAW", i + 1 < count});
        }
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        if (count == 30) {
            ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
            const std::string p = ReadFile(tool.Folder() + "/out.kxp");
            EXPECT_EQ(Le32(p, 76 + 240), 29u);
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(Contains(r.out, "\n\nError:Splite size is too small or total images size is too large.\n\n"
                                        "DoTarvokfileforWebUpgrade failed.\n"))
                << r.out;
            EXPECT_FALSE(Contains(r.out, "dump to kxp file"));
        }
    }
}

TEST(PackageBuildTest, MaximumPackageSize)
{
    // The package is 3 sectors long.
    struct Case {
        std::string maximum;
        bool builds;
        std::string printed;
    };
    for (const Case& c : {Case{"0x6000", true, ""}, Case{"0x4000", false, "0x4000"}, Case{"0x5FFF", false, "0x5fff"}}) {
        SCOPED_TRACE(c.maximum);
        const ToolCopy tool;
        Layout layout;
        layout.flash = "Max_OTA_Image_Size = " + c.maximum + "\n";
        layout.images = {{"AAAA", "0x41414141", "a.bin", Pattern(kSector + 1, 6)}};
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        if (c.builds) {
            ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
            EXPECT_EQ(ReadFile(tool.Folder() + "/out.kxp").size(), 3 * kSector);
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(Contains(r.out, "OTA image size is too larger and Max_OTA_Image_Size is " + c.printed +
                                            "!\n\nDoTarvokfileforWebUpgrade failed.\n"))
                << r.out;
            EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        }
        ExpectWorkFilesGone(tool);
    }
}

TEST(PackageBuildTest, RefusedImagesAndLayouts)
{
    const std::string timOba =
        "\nZorlix exception:\nTIM,OBM and ReliableData can't be upgrate through OTA,please disable these images in "
        "blf.\n\n\n";
    struct Case {
        const char* name;
        Layout layout;
        std::string out;  // a part of standard output
        std::string err;  // a part of the message boxes, or "" for none
    };
    const auto with = [](std::vector<Image> images, std::string processor = "NLT122") {
        Layout layout;
        layout.processor = processor;
        layout.images = std::move(images);
        return layout;
    };
    const Image plain{"AAAA", "0x41414141", "a.bin", "ABCDE"};
    Layout skip = with({plain});
    skip.sections = "[Flash_Options]\nSkip_Blocks_Number = 0-32\n";
    Layout yaffs = with({{"YAFS", "0x59414653", "y.bin", "ABCDE", "0x00100000", "YAFFS"}});
    Layout yaffsOnEmmc = with({{"YAFS", "0x59414653", "y.bin", Pattern(2112, 1), "0x00100000", "YAFFS"}});
    yaffsOnEmmc.flash = "Data_Area_Size = 2048\n";
    Layout undetected = with({plain}, "NLT999");
    undetected.version = "V2.0.0";
    std::vector<Case> cases = {
        {"enabled TIMH", with({{"TIMH", "0x54494D48", "t.bin", "tim"}, plain}), "", timOba},
        {"enabled OBMI", with({{"OBMI", "0x4F424D49", "o.bin", "obm"}}), "", timOba},
        {"enabled RBLI", with({plain, {"RBLI", "0x52424C49", "r.bin", "rbl"}}), "", timOba},
        {"unknown processor", with({plain}, "NLT999"), "Unknown platform type\n",
         "\nZorlix exception:\nUnknown platform type\n\n\n"},
        {"image is a folder", with({{"AAAA", "0x41414141", "sub", "", "0x00100000", "RAW", true, "", false}}),
         "ERROR: invalid flash ini file, cannot create the KXP image file!DoTarvokfileforWebUpgrade failed.\n",
         "Unable to open file: "},
        {"more than 32 skip blocks", skip, "",
         "\nZorlix exception:\nSkip_Blocks_Number names more than 32 blocks\n\n\n"},
        {"YAFFS image of no whole pages", yaffs,
         "Error:  Yaffs2 image size is not multiple of page size and oob area size\nDoTarvokfileforWebUpgrade failed.\n",
         ""},
        {"YAFFS image on eMMC", yaffsOnEmmc,
         "\" with Data_Area_Size 2048 has no NAND page geometry\nERROR: invalid flash ini file", ""},
        {"old layout with an unknown processor", undetected, "GetPlatFormType failed in blf ",
         "\nZorlix exception:\nGetPlatFormType failed\n\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        // An image path that exists but cannot be read as a file.
        mkdir((tool.Folder() + "/sub").c_str(), 0700);
        const std::string name = WriteLayout(tool, c.layout);
        const RunResult r = Build(tool, name);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Contains(r.out, c.out)) << r.out;
        EXPECT_TRUE(r.out.size() >= 33 &&
                    r.out.compare(r.out.size() - 33, 33, "DoTarvokforSplitImage failed....\n") == 0)
            << r.out;
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
        }
        EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        ExpectWorkFilesGone(tool);
    }
}

TEST(PackageBuildTest, DisabledTimhAndCompressingPlatformWithoutLzmaImages)
{
    struct Case {
        const char* name;
        std::string processor;
        uint8_t platformIndex;
    };
    for (const Case& c : {Case{"Osmar", "NLT122", 10}, Case{"Kalder3", "NLT118", 15}}) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        Layout layout;
        layout.processor = c.processor;
        layout.images = {{"TIMH", "0x54494D48", "t.bin", "tim", "0x00000000", "RAW", false},
                         {"AAAA", "0x41414141", "a.bin", "ABCDE"}};
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        const std::string p = ReadFile(tool.Folder() + "/out.kxp");
        EXPECT_EQ(Le32(p, 76 + 240), 1u);
        EXPECT_EQ(static_cast<uint8_t>(p[76 + 229]), c.platformIndex);
    }
}

TEST(PackageBuildTest, FirstFlashBlockOfNandAndSpiNor)
{
    // Without Flash_Block_Size the first block is 0x20000 long: an image in
    // it is left out, the one right after it is packaged.
    struct Case {
        std::string family;
        std::string blockSize;
        uint32_t packaged;
    };
    const std::vector<Case> cases = {
        {"NAND", "", 1}, {"SPI-NAND", "", 1}, {"SPI-NOR", "", 1}, {"eMMC", "", 2}, {"NAND", "0x40000", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family + c.blockSize);
        const ToolCopy tool;
        Layout layout;
        layout.family = c.family;
        if (!c.blockSize.empty()) {
            layout.flash = "Flash_Block_Size = " + c.blockSize + "\n";
        }
        layout.images = {{"AAAA", "0x41414141", "a.bin", "first", "0x00000000"},
                         {"BBBB", "0x42424242", "b.bin", "second", "0x00020000"}};
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        const std::string p = ReadFile(tool.Folder() + "/out.kxp");
        ASSERT_EQ(Le32(p, 76 + 240), c.packaged);
        if (c.packaged > 0) {
            EXPECT_EQ(ReadEntry(p, 0).imageId, 0x42424242u);
        }
    }
}

TEST(PackageBuildTest, FlashStartAddressFollowsTheLayoutVersion)
{
    // Layout files with 64-bit addresses give most images their sector
    // address; the address forms the device is told follow the version.
    struct Case {
        std::string version;
        std::string tag;
        std::string partition;
        uint32_t flashStart;
    };
    const std::vector<Case> cases = {
        {"V3.0.0", "AAAA", "0", 0x00100000}, {"V3.0.0", "VKTI", "0", 0x00100000},
        {"V3.0.0", "AAAA", "3", 0x00100000}, {"V2.1.0", "AAAA", "0", 0x800},
        {"V2.1.0", "VKTI", "0", 0x800},      {"V2.2.0", "AAAA", "3", 0x800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + " " + c.tag + " " + c.partition);
        const ToolCopy tool;
        Layout layout;
        layout.version = c.version;
        layout.images = {{c.tag, "0x41414141", "a.bin", "ABCDE", "0x00100000", "RAW", true,
                          "Partition_Number = " + c.partition + "\n"}};
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        EXPECT_EQ(ReadEntry(ReadFile(tool.Folder() + "/out.kxp"), 0).flashStart, c.flashStart);
    }
}

TEST(PackageBuildTest, LayoutWrittenOnWindowsAndRelativePaths)
{
    const ToolCopy tool;
    mkdir((tool.Folder() + "/images").c_str(), 0700);
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "images/a.bin", "ABCDE"}};
    std::string name = WriteLayout(tool, layout);
    std::string blf = ReadFile(tool.Folder() + "/" + name);
    blf.replace(blf.find("images/a.bin"), 12, "images\\a.bin");
    // CR LF line ends, as written on Windows.
    std::string crlf;
    for (char ch : blf) {
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    }
    WriteFile(tool.Folder() + "/" + name, crlf);
    const RunResult r = tool.Run({"-f", name, "-i", "0x100000", "-o", "out.kxp"});
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    EXPECT_EQ(ReadEntry(ReadFile(tool.Folder() + "/out.kxp"), 0).checksum, 0xBBBCBD04u);
}

TEST(PackageBuildTest, AFullDiskFailsTheBuild)
{
    // Every file the tool writes is capped at 64 KiB: the store cannot take
    // the 1 MiB image, so no package may appear.
    const ToolCopy tool;
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "a.bin", Pattern(1 << 20, 7)}};
    const std::string name = WriteLayout(tool, layout);
    const RunResult r = tool.Run({"-f", name, "-i", "0x100000", "-o", "out.kxp"}, "", 64 * 1024);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "Unable to write file: " + tool.Folder() + "/temp/BinFile.bin\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "DoTarvokforSplitImage failed....\n")) << r.out;
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

TEST(PackageBuildTest, AKxpBinStandingInTheProgramFolderIsReplacedNotWrittenThrough)
{
    for (const bool outputGiven : {true, false}) {
        SCOPED_TRACE(outputGiven);
        const ToolCopy tool;
        Layout layout;
        layout.images = {{"AAAA", "0x41414141", "a.bin", "ABCDE"}};
        const std::string name = WriteLayout(tool, layout);
        WriteFile(tool.Folder() + "/victim.txt", "the user's file");
        ASSERT_EQ(symlink("victim.txt", (tool.Folder() + "/kxp.bin").c_str()), 0);
        const RunResult r = outputGiven ? Build(tool, name) : tool.Run({"-f", name, "-i", "0x100000"});
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        EXPECT_EQ(ReadFile(tool.Folder() + "/victim.txt"), "the user's file");
        const std::string output = tool.Folder() + (outputGiven ? "/out.kxp" : "/kxp.bin");
        struct stat st;
        ASSERT_EQ(lstat(output.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_size, 2 * kSector);
        EXPECT_EQ(FileExists(tool.Folder() + "/kxp.bin"), !outputGiven);
    }
}

TEST(PackageBuildTest, WorkFoldersAreRemovedAtExit)
{
    const ToolCopy tool;
    mkdir((tool.Folder() + "/TempSplit").c_str(), 0700);
    WriteFile(tool.Folder() + "/TempSplit/part.bin", "x");
    const RunResult r = tool.Run({"-f", "missing.blf", "-i", "0x100000"});
    EXPECT_EQ(r.exitCode, 1);
    ExpectWorkFilesGone(tool);
}

TEST(PackageBuildTest, SampleLayoutBuilds)
{
    const ToolCopy tool;
    const RunResult r = tool.Run({"-f", std::string(TARVOK_SOURCE_DIR) + "/examples/sample.blf", "-i", "0x100000",
                                  "-v", "1.0.0", "-o", "sample.kxp"});
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    const std::string p = ReadFile(tool.Folder() + "/sample.kxp");
    EXPECT_EQ(p.size() % kSector, 0u);
    EXPECT_EQ(Le32(p, 76 + 240), 2u);
}

TEST(PackageBuildTest, OlderLayoutWithoutItsFlasherSettingsFile)
{
    const ToolCopy tool;
    WriteFile(tool.Folder() + "/old.blf",
              "[TIM Configuration]\nProcessor Type = NLT07X\n[Varsic Flasher Properties]\n"
              "Flash Configuration File Path = flasher.ini\n");
    const RunResult r = tool.Run({"-f", "old.blf", "-i", "0x100000"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "NLT07x platform type\n")) << r.out;
    EXPECT_EQ(r.err, "\nZorlix exception:\nfile " + tool.Folder() + "/flasher.ini is not exist\n\n\n");
    EXPECT_FALSE(FileExists(tool.Folder() + "/kxp.bin"));
    ExpectWorkFilesGone(tool);
}

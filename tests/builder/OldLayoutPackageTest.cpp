// Layout files of the older format built into packages by the tool: the
// converted copy is read like a new-format file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

struct OldImage {
    std::string tag, id, fileName, entryAddress, type;
};

const std::vector<OldImage> kImages = {
    {"AAAA", "0x41414141", "a.bin", "0x00100000", "RAW"},
    {"YAFS", "0x59414653", "fs.yaffs", "0x00200000", "YAFFS"},
    {"CCCC", "0x43434343", "c.bin", "0x00300000", "UBIFS"},
};

std::string Flasher(const std::string& family)
{
    return "[DEV_HEADER_0]\nBlock_Size_0 = 0x20000\nFlashFamily = " + family +
           "\nNumber_of_Blocks_0 = 1024\nData Area Size = 2048\nSpare Area Size = 64\n"
           "[INTEL_FLASHER_INPUT_FILE]\nKXP_Sector_Size = 8192\n";
}

std::string OldLayout(int trusted = 0)
{
    std::string text =
        "[TIM Configuration]\nVersion = 0x00030102\nTrusted = " + std::to_string(trusted) +
        "\nIssue Date = 0x20240101\n"
        "OEM UniqueID = 0x12345678\nProcessor Type = NLT07x\nBoot Flash Signature = 0x4E414E0D\n"
        "Number of Images = 3\nNumber of Keys = 0\n"
        "[Varsic Flasher Properties]\nFlash Configuration File Path = flasher.ini\n"
        "[Image List]\n";
    for (size_t i = 0; i < kImages.size(); ++i) {
        const OldImage& image = kImages[i];
        const std::string k = std::to_string(i + 1) + " Image ";
        text += k + "Enable = 1\n" + k + "ID Name = " + image.tag + "\n" + k + "Image ID = " + image.id + "\n" + k +
                "Next Image ID = 0xFFFFFFFF\n" + k + "Path = " + image.fileName + "\n" + k +
                "Flash Entry Address = " + image.entryAddress + "\n" + k + "Load Address = 0xFFFFFFFF\n" + k +
                "Type = " + image.type + "\n" + k + "Erase Size = 0x40000\n" + k + "Partition Number = 1\n" + k +
                "Image Size To CRC in bytes = 0\n";
    }
    return text;
}

// The same device and images in the newer format.
std::string NewLayout()
{
    std::string text =
        "[BLF_Version]\nBlf_Version_Number = V3.0.0\n[Flash_Properties]\nFlash_Family = NAND\n"
        "Flash_Block_Size = 0x20000\nData_Area_Size = 2048\nSpare_Area_Size = 64\n"
        "[TIM_Configuration]\nProcessor_Type = NLT105\nBoot_Flash_Signature = 0x4E414E0D\nNumber_of_Images = 3\n"
        "[Image_List]\n";
    for (size_t i = 0; i < kImages.size(); ++i) {
        const OldImage& image = kImages[i];
        const std::string k = std::to_string(i + 1) + "_Image_";
        text += k + "Enable = 1\n" + k + "ID_Name = " + image.tag + "\n" + k + "Image_ID = " + image.id + "\n" + k +
                "Path = " + image.fileName + "\n" + k + "Flash_Entry_Address = " + image.entryAddress + "\n" + k +
                "Type = " + image.type + "\n" + k + "Erase_Size = 0x40000\n" + k + "Partition_Number = 1\n";
    }
    return text;
}

// A tool folder with the flasher settings file, and the layouts and their
// images in a folder of their own, so that relative image paths must start
// from the layout's folder.
void Prepare(const ToolCopy& tool, const std::string& family)
{
    WriteFile(tool.Folder() + "/flasher.ini", Flasher(family));
    ASSERT_EQ(mkdir((tool.Folder() + "/proj").c_str(), 0700), 0);
    WriteFile(tool.Folder() + "/proj/old.blf", OldLayout());
    WriteFile(tool.Folder() + "/proj/trusted.blf", OldLayout(1));
    WriteFile(tool.Folder() + "/proj/new.blf", NewLayout());
    WriteFile(tool.Folder() + "/proj/a.bin", Pattern(3 * kSector + 7, 1));
    WriteFile(tool.Folder() + "/proj/fs.yaffs", Pattern(5 * 2112, 2));
    WriteFile(tool.Folder() + "/proj/c.bin", Pattern(100, 3));
}

TEST(OldLayoutPackageTest, BuildsTheSamePackageAsItsNewFormatTwin)
{
    const ToolCopy tool;
    Prepare(tool, "NAND");
    const RunResult old = Build(tool, "proj/old.blf");
    ASSERT_TRUE(Succeeded(old)) << old.out << old.err;
    EXPECT_EQ(old.err, "");
    EXPECT_TRUE(Contains(old.out, "NLT07x platform type\n")) << old.out;
    ExpectWorkFilesGone(tool);
    const std::string fromOld = ReadFile(tool.Folder() + "/out.kxp");

    const RunResult twin = Build(tool, "proj/new.blf");
    ASSERT_TRUE(Succeeded(twin)) << twin.out << twin.err;
    const std::string fromNew = ReadFile(tool.Folder() + "/out.kxp");

    ASSERT_EQ(Le32(fromOld, 76 + 240), 3u);
    ASSERT_EQ(fromOld.size(), fromNew.size());
    // Entries, then the image data after the header sector.
    EXPECT_EQ(fromOld.substr(320, 3 * 52), fromNew.substr(320, 3 * 52));
    EXPECT_TRUE(fromOld.compare(kSector, std::string::npos, fromNew, kSector, std::string::npos) == 0);
    // The YAFFS image went through the re-layout of boot-flash-signature
    // code 13: 30 tag bytes at offset 2 of each spare area.
    const Entry yaffs = ReadEntry(fromOld, 1);
    EXPECT_EQ(yaffs.imageId, 0x59414653u);
    const std::string source = Pattern(5 * 2112, 2);
    const std::string firstSpare = fromOld.substr(size_t(yaffs.firstSector) * kSector + 2048, 64);
    EXPECT_EQ(firstSpare, "\xFF\xFF" + source.substr(2048, 30) + std::string(32, '\xFF'));
}

TEST(OldLayoutPackageTest, FamiliesTheReaderRefusesAndCopiesWrittenByHand)
{
    // The converter takes "ONENAND", the reader of the copy does not.
    const ToolCopy tool;
    Prepare(tool, "ONENAND");
    RunResult r = Build(tool, "proj/old.blf");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "\nZorlix exception:\nUnknown flash Type to support....\n\n\n");
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);

    // A new-format file that declares "V2.0.0" with the older processor is
    // judged as before: only the tool's own copy is read so.
    WriteFile(tool.Folder() + "/copy.blf",
              "[BLF_Version]\nBlf_Version_Number = V2.0.0\n[TIM_Configuration]\nProcessor_Type = NLT07x\n"
              "[Flash_Properties]\nFlash_Family = NAND\n");
    r = Build(tool, "copy.blf");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "\nZorlix exception:\nGetPlatFormType failed\n\n\n");
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
}

TEST(OldLayoutPackageTest, TrustedLayoutIsRefusedBeforeItIsConverted)
{
    const ToolCopy tool;
    Prepare(tool, "NAND");
    const RunResult r = Build(tool, "proj/trusted.blf");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string ending =
        "\nProcessBLF.....\nNLT07x platform type\nError: trusted layout files of the older format cannot be "
        "built: their keys are not converted\nDoTarvokforSplitImage failed....\n";
    ASSERT_GE(r.out.size(), ending.size());
    EXPECT_EQ(r.out.substr(r.out.size() - ending.size()), ending);
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

// The flasher settings file and the converted copy are inputs of the run:
// an output that leads to one is refused before anything is built, and
// the file stays as it was.
TEST(OldLayoutPackageTest, AnOutputThatIsAnInputOfTheConversionIsRefused)
{
    struct Case {
        const char* name;
        std::string output;  // -o, relative to the program's folder
        std::string message;  // "@" for the program's folder
    };
    const Case cases[] = {
        {"the flasher settings file", "flasher.ini",
         "Invalid Input,output file @/flasher.ini is the flasher settings file @/flasher.ini!\n"
         "DoTarvokfileforWebUpgrade failed.\nDoTarvokforSplitImage failed....\n"},
        {"a link to the flasher settings file", "settings.lnk",
         "Invalid Input,output file @/settings.lnk is the flasher settings file @/flasher.ini!\n"
         "DoTarvokfileforWebUpgrade failed.\nDoTarvokforSplitImage failed....\n"},
        {"the converted copy", "AbsBlfTemp/Cvt_old.blf",
         "Invalid Input,output file @/AbsBlfTemp/Cvt_old.blf is in the work folder @/AbsBlfTemp, which is deleted "
         "at exit!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        Prepare(tool, "NAND");
        ASSERT_EQ(symlink("flasher.ini", (tool.Folder() + "/settings.lnk").c_str()), 0);
        const RunResult r = tool.Run({"-f", "proj/old.blf", "-i", "0x100000", "-o", c.output});
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        std::string message = c.message;
        for (size_t at; (at = message.find('@')) != std::string::npos;) message.replace(at, 1, tool.Folder());
        ASSERT_GE(r.out.size(), message.size()) << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - message.size()), message);
        EXPECT_EQ(ReadFile(tool.Folder() + "/flasher.ini"), Flasher("NAND"));
        ExpectWorkFilesGone(tool);
    }
}

// The text files the tool reads are refused past 64 MiB, unread; the
// bytes past their text are the zeros of a sparse file. Just under the limit
// a file is read, so each is spoilt to end the run soon after that one
// reading, for a reason of its own.
TEST(OldLayoutPackageTest, TextFilesPastTheLimitAreRefusedUnread)
{
    constexpr long long kLimit = 64ll << 20;
    struct Case {
        std::string name;
        std::string file;  // in the tool's folder
        std::string from, to;  // the spoiling change
        std::string layout;    // built
        std::string failure;   // just under the limit
    };
    const std::vector<Case> cases = {
        {"layout", "proj/new.blf", "NLT105", "NLT999", "proj/new.blf", "\nZorlix exception:\nUnknown platform type\n"},
        {"older layout", "proj/old.blf", "flasher.ini", "missing.ini", "proj/old.blf", "missing.ini is not exist\n"},
        {"flasher settings", "flasher.ini", "= NAND", "= NOR", "proj/old.blf", "ERROR:Unknown flash family"},
    };
    for (const Case& c : cases) {
        for (const long long size : {kLimit - 1, kLimit + 1, (4ll << 30) + 1}) {
            SCOPED_TRACE(c.name + " of " + std::to_string(size) + " bytes");
            const ToolCopy tool;
            Prepare(tool, "NAND");
            const std::string path = tool.Folder() + "/" + c.file;
            std::string text = ReadFile(path);
            const size_t at = text.find(c.from);
            ASSERT_NE(at, std::string::npos);
            WriteFile(path, text.replace(at, c.from.size(), c.to));
            ASSERT_EQ(truncate(path.c_str(), size), 0);

            const RunResult r = Build(tool, c.layout);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
            ExpectWorkFilesGone(tool);
            const std::string message = "File " + path + " is larger than 64 MiB";
            if (size < kLimit) {
                EXPECT_TRUE(Contains(r.out + r.err, c.failure)) << r.out << r.err;
                EXPECT_FALSE(Contains(r.out + r.err, "larger than")) << r.out << r.err;
                continue;
            }
            EXPECT_TRUE(Contains(r.out, message + "\n")) << r.out;
            EXPECT_EQ(r.err, "\nZorlix exception:\n" + message + "\n\n\n");
            // Not a byte of the file was taken in.
            EXPECT_LT(r.maxResidentKiB, kLimit / 1024);
        }
    }
}

}  // namespace

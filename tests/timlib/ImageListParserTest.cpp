#include "timlib/ImageListParser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/Path.h"
#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"
#include "timlib/BlfParseFlow.h"

using testsupport::MessageBoxes;

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

std::wstring Wide(const std::string& text)
{
    return platform::DecodeText(text);
}

// A layout file with count images in [Image_List], given as key lines.
std::string Images(int count, const std::string& lines)
{
    return "[TIM_Configuration]\nNumber_of_Images = " + std::to_string(count) + "\n[Image_List]\n" + lines;
}

// The layout file lives in <temp>/blf, so that "../other" names a sibling folder.
class ImageListTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(Dir() + "/sub");
        std::filesystem::create_directories(m_Folder.File("other"));
        WriteFile(Dir() + "/a.bin", "A");
        WriteFile(Dir() + "/sub/a.bin", "S");
        WriteFile(m_Folder.File("other/b.bin"), "B");
    }

    // Resolved paths come back normalised; so must the expected ones.
    std::string Root() const { return platform::EncodeText(platform::NormalizePath(Wide(m_Folder.Path()))); }
    std::string Dir() const { return Root() + "/blf"; }
    std::wstring InDir(const std::string& name) const { return Wide(Dir() + "/" + name); }

    // Runs ParseImageInfo on a fresh parser over a fresh layout file.
    bool Parse(const std::string& text, int32_t flashType = kFlashTypeNand, int32_t versionFlag = 0)
    {
        const std::string path = Dir() + "/layout" + std::to_string(++m_Files) + ".blf";
        WriteFile(path, text);
        m_Parser = std::make_unique<CBlfParser>();
        m_Parser->m_BlfPath = Wide(path);
        m_Parser->m_FlashType = flashType;
        m_Parser->m_FlashSettings.BlfVersionFlag = versionFlag;
        testing::internal::CaptureStdout();
        const bool result = ParseImageInfo(*m_Parser);
        m_Out = testing::internal::GetCapturedStdout();
        return result;
    }

    const CImageDescription& Image(size_t index) const
    {
        return **std::next(m_Parser->m_TimDescriptor.m_Images.begin(), static_cast<std::ptrdiff_t>(index));
    }

    TempFolder m_Folder;
    std::unique_ptr<CBlfParser> m_Parser;
    std::string m_Out;
    int m_Files = 0;
};

TEST_F(ImageListTest, ReadsEveryFieldAndDisablesAnImageWithoutFile)
{
    ASSERT_TRUE(Parse(Images(2,
                             "1_Image_Enable = 1\n1_Image_Tim_Included = 1\n1_Image_Image_ID = 0x4F424D49\n"
                             "1_Image_ID_Name = OBMI\n1_Image_Next_Image_ID = 0x5A494D47\n1_Image_Path = a.bin\n"
                             "1_Image_Flash_Entry_Address = 0x200000\n1_Image_Load_Address = 0xD1000000\n"
                             "1_Image_Type = RAW\n1_Image_Erase_Size = 0x40000\n"
                             "1_Image_Image_Size_To_Hash_in_bytes = 0x100\n1_Image_Hash_Algorithm_ID = SHA-256\n"
                             "1_Image_Size_To_CRC_in_bytes = 0x20\n1_Image_Partition_Number = 2\n")));
    EXPECT_EQ(m_Out, "begin to parsing image\nNumber of images in blf file is 2\nfile " + Dir() +
                         "/NOT AVAILABLE is not exist\nComplete to parsing image info in blf file\n");
    EXPECT_EQ(m_Parser->m_TimDescriptor.m_HeaderWords[CTimDescriptor::kWordNumberOfImages], 2u);
    ASSERT_EQ(m_Parser->m_TimDescriptor.m_Images.size(), 2u);

    const CImageDescription& first = Image(0);
    EXPECT_TRUE(first.Enable);
    EXPECT_EQ(first.IdName, L"OBMI");
    EXPECT_EQ(first.ImageId, L"0x4F424D49");
    EXPECT_EQ(first.NextImageId, L"0x5A494D47");
    EXPECT_EQ(first.ImagePath, InDir("a.bin"));
    EXPECT_EQ(first.FlashEntryAddress, L"0x00200000");
    EXPECT_EQ(first.FlashEntrySector, L"0x00001000");
    EXPECT_EQ(first.FlashAddress, L"0x00200000");
    EXPECT_EQ(first.LoadAddress, L"0xD1000000");
    EXPECT_EQ(first.ImageType, L"RAW");
    EXPECT_EQ(first.EraseSize, L"0x00040000");
    EXPECT_EQ(first.EraseSizeValue, 0x40000u);
    EXPECT_EQ(first.ImageSizeToHash, 0x100u);
    EXPECT_EQ(first.HashAlgorithmId, L"SHA-256");
    EXPECT_EQ(first.SizeToCrc, L"0x20");
    EXPECT_EQ(first.PartitionNumber, 2);
    EXPECT_EQ(first.TimIncluded, 1);
    EXPECT_TRUE(first.Changed);

    // Every key of the second image takes its default.
    const CImageDescription& second = Image(1);
    EXPECT_FALSE(second.Enable);
    EXPECT_EQ(second.ImagePath, InDir("NOT AVAILABLE"));
    EXPECT_EQ(second.ImageId, L"NOT AVAILABLE");
    EXPECT_EQ(second.FlashEntryAddress, L"0xFFFFFFFF");
    EXPECT_EQ(second.FlashEntrySector, L"0xFFFFFFFF");
    EXPECT_EQ(second.LoadAddress, L"0xFFFFFFFF");
    EXPECT_EQ(second.ImageType, L"0xFFFFFFFFFF");
    EXPECT_EQ(second.EraseSize, L"");
    EXPECT_EQ(second.EraseSizeValue, 0u);
    EXPECT_EQ(second.ImageSizeToHash, 0u);
    EXPECT_EQ(second.PartitionNumber, 0);
    EXPECT_EQ(second.TimIncluded, 0);
}

TEST_F(ImageListTest, EnableFlagAndMissingFiles)
{
    struct Case {
        std::string enableLine;
        std::string idName;
        std::string path;
        bool enabled;
        bool logged;
    };
    const std::vector<Case> cases = {
        {"1_Image_Enable = 0\n", "OBMI", "missing0.bin", false, false},
        {"", "OBMI", "missing1.bin", false, true},
        {"1_Image_Enable = 2\n", "OBMI", "a.bin", false, false},
        {"", "OBMI", "a.bin", true, false},
        // A missing TIMH file is made empty and the image stays enabled.
        {"", "TIMH", "timh2.bin", true, false},
        {"1_Image_Enable = 1\n", "XTIMHX", "timh3.bin", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.enableLine + c.idName + " " + c.path);
        const bool existed = FileExists(Dir() + "/" + c.path);
        ASSERT_TRUE(Parse(Images(1, c.enableLine + "1_Image_ID_Name = " + c.idName + "\n1_Image_Path = " + c.path +
                                        "\n")));
        ASSERT_EQ(m_Parser->m_TimDescriptor.m_Images.size(), 1u);
        EXPECT_EQ(Image(0).Enable, c.enabled);
        EXPECT_EQ(Image(0).ImagePath, InDir(c.path));
        const std::string log = "file " + Dir() + "/" + c.path + " is not exist\n";
        EXPECT_EQ(m_Out.find(log) != std::string::npos, c.logged) << m_Out;
        if (!existed && c.enabled) {
            ASSERT_TRUE(FileExists(Dir() + "/" + c.path));
            EXPECT_EQ(ReadFile(Dir() + "/" + c.path), "");
        }
    }
}

TEST_F(ImageListTest, EnabledTimhWithEmptyPathKeepsItAndReportsTheFile)
{
    MessageBoxes boxes;
    ASSERT_TRUE(Parse(Images(1, "1_Image_ID_Name = TIMH\n1_Image_Path =\n")));
    ASSERT_EQ(m_Parser->m_TimDescriptor.m_Images.size(), 1u);
    EXPECT_EQ(Image(0).ImagePath, L"");
    EXPECT_TRUE(Image(0).Enable);
    EXPECT_EQ(boxes.texts, std::vector<std::wstring>{L"Open file \"\" failed!"});
}

TEST_F(ImageListTest, FlashAddressFormsPerVersionFlag)
{
    struct Case {
        int32_t versionFlag;
        std::string imageId;
        std::string flashEntry;  // empty: no key
        std::wstring entry, sector, address;
    };
    const std::vector<Case> cases = {
        {0, "0x5A494D47", "0x200000", L"0x00200000", L"0x00001000", L"0x00200000"},
        {0, "0x4F424D49", "0x200000", L"0x00200000", L"0x00001000", L"0x00200000"},
        {1, "0x4F424D49", "0x200000", L"0x0000200000", L"0x00001000", L"0x0000200000"},
        {1, "0x54494D48", "0x200000", L"0x0000200000", L"0x00001000", L"0x0000200000"},
        {1, "0x564B5449", "0x200000", L"0x0000200000", L"0x00001000", L"0x0000200000"},
        {1, "0x545A4949", "0x200000", L"0x0000200000", L"0x00001000", L"0x0000200000"},
        {1, "0x5A494D47", "0x200000", L"0x0000200000", L"0x00001000", L"0x00001000"},
        // Beyond 4 GiB the sector is taken from the whole address.
        {1, "0x5A494D47", "0x200000000", L"0x0200000000", L"0x01000000", L"0x01000000"},
        {0, "0x5A494D47", "", L"0xFFFFFFFF", L"0xFFFFFFFF", L"0xFFFFFFFF"},
        {1, "0x5A494D47", "", L"0xFFFFFFFFFF", L"0xFFFFFFFF", L"0xFFFFFFFF"},
        {1, "0x4F424D49", "", L"0xFFFFFFFFFF", L"0xFFFFFFFF", L"0xFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("flag " + std::to_string(c.versionFlag) + " " + c.imageId + " '" + c.flashEntry + "'");
        const std::string entryLine =
            c.flashEntry.empty() ? "" : "1_Image_Flash_Entry_Address = " + c.flashEntry + "\n";
        ASSERT_TRUE(Parse(Images(1, "1_Image_Image_ID = " + c.imageId + "\n1_Image_Path = a.bin\n" + entryLine +
                                        "1_Image_Load_Address = 0x1000\n"),
                          kFlashTypeNand, c.versionFlag));
        EXPECT_EQ(Image(0).FlashEntryAddress, c.entry);
        EXPECT_EQ(Image(0).FlashEntrySector, c.sector);
        EXPECT_EQ(Image(0).FlashAddress, c.address);
        EXPECT_EQ(Image(0).LoadAddress, L"0x00001000");
    }
}

TEST_F(ImageListTest, EraseAndHashSizes)
{
    struct Case {
        std::string value;  // empty: no keys
        std::wstring eraseText;
        uint32_t eraseValue;
        uint32_t hashSize;
    };
    const std::vector<Case> cases = {
        {"0x40000", L"0x00040000", 0x40000, 0x40000},
        {"0X10", L"0x00000010", 16, 16},
        // Only hexadecimal erase sizes count; the hash size reads any number.
        {"262144", L"262144", 0, 262144},
        {"", L"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.value + "'");
        const std::string sizes = c.value.empty() ? ""
                                                  : "1_Image_Erase_Size = " + c.value +
                                                        "\n1_Image_Image_Size_To_Hash_in_bytes = " + c.value + "\n";
        ASSERT_TRUE(Parse(Images(1, "1_Image_Path = a.bin\n" + sizes)));
        EXPECT_EQ(Image(0).EraseSize, c.eraseText);
        EXPECT_EQ(Image(0).EraseSizeValue, c.eraseValue);
        EXPECT_EQ(Image(0).ImageSizeToHash, c.hashSize);
    }
}

TEST_F(ImageListTest, PathsResolveAgainstTheLayoutFolder)
{
    std::filesystem::create_directories(Dir() + "/X:");
    WriteFile(Dir() + "/X:/c.bin", "C");
    const std::string absolute = Root() + "/other/./b.bin";
    struct Case {
        std::string path;
        std::wstring resolved;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {"sub\\a.bin", InDir("sub/a.bin"), true},
        {"sub/a.bin", InDir("sub/a.bin"), true},
        {"..\\other\\b.bin", Wide(Root() + "/other/b.bin"), true},
        {absolute, Wide(absolute), true},  // used exactly as written
        {"X:\\c.bin", InDir("X:/c.bin"), true},
        {"", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.path + "'");
        ASSERT_TRUE(Parse(Images(1, "1_Image_Path = " + c.path + "\n")));
        EXPECT_EQ(Image(0).ImagePath, c.resolved);
        EXPECT_EQ(Image(0).Enable, c.enabled);
    }
}

TEST_F(ImageListTest, TimhPartitionFlags)
{
    struct Case {
        std::string name;
        int32_t flashType;
        std::string imageLines;  // besides the path
        uint8_t p1, p2, p3;
    };
    const std::string timh = "1_Image_Image_ID = 0x54494D48\n";
    const auto keys = [](int included, int partition) {
        return "1_Image_Tim_Included = " + std::to_string(included) +
               "\n1_Image_Partition_Number = " + std::to_string(partition) + "\n";
    };
    const std::vector<Case> cases = {
        {"eMMC partition 1", kFlashTypeEmmc, timh + keys(1, 1), 1, 0, 0},
        {"eMMC partition 2", kFlashTypeEmmc, timh + keys(5, 2), 0, 1, 0},
        {"eMMC partition 3", kFlashTypeEmmc, timh + keys(0, 3), 0, 0, 1},
        {"eMMC included 1, partition 2", kFlashTypeEmmc, timh + keys(1, 2), 0, 0, 0},
        {"eMMC disabled", kFlashTypeEmmc, "1_Image_Enable = 0\n" + timh + keys(5, 2), 0, 0, 0},
        {"eMMC tag from ID_Name only", kFlashTypeEmmc, "1_Image_ID_Name = TIMH\n" + keys(5, 2), 0, 0, 0},
        {"NAND included 5, partition 2", kFlashTypeNand, timh + keys(5, 2), 0, 0, 0},
        {"NAND included 1", kFlashTypeNand, timh + keys(1, 7), 1, 0, 0},
        {"SPI-NOR included 1", kFlashTypeSpiNor, timh + keys(1, 0), 1, 0, 0},
        {"not TIMH", kFlashTypeNand, "1_Image_Image_ID = 0x4F424D49\n" + keys(1, 1), 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Parse(Images(1, "1_Image_Path = a.bin\n" + c.imageLines), c.flashType));
        EXPECT_EQ(m_Parser->m_bTimhPartition1, c.p1);
        EXPECT_EQ(m_Parser->m_bTimhPartition2, c.p2);
        EXPECT_EQ(m_Parser->m_bTimhPartition3, c.p3);
    }
}

TEST_F(ImageListTest, ListSectionsAreReadWhenNamedAnywhere)
{
    struct Case {
        std::string extra;
        uint8_t emmcFlag;
        size_t emmcLists, nandLists;
    };
    const std::string oneSignature = "[Flash_Properties]\nNand_Signature_Number = 1\n";
    const std::vector<Case> cases = {
        {oneSignature, 0, 0, 0},
        {oneSignature + "; see Nand_Images_list_Property\n", 0, 0, 1},
        {"; Nand_Images_list_Property\n", 0, 0, 0},  // no signature count: nothing to read
        {"; EMMC_Images_list_Property\n", 1, 1, 0},  // one eMMC type by default
        {"[Flash_Properties]\nNumber_of_EMMCTypes = 0\n[EMMC_Images_list_Property]\n", 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra);
        ASSERT_TRUE(Parse(Images(0, c.extra)));
        EXPECT_EQ(m_Parser->m_bEmmcImageLists, c.emmcFlag);
        EXPECT_EQ(m_Parser->m_EmmcImageLists.size(), c.emmcLists);
        EXPECT_EQ(m_Parser->m_NandSignImageLists.size(), c.nandLists);
        if (c.nandLists == 1) {
            EXPECT_EQ(m_Parser->m_NandSignImageLists.front()->NandSignValue, L"");
            EXPECT_TRUE(m_Parser->m_NandSignImageLists.front()->NandIdLists.empty());
        }
    }
}

TEST_F(ImageListTest, NandListUses32BitAddresses)
{
    const std::string p = "1_NandSign_1_NandId_1_Image_";
    ASSERT_TRUE(Parse(Images(0, "[Flash_Properties]\nNand_Signature_Number = 1\n[Nand_Images_list_Property]\n"
                                "1_NandSign_Value = 0x4E414E44\n1_NandSign_NandIdNumber = 1\n"
                                "1_NandSign_1_NandId = 0xECDA\n1_NandSign_1_NandSize = 0x10000000\n"
                                "1_NandSign_1_NandId_ImageNumber = 1\n" +
                                    p + "ID_Name = TIMH\n" + p + "Path = sub\\a.bin\n" + p +
                                    "Flash_Entry_Address = 0x200000\n" + p + "Load_Address = 0x10\n" + p +
                                    "Erase_Size = 0x40000\n" + p + "Image_Size_To_Hash_in_bytes = 0x20\n"),
                      kFlashTypeNand, 1));
    ASSERT_EQ(m_Parser->m_NandSignImageLists.size(), 1u);
    const NandSignImageList& sign = *m_Parser->m_NandSignImageLists.front();
    EXPECT_EQ(sign.NandSignValue, L"0x4E414E44");
    ASSERT_EQ(sign.NandIdLists.size(), 1u);
    const NandIdImageList& nand = *sign.NandIdLists.front();
    EXPECT_EQ(nand.NandId, L"0xECDA");
    EXPECT_EQ(nand.NandSize, L"0x10000000");
    ASSERT_EQ(nand.Images.size(), 1u);
    const CImageDescription& image = *nand.Images.front();
    EXPECT_EQ(image.IdName, L"TIMH");
    EXPECT_EQ(image.ImageId, L"0x54494D48");
    EXPECT_EQ(image.ImagePath, InDir("sub/a.bin"));
    EXPECT_EQ(image.FlashEntryAddress, L"0x00200000");
    EXPECT_EQ(image.FlashEntrySector, L"0x00001000");
    EXPECT_EQ(image.FlashAddress, L"0x00200000");
    EXPECT_EQ(image.LoadAddress, L"0x00000010");
    EXPECT_EQ(image.EraseSize, L"0x00040000");
    EXPECT_EQ(image.EraseSizeValue, 0x40000u);
    EXPECT_EQ(image.ImageSizeToHash, 0x20u);
    EXPECT_TRUE(image.Changed);
}

TEST_F(ImageListTest, EmmcListAddressesPerVersionFlag)
{
    struct Case {
        int32_t versionFlag;
        std::wstring entry1, address1, entry2, address2;
    };
    const std::vector<Case> cases = {
        {0, L"0x00200000", L"0x00200000", L"0xFFFFFFFF", L"0xFFFFFFFF"},
        // With 64-bit addresses every eMMC list image uses its sector, OBMI too.
        {1, L"0x0000200000", L"0x00001000", L"0xFFFFFFFFFF", L"0xFFFFFFFF"},
    };
    const std::string p = "1_EmmcType_1_Image_";
    const std::string layout = Images(0, "[Flash_Properties]\nNumber_of_EMMCTypes = 2\n[EMMC_Images_list_Property]\n"
                                         "ImageID_num = 1\n1_EMMC_Size = 0x200000000\n2_EMMC_Size = 0x400000000\n" +
                                             p + "ID_Name = OBMI\n" + p + "Path = sub/a.bin\n" + p +
                                             "Flash_Entry_Address = 0x200000\n" + p + "Load_Address = 0x20\n" + p +
                                             "Erase_Size = 262144\n" + p + "Image_Size_To_Hash_in_bytes = 64\n" +
                                             "2_EmmcType_1_Image_ID_Name = ZIMG\n");
    for (const Case& c : cases) {
        SCOPED_TRACE("flag " + std::to_string(c.versionFlag));
        ASSERT_TRUE(Parse(layout, kFlashTypeEmmc, c.versionFlag));
        EXPECT_EQ(m_Parser->m_bEmmcImageLists, 1);
        ASSERT_EQ(m_Parser->m_EmmcImageLists.size(), 2u);
        const EmmcTypeImageList& first = *m_Parser->m_EmmcImageLists.front();
        const EmmcTypeImageList& second = *m_Parser->m_EmmcImageLists.back();
        EXPECT_EQ(first.EmmcSize, L"0x200000000");
        EXPECT_EQ(second.EmmcSize, L"0x400000000");
        ASSERT_EQ(first.Images.size(), 1u);
        ASSERT_EQ(second.Images.size(), 1u);
        const CImageDescription& one = *first.Images.front();
        EXPECT_EQ(one.IdName, L"OBMI");
        EXPECT_EQ(one.ImagePath, InDir("sub/a.bin"));
        EXPECT_EQ(one.FlashEntryAddress, c.entry1);
        EXPECT_EQ(one.FlashEntrySector, L"0x00001000");
        EXPECT_EQ(one.FlashAddress, c.address1);
        EXPECT_EQ(one.LoadAddress, L"0x00000020");
        EXPECT_EQ(one.EraseSize, L"262144");
        EXPECT_EQ(one.EraseSizeValue, 0u);
        EXPECT_EQ(one.ImageSizeToHash, 64u);
        const CImageDescription& two = *second.Images.front();
        EXPECT_EQ(two.IdName, L"ZIMG");
        EXPECT_EQ(two.ImagePath, InDir("NOT AVAILABLE"));
        EXPECT_EQ(two.FlashEntryAddress, c.entry2);
        EXPECT_EQ(two.FlashEntrySector, L"0xFFFFFFFF");
        EXPECT_EQ(two.FlashAddress, c.address2);
        EXPECT_EQ(two.LoadAddress, L"0xFFFFFFFF");
    }
}

TEST_F(ImageListTest, CountsAboveTheLimitAreRefused)
{
    struct Case {
        std::string name;
        std::string layout;
        std::string refusal;  // start of the printed refusal; empty when accepted
        size_t entries;       // images of the list the case fills, when accepted
    };
    const auto nand = [](int signatures, const std::string& lines) {
        return Images(0, "[Flash_Properties]\nNand_Signature_Number = " + std::to_string(signatures) +
                             "\n[Nand_Images_list_Property]\n" + lines);
    };
    const auto emmc = [](int types, int images) {
        return Images(0, "[Flash_Properties]\nNumber_of_EMMCTypes = " + std::to_string(types) +
                             "\n[EMMC_Images_list_Property]\nImageID_num = " + std::to_string(images) + "\n");
    };
    const std::string oneId = "1_NandSign_NandIdNumber = 1\n1_NandSign_1_NandId_ImageNumber = ";
    const std::vector<Case> cases = {
        {"images at the limit", Images(1000, ""), "", 1000},
        {"images above", Images(1001, ""), "Number_of_Images = 1001 is refused", 0},
        {"NAND at the limit", nand(1, oneId + "998\n"), "", 998},
        {"NAND images above", nand(1, oneId + "999\n"), "1_NandSign_1_NandId_ImageNumber = 999 is refused", 0},
        {"NAND signatures above", nand(1001, ""), "Nand_Signature_Number = 1001 is refused", 0},
        {"NAND IDs summed over signatures",
         nand(2, "1_NandSign_NandIdNumber = 500\n2_NandSign_NandIdNumber = 499\n"),
         "2_NandSign_NandIdNumber = 499 is refused", 0},
        {"eMMC at the limit", emmc(2, 499), "", 998},
        {"eMMC images above", emmc(2, 500), "ImageID_num = 500 is refused", 0},
        {"eMMC types above", emmc(1001, 0), "Number_of_EMMCTypes = 1001 is refused", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool result = Parse(c.layout);
        EXPECT_EQ(result, c.refusal.empty());
        if (!c.refusal.empty()) {
            EXPECT_NE(m_Out.find(c.refusal), std::string::npos) << m_Out;
            EXPECT_NE(m_Out.find(" is refused: at most 1000 entries are allowed\n"), std::string::npos);
            EXPECT_EQ(m_Out.find("Complete to parsing image info"), std::string::npos);
            continue;
        }
        size_t entries = m_Parser->m_TimDescriptor.m_Images.size();
        for (const auto& sign : m_Parser->m_NandSignImageLists) {
            for (const auto& id : sign->NandIdLists) {
                entries += id->Images.size();
            }
        }
        for (const auto& type : m_Parser->m_EmmcImageLists) {
            entries += type->Images.size();
        }
        EXPECT_EQ(entries, c.entries);
    }
}

TEST(ImageListParserTest, ByteAddressToSectorText)
{
    struct Case {
        std::wstring address;
        std::wstring sector;
    };
    const std::vector<Case> cases = {
        {L"0x200000", L"0x00001000"},     {L"0x0000200000", L"0x00001000"}, {L"0x1FF", L"0x00000000"},
        {L"0x200", L"0x00000001"},        {L"1048576", L"0x00000800"},      {L"0xFFFFFFFF", L"0xFFFFFFFF"},
        {L"0xffffffff", L"0xFFFFFFFF"},   {L"0xFFFFFFFFFF", L"0xFFFFFFFF"}, {L"0x200000000", L"0x01000000"},
        {L"0x1FFFFFFFE00", L"0xFFFFFFFF"}, {L"", L"0x00000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::EncodeText(c.address));
        EXPECT_EQ(ByteAddressToSectorText(c.address), c.sector);
    }
}

// The reader keeps the byte address of a tag that contains a byte-addressed
// tag; the flash device packs the sector address only of one that is exactly
// such a tag. The two rules must stay apart.
TEST(ImageListParserTest, ByteAddressedTagsByContainmentAndExactly)
{
    struct Case {
        std::wstring tag;
        bool contains;
        bool exactly;
    };
    const std::vector<Case> cases = {
        {L"TIMH", true, true},   {L"OBMI", true, true},   {L"VKTI", true, true},   {L"TZII", true, true},
        {L"xTIMH", true, false}, {L"OBMIx", true, false}, {L"timh", false, false}, {L"OBM", false, false},
        {L"KRNL", false, false}, {L"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::EncodeText(c.tag));
        EXPECT_EQ(IsByteAddressedTag(c.tag), c.contains);
        EXPECT_EQ(IsExactlyByteAddressedTag(c.tag), c.exactly);
    }
}

TEST(ImageListParserTest, CreateEmptyImageFile)
{
    TempFolder folder;
    const std::wstring path = Wide(folder.File("timh.bin"));
    MessageBoxes boxes;
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateEmptyImageFile(path), path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(FileExists(folder.File("timh.bin")));
    EXPECT_EQ(ReadFile(folder.File("timh.bin")), "");

    // A folder that cannot take the file sends it to the program's temp folder.
    const std::string name = "timh-" + std::to_string(::getpid()) + ".bin";
    const std::wstring moved = GetProgramFolder() + L"/temp/" + Wide(name);
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateEmptyImageFile(Wide(folder.File("missing/" + name))), moved);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Dircetory have not written permission: " + folder.File("missing") + ".\n");
    std::error_code ignored;
    std::filesystem::remove(platform::EncodeText(moved), ignored);
    EXPECT_TRUE(boxes.texts.empty() || boxes.texts == std::vector<std::wstring>{L"Open file \"" + moved + L"\" failed!"});

    boxes.texts.clear();
    EXPECT_EQ(CreateEmptyImageFile(L""), L"");
    EXPECT_EQ(boxes.texts, std::vector<std::wstring>{L"Open file \"\" failed!"});
}

}  // namespace

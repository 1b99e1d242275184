#include "builder/FlashDevice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "builder/FlasherBinary.h"
#include "builder/ImageConvert.h"
#include "builder/KxpFormat.h"
#include "common/platform/Console.h"
#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/TestSupport.h"
#include "timlib/ImageDescription.h"

using testsupport::MessageBoxes;
using testsupport::XorWords;
using testsupport::Pattern;

namespace {

using testsupport::Capture;
using testsupport::Outcome;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

using Blocks = std::vector<uint32_t>;
using Names = std::vector<std::wstring>;

constexpr uint32_t kSector = 8192;

// ---------------------------------------------------------------------------

TEST(SkipBlocksTest, ItemsAndRanges)
{
    struct Case {
        std::wstring text;
        Blocks blocks;
    };
    const Case cases[] = {
        {L"5", {5}},
        {L"3-6", {3, 4, 5, 6}},
        {L"9-7,2", {7, 8, 9, 2}},  // a range always ascends
        {L"10-12, 20", {10, 11, 12, 20}},
        {L"10 - 12", {10, 11, 12}},
        {L"4-4", {4}},
        {L" 7 ,8 ", {7, 8}},
        {L"", {}},
        {L"  ", {}},
        {L"\n", {}},
    };
    for (const Case& c : cases) {
        Blocks blocks{99};
        EXPECT_TRUE(ParseSkipBlocks(c.text, blocks, kKxpMaxSkipBlocks)) << testing::PrintToString(c.text);
        EXPECT_EQ(blocks, c.blocks) << testing::PrintToString(c.text);
    }
}

TEST(NandGeometrySelectionTest, DataAreaSizeFamilyAndSignatureCode)
{
    struct Case {
        int32_t dataAreaSize;
        const wchar_t* family;
        uint32_t code;
        int index;
    };
    const Case cases[] = {
        {2048, L"NAND", 4, 0},      {2048, L"NAND", 13, 1},     {2048, L"NAND", 255, 0},
        {2048, L"ONENAND", 13, 4},  {2048, L"eMMC", 4, kNoNandGeometry},
        {2048, L"nand", 13, kNoNandGeometry},                   {2048, L"SPI-NAND", 13, kNoNandGeometry},
        {2048, L"", 13, kNoNandGeometry},
        // 4096-byte pages: 2, 3 and 6; another code keeps the 4096 form.
        {4096, L"NAND", 4, 2},      {4096, L"NAND", 13, 3},     {4096, L"NAND", 8, 2},
        {4096, L"ONENAND", 4, 6},   {4096, L"eMMC", 13, kNoNandGeometry},
        // Any other page size, or none: 0 whatever the family.
        {512, L"NAND", 13, 0},      {-1, L"eMMC", 13, 0},       {0, L"ONENAND", 4, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SelectNandGeometry(c.dataAreaSize, c.family, c.code), c.index)
            << c.dataAreaSize << " " << platform::EncodeText(c.family) << " " << c.code;
    }
}

TEST(SkipBlocksTest, RefusesMoreBlocksThanTheLimit)
{
    Blocks blocks;
    EXPECT_TRUE(ParseSkipBlocks(L"0-31", blocks, 32));
    EXPECT_EQ(blocks.size(), 32u);
    EXPECT_EQ(blocks.back(), 31u);

    EXPECT_FALSE(ParseSkipBlocks(L"0-31,40", blocks, 32));
    ASSERT_EQ(blocks.size(), 32u);  // the first 32 are kept
    EXPECT_EQ(blocks.back(), 31u);
    EXPECT_FALSE(ParseSkipBlocks(L"1,2,3", blocks, 2));
    EXPECT_EQ(blocks, (Blocks{1, 2}));

    // Counting stops at the limit: a range of billions, which would not fit
    // in memory, is never expanded, in either order.
    for (const wchar_t* range : {L"0-4000000000", L"4000000000-0"}) {
        EXPECT_FALSE(ParseSkipBlocks(range, blocks, 32));
        ASSERT_EQ(blocks.size(), 32u);
        EXPECT_EQ(blocks.front(), 0u);
        EXPECT_EQ(blocks.back(), 31u);
    }
}

// ---------------------------------------------------------------------------

class FlashDeviceTest : public testing::Test {
protected:
    std::wstring Layout(const std::string& text)
    {
        WriteFile(m_Folder.File("layout.blf"), text);
        return Wide(m_Folder.File("layout.blf"));
    }

    std::unique_ptr<CFlashDevice> Device(const std::string& layoutText)
    {
        m_LayoutPath = Layout(layoutText);
        std::unique_ptr<CFlashDevice> device;
        const Outcome o = Capture([&] {
            device = std::make_unique<CFlashDevice>(10, m_LayoutPath, kSector, 0, 0, 0, 0, 0);
            return true;
        });
        EXPECT_FALSE(o.thrown) << testing::PrintToString(o.message);
        return device;
    }

    // An enabled image whose file, named after it, holds bytes.
    CImageDescription& AddImage(ImageList& list, const std::string& name, const std::string& entryAddress,
                                const std::string& bytes = "DATA")
    {
        WriteFile(m_Folder.File(name), bytes);
        auto image = std::make_unique<CImageDescription>();
        image->SetIdName(Wide(name));
        image->SetFlashEntryAddress(Wide(entryAddress));
        image->SetImagePath(Wide(m_Folder.File(name)));
        image->Enable = true;
        list.push_back(std::move(image));
        return *list.back();
    }

    // The file names of the binaries AddImages made, in entry order.
    Names Packaged(const std::string& layoutText, const ImageList& images, const std::wstring& writerFamily = L"eMMC",
                   uint32_t writerBlockSize = 0x20000)
    {
        m_Binaries.clear();
        std::unique_ptr<CFlashDevice> device = Device(layoutText);
        if (!device) {
            return {};
        }
        const Outcome o = Capture(
            [&] { return device->AddImages(writerFamily, m_LayoutPath, m_Binaries, images, writerBlockSize); });
        EXPECT_TRUE(o.result) << o.out;
        Names names;
        for (const auto& binary : m_Binaries) {
            names.push_back(binary->m_Path.substr(binary->m_Path.rfind(L'/') + 1));
        }
        return names;
    }

    std::unique_ptr<CFlasherBinary> Binary(const std::string& name, const std::string& bytes, uint32_t commands = 3)
    {
        WriteFile(m_Folder.File(name), bytes);
        return std::make_unique<CFlasherBinary>(Wide(m_Folder.File(name)), L"RAW", 0, 10, 0, 0, 0, kSector, commands,
                                                -1, -1, 0, 0u, 0u);
    }

    static std::vector<KXP_ImageEntry> Entries(const CFlashDevice& device)
    {
        std::vector<uint8_t> buffer(kKxpImageEntryBytes * device.ImageCount());
        testing::internal::CaptureStdout();
        device.WriteImageEntries(buffer.data());
        testing::internal::GetCapturedStdout();
        std::vector<KXP_ImageEntry> entries;
        for (uint32_t i = 0; i < device.ImageCount(); ++i) {
            entries.push_back(KXP_ImageEntry::Load(buffer.data() + kKxpImageEntryBytes * i));
        }
        return entries;
    }

    TempFolder m_Folder;
    std::wstring m_LayoutPath;
    BinaryList m_Binaries;
};

TEST_F(FlashDeviceTest, ReadsTheDeviceHeaderFromTheLayout)
{
    Layout(
        "[Flash_Properties]\n"
        "Flash_Family = NAND\n"
        "Spare_Area_Size = 64\n"
        "Data_Area_Size = 2048\n"
        "Flash_Block_Size = 0x40000\n"
        // Found past its own section, as the layout files have it.
        "[Flash_Options]\n"
        "Skip_Blocks_Number = 9-7, 2\n"
        "[Reserved_Data]\n"
        "BBCS\nEnabled = 0x102\nEnd_BBCS\n"
        "CRCS\nEnabled = 1\nEnd_CRCS\n"
        "[End_Reserved_Data]\n");
    std::unique_ptr<CFlashDevice> device;
    const Outcome o = Capture([&] {
        device = std::make_unique<CFlashDevice>(14, Wide(m_Folder.File("layout.blf")), kSector, 1, 2, 0xABCD, 5, 7);
        return true;
    });
    ASSERT_FALSE(o.thrown) << testing::PrintToString(o.message);
    const KXP_DeviceHeader& h = device->Header();
    EXPECT_EQ(h.DeviceFlags, 0u);
    EXPECT_EQ(h.Erase_All_Flash, 1u);
    EXPECT_EQ(h.Reset_BBT, 2u);
    EXPECT_EQ(h.Flash_NandID, 0xABCDu);
    EXPECT_EQ(h.ProductionMode, 5u);
    EXPECT_EQ(h.UE_Boot_Option, 7);
    EXPECT_EQ(h.Platform_Index, 14);
    EXPECT_EQ(h.BBCS_Enabled, 0x02);  // low 8 bits of the value
    EXPECT_EQ(h.CRCS_Enabled, 1);
    EXPECT_EQ(h.nOfSkipBlocks, 4u);
    EXPECT_EQ(Blocks(h.Skip_Blocks, h.Skip_Blocks + 6), (Blocks{7, 8, 9, 2, 0, 0}));
    EXPECT_EQ(h.nOfImages, 0u);
    EXPECT_EQ(device->SpareAreaSize(), 64);
    EXPECT_EQ(device->FlashBlockSize(), 0x40000);

    // Without the keys: no skip blocks, no flags, spare size -1 and the
    // reader's and writer's block size.
    device = Device("[Flash_Properties]\nFlash_Family = NAND\n");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Header().nOfSkipBlocks, 0u);
    EXPECT_EQ(device->Header().BBCS_Enabled, 0);
    EXPECT_EQ(device->Header().CRCS_Enabled, 0);
    EXPECT_EQ(device->SpareAreaSize(), -1);
    EXPECT_EQ(device->FlashBlockSize(), 0x20000);
}

TEST_F(FlashDeviceTest, RefusesASkipListLongerThanTheHeader)
{
    std::unique_ptr<CFlashDevice> device = Device("[Flash_Properties]\nSkip_Blocks_Number = 100-131\n");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Header().nOfSkipBlocks, 32u);
    EXPECT_EQ(device->Header().Skip_Blocks[31], 131u);

    for (const char* list : {"100-132", "0-31,7", "0-4000000000"}) {
        const std::wstring path = Layout(std::string("[Flash_Properties]\nSkip_Blocks_Number = ") + list + "\n");
        const Outcome o = Capture([&] {
            CFlashDevice refused(10, path, kSector, 0, 0, 0, 0, 0);
            return true;
        });
        EXPECT_TRUE(o.thrown) << list;
        EXPECT_EQ(o.message, L"Skip_Blocks_Number names more than 32 blocks") << list;
    }

    const Outcome missing = Capture([&] {
        CFlashDevice none(10, Wide(m_Folder.File("none.blf")), kSector, 0, 0, 0, 0, 0);
        return true;
    });
    EXPECT_TRUE(missing.thrown);
}

// An image whose entry address lies in the first block of a NAND or
// SPI-NOR device is left out, the TIM excepted.
TEST_F(FlashDeviceTest, FirstBlockRule)
{
    struct Case {
        std::string properties;
        std::string tag;
        std::string entryAddress;
        bool packaged;
    };
    const std::string nand = "Flash_Family = NAND\n";
    const Case cases[] = {
        // Without Flash_Block_Size the block is 0x20000 bytes.
        {nand, "OSLO", "0x00000000", false},
        {nand, "OSLO", "0x0001FFFF", false},
        {nand, "OSLO", "0x00020000", true},
        {nand, "TIMH", "0x00000000", true},
        {nand, "TIMh", "0x00000000", false},
        {nand, "OSLO", "0x0100000000", true},  // compared in 64 bits
        {nand + "Flash_Block_Size = 0x40000\n", "OSLO", "0x00020000", false},
        {nand + "Flash_Block_Size = 0x40000\n", "OSLO", "0x00040000", true},
        {nand + "Flash_Block_Size = 0x1000\n", "OSLO", "0x00001000", true},
        {nand + "Flash_Block_Size = -1\n", "OSLO", "0xFFFFFFFE", false},  // -1 is the largest size
        {"Flash_Family = ONENAND_X\n", "OSLO", "0x00000000", false},    // NAND anywhere
        {"Flash_Family = nand\n", "OSLO", "0x00000000", true},
        {"Flash_Family = SPI-NOR\n", "OSLO", "0x00000000", false},
        {"Flash_Family = SPI-NOR\n", "TIMH", "0x00000000", true},
        {"Flash_Family = SPI-NOR\n", "OSLO", "0x00020000", true},
        {"Flash_Family = SPI-NOR_X\n", "OSLO", "0x00000000", true},  // SPI-NOR exactly
        {"Flash_Family = XSPI-NOR\n", "OSLO", "0x00000000", true},
        {"Flash_Family = eMMC\n", "OSLO", "0x00000000", true},
        {"", "OSLO", "0x00000000", true},
    };
    for (const Case& c : cases) {
        ImageList images;
        AddImage(images, c.tag, c.entryAddress);
        const Names expected = c.packaged ? Names{Wide(c.tag)} : Names{};
        EXPECT_EQ(Packaged("[Flash_Properties]\n" + c.properties, images), expected)
            << c.properties << c.tag << " at " << c.entryAddress;
    }
}

// On a writer for NAND, an OBM image in the writer's first block is left
// out unless it is the first image of the list.
TEST_F(FlashDeviceTest, ObmRule)
{
    struct Case {
        std::wstring writerFamily;
        std::string tag;
        std::string entryAddress;
        uint32_t writerBlockSize;
        bool packaged;
    };
    const Case cases[] = {
        {L"NAND", "OBMI", "0x00000000", 0x20000, false},
        {L"NAND", "OBMI", "0x0001FFFF", 0x20000, false},
        {L"NAND", "OBMI", "0x00020000", 0x20000, true},
        {L"NAND", "XOBM", "0x00000000", 0x20000, false},
        {L"NAND", "obmi", "0x00000000", 0x20000, true},
        {L"NAND", "OSLO", "0x00000000", 0x20000, true},
        {L"NAND", "OBMI", "0x00000000", 0, true},
        {L"ONENAND", "OBMI", "0x00000000", 0x20000, false},
        {L"SPI-NOR", "OBMI", "0x00000000", 0x20000, true},
        {L"NOT AVAILABLE", "OBMI", "0x00000000", 0x20000, true},
    };
    for (const Case& c : cases) {
        ImageList images;
        AddImage(images, "TIMH", "0x00000000");
        AddImage(images, c.tag, c.entryAddress);
        const Names expected = c.packaged ? Names{Wide(c.tag), L"TIMH"} : Names{L"TIMH"};
        // The device is eMMC: its own first-block rule stays out of the way.
        EXPECT_EQ(Packaged("[Flash_Properties]\nFlash_Family = eMMC\n", images, c.writerFamily, c.writerBlockSize),
                  expected)
            << testing::PrintToString(c.writerFamily) << " " << c.tag << " at " << c.entryAddress;
    }

    // The first image of the list is exempt...
    ImageList images;
    AddImage(images, "OBMI", "0x00000000");
    AddImage(images, "OBM2", "0x00000000");
    EXPECT_EQ(Packaged("[Flash_Properties]\nFlash_Family = eMMC\n", images, L"NAND"), Names{L"OBMI"});
    // ...but not from the device's first-block rule.
    EXPECT_EQ(Packaged("[Flash_Properties]\nFlash_Family = NAND\n", images, L"NAND"), Names{});
}

TEST_F(FlashDeviceTest, EntryOrderIsTheReverseOfTheListWithoutDisabledImages)
{
    ImageList images;
    AddImage(images, "AAAA", "0x00100000");
    AddImage(images, "BBBB", "0x00200000");
    CImageDescription& disabled = AddImage(images, "CCCC", "0x00300000");
    disabled.Enable = false;
    disabled.SetImagePath(Wide(m_Folder.File("missing")));  // never opened
    AddImage(images, "DDDD", "0x00400000");
    EXPECT_EQ(Packaged("[Flash_Properties]\nFlash_Family = eMMC\n", images), (Names{L"DDDD", L"BBBB", L"AAAA"}));

    ImageList none;
    EXPECT_EQ(Packaged("[Flash_Properties]\nFlash_Family = eMMC\n", none), Names{});
}

// Layout files of versions 2.1.0 and 2.2.0 give boot images and partition 3
// images their start as a sector.
TEST_F(FlashDeviceTest, FlashStartAddressText)
{
    struct Case {
        std::string version;
        std::string tag;
        int32_t partition;
        uint32_t start;
    };
    constexpr uint32_t kSectorText = 0x40;
    constexpr uint32_t kAddressText = 0x00100000;
    const Case cases[] = {
        {"V2.1.0", "OSLO", 3, kSectorText},
        {"V2.2.0", "OSLO", 3, kSectorText},
        {"V2.1.0", "TIMH", 0, kSectorText},
        {"V2.1.0", "OBMI", 0, kSectorText},
        {"V2.1.0", "VKTI", 0, kSectorText},
        {"V2.2.0", "TZII", 1, kSectorText},
        {"BLF V2.2.0 rev", "OSLO", 3, kSectorText},  // contained anywhere
        {"V2.1.0", "OSLO", 2, kAddressText},
        {"V2.1.0", "OBM2", 0, kAddressText},  // the tags exactly
        {"V3.0.0", "OSLO", 3, kAddressText},
        {"V3.0.0", "TIMH", 0, kAddressText},
        {"", "OSLO", 3, kAddressText},
    };
    for (const Case& c : cases) {
        const std::string version = c.version.empty() ? "" : "[BLF_Version]\nBlf_Version_Number = " + c.version + "\n";
        ImageList images;
        CImageDescription& image = AddImage(images, c.tag, "0x00100000");
        image.PartitionNumber = c.partition;
        image.SetFlashEntrySector(L"0x00000040");
        image.SetFlashAddress(L"0x00100000");
        ASSERT_EQ(Packaged(version + "[Flash_Properties]\nFlash_Family = eMMC\n", images).size(), 1u);
        EXPECT_EQ(m_Binaries.front()->m_FlashStartAddress, c.start) << c.version << " " << c.tag;
    }
}

TEST_F(FlashDeviceTest, EntryValuesOfAnImage)
{
    struct Case {
        std::wstring type;
        std::wstring eraseSize;
        uint32_t eraseSizeValue;
        uint32_t imageSize;
        uint32_t commands;
        uint32_t eraseValue;
    };
    // The file holds 0x1000 bytes.
    const Case cases[] = {
        {L"UBIFS", L"", 0, 0x40000, 0x33, 0x40000},          // no erase size: the image size
        {L"RAW_LZMA", L"0x100", 0x100, 0x40000, 0xC3, 0x1000},  // never below the file
        {L"YAFFS", L"0x80000", 0x80000, 0, 0x23, 0x80000},
        {L"ubifs", L"", 0, 0, 0x3, 0x1000},  // unknown types carry data only
        {L"", L"", 0, 0, 0x3, 0x1000},
    };
    for (const Case& c : cases) {
        ImageList images;
        CImageDescription& image = AddImage(images, "OSLO", "0x00100000", std::string(0x1000, 'x'));
        image.SetImageType(c.type);
        image.SetEraseSize(c.eraseSize);
        image.EraseSizeValue = c.eraseSizeValue;
        image.ImageSize = c.imageSize;
        image.PartitionNumber = 2;
        image.TimIncluded = 1;
        ASSERT_EQ(Packaged("[Flash_Properties]\nFlash_Family = eMMC\n", images).size(), 1u);
        const CFlasherBinary& b = *m_Binaries.front();
        EXPECT_EQ(b.m_Commands, c.commands) << testing::PrintToString(c.type);
        EXPECT_EQ(b.m_EraseSize, c.eraseValue) << testing::PrintToString(c.type);
        EXPECT_EQ(b.m_Type, c.type);
        EXPECT_EQ(b.m_ImageId, 0x4F534C4Fu);  // "OSLO"
        EXPECT_EQ(b.m_Partition, 2);
        EXPECT_EQ(b.m_ImageInTim, 1);
        EXPECT_EQ(b.m_SectorSize, kSector);
        EXPECT_EQ(b.m_DeviceKind, 10);
    }
}

TEST_F(FlashDeviceTest, AnImageThatCannotBeOpenedStopsTheList)
{
    const std::wstring layout = Layout("[Flash_Properties]\nFlash_Family = eMMC\n");
    for (const std::wstring& path : {Wide(m_Folder.File("missing.bin")), Wide(m_Folder.Path()), std::wstring()}) {
        ImageList images;
        AddImage(images, "BAD1", "0x00100000").SetImagePath(path);
        AddImage(images, "GOOD", "0x00200000");
        CFlashDevice device(10, layout, kSector, 0, 0, 0, 0, 0);
        BinaryList binaries;
        MessageBoxes boxes;
        const Outcome o = Capture([&] { return device.AddImages(L"eMMC", layout, binaries, images, 0x20000); });
        EXPECT_FALSE(o.result);
        EXPECT_EQ(boxes.texts, std::vector<std::wstring>{L"Unable to open file: " + path});
        ASSERT_EQ(binaries.size(), 1u);  // the images before it in entry order
        EXPECT_EQ(binaries.front()->m_Path, Wide(m_Folder.File("GOOD")));
    }
}

TEST_F(FlashDeviceTest, AnImageTooLargeForAPackageIsReported)
{
    const std::string big = m_Folder.File("BIGG");
    WriteFile(big, "");
    ASSERT_EQ(truncate(big.c_str(), 0x100000000LL), 0);  // sparse: nothing is read
    ImageList images;
    CImageDescription& image = AddImage(images, "OSLO", "0x00100000");
    image.SetImagePath(Wide(big));
    const std::wstring layout = Layout("[Flash_Properties]\nFlash_Family = eMMC\n");
    CFlashDevice device(10, layout, kSector, 0, 0, 0, 0, 0);
    BinaryList binaries;
    const Outcome o = Capture([&] { return device.AddImages(L"eMMC", layout, binaries, images, 0x20000); });
    EXPECT_FALSE(o.result);
    EXPECT_TRUE(binaries.empty());
    EXPECT_NE(o.out.find("Error: Image file is too large for a package: " + big), std::string::npos) << o.out;
}

// ---------------------------------------------------------------------------

TEST_F(FlashDeviceTest, AssignsRunsLengthsAndChecksums)
{
    const std::string abcde = "ABCDE";
    const std::string full = Pattern(kSector, 1);
    const std::string longer = Pattern(kSector + 1, 2);
    BinaryList binaries;
    binaries.push_back(Binary("d", abcde));
    binaries.push_back(Binary("e", ""));
    binaries.push_back(std::make_unique<CFlasherBinary>(L"", L"ERASEONLY", 0, 10, 0, 0, 0, kSector, 0u, -1, -1, 0,
                                                        0x40000u, 0u));
    binaries.push_back(Binary("c", full));
    binaries.push_back(Binary("a", longer));
    binaries.push_back(nullptr);  // ignored
    std::vector<const CFlasherBinary*> raw;
    for (const auto& b : binaries) raw.push_back(b.get());

    std::unique_ptr<CFlashDevice> device = Device("[Flash_Properties]\nFlash_Family = eMMC\n");
    ASSERT_TRUE(device);
    device->AttachBinaries(binaries);
    for (const auto& b : binaries) EXPECT_FALSE(b) << "every binary is taken over";
    uint32_t counter = 1;
    const Outcome o = Capture([&] { return device->AssignSectors(counter); });
    ASSERT_TRUE(o.result) << o.out;
    EXPECT_EQ(counter, 5u);
    ASSERT_EQ(device->ImageCount(), 5u);
    EXPECT_EQ(device->Header().nOfImages, 5u);

    struct Expected {
        uint32_t first;
        uint32_t length;
        uint32_t checksum;
        uint32_t commands;
    };
    const Expected expected[] = {
        {1, 8, 0xBBBCBD04u, 3},  // "ABCD" ^ "E" + three 0xFF
        {2, 0, 0, 3},            // no run: the next image's sector
        {0, 0, 0, 0},            // no data at all
        {2, kSector, XorWords(full, kSector), 3},
        {3, kSector + 4, XorWords(longer, kSector + 4), 3},
    };
    const std::vector<KXP_ImageEntry> entries = Entries(*device);
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].First_Sector, expected[i].first) << i;
        EXPECT_EQ(entries[i].length, expected[i].length) << i;
        EXPECT_EQ(entries[i].ChecksumFormatVersion2, expected[i].checksum) << i;
        EXPECT_EQ(entries[i].commands, expected[i].commands) << i;
    }
    EXPECT_EQ(entries[2].Flash_erase_size, 0x40000u);
    EXPECT_EQ(raw[0]->m_LastSector, 1u);
    EXPECT_EQ(raw[3]->m_LastSector, 2u);
    EXPECT_EQ(raw[4]->m_LastSector, 4u);
    EXPECT_EQ(device->SumLengths(kKxpCommandData1 | kKxpCommandData2 | kKxpCommandData4), 8u + kSector + kSector + 4);
}

TEST_F(FlashDeviceTest, LengthSumsFollowTheCommandBits)
{
    BinaryList binaries;
    binaries.push_back(Binary("one", std::string(4, 'a'), kKxpCommandData1));
    binaries.push_back(Binary("two", std::string(40, 'b'), kKxpCommandData2));
    binaries.push_back(Binary("four", std::string(400, 'c'), kKxpCommandData4));
    std::unique_ptr<CFlashDevice> device = Device("[Flash_Properties]\n");
    ASSERT_TRUE(device);
    device->AttachBinaries(binaries);
    uint32_t counter = 1;
    ASSERT_TRUE(Capture([&] { return device->AssignSectors(counter); }).result);
    EXPECT_EQ(device->SumLengths(kKxpCommandData1), 4u);
    EXPECT_EQ(device->SumLengths(kKxpCommandData2), 40u);
    EXPECT_EQ(device->SumLengths(kKxpCommandData1 | kKxpCommandData2 | kKxpCommandData4), 444u);
    EXPECT_EQ(counter, 3u);  // bit 4 alone has no run
}

TEST_F(FlashDeviceTest, PackageMustEndBelowFourGiB)
{
    struct Case {
        uint32_t counter;
        size_t length;
        bool ok;
    };
    // Sector 0x80000 would start at 4 GiB.
    const Case cases[] = {
        {0x7FFFE, 1, true},
        {0x7FFFF, 1, false},
        {0x7FFFD, kSector + 1, true},
        {0x7FFFE, kSector + 1, false},
        {0x7FFFF, 0, true},  // an empty image needs no sector
        {0xFFFFFFFFu, 1, false},
    };
    for (const Case& c : cases) {
        BinaryList binaries;
        binaries.push_back(Binary("img", std::string(c.length, 'z')));
        std::unique_ptr<CFlashDevice> device = Device("[Flash_Properties]\n");
        ASSERT_TRUE(device);
        device->AttachBinaries(binaries);
        uint32_t counter = c.counter;
        const Outcome o = Capture([&] { return device->AssignSectors(counter); });
        EXPECT_EQ(o.result, c.ok) << std::hex << c.counter << " " << c.length;
        if (!c.ok) {
            EXPECT_EQ(o.out, "The images are too large for one package.\n");
        }
    }
}

TEST_F(FlashDeviceTest, AnImageThatCannotBeReadFailsTheLayout)
{
    BinaryList binaries;
    // The file shrinks after it was opened: its bytes can no longer be read
    // (more of them than the stream may have buffered).
    binaries.push_back(Binary("gone", std::string(0x10000, 'g')));
    ASSERT_EQ(truncate(m_Folder.File("gone").c_str(), 0), 0);
    std::unique_ptr<CFlashDevice> device = Device("[Flash_Properties]\n");
    ASSERT_TRUE(device);
    device->AttachBinaries(binaries);
    uint32_t counter = 1;
    const Outcome o = Capture([&] { return device->AssignSectors(counter); });
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Unable to read file: " + m_Folder.File("gone") + "\n");
}

}  // namespace

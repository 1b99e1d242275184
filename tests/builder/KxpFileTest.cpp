#include "builder/KxpFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "builder/FlasherBinary.h"
#include "builder/KxpFormat.h"
#include "builder/VirtualFileStore.h"
#include "common/platform/Console.h"
#include "support/CallCapture.h"
#include "support/MasterHeader.h"
#include "support/PackageBytes.h"
#include "support/TestSupport.h"
#include "timlib/ImageDescription.h"

using testsupport::ExpectMasterHeader;
using testsupport::MessageBoxes;
using testsupport::Le16;
using testsupport::Le32;
using testsupport::XorWords;
using testsupport::Pattern;

namespace {

using testsupport::Capture;
using testsupport::Outcome;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

constexpr uint32_t kSector = 8192;
constexpr size_t kDevice = 76;
constexpr size_t kEntries = 320;

const std::string kLayout =
    "[TIM_Configuration]\nProcessor_Type = NLT122_A0\n"
    "[Flash_Properties]\nFlash_Family = eMMC\n";

// The data's run in the package: whole sectors, 0xFF behind the data.
std::string SectorRun(const std::string& data)
{
    std::string run = data;
    run.resize((data.size() + kSector - 1) / kSector * kSector, '\xFF');
    return run;
}

TEST(PlatformIndexTest, ExactProcessorNames)
{
    struct Case {
        std::wstring processor;
        int index;  // -1: unknown
    };
    const Case cases[] = {
        {L"NLT07x", 0},     {L"NLT07X", 0},   {L"NLT105", 0},  {L"NLT115", 0},   {L"NLT111", 0},
        {L"NLT116", 0},     {L"NLT112", 8},   {L"NLT113", 9},  {L"NLT122", 10},  {L"NLT121", 11},
        {L"NLT117", 12},    {L"NLT114", 13},  {L"NLT118", 15}, {L"NLT119", 16},  {L"NLT123", 17},
        {L"NLT124", 18},    {L"NLT120", 19},  {L"NLT122_A0", 14},
        // Compared exactly: case and blanks count.
        {L"nlt122", -1},    {L" NLT122", -1}, {L"NLT122 ", -1}, {L"NLT122_A", -1}, {L"NLT12", -1},
        {L"", -1},          {L"NOT AVAILABLE", -1},
    };
    for (const Case& c : cases) {
        uint8_t index = 0xEE;
        const bool known = GetPlatformIndex(c.processor, index);
        EXPECT_EQ(known, c.index >= 0) << testing::PrintToString(c.processor);
        if (known) {
            EXPECT_EQ(index, c.index) << testing::PrintToString(c.processor);
        }
    }
}

class KxpFileTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (m_StoreOpen) {
            g_VirtualFileStore.Close();
        }
    }

    std::wstring LayoutPath() const { return Wide(m_Folder.File("layout.blf")); }
    void Layout(const std::string& text) { WriteFile(m_Folder.File("layout.blf"), text); }

    CImageDescription& AddImage(ImageList& list, const std::string& tag, const std::string& bytes,
                                const std::string& entryAddress = "0x00100000")
    {
        WriteFile(m_Folder.File(tag), bytes);
        auto image = std::make_unique<CImageDescription>();
        image->SetIdName(Wide(tag));
        image->SetFlashEntryAddress(Wide(entryAddress));
        image->SetFlashAddress(Wide(entryAddress));
        image->SetImagePath(Wide(m_Folder.File(tag)));
        image->Enable = true;
        list.push_back(std::move(image));
        return *list.back();
    }

    // A new writer for the layout file with the device added.
    Outcome Add(const ImageList& images, uint32_t eraseAllFlash = 0, uint8_t resetBbt = 0, uint16_t nandId = 0,
                uint32_t productionMode = 0)
    {
        m_Writer = std::make_unique<CKXP_File>(LayoutPath());
        m_Writer->SetSectorSize(kSector);
        return Capture([&] {
            return m_Writer->AddDevice(&m_Binaries, images, EraseOnlyList{}, eraseAllFlash, resetBbt, nandId,
                                       productionMode);
        });
    }

    uint32_t LayOut(std::string* out = nullptr)
    {
        uint32_t length = 0;
        const Outcome o = Capture([&] {
            length = m_Writer->createVirtualKXP(&m_Binaries);
            return true;
        });
        if (out) *out = o.out;
        return length;
    }

    // Dumps into a private store and copies the package out.
    bool Dump(std::string& package, std::string* out = nullptr)
    {
        const std::string store = m_Folder.File("store");
        mkdir(store.c_str(), 0700);
        g_VirtualFileStore.Reset();
        EXPECT_TRUE(g_VirtualFileStore.Open(Wide(store).c_str(), L"wb"));
        m_StoreOpen = true;
        const std::string name = m_Folder.File("kxp.bin");
        const Outcome o = Capture([&] { return m_Writer->DumpToFile(Wide(name), L""); });
        if (out) *out = o.out;
        const bool copied = g_VirtualFileStore.CopyOut(Wide(name));
        g_VirtualFileStore.Close();
        m_StoreOpen = false;
        package = ReadFile(name);
        return o.result && copied;
    }

    const std::vector<uint8_t>& Header() const { return m_Writer->HeaderBuffer(); }
    KXP_ImageEntry Entry(size_t i) const { return KXP_ImageEntry::Load(Header().data() + kEntries + 52 * i); }
    std::string HeaderBytes() const { return std::string(Header().begin(), Header().end()); }

    TempFolder m_Folder;
    BinaryList m_Binaries;
    std::unique_ptr<CKXP_File> m_Writer;
    bool m_StoreOpen = false;
};

TEST_F(KxpFileTest, UnknownProcessorIsRefused)
{
    for (const char* timConfiguration :
         {"Processor_Type = nlt122\n", "Processor_Type = NLT122X\n", "Processor_Type =\n", "Number_of_Images = 0\n"}) {
        Layout(std::string("[TIM_Configuration]\n") + timConfiguration + "[Flash_Properties]\nFlash_Family = eMMC\n");
        const Outcome o = Add(ImageList{});
        EXPECT_TRUE(o.thrown) << timConfiguration;
        EXPECT_EQ(o.message, L"unknown platform") << timConfiguration;
    }

    Layout("[TIM_Configuration]\nProcessor_Type = NLT120\n");
    ASSERT_TRUE(Add(ImageList{}).result);
    EXPECT_EQ(LayOut(), 1u);
    EXPECT_EQ(Header()[kDevice + 229], 19);
}

// Four images A (8193 bytes), B (empty), C (one sector), D ("ABCDE") give
// entries D, C, B, A.
class KxpFileFourImagesTest : public KxpFileTest {
protected:
    void SetUp() override
    {
        Layout(
            "[TIM_Configuration]\nProcessor_Type = NLT122_A0\n"
            "[Flash_Properties]\n"
            "Flash_Family = eMMC\n"
            "Spare_Area_Size = 0x12340\n"
            "Skip_Blocks_Number = 7, 9-10\n"
            "[UE_Options]\nUE_Boot_Option = 0x1FF\n"
            "[Reserved_Data]\nBBCS\nEnabled = 1\nEnd_BBCS\n[End_Reserved_Data]\n");
        CImageDescription& a = AddImage(m_Images, "AAAA", m_A, "0x00400000");
        a.PartitionNumber = 2;
        a.TimIncluded = 1;
        a.SetImageType(L"UBIFS");
        AddImage(m_Images, "BBBB", "", "0x00300000");
        AddImage(m_Images, "CCCC", m_C, "0x00200000").ImageSize = 0x40000;
        AddImage(m_Images, "DDDD", "ABCDE", "0x00100000");
        const Outcome o = Add(m_Images, 1, 0x12, 0xBEEF, 4);
        ASSERT_TRUE(o.result) << o.out << testing::PrintToString(o.message);
    }

    const std::string m_A = Pattern(kSector + 1, 1);
    const std::string m_C = Pattern(kSector, 2);
    ImageList m_Images;
};

TEST_F(KxpFileFourImagesTest, HeaderSector)
{
    const uint32_t total = 8 + kSector + 0 + (kSector + 4);
    ASSERT_EQ(LayOut(), total);
    const std::vector<uint8_t>& h = Header();
    ASSERT_EQ(h.size(), kSector);

    ExpectMasterHeader(h, {std::string(12, '\0'), 0x2340, kSector, total, 4});

    // Device header.
    EXPECT_EQ(Le32(h, kDevice + 0), 0u);
    EXPECT_EQ(Le32(h, kDevice + 68), 1u);
    EXPECT_EQ(Le32(h, kDevice + 72), 0x12u);
    EXPECT_EQ(Le32(h, kDevice + 76), 0xBEEFu);
    EXPECT_EQ(Le32(h, kDevice + 92), 3u);
    EXPECT_EQ(Le32(h, kDevice + 96), 7u);
    EXPECT_EQ(Le32(h, kDevice + 100), 9u);
    EXPECT_EQ(Le32(h, kDevice + 104), 10u);
    EXPECT_EQ(Le32(h, kDevice + 108), 0u);
    EXPECT_EQ(Le32(h, kDevice + 224), 4u);
    EXPECT_EQ(h[kDevice + 228], 0xFF);  // UE_Boot_Option, low 8 bits
    EXPECT_EQ(h[kDevice + 229], 14);
    EXPECT_EQ(h[kDevice + 230], 1);
    EXPECT_EQ(h[kDevice + 231], 0);
    EXPECT_EQ(Le32(h, kDevice + 232), 0u);
    EXPECT_EQ(Le32(h, kDevice + 240), 4u);

    // Entries, in reverse list order.
    struct Expected {
        uint32_t id;
        uint32_t first;
        uint32_t length;
        uint32_t start;
        uint32_t checksum;
        uint32_t commands;
        uint32_t erase;
    };
    const Expected expected[] = {
        {0x44444444, 1, 8, 0x00100000, 0xBBBCBD04u, 0x3, 5},
        {0x43434343, 2, kSector, 0x00200000, XorWords(m_C, kSector), 0x3, 0x40000},
        {0x42424242, 3, 0, 0x00300000, 0, 0x3, 0},  // no run: the next image's sector
        {0x41414141, 3, kSector + 4, 0x00400000, XorWords(m_A, kSector + 4), 0x33, kSector + 1},
    };
    for (size_t i = 0; i < 4; ++i) {
        const KXP_ImageEntry e = Entry(i);
        EXPECT_EQ(e.Image_ID, expected[i].id) << i;
        EXPECT_EQ(e.First_Sector, expected[i].first) << i;
        EXPECT_EQ(e.length, expected[i].length) << i;
        EXPECT_EQ(e.Flash_Start_Address, expected[i].start) << i;
        EXPECT_EQ(e.ChecksumFormatVersion2, expected[i].checksum) << i;
        EXPECT_EQ(e.commands, expected[i].commands) << i;
        EXPECT_EQ(e.Flash_erase_size, expected[i].erase) << i;
        EXPECT_EQ(std::string(e.Reserved, e.Reserved + 16), std::string(16, '\0')) << i;
    }
    EXPECT_EQ(Entry(3).Flash_partition, 2u);
    EXPECT_EQ(Entry(3).Image_In_TIM, 1u);
    EXPECT_EQ(Entry(0).Flash_partition, 0u);

    // Nothing behind the last entry.
    EXPECT_EQ(std::string(h.begin() + kEntries + 52 * 4, h.end()), std::string(kSector - kEntries - 52 * 4, '\0'));
}

TEST_F(KxpFileFourImagesTest, DumpIsTheHeaderSectorFollowedByTheRuns)
{
    ASSERT_NE(LayOut(), 0u);
    const std::string header = HeaderBytes();

    std::vector<uint8_t> block(size_t(CFlasherBinary::kSectorsPerBlock) * kSector);
    EXPECT_EQ(m_Writer->FillBlock(0, block.data()), 1);
    EXPECT_EQ(std::string(block.begin(), block.begin() + kSector), header);
    EXPECT_EQ(m_Writer->FillBlock(2, block.data()), 0);

    std::string package;
    std::string out;
    ASSERT_TRUE(Dump(package, &out)) << out;
    // C and B are the middle images, written with the interleaved write.
    const std::string expected = header + SectorRun("ABCDE") + SectorRun(m_C) + SectorRun(m_A);
    ASSERT_EQ(package.size(), expected.size());
    EXPECT_TRUE(package == expected);
    EXPECT_EQ(HeaderBytes(), header);
    EXPECT_EQ(out.rfind("\ndump to kxp file\n", 0), 0u) << out;
    EXPECT_NE(out.find("Finish to dump to kxp file\n"), std::string::npos) << out;
}

TEST_F(KxpFileTest, NothingPackagedGivesTheHeaderSectorAlone)
{
    struct Case {
        const char* name;
        std::string layout;
        std::function<void(ImageList&)> images;
    };
    const Case cases[] = {
        {"no image", kLayout, [](ImageList&) {}},
        {"all disabled", kLayout,
         [this](ImageList& l) {
             AddImage(l, "AAAA", "data").Enable = false;
             AddImage(l, "BBBB", "data").Enable = false;
         }},
        // Without Flash_Block_Size a NAND block is 0x20000 bytes.
        {"all in the first NAND block",
         "[TIM_Configuration]\nProcessor_Type = NLT122\n[Flash_Properties]\nFlash_Family = NAND\n",
         [this](ImageList& l) {
             AddImage(l, "OSLO", "data", "0x00000000");
             AddImage(l, "OBMI", "data", "0x0001F000");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layout(c.layout);
        ImageList images;
        c.images(images);
        m_Binaries.clear();
        ASSERT_TRUE(Add(images).result);
        EXPECT_TRUE(m_Binaries.empty());
        ASSERT_EQ(LayOut(), 1u);
        const std::vector<uint8_t>& h = Header();
        EXPECT_EQ(Le32(h, 0x24), 0u);
        EXPECT_EQ(Le32(h, 0x28), 0u);
        EXPECT_EQ(Le32(h, 0x2C), 0u);
        EXPECT_EQ(Le32(h, 0x3C), 76u);
        EXPECT_EQ(Le32(h, 0x40), 320u);
        EXPECT_EQ(Le32(h, kDevice + 240), 0u);
        std::string package;
        ASSERT_TRUE(Dump(package));
        EXPECT_EQ(package.size(), kSector);
        EXPECT_TRUE(package == HeaderBytes());
    }

    // Without a binary list the device takes no images.
    Layout(kLayout);
    m_Writer = std::make_unique<CKXP_File>(LayoutPath());
    m_Writer->SetSectorSize(kSector);
    ImageList images;
    AddImage(images, "AAAA", "data");
    ASSERT_TRUE(Capture([&] { return m_Writer->AddDevice(nullptr, images, {}, 0, 0, 0, 0); }).result);
    uint32_t length = 0;
    Capture([&] {
        length = m_Writer->createVirtualKXP(nullptr);
        return true;
    });
    EXPECT_EQ(length, 1u);
}

TEST_F(KxpFileTest, ImagesThatAreAllEmptyFail)
{
    Layout(kLayout);
    ImageList images;
    AddImage(images, "AAAA", "");
    AddImage(images, "BBBB", "");
    ASSERT_TRUE(Add(images).result);
    EXPECT_EQ(LayOut(), 0u);
}

TEST_F(KxpFileTest, EntriesMustFitTheHeaderSector)
{
    // 320 + 52 * 151 = 8172 bytes fit, one entry more does not.
    Layout(kLayout);
    WriteFile(m_Folder.File("empty"), "");
    for (const size_t count : {size_t(151), size_t(152)}) {
        ImageList images;
        AddImage(images, "DATA", "1234");
        for (size_t i = 1; i < count; ++i) {
            images.push_back(std::make_unique<CImageDescription>(*images.back()));
            images.back()->SetImagePath(Wide(m_Folder.File("empty")));
        }
        m_Binaries.clear();
        ASSERT_TRUE(Add(images).result);
        std::string out;
        const uint32_t length = LayOut(&out);
        if (count == 151) {
            EXPECT_EQ(length, 4u);
            EXPECT_EQ(Le32(Header(), 0x40), 8172u);
            EXPECT_EQ(Le32(Header(), kDevice + 240), 151u);
        } else {
            EXPECT_EQ(length, 0u);
            EXPECT_NE(out.find("the image entries do not fit into the header sector"), std::string::npos) << out;
        }
    }
}

TEST_F(KxpFileTest, SectorSizeChangedAfterAddingTheDeviceIsRefused)
{
    // The header sector was made for 4096 bytes; 100 entries need more,
    // and must not be written past it.
    Layout(kLayout);
    ImageList images;
    AddImage(images, "DATA", "1234");
    for (size_t i = 1; i < 100; ++i) {
        images.push_back(std::make_unique<CImageDescription>(*images.back()));
    }
    m_Writer = std::make_unique<CKXP_File>(LayoutPath());
    ASSERT_TRUE(Capture([&] {
                    return m_Writer->AddDevice(&m_Binaries, images, EraseOnlyList{}, 0, 0, 0, 0);
                }).result);
    m_Writer->SetSectorSize(kSector);
    EXPECT_EQ(LayOut(), 0u);
}

TEST_F(KxpFileTest, NandLayoutWithoutBlockSize)
{
    Layout("[TIM_Configuration]\nProcessor_Type = NLT122\n[Flash_Properties]\nFlash_Family = NAND\n");
    ImageList images;
    AddImage(images, "TIMH", "tim!", "0x00000000");
    AddImage(images, "OBMI", "obm!", "0x00010000");
    AddImage(images, "OSLO", "oslo", "0x00000000");
    AddImage(images, "UBIX", "ubi!", "0x00020000").SetImageType(L"UBIFS");
    AddImage(images, "OBM2", "obm2", "0x00020000");
    ASSERT_TRUE(Add(images).result);
    ASSERT_EQ(LayOut(), 12u);
    EXPECT_EQ(Le32(Header(), kDevice + 240), 3u);
    EXPECT_EQ(Entry(0).Image_ID, 0x4F424D32u);  // OBM2
    EXPECT_EQ(Entry(1).Image_ID, 0x55424958u);  // UBIX
    EXPECT_EQ(Entry(1).commands, 0x33u);
    EXPECT_EQ(Entry(2).Image_ID, 0x54494D48u);  // TIMH
    EXPECT_EQ(Entry(2).First_Sector, 3u);
    EXPECT_EQ(Le16(Header(), 0x18), 0xFFFFu);  // no Spare_Area_Size
}

TEST_F(KxpFileTest, AnImageThatCannotBeOpenedFailsTheDevice)
{
    Layout(kLayout);
    ImageList images;
    AddImage(images, "AAAA", "data").SetImagePath(Wide(m_Folder.File("missing.bin")));
    MessageBoxes boxes;
    const Outcome o = Add(images);
    EXPECT_FALSE(o.result);
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(boxes.texts, std::vector<std::wstring>{L"Unable to open file: " + Wide(m_Folder.File("missing.bin"))});
    EXPECT_EQ(LayOut(), 0u);  // no device was added
}

TEST_F(KxpFileTest, ImagesThatCannotBePackaged)
{
    Layout(kLayout);
    std::string out;
    {
        // One sector more than a package below 4 GiB can hold; sparse, so
        // nothing is read before the layout gives up.
        ImageList images;
        AddImage(images, "HUGE", "");
        ASSERT_EQ(truncate(m_Folder.File("HUGE").c_str(), 0xFFFFC001LL), 0);
        ASSERT_TRUE(Add(images).result);
        EXPECT_EQ(LayOut(&out), 0u);
        EXPECT_NE(out.find("The images are too large for one package.\n"), std::string::npos) << out;
    }
    // An image that shrank after it was added, once before the layout and
    // once before the dump.
    for (const bool beforeLayout : {true, false}) {
        SCOPED_TRACE(beforeLayout ? "before the layout" : "before the dump");
        m_Writer.reset();
        m_Binaries.clear();
        ImageList images;
        AddImage(images, "AAAA", Pattern(0x10000, 3));
        AddImage(images, "BBBB", Pattern(100, 4));
        ASSERT_TRUE(Add(images).result);
        if (beforeLayout) {
            ASSERT_EQ(truncate(m_Folder.File("AAAA").c_str(), 0), 0);
            EXPECT_EQ(LayOut(&out), 0u);
            EXPECT_NE(out.find("Unable to read file: " + m_Folder.File("AAAA")), std::string::npos) << out;
        } else {
            ASSERT_NE(LayOut(), 0u);
            ASSERT_EQ(truncate(m_Folder.File("AAAA").c_str(), 0), 0);
            std::string package;
            EXPECT_FALSE(Dump(package, &out));
            EXPECT_NE(out.find("Unable to read file: " + m_Folder.File("AAAA")), std::string::npos) << out;
            EXPECT_EQ(out.find("Finish to dump"), std::string::npos) << out;
        }
    }
}

TEST_F(KxpFileTest, DumpFailures)
{
    Layout(kLayout);
    ImageList images;
    AddImage(images, "AAAA", "data");

    // Before any device: no header sector to write.
    m_Writer = std::make_unique<CKXP_File>(LayoutPath());
    m_Writer->SetSectorSize(kSector);
    EXPECT_FALSE(Capture([&] { return m_Writer->DumpToFile(Wide(m_Folder.File("kxp.bin")), L""); }).result);

    // A store that cannot be written.
    ASSERT_TRUE(Add(images).result);
    ASSERT_EQ(LayOut(), 4u);
    const std::string missing = m_Folder.File("no-such-folder");
    g_VirtualFileStore.Reset();
    EXPECT_FALSE(g_VirtualFileStore.Open(Wide(missing).c_str(), L"wb"));
    m_StoreOpen = true;
    const Outcome o = Capture([&] { return m_Writer->DumpToFile(Wide(m_Folder.File("kxp.bin")), L""); });
    EXPECT_FALSE(o.result);
    EXPECT_NE(o.out.find("Unable to write file: " + missing + "/BinFile.bin"), std::string::npos) << o.out;
    g_VirtualFileStore.Close();
    m_StoreOpen = false;

    // A sector size changed after the header sector was made.
    m_Writer->SetSectorSize(4096);
    EXPECT_FALSE(Capture([&] { return m_Writer->DumpToFile(Wide(m_Folder.File("kxp.bin")), L""); }).result);
}

}  // namespace

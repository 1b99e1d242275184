// Splitting images into part files: the part table (names, addresses,
// sizes, erase sizes), the part bytes, and the refusals.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "builder/ImageFileNames.h"
#include "builder/ImageSplit.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/TestSupport.h"

using testsupport::Capture;
using testsupport::FileExists;
using testsupport::MessageBoxes;
using testsupport::Pattern;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

namespace {

constexpr uint32_t kMiB = 0x100000;

struct Fixture {
    TempFolder folder;
    std::string temp;
    CTimDescriptor descriptor;

    Fixture() : temp(folder.File("temp")) { mkdir(temp.c_str(), 0777); }

    // Adds an image whose file holds bytes, at the entry address.
    CImageDescription& Add(const std::string& path, const std::string& bytes, const std::wstring& entry,
                           uint32_t erase = 0, bool enable = true)
    {
        if (!bytes.empty() || !path.empty()) {
            WriteFile(path, bytes);
        }
        auto image = std::make_unique<CImageDescription>();
        image->SetIdName(L"KRNL");
        image->SetImagePath(Wide(path));
        image->SetFlashEntryAddress(entry);
        image->SetFlashAddress(entry);
        image->SetImageType(L"RAW");
        image->EraseSizeValue = erase;
        image->EraseSize = CTimLib::FormatHex32(erase);
        image->ImageSize = static_cast<uint32_t>(bytes.size());
        image->Enable = enable;
        descriptor.m_Images.push_back(std::move(image));
        return *descriptor.m_Images.back();
    }

    testsupport::Outcome Split(uint32_t size, bool sectorAddresses = false)
    {
        return Capture([&] { return SplitImages(descriptor, size, Wide(temp), sectorAddresses); });
    }

    std::vector<const CImageDescription*> Images() const
    {
        std::vector<const CImageDescription*> list;
        for (const auto& image : descriptor.m_Images) list.push_back(image.get());
        return list;
    }
};

struct Part {
    std::string name;
    const wchar_t* flashAddress;
    uint32_t size;
    const wchar_t* eraseSize;
};

void ExpectParts(const Fixture& f, const std::string& source, const std::vector<Part>& expected)
{
    const auto images = f.Images();
    ASSERT_EQ(images.size(), expected.size());
    size_t offset = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        const CImageDescription& part = *images[i];
        EXPECT_EQ(part.ImagePath, Wide(f.temp + "/" + expected[i].name));
        EXPECT_EQ(part.FlashAddress, expected[i].flashAddress);
        EXPECT_EQ(part.ImageSize, expected[i].size);
        EXPECT_EQ(part.EraseSize, expected[i].eraseSize);
        EXPECT_EQ(part.EraseSizeValue, CTimLib::ParseUInt32(expected[i].eraseSize));
        EXPECT_TRUE(part.Changed);
        // Every other field is the whole image's.
        EXPECT_EQ(part.IdName, L"KRNL");
        EXPECT_EQ(part.ImageType, L"RAW");
        EXPECT_TRUE(part.Enable);
        EXPECT_TRUE(ReadFile(f.temp + "/" + expected[i].name) == source.substr(offset, expected[i].size));
        offset += expected[i].size;
    }
    EXPECT_EQ(offset, source.size());
}

TEST(SplitImagesTest, ImagesUpToTheSplitSizeStayWhole)
{
    Fixture f;
    const std::string exact = Pattern(0x20000, 1);
    f.Add(f.folder.File("exact.bin"), exact, L"0x00100000", 0x30000);
    f.Add(f.folder.File("off.bin"), "x", L"0x00300000", 0, false);
    f.Add(f.folder.File("empty.bin"), "", L"0x00400000");
    const auto out = f.Split(0x20000);
    ASSERT_TRUE(out.result) << out.out;
    const auto images = f.Images();
    ASSERT_EQ(images.size(), 2u);  // the disabled image is dropped
    EXPECT_EQ(images[0]->ImagePath, Wide(f.folder.File("exact.bin")));
    EXPECT_EQ(images[0]->FlashAddress, L"0x00100000");
    EXPECT_EQ(images[0]->EraseSize, L"0x00030000");
    EXPECT_EQ(images[1]->ImagePath, Wide(f.folder.File("empty.bin")));
}

TEST(SplitImagesTest, OneByteOverGivesAOneBytePart)
{
    Fixture f;
    const std::string bytes = Pattern(0x20001, 2);
    f.Add(f.folder.File("k.bin"), bytes, L"0x00100000", 0x40000);
    ASSERT_TRUE(f.Split(0x20000).result);
    ExpectParts(f, bytes,
                {{"1_k.bin", L"0x0000100000", 0x20000, L"0x00020000"},
                 {"2_k.bin", L"0x0000120000", 1, L"0x00020000"}});
}

TEST(SplitImagesTest, PartsTakeTheirShareOfTheEraseSize)
{
    const std::string bytes = Pattern(10 * kMiB, 3);
    struct Case {
        uint32_t erase;
        const wchar_t* eraseSizes[3];
    };
    for (const Case& c : {Case{0x00A00000, {L"0x00400000", L"0x00400000", L"0x00200000"}},
                          Case{0, {L"0x00400000", L"0x00400000", L"0x00000000"}},
                          Case{0x00500000, {L"0x00400000", L"0x00400000", L"0x00000000"}}}) {
        SCOPED_TRACE(c.erase);
        Fixture f;
        f.Add(f.folder.File("rootfs.img"), bytes, L"0x01000000", c.erase);
        const auto out = f.Split(4 * kMiB);
        ASSERT_TRUE(out.result) << out.out;
        ExpectParts(f, bytes,
                    {{"1_rootfs.img", L"0x0001000000", 4 * kMiB, c.eraseSizes[0]},
                     {"2_rootfs.img", L"0x0001400000", 4 * kMiB, c.eraseSizes[1]},
                     {"3_rootfs.img", L"0x0001800000", 2 * kMiB, c.eraseSizes[2]}});
    }
}

TEST(SplitImagesTest, PartsLargerThanTheCopyBlockAreWhole)
{
    Fixture f;
    const std::string bytes = Pattern(19 * kMiB + 5, 4);
    f.Add(f.folder.File("big.bin"), bytes, L"0x00000000", 0x1400000);
    f.Add(f.folder.File("small.bin"), "abc", L"0x02000000");
    ASSERT_TRUE(f.Split(9 * kMiB).result);
    const auto images = f.Images();
    ASSERT_EQ(images.size(), 4u);
    EXPECT_EQ(images[3]->ImagePath, Wide(f.folder.File("small.bin")));
    f.descriptor.m_Images.pop_back();
    ExpectParts(f, bytes,
                {{"1_big.bin", L"0x0000000000", 9 * kMiB, L"0x00900000"},
                 {"2_big.bin", L"0x0000900000", 9 * kMiB, L"0x00900000"},
                 {"3_big.bin", L"0x0001200000", kMiB + 5, L"0x00200000"}});
}

TEST(SplitImagesTest, ImagesWithOneFileNameGetTheirOwnParts)
{
    Fixture f;
    mkdir(f.folder.File("a").c_str(), 0777);
    mkdir(f.folder.File("b").c_str(), 0777);
    const std::string first = Pattern(0x30000, 5);
    const std::string second = Pattern(0x30000, 6);
    f.Add(f.folder.File("a/fs.bin"), first, L"0x00100000");
    f.Add(f.folder.File("b/fs.bin"), second, L"0x00200000");
    ASSERT_TRUE(f.Split(0x20000).result);
    const auto images = f.Images();
    ASSERT_EQ(images.size(), 4u);
    EXPECT_EQ(images[0]->ImagePath, Wide(f.temp + "/1_fs.bin"));
    EXPECT_EQ(images[2]->ImagePath, Wide(f.temp + "/1_fs(2).bin"));
    EXPECT_TRUE(ReadFile(f.temp + "/1_fs.bin") + ReadFile(f.temp + "/2_fs.bin") == first);
    EXPECT_TRUE(ReadFile(f.temp + "/1_fs(2).bin") + ReadFile(f.temp + "/2_fs(2).bin") == second);
}

TEST(SplitImagesTest, SectorAddressedLayoutsGiveSectorAddresses)
{
    Fixture f;
    const std::string bytes = Pattern(0x50000, 7);
    // As the reader leaves a 64-bit layout's image: FlashAddress in sectors.
    CImageDescription& image = f.Add(f.folder.File("k.bin"), bytes, L"0x0000200000");
    image.SetFlashEntrySector(L"0x00001000");
    image.SetFlashAddress(L"0x00001000");
    CImageDescription& boot = f.Add(f.folder.File("v.bin"), bytes, L"0x0000400000");
    boot.SetIdName(L"VKTI");
    boot.SetFlashEntrySector(L"0x00002000");
    ASSERT_TRUE(f.Split(0x20000, true).result);
    const auto images = f.Images();
    ASSERT_EQ(images.size(), 6u);
    const wchar_t* sectors[] = {L"0x00001000", L"0x00001100", L"0x00001200"};
    const wchar_t* bootAddresses[] = {L"0x0000400000", L"0x0000420000", L"0x0000440000"};
    const wchar_t* bootSectors[] = {L"0x00002000", L"0x00002100", L"0x00002200"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(images[i]->FlashAddress, sectors[i]) << i;
        EXPECT_EQ(images[i]->FlashEntrySector, sectors[i]) << i;
        EXPECT_EQ(images[3 + i]->FlashAddress, bootAddresses[i]) << i;
        EXPECT_EQ(images[3 + i]->FlashEntrySector, bootSectors[i]) << i;
    }
}

TEST(SplitImagesTest, RefusalsLeaveTheListAsItWas)
{
    struct Case {
        const char* name;
        uint32_t size;
        bool sectorAddresses;
        bool missingFile;
        bool missingTemp;
        std::string out;     // printed, "%s" standing for the first image's path
        std::wstring box;    // message box text, if any
    };
    const std::vector<Case> cases = {
        {"split size 0", 0, false, false, false, "Error: images cannot be split by a size of 0.\n", L""},
        {"missing image file", 0x20000, false, true, false, "Error: Can't open  %s file!\n", L""},
        {"part cannot be created", 0x20000, false, false, true, "",
         L"Save a.bin Blf file Failed,Errorcode:2"},
        {"sectors of a size that is no whole sector count", 0x20100 + 1, true, false, false,
         "Error: split size 0x20101 is not a whole number of 512-byte sectors, so the parts of %s cannot be "
         "addressed.\n",
         L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        const std::string path = f.folder.File("a.bin");
        f.Add(path, Pattern(0x50000, 8), L"0x00100000");
        f.Add(f.folder.File("off.bin"), "", L"0x00100000", 0, false);
        if (c.missingFile) {
            remove(path.c_str());
        }
        if (c.missingTemp) {
            rmdir(f.temp.c_str());
        }
        MessageBoxes boxes;
        const auto out = f.Split(c.size, c.sectorAddresses);
        EXPECT_FALSE(out.result);
        std::string expected = c.out;
        if (expected.find("%s") != std::string::npos) expected.replace(expected.find("%s"), 2, path);
        EXPECT_EQ(out.out, expected);
        if (c.box.empty()) {
            EXPECT_TRUE(boxes.texts.empty());
        } else {
            EXPECT_EQ(boxes.texts, std::vector<std::wstring>{c.box});
        }
        const auto images = f.Images();
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0]->ImagePath, Wide(path));
    }
}

TEST(ImageFileNamesTest, ANameIsHandedOutOnce)
{
    EXPECT_EQ(CImageFileNames::FileNameOf(L"/a/b/fs.bin"), L"fs.bin");
    EXPECT_EQ(CImageFileNames::FileNameOf(L"a\\b\\fs.bin"), L"fs.bin");
    EXPECT_EQ(CImageFileNames::FileNameOf(L"fs.bin"), L"fs.bin");
    CImageFileNames names;
    EXPECT_EQ(names.Claim(L"fs.bin"), L"fs.bin");
    EXPECT_EQ(names.Claim(L"fs.bin"), L"fs(2).bin");
    EXPECT_EQ(names.Claim(L"fs(2).bin"), L"fs(2)(2).bin");
    EXPECT_EQ(names.Claim(L"fs.bin"), L"fs(3).bin");
    EXPECT_EQ(names.Claim(L"FS.bin"), L"FS.bin");  // file names are case-sensitive here
    EXPECT_EQ(names.Claim(L".config"), L".config");
    EXPECT_EQ(names.Claim(L".config"), L".config(2)");
    EXPECT_EQ(names.Claim(L"noext"), L"noext");
    EXPECT_EQ(names.Claim(L"noext"), L"noext(2)");
}

}  // namespace

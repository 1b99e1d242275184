#include "timlib/ImageDescription.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Every field of both entries, one by one, so a failure names the field.
void ExpectSameFields(const CImageDescription& a, const CImageDescription& b)
{
    EXPECT_EQ(a.IdName, b.IdName);
    EXPECT_EQ(a.ImageId, b.ImageId);
    EXPECT_EQ(a.NextIdName, b.NextIdName);
    EXPECT_EQ(a.NextImageId, b.NextImageId);
    EXPECT_EQ(a.FlashAddress, b.FlashAddress);
    EXPECT_EQ(a.FlashEntryAddress, b.FlashEntryAddress);
    EXPECT_EQ(a.FlashEntrySector, b.FlashEntrySector);
    EXPECT_EQ(a.LoadAddress, b.LoadAddress);
    EXPECT_EQ(a.SizeToCrc, b.SizeToCrc);
    EXPECT_EQ(a.ImagePath, b.ImagePath);
    EXPECT_EQ(a.HashAlgorithmId, b.HashAlgorithmId);
    EXPECT_EQ(a.ImageSizeToHashText, b.ImageSizeToHashText);
    EXPECT_EQ(a.ImageSize, b.ImageSize);
    EXPECT_EQ(a.ImageSizeToHash, b.ImageSizeToHash);
    EXPECT_EQ(a.PartitionNumber, b.PartitionNumber);
    EXPECT_EQ(a.EraseSizeValue, b.EraseSizeValue);
    EXPECT_EQ(a.EraseSize, b.EraseSize);
    EXPECT_EQ(a.ImageType, b.ImageType);
    EXPECT_EQ(a.Changed, b.Changed);
    EXPECT_EQ(a.Enable, b.Enable);
    EXPECT_EQ(a.TimIncluded, b.TimIncluded);
}

// An entry with no field at its construction value.
CImageDescription FilledEntry()
{
    CImageDescription e;
    e.SetIdName(L"OBMI");
    e.SetNextImageId(L"0x54494D48");
    e.SetFlashAddress(L"0x00000200");
    e.SetFlashEntryAddress(L"0x0000040000");
    e.SetFlashEntrySector(L"0x00000200");
    e.SetLoadAddress(L"0xD1000000");
    e.SetSizeToCrc(L"16");
    e.SetImagePath(L"images/obm.bin");
    e.SetHashAlgorithmId(L"SHA-256");
    e.SetImageSizeToHash(L"0x100");
    e.SetEraseSize(L"0x20000");
    e.SetImageType(L"RAW_LZMA");
    e.ImageSize = 4096;
    e.ImageSizeToHash = 0x100;
    e.PartitionNumber = 3;
    e.EraseSizeValue = 0x20000;
    e.Enable = true;
    e.TimIncluded = 2;
    return e;
}

TEST(ImageDescriptionTest, ConstructorDefaults)
{
    const CImageDescription e;
    for (const std::wstring* text : {&e.IdName, &e.ImageId, &e.ImagePath, &e.HashAlgorithmId,
                                     &e.ImageSizeToHashText, &e.EraseSize, &e.ImageType}) {
        EXPECT_TRUE(text->empty()) << testing::PrintToString(*text);
    }
    EXPECT_EQ(e.NextIdName, L"<None>");
    EXPECT_EQ(e.NextImageId, L"0xFFFFFFFF");
    EXPECT_EQ(e.FlashAddress, L"0x00000000");
    EXPECT_EQ(e.FlashEntryAddress, L"0x0000000000");
    EXPECT_EQ(e.FlashEntrySector, L"0x00000000");
    EXPECT_EQ(e.LoadAddress, L"0x00000000");
    EXPECT_EQ(e.SizeToCrc, L"0");
    EXPECT_EQ(e.ImageSize, 0u);
    EXPECT_EQ(e.ImageSizeToHash, 0u);
    EXPECT_EQ(e.PartitionNumber, 0);
    EXPECT_EQ(e.EraseSizeValue, 0u);
    EXPECT_FALSE(e.Changed);
    EXPECT_FALSE(e.Enable);
    EXPECT_EQ(e.TimIncluded, 0);
}

TEST(ImageDescriptionTest, SetDefaultsKeepsEraseSizeAndFlags)
{
    CImageDescription e = FilledEntry();
    e.SetDefaults();
    CImageDescription expected;
    expected.EraseSize = L"0x20000";
    expected.Changed = true;
    expected.Enable = true;
    expected.TimIncluded = 2;
    ExpectSameFields(e, expected);
}

TEST(ImageDescriptionTest, CopyCarriesEveryField)
{
    const CImageDescription source = FilledEntry();
    const CImageDescription copy(source);
    ExpectSameFields(copy, source);
    CImageDescription assigned;
    assigned = source;
    ExpectSameFields(assigned, source);
}

// Tag to identifier and back, each way against the identifiers as the
// image list gives them: the identifier of a tag names the tag again, as
// the four characters of its value.
TEST(ImageDescriptionTest, SetIdNameDerivesImageIdAndTheIdGivesTheTagBack)
{
    struct Case {
        std::wstring tag;
        std::wstring imageId;
        std::wstring tagBack;
    };
    const std::vector<Case> cases = {
        {L"", L"0xFFFFFFFF", std::wstring(4, wchar_t(0xFFFF))},
        {L"<None>", L"0xFFFFFFFF", std::wstring(4, wchar_t(0xFFFF))},
        {L"USB", L"0x00555342", std::wstring(L"\0USB", 4)},
        {L"TIMH", L"0x54494D48", L"TIMH"},
        {L"OBMI", L"0x4F424D49", L"OBMI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.tag));
        CImageDescription e;
        e.SetIdName(c.tag);
        EXPECT_EQ(e.GetImageId(), c.imageId);
        EXPECT_TRUE(e.Changed);
        // The next image's fields belong to SetNextImageId alone.
        EXPECT_EQ(e.NextIdName, L"<None>");
        EXPECT_EQ(e.GetNextImageId(), L"0xFFFFFFFF");

        CImageDescription back;
        back.SetImageId(e.GetImageId());
        EXPECT_EQ(back.GetIdName(), c.tagBack);
    }
}

TEST(ImageDescriptionTest, IdTextDerivesFourCharacterTag)
{
    struct Case {
        std::wstring id;
        std::wstring tag;
    };
    const std::vector<Case> cases = {
        {L"0x54494D48", L"TIMH"},
        {L"0x4F424D49", L"OBMI"},
        {L"0x00555342", std::wstring(L"\0USB", 4)},
        {L"0x80000041", std::wstring{wchar_t(0xFF80), L'\0', L'\0', L'A'}},
        {L"NOT AVAILABLE", std::wstring(4, L'\0')},
        {L"0xFFFFFFFF", std::wstring(4, wchar_t(0xFFFF))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.id));
        CImageDescription e;
        e.SetImageId(c.id);
        EXPECT_EQ(e.GetIdName(), c.tag);
        EXPECT_EQ(e.GetNextImageId(), L"0xFFFFFFFF");

        CImageDescription next;
        next.SetNextImageId(c.id);
        EXPECT_EQ(next.NextIdName, c.tag);
        EXPECT_TRUE(next.GetIdName().empty());
        EXPECT_TRUE(next.GetImageId().empty());
    }
}

TEST(ImageDescriptionTest, SettersMarkChanged)
{
    using Setter = std::function<void(CImageDescription&, std::wstring)>;
    struct Case {
        const char* name;
        Setter set;
        bool marks;
    };
    const std::vector<Case> cases = {
        {"SetIdName", &CImageDescription::SetIdName, true},
        {"SetImageId", &CImageDescription::SetImageId, true},
        {"SetNextImageId", &CImageDescription::SetNextImageId, true},
        {"SetFlashAddress", &CImageDescription::SetFlashAddress, true},
        {"SetFlashEntrySector", &CImageDescription::SetFlashEntrySector, true},
        {"SetFlashEntryAddress", &CImageDescription::SetFlashEntryAddress, true},
        {"SetLoadAddress", &CImageDescription::SetLoadAddress, true},
        {"SetSizeToCrc", &CImageDescription::SetSizeToCrc, true},
        {"SetImagePath", &CImageDescription::SetImagePath, true},
        {"SetHashAlgorithmId", &CImageDescription::SetHashAlgorithmId, true},
        {"SetEraseSize", &CImageDescription::SetEraseSize, true},
        {"SetImageType", &CImageDescription::SetImageType, true},
        {"SetImageSizeToHash", &CImageDescription::SetImageSizeToHash, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CImageDescription e;
        c.set(e, L"0x100");
        EXPECT_EQ(e.Changed, c.marks);
    }
}

TEST(ImageDescriptionTest, IsNotTimhIdOnlyFalseForExactTag)
{
    const std::vector<std::pair<std::wstring, bool>> cases = {
        {L"TIMH", false}, {L"timh", true},  {L"TIMH ", true}, {L"TIM", true},
        {L"TIMHX", true}, {L"", true},      {L"OBMI", true},
        {std::wstring(L"TIMH\0", 5), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.first));
        EXPECT_EQ(IsNotTimhId(c.first), c.second);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "common/ErdCategoryNames.h"
#include "common/ProcessorPlatforms.h"
#include "common/TimDefinitions.h"
#include "common/TimLib.h"

namespace {

TEST(NameConstantsTest, CategoryIdentifiersAreTheirTagsInTheirOwnCase)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* closingName;  // null where there is none
        const wchar_t* id;
        const wchar_t* tag;
        bool lowerDigits;
    };
    const Case cases[] = {
        {kClockEnable, kEndClockEnable, kClockEnableId, L"CLKE", true},
        {kDdrGeometry, kEndDdrGeometry, kDdrGeometryId, L"DDRG", false},
        {kDdrTiming, kEndDdrTiming, kDdrTimingId, L"DDRT", false},
        {kDdrCustom, nullptr, kDdrCustomId, L"DDRC", false},
        {kFrequency, nullptr, kFrequencyId, L"FREQ", false},
        {kVoltages, nullptr, kVoltagesId, L"VOLT", true},
        {kConfigureMemoryControl, nullptr, kConfigureMemoryControlId, L"CMCC", true},
        {kTrustZone, nullptr, kTrustZoneId, L"TZID", false},
        {kTrustZoneRegid, nullptr, kTrustZoneRegidId, L"TZON", false},
        {kOpDiv, nullptr, kOpDivId, L"OPDV", false},
        {kOpMode, nullptr, kOpModeId, L"MODE", false},
    };
    size_t row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        std::wstring upper = c.id;
        EXPECT_EQ(CTimLib::ToUpperText(upper, true), CTimLib::TagToHexText(c.tag));
        if (c.closingName != nullptr) {
            EXPECT_EQ(std::wstring(c.closingName), std::wstring(L"End_") + c.name);
        }
        bool hasLower = false;
        bool hasUpper = false;
        for (const wchar_t* p = c.id + 2; *p != 0; ++p) {
            hasLower = hasLower || std::iswlower(*p);
            hasUpper = hasUpper || std::iswupper(*p);
        }
        EXPECT_EQ(hasLower, c.lowerDigits);
        EXPECT_FALSE(hasLower && hasUpper);
        ASSERT_LT(row, std::size(kErdCategories));
        EXPECT_EQ(kErdCategories[row].name, c.name);
        EXPECT_EQ(kErdCategories[row].id, c.id);
        ++row;
    }
    EXPECT_EQ(row, std::size(kErdCategories));
}

TEST(NameConstantsTest, DdrVendorLookupById)
{
    const struct {
        int32_t id;
        const wchar_t* name;
    } cases[] = {
        {1, L"SAMSUNG"},           {10, L"RESERVED"}, {18, L"FIDELIX"}, {28, L"JSC"},
        {29, L"ReservedVendor11"}, {31, nullptr},     {0, nullptr},     {247, nullptr},
        {248, L"Fidelix"},         {252, nullptr},    {253, L"ESMT2"},  {255, L"Micron"},
        {-1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const wchar_t* found = FindDdrVendorName(c.id);
        if (c.name == nullptr) {
            EXPECT_EQ(found, nullptr);
        } else {
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(std::wstring(found), c.name);
        }
    }
}

TEST(NameConstantsTest, TablesNameTheirRowsByIndex)
{
    // Codes 18 and 19 of the platform lookup have no name.
    ASSERT_EQ(std::size(kPlatformTypeNames), 18u);
    EXPECT_EQ(std::wstring(kPlatformTypeNames[0]), L"NLT107_Old");
    EXPECT_EQ(std::wstring(kPlatformTypeNames[7]), L"Halvek_OTA");
    EXPECT_EQ(std::wstring(kPlatformTypeNames[14]), L"Osmar_A0");
    EXPECT_EQ(std::wstring(kPlatformTypeNames[17]), L"Torvin3");

    ASSERT_EQ(std::size(kProcessorNames), 31u);
    EXPECT_EQ(std::wstring(kProcessorNames[13]), L"Varsic_PV_Jexul2");
    EXPECT_EQ(std::wstring(kProcessorNames[25]), L"Draskel");
    EXPECT_EQ(std::wstring(kProcessorNames[30]), L"NLT120");

    ASSERT_EQ(std::size(kFlashTypeNames), 23u);
    EXPECT_EQ(std::wstring(kFlashTypeNames[10]), L"SPI_Flash");
    EXPECT_EQ(std::wstring(kFlashTypeNames[22]), L"SPI_Nand_Flash");
}

}  // namespace

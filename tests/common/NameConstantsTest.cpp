#include <gtest/gtest.h>

#include <string>

#include "common/ErdCategoryNames.h"
#include "common/ProcessorPlatforms.h"
#include "common/TimDefinitions.h"
#include "common/TimLib.h"

namespace {

// Each constant against its text as the package formats write it, the
// identifier in its own letter case, and the category list in declaration
// order.
TEST(NameConstantsTest, CategoryNamesAndIdentifiersAreTheirTexts)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* closingName;  // null where there is none
        const wchar_t* id;
        const wchar_t* nameText;
        const wchar_t* closingText;
        const wchar_t* idText;
        const wchar_t* tag;
    };
    const Case cases[] = {
        {kClockEnable, kEndClockEnable, kClockEnableId, L"Clock_Enable", L"End_Clock_Enable", L"0x434c4b45", L"CLKE"},
        {kDdrGeometry, kEndDdrGeometry, kDdrGeometryId, L"DDR_Geometry", L"End_DDR_Geometry", L"0x44445247", L"DDRG"},
        {kDdrTiming, kEndDdrTiming, kDdrTimingId, L"DDR_Timing", L"End_DDR_Timing", L"0x44445254", L"DDRT"},
        {kDdrCustom, nullptr, kDdrCustomId, L"DDR_Custom", nullptr, L"0x44445243", L"DDRC"},
        {kFrequency, nullptr, kFrequencyId, L"Frequency", nullptr, L"0x46524551", L"FREQ"},
        {kVoltages, nullptr, kVoltagesId, L"Voltages", nullptr, L"0x564f4c54", L"VOLT"},
        {kConfigureMemoryControl, nullptr, kConfigureMemoryControlId, L"Configure_Memory_Control", nullptr,
         L"0x434d4343", L"CMCC"},
        {kTrustZone, nullptr, kTrustZoneId, L"Trust_Zone", nullptr, L"0x545A4944", L"TZID"},
        {kTrustZoneRegid, nullptr, kTrustZoneRegidId, L"Trust_Zone_Regid", nullptr, L"0x545A4F4E", L"TZON"},
        {kOpDiv, nullptr, kOpDivId, L"OpDiv", nullptr, L"0x4F504456", L"OPDV"},
        {kOpMode, nullptr, kOpModeId, L"OpMode", nullptr, L"0x4D4F4445", L"MODE"},
    };
    ASSERT_EQ(std::size(kErdCategories), std::size(cases));
    for (size_t row = 0; row < std::size(cases); ++row) {
        const Case& c = cases[row];
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.nameText)));
        EXPECT_EQ(std::wstring(c.name), c.nameText);
        EXPECT_EQ(std::wstring(c.id), c.idText);
        if (c.closingText != nullptr) {
            ASSERT_NE(c.closingName, nullptr);
            EXPECT_EQ(std::wstring(c.closingName), c.closingText);
        }
        std::wstring upper = c.id;
        EXPECT_EQ(CTimLib::ToUpperText(upper, true), CTimLib::TagToHexText(c.tag));
        EXPECT_EQ(std::wstring(kErdCategories[row].name), c.nameText);
        EXPECT_EQ(std::wstring(kErdCategories[row].id), c.idText);
    }
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

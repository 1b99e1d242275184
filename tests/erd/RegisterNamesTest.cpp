#include "erd/RegisterNames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "erd/ExtendedReservedData.h"

namespace {

using Erd = CExtendedReservedData;

// The eleven table sizes, in member order: clock, DDR custom, DDR NLT07x,
// frequency, SDRAM, voltages, CMCC, trust zone, trust-zone region id,
// divider, mode.
std::vector<size_t> Sizes(const Erd& erd)
{
    return {erd.m_ClockEnableNames.size(), erd.m_DdrCustomNames.size(), erd.m_DdrCustomNlt07xNames.size(),
            erd.m_FrequencyNames.size(),   erd.m_SdramSpecNames.size(), erd.m_VoltagesNames.size(),
            erd.m_CmccNames.size(),        erd.m_TrustZoneNames.size(), erd.m_TrustZoneRegidNames.size(),
            erd.m_OpDivNames.size(),       erd.m_OpModeNames.size()};
}

// A table's names, to compare with a list.
std::vector<std::wstring> Listed(const NameTable& table)
{
    return std::vector<std::wstring>(table.begin(), table.end());
}

// An object whose tables are all empty, to watch one loader at a time.
struct EmptyErd : Erd {
    EmptyErd() : Erd(L"") { ClearNameTables(); }
};

TEST(RegisterNamesTest, EachFamilyFillsOnlyItsTables)
{
    struct Case {
        const char* family;
        void (*load)(Erd&);
        std::vector<size_t> sizes;
    };
    const Case cases[] = {
        {"Rhevo", LoadRhevoRegisterNames, {2, 0, 49, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"Quon2", LoadQuon2RegisterNames, {2, 69, 0, 1, 0, 0, 0, 10, 4, 0, 0}},
        {"Quon3", LoadQuon3RegisterNames, {2, 69, 0, 1, 0, 0, 0, 10, 4, 0, 0}},
        {"NLT104", LoadNlt104RegisterNames, {2, 49, 0, 1, 0, 0, 0, 0, 0, 14, 17}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        EmptyErd erd;
        c.load(erd);
        EXPECT_EQ(Sizes(erd), c.sizes);
        // A second load replaces, it does not append.
        c.load(erd);
        EXPECT_EQ(Sizes(erd), c.sizes);
    }
}

TEST(RegisterNamesTest, FamilyLoadersEmptyTheVoltagesTableAndKeepOthers)
{
    EmptyErd erd;
    LoadQuon2RegisterNames(erd);
    static constexpr std::wstring_view kVolt[] = {L"VOLT"};
    static constexpr std::wstring_view kDiv[] = {L"DIV"};
    erd.m_VoltagesNames = NameTable(kVolt, 1);
    erd.m_OpDivNames = NameTable(kDiv, 1);
    LoadRhevoRegisterNames(erd);
    EXPECT_TRUE(erd.m_VoltagesNames.empty());
    // Tables outside the Rhevo row keep what they held.
    EXPECT_EQ(erd.m_DdrCustomNames.size(), 69u);
    EXPECT_EQ(erd.m_TrustZoneNames.size(), 10u);
    EXPECT_EQ(Listed(erd.m_OpDivNames), std::vector<std::wstring>{L"DIV"});
    EXPECT_EQ(Listed(erd.m_ClockEnableNames), (std::vector<std::wstring>{L"Rhevo_CLOCK_ID_MCU", L"Rhevo_CLOCK_ID_I2C"}));
    EXPECT_EQ(Listed(erd.m_FrequencyNames), std::vector<std::wstring>{L"Rhevo_FREQ_ID_MCU"});
}

TEST(RegisterNamesTest, NamesStandAtTheirRegisterIndexes)
{
    struct Case {
        void (*load)(Erd&);
        NameTable Erd::*table;
        size_t index;
        std::wstring name;
    };
    const Case cases[] = {
        {LoadQuon2RegisterNames, &Erd::m_TrustZoneRegidNames, 2, L"Quon2_TZRANGE1_ID"},
        {LoadQuon2RegisterNames, &Erd::m_TrustZoneNames, 0, L"TZLOCK_ID"},
        {LoadQuon2RegisterNames, &Erd::m_TrustZoneNames, 9, L"TZCS0_PERMRU_ID"},
        {LoadQuon2RegisterNames, &Erd::m_DdrCustomNames, 0, L"Quon2_SDRCFGREG0_ID"},
        {LoadQuon2RegisterNames, &Erd::m_DdrCustomNames, 14, L"Quon2_MCBSLFSTCTRLREG1_ID"},
        {LoadQuon2RegisterNames, &Erd::m_DdrCustomNames, 57, L"Quon2_SYS_ID"},
        {LoadQuon2RegisterNames, &Erd::m_DdrCustomNames, 68, L"Quon2_OPREAD_ID"},
        {LoadQuon2RegisterNames, &Erd::m_ClockEnableNames, 1, L"Quon2_CLOCK_ID_I2C"},
        {LoadQuon3RegisterNames, &Erd::m_TrustZoneRegidNames, 0, L"Quon3_TZSELECT_ID"},
        {LoadQuon3RegisterNames, &Erd::m_TrustZoneRegidNames, 3, L"Quon3_TZPERMISSION_ID"},
        {LoadRhevoRegisterNames, &Erd::m_DdrCustomNlt07xNames, 0, L"Rhevo_SDRREVREG_ID"},
        {LoadRhevoRegisterNames, &Erd::m_DdrCustomNlt07xNames, 15, L"Rhevo_SDRCTLREG14_ID"},
        {LoadRhevoRegisterNames, &Erd::m_DdrCustomNlt07xNames, 36, L"Rhevo_OPDELAY_ID"},
        {LoadRhevoRegisterNames, &Erd::m_DdrCustomNlt07xNames, 48, L"Rhevo_MCBSLFST_SEL_ID"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.name));
        EmptyErd erd;
        c.load(erd);
        const NameTable& table = erd.*c.table;
        ASSERT_LT(c.index, table.size());
        EXPECT_EQ(table[c.index], c.name);
    }
}

TEST(RegisterNamesTest, ListLoadersFillTheirTable)
{
    NameTable sdram;
    LoadSdramSpecNames(sdram);
    ASSERT_EQ(sdram.size(), 81u);
    const std::pair<size_t, std::wstring> sdramNames[] = {
        {0, L"SDRAM_S_tCK_Hz"}, {3, L"SDRAM_S_tCK"},  {26, L"SDRAM_S_tDS"},      {28, L"SDRAM_S_tDSb"},
        {40, L"SDRAM_S_tRC"},   {41, L"SDRAM_S_tRCD"}, {62, L"SDRAM_S_tCKE"},    {80, L"SDRAM_S_DATAWIDTH"},
    };
    for (const auto& [index, name] : sdramNames) {
        EXPECT_EQ(sdram[index], name) << index;
    }
    NameTable cmcc;
    LoadCmccNames(cmcc);
    EXPECT_EQ(Listed(cmcc),
              (std::vector<std::wstring>{L"CMCC_CONFIG_ENA_ID", L"CMCC_MEMTEST_ENA_ID", L"CMCC_CONSUMER_ID"}));
    FreeNameTable(cmcc);
    EXPECT_TRUE(cmcc.empty());
}

TEST(RegisterNamesTest, NamedListsHoldNoRepeatsAndTheFamilyPrefix)
{
    EmptyErd erd;
    LoadSdramSpecNames(erd.m_SdramSpecNames);
    LoadQuon2RegisterNames(erd);
    LoadRhevoRegisterNames(erd);
    const std::pair<const NameTable*, std::wstring> tables[] = {
        {&erd.m_SdramSpecNames, L"SDRAM_S_"},     {&erd.m_DdrCustomNames, L"Quon2_"},
        {&erd.m_DdrCustomNlt07xNames, L"Rhevo_"}, {&erd.m_TrustZoneNames, L"TZ"},
        {&erd.m_TrustZoneRegidNames, L"Quon2_TZ"},
    };
    for (const auto& [table, prefix] : tables) {
        SCOPED_TRACE(testing::PrintToString(prefix));
        EXPECT_EQ(std::set<std::wstring>(table->begin(), table->end()).size(), table->size());
        for (const std::wstring_view name : *table) {
            EXPECT_EQ(name.rfind(prefix, 0), 0u) << testing::PrintToString(std::wstring(name));
        }
    }
}

TEST(RegisterNamesTest, QuonFamiliesDifferOnlyInTheRegionIdNames)
{
    EmptyErd quon2;
    EmptyErd quon3;
    LoadQuon2RegisterNames(quon2);
    LoadQuon3RegisterNames(quon3);
    EXPECT_EQ(Listed(quon2.m_ClockEnableNames), Listed(quon3.m_ClockEnableNames));
    EXPECT_EQ(Listed(quon2.m_FrequencyNames), Listed(quon3.m_FrequencyNames));
    EXPECT_EQ(Listed(quon2.m_DdrCustomNames), Listed(quon3.m_DdrCustomNames));
    EXPECT_EQ(Listed(quon2.m_TrustZoneNames), Listed(quon3.m_TrustZoneNames));
    EXPECT_EQ(Listed(quon2.m_TrustZoneRegidNames),
              (std::vector<std::wstring>{L"Quon2_TZSELECT_ID", L"Quon2_TZRANGE0_ID", L"Quon2_TZRANGE1_ID",
                                         L"Quon2_TZPERMISSION_ID"}));
    EXPECT_EQ(Listed(quon3.m_TrustZoneRegidNames),
              (std::vector<std::wstring>{L"Quon3_TZSELECT_ID", L"Quon3_TZRANGE0_ID", L"Quon3_TZRANGE1_ID",
                                         L"Quon3_TZPERMISSION_ID"}));
}

TEST(RegisterNamesTest, Nlt104EntriesAreOnePlaceholder)
{
    EmptyErd erd;
    LoadNlt104RegisterNames(erd);
    for (const NameTable* table : {&erd.m_ClockEnableNames, &erd.m_FrequencyNames, &erd.m_DdrCustomNames,
                                   &erd.m_OpDivNames, &erd.m_OpModeNames}) {
        EXPECT_EQ(std::set<std::wstring>(table->begin(), table->end()),
                  std::set<std::wstring>{L"STRINGIZE(field_enum)"});
    }
}

}  // namespace

#include "erd/RegisterNames.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "erd/ExtendedReservedData.h"

namespace {

// A constant name list and its length.
struct NameList {
    const std::wstring_view* names;
    size_t count;
};

template <const auto& names>
constexpr NameList List()
{
    return {std::data(names), std::size(names)};
}

constexpr std::wstring_view kSdramSpecNames[] = {
    L"SDRAM_S_tCK_Hz", L"SDRAM_S_rCK_Hz", L"SDRAM_S_CL", L"SDRAM_S_tCK", L"SDRAM_S_tDQSCK",
    L"SDRAM_S_tRPRE", L"SDRAM_S_tRPST", L"SDRAM_S_tLZ1", L"SDRAM_S_tLZDQS", L"SDRAM_S_tDQSS",
    L"SDRAM_S_tDQSH", L"SDRAM_S_tDQSL", L"SDRAM_S_tDSS", L"SDRAM_S_tDSH", L"SDRAM_S_tWPRES",
    L"SDRAM_S_tWPRE", L"SDRAM_S_tWPST", L"SDRAM_S_tWCDQSDX", L"SDRAM_S_tAC", L"SDRAM_S_tDQSQ",
    L"SDRAM_S_tQHS", L"SDRAM_S_tQH", L"SDRAM_S_tHZ", L"SDRAM_S_tLZ2", L"SDRAM_S_tLZDQ",
    L"SDRAM_S_tDVW", L"SDRAM_S_tDS", L"SDRAM_S_tDH", L"SDRAM_S_tDSb", L"SDRAM_S_tDHb",
    L"SDRAM_S_tDSa", L"SDRAM_S_tDHa", L"SDRAM_S_tDIPW", L"SDRAM_S_tIS", L"SDRAM_S_tIH",
    L"SDRAM_S_tISb", L"SDRAM_S_tIHb", L"SDRAM_S_tISa", L"SDRAM_S_tIHa", L"SDRAM_S_tIPW",
    L"SDRAM_S_tRC", L"SDRAM_S_tRCD", L"SDRAM_S_tRAS", L"SDRAM_S_tRP", L"SDRAM_S_tRPA",
    L"SDRAM_S_tRRD", L"SDRAM_S_tFAW", L"SDRAM_S_tRTP", L"SDRAM_S_tCCD", L"SDRAM_S_tWR",
    L"SDRAM_S_tDAL", L"SDRAM_S_tWTR", L"SDRAM_S_tMRD", L"SDRAM_S_tRFC", L"SDRAM_S_tREFI",
    L"SDRAM_S_tDELAY", L"SDRAM_S_tXSNR", L"SDRAM_S_tXSRD", L"SDRAM_S_tISXR", L"SDRAM_S_tXARD",
    L"SDRAM_S_tXARDS", L"SDRAM_S_tXP", L"SDRAM_S_tCKE", L"SDRAM_S_tANPD", L"SDRAM_S_tAXPD",
    L"SDRAM_S_tAOND", L"SDRAM_S_tAOFD", L"SDRAM_S_tAON", L"SDRAM_S_tAOF", L"SDRAM_S_tAONPD",
    L"SDRAM_S_tAOFPD", L"SDRAM_S_tMOD", L"SDRAM_S_tOIT", L"SDRAM_S_NUMBANKS", L"SDRAM_S_NUMROWS",
    L"SDRAM_S_NUMCOLUMNS", L"SDRAM_S_MEGABYTES", L"SDRAM_S_BURSTTYPE", L"SDRAM_S_BURSTLEN", L"SDRAM_S_SDRTYPE",
    L"SDRAM_S_DATAWIDTH",
};
static_assert(sizeof(kSdramSpecNames) / sizeof(kSdramSpecNames[0]) == 81, "81 SDRAM timing and geometry names");

constexpr std::wstring_view kCmccNames[] = {
    L"CMCC_CONFIG_ENA_ID",
    L"CMCC_MEMTEST_ENA_ID",
    L"CMCC_CONSUMER_ID",
};

constexpr std::wstring_view kRhevoClockNames[] = {L"Rhevo_CLOCK_ID_MCU", L"Rhevo_CLOCK_ID_I2C"};
constexpr std::wstring_view kRhevoFrequencyNames[] = {L"Rhevo_FREQ_ID_MCU"};
constexpr std::wstring_view kRhevoDdrNames[] = {
    L"Rhevo_SDRREVREG_ID", L"Rhevo_SDRADCREG_ID", L"Rhevo_SDRCFGREG0_ID", L"Rhevo_SDRCFGREG1_ID",
    L"Rhevo_SDRCFGREG2_ID", L"Rhevo_SDRTMGREG1_ID", L"Rhevo_SDRTMGREG2_ID", L"Rhevo_SDRTMGREG3_ID",
    L"Rhevo_SDRTMGREG4_ID", L"Rhevo_SDRTMGREG5_ID", L"Rhevo_SDRCTLREG1_ID", L"Rhevo_SDRCTLREG2_ID",
    L"Rhevo_SDRCTLREG3_ID", L"Rhevo_SDRCTLREG4_ID", L"Rhevo_SDRCTLREG5_ID", L"Rhevo_SDRCTLREG14_ID",
    L"Rhevo_SDRPADREG_ID", L"Rhevo_ADRMAPREG0_ID", L"Rhevo_ADRMAPREG1_ID", L"Rhevo_ADRMAPREG2_ID",
    L"Rhevo_USRCMDREG0_ID", L"Rhevo_SDRSTAREG_ID", L"Rhevo_PHYCTLREG3_ID", L"Rhevo_PHYCTLREG7_ID",
    L"Rhevo_PHYCTLREG8_ID", L"Rhevo_PHYCTLREG9_ID", L"Rhevo_PHYCTLREG10_ID", L"Rhevo_PHYCTLREG13_ID",
    L"Rhevo_PHYCTLREG14_ID", L"Rhevo_DLLCTLREG1_ID", L"Rhevo_DLLCTLREG2_ID", L"Rhevo_DLLCTLREG3_ID",
    L"Rhevo_MCBCTLREG1_ID", L"Rhevo_MCBCTLREG2_ID", L"Rhevo_MCBCTLREG3_ID", L"Rhevo_MCBCTLREG4_ID",
    L"Rhevo_OPDELAY_ID", L"Rhevo_OPREAD_ID", L"Rhevo_SDRTMGREG6_ID", L"Rhevo_SDRCTLREG6_ID",
    L"Rhevo_SDRCTLREG7_ID", L"Rhevo_SDRCTLREG8_ID", L"Rhevo_SDRCTLREG11_ID", L"Rhevo_SDRCTLREG13_ID",
    L"Rhevo_USRCMDREG1_ID", L"Rhevo_PHYCTLREG11_ID", L"Rhevo_PHYCTLREG12_ID", L"Rhevo_MCBCTLREG5_ID",
    L"Rhevo_MCBSLFST_SEL_ID",
};
static_assert(sizeof(kRhevoDdrNames) / sizeof(kRhevoDdrNames[0]) == 49, "49 Rhevo DDR names");

constexpr std::wstring_view kQuon2ClockNames[] = {L"Quon2_CLOCK_ID_MCU", L"Quon2_CLOCK_ID_I2C"};
constexpr std::wstring_view kQuon2FrequencyNames[] = {L"Quon2_FREQ_ID_MCU"};
constexpr std::wstring_view kQuon2DdrNames[] = {
    L"Quon2_SDRCFGREG0_ID", L"Quon2_SDRCFGREG1_ID", L"Quon2_SDRTMGREG1_ID", L"Quon2_SDRTMGREG2_ID",
    L"Quon2_SDRTMGREG3_ID", L"Quon2_SDRTMGREG4_ID", L"Quon2_SDRTMGREG5_ID", L"Quon2_SDRCTLREG1_ID",
    L"Quon2_SDRCTLREG2_ID", L"Quon2_SDRCTLREG3_ID", L"Quon2_SDRCTLREG4_ID", L"Quon2_SDRCTLREG5_ID",
    L"Quon2_SDRCTLREG6_ID", L"Quon2_SDRCTLREG7_ID", L"Quon2_MCBSLFSTCTRLREG1_ID", L"Quon2_PHYCTLREG3_ID",
    L"Quon2_PHYCTLREG7_ID", L"Quon2_PHYCTLREG8_ID", L"Quon2_PHYCTLREG9_ID", L"Quon2_PHYCTLREG11_ID",
    L"Quon2_PHYCTLREG13_ID", L"Quon2_PHYCTLREG14_ID", L"Quon2_DLLCTLREG1_ID", L"Quon2_DLLCTLREG2_ID",
    L"Quon2_DLLCTLREG3_ID", L"Quon2_ADRMAPREG0_ID", L"Quon2_ADRMAPREG1_ID", L"Quon2_USRCMDREG0_ID",
    L"Quon2_SDRADCREG_ID", L"Quon2_SDRCFGREG2_ID", L"Quon2_SDRCFGREG3_ID", L"Quon2_SDRCFGREG4_ID",
    L"Quon2_SDRCFGREG5_ID", L"Quon2_SDRCFGREG6_ID", L"Quon2_SDRCFGREG7_ID", L"Quon2_SDRTMGREG6_ID",
    L"Quon2_SDRCTLREG8_ID", L"Quon2_SDRCTLREG11_ID", L"Quon2_SDRCTLREG13_ID", L"Quon2_SDRCTLREG14_ID",
    L"Quon2_MCBCNTRLREG4_ID", L"Quon2_MCBSLFSTSELREG_ID", L"Quon2_MCBSLFSTCTRLREG0_ID",
    L"Quon2_MCBSLFSTCTRLREG2_ID", L"Quon2_MCBSLFSTCTRLREG3_ID", L"Quon2_PHYCTLREG10_ID", L"Quon2_PHYCTLREG12_ID",
    L"Quon2_PHYCTLREG15_ID", L"Quon2_DLLCTLREG4_ID", L"Quon2_DLLCTLREG5_ID", L"Quon2_ADRMAPREG2_ID",
    L"Quon2_ADRMAPREG3_ID", L"Quon2_USRCMDREG1_ID", L"Quon2_CMWRPROTREG_ID", L"Quon2_PHYCTLTEST_ID",
    L"Quon2_DRAMSTATUS_ID", L"Quon2_ERRORSTATUS_ID", L"Quon2_SYS_ID", L"Quon2_EXCLMONCTRL_ID",
    L"Quon2_MODERDDATA_ID", L"Quon2_TESTMODE0_ID", L"Quon2_TESTMODE1_ID", L"Quon2_REGTBLCTRL0_ID",
    L"Quon2_REGTBLDATA0_ID", L"Quon2_REGTBLDATA1_ID", L"Quon2_ERROR_IDREG_ID", L"Quon2_ERROR_ADDRREG_ID",
    L"Quon2_OPDELAY_ID", L"Quon2_OPREAD_ID",
};
static_assert(sizeof(kQuon2DdrNames) / sizeof(kQuon2DdrNames[0]) == 69, "69 Quon2 DDR names");

constexpr std::wstring_view kTrustZoneNames[] = {
    L"TZLOCK_ID",       L"TZCS0_RANGE0_ID", L"TZCS0_RANGE1_ID", L"TZCS0_RANGE2_ID", L"TZCS0_RANGE3_ID",
    L"TZCS0_PERMR0_ID", L"TZCS0_PERMR1_ID", L"TZCS0_PERMR2_ID", L"TZCS0_PERMR3_ID", L"TZCS0_PERMRU_ID",
};
constexpr std::wstring_view kQuon2TrustZoneRegidNames[] = {
    L"Quon2_TZSELECT_ID", L"Quon2_TZRANGE0_ID", L"Quon2_TZRANGE1_ID", L"Quon2_TZPERMISSION_ID"};
constexpr std::wstring_view kQuon3TrustZoneRegidNames[] = {
    L"Quon3_TZSELECT_ID", L"Quon3_TZRANGE0_ID", L"Quon3_TZRANGE1_ID", L"Quon3_TZPERMISSION_ID"};

// The NLT104 family's registers have no names of their own: every entry is
// this one placeholder, so a lookup by name reaches only position 0. The
// lists keep their lengths, as the register indexes count on them.
constexpr wchar_t kNlt104Placeholder[] = L"STRINGIZE(field_enum)";
constexpr size_t kNlt104ClockCount = 2;
constexpr size_t kNlt104FrequencyCount = 1;
constexpr size_t kNlt104DdrCount = 49;
constexpr size_t kNlt104OpDivCount = 14;
constexpr size_t kNlt104OpModeCount = 17;
static_assert(kNlt104ClockCount == sizeof(kRhevoClockNames) / sizeof(kRhevoClockNames[0]) &&
                  kNlt104FrequencyCount == sizeof(kRhevoFrequencyNames) / sizeof(kRhevoFrequencyNames[0]) &&
                  kNlt104DdrCount == sizeof(kRhevoDdrNames) / sizeof(kRhevoDdrNames[0]),
              "the NLT104 clock, frequency and DDR lists are as long as the Rhevo ones");

void Load(NameTable& table, NameList list)
{
    table = NameTable(list.names, list.count);
}

// As many placeholders as the longest NLT104 list holds.
constexpr size_t kNlt104MostNames = kNlt104DdrCount;
static_assert(kNlt104ClockCount <= kNlt104MostNames && kNlt104FrequencyCount <= kNlt104MostNames &&
                  kNlt104OpDivCount <= kNlt104MostNames && kNlt104OpModeCount <= kNlt104MostNames,
              "every NLT104 list fits in the placeholder list");
constexpr std::array<std::wstring_view, kNlt104MostNames> kNlt104Placeholders = [] {
    std::array<std::wstring_view, kNlt104MostNames> names{};
    for (std::wstring_view& name : names) {
        name = kNlt104Placeholder;
    }
    return names;
}();

void LoadPlaceholders(NameTable& table, size_t count)
{
    table = NameTable(kNlt104Placeholders.data(), count);
}

// The Quon families differ only in their trust-zone region-id list.
void LoadQuonRegisterNames(CExtendedReservedData& erd, NameList trustZoneRegidNames)
{
    FreeNameTable(erd.m_VoltagesNames);
    Load(erd.m_ClockEnableNames, List<kQuon2ClockNames>());
    Load(erd.m_FrequencyNames, List<kQuon2FrequencyNames>());
    Load(erd.m_DdrCustomNames, List<kQuon2DdrNames>());
    Load(erd.m_TrustZoneNames, List<kTrustZoneNames>());
    Load(erd.m_TrustZoneRegidNames, trustZoneRegidNames);
}

}  // namespace

void FreeNameTable(NameTable& table)
{
    table = NameTable();
}

void LoadSdramSpecNames(NameTable& table)
{
    Load(table, List<kSdramSpecNames>());
}

void LoadCmccNames(NameTable& table)
{
    Load(table, List<kCmccNames>());
}

void LoadRhevoRegisterNames(CExtendedReservedData& erd)
{
    FreeNameTable(erd.m_VoltagesNames);
    Load(erd.m_ClockEnableNames, List<kRhevoClockNames>());
    Load(erd.m_FrequencyNames, List<kRhevoFrequencyNames>());
    Load(erd.m_DdrCustomNlt07xNames, List<kRhevoDdrNames>());
}

void LoadQuon2RegisterNames(CExtendedReservedData& erd)
{
    LoadQuonRegisterNames(erd, List<kQuon2TrustZoneRegidNames>());
}

void LoadQuon3RegisterNames(CExtendedReservedData& erd)
{
    LoadQuonRegisterNames(erd, List<kQuon3TrustZoneRegidNames>());
}

void LoadNlt104RegisterNames(CExtendedReservedData& erd)
{
    FreeNameTable(erd.m_VoltagesNames);
    LoadPlaceholders(erd.m_ClockEnableNames, kNlt104ClockCount);
    LoadPlaceholders(erd.m_FrequencyNames, kNlt104FrequencyCount);
    LoadPlaceholders(erd.m_DdrCustomNames, kNlt104DdrCount);
    LoadPlaceholders(erd.m_OpDivNames, kNlt104OpDivCount);
    LoadPlaceholders(erd.m_OpModeNames, kNlt104OpModeCount);
}

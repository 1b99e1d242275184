// The register-category reserved-data packages: their names, the closing
// names of the first three, and each package's identifier as the
// hexadecimal text of its four-letter tag (first letter in the most
// significant byte). The identifiers keep the letter case they were first
// written with; readers compare them upper-cased, on their own copies.
#pragma once

#include "common/Tag.h"

inline constexpr wchar_t kClockEnable[] = L"Clock_Enable";
inline constexpr wchar_t kEndClockEnable[] = L"End_Clock_Enable";
inline constexpr wchar_t kClockEnableId[] = L"0x434c4b45";  // CLKE
inline constexpr wchar_t kDdrGeometry[] = L"DDR_Geometry";
inline constexpr wchar_t kEndDdrGeometry[] = L"End_DDR_Geometry";
inline constexpr wchar_t kDdrGeometryId[] = L"0x44445247";  // DDRG
inline constexpr wchar_t kDdrTiming[] = L"DDR_Timing";
inline constexpr wchar_t kEndDdrTiming[] = L"End_DDR_Timing";
inline constexpr wchar_t kDdrTimingId[] = L"0x44445254";  // DDRT
inline constexpr wchar_t kDdrCustom[] = L"DDR_Custom";
inline constexpr wchar_t kDdrCustomId[] = L"0x44445243";  // DDRC
inline constexpr wchar_t kFrequency[] = L"Frequency";
inline constexpr wchar_t kFrequencyId[] = L"0x46524551";  // FREQ
inline constexpr wchar_t kVoltages[] = L"Voltages";
inline constexpr wchar_t kVoltagesId[] = L"0x564f4c54";  // VOLT
inline constexpr wchar_t kConfigureMemoryControl[] = L"Configure_Memory_Control";
inline constexpr wchar_t kConfigureMemoryControlId[] = L"0x434d4343";  // CMCC
inline constexpr wchar_t kTrustZone[] = L"Trust_Zone";
inline constexpr wchar_t kTrustZoneId[] = L"0x545A4944";  // TZID
inline constexpr wchar_t kTrustZoneRegid[] = L"Trust_Zone_Regid";
inline constexpr wchar_t kTrustZoneRegidId[] = L"0x545A4F4E";  // TZON
inline constexpr wchar_t kOpDiv[] = L"OpDiv";
inline constexpr wchar_t kOpDivId[] = L"0x4F504456";  // OPDV
inline constexpr wchar_t kOpMode[] = L"OpMode";
inline constexpr wchar_t kOpModeId[] = L"0x4D4F4445";  // MODE

// The categories in declaration order, for readers that walk them all.
struct ErdCategory {
    const wchar_t* name;
    const wchar_t* id;
};

// The identifier texts stay as first written; each must still be its tag.
static_assert(HexTextValue(kClockEnableId) == TagValue("CLKE"));
static_assert(HexTextValue(kDdrGeometryId) == TagValue("DDRG"));
static_assert(HexTextValue(kDdrTimingId) == TagValue("DDRT"));
static_assert(HexTextValue(kDdrCustomId) == TagValue("DDRC"));
static_assert(HexTextValue(kFrequencyId) == TagValue("FREQ"));
static_assert(HexTextValue(kVoltagesId) == TagValue("VOLT"));
static_assert(HexTextValue(kConfigureMemoryControlId) == TagValue("CMCC"));
static_assert(HexTextValue(kTrustZoneId) == TagValue("TZID"));
static_assert(HexTextValue(kTrustZoneRegidId) == TagValue("TZON"));
static_assert(HexTextValue(kOpDivId) == TagValue("OPDV"));
static_assert(HexTextValue(kOpModeId) == TagValue("MODE"));

inline constexpr ErdCategory kErdCategories[] = {
    {kClockEnable, kClockEnableId},
    {kDdrGeometry, kDdrGeometryId},
    {kDdrTiming, kDdrTimingId},
    {kDdrCustom, kDdrCustomId},
    {kFrequency, kFrequencyId},
    {kVoltages, kVoltagesId},
    {kConfigureMemoryControl, kConfigureMemoryControlId},
    {kTrustZone, kTrustZoneId},
    {kTrustZoneRegid, kTrustZoneRegidId},
    {kOpDiv, kOpDivId},
    {kOpMode, kOpModeId},
};

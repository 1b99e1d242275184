// Further fixed texts of the TIM tools and two lookup tables: flash type
// names and the DDR memory vendors by id. The platform and processor names
// are in common/ProcessorPlatforms.h.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr wchar_t kHexAllOnes[] = L"0xFFFFFFFF";  // the 32-bit "not set" value
inline constexpr wchar_t kHexZero[] = L"0X00000000";
inline constexpr wchar_t kDefaultFlashBlockSize[] = L"0x00020000";  // 128 KiB
inline constexpr wchar_t kKxpFileName[] = L"KXP.bin";
inline constexpr wchar_t kKxpHeaderFileName[] = L"KXP_h.bin";
inline constexpr wchar_t kKxpdId[] = L"0x4B585044";  // KXPD
inline constexpr wchar_t kKxp0Id[] = L"0x4B585030";  // KXP0
inline constexpr wchar_t kKxpNtimHeaderFileName[] = L"KXP_Ntimheader.bin";
inline constexpr wchar_t kBlockSize0Key[] = L"Block_Size_0";  // key of the flasher settings file
inline constexpr wchar_t kBootComponentImageId[] = L"0x42434D50";  // BCMP
inline constexpr wchar_t kObmiImageId[] = L"0x4F424D49";          // OBMI
inline constexpr wchar_t kVktiImageId[] = L"0x564B5449";          // VKTI
inline constexpr wchar_t kTziiImageId[] = L"0x545A4949";          // TZII

inline constexpr const wchar_t* kFlashTypeNames[] = {
    L"Default_Flash_Probe",
    L"HSI1",
    L"x16_OneNAND",
    L"XIP_Flash_x16",
    L"x16_NAND_Hamming",
    L"x16_XIP_SIBLEY",
    L"NAND_x8_Hamming",
    L"SDMMC_Flash_Opt0",
    L"SDMMC_Flash_Opt1",
    L"SDMMC_Flash_Opt2",
    L"SPI_Flash",
    L"SDMMC_Flash_Opt3",
    L"SDMMC_Flash_Opt4",
    L"x16_NAND_BCH",
    L"x8_NAND_BCH",
    L"CS1_XIP_FLASH",
    L"NAND_FLASH_X16_BCH_OPT1",
    L"NAND_FLASH_X8_BCH_OPT1",
    L"NAND_FLASH_X16_NO_ECC",
    L"NAND_FLASH_X8_NO_ECC",
    L"SDIO_BUS",
    L"BOOTSPI_FLASH",
    L"SPI_Nand_Flash",
};

struct DdrVendor {
    int32_t id;
    const wchar_t* name;
};

inline constexpr DdrVendor kDdrVendorTable[] = {
    {1, L"SAMSUNG"},           {2, L"QIMONDA"},           {3, L"ELPIDA"},           {4, L"ETRON"},
    {5, L"NANYA"},             {6, L"HYNIX"},             {7, L"MOSEL"},            {8, L"WINBOND"},
    {9, L"ESMT"},              {10, L"RESERVED"},         {11, L"SPANSION"},        {12, L"SST"},
    {13, L"ZMOS"},             {14, L"INTEL"},            {15, L"NUMONYX"},         {16, L"MICRON"},
    {17, L"TOSHIBA"},          {18, L"FIDELIX"},          {19, L"ReservedVendor1"}, {20, L"ReservedVendor2"},
    {21, L"ReservedVendor3"},  {22, L"ReservedVendor4"},  {23, L"ReservedVendor5"}, {24, L"ReservedVendor6"},
    {25, L"ReservedVendor7"},  {26, L"ReservedVendor8"},  {27, L"ReservedVendor9"}, {28, L"JSC"},
    {29, L"ReservedVendor11"}, {30, L"ReservedVendor12"}, {248, L"Fidelix"},        {253, L"ESMT2"},
    {254, L"Numonyx"},         {255, L"Micron"},
};

// The vendor's name, or null when no record bears the id.
inline const wchar_t* FindDdrVendorName(int32_t id)
{
    for (const DdrVendor& vendor : kDdrVendorTable) {
        if (vendor.id == id) {
            return vendor.name;
        }
    }
    return nullptr;
}

// The three binary records of a KXP package and the image type codes. The
// records mirror the file's layout field for field; they reach the file
// only through the Store/Load routines, which write little-endian whatever
// the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ByteOrder.h"

constexpr size_t kKxpMasterHeaderBytes = 76;
constexpr size_t kKxpDeviceHeaderBytes = 244;
constexpr size_t kKxpImageEntryBytes = 52;
constexpr size_t kKxpMaxDevices = 4;
constexpr size_t kKxpMaxSkipBlocks = 32;

// Offset of the first device header and of its first image entry.
constexpr uint32_t kKxpDeviceHeaderOffset = 76;
constexpr uint32_t kKxpFirstEntryOffset = kKxpDeviceHeaderOffset + kKxpDeviceHeaderBytes;

// Every entry made from the image list carries data: both bits set.
constexpr uint32_t kKxpCommandData1 = 0x1;
constexpr uint32_t kKxpCommandData2 = 0x2;
constexpr uint32_t kKxpCommandData4 = 0x4;
constexpr uint32_t kKxpCommandDataBits = kKxpCommandData1 | kKxpCommandData2;

extern const char kKxpMagic[12];

struct KXP_MasterHeader {
    uint8_t Magic[12];
    uint8_t Version[12];
    uint16_t Spare_Area_Size[kKxpMaxDevices];
    uint16_t Constant_11;
    uint16_t Sector_Size;
    uint32_t Data_Length;
    uint32_t Data_Length_Cmd1;
    uint32_t Data_Length_Cmd2;
    uint32_t Reserved;
    uint32_t nOfDevices;
    uint32_t Constant_1;
    uint32_t Device_Header_Offset[kKxpMaxDevices];

    void Store(uint8_t* destination) const;
};

struct KXP_DeviceHeader {
    uint32_t DeviceFlags;
    uint8_t Reserved1[64];
    uint32_t Erase_All_Flash;
    uint32_t Reset_BBT;
    uint32_t Flash_NandID;
    uint8_t Reserved2[12];
    uint32_t nOfSkipBlocks;
    uint32_t Skip_Blocks[kKxpMaxSkipBlocks];
    uint32_t ProductionMode;
    uint8_t UE_Boot_Option;
    uint8_t Platform_Index;
    uint8_t BBCS_Enabled;
    uint8_t CRCS_Enabled;
    uint32_t Differential_Upgrade;
    uint32_t Reserved3;
    uint32_t nOfImages;

    void Store(uint8_t* destination) const;
};

struct KXP_ImageEntry {
    uint32_t Image_ID;
    uint32_t Image_In_TIM;
    uint32_t Flash_partition;
    uint32_t Flash_erase_size;
    uint32_t commands;
    uint32_t First_Sector;
    uint32_t length;
    uint32_t Flash_Start_Address;
    uint8_t Reserved[16];
    uint32_t ChecksumFormatVersion2;

    void Store(uint8_t* destination) const;
    static KXP_ImageEntry Load(const uint8_t* source);
};

// The records have the file's field offsets without any packing, so the
// field list above is the file format.
static_assert(sizeof(KXP_MasterHeader) == kKxpMasterHeaderBytes, "master header size");
static_assert(offsetof(KXP_MasterHeader, Version) == 0x0C, "Version");
static_assert(offsetof(KXP_MasterHeader, Spare_Area_Size) == 0x18, "Spare_Area_Size");
static_assert(offsetof(KXP_MasterHeader, Constant_11) == 0x20, "Constant_11");
static_assert(offsetof(KXP_MasterHeader, Sector_Size) == 0x22, "Sector_Size");
static_assert(offsetof(KXP_MasterHeader, Data_Length) == 0x24, "Data_Length");
static_assert(offsetof(KXP_MasterHeader, Data_Length_Cmd1) == 0x28, "Data_Length_Cmd1");
static_assert(offsetof(KXP_MasterHeader, Data_Length_Cmd2) == 0x2C, "Data_Length_Cmd2");
static_assert(offsetof(KXP_MasterHeader, Reserved) == 0x30, "reserved word");
static_assert(offsetof(KXP_MasterHeader, nOfDevices) == 0x34, "nOfDevices");
static_assert(offsetof(KXP_MasterHeader, Constant_1) == 0x38, "Constant_1");
static_assert(offsetof(KXP_MasterHeader, Device_Header_Offset) == 0x3C, "Device_Header_Offset");

static_assert(sizeof(KXP_DeviceHeader) == kKxpDeviceHeaderBytes, "device header size");
static_assert(offsetof(KXP_DeviceHeader, Erase_All_Flash) == 68, "Erase_All_Flash");
static_assert(offsetof(KXP_DeviceHeader, Reset_BBT) == 72, "Reset_BBT");
static_assert(offsetof(KXP_DeviceHeader, Flash_NandID) == 76, "Flash_NandID");
static_assert(offsetof(KXP_DeviceHeader, nOfSkipBlocks) == 92, "nOfSkipBlocks");
static_assert(offsetof(KXP_DeviceHeader, Skip_Blocks) == 96, "Skip_Blocks");
static_assert(offsetof(KXP_DeviceHeader, ProductionMode) == 224, "ProductionMode");
static_assert(offsetof(KXP_DeviceHeader, UE_Boot_Option) == 228, "UE_Boot_Option");
static_assert(offsetof(KXP_DeviceHeader, Platform_Index) == 229, "Platform_Index");
static_assert(offsetof(KXP_DeviceHeader, BBCS_Enabled) == 230, "BBCS_Enabled");
static_assert(offsetof(KXP_DeviceHeader, CRCS_Enabled) == 231, "CRCS_Enabled");
static_assert(offsetof(KXP_DeviceHeader, Differential_Upgrade) == 232, "Differential_Upgrade");
static_assert(offsetof(KXP_DeviceHeader, nOfImages) == 240, "nOfImages");

static_assert(sizeof(KXP_ImageEntry) == kKxpImageEntryBytes, "image entry size");
static_assert(offsetof(KXP_ImageEntry, Flash_erase_size) == 12, "Flash_erase_size");
static_assert(offsetof(KXP_ImageEntry, commands) == 16, "commands");
static_assert(offsetof(KXP_ImageEntry, First_Sector) == 20, "First_Sector");
static_assert(offsetof(KXP_ImageEntry, length) == 24, "length");
static_assert(offsetof(KXP_ImageEntry, Flash_Start_Address) == 28, "Flash_Start_Address");
static_assert(offsetof(KXP_ImageEntry, ChecksumFormatVersion2) == 48, "ChecksumFormatVersion2");

// The type code of an Image Type text (exact comparison); 0 for any other.
uint32_t GetImageTypeCode(const std::wstring& imageType);

// The image checksum's core: the XOR of the little-endian words that start
// below length; the bytes up to the next multiple of 4 must be readable.
inline uint32_t XorLe32Words(const uint8_t* bytes, uint32_t length)
{
    // Two words at a time: the XOR of the halves of the 64-bit XOR.
    uint64_t wide = 0;
    uint32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        wide ^= static_cast<uint64_t>(LoadLe32(bytes + i)) | static_cast<uint64_t>(LoadLe32(bytes + i + 4)) << 32;
    }
    uint32_t sum = static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
    for (; i < length; i += 4) {
        sum ^= LoadLe32(bytes + i);
    }
    return sum;
}

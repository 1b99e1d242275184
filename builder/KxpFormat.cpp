#include "builder/KxpFormat.h"

#include <cstring>

const char kKxpMagic[12] = "Zelmora_KXP";

namespace {

struct ImageTypeCode {
    const wchar_t* type;
    uint32_t code;
};

constexpr ImageTypeCode kImageTypeCodes[] = {
    {L"WM", 0x10},         {L"YAFFS", 0x20},      {L"UBIFS", 0x30},      {L"JFFS2", 0x40},
    {L"RND", 0x50},        {L"SPARSE", 0x60},     {L"LZMA", 0x70},       {L"LZMA2", 0x80},
    {L"YAFFS_LZMA", 0x90}, {L"UBIFS_LZMA", 0xA0}, {L"JFFS2_LZMA", 0xB0}, {L"RAW_LZMA", 0xC0},
};

}  // namespace

void KXP_MasterHeader::Store(uint8_t* d) const
{
    std::memcpy(d + offsetof(KXP_MasterHeader, Magic), Magic, sizeof Magic);
    std::memcpy(d + offsetof(KXP_MasterHeader, Version), Version, sizeof Version);
    for (size_t i = 0; i < kKxpMaxDevices; ++i) {
        StoreLe16(d + offsetof(KXP_MasterHeader, Spare_Area_Size) + 2 * i, Spare_Area_Size[i]);
    }
    StoreLe16(d + offsetof(KXP_MasterHeader, Constant_11), Constant_11);
    StoreLe16(d + offsetof(KXP_MasterHeader, Sector_Size), Sector_Size);
    StoreLe32(d + offsetof(KXP_MasterHeader, Data_Length), Data_Length);
    StoreLe32(d + offsetof(KXP_MasterHeader, Data_Length_Cmd1), Data_Length_Cmd1);
    StoreLe32(d + offsetof(KXP_MasterHeader, Data_Length_Cmd2), Data_Length_Cmd2);
    StoreLe32(d + offsetof(KXP_MasterHeader, Reserved), Reserved);
    StoreLe32(d + offsetof(KXP_MasterHeader, nOfDevices), nOfDevices);
    StoreLe32(d + offsetof(KXP_MasterHeader, Constant_1), Constant_1);
    for (size_t i = 0; i < kKxpMaxDevices; ++i) {
        StoreLe32(d + offsetof(KXP_MasterHeader, Device_Header_Offset) + 4 * i, Device_Header_Offset[i]);
    }
}

void KXP_DeviceHeader::Store(uint8_t* d) const
{
    StoreLe32(d + offsetof(KXP_DeviceHeader, DeviceFlags), DeviceFlags);
    std::memcpy(d + offsetof(KXP_DeviceHeader, Reserved1), Reserved1, sizeof Reserved1);
    StoreLe32(d + offsetof(KXP_DeviceHeader, Erase_All_Flash), Erase_All_Flash);
    StoreLe32(d + offsetof(KXP_DeviceHeader, Reset_BBT), Reset_BBT);
    StoreLe32(d + offsetof(KXP_DeviceHeader, Flash_NandID), Flash_NandID);
    std::memcpy(d + offsetof(KXP_DeviceHeader, Reserved2), Reserved2, sizeof Reserved2);
    StoreLe32(d + offsetof(KXP_DeviceHeader, nOfSkipBlocks), nOfSkipBlocks);
    for (size_t i = 0; i < kKxpMaxSkipBlocks; ++i) {
        StoreLe32(d + offsetof(KXP_DeviceHeader, Skip_Blocks) + 4 * i, Skip_Blocks[i]);
    }
    StoreLe32(d + offsetof(KXP_DeviceHeader, ProductionMode), ProductionMode);
    d[offsetof(KXP_DeviceHeader, UE_Boot_Option)] = UE_Boot_Option;
    d[offsetof(KXP_DeviceHeader, Platform_Index)] = Platform_Index;
    d[offsetof(KXP_DeviceHeader, BBCS_Enabled)] = BBCS_Enabled;
    d[offsetof(KXP_DeviceHeader, CRCS_Enabled)] = CRCS_Enabled;
    StoreLe32(d + offsetof(KXP_DeviceHeader, Differential_Upgrade), Differential_Upgrade);
    StoreLe32(d + offsetof(KXP_DeviceHeader, Reserved3), Reserved3);
    StoreLe32(d + offsetof(KXP_DeviceHeader, nOfImages), nOfImages);
}

void KXP_ImageEntry::Store(uint8_t* d) const
{
    StoreLe32(d + offsetof(KXP_ImageEntry, Image_ID), Image_ID);
    StoreLe32(d + offsetof(KXP_ImageEntry, Image_In_TIM), Image_In_TIM);
    StoreLe32(d + offsetof(KXP_ImageEntry, Flash_partition), Flash_partition);
    StoreLe32(d + offsetof(KXP_ImageEntry, Flash_erase_size), Flash_erase_size);
    StoreLe32(d + offsetof(KXP_ImageEntry, commands), commands);
    StoreLe32(d + offsetof(KXP_ImageEntry, First_Sector), First_Sector);
    StoreLe32(d + offsetof(KXP_ImageEntry, length), length);
    StoreLe32(d + offsetof(KXP_ImageEntry, Flash_Start_Address), Flash_Start_Address);
    std::memcpy(d + offsetof(KXP_ImageEntry, Reserved), Reserved, sizeof Reserved);
    StoreLe32(d + offsetof(KXP_ImageEntry, ChecksumFormatVersion2), ChecksumFormatVersion2);
}

KXP_ImageEntry KXP_ImageEntry::Load(const uint8_t* s)
{
    KXP_ImageEntry e{};
    e.Image_ID = LoadLe32(s + offsetof(KXP_ImageEntry, Image_ID));
    e.Image_In_TIM = LoadLe32(s + offsetof(KXP_ImageEntry, Image_In_TIM));
    e.Flash_partition = LoadLe32(s + offsetof(KXP_ImageEntry, Flash_partition));
    e.Flash_erase_size = LoadLe32(s + offsetof(KXP_ImageEntry, Flash_erase_size));
    e.commands = LoadLe32(s + offsetof(KXP_ImageEntry, commands));
    e.First_Sector = LoadLe32(s + offsetof(KXP_ImageEntry, First_Sector));
    e.length = LoadLe32(s + offsetof(KXP_ImageEntry, length));
    e.Flash_Start_Address = LoadLe32(s + offsetof(KXP_ImageEntry, Flash_Start_Address));
    std::memcpy(e.Reserved, s + offsetof(KXP_ImageEntry, Reserved), sizeof e.Reserved);
    e.ChecksumFormatVersion2 = LoadLe32(s + offsetof(KXP_ImageEntry, ChecksumFormatVersion2));
    return e;
}

uint32_t GetImageTypeCode(const std::wstring& imageType)
{
    for (const ImageTypeCode& row : kImageTypeCodes) {
        if (imageType == row.type) {
            return row.code;
        }
    }
    return 0;
}

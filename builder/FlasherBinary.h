// One image file on its way into the package: the open file, its length,
// the values of its image entry, its checksum and the copy of its bytes
// into the virtual file store in whole sectors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/platform/FileSystem.h"

class CFlasherBinary {
public:
    // Opens the file (none for the type "ERASEONLY"), never waiting on it.
    // Raises CZorlixexception "Unable to open file: %s" when it cannot be
    // opened, NotRegularImageText when it is no regular file, and when it
    // is too large for a package.
    CFlasherBinary(const std::wstring& path, const std::wstring& type, int32_t pageGeometry, int32_t deviceKind,
                   int32_t imageInTim, uint32_t imageId, uint32_t flashStartAddress, uint32_t sectorSize,
                   uint32_t commands, int32_t spareAreaSize, int32_t dataAreaSize, int32_t partition,
                   uint32_t eraseValue, uint32_t reserved);
    CFlasherBinary(const CFlasherBinary&) = delete;
    CFlasherBinary& operator=(const CFlasherBinary&) = delete;
    virtual ~CFlasherBinary();

    // The XOR of the little-endian 32-bit words of the first length bytes
    // from startOffset, bytes past the end of the file counting as 0xFF.
    // A "YAFFS" image leaves sum as it is. False, with a logged line, when
    // the file cannot be read.
    static bool ComputeChecksum(CFlasherBinary& binary, uint32_t& sum, uint32_t startOffset, uint32_t length);
    // Copies the file's bytes into the store under storeName, padded with
    // 0xFF to whole sectors, and closes the file. blockBuffer holds 2048
    // sectors. False, with a logged line, when a read or a write failed.
    static bool CopyToStore(CFlasherBinary& binary, uint8_t* blockBuffer, const std::wstring& storeName);
    // The same with the store's interleaved write.
    static bool CopyToStoreInterleaved(CFlasherBinary& binary, uint8_t* blockBuffer, const std::wstring& storeName);

    static constexpr uint32_t kSectorsPerBlock = 2048;

    bool HasPath() const { return m_HasPath; }
    // The file's length when it was opened; m_Length is later rounded up.
    uint32_t FileLength() const { return m_FileLength; }

    std::wstring m_Path;
    std::wstring m_Type;
    int32_t m_PageGeometry = 0;
    int32_t m_DeviceKind = 0;
    uint32_t m_ImageId = 0;
    uint32_t m_FlashStartAddress = 0;
    uint32_t m_FirstSector = 0;
    uint32_t m_LastSector = 0;
    uint32_t m_YaffsChecksum = 0;
    uint32_t m_Length = 0;
    platform::OpenedFile m_Stream;
    uint32_t m_Commands = 0;
    uint32_t m_SectorSize = 0;
    int32_t m_Mode = 0;
    uint32_t m_EraseSize = 0;
    int32_t m_Partition = 0;
    int32_t m_ImageInTim = 0;
    int32_t m_SpareAreaSize = 0;
    int32_t m_DataAreaSize = 0;
    uint32_t m_Reserved = 0;

private:
    static bool Copy(CFlasherBinary& binary, uint8_t* blockBuffer, const std::wstring& storeName, bool interleaved);
    void CloseStream();

    bool m_HasPath = false;
    uint32_t m_FileLength = 0;
};

// The code of the first boot-flash signature whose text the value contains;
// 255 when none does.
uint32_t GetBootFlashSignatureCode(const std::wstring& text);

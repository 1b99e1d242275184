// The page re-layout of "YAFFS" images for the device's NAND geometry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class CImageConvert {
public:
    CImageConvert();
    virtual ~CImageConvert();

    // Re-lays the image out page by page into the store under storeName and
    // sets checksum to the checksum of what was written. False, with the
    // cause in message, when it could not.
    bool ConvertYaffs2(uint32_t& checksum, const std::wstring& storeName, FILE* image, int geometryIndex,
                       uint32_t sectorSize, std::wstring& message);

private:
    std::wstring m_Unused;
};

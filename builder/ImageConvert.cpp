#include "builder/ImageConvert.h"

CImageConvert::CImageConvert() = default;

CImageConvert::~CImageConvert() = default;

// The re-layout is not part of this build yet: a package with a "YAFFS"
// image is refused rather than built with the image copied unchanged.
bool CImageConvert::ConvertYaffs2(uint32_t& checksum, const std::wstring& storeName, FILE* image,
                                  int geometryIndex, uint32_t sectorSize, std::wstring& message)
{
    (void)checksum;
    (void)storeName;
    (void)image;
    (void)geometryIndex;
    (void)sectorSize;
    message = L"YAFFS images cannot be packaged yet: the page re-layout is not available.";
    return false;
}

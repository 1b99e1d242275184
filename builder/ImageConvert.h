// The page re-layout of "YAFFS" images for the device's NAND geometry: page
// data copied as they are, each spare area rebuilt as 0xFF with the YAFFS2
// tags of the source's spare area scattered into the ranges the device
// expects them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// One NAND page form: page and spare sizes and the two layout flags.
struct NandGeometry {
    uint32_t pageSize = 0;
    uint32_t spareSize = 0;
    uint32_t x = 0;
    uint32_t y = 0;
};

// Eight geometries, indexed 0 to 7. Index bit 1 set means 4096-byte pages
// with 128 spare bytes (clear: 2048 with 64); bit 2 gives flag X, bit 0
// flag Y.
constexpr int kNandGeometryCount = 8;
// A device whose flash has no page geometry for the re-layout.
constexpr int kNoNandGeometry = -1;

// Fills geometry for an index from 0 to 7; false for any other.
bool GetNandGeometry(int index, NandGeometry& geometry);

// A place in the spare area that takes the next tag bytes.
struct OobRange {
    uint32_t offset;
    uint32_t length;
};
constexpr size_t kMaxOobRanges = 8;

// Copies the source's leading bytes into the ranges of the spare area, in
// order, while fewer than tagLength bytes were copied; at most
// kMaxOobRanges ranges are used. The number of bytes copied.
uint32_t ScatterOobTags(const uint8_t* source, const OobRange* ranges, size_t rangeCount, uint8_t* spare,
                        uint32_t tagLength);

class CImageConvert {
public:
    CImageConvert();
    virtual ~CImageConvert();

    // Re-lays the image out page by page into the store under storeName,
    // padded with 0xFF to whole sectors, and XORs the little-endian words of
    // the pages and rebuilt spare areas (not the padding) into checksum.
    // False, with the cause in message, when it could not; nothing is
    // written when the geometry or the image's size is refused. False with
    // an empty message when the run is asked to stop (see
    // common/platform/Stop.h): the caller then reports nothing.
    bool ConvertYaffs2(uint32_t& checksum, const std::wstring& storeName, FILE* image, int geometryIndex,
                       uint32_t sectorSize, std::wstring& message);

private:
    std::wstring m_Unused;
};

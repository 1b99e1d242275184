// The package that maps images to flash: one entry per image, each naming
// the image and its type, where it lies in flash (a 64-bit address split
// into low and high words), its partition and whether it is used. It
// parses its own block of the layout file (see ReadsBlock).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "erd/ErdBase.h"
#include "erd/SetPackages.h"

// One map entry, with one field per value of Field below; the layout
// file's key for each is in kMapFieldNames (ImageMaps.cpp).
class CImageMapInfo final : public CErdClass<CImageMapInfo, kErdImageMapInfo> {
public:
    enum Field { kImageId, kImageType, kFlashAddressLo, kFlashAddressHi, kPartition, kEnable, kFieldCount };

    CImageMapInfo();

    // Writes only the block's begin and end lines; the maps' fields are
    // written by the package that holds them.
    bool Write(std::wostream& stream, bool flag) override;
    uint32_t Size() const override;
    // Five words: every field but the enable flag.
    uint32_t AddToPackage(CReservedPackageData& package) const override;
    // The six values as numbers, with nothing between them; false when the
    // field lists are not whole or the stream fails.
    bool WriteValues(std::wostream& stream) const;
};

// The package: its "NUM_MAPS" field and the maps. Sizes follow the maps,
// not the count text.
class CImageMaps final : public CErdClass<CImageMaps, kErdImageMaps, CPackageSet<CImageMapInfo>> {
public:
    CImageMaps() = default;
    // A copy's count text is the number of maps it holds.
    CImageMaps(const CImageMaps& other);
    CImageMaps& operator=(const CImageMaps& other);

    // Resets the field ("NUM_MAPS" loses its name) and drops the maps.
    void Reset() override;
    // Reads the block up to "End_Image_Maps" and not beyond: maps before
    // the count line are skipped, a map left open at the end is dropped.
    // Never fails.
    bool Parse(std::wistream& stream, std::wstring line) override;
    // The block as layout text. With flag clear every enable line says 1.
    bool Write(std::wostream& stream, bool flag) override;
    uint32_t Size() const override;
    bool WriteValues(std::wostream& stream) const;

    uint32_t MapCount() const;

    // The identifier text of the longest image-type name that text
    // contains ("CUSTMOZIEDIMAGE_TYPE12" gives "0x15"); text itself when it
    // names none.
    static std::wstring ImageTypeId(const std::wstring& text);

private:
    void SetCountField();
};

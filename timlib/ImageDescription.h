// Everything the layout file says about one image: its four-character tag
// and the matching hexadecimal ID, the ID of the image after it, where it
// goes in flash and in memory, its file, type, hash, CRC and erase sizes,
// its partition and its flags. Texts stay as written in the layout file;
// some also keep their value as a number. Callers set the numbers and flags
// as plain members, but should set the ID and address texts through the
// setters, which keep the fields derived from them in step. A setter
// writes its text into the field's own room: most values fit in that of
// the construction text they replace.
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include "common/TimLib.h"

class CImageDescription : public CTimLib {
public:
    CImageDescription();
    CImageDescription(const CImageDescription& other);
    CImageDescription& operator=(const CImageDescription& other) = default;
    ~CImageDescription() override;

    // Construction values of every text and number except EraseSize; the
    // flags and EraseSize stay as they are.
    void SetDefaults();

    // Sets the tag and derives ImageId from it ("0xFFFFFFFF" for an empty
    // tag or "<None>").
    void SetIdName(std::wstring_view tag);
    std::wstring GetIdName() const { return IdName; }
    // Sets the ID text and derives the four-character tag from its value.
    void SetImageId(std::wstring_view id);
    std::wstring GetImageId() const { return ImageId; }
    // As SetImageId, for the next image's ID and tag.
    void SetNextImageId(std::wstring_view id);
    std::wstring GetNextImageId() const { return NextImageId; }

    void SetFlashAddress(std::wstring_view text);
    std::wstring GetFlashAddress() const { return FlashAddress; }
    void SetFlashEntrySector(std::wstring_view text);
    std::wstring GetFlashEntrySector() const { return FlashEntrySector; }
    void SetFlashEntryAddress(std::wstring_view text);
    std::wstring GetFlashEntryAddress() const { return FlashEntryAddress; }
    void SetLoadAddress(std::wstring_view text);
    std::wstring GetLoadAddress() const { return LoadAddress; }
    void SetSizeToCrc(std::wstring_view text);
    std::wstring GetSizeToCrc() const { return SizeToCrc; }
    void SetImagePath(std::wstring_view text);
    std::wstring GetImagePath() const { return ImagePath; }
    void SetHashAlgorithmId(std::wstring_view text);
    std::wstring GetHashAlgorithmId() const { return HashAlgorithmId; }
    void SetEraseSize(std::wstring_view text);
    void SetImageType(std::wstring_view text);
    // The one setter that leaves Changed alone.
    void SetImageSizeToHash(std::wstring_view text);

    std::wstring IdName;
    std::wstring ImageId;
    std::wstring NextIdName;
    std::wstring NextImageId;
    std::wstring FlashAddress;
    std::wstring FlashEntryAddress;
    std::wstring FlashEntrySector;
    std::wstring LoadAddress;
    std::wstring SizeToCrc;
    std::wstring ImagePath;
    std::wstring HashAlgorithmId;
    std::wstring ImageSizeToHashText;
    uint32_t ImageSize = 0;
    uint32_t ImageSizeToHash = 0;
    int32_t PartitionNumber = 0;
    uint32_t EraseSizeValue = 0;
    std::wstring EraseSize;
    std::wstring ImageType;
    bool Changed = false;
    bool Enable = false;
    int32_t TimIncluded = 0;
};

// An owned list of image entries, in order.
using ImageList = std::list<std::unique_ptr<CImageDescription>>;

// False only for the exact tag "TIMH".
bool IsNotTimhId(const std::wstring& tag);

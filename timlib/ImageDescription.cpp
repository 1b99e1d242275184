#include "timlib/ImageDescription.h"

#include <utility>

namespace {

// The four bytes of an ID, most significant first, one character each. A
// zero byte stays in the text, and a byte of 0x80 or above becomes
// 0xFF00 + byte, as a signed 8-bit character widens. Written over the
// tag's old text, in its room.
void AssignTagOfIdValue(std::wstring& tag, uint32_t value)
{
    tag.assign(4, L'\0');
    for (int i = 0; i < 4; ++i) {
        const uint32_t byte = (value >> (8 * (3 - i))) & 0xFFu;
        tag[i] = static_cast<wchar_t>(byte >= 0x80 ? 0xFF00u + byte : byte);
    }
}

}  // namespace

CImageDescription::CImageDescription()
{
    SetDefaults();
}

CImageDescription::CImageDescription(const CImageDescription& other) = default;

CImageDescription::~CImageDescription() = default;

void CImageDescription::SetDefaults()
{
    IdName.clear();
    ImageId.clear();
    NextIdName = L"<None>";
    NextImageId = L"0xFFFFFFFF";
    FlashAddress = L"0x00000000";
    FlashEntryAddress = L"0x0000000000";
    FlashEntrySector = L"0x00000000";
    LoadAddress = L"0x00000000";
    SizeToCrc = L"0";
    ImagePath.clear();
    HashAlgorithmId.clear();
    ImageSizeToHashText.clear();
    ImageSize = 0;
    ImageSizeToHash = 0;
    PartitionNumber = 0;
    EraseSizeValue = 0;
    ImageType.clear();
}

void CImageDescription::SetIdName(std::wstring tag)
{
    IdName = std::move(tag);
    if (IdName.empty() || IdName == L"<None>") {
        ImageId = L"0xFFFFFFFF";
    } else {
        ImageId = TagToHexText(IdName);
    }
    Changed = true;
}

void CImageDescription::SetImageId(std::wstring id)
{
    ImageId = std::move(id);
    AssignTagOfIdValue(IdName, ParseUInt32(ImageId));
    Changed = true;
}

void CImageDescription::SetNextImageId(std::wstring id)
{
    NextImageId = std::move(id);
    AssignTagOfIdValue(NextIdName, ParseUInt32(NextImageId));
    Changed = true;
}

void CImageDescription::SetFlashAddress(std::wstring text)
{
    FlashAddress = std::move(text);
    Changed = true;
}

void CImageDescription::SetFlashEntrySector(std::wstring text)
{
    FlashEntrySector = std::move(text);
    Changed = true;
}

void CImageDescription::SetFlashEntryAddress(std::wstring text)
{
    FlashEntryAddress = std::move(text);
    Changed = true;
}

void CImageDescription::SetLoadAddress(std::wstring text)
{
    LoadAddress = std::move(text);
    Changed = true;
}

void CImageDescription::SetSizeToCrc(std::wstring text)
{
    SizeToCrc = std::move(text);
    Changed = true;
}

void CImageDescription::SetImagePath(std::wstring text)
{
    ImagePath = std::move(text);
    Changed = true;
}

void CImageDescription::SetHashAlgorithmId(std::wstring text)
{
    HashAlgorithmId = std::move(text);
    Changed = true;
}

void CImageDescription::SetEraseSize(std::wstring text)
{
    EraseSize = std::move(text);
    Changed = true;
}

void CImageDescription::SetImageType(std::wstring text)
{
    ImageType = std::move(text);
    Changed = true;
}

void CImageDescription::SetImageSizeToHash(std::wstring text)
{
    ImageSizeToHashText = std::move(text);
}

bool IsNotTimhId(const std::wstring& tag)
{
    return tag != L"TIMH";
}

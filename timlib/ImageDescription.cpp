#include "timlib/ImageDescription.h"

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

void CImageDescription::SetIdName(std::wstring_view tag)
{
    IdName.assign(tag);
    if (IdName.empty() || IdName == L"<None>") {
        ImageId.assign(L"0xFFFFFFFF");
    } else {
        AssignTagAsHexText(IdName, ImageId);
    }
    Changed = true;
}

void CImageDescription::SetImageId(std::wstring_view id)
{
    ImageId.assign(id);
    AssignTagOfIdValue(IdName, ParseUInt32(ImageId));
    Changed = true;
}

void CImageDescription::SetNextImageId(std::wstring_view id)
{
    NextImageId.assign(id);
    AssignTagOfIdValue(NextIdName, ParseUInt32(NextImageId));
    Changed = true;
}

void CImageDescription::SetFlashAddress(std::wstring_view text)
{
    FlashAddress.assign(text);
    Changed = true;
}

void CImageDescription::SetFlashEntrySector(std::wstring_view text)
{
    FlashEntrySector.assign(text);
    Changed = true;
}

void CImageDescription::SetFlashEntryAddress(std::wstring_view text)
{
    FlashEntryAddress.assign(text);
    Changed = true;
}

void CImageDescription::SetLoadAddress(std::wstring_view text)
{
    LoadAddress.assign(text);
    Changed = true;
}

void CImageDescription::SetSizeToCrc(std::wstring_view text)
{
    SizeToCrc.assign(text);
    Changed = true;
}

void CImageDescription::SetImagePath(std::wstring_view text)
{
    ImagePath.assign(text);
    Changed = true;
}

void CImageDescription::SetHashAlgorithmId(std::wstring_view text)
{
    HashAlgorithmId.assign(text);
    Changed = true;
}

void CImageDescription::SetEraseSize(std::wstring_view text)
{
    EraseSize.assign(text);
    Changed = true;
}

void CImageDescription::SetImageType(std::wstring_view text)
{
    ImageType.assign(text);
    Changed = true;
}

void CImageDescription::SetImageSizeToHash(std::wstring_view text)
{
    ImageSizeToHashText.assign(text);
}

bool IsNotTimhId(const std::wstring& tag)
{
    return tag != L"TIMH";
}

#include "timlib/TimDescriptor.h"

#include <utility>

CTimDescriptor::CTimDescriptor()
    : m_VktSaveStateFlashSignature(L"0x4D4D4308"),
      m_VktSaveStateFlashEntryAddress(L"0x00000000"),
      m_VktSaveStateBackUpEntryAddress(L"0x00000000"),
      m_pKey(std::make_unique<CRSAKey>())
{
    m_SignatureRecord.SetWord(TimSignatureRecord::kHashSize, 20);
    m_HeaderWords[kWordReserved1] = 0xFFFFFFFFu;
    m_HeaderWords[kWordReserved2] = 0xFFFFFFFFu;
}

CTimDescriptor::~CTimDescriptor()
{
    ClearAll();
}

CTimDescriptor& CTimDescriptor::operator=(const CTimDescriptor& other)
{
    if (this == &other) {
        return *this;
    }
    ClearAll();
    m_Version = other.m_Version;
    m_bTrusted = other.m_bTrusted;
    m_IssueDate = other.m_IssueDate;
    m_OemUniqueId = other.m_OemUniqueId;
    m_BootFlashSignature = other.m_BootFlashSignature;
    m_ProcessorType = other.m_ProcessorType;
    m_VktSaveStateFlashSignature = other.m_VktSaveStateFlashSignature;
    m_VktSaveStateFlashEntryAddress = other.m_VktSaveStateFlashEntryAddress;
    m_VktSaveStateBackUpEntryAddress = other.m_VktSaveStateBackUpEntryAddress;
    m_bChanged = other.m_bChanged;
    m_bDirty = other.m_bDirty;
    for (size_t i = 0; i < kHeaderWordCount; ++i) {
        m_HeaderWords[i] = other.m_HeaderWords[i];
    }
    for (const auto& image : other.m_Images) {
        m_Images.push_back(std::make_unique<CImageDescription>(*image));
    }
    for (const auto& package : other.m_ReservedPackages) {
        m_ReservedPackages.push_back(std::make_unique<CReservedPackageData>(*package));
    }
    m_ExtendedReservedData = other.m_ExtendedReservedData;
    for (const auto& key : other.m_Keys) {
        m_Keys.push_back(key->Clone());
    }
    m_Signature = other.m_Signature;
    if (other.m_pKey) {
        m_pKey = other.m_pKey->Clone();
    }
    m_SignatureRecord = other.m_SignatureRecord;
    return *this;
}

void CTimDescriptor::Reset()
{
    m_Version = L"0x030201";
    m_bTrusted = false;
    m_IssueDate = L"0x08042008";
    m_OemUniqueId = L"0xFEDCBA98";
    m_BootFlashSignature = L"0x4D4D4308";
    m_ProcessorType.clear();
    m_VktSaveStateFlashSignature = L"0x4D4D4308";
    m_VktSaveStateFlashEntryAddress = L"0x00000000";
    m_VktSaveStateBackUpEntryAddress = L"0x00000000";
    ClearAll();
    m_bChanged = true;
    m_bDirty = true;
}

void CTimDescriptor::ClearAll()
{
    ClearImages();
    m_ReservedPackages.clear();
    m_ExtendedReservedData.Reset();
    m_Keys.clear();
    m_Signature.ClearAll();
    if (m_pKey) {
        m_pKey->ClearKeyWords();
        m_pKey.reset();
    }
}

void CTimDescriptor::ClearImages()
{
    m_Images.clear();
}

void CTimDescriptor::ReplaceImages(const ImageList& images)
{
    // Copy first: the given list may hold this descriptor's own images.
    ImageList copies;
    for (const auto& image : images) {
        copies.push_back(std::make_unique<CImageDescription>(*image));
    }
    m_Images = std::move(copies);
}

uint32_t CTimDescriptor::GetReservedDataSize() const
{
    // Each package adds its identifier and size words to its data words.
    uint32_t size = 0;
    for (const auto& package : m_ReservedPackages) {
        size += 8 + 4 * static_cast<uint32_t>(package->m_DataList.size());
    }
    return size > 0 ? size + 16 : size;
}

void CTimDescriptor::SetVktSaveStateFlashSignature(std::wstring text)
{
    m_VktSaveStateFlashSignature = std::move(text);
    m_bChanged = true;
    m_bDirty = true;
}

void CTimDescriptor::SetVktSaveStateFlashEntryAddress(std::wstring text)
{
    m_VktSaveStateFlashEntryAddress = std::move(text);
    m_bChanged = true;
    m_bDirty = true;
}

void CTimDescriptor::SetVktSaveStateBackUpEntryAddress(std::wstring text)
{
    m_VktSaveStateBackUpEntryAddress = std::move(text);
    m_bChanged = true;
    m_bDirty = true;
}

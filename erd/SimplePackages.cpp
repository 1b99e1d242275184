#include "erd/SimplePackages.h"

#include <cstddef>

#include "erd/ReservedPackageData.h"

namespace {

uint32_t FieldCount(const ErdFields& fields)
{
    uint32_t count = 0;
    while (count < fields.names.size() && fields.names[count] != nullptr) {
        ++count;
    }
    return count;
}

}  // namespace

// The type id comes from CErdClass, whose class has a row.
CSimplePackage::CSimplePackage(uint32_t typeId)
    : CErdBase(typeId, FieldCount(FindErdClass(typeId)->fields)), m_Fields(&FindErdClass(typeId)->fields)
{
    for (uint32_t i = 0; i < m_FieldCount; ++i) {
        m_FieldNames[i] = m_Fields->names[i];
    }
}

uint32_t CSimplePackage::Size() const
{
    if (m_Fields->fixedSize != 0) {
        return m_Fields->fixedSize;
    }
    return m_Fields->headerBytes + 4 * static_cast<uint32_t>(m_FieldValues.size());
}

uint32_t CSimplePackage::PackageId() const
{
    const ErdClassInfo* info = FindErdClass(m_TypeId);
    return info != nullptr ? info->packageId : 0;
}

void CSimplePackage::AddFieldWords(CReservedPackageData& package) const
{
    if (PackageId() != 0) {
        package.SetPackageId(FormatHex32(PackageId()));
    }
    for (size_t i = 0; i < m_FieldValues.size(); ++i) {
        const wchar_t* comment = L"";
        if (i < m_Fields->names.size() && m_Fields->names[i] != nullptr) {
            comment = m_Fields->comments[i] != nullptr ? m_Fields->comments[i] : m_Fields->names[i];
        }
        package.AddData(m_FieldValues[i], comment);
    }
}

uint32_t CSimplePackage::AddToPackage(CReservedPackageData& package) const
{
    AddFieldWords(package);
    return Size();
}

void CUsbVendorReq::Reset()
{
    m_Data.clear();
}

uint32_t CUsbVendorReq::Size() const
{
    return 16 + 4 * static_cast<uint32_t>(m_Data.size());
}

namespace {

enum VendorField { kRequestType, kRequest, kValue, kIndex, kLength };

}  // namespace

uint32_t CUsbVendorReq::AddToPackage(CReservedPackageData& package) const
{
    package.SetPackageId(FormatHex32(PackageId()));
    // The field list is public; a missing field packs as 0.
    auto number = [this](size_t field) {
        return field < m_FieldValues.size() ? ParseUInt32(m_FieldValues[field]) : 0u;
    };
    const uint32_t request = (number(kValue) << 16) | ((number(kRequest) & 0xFFu) << 8) |
                             (number(kRequestType) & 0xFFu);
    package.AddData(FormatHex32(request), L"wVALUE, bREQUEST, bREQUEST_TYPE");
    const uint32_t lengthIndex = (number(kLength) << 16) | (number(kIndex) & 0xFFFFu);
    package.AddData(FormatHex32(lengthIndex), L"wLENGTH, wINDEX");
    for (const std::wstring& data : m_Data) {
        package.AddData(data, L"data");
    }
    return Size();
}

#include "erd/SimplePackages.h"

#include <array>
#include <cstddef>

#include "erd/ReservedPackageData.h"

// One row per class built on CSimplePackage. A null comment means the
// field's name is its comment.
struct SimplePackageRow {
    uint32_t typeId;
    uint32_t headerBytes;  // 8 for a package of its own, 0 for a set's child
    uint32_t fixedSize;    // 0: the size follows the number of values
    std::array<const wchar_t*, 6> names;
    std::array<const wchar_t*, 6> comments;
};

namespace {

using Row = SimplePackageRow;

// The vendor request's comments belong to its two packed words, not to its
// fields; they stand in its AddToPackage.
const Row kRows[] = {
    {kErdAutoBind, 8, 0, {L"AUTOBIND"}, {}},
    {kErdEscapeSeq, 8, 0, {L"ESCAPE_SEQ_TIMEOUT_MS"}, {}},
    {kErdEscapeSeqV2, 8, 0,
     {L"ESCAPE_SEQV2_GPIONUMBER", L"ESCAPE_SEQV2_GPIO_TRIGGERVAL", L"ESCAPE_SEQV2_MFPR_NUM",
      L"ESCAPE_SEQV2_MFPR_ADDR", L"ESCAPE_SEQV2_MFPR_VALUE"},
     {}},
    {kErdResume, 8, 0, {L"IMAGE_ADDRESS"}, {}},
    {kErdResumeDdr, 8, 0, {L"RESUME_DDR_ADDRESS", L"RESUME_DDR_PARAM", L"RESUME_DDR_FLAG"}, {L"RESUME_DDR_ADDR"}},
    {kErdUart, 8, 0, {L"PORT", L"ENABLED"}, {}},
    {kErdUsb, 8, 0, {L"PORT", L"ENABLED"}, {}},
    {kErdUsbVendorReq, 8, 0, {L"REQUEST_TYPE", L"REQUEST", L"VALUE", L"INDEX", L"LENGTH", L"DATA"}, {}},
    {kErdCoreReset, 8, 16, {L"CORE ID", L"ADDRESS_MAPPING"}, {L"Core ID", L"Address Mapping"}},
    {kErdBbmt, 8, 12, {L"BBMT_TYPE"}, {L"BBMT Type"}},
    // The sets' own fields.
    {kErdGpioSet, 8, 0, {L"NUM_GPIOS"}, {}},
    {kErdTbrXferSet, 8, 0, {L"XFER_LOC", L"NUM_DATA_PAIRS"}, {}},
    {kErdCustTransferApInfoSet, 8, 0, {L"NUM_TRANSFERTAPINFOCFGS"}, {}},
    {kErdImageMaps, 8, 0, {L"NUM_MAPS"}, {}},
    // The sets' children: two words each, no header of their own.
    {kErdGpio, 0, 0, {L"ADDRESS", L"VALUE"}, {}},
    {kErdXfer, 0, 0, {L"DATA_ID", L"LOCATION"}, {}},
    {kErdCustTransferApInfo, 0, 0, {L"ADDRESS", L"VALUE"}, {}},
};

uint32_t FieldCount(const Row& row)
{
    uint32_t count = 0;
    while (count < row.names.size() && row.names[count] != nullptr) {
        ++count;
    }
    return count;
}

const Row& RowOf(uint32_t typeId)
{
    for (const Row& row : kRows) {
        if (row.typeId == typeId) {
            return row;
        }
    }
    // Every class built on CSimplePackage has a row; this is never reached.
    static const Row kNone = {0, 8, 0, {}, {}};
    return kNone;
}

}  // namespace

CSimplePackage::CSimplePackage(uint32_t typeId)
    : CErdBase(FieldCount(RowOf(typeId)), typeId), m_Row(&RowOf(typeId))
{
    for (uint32_t i = 0; i < m_FieldCount; ++i) {
        m_FieldNames[i] = m_Row->names[i];
    }
}

uint32_t CSimplePackage::Size() const
{
    if (m_Row->fixedSize != 0) {
        return m_Row->fixedSize;
    }
    return m_Row->headerBytes + 4 * static_cast<uint32_t>(m_FieldValues.size());
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
        if (i < m_Row->names.size() && m_Row->names[i] != nullptr) {
            comment = m_Row->comments[i] != nullptr ? m_Row->comments[i] : m_Row->names[i];
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

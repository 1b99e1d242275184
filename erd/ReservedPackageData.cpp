#include "erd/ReservedPackageData.h"

#include <initializer_list>
#include <utility>

#include "common/ErdCategoryNames.h"
#include "common/Tag.h"
#include "common/platform/Format.h"

namespace {

struct NamedId {
    uint32_t id;
    const wchar_t* name;
};

// Identifiers whose display name is not simply their tag; the first match
// decides. Kept apart from the reserved-data reader's tag lines: those are
// the texts a layout file may write, a different set with different names.
const NamedId kPackageNames[] = {
    {TagValue("BIND"), L"AUTOBIND"},
    {TagValue("DDrH"), L"DDRID"},
    {TagValue("GPIO"), L"GPIOID"},
    {TagValue("Rsm2"), L"RESUMEBLID"},
    {TagValue("TBRX"), L"TBR_XFER"},
    {TagValue("UART"), L"UARTID"},
    {TagValue("USB"), L"USBID"},
    {TagValue("USB\x01"), L"eUSB_CONFIG_DESCRIPTOR"},
    {TagValue("USB\x08"), L"eUSB_DEFAULT_STRING_DESCRIPTOR"},
    {TagValue("USB\0"), L"eUSB_DEVICE_DESCRIPTOR"},
    {TagValue("USB\x09"), L"eUSB_ENDPOINT_DESCRIPTOR"},
    {TagValue("USB\x02"), L"eUSB_INTERFACE_DESCRIPTOR"},
    {TagValue("USB\x07"), L"eUSB_INTERFACE_STRING_DESCRIPTOR"},
    {TagValue("USB\x03"), L"eUSB_LANGUAGE_STRING_DESCRIPTOR"},
    {TagValue("USB\x04"), L"eUSB_MANUFACTURER_STRING_DESCRIPTOR"},
    {TagValue("USB\x05"), L"eUSB_PRODUCT_STRING_DESCRIPTOR"},
    {TagValue("USB\x06"), L"eUSB_SERIAL_STRING_DESCRIPTOR"},
    {TagValue("VREQ"), L"USB_VENDORREQ"},
    {TagValue("ESCS"), L"ESCAPE_SEQUENCE"},
    {TagValue("ESv2"), L"ESCAPESEQUENCE_V2"},
    {TagValue("CUST"), L"CUST"},
    {TagValue("NOFC"), L"NOFC"},
    {TagValue("NOKD"), L"NOKD"},
    {TagValue("NOMC"), L"NOMONITORID"},
    {TagValue("CORE"), L"COREID"},
    {TagValue("IMAP"), L"IMAPID"},
    {TagValue("DFMP"), L"DDR_Flash_Mcp_Map"},
    {TagValue("CITA"), L"CITA_CUMIZED_INFO_TRANSFER_TOAP_ID"},
};

// Names looked up after the register categories.
const NamedId kLatePackageNames[] = {
    {TagValue("CIDP"), L"CIPD"},
    {TagValue("TZRI"), L"TZRI"},
};

const wchar_t* const kBdkfpComments[] = {
    L"Length", L"Length Type", L"sign[0]", L"sign[1]", L"sign[2]", L"sign[3]", L"Flags", L"Spare Blocks",
    L"BDKFP_0_RFU_0", L"BDKFP_1_RFU_0", L"BDKFP_2_RFU_0", L"BDKFP_3_RFU_0",
};
const wchar_t* const kBdtlfpComments[] = {
    L"Length", L"Fast Area Length", L"Length Type", L"Fast Area Length Type", L"Fast Area Virtual Factor",
    L"Number of Spare Units", L"BDTLFP_0_RFU_0", L"BDTLFP_1_RFU_0", L"BDTLFP_2_RFU_0", L"BDTLFP_3_RFU_0",
};
const wchar_t* const kDocComments[] = {
    L"Percent Use", L"Number of BDTL Partitions", L"Number of Binary Partitions", L"Cascaded Device Number",
    L"Number of Cacaded Devices", L"Progress Callback", L"FP_0_RFU_0", L"FP_1_RFU_0", L"Boot Image Len",
    L"vm Addressing Limit", L"embedded CIS length", L"embedded CIS",
};

// The default comments of the package kinds recognised by number, words
// counted from 1.
struct CommentRow {
    uint32_t id;
    std::initializer_list<const wchar_t*> comments;
};

const CommentRow kCommentRows[] = {
    {TagValue("BIND"), {L"Autobind"}},
    {TagValue("DDrH"), {L"ACCR_VALUE", L"MDCNFG_VALUE", L"DDR_HCAL_VALUE", L"MDREFR_VALUE"}},
    {TagValue("GPIO"), {L"Number of GPIO Address & Value Pairs below", L"Address", L"Value"}},
    {TagValue("Rsm2"), {L"ResumeAddr", L"ResumeParam", L"ResumeFlag"}},
    {TagValue("Resm"), {L"Image Address"}},
    {TagValue("UART"), {L"Port", L"Enabled"}},
    {TagValue("USB"), {L"Port", L"Enabled"}},
    {TagValue("VREQ"), {L"bm Request Type", L"bm Request", L"wValue", L"wIndex", L"wLength", L"wData"}},
    {TagValue("ESCS"), {L"EscSeqTimeOutMS"}},
    {TagValue("ESv2"), {L"GPIO_Number", L"GPIO_Trigger_Value", L"MFPR_pairs_num", L"MFPR_address", L"MFPR_value"}},
    {TagValue("CUST"), {L"Enable DDR overwrite setting"}},
    {TagValue("NOFC"), {L"Enable no frequency change"}},
    {TagValue("NOKD"), {L"Enable no key detect"}},
    {TagValue("IMAP"), {L"Number of Image Maps below", L"IMAGE_ID", L"IMAGE_TYPE", L"FLASH_ADDRESS_LO",
                        L"FLASH_ADDRESS_HI", L"PARTITION_NUM"}},
};

constexpr uint32_t kCitaId = TagValue("CITA");

// Eight protection key words after the leading ones, then the protection
// type.
template <size_t N>
void ProtectedComment(const wchar_t* const (&leading)[N], uint32_t index, std::wstring& comment)
{
    constexpr uint32_t leadingCount = N;
    if (index >= 1 && index <= leadingCount) {
        comment = leading[index - 1];
    } else if (index > leadingCount && index <= leadingCount + 8) {
        comment = platform::Format(L"Protection Key[%u]", index - leadingCount - 1);
    } else if (index == leadingCount + 9) {
        comment = L"Protection Type";
    }
}

template <size_t N>
void ListComment(const wchar_t* const (&comments)[N], uint32_t index, std::wstring& comment)
{
    if (index >= 1 && index <= N) {
        comment = comments[index - 1];
    }
}

}  // namespace

CReservedPackageData::~CReservedPackageData()
{
    Clear();
}

void CReservedPackageData::AddData(std::wstring value, std::wstring comment)
{
    m_DataList.push_back(std::move(value));
    if (comment.empty()) {
        SetDefaultComment(static_cast<uint32_t>(m_DataList.size()), comment);
    }
    m_DataComments.push_back(std::move(comment));
    m_bChanged = true;
}

void CReservedPackageData::AddField(std::wstring key, std::wstring value)
{
    m_FieldList.emplace_back(std::move(key), std::move(value));
    m_bChanged = true;
}

void CReservedPackageData::SetDefaultComment(uint32_t wordIndex, std::wstring& comment) const
{
    // Three kinds are recognised by their identifier text only.
    if (m_PackageId == L"0x6D42944E") {
        ProtectedComment(kBdkfpComments, wordIndex, comment);
        return;
    }
    if (m_PackageId == L"0x6D424454") {
        ProtectedComment(kBdtlfpComments, wordIndex, comment);
        return;
    }
    if (m_PackageId == L"0x6D444F43") {
        ListComment(kDocComments, wordIndex, comment);
        return;
    }

    const uint32_t id = ParseUInt32(m_PackageId);
    for (const CommentRow& row : kCommentRows) {
        if (row.id == id) {
            if (wordIndex >= 1 && wordIndex <= row.comments.size()) {
                comment = row.comments.begin()[wordIndex - 1];
            }
            return;
        }
    }
    if (id == kCitaId) {
        // Only the first pair and the closing pair are named.
        switch (wordIndex) {
        case 1: comment = L"Number_cfg_ID_Value_Pairs_below"; break;
        case 2: comment = L"CFGB"; break;
        case 3: comment = L"CFGB_Cfg_Value"; break;
        case 64: comment = L"CFGE"; break;
        case 65: comment = L"CFGE_Cfg_Value"; break;
        default: break;
        }
    }
}

void CReservedPackageData::Clear()
{
    m_DataList.clear();
    m_DataComments.clear();
    m_FieldList.clear();
}

void CReservedPackageData::SetPackageId(std::wstring id)
{
    MakeUpperText(id, true);
    m_PackageId = std::move(id);
    m_bChanged = true;

    const uint32_t number = ParseUInt32(m_PackageId);
    for (const NamedId& row : kPackageNames) {
        if (row.id == number) {
            m_PackageName = row.name;
            return;
        }
    }
    for (const ErdCategory& category : kErdCategories) {
        if (EqualsUpperText(category.id, m_PackageId)) {
            m_PackageName = category.name;
            return;
        }
    }
    for (const NamedId& row : kLatePackageNames) {
        if (row.id == number) {
            m_PackageName = row.name;
            return;
        }
    }
    m_PackageName = HexTextToTag(m_PackageId);
}

void CReservedPackageData::SetFieldComment(std::wstring name, std::wstring comment)
{
    m_FieldCommentMap[std::move(name)] = std::move(comment);
    m_bChanged = true;
}

bool CReservedPackageData::GetFieldComment(const std::wstring& name, std::wstring& comment) const
{
    const auto found = m_FieldCommentMap.find(name);
    if (found == m_FieldCommentMap.end()) {
        return false;
    }
    comment = found->second;
    return !comment.empty();
}

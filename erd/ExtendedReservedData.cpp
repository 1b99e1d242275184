#include "erd/ExtendedReservedData.h"

#include <cstddef>
#include <iterator>
#include <utility>

#include "common/ProcessorPlatforms.h"
#include "common/platform/Text.h"

namespace {

using Erd = CExtendedReservedData;
using FamilyLoader = void (*)(CExtendedReservedData&);

// The register-name family of each processor model: entry i loads the
// tables of kProcessorNames[i], laid out in the same grid of seven; null
// for the models whose tables stay empty.
constexpr FamilyLoader kNone = nullptr;
constexpr FamilyLoader kNlt104 = LoadNlt104RegisterNames;
constexpr FamilyLoader kQuon2 = LoadQuon2RegisterNames;
constexpr FamilyLoader kQuon3 = LoadQuon3RegisterNames;
constexpr FamilyLoader kRhevo = LoadRhevoRegisterNames;

constexpr FamilyLoader kProcessorFamilies[] = {
    kNlt104, kNone,  kNone,  kNone,  kQuon2, kRhevo, kRhevo,
    kRhevo,  kRhevo, kRhevo, kNlt104, kQuon2, kQuon3, kQuon3,
    kQuon3,  kQuon3, kQuon3, kQuon3, kQuon3, kQuon3, kQuon3,
    kQuon3,  kQuon3, kQuon3, kQuon3, kQuon3, kQuon3, kQuon3,
    kQuon3,  kQuon3, kQuon3,
};
static_assert(std::size(kProcessorFamilies) == std::size(kProcessorNames), "one family per processor name");

NameTable Erd::* const kNameTables[] = {
    &Erd::m_ClockEnableNames, &Erd::m_DdrCustomNames,  &Erd::m_DdrCustomNlt07xNames, &Erd::m_FrequencyNames,
    &Erd::m_SdramSpecNames,   &Erd::m_VoltagesNames,   &Erd::m_CmccNames,            &Erd::m_TrustZoneNames,
    &Erd::m_TrustZoneRegidNames, &Erd::m_OpDivNames,   &Erd::m_OpModeNames,
};

RegisterList Erd::* const kRegisterLists[] = {
    &Erd::m_ClockEnableList, &Erd::m_DdrGeometryList, &Erd::m_DdrTimingList, &Erd::m_DdrCustomList,
    &Erd::m_DdrCustomNlt07xList, &Erd::m_FrequencyList, &Erd::m_VoltagesList, &Erd::m_CmccList,
    &Erd::m_TrustZoneList, &Erd::m_TrustZoneRegidList, &Erd::m_OpDivList, &Erd::m_OpModeList,
};

// Bytes of a binary register or consumer-id package before its data words.
constexpr uint32_t kListHeaderBytes = 8;
constexpr uint32_t kRecordBytes = 8;
constexpr uint32_t kConsumerIdsHeaderBytes = 12;

}  // namespace

CExtendedReservedData::CExtendedReservedData(std::wstring processorName) : m_ProcessorName(std::move(processorName))
{
    LoadSdramSpecNames(m_SdramSpecNames);
    LoadCmccNames(m_CmccNames);
    LoadQuon2RegisterNames(*this);
    LoadRhevoRegisterNames(*this);
}

CExtendedReservedData::~CExtendedReservedData()
{
    ClearAll();
}

CExtendedReservedData& CExtendedReservedData::operator=(const CExtendedReservedData& other)
{
    if (this == &other) {
        return *this;
    }
    Reset();
    ClearNameTables();
    m_bChanged = other.m_bChanged;
    for (RegisterList Erd::*list : kRegisterLists) {
        this->*list = other.*list;
    }
    for (NameTable Erd::*table : kNameTables) {
        this->*table = other.*table;
    }
    for (const auto& package : other.m_Packages) {
        m_Packages.push_back(package->Clone());
    }
    for (const auto& consumerId : other.m_ConsumerIds) {
        m_ConsumerIds.push_back(std::make_unique<CConsumerID>(*consumerId));
    }
    m_ProcessorName = other.m_ProcessorName;
    return *this;
}

bool CExtendedReservedData::SetProcessorType(const std::wstring& processorName)
{
    ClearNameTables();
    if (processorName.empty()) {
        LoadSdramSpecNames(m_SdramSpecNames);
        LoadCmccNames(m_CmccNames);
        return true;
    }
    for (size_t i = 0; i < std::size(kProcessorNames); ++i) {
        if (!platform::EqualsIgnoringAsciiCase(kProcessorNames[i], processorName)) {
            continue;
        }
        if (kProcessorFamilies[i] == kNone) {
            return true;
        }
        kProcessorFamilies[i](*this);
        LoadSdramSpecNames(m_SdramSpecNames);
        LoadCmccNames(m_CmccNames);
        return true;
    }
    return false;
}

bool CExtendedReservedData::FindField(const std::wstring& line, const NameTable& names, uint32_t& fieldIndex,
                                      uint32_t& value)
{
    value = 0;
    // A name that extends an earlier one ("SDRAM_S_tRCD" after
    // "SDRAM_S_tRC") would be taken for the earlier one by the containment
    // rule alone, so the name written before "=" comes first.
    const std::wstring_view written = CTimLib::Trimmed(std::wstring_view(line).substr(0, line.find(L'=')));
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == written && CTimLib::GetFieldValue(names[i], line, value)) {
            fieldIndex = static_cast<uint32_t>(i);
            return true;
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (CTimLib::GetFieldValue(names[i], line, value)) {
            fieldIndex = static_cast<uint32_t>(i);
            return true;
        }
    }
    return false;
}

void CExtendedReservedData::AddField(RegisterList& list, RegisterField field)
{
    list.push_back(field);
    m_bChanged = true;
}

void CExtendedReservedData::AddConfigureMemoryControlField(RegisterField field)
{
    AddField(m_CmccList, field);
}

void CExtendedReservedData::AddTrustZoneField(RegisterField field)
{
    AddField(m_TrustZoneList, field);
}

void CExtendedReservedData::AddTrustZoneRegidField(RegisterField field)
{
    AddField(m_TrustZoneRegidList, field);
}

void CExtendedReservedData::AddOpDivField(RegisterField field)
{
    AddField(m_OpDivList, field);
}

void CExtendedReservedData::AddOpModeField(RegisterField field)
{
    AddField(m_OpModeList, field);
}

bool CExtendedReservedData::UsesRhevoDdrCustom() const
{
    if (m_DdrCustomNlt07xNames.empty()) {
        return false;
    }
    return m_DdrCustomNames.empty() || m_ProcessorName.find(L"NLT07x") != std::wstring::npos ||
           m_ProcessorName.find(L"NLT07X") != std::wstring::npos;
}

uint32_t CExtendedReservedData::Size() const
{
    uint32_t size = 0;
    for (RegisterList Erd::*list : kRegisterLists) {
        const size_t count = (this->*list).size();
        if (count > 0) {
            size += kRecordBytes * static_cast<uint32_t>(count) + kListHeaderBytes;
        }
    }
    for (const auto& package : m_Packages) {
        size += package->Size();
    }
    if (!m_ConsumerIds.empty()) {
        size += kConsumerIdsHeaderBytes;
        for (const auto& consumerId : m_ConsumerIds) {
            size += consumerId->Size();
        }
    }
    return size;
}

void CExtendedReservedData::Reset()
{
    for (RegisterList Erd::*list : kRegisterLists) {
        (this->*list).clear();
    }
    m_Packages.clear();
    m_ConsumerIds.clear();
    m_bChanged = false;
}

void CExtendedReservedData::ClearNameTables()
{
    for (NameTable Erd::*table : kNameTables) {
        FreeNameTable(this->*table);
    }
}

void CExtendedReservedData::ClearAll()
{
    Reset();
    ClearNameTables();
}

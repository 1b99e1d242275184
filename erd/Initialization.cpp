#include "erd/Initialization.h"

#include <istream>
#include <ostream>
#include <string_view>

#include "common/LayoutLines.h"
#include "common/TimLib.h"
#include "common/TimDefinitions.h"
#include "common/platform/Format.h"
#include "erd/LayoutText.h"
#include "erd/ReservedPackageData.h"

namespace {

constexpr InitializationRules kGppRules = {L"GPP_PID", nullptr, false, false};
constexpr InitializationRules kDdrRules = {L"DDR_PID", nullptr, true, false};
// The vendor package spots its operation sub-block by the keyword of one
// operation, which every "DDROperations" line holds as well.
constexpr InitializationRules kVendorDdrRules = {L"DDR_PID", L"DDROperation", true, true};
constexpr InitializationRules kTzRules = {L"TZ_PID", nullptr, true, false};

void AddHexPrefix(std::wstring& pid)
{
    if (!ContainsHexPrefix(pid)) {
        pid.insert(0, L"0x");
    }
}

}  // namespace

template <class Operations>
CInitializationPackage<Operations>::CInitializationPackage(uint32_t typeId, const InitializationRules& rules)
    : CErdBase(typeId, 1), m_Rules(&rules)
{
    m_FieldNames[0] = rules.fieldName;
}

template <class Operations>
CInitializationPackage<Operations>::~CInitializationPackage() = default;

template <class Operations>
bool CInitializationPackage<Operations>::Parse(std::wistream& stream, std::wstring line)
{
    if (!ReadsBlock()) {
        return CErdBase::Parse(stream, std::move(line));
    }
    // The class's own keyword: the vendor package reads its block under it,
    // whatever vendor its begin keyword names.
    if (!erd::Contains(line, ErdBeginKeyword(m_TypeId))) {
        return true;
    }
    const std::wstring_view operationsStart =
        m_Rules->operationsStart != nullptr ? m_Rules->operationsStart : std::wstring_view(m_Ops.BeginKeyword());
    while (layout::NextLine(stream, line)) {
        const bool subBlockEnd = erd::Contains(line, m_Ops.EndKeyword()) || erd::Contains(line, m_Insts.EndKeyword());
        if (subBlockEnd && !m_Rules->strict) {
            continue;  // left by a sub-block that stopped early
        }
        if (erd::Contains(line, EndKeyword())) {
            break;
        }
        if (erd::Contains(line, operationsStart)) {
            if (!m_Ops.Parse(stream, line) && m_Rules->strict) {
                return false;
            }
        } else if (erd::Contains(line, m_Insts.BeginKeyword())) {
            if (!m_Insts.Parse(stream, line) && m_Rules->strict) {
                return false;
            }
        } else {
            std::wstring name;
            std::wstring value;
            if (SplitNameValue(name, value, line) && name == m_FieldNames[0]) {
                m_PidValue = value;
                if (m_Rules->hexPid) {
                    AddHexPrefix(m_PidValue);
                }
            }
        }
    }
    return true;
}

template <class Operations>
bool CInitializationPackage<Operations>::Write(std::wostream& stream, bool flag)
{
    if (!ReadsBlock()) {
        return CErdBase::Write(stream, flag);
    }
    erd::WriteText(stream,
                   ErdBeginKeyword(m_TypeId) + L"\n" + platform::Format(L"%s = %s\n", m_FieldNames[0], m_PidValue));
    m_Ops.Write(stream, false);
    m_Insts.Write(stream, false);
    erd::WriteText(stream, EndKeyword() + L"\n");
    return true;
}

template <class Operations>
uint32_t CInitializationPackage<Operations>::Size() const
{
    return 16 + m_Ops.Size() + m_Insts.Size();
}

template <class Operations>
uint32_t CInitializationPackage<Operations>::AddToPackage(CReservedPackageData& package) const
{
    package.SetPackageId(TagToHexText(m_PidValue));
    package.AddData(FormatHex32(m_Ops.GetNumOps()), L"NumOps");
    package.AddData(FormatHex32(m_Insts.GetNumInst()), L"NumInst");
    m_Ops.AddToPackage(package);
    m_Insts.AddToPackage(package);
    return Size();
}

template class CInitializationPackage<CGPPOperations>;
template class CInitializationPackage<CDDROperations>;
template class CInitializationPackage<CTzOperations>;

CGPPInitialization::CGPPInitialization() : CErdClass(kGppRules) {}

CDDRInitialization::CDDRInitialization() : CErdClass(kDdrRules) {}

CVendorDDRInitialization::CVendorDDRInitialization() : CErdClass(kVendorDdrRules) {}

const std::wstring& CVendorDDRInitialization::BeginKeyword() const
{
    AddHexPrefix(m_PidValue);
    const wchar_t* vendor = FindDdrVendorName(static_cast<int32_t>((StrToUInt32(m_PidValue) >> 8) & 0xFF));
    m_VendorKeyword = std::wstring(vendor != nullptr ? vendor : L"") + L"_DDR_Initialization";
    return m_VendorKeyword;
}

CTzInitialization::CTzInitialization() : CErdClass(kTzRules) {}

#include "erd/ConsumerId.h"

#include <ostream>

#include "common/LayoutLines.h"
#include "common/platform/Format.h"
#include "erd/LayoutText.h"
#include "erd/ReservedPackageData.h"

CConsumerID::CConsumerID() : CErdClass(kFieldCount)
{
    m_FieldNames[kCid] = L"CID";
    m_FieldNames[kPid] = L"PID";
}

void CConsumerID::Reset()
{
    m_PIDs.clear();
}

bool CConsumerID::Parse(std::wistream& stream, std::wstring line)
{
    while (layout::NextBlockLine(stream, line)) {
        if (erd::Contains(line, EndKeyword())) {
            return true;
        }
        std::wstring name;
        std::wstring value;
        SplitNameValue(name, value, line);
        if (name == m_FieldNames[kCid]) {
            m_FieldValues[kCid] = value;
        } else if (name == m_FieldNames[kPid]) {
            m_PIDs.push_back(value);
        } else {
            return false;
        }
    }
    return true;
}

bool CConsumerID::Write(std::wostream& stream, bool /*flag*/)
{
    std::wstring text = BeginKeyword() + L"\n";
    text += platform::Format(L"%s = %s\n", m_FieldNames[kCid], m_FieldValues[kCid]);
    for (const std::wstring& pid : m_PIDs) {
        text += platform::Format(L"%s = %s\n", m_FieldNames[kPid], pid);
    }
    text += EndKeyword() + L"\n";
    erd::WriteText(stream, text);
    return stream.good();
}

uint32_t CConsumerID::Size() const
{
    return 8 + 4 * static_cast<uint32_t>(m_PIDs.size());
}

uint32_t CConsumerID::AddToPackage(CReservedPackageData& package) const
{
    package.AddData(TagToHexText(m_FieldValues[kCid]), m_FieldValues[kCid]);
    package.AddData(FormatHex32(static_cast<uint32_t>(m_PIDs.size())), L"num PIDs");
    for (const std::wstring& pid : m_PIDs) {
        package.AddData(TagToHexText(pid), pid);
    }
    return 8 + 4 * static_cast<uint32_t>(package.m_DataList.size());
}

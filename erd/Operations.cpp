#include "erd/Operations.h"

#include <istream>
#include <ostream>

#include "common/LayoutLines.h"
#include "common/platform/Format.h"
#include "erd/LayoutText.h"
#include "erd/ReservedPackageData.h"

COperation::COperation(const OperationDefinition& definition) : m_OperationId(definition.id), m_Name(definition.name)
{
}

bool COperation::Write(std::wostream& stream, bool /*flag*/) const
{
    erd::WriteText(stream, platform::Format(L"%s = %s\n", m_Name, FormatHex32(m_Value)));
    return true;
}

template <class Operation>
COperationList<Operation>::COperationList(uint32_t typeId) : CErdBase(typeId)
{
}

template <class Operation>
COperationList<Operation>::~COperationList() = default;

template <class Operation>
void COperationList<Operation>::Reset()
{
    CErdBase::Reset();
    m_Operations.clear();
}

template <class Operation>
bool COperationList<Operation>::Parse(std::wistream& stream, std::wstring line)
{
    if (!ReadsBlock()) {
        return CErdBase::Parse(stream, std::move(line));
    }
    if (!erd::Contains(line, BeginKeyword())) {
        return true;
    }
    while (layout::NextBlockLine(stream, line)) {
        if (erd::Contains(line, EndKeyword())) {
            break;
        }
        std::wstring name;
        std::wstring value;
        if (!SplitNameValue(name, value, line)) {
            return false;
        }
        const OperationDefinition* definition = Operation::Find(name);
        if (definition == nullptr) {
            return false;
        }
        Operation operation(*definition);
        operation.m_Value = ParseUInt32(value);
        m_Operations.push_back(std::move(operation));
    }
    return true;
}

template <class Operation>
bool COperationList<Operation>::Write(std::wostream& stream, bool flag)
{
    if (!ReadsBlock()) {
        return CErdBase::Write(stream, flag);
    }
    return erd::WriteBlock(stream, BeginKeyword(), m_Operations, EndKeyword());
}

template <class Operation>
uint32_t COperationList<Operation>::Size() const
{
    return 8 * GetNumOps();
}

template <class Operation>
uint32_t COperationList<Operation>::AddToPackage(CReservedPackageData& package) const
{
    for (const Operation& operation : m_Operations) {
        package.AddData(FormatHex32(operation.m_OperationId), operation.m_Name);
        package.AddData(FormatHex32(operation.m_Value), L"Value");
    }
    return Size();
}

template class COperationList<CDDROperation>;
template class COperationList<CGPPOperation>;
template class COperationList<CTzOperation>;

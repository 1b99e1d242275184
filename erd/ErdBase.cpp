#include "erd/ErdBase.h"

CErdBase::CErdBase(uint32_t typeId, uint32_t fieldCount) : m_TypeId(typeId), m_FieldCount(fieldCount)
{
    CErdBase::Reset();
}

CErdBase::~CErdBase() = default;

void CErdBase::Reset()
{
    m_FieldNames.assign(m_FieldCount, std::wstring());
    m_FieldValues.assign(m_FieldCount, std::wstring(L"0"));
    m_FieldComments.assign(m_FieldCount, std::wstring());
}

bool CErdBase::Parse(std::wistream& /*stream*/, std::wstring /*line*/)
{
    return true;
}

bool CErdBase::ReadsBlock() const
{
    const ErdClassInfo* info = FindErdClass(m_TypeId);
    return info != nullptr && info->readsBlock;
}

bool CErdBase::Write(std::wostream& /*stream*/, bool /*flag*/)
{
    return true;
}

uint32_t CErdBase::Size() const
{
    return 0;
}

const std::wstring& CErdBase::BeginKeyword() const
{
    return ErdBeginKeyword(m_TypeId);
}

const std::wstring& CErdBase::EndKeyword() const
{
    return ErdEndKeyword(m_TypeId);
}

#include "erd/ErdBase.h"

#include <array>

namespace {

struct KeywordTexts {
    std::array<std::wstring, kErdClassCount> begin;
    std::array<std::wstring, kErdClassCount> end;
};

// Built from the class index on first use and kept to the end of the run,
// so the keyword operations can hand out references.
const KeywordTexts& Keywords()
{
    static const KeywordTexts texts = [] {
        KeywordTexts made;
        for (size_t i = 0; i < kErdClassCount; ++i) {
            made.begin[i] = kErdClasses[i].beginKeyword;
            made.end[i] = kErdClasses[i].endKeyword;
        }
        return made;
    }();
    return texts;
}

const std::wstring& NoKeyword()
{
    static const std::wstring empty;
    return empty;
}

}  // namespace

const std::wstring& ErdBeginKeyword(uint32_t typeId)
{
    const ErdClassInfo* row = FindErdClass(typeId);
    return row ? Keywords().begin[typeId - kErdFirstTypeId] : NoKeyword();
}

const std::wstring& ErdEndKeyword(uint32_t typeId)
{
    const ErdClassInfo* row = FindErdClass(typeId);
    return row ? Keywords().end[typeId - kErdFirstTypeId] : NoKeyword();
}

CErdBase::CErdBase(uint32_t fieldCount, uint32_t typeId) : m_TypeId(typeId), m_FieldCount(fieldCount)
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
    return false;
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

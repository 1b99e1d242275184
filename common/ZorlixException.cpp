#include "common/ZorlixException.h"

CZorlixexception::CZorlixexception(const wchar_t* text) : m_Message(text ? text : L"") {}

CZorlixexception::CZorlixexception(const std::wstring& text) : m_Message(text) {}

CZorlixexception::CZorlixexception(const CZorlixexception& other) : m_Message(other.m_Message) {}

CZorlixexception& CZorlixexception::operator=(const CZorlixexception& other) = default;

CZorlixexception::~CZorlixexception() = default;

std::wstring CZorlixexception::GetMessageText() const
{
    return m_Message;
}

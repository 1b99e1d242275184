// The program's one exception class. It deliberately has no standard base,
// so a handler for standard exceptions never catches it.
#pragma once

#include <string>

class CZorlixexception {
public:
    explicit CZorlixexception(const wchar_t* text);
    explicit CZorlixexception(const std::wstring& text);
    CZorlixexception(const CZorlixexception& other);
    CZorlixexception& operator=(const CZorlixexception& other);
    virtual ~CZorlixexception();

    std::wstring GetMessageText() const;

private:
    std::wstring m_Message;
};

// The one text codec of the program: UTF-8 on every boundary (arguments,
// paths, console, layout files). A byte that is not valid UTF-8 decodes to
// U+DC00 + byte and encodes back to that byte, so no input byte is lost.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::wstring DecodeText(const std::string& bytes);
std::wstring DecodeText(const char* bytes, size_t length);
std::string EncodeText(const std::wstring& text);
// DecodeText into out for a large text: false, with out empty, when a stop
// was asked for (see Stop.h) before the end.
bool DecodeTextUnlessStopped(const char* bytes, size_t length, std::wstring& out);
std::string EncodeText(const wchar_t* text, size_t length);
// EncodeText, appended to out.
void AppendEncoded(std::string& out, const wchar_t* text, size_t length);

// Upper-cases ASCII a-z only, whatever the locale.
wchar_t ToUpperAscii(wchar_t c);
// Whether the texts are equal once their ASCII letters are upper-cased.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

// Space, tab, line feed, vertical tab, form feed and carriage return.
inline bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

}  // namespace platform

// Section names, the entry limit and the lookups on a parser's own layout
// file that the section readers share.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include "common/LayoutLines.h"
#include "common/TimLib.h"
#include "common/platform/Format.h"
#include "timlib/BlfParser.h"

namespace layout {

inline constexpr wchar_t kTimConfiguration[] = L"TIM_Configuration";
inline constexpr wchar_t kFlashProperties[] = L"Flash_Properties";
inline constexpr wchar_t kNotAvailable[] = L"NOT AVAILABLE";

// The most entries a count in a layout file may ask for; a larger count
// would make the reader allocate and loop without bound.
inline constexpr int64_t kMaxLayoutCount = 1000;

// Why a count is refused; what names it ("key = value", or the entry).
inline std::wstring CountRefusal(const std::wstring& what)
{
    return platform::Format(L"%s is refused: at most %d entries are allowed", what, static_cast<int>(kMaxLayoutCount));
}

// The key's value text in the parser's layout file, or the default.
inline std::wstring Text(CBlfParser& parser, const wchar_t* section, std::wstring_view key,
                         const wchar_t* defaultText)
{
    std::wstring value;
    parser.GetKeyValue(defaultText, value, section, key, parser.m_BlfPath);
    return value;
}

inline int32_t Int(CBlfParser& parser, const wchar_t* section, std::wstring_view key, int32_t defaultNumber)
{
    return parser.GetKeyInt(parser.m_BlfPath, section, key, defaultNumber);
}

// The value text (or the default text) read as a value text.
inline uint32_t U32(CBlfParser& parser, const wchar_t* section, std::wstring_view key, const wchar_t* defaultText)
{
    return CTimLib::ParseUInt32(Text(parser, section, key, defaultText));
}

}  // namespace layout

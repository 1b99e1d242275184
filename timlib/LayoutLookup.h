// Section names and the lookups on a parser's own layout file that the
// section readers share.
#pragma once
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include "common/TimLib.h"
#include "common/platform/FileSystem.h"
#include "timlib/BlfParser.h"

namespace layout {

inline constexpr wchar_t kTimConfiguration[] = L"TIM_Configuration";
inline constexpr wchar_t kFlashProperties[] = L"Flash_Properties";
inline constexpr wchar_t kNotAvailable[] = L"NOT AVAILABLE";

inline bool Contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

// The key's value text in the parser's layout file, or the default.
inline std::wstring Text(CBlfParser& parser, const wchar_t* section, const std::wstring& key,
                         const wchar_t* defaultText)
{
    std::wstring value;
    parser.GetKeyValue(defaultText, value, section, key, parser.m_BlfPath);
    return value;
}

inline int32_t Int(CBlfParser& parser, const wchar_t* section, const std::wstring& key, int32_t defaultNumber)
{
    return parser.GetKeyInt(parser.m_BlfPath, section, key, defaultNumber);
}

// The value text (or the default text) read as a value text.
inline uint32_t U32(CBlfParser& parser, const wchar_t* section, const std::wstring& key, const wchar_t* defaultText)
{
    return CTimLib::ParseUInt32(Text(parser, section, key, defaultText));
}

// The layout file's decoded text as a line stream, for the readers of
// multi-line blocks. False when the file cannot be read.
inline bool OpenLayoutStream(const std::wstring& path, std::wistringstream& stream)
{
    std::wstring text;
    if (!platform::ReadTextFile(path, text)) {
        return false;
    }
    stream.str(std::move(text));
    stream.clear();
    return true;
}

// The next non-empty trimmed line; false once the input has run out.
inline bool NextLine(std::wistream& stream, std::wstring& line)
{
    if (!stream.good()) {
        return false;
    }
    CTimLib::ReadNonEmptyLine(stream, line);
    return !line.empty();
}

}  // namespace layout

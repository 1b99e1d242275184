// Section names, the entry limit and the lookups on a parser's own layout
// file that the section readers share.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include "common/LayoutLines.h"
#include "common/TimLib.h"
#include "common/platform/FileSystem.h"
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

// A line stream over path's layout text: the text the parser's lookups
// read, when it is path's, which the stream then holds too, so that a parse
// reads its file once; otherwise the file read anew.
class LayoutStream {
public:
    LayoutStream(const CBlfParser& parser, const std::wstring& path)
        : m_Cached(parser.CachedTextOf(path)),
          m_Readable(m_Cached != nullptr || platform::ReadTextFile(path, m_Owned)),
          m_Stream(m_Cached != nullptr ? m_Cached->text : m_Owned)
    {
    }
    LayoutStream(const LayoutStream&) = delete;
    LayoutStream& operator=(const LayoutStream&) = delete;

    // False when the file could not be read; the stream is then empty.
    bool Readable() const { return m_Readable; }
    TextStream& Stream() { return m_Stream; }

private:
    std::shared_ptr<const CBlfParser::LoadedText> m_Cached;
    std::wstring m_Owned;
    bool m_Readable;
    TextStream m_Stream;
};

}  // namespace layout

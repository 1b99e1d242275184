// Line access to a layout file's text for the readers of multi-line blocks:
// the layout-file reader's sections and the reserved-data packages that
// read their own block.
#pragma once
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include "common/TimLib.h"

namespace layout {

// The layout readers match keys and keywords anywhere in a line.
inline bool Contains(const std::wstring& text, std::wstring_view part)
{
    return text.find(part) != std::wstring::npos;
}

// The next non-empty trimmed line; false once the input has run out. A last
// line without a line feed comes once, like every other line.
inline bool NextLine(std::wistream& stream, std::wstring& line)
{
    if (!stream.good()) {
        return false;
    }
    CTimLib::ReadNonEmptyLine(stream, line);
    return !line.empty();
}

// A line stream over a text held elsewhere, which must outlive it: the
// readers of a layout file's blocks read the one text the parser read,
// without a copy of it.
class TextStream : public std::wistream {
public:
    explicit TextStream(std::wstring_view text) : std::wistream(nullptr), m_Buffer(text) { rdbuf(&m_Buffer); }
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;

    // Moves the reading position to the start of the first line from here
    // on that holds part, or to the end when none does. Nothing between is
    // read.
    void SkipToLineHolding(std::wstring_view part) { m_Buffer.SkipToLineHolding(part); }

private:
    class Buffer : public std::wstreambuf {
    public:
        explicit Buffer(std::wstring_view text)
        {
            // Only read: the get area is never written through.
            auto* begin = const_cast<wchar_t*>(text.data());
            setg(begin, begin, begin + text.size());
        }
        void SkipToLineHolding(std::wstring_view part)
        {
            const std::wstring_view rest(gptr(), static_cast<size_t>(egptr() - gptr()));
            const size_t found = rest.find(part);
            if (found == std::wstring_view::npos) {
                setg(eback(), egptr(), egptr());
                return;
            }
            const size_t lineFeed = rest.rfind(L'\n', found);
            setg(eback(), gptr() + (lineFeed == std::wstring_view::npos ? 0 : lineFeed + 1), egptr());
        }
    };
    Buffer m_Buffer;
};

// The next non-empty trimmed line that holds part, as NextLine after lines
// without it; on a TextStream the lines passed over are never copied.
inline bool NextLineHolding(std::wistream& stream, std::wstring_view part, std::wstring& line)
{
    auto* text = dynamic_cast<TextStream*>(&stream);
    for (;;) {
        // A line without part in its whole text has none once trimmed.
        if (text != nullptr && stream.good()) {
            text->SkipToLineHolding(part);
        }
        if (!NextLine(stream, line)) {
            return false;
        }
        if (line.find(part) != std::wstring::npos) {
            return true;
        }
    }
}

// The next line for a package that reads its block line by line: as
// NextLine, but a last line of blanks without a line feed comes back as an
// empty line, which such a block does not take.
inline bool NextBlockLine(std::wistream& stream, std::wstring& line)
{
    if (!stream.good()) {
        return false;
    }
    CTimLib::ReadNonEmptyLine(stream, line);
    return !line.empty() || !stream.fail();
}

}  // namespace layout

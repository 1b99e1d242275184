// Line access to a layout file's text for the readers of multi-line blocks:
// the layout-file reader's sections and the reserved-data packages that
// read their own block.
#pragma once
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include "common/TimLib.h"
#include "common/platform/FileSystem.h"

namespace layout {

// The layout readers match keys and keywords anywhere in a line.
inline bool Contains(const std::wstring& text, std::wstring_view part)
{
    return text.find(part) != std::wstring::npos;
}

// The layout file's decoded text as a line stream. False when the file
// cannot be read.
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

// The lines of one layout file's text, split once, for the single-key
// lookups: each line is a trimmed view into the text, with a small mark of
// the three-character pieces it holds, so a lookup passes over most lines
// without looking at their characters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace layout {

enum class LookupResult { kFound, kMissing, kStopped };

class LineIndex {
public:
    // Splits text, which must outlive the index and stay unchanged. False,
    // with the index empty, when a stop was asked for first.
    bool Build(std::wstring_view text);
    void Clear();

    // The value of the first line after section's first header that holds
    // key: the text after the line's first '=', trimmed, or the whole line
    // when it has no '='. The section runs to the end of the text.
    LookupResult Find(const std::wstring& section, const std::wstring& key, std::wstring& value) const;

private:
    struct Line {
        size_t start = 0;
        size_t length = 0;
        uint64_t pieces = 0;
    };

    std::wstring_view TextOf(const Line& line) const { return m_Text.substr(line.start, line.length); }
    // The index in m_Lines of section's first header, or npos.
    size_t HeaderOf(const std::wstring& section) const;
    LookupResult FindAfter(size_t header, const std::wstring& key, std::wstring& value) const;
    LookupResult FindOnNextLine(size_t header, std::wstring& value) const;

    std::wstring_view m_Text;
    // Only the lines that are not empty once trimmed: no other line holds
    // a key.
    std::vector<Line> m_Lines;
    // The indexes in m_Lines of the header lines, in order.
    std::vector<size_t> m_Headers;
    mutable std::map<std::wstring, size_t, std::less<>> m_Sections;
};

}  // namespace layout

#include "timlib/LayoutIndex.h"

#include "common/TimLib.h"
#include "common/platform/Stop.h"

namespace layout {

namespace {

// How many lines, or characters of one line, pass between two looks at
// the stop flag: far below a millisecond of work.
constexpr size_t kLinesPerStopCheck = 4096;
constexpr size_t kCharsPerStopCheck = size_t(1) << 20;

uint64_t PieceBit(wchar_t a, wchar_t b, wchar_t c)
{
    const uint32_t mixed = static_cast<uint32_t>(a) * 0x9E3779B1u ^ static_cast<uint32_t>(b) * 0x85EBCA77u ^
                           static_cast<uint32_t>(c) * 0xC2B2AE3Du;
    return uint64_t(1) << ((mixed * 0x27D4EB2Du) >> 26);
}

// The mark of every three-character piece of text: a text that holds
// another holds all of its pieces, so its mark covers the other's. False
// when a stop came.
bool PiecesOf(std::wstring_view text, uint64_t& pieces)
{
    pieces = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        if (i % kCharsPerStopCheck == 0 && platform::StopRequested()) {
            return false;
        }
        pieces |= PieceBit(text[i - 2], text[i - 1], text[i]);
    }
    return true;
}

std::wstring_view Trimmed(std::wstring_view text)
{
    size_t first = 0;
    size_t last = 0;
    TrimRange(text.data(), text.size(), first, last);
    return text.substr(first, last - first);
}

// A header names its section between the leading '[' and the first ']';
// a NUL or carriage return before the ']' makes it no header.
bool HeaderName(std::wstring_view line, std::wstring_view& name)
{
    if (line.empty() || line[0] != L'[') {
        return false;
    }
    const size_t close = line.find(L']');
    if (close == std::wstring_view::npos) {
        return false;
    }
    name = line.substr(1, close - 1);
    static const wchar_t kBreaks[] = {L'\0', L'\r'};
    return name.find_first_of(std::wstring_view(kBreaks, 2)) == std::wstring_view::npos;
}

void ValueOf(std::wstring_view line, std::wstring& value)
{
    const size_t equals = line.find(L'=');
    const std::wstring_view kept = equals == std::wstring_view::npos ? line : Trimmed(line.substr(equals + 1));
    value.assign(kept.data(), kept.size());
}

}  // namespace

void LineIndex::Clear()
{
    m_Text = std::wstring_view();
    m_Lines.clear();
    m_Lines.shrink_to_fit();
    m_Headers.clear();
    m_Sections.clear();
}

bool LineIndex::Build(std::wstring_view text)
{
    Clear();
    m_Text = text;
    size_t start = 0;
    // A last line without a line feed counts too.
    while (start < text.size()) {
        if (m_Lines.size() % kLinesPerStopCheck == 0 && platform::StopRequested()) {
            Clear();
            return false;
        }
        size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        const std::wstring_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        Line entry;
        entry.start = static_cast<size_t>(line.data() - text.data());
        entry.length = line.size();
        if (!PiecesOf(line, entry.pieces)) {
            Clear();
            return false;
        }
        std::wstring_view name;
        if (HeaderName(line, name)) {
            m_Headers.push_back(m_Lines.size());
        }
        m_Lines.push_back(entry);
    }
    return true;
}

size_t LineIndex::HeaderOf(const std::wstring& section) const
{
    const auto known = m_Sections.find(section);
    if (known != m_Sections.end()) {
        return known->second;
    }
    size_t found = std::wstring::npos;
    for (const size_t header : m_Headers) {
        std::wstring_view name;
        if (HeaderName(TextOf(m_Lines[header]), name) && name == section) {
            found = header;
            break;
        }
    }
    m_Sections.emplace(section, found);
    return found;
}

LookupResult LineIndex::Find(const std::wstring& section, const std::wstring& key, std::wstring& value) const
{
    const size_t header = HeaderOf(section);
    if (header == std::wstring::npos) {
        return LookupResult::kMissing;
    }
    return key.empty() ? FindOnNextLine(header, value) : FindAfter(header, key, value);
}

// An empty key is held by the very next line, even an empty one.
LookupResult LineIndex::FindOnNextLine(size_t header, std::wstring& value) const
{
    const size_t end = m_Text.find(L'\n', m_Lines[header].start);
    if (end == std::wstring_view::npos || end + 1 >= m_Text.size()) {
        return LookupResult::kMissing;
    }
    const std::wstring_view rest = m_Text.substr(end + 1);
    ValueOf(Trimmed(rest.substr(0, rest.find(L'\n'))), value);
    return LookupResult::kFound;
}

LookupResult LineIndex::FindAfter(size_t header, const std::wstring& key, std::wstring& value) const
{
    uint64_t keyPieces = 0;
    PiecesOf(key, keyPieces);
    for (size_t i = header + 1; i < m_Lines.size(); ++i) {
        if (i % kLinesPerStopCheck == 0 && platform::StopRequested()) {
            return LookupResult::kStopped;
        }
        const Line& line = m_Lines[i];
        if (line.length < key.size() || (line.pieces & keyPieces) != keyPieces) {
            continue;
        }
        const std::wstring_view text = TextOf(line);
        if (text.find(key) != std::wstring_view::npos) {
            ValueOf(text, value);
            return LookupResult::kFound;
        }
    }
    return LookupResult::kMissing;
}

}  // namespace layout

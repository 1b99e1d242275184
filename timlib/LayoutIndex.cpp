#include "timlib/LayoutIndex.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <limits>

#include "common/TimLib.h"
#include "common/platform/Stop.h"

namespace layout {

namespace {

// How many lines, or characters, pass between two looks at the stop flag:
// far below a millisecond of work.
constexpr size_t kLinesPerStopCheck = 4096;
constexpr size_t kCharsPerStopCheck = size_t(1) << 20;
constexpr size_t kPieceLength = 4;

// The bucket of the four characters at piece.
uint32_t BucketOf(const wchar_t* piece)
{
    const uint32_t mixed = static_cast<uint32_t>(piece[0]) * 0x9E3779B1u ^
                           static_cast<uint32_t>(piece[1]) * 0x85EBCA77u ^
                           static_cast<uint32_t>(piece[2]) * 0xC2B2AE3Du ^ static_cast<uint32_t>(piece[3]) * 0x27D4EB2Fu;
    constexpr unsigned kBucketBits = 15;
    static_assert(LineIndex::kBuckets == size_t(1) << kBucketBits);
    return (mixed * 0x165667B1u) >> (32 - kBucketBits);
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

void ValueOf(std::wstring_view line, std::wstring_view& value)
{
    const size_t equals = line.find(L'=');
    value = equals == std::wstring_view::npos ? line : Trimmed(line.substr(equals + 1));
}

}  // namespace

void LineIndex::Clear()
{
    m_Text = std::wstring_view();
    for (std::vector<uint32_t>* table : {&m_HeaderSlots, &m_BucketStart, &m_Postings}) {
        std::vector<uint32_t>().swap(*table);
    }
    std::vector<Line>().swap(m_Lines);
}

bool LineIndex::Build(std::wstring_view text, Lookups lookups)
{
    Clear();
    if (text.size() > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    m_Text = text;
    // Room for every line at once, counted by the line feeds.
    size_t lineFeeds = 0;
    const wchar_t* const textEnd = text.data() + text.size();
    for (const wchar_t* at = text.data(); at < textEnd; ++at) {
        at = std::wmemchr(at, L'\n', static_cast<size_t>(textEnd - at));
        if (at == nullptr) {
            break;
        }
        ++lineFeeds;
    }
    m_Lines.reserve(lineFeeds + 1);
    size_t start = 0;
    size_t headers = 0;
    // A last line without a line feed counts too.
    while (start < text.size()) {
        if (m_Lines.size() % kLinesPerStopCheck == 0 && platform::StopRequested()) {
            Clear();
            return false;
        }
        const size_t end = std::min(text.find(L'\n', start), text.size());
        const std::wstring_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        m_Lines.push_back({static_cast<uint32_t>(line.data() - text.data()), static_cast<uint32_t>(line.size())});
        std::wstring_view name;
        headers += HeaderName(line, name) ? 1 : 0;
    }
    // Room for every header at once, at most half full.
    if (headers != 0) {
        size_t slots = 16;
        while (slots < headers * 2) {
            slots *= 2;
        }
        m_HeaderSlots.assign(slots, 0);
    }
    for (size_t i = 0; i < m_Lines.size() && headers != 0; ++i) {
        std::wstring_view name;
        if (HeaderName(TextOf(m_Lines[i]), name)) {
            AddHeader(static_cast<uint32_t>(i), name);
        }
    }
    if (lookups == Lookups::kIndexed && !IndexPieces()) {
        Clear();
        return false;
    }
    return true;
}

// Whether the header line names the section name, which holds no ']'.
bool LineIndex::Names(uint32_t header, std::wstring_view name) const
{
    const std::wstring_view line = TextOf(m_Lines[header]);
    return line.size() > name.size() + 1 && line[name.size() + 1] == L']' && line.compare(1, name.size(), name) == 0;
}

void LineIndex::AddHeader(uint32_t line, std::wstring_view name)
{
    // The first header of a name keeps its slot.
    const size_t mask = m_HeaderSlots.size() - 1;
    for (size_t at = std::hash<std::wstring_view>()(name) & mask;; at = (at + 1) & mask) {
        if (m_HeaderSlots[at] == 0) {
            m_HeaderSlots[at] = line + 1;
            return;
        }
        if (Names(m_HeaderSlots[at] - 1, name)) {
            return;
        }
    }
}

size_t LineIndex::HeaderOf(std::wstring_view section) const
{
    // No header's name holds one of these.
    static const wchar_t kNeverInNames[] = {L'\0', L'\r', L']'};
    if (m_HeaderSlots.empty() || section.find_first_of(std::wstring_view(kNeverInNames, 3)) != std::wstring_view::npos) {
        return std::wstring_view::npos;
    }
    const size_t mask = m_HeaderSlots.size() - 1;
    for (size_t at = std::hash<std::wstring_view>()(section) & mask; m_HeaderSlots[at] != 0; at = (at + 1) & mask) {
        if (Names(m_HeaderSlots[at] - 1, section)) {
            return m_HeaderSlots[at] - 1;
        }
    }
    return std::wstring_view::npos;
}

bool LineIndex::IndexPieces()
{
    // Each bucket's count, and the line that last added to it, plus one: a
    // line counts once in each bucket.
    std::vector<uint32_t> counts(kBuckets + 1, 0);
    std::vector<uint32_t> lastLine(kBuckets, 0);
    // The one pass over every piece, twice: to count, then to fill in.
    // take returns false to end the pass.
    auto eachPiece = [this, &lastLine](auto&& take) {
        std::fill(lastLine.begin(), lastLine.end(), 0);
        size_t sinceCheck = 0;
        for (size_t i = 0; i < m_Lines.size(); ++i) {
            const std::wstring_view line = TextOf(m_Lines[i]);
            const uint32_t mark = static_cast<uint32_t>(i) + 1;
            for (size_t at = 0; at + kPieceLength <= line.size(); ++at) {
                if (++sinceCheck == kCharsPerStopCheck) {
                    sinceCheck = 0;
                    if (platform::StopRequested()) {
                        return false;
                    }
                }
                const uint32_t bucket = BucketOf(line.data() + at);
                if (lastLine[bucket] != mark) {
                    lastLine[bucket] = mark;
                    if (!take(bucket, static_cast<uint32_t>(i))) {
                        return true;
                    }
                }
            }
        }
        return true;
    };
    size_t total = 0;
    if (!eachPiece([&](uint32_t bucket, uint32_t) {
            ++counts[bucket + 1];
            return ++total <= kMaxPostings;
        })) {
        return false;
    }
    if (total > kMaxPostings) {
        return true;
    }
    for (size_t b = 0; b < kBuckets; ++b) {
        counts[b + 1] += counts[b];
    }
    m_BucketStart = counts;
    m_Postings.resize(total);
    return eachPiece([&](uint32_t bucket, uint32_t line) {
        m_Postings[counts[bucket]++] = line;
        return true;
    });
}

LookupResult LineIndex::Find(std::wstring_view section, std::wstring_view key, std::wstring_view& value) const
{
    const size_t header = HeaderOf(section);
    if (header == std::wstring_view::npos) {
        return LookupResult::kMissing;
    }
    return key.empty() ? FindOnNextLine(header, value) : FindAfter(header, key, value);
}

// An empty key is held by the very next line, even an empty one.
LookupResult LineIndex::FindOnNextLine(size_t header, std::wstring_view& value) const
{
    const size_t end = m_Text.find(L'\n', m_Lines[header].start);
    if (end == std::wstring_view::npos || end + 1 >= m_Text.size()) {
        return LookupResult::kMissing;
    }
    const std::wstring_view rest = m_Text.substr(end + 1);
    ValueOf(Trimmed(rest.substr(0, rest.find(L'\n'))), value);
    return LookupResult::kFound;
}

LookupResult LineIndex::FindAfter(size_t header, std::wstring_view key, std::wstring_view& value) const
{
    // The lines to look at: those of the smallest bucket among the key's
    // pieces, which hold every line holding the key, or all lines.
    const uint32_t* first = nullptr;
    const uint32_t* last = nullptr;
    if (!m_BucketStart.empty() && key.size() >= kPieceLength) {
        uint32_t smallest = BucketOf(key.data());
        for (size_t at = 1; at + kPieceLength <= key.size(); ++at) {
            const uint32_t bucket = BucketOf(key.data() + at);
            if (m_BucketStart[bucket + 1] - m_BucketStart[bucket] <
                m_BucketStart[smallest + 1] - m_BucketStart[smallest]) {
                smallest = bucket;
            }
        }
        last = m_Postings.data() + m_BucketStart[smallest + 1];
        first = std::upper_bound(m_Postings.data() + m_BucketStart[smallest], last, static_cast<uint32_t>(header));
    }
    const size_t count = first != nullptr ? static_cast<size_t>(last - first) : m_Lines.size() - header - 1;
    for (size_t n = 0; n < count; ++n) {
        if (n % kLinesPerStopCheck == kLinesPerStopCheck - 1 && platform::StopRequested()) {
            return LookupResult::kStopped;
        }
        const Line& line = m_Lines[first != nullptr ? first[n] : header + 1 + n];
        if (line.length >= key.size() && TextOf(line).find(key) != std::wstring_view::npos) {
            ValueOf(TextOf(line), value);
            return LookupResult::kFound;
        }
    }
    return LookupResult::kMissing;
}

}  // namespace layout

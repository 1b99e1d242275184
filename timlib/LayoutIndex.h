// The lines of one layout file's text, split once, for the single-key
// lookups: each line is a trimmed view into the text, with a small mark of
// the three-character pieces it holds, so a lookup passes over most lines
// without looking at their characters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace layout {

enum class LookupResult { kFound, kMissing, kStopped };

class LineIndex {
public:
    // When the lines get an index of their four-character pieces, which
    // takes a lookup straight to the few lines that may hold its key: for
    // a text of many lines, if the index stays below kMaxPostings entries
    // (one for each distinct piece of each line; a text of 64 MiB without
    // repeats needs more). Otherwise a lookup passes over the lines one by
    // one. Tests ask for either way.
    enum class Pieces { kWhenLarge, kAlways, kNever };
    static constexpr size_t kMinLinesForPieces = 2048;
    static constexpr size_t kMaxPostings = size_t(16) << 20;

    // Splits text, which must outlive the index and stay unchanged. False,
    // with the index empty, when a stop was asked for first.
    bool Build(std::wstring_view text, Pieces pieces = Pieces::kWhenLarge);
    void Clear();

    // The value of the first line after section's first header that holds
    // key: the text after the line's first '=', trimmed, or the whole line
    // when it has no '=', as a view into the text. The section runs to the
    // end of the text.
    LookupResult Find(std::wstring_view section, std::wstring_view key, std::wstring_view& value) const;
    // Find in two steps, for a caller that asks for one section many
    // times: the position of section's first header (npos when there is
    // none), and the lookup that starts there.
    size_t HeaderOf(std::wstring_view section) const;
    LookupResult FindFrom(size_t header, std::wstring_view key, std::wstring_view& value) const;

private:
    struct Line {
        size_t start = 0;
        size_t length = 0;
        uint64_t pieces = 0;
    };

    std::wstring_view TextOf(const Line& line) const { return m_Text.substr(line.start, line.length); }
    LookupResult FindAfter(size_t header, std::wstring_view key, std::wstring_view& value) const;
    LookupResult FindOnNextLine(size_t header, std::wstring_view& value) const;
    // The lines that may hold key, ascending, from first up to last: those
    // that share its rarest four-character piece. first is null when there
    // is no index of pieces or the key is shorter than a piece.
    struct Candidates {
        const uint32_t* first = nullptr;
        const uint32_t* last = nullptr;
    };
    Candidates CandidatesFor(std::wstring_view key) const;
    // False when a stop came.
    bool IndexPieces(Pieces pieces);
    bool Holds(const Line& line, std::wstring_view key, uint64_t keyPieces) const;

    std::wstring_view m_Text;
    // Only the lines that are not empty once trimmed: no other line holds
    // a key.
    std::vector<Line> m_Lines;
    // The header lines by their section names (shorter names first), and
    // among one name in the order of the text: a lookup finds its section's first header by a
    // binary search, with nothing to remember between lookups.
    struct Header {
        std::wstring_view name;
        size_t line = 0;  // in m_Lines
    };
    std::vector<Header> m_Headers;
    // For each bucket of four-character pieces, the indexes in m_Lines of
    // the lines holding one of its pieces, ascending, at
    // m_Postings[m_BucketStart[bucket]] up to the next bucket's start.
    // Both are empty when the text has no such index.
    std::vector<uint32_t> m_BucketStart;
    std::vector<uint32_t> m_Postings;
    // Pieces hash into 2^m_BucketBits buckets, more for more lines.
    unsigned m_BucketBits = 0;
};

}  // namespace layout

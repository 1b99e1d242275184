// The lines of one layout file's text, split once, for the single-key
// lookups: each line is a trimmed view into the text; the first header of
// each section name is found through a hash table, and the lines that may
// hold a key through an index of their four-character pieces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace layout {

enum class LookupResult { kFound, kMissing, kStopped };

class LineIndex {
public:
    // How lookups find the lines that may hold a key. kIndexed: through an
    // index of the lines' four-character pieces, each position's piece
    // hashed into one of kBuckets buckets, each bucket listing the lines
    // holding one of its pieces, a line once; the index is left out when it
    // would pass kMaxPostings entries (a text of 64 MiB without repeats
    // needs more), and lookups then walk the lines. kWalk: always by a walk
    // over the lines, which tests compare the index with.
    enum class Lookups { kIndexed, kWalk };
    static constexpr size_t kBuckets = size_t(1) << 15;
    static constexpr size_t kMaxPostings = size_t(16) << 20;

    // Splits text, which must outlive the index and stay unchanged. False,
    // with the index empty, when a stop was asked for first or the text
    // holds 2^32 characters or more.
    bool Build(std::wstring_view text, Lookups lookups = Lookups::kIndexed);
    void Clear();

    // The value of the first line after section's first header that holds
    // key: the text after the line's first '=', trimmed, or the whole line
    // when it has no '=', as a view into the text. The section runs to the
    // end of the text.
    LookupResult Find(std::wstring_view section, std::wstring_view key, std::wstring_view& value) const;

private:
    struct Line {
        uint32_t start = 0;
        uint32_t length = 0;
    };

    std::wstring_view TextOf(const Line& line) const { return m_Text.substr(line.start, line.length); }
    // Whether the header line names the section name.
    bool Names(uint32_t header, std::wstring_view name) const;
    // The line of section's first header; npos when there is none.
    size_t HeaderOf(std::wstring_view section) const;
    void AddHeader(uint32_t line, std::wstring_view name);
    LookupResult FindAfter(size_t header, std::wstring_view key, std::wstring_view& value) const;
    LookupResult FindOnNextLine(size_t header, std::wstring_view& value) const;
    // False when a stop came.
    bool IndexPieces();

    std::wstring_view m_Text;
    // Only the lines that are not empty once trimmed: no other line holds
    // a key.
    std::vector<Line> m_Lines;
    // An open-addressing table of the first header line of each section
    // name, each slot the line's place in m_Lines plus one (0: empty). It
    // is at most half full.
    std::vector<uint32_t> m_HeaderSlots;
    // For each bucket, the indexes in m_Lines of its lines, ascending, at
    // m_Postings[m_BucketStart[bucket]] up to the next bucket's start.
    // Both are empty when the text has no index of pieces.
    std::vector<uint32_t> m_BucketStart;
    std::vector<uint32_t> m_Postings;
};

}  // namespace layout

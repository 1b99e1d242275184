#include "timlib/LayoutIndex.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>

#include "common/TimLib.h"
#include "common/platform/Stop.h"

namespace layout {

namespace {

// How many lines, or characters of one line, pass between two looks at
// the stop flag: far below a millisecond of work.
constexpr size_t kLinesPerStopCheck = 4096;
constexpr size_t kCharsPerStopCheck = size_t(1) << 20;
// Room for the section headers of a usual layout file, made at once.
constexpr size_t kUsualHeaders = 32;
// A piece whose bucket holds no more lines than this is taken for a
// lookup without looking at the key's other pieces.
constexpr size_t kRareEnough = 16;

uint64_t PieceBit(wchar_t a, wchar_t b, wchar_t c)
{
    const uint32_t mixed = static_cast<uint32_t>(a) * 0x9E3779B1u ^ static_cast<uint32_t>(b) * 0x85EBCA77u ^
                           static_cast<uint32_t>(c) * 0xC2B2AE3Du;
    return uint64_t(1) << ((mixed * 0x27D4EB2Du) >> 26);
}

// The mark of every three-character piece of text: a text that holds
// another holds all of its pieces, so its mark covers the other's. Nothing
// when a stop came. Returned, not written through a pointer: checked
// builds then keep it in a register.
std::optional<uint64_t> PiecesOf(std::wstring_view text)
{
    uint64_t pieces = 0;
    const wchar_t* const chars = text.data();
    // The stop flag is looked at between blocks, not at every character.
    for (size_t block = 2; block < text.size(); block += kCharsPerStopCheck) {
        if (block > 2 && platform::StopRequested()) {
            return std::nullopt;
        }
        const size_t end = std::min(text.size(), block + kCharsPerStopCheck);
        size_t i = block;
        // Eight pieces a round, from a copy of the ten characters they
        // span: this runs over every character of the text, and checked
        // builds check each access of the text itself.
        for (; i + 8 <= end; i += 8) {
            wchar_t w[10];
            std::memcpy(w, chars + i - 2, sizeof w);
            pieces |= PieceBit(w[0], w[1], w[2]) | PieceBit(w[1], w[2], w[3]) | PieceBit(w[2], w[3], w[4]) |
                      PieceBit(w[3], w[4], w[5]) | PieceBit(w[4], w[5], w[6]) | PieceBit(w[5], w[6], w[7]) |
                      PieceBit(w[6], w[7], w[8]) | PieceBit(w[7], w[8], w[9]);
        }
        for (; i < end; ++i) {
            pieces |= PieceBit(chars[i - 2], chars[i - 1], chars[i]);
        }
    }
    return pieces;
}

// The pieces of the second index: four characters, hashed into one of
// 2^bits buckets. A line's pieces hold those of every key it holds.
constexpr size_t kPieceLength = 4;
constexpr unsigned kMinBucketBits = 8;
constexpr unsigned kMaxBucketBits = 16;

// A piece's hash is a polynomial in its characters, so that it rolls: the
// next piece's hash comes from this one, the character that leaves and the
// one that comes, and the index build reads each character once.
constexpr uint32_t kPieceBase = 0x01000193u;

constexpr uint32_t PowerOfPieceBase(size_t exponent)
{
    uint32_t power = 1;
    for (size_t i = 0; i < exponent; ++i) {
        power *= kPieceBase;
    }
    return power;
}

// The factor of a piece's first character in its hash.
constexpr uint32_t kLeavingFactor = PowerOfPieceBase(kPieceLength - 1);

uint32_t PieceHash(const wchar_t* piece)
{
    uint32_t hash = 0;
    for (size_t i = 0; i < kPieceLength; ++i) {
        hash = hash * kPieceBase + static_cast<uint32_t>(piece[i]);
    }
    return hash;
}

uint32_t RollPiece(uint32_t hash, wchar_t leaving, wchar_t coming)
{
    return (hash - static_cast<uint32_t>(leaving) * kLeavingFactor) * kPieceBase + static_cast<uint32_t>(coming);
}

uint32_t BucketOfHash(uint32_t hash, unsigned bits)
{
    return (hash * 0x9E3779B1u) >> (32 - bits);
}

uint32_t BucketOf(const wchar_t* piece, unsigned bits)
{
    return BucketOfHash(PieceHash(piece), bits);
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

// The order of the header index: by the name's length, then by the name. A
// lookup's binary search then tells most names apart by length alone.
bool NameBefore(std::wstring_view a, std::wstring_view b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
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
    m_Lines.clear();
    m_Lines.shrink_to_fit();
    m_Headers.clear();
    m_Headers.shrink_to_fit();
    m_BucketStart.clear();
    m_BucketStart.shrink_to_fit();
    m_Postings.clear();
    m_Postings.shrink_to_fit();
    m_BucketBits = 0;
}

bool LineIndex::Build(std::wstring_view text, Pieces pieces)
{
    Clear();
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
    m_Headers.reserve(kUsualHeaders);
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
        const std::optional<uint64_t> mark = PiecesOf(line);
        if (!mark) {
            Clear();
            return false;
        }
        std::wstring_view name;
        if (HeaderName(line, name)) {
            m_Headers.push_back({name, m_Lines.size()});
        }
        m_Lines.push_back({static_cast<size_t>(line.data() - text.data()), line.size(), *mark});
    }
    // Headers of one name stay in their order in the text: the first one
    // is where a lookup starts.
    std::sort(m_Headers.begin(), m_Headers.end(), [](const Header& a, const Header& b) {
        return NameBefore(a.name, b.name) || (a.name == b.name && a.line < b.line);
    });
    if (!IndexPieces(pieces)) {
        Clear();
        return false;
    }
    return true;
}

bool LineIndex::IndexPieces(Pieces pieces)
{
    if (pieces == Pieces::kNever || (pieces == Pieces::kWhenLarge && m_Lines.size() < kMinLinesForPieces) ||
        m_Lines.size() >= std::numeric_limits<uint32_t>::max()) {
        return true;
    }
    // About four buckets a line.
    unsigned bits = kMinBucketBits;
    while (bits < kMaxBucketBits && (size_t(1) << bits) < m_Lines.size() * 4) {
        ++bits;
    }
    const size_t kBuckets = size_t(1) << bits;
    // Each bucket's count, and the line that last added to it, plus one: a
    // line counts once in each bucket.
    std::vector<uint32_t> counts(kBuckets + 1, 0);
    std::vector<uint32_t> lastLine(kBuckets, 0);
    // The one pass over every piece, twice: to count, then to fill in.
    auto eachPiece = [this, &lastLine, bits](auto&& take) {
        std::fill(lastLine.begin(), lastLine.end(), 0);
        size_t sinceCheck = 0;
        for (size_t i = 0; i < m_Lines.size(); ++i) {
            const std::wstring_view line = TextOf(m_Lines[i]);
            if (line.size() < kPieceLength) {
                continue;
            }
            const uint32_t mark = static_cast<uint32_t>(i) + 1;
            const wchar_t* const chars = line.data();
            const size_t last = line.size() - kPieceLength;
            // The stop flag between blocks of characters, even within one
            // long line.
            for (size_t block = 0; block <= last; block += kCharsPerStopCheck) {
                sinceCheck += std::min(kCharsPerStopCheck, last - block + 1);
                if (sinceCheck >= kCharsPerStopCheck) {
                    sinceCheck = 0;
                    if (platform::StopRequested()) {
                        return false;
                    }
                }
                const size_t end = std::min(last + 1, block + kCharsPerStopCheck);
                uint32_t hash = PieceHash(chars + block);
                for (size_t at = block;;) {
                    const uint32_t bucket = BucketOfHash(hash, bits);
                    if (lastLine[bucket] != mark) {
                        lastLine[bucket] = mark;
                        if (!take(bucket, static_cast<uint32_t>(i))) {
                            return true;
                        }
                    }
                    if (++at == end) {
                        break;
                    }
                    hash = RollPiece(hash, chars[at - 1], chars[at + kPieceLength - 1]);
                }
            }
        }
        return true;
    };
    size_t total = 0;
    bool fits = true;
    if (!eachPiece([&](uint32_t bucket, uint32_t) {
            ++counts[bucket + 1];
            fits = ++total <= kMaxPostings;
            return fits;
        })) {
        return false;
    }
    if (!fits) {
        return true;
    }
    for (size_t b = 0; b < kBuckets; ++b) {
        counts[b + 1] += counts[b];
    }
    m_BucketStart = counts;
    m_Postings.resize(total);
    m_BucketBits = bits;
    return eachPiece([&](uint32_t bucket, uint32_t line) {
        m_Postings[counts[bucket]++] = line;
        return true;
    });
}

size_t LineIndex::HeaderOf(std::wstring_view section) const
{
    const auto first =
        std::lower_bound(m_Headers.begin(), m_Headers.end(), section,
                         [](const Header& header, std::wstring_view name) { return NameBefore(header.name, name); });
    return first != m_Headers.end() && first->name == section ? first->line : std::wstring::npos;
}

LookupResult LineIndex::Find(std::wstring_view section, std::wstring_view key, std::wstring_view& value) const
{
    return FindFrom(HeaderOf(section), key, value);
}

LookupResult LineIndex::FindFrom(size_t header, std::wstring_view key, std::wstring_view& value) const
{
    if (header == std::wstring::npos) {
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

LineIndex::Candidates LineIndex::CandidatesFor(std::wstring_view key) const
{
    if (m_BucketStart.empty() || key.size() < kPieceLength) {
        return {};
    }
    // Any piece of the key will do; the search takes the rarest, and stops
    // at one that is rare enough: a numbered key's first piece usually is.
    uint32_t rarest = BucketOf(key.data(), m_BucketBits);
    size_t count = m_BucketStart[rarest + 1] - m_BucketStart[rarest];
    for (size_t at = 1; count > kRareEnough && at + kPieceLength <= key.size(); ++at) {
        const uint32_t bucket = BucketOf(key.data() + at, m_BucketBits);
        const size_t size = m_BucketStart[bucket + 1] - m_BucketStart[bucket];
        if (size < count) {
            rarest = bucket;
            count = size;
        }
    }
    const uint32_t* const first = m_Postings.data() + m_BucketStart[rarest];
    return {first, first + count};
}

bool LineIndex::Holds(const Line& line, std::wstring_view key, uint64_t keyPieces) const
{
    // The marks pass most lines by; find itself passes a line shorter than
    // the key.
    return (line.pieces & keyPieces) == keyPieces && TextOf(line).find(key) != std::wstring_view::npos;
}

LookupResult LineIndex::FindAfter(size_t header, std::wstring_view key, std::wstring_view& value) const
{
    // A stop during the key's mark leaves no mark to pass lines by; the
    // search then looks at every line, and at the stop flag.
    const uint64_t keyPieces = PiecesOf(key).value_or(0);
    const Candidates candidates = CandidatesFor(key);
    if (candidates.first != nullptr) {
        // Every line that holds the key is among the candidates.
        const uint32_t* const end = candidates.last;
        const uint32_t* at = std::upper_bound(candidates.first, end, static_cast<uint32_t>(header));
        for (size_t seen = 1; at != end; ++at, ++seen) {
            if (seen % kLinesPerStopCheck == 0 && platform::StopRequested()) {
                return LookupResult::kStopped;
            }
            if (Holds(m_Lines[*at], key, keyPieces)) {
                ValueOf(TextOf(m_Lines[*at]), value);
                return LookupResult::kFound;
            }
        }
        return LookupResult::kMissing;
    }
    // The stop flag between blocks of lines: every lookup of a small file
    // takes this path.
    for (size_t block = header + 1; block < m_Lines.size(); block += kLinesPerStopCheck) {
        if (block > header + 1 && platform::StopRequested()) {
            return LookupResult::kStopped;
        }
        const size_t end = std::min(m_Lines.size(), block + kLinesPerStopCheck);
        for (size_t i = block; i < end; ++i) {
            if (Holds(m_Lines[i], key, keyPieces)) {
                ValueOf(TextOf(m_Lines[i]), value);
                return LookupResult::kFound;
            }
        }
    }
    return LookupResult::kMissing;
}

}  // namespace layout

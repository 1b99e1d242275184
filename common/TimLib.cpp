#include "common/TimLib.h"

#include <algorithm>
#include <istream>
#include <stdexcept>
#include <utility>

#include "common/platform/Format.h"
#include "common/platform/Scan.h"
#include "common/platform/Text.h"

namespace {

const unsigned kBits32 = 32;
const unsigned kBits64 = 64;

// The not-set markers count wherever they stand in the text.
bool ContainsMarker(const std::wstring& text, const wchar_t* marker)
{
    return text.find(marker) != std::wstring::npos;
}

bool IsLeadingTrimChar(wchar_t c)
{
    return c == L' ' || c == L'\n';
}

bool IsTrailingTrimChar(wchar_t c)
{
    return c == L' ' || c == L'\n' || c == L'\r';
}

// The text without the blanks at either end: CTimLib::Trim's rule.
std::wstring_view WithoutOuterBlanks(std::wstring_view text)
{
    size_t first = 0;
    while (first < text.size() && platform::IsBlank(text[first])) {
        ++first;
    }
    size_t last = text.size();
    while (last > first && platform::IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

// The value-text rule at 32 or 64 bits: trimmed, hexadecimal when "0x" or
// "0X" occurs anywhere, otherwise by the C literal rules; wraps. Trimmed in
// place, without a copy: every number of a layout file is read through here.
uint64_t ReadValueText(std::wstring_view text, unsigned bits)
{
    text = WithoutOuterBlanks(text);
    const platform::ScanBase base = ContainsHexPrefix(text) ? platform::ScanBase::Hex : platform::ScanBase::Auto;
    return platform::ScanInteger(text.data(), text.size(), base, bits);
}

}  // namespace

// The kept range [first, last) of TrimInPlace's rules. The end never steps
// back over the new start, so the first kept character always stays.
void TrimRange(const wchar_t* text, size_t length, size_t& first, size_t& last)
{
    first = 0;
    while (first < length && IsLeadingTrimChar(text[first])) {
        ++first;
    }
    last = length;
    while (last > first + 1 && IsTrailingTrimChar(text[last - 1])) {
        --last;
    }
}

bool ContainsNotSetMarker32(const std::wstring& text)
{
    return ContainsMarker(text, L"0xffffffff") || ContainsMarker(text, L"0xFFFFFFFF");
}

bool ContainsHexPrefix(std::wstring_view text)
{
    return text.find(L"0x") != std::wstring_view::npos || text.find(L"0X") != std::wstring_view::npos;
}

CTimLib::~CTimLib() = default;

std::wistream& CTimLib::ReadNonEmptyLine(std::wistream& stream, std::wstring& line)
{
    if (!stream.good()) {
        return stream;
    }
    for (;;) {
        std::getline(stream, line);
        Trim(line);
        if (!line.empty() || !stream.good()) {
            return stream;
        }
    }
}

bool CTimLib::GetFieldValue(std::wstring_view fieldName, const std::wstring& line, uint32_t& value)
{
    value = 0;
    if (!line.empty() && line[0] == L';') {
        return false;
    }
    if (line.find(fieldName) == std::wstring::npos) {
        return false;
    }
    // The value is sought just past the name's length from the line's
    // first character, even when the name itself sits further in; the line
    // held the name, so it is at least that long.
    size_t pos = fieldName.size();
    while (pos < line.size() &&
           (line[pos] == L'=' || line[pos] == L' ' || line[pos] == L'\n' || line[pos] == L'\t')) {
        ++pos;
    }
    if (pos >= line.size()) {
        return false;
    }
    value = ParseUInt32(line.substr(pos));
    return true;
}

bool CTimLib::SplitNameValue(std::wstring& name, std::wstring& value, const std::wstring& line)
{
    if (!line.empty() && line[0] == L';') {
        return false;
    }
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) {
        return false;
    }
    name = line.substr(0, equals);
    value = line.substr(equals + 1);
    Trim(name);
    Trim(value);
    return true;
}

std::wstring_view CTimLib::Trimmed(std::wstring_view text)
{
    return WithoutOuterBlanks(text);
}

void CTimLib::Trim(std::wstring& text)
{
    const std::wstring_view kept = WithoutOuterBlanks(text);
    const size_t first = static_cast<size_t>(kept.data() - text.data());
    text.erase(first + kept.size());
    text.erase(0, first);
}

uint32_t CTimLib::ScanUInt32(const wchar_t* text)
{
    if (text == nullptr) {
        return 0;
    }
    return ScanUInt32(std::wstring(text));
}

uint32_t CTimLib::ScanUInt32(const std::wstring& text)
{
    const bool hex = text.size() >= 2 && (text[1] == L'x' || text[1] == L'X');
    return static_cast<uint32_t>(
        platform::ScanInteger(text, hex ? platform::ScanBase::Hex : platform::ScanBase::Auto, kBits32));
}

uint32_t CTimLib::ParseUInt32(std::wstring_view text)
{
    return static_cast<uint32_t>(ReadValueText(text, kBits32));
}

void CTimLib::RemoveAngleBrackets(std::wstring& text)
{
    const size_t open = text.find(L'<');
    // Removing '<' moves no '>', so both can be checked before anything
    // changes.
    if (open == std::wstring::npos || text.find(L'>') == std::wstring::npos) {
        throw std::out_of_range("invalid string position");
    }
    text.erase(open, 1);
    text.erase(text.find(L'>'), 1);
}

void CTimLib::SplitAtClosingBracket(std::wstring& comment, std::wstring& text)
{
    const size_t close = text.find(L'>');
    if (close == std::wstring::npos) {
        comment = text;
        text.clear();
    } else {
        comment = text.substr(close + 1);
        text.erase(close + 1);
    }
    const size_t semicolon = comment.find(L';');
    if (semicolon != std::wstring::npos) {
        comment.erase(0, semicolon + 1);
    }
}

std::wstring CTimLib::FormatHex32(uint32_t value)
{
    std::wstring text;
    AssignHex32(text, value);
    return text;
}

std::wstring CTimLib::FormatHex64(uint64_t value)
{
    std::wstring text;
    AssignHex64(text, value);
    return text;
}

void CTimLib::AssignHex32(std::wstring& text, uint32_t value)
{
    const platform::FormatArg args[] = {platform::MakeFormatArg(value), platform::FormatArg()};
    platform::FormatArgsInto(text, L"0x%08X", args, 1);
}

void CTimLib::AssignHex64(std::wstring& text, uint64_t value)
{
    const platform::FormatArg args[] = {platform::MakeFormatArg(value), platform::FormatArg()};
    platform::FormatArgsInto(text, L"0x%010I64X", args, 1);
}

std::wstring CTimLib::HexTextToTag(const std::wstring& text)
{
    const std::wstring none = L"0x0";
    if (text.find(L"0x") != 0) {
        return none;
    }
    const uint32_t value = ScanUInt32(text);
    if (value == 0) {
        return none;
    }
    std::wstring tag;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const wchar_t c = static_cast<wchar_t>((value >> shift) & 0xFFu);
        if (c == 0) {
            break;
        }
        tag += c;
    }
    return tag;
}

namespace {

// ToUpperText's rule, one character at a time: ASCII letters upper-cased,
// and with keepLowerX a leading "0X" keeps (or gets) its 'x'.
struct UpperTextRule {
    UpperTextRule(std::wstring_view text, bool keepLowerX)
        : lowerX(keepLowerX && text.size() >= 2 && platform::ToUpperAscii(text[0]) == L'0' &&
                 platform::ToUpperAscii(text[1]) == L'X')
    {
    }
    wchar_t At(std::wstring_view text, size_t i) const
    {
        return i == 1 && lowerX ? L'x' : platform::ToUpperAscii(text[i]);
    }
    bool lowerX;
};

}  // namespace

void CTimLib::MakeUpperText(std::wstring& text, bool keepLowerX)
{
    const UpperTextRule rule(text, keepLowerX);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = rule.At(text, i);
    }
}

std::wstring CTimLib::ToUpperText(std::wstring& text, bool keepLowerX)
{
    MakeUpperText(text, false);
    std::wstring result = text;
    MakeUpperText(result, keepLowerX);
    return result;
}

bool CTimLib::EqualsUpperText(std::wstring_view text, std::wstring_view upper)
{
    if (text.size() != upper.size()) {
        return false;
    }
    const UpperTextRule rule(text, true);
    for (size_t i = 0; i < text.size(); ++i) {
        if (rule.At(text, i) != upper[i]) {
            return false;
        }
    }
    return true;
}

namespace {

uint32_t TagWordOf(std::wstring_view tag)
{
    const size_t count = std::min<size_t>(4, tag.size());
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = (value << 8) | (static_cast<uint32_t>(tag[i]) & 0xFFu);
    }
    return value;
}

}  // namespace

std::wstring CTimLib::TagToHexText(std::wstring tag)
{
    return FormatHex32(TagWordOf(tag));
}

void CTimLib::AssignTagAsHexText(const std::wstring& tag, std::wstring& hexText)
{
    AssignHex32(hexText, TagWordOf(tag));
}

bool CTimLib::TextListToWords(const TextList& list, uint32_t* words, size_t capacity)
{
    if (list.size() > capacity) {
        return false;
    }
    size_t i = 0;
    for (const std::wstring& element : list) {
        words[i++] = ParseUInt32(element);
    }
    return true;
}

bool CTimLib::WordsToTextList(const uint32_t* words, TextList& list, size_t count)
{
    if (count > list.size()) {
        return false;
    }
    auto element = list.begin();
    for (size_t i = 0; i < count; ++i, ++element) {
        *element = FormatHex32(words[i]);
    }
    return true;
}

bool CTimLib::ResizeTextList(TextList& list, size_t count, bool& changed)
{
    while (list.size() < count) {
        list.push_back(L"0x00000000");
        changed = true;
    }
    while (list.size() > count) {
        list.pop_back();
        changed = true;
    }
    return true;
}

uint32_t StrToUInt32(const wchar_t* text)
{
    if (text == nullptr) {
        return 0;
    }
    return StrToUInt32(std::wstring(text));
}

uint32_t StrToUInt32(const std::wstring& text)
{
    const bool hex = text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    return static_cast<uint32_t>(
        platform::ScanInteger(text, hex ? platform::ScanBase::Hex : platform::ScanBase::Auto, kBits32));
}

uint64_t StrToUInt64(std::wstring text)
{
    if (ContainsMarker(text, L"0xffffffffff") || ContainsMarker(text, L"0xFFFFFFFFFF")) {
        return 0xFFFFFFFFFFull;
    }
    if (ContainsNotSetMarker32(text)) {
        return 0xFFFFFFFFull;
    }
    return ReadValueText(text, kBits64);
}

wchar_t* TrimInPlace(wchar_t* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    size_t first = 0;
    size_t last = 0;
    TrimRange(text, std::char_traits<wchar_t>::length(text), first, last);
    text[last] = L'\0';
    return text + first;
}

void TrimText(std::wstring& text)
{
    // Trimmed on the text itself rather than through a fixed work buffer,
    // so a text of any length keeps all its characters.
    size_t first = 0;
    size_t last = 0;
    TrimRange(text.data(), text.size(), first, last);
    text = text.substr(first, last - first);
}

// The shared text and number routines of every layout parser and writer:
// lines into names and values, value texts into numbers and back, and
// four-character tags into their hexadecimal text and back. CTimLib is also
// the data-less polymorphic base of the model classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <list>
#include <string>
#include <string_view>

// An ordered list of texts, one 32-bit word per element in the key and
// signature descriptors.
using TextList = std::list<std::wstring>;

class CTimLib {
public:
    virtual ~CTimLib();

    // Reads lines until one is non-empty after trimming both ends. When the
    // stream is not good on entry, line keeps its content. Otherwise line
    // ends up empty only when the input ran out.
    static std::wistream& ReadNonEmptyLine(std::wistream& stream, std::wstring& line);

    // Reads the number after fieldName from line. The number is taken from
    // the index fieldName.size() of line, wherever the name was found, so a
    // line naming a longer field that contains fieldName also matches.
    static bool GetFieldValue(std::wstring_view fieldName, const std::wstring& line, uint32_t& value);

    // Splits "name = value" at the first '='; both parts trimmed. The value
    // keeps any trailing comment. False for comment lines and lines
    // without '='; name and value are then untouched.
    static bool SplitNameValue(std::wstring& name, std::wstring& value, const std::wstring& line);

    // The value-text trim: removes white space (the six C blanks) at both
    // ends.
    static void Trim(std::wstring& text);
    // The same trim, as a view into the text.
    static std::wstring_view Trimmed(std::wstring_view text);

    // The tag-text rule: "%x" when the second character is 'x' or 'X',
    // otherwise "%i"; no trimming.
    static uint32_t ScanUInt32(const wchar_t* text);
    static uint32_t ScanUInt32(const std::wstring& text);

    // The common value-text rule: trimmed, read as hexadecimal when "0x" or
    // "0X" occurs anywhere (ContainsHexPrefix), otherwise by the C literal
    // rules; wraps at 32 bits; 0 when nothing converts.
    static uint32_t ParseUInt32(std::wstring_view text);

    // Removes the first '<' and then the first '>'. Throws std::out_of_range
    // (leaving text unchanged) when either is missing.
    static void RemoveAngleBrackets(std::wstring& text);

    // "<0x1, 0x2> ; note" -> text "<0x1, 0x2>", comment " note".
    static void SplitAtClosingBracket(std::wstring& comment, std::wstring& text);

    static std::wstring FormatHex32(uint32_t value);  // "0x%08X"
    static std::wstring FormatHex64(uint64_t value);  // "0x%010I64X"
    // The same written over text, in its room.
    static void AssignHex32(std::wstring& text, uint32_t value);
    static void AssignHex64(std::wstring& text, uint64_t value);

    // "0x42494E44" -> "BIND"; "0x0" for a text that does not start with
    // "0x" or whose value is 0; stops at the first zero byte.
    static std::wstring HexTextToTag(const std::wstring& text);

    // Upper-cases text in place (ASCII letters only) and returns a copy; with
    // keepLowerX, a copy starting "0X" gets its 'x' back.
    static std::wstring ToUpperText(std::wstring& text, bool keepLowerX);
    // What ToUpperText returns, written over the text itself.
    static void MakeUpperText(std::wstring& text, bool keepLowerX);
    // Whether ToUpperText(text, true) would give upper, without a copy.
    static bool EqualsUpperText(std::wstring_view text, std::wstring_view upper);

    // The first four characters' low bytes, right-aligned, as "0x%08X".
    static std::wstring TagToHexText(std::wstring tag);
    static void AssignTagAsHexText(const std::wstring& tag, std::wstring& hexText);

    // False, writing nothing, when the list holds more than capacity
    // elements; otherwise element i parsed into words[i].
    static bool TextListToWords(const TextList& list, uint32_t* words, size_t capacity);

    // False, changing nothing, when count exceeds the list's size; otherwise
    // the first count elements become FormatHex32 of the words.
    static bool WordsToTextList(const uint32_t* words, TextList& list, size_t count);

    // Pads with "0x00000000" or drops elements at the end until the list
    // holds count elements; changed is set only when the size changed.
    // Always true.
    static bool ResizeTextList(TextList& list, size_t count, bool& changed);
};

// Whether "0x" or "0X" occurs anywhere in the text: the value texts' test
// for hexadecimal.
bool ContainsHexPrefix(std::wstring_view text);

// Whether the 32-bit not-set marker "0xFFFFFFFF" (in one case) stands
// anywhere in the text; so does it in the 40-bit one.
bool ContainsNotSetMarker32(const std::wstring& text);

// The package-text rule: "%x" when the text starts "0x" or "0X", otherwise
// "%i"; no trimming.
uint32_t StrToUInt32(const wchar_t* text);
uint32_t StrToUInt32(const std::wstring& text);

// The 64-bit value-text rule for flash addresses. The not-set markers
// "0xFFFFFFFFFF" and "0xFFFFFFFF" (each in one case) count wherever they
// stand in the text, whatever follows them: "0xFFFFFFFF00" gives
// 0xFFFFFFFF. Otherwise as ParseUInt32, but 64 bits wide.
uint64_t StrToUInt64(std::wstring text);

// The layout-line trim: spaces and line feeds at the start and spaces, line
// feeds and carriage returns at the end of a terminated buffer, in place;
// returns the first kept character. Tabs at either end and carriage returns
// at the start stay.
wchar_t* TrimInPlace(wchar_t* text);

// TrimInPlace's rule applied to a text of any length.
void TrimText(std::wstring& text);
// The kept range [first, last) of that rule in text[0, length).
void TrimRange(const wchar_t* text, size_t length, size_t& first, size_t& last);

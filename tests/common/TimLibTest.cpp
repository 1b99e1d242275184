#include "common/TimLib.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Printable form of a wide text for failure messages.
std::string Show(const std::wstring& text)
{
    std::string out = "'";
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\u" + std::to_string(static_cast<unsigned long>(c));
        }
    }
    return out + "'";
}

static_assert(std::has_virtual_destructor<CTimLib>::value, "model classes are deleted through CTimLib");
static_assert(std::is_empty<CTimLib>::value == false && sizeof(CTimLib) == sizeof(void*),
              "CTimLib carries no data");

// ---------------------------------------------------------------- values

struct U32Case {
    std::wstring text;
    uint32_t expected;
};

TEST(TimLibValueTest, ParseUInt32)
{
    const std::vector<U32Case> cases = {
        {L"0x10", 16},
        {L"0X10", 16},
        {L" 0x1F ", 31},
        {L"10", 10},
        {L"010", 8},
        {L"08", 0},
        {L"-1", 0xFFFFFFFF},
        {L"\t-0x1\r\n", 0xFFFFFFFF},
        {L"0x100000000", 0},
        {L"0xFFFFFFFFFF", 0xFFFFFFFF},
        {L"4294967296", 0},
        {L"", 0},
        {L" \t\n\v\f\r", 0},
        // "0x" anywhere makes the whole text hexadecimal, read from its start.
        {L"12 0x5", 0x12},
        {L"A0x", 0xA0},
        {L"ab 0x1", 0xAB},
        {L"Image 0x10", 0},
        {L"0x10 ; comment", 16},
        {L"16 ; comment", 16},
    };
    for (const U32Case& c : cases) {
        EXPECT_EQ(CTimLib::ParseUInt32(c.text), c.expected) << Show(c.text);
    }
}

TEST(TimLibValueTest, ScanUInt32LooksAtTheSecondCharacter)
{
    const std::vector<U32Case> cases = {
        {L"0x1F", 31},
        {L"0X1F", 31},
        {L"Ax10", 0xA},  // hexadecimal because of the 'x'
        {L"1x5", 1},
        {L"010", 8},
        {L"10", 10},
        {L" 10", 10},
        {L"ab", 0},  // not hexadecimal without the 'x'
        {L"0x123456789", 0x23456789},
        {L"", 0},
        {L"x", 0},
    };
    for (const U32Case& c : cases) {
        EXPECT_EQ(CTimLib::ScanUInt32(c.text), c.expected) << Show(c.text);
        EXPECT_EQ(CTimLib::ScanUInt32(c.text.c_str()), c.expected) << Show(c.text);
    }
    EXPECT_EQ(CTimLib::ScanUInt32(static_cast<const wchar_t*>(nullptr)), 0u);
}

TEST(TimLibValueTest, StrToUInt32NeedsALeadingZeroX)
{
    const std::vector<U32Case> cases = {
        {L"0x1F", 31},
        {L"0X1f", 31},
        {L"1x5", 1},
        {L"Ax10", 0},
        {L" 0x10", 16},  // by the automatic base
        {L"010", 8},
        {L"-1", 0xFFFFFFFF},
        {L"0x100000001", 1},
        {L"", 0},
        {L"0", 0},
    };
    for (const U32Case& c : cases) {
        EXPECT_EQ(StrToUInt32(c.text), c.expected) << Show(c.text);
        EXPECT_EQ(StrToUInt32(c.text.c_str()), c.expected) << Show(c.text);
    }
    EXPECT_EQ(StrToUInt32(static_cast<const wchar_t*>(nullptr)), 0u);
}

TEST(TimLibValueTest, StrToUInt64)
{
    struct Case {
        std::wstring text;
        uint64_t expected;
    };
    const std::vector<Case> cases = {
        {L"0x1234567890", 0x1234567890},
        {L" 0x1234567890 ", 0x1234567890},
        {L"1099511627775", 0xFFFFFFFFFF},
        {L"017", 15},
        {L"-1", 0xFFFFFFFFFFFFFFFF},
        {L"0x10000000000000001", 1},
        {L"", 0},
        {L"   ", 0},
        {L"Addr 0x10", 0xADD},  // hexadecimal from the first character
        {L"none", 0},
        // Not-set markers, in one case each, anywhere in the text.
        {L"0xFFFFFFFFFF", 0xFFFFFFFFFF},
        {L"  0xffffffffff", 0xFFFFFFFFFF},
        {L"x0xffffffffff", 0xFFFFFFFFFF},
        {L"0xFFFFFFFFFF ; not set", 0xFFFFFFFFFF},
        {L"0xFFFFFFFF", 0xFFFFFFFF},
        {L"0xffffffff", 0xFFFFFFFF},
        {L"size 0xFFFFFFFF", 0xFFFFFFFF},
        {L"0xFFFFFFFF;x", 0xFFFFFFFF},
        // A marker inside a longer number still wins.
        {L"0xFFFFFFFF00", 0xFFFFFFFF},
        {L"0xFFFFFFFFFFFF", 0xFFFFFFFFFF},
        {L"0xffffffff0a", 0xFFFFFFFF},
        // Mixed case is no marker: read as a number.
        {L"0xFfFfFfFf", 0xFFFFFFFF},
        {L"0xFfFfFfFfFf", 0xFFFFFFFFFF},
        {L"0xffffffffFF", 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrToUInt64(c.text), c.expected) << Show(c.text);
    }
}

TEST(TimLibValueTest, FormatHex)
{
    struct Case {
        uint64_t value;
        std::wstring hex32;
        std::wstring hex64;
    };
    const std::vector<Case> cases = {
        {0, L"0x00000000", L"0x0000000000"},
        {0x1F, L"0x0000001F", L"0x000000001F"},
        {0xABCDEF01, L"0xABCDEF01", L"0x00ABCDEF01"},
        {0xFFFFFFFF, L"0xFFFFFFFF", L"0x00FFFFFFFF"},
        {0xFFFFFFFFFF, L"", L"0xFFFFFFFFFF"},
        {0x123456789AB, L"", L"0x123456789AB"},
        {0xFFFFFFFFFFFFFFFF, L"", L"0xFFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        if (!c.hex32.empty()) {
            EXPECT_EQ(CTimLib::FormatHex32(static_cast<uint32_t>(c.value)), c.hex32);
        }
        EXPECT_EQ(CTimLib::FormatHex64(c.value), c.hex64);
    }
}

// ----------------------------------------------------------------- lines

TEST(TimLibLineTest, GetFieldValue)
{
    struct Case {
        std::wstring name;
        std::wstring line;
        bool found;
        uint32_t value;
    };
    const std::vector<Case> cases = {
        {L"ADDRESS", L"ADDRESS = 0x10 ; base", true, 16},
        {L"ADDRESS", L"ADDRESS=12", true, 12},
        {L"ADDRESS", L"ADDRESS = 010", true, 8},
        {L"ADDRESS", L"ADDRESS =\t\n 0", true, 0},
        {L"ADDRESS", L"ADDRESS = \r 5", true, 5},  // '\r' is not skipped, then trimmed
        {L"ADDRESS", L"; ADDRESS = 1", false, 0},
        {L"ADDRESS", L"ADDRESS =", false, 0},
        {L"ADDRESS", L"ADDRESS = \t\n", false, 0},
        {L"ADDRESS", L"ADDRESS", false, 0},
        {L"ADDRESS", L"SIZE = 4", false, 0},
        {L"ADDRESS", L"address = 4", false, 0},
        {L"ADDRESS", L"", false, 0},
        // The value is read from the index of the name's length, so a
        // longer name containing this one matches.
        {L"REQUEST", L"REQUEST_TYPE = 5", true, 0},
        {L"SDRAM_S_tRC", L"SDRAM_S_tRCD = 0x5", true, 0xD},
        {L"SIZE", L"MAX_SIZE = 7", true, 0},
    };
    for (const Case& c : cases) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(CTimLib::GetFieldValue(c.name, c.line, value), c.found) << Show(c.line);
        EXPECT_EQ(value, c.value) << Show(c.line);
    }
}

TEST(TimLibLineTest, SplitNameValue)
{
    struct Case {
        std::wstring line;
        bool split;
        std::wstring name;
        std::wstring value;
    };
    const std::vector<Case> cases = {
        {L"Size = 0x10 ; bytes", true, L"Size", L"0x10 ; bytes"},
        {L"=5", true, L"", L"5"},
        {L"A==B", true, L"A", L"=B"},
        {L"A =", true, L"A", L""},
        {L" \tName\t=\r value \n", true, L"Name", L"value"},
        {L"Key = a ; b = c", true, L"Key", L"a ; b = c"},
        {L"NoEquals", false, L"old name", L"old value"},
        {L"; A = 1", false, L"old name", L"old value"},
        {L"", false, L"old name", L"old value"},
    };
    for (const Case& c : cases) {
        std::wstring name = L"old name";
        std::wstring value = L"old value";
        EXPECT_EQ(CTimLib::SplitNameValue(name, value, c.line), c.split) << Show(c.line);
        EXPECT_EQ(name, c.name) << Show(c.line);
        EXPECT_EQ(value, c.value) << Show(c.line);
    }
}

TEST(TimLibLineTest, ReadNonEmptyLineReadsUntilTheInputRunsOut)
{
    struct Case {
        std::wstring input;
        std::vector<std::wstring> lines;  // one per call while the stream stays good
    };
    const std::vector<Case> cases = {
        {L"", {L""}},
        {L"\n\n\n A \n", {L"A", L""}},
        {L"a\n\n  b  \nc", {L"a", L"b", L"c"}},  // a last line without line feed
        {L" \n\t\r\n", {L""}},
        {L"a\r\n \r\n", {L"a", L""}},
        {L"\v\fx\n", {L"x", L""}},
    };
    for (const Case& c : cases) {
        std::wistringstream stream(c.input);
        std::vector<std::wstring> lines;
        std::wstring line = L"previous";
        while (stream.good() && lines.size() <= c.lines.size()) {
            EXPECT_EQ(&CTimLib::ReadNonEmptyLine(stream, line), &stream);
            lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines) << Show(c.input);
        EXPECT_TRUE(stream.eof()) << Show(c.input);
    }
}

TEST(TimLibLineTest, ReadNonEmptyLineLastLineWithoutLineFeed)
{
    std::wistringstream stream(L"\n last ");
    std::wstring line;
    CTimLib::ReadNonEmptyLine(stream, line);
    EXPECT_EQ(line, L"last");
    EXPECT_TRUE(stream.eof());
    EXPECT_FALSE(stream.fail());
}

TEST(TimLibLineTest, ReadNonEmptyLineKeepsTheLineOfAStreamThatIsNotGood)
{
    for (std::ios_base::iostate state : {std::ios_base::eofbit, std::ios_base::failbit, std::ios_base::badbit}) {
        std::wistringstream stream(L"text\n");
        stream.setstate(state);
        std::wstring line = L"previous";
        CTimLib::ReadNonEmptyLine(stream, line);
        EXPECT_EQ(line, L"previous") << state;
    }
}

// ----------------------------------------------------------------- trims

TEST(TimLibTrimTest, TrimRemovesTheSixBlanksAtBothEnds)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L" \t\n\v\f\rabc \t\n\v\f\r", L"abc"},
        {L"\rabc\t", L"abc"},
        {L"a b", L"a b"},
        {L"", L""},
        {L" \t ", L""},
        {L"\u00A0a\u00A0", L"\u00A0a\u00A0"},  // no blank outside ASCII
    };
    for (const auto& c : cases) {
        std::wstring text = c.first;
        CTimLib::Trim(text);
        EXPECT_EQ(text, c.second) << Show(c.first);
    }
}

TEST(TimLibTrimTest, TrimInPlaceAndTrimTextUseTheirOwnCharacterSets)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"  abc  ", L"abc"},
        {L"\n abc \r\n", L"abc"},
        {L"\rabc", L"\rabc"},   // a carriage return at the start stays
        {L"abc\t", L"abc\t"},   // a tab at the end stays
        {L"\tabc\r", L"\tabc"},
        {L"\v x \f", L"\v x \f"},
        {L"a", L"a"},
        {L"", L""},
        {L" \n ", L""},
        {L" \n \r", L"\r"},     // the end never steps over the new start
        {L"\r\n", L"\r"},
    };
    for (const auto& c : cases) {
        std::vector<wchar_t> buffer(c.first.begin(), c.first.end());
        buffer.push_back(L'\0');
        const wchar_t* start = TrimInPlace(buffer.data());
        ASSERT_GE(start, buffer.data());
        ASSERT_LE(start, buffer.data() + c.first.size());
        EXPECT_EQ(std::wstring(start), c.second) << Show(c.first);

        std::wstring text = c.first;
        TrimText(text);
        EXPECT_EQ(text, c.second) << Show(c.first);
    }
    EXPECT_EQ(TrimInPlace(nullptr), nullptr);
}

TEST(TimLibTrimTest, TrimTextKeepsLongTexts)
{
    const std::wstring body = L"x" + std::wstring(5000, L'a') + L"\ty";
    std::wstring text = L" \n " + body + L" \r\n";
    TrimText(text);
    EXPECT_EQ(text, body);
}

// -------------------------------------------------------------- brackets

TEST(TimLibBracketTest, RemoveAngleBrackets)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"<0x1, 0x2>", L"0x1, 0x2"},
        {L"a<b>c<d>", L"abc<d>"},
        {L"x>y<z", L"xyz"},
        {L"><", L""},
    };
    for (const auto& c : cases) {
        std::wstring text = c.first;
        CTimLib::RemoveAngleBrackets(text);
        EXPECT_EQ(text, c.second) << Show(c.first);
    }
    for (const std::wstring& bad : {std::wstring(L"0x1, 0x2>"), std::wstring(L"<0x1"), std::wstring()}) {
        std::wstring text = bad;
        EXPECT_THROW(CTimLib::RemoveAngleBrackets(text), std::out_of_range) << Show(bad);
        EXPECT_EQ(text, bad);
    }
}

TEST(TimLibBracketTest, SplitAtClosingBracket)
{
    struct Case {
        std::wstring input;
        std::wstring text;
        std::wstring comment;
    };
    const std::vector<Case> cases = {
        {L"<0x1, 0x2> ; set clock", L"<0x1, 0x2>", L" set clock"},
        {L"<0x1>", L"<0x1>", L""},
        {L"<0x1> trailing", L"<0x1>", L" trailing"},
        {L"<a>; x ; y", L"<a>", L" x ; y"},
        {L"<a> > b", L"<a>", L" > b"},
        {L"no bracket ; c", L"", L" c"},
        {L"no bracket", L"", L"no bracket"},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring text = c.input;
        std::wstring comment = L"old";
        CTimLib::SplitAtClosingBracket(comment, text);
        EXPECT_EQ(text, c.text) << Show(c.input);
        EXPECT_EQ(comment, c.comment) << Show(c.input);
    }
}

// ------------------------------------------------------------------ tags

TEST(TimLibTagTest, TagToHexText)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"BIND", L"0x42494E44"},
        {L"USB", L"0x00555342"},
        {L"A", L"0x00000041"},
        {L"", L"0x00000000"},
        {L"BINDX", L"0x42494E44"},
        {L"\u0141BC", L"0x00414243"},  // only the low byte of each character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CTimLib::TagToHexText(c.first), c.second) << Show(c.first);
        std::wstring out = L"old";
        CTimLib::AssignTagAsHexText(c.first, out);
        EXPECT_EQ(out, c.second) << Show(c.first);
        std::wstring same = c.first;
        CTimLib::AssignTagAsHexText(same, same);
        EXPECT_EQ(same, c.second) << Show(c.first);
    }
}

TEST(TimLibTagTest, HexTextToTag)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"0x42494E44", L"BIND"},
        {L"0x55534200", L"USB"},
        {L"0x41420043", L"AB"},
        {L"0x41424344 ; c", L"ABCD"},
        {L"0xC4000000", L"\u00C4"},
        {L"0x00555342", L""},  // a leading zero byte ends the tag at once
        {L"0x41", L""},
        {L"0x0", L"0x0"},
        {L"0xZZ", L"0x0"},
        {L"0x100000000", L"0x0"},
        {L"0X42494E44", L"0x0"},
        {L" 0x42494E44", L"0x0"},
        {L"A0x41", L"0x0"},
        {L"42494E44", L"0x0"},
        {L"", L"0x0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CTimLib::HexTextToTag(c.first), c.second) << Show(c.first);
    }
    EXPECT_EQ(CTimLib::HexTextToTag(CTimLib::TagToHexText(L"BIND")), L"BIND");
    EXPECT_EQ(CTimLib::HexTextToTag(CTimLib::TagToHexText(L"USB")), L"");
}

TEST(TimLibTagTest, ToUpperText)
{
    struct Case {
        std::wstring input;
        bool keepLowerX;
        std::wstring returned;
        std::wstring argument;
    };
    const std::vector<Case> cases = {
        {L"0xabc", true, L"0xABC", L"0XABC"},
        {L"0xabc", false, L"0XABC", L"0XABC"},
        {L"0X1", true, L"0x1", L"0X1"},
        {L"ab0xcd", true, L"AB0XCD", L"AB0XCD"},
        {L"", true, L"", L""},
        {L"0", true, L"0", L"0"},
        {L"\u00e4z", false, L"\u00e4Z", L"\u00e4Z"},
    };
    for (const Case& c : cases) {
        std::wstring text = c.input;
        EXPECT_EQ(CTimLib::ToUpperText(text, c.keepLowerX), c.returned) << Show(c.input);
        EXPECT_EQ(text, c.argument) << Show(c.input);
        // The two forms that make no copy give the same text.
        std::wstring inPlace = c.input;
        CTimLib::MakeUpperText(inPlace, c.keepLowerX);
        EXPECT_EQ(inPlace, c.returned) << Show(c.input);
        if (c.keepLowerX) {
            EXPECT_TRUE(CTimLib::EqualsUpperText(c.input, c.returned)) << Show(c.input);
        }
    }
    // Only the very text ToUpperText(text, true) returns is equal.
    EXPECT_FALSE(CTimLib::EqualsUpperText(L"0xabc", L"0XABC"));
    EXPECT_FALSE(CTimLib::EqualsUpperText(L"0xabc", L"0xABCD"));
    EXPECT_FALSE(CTimLib::EqualsUpperText(L"0xabcd", L"0xABC"));
    EXPECT_FALSE(CTimLib::EqualsUpperText(L"0xabc", L"0xabc"));
    EXPECT_TRUE(CTimLib::EqualsUpperText(L"0x434c4b45", L"0x434C4B45"));
    EXPECT_FALSE(CTimLib::EqualsUpperText(L"x0", L"x0"));
    EXPECT_TRUE(CTimLib::EqualsUpperText(L"x0", L"X0"));
}

// ----------------------------------------------------------------- lists

TEST(TimLibListTest, TextListToWords)
{
    const TextList list = {L"0x10", L"7", L" 010 ", L"junk"};
    const uint32_t kUntouched = 0xDEADBEEF;
    struct Case {
        size_t capacity;
        bool converted;
    };
    for (const Case& c : {Case{3, false}, Case{4, true}, Case{5, true}}) {
        std::vector<uint32_t> words(6, kUntouched);
        EXPECT_EQ(CTimLib::TextListToWords(list, words.data(), c.capacity), c.converted) << c.capacity;
        const std::vector<uint32_t> expected = c.converted
            ? std::vector<uint32_t>{16, 7, 8, 0, kUntouched, kUntouched}
            : std::vector<uint32_t>(6, kUntouched);
        EXPECT_EQ(words, expected) << c.capacity;
    }
    EXPECT_TRUE(CTimLib::TextListToWords(TextList(), nullptr, 0));
}

TEST(TimLibListTest, WordsToTextList)
{
    const uint32_t words[] = {1, 0xABCDEF01, 2, 3};
    struct Case {
        size_t count;
        bool written;
        TextList expected;
    };
    const std::vector<Case> cases = {
        {0, true, {L"a", L"b", L"c"}},
        {2, true, {L"0x00000001", L"0xABCDEF01", L"c"}},
        {3, true, {L"0x00000001", L"0xABCDEF01", L"0x00000002"}},
        {4, false, {L"a", L"b", L"c"}},
    };
    for (const Case& c : cases) {
        TextList list = {L"a", L"b", L"c"};
        EXPECT_EQ(CTimLib::WordsToTextList(words, list, c.count), c.written) << c.count;
        EXPECT_EQ(list, c.expected) << c.count;
    }
}

TEST(TimLibListTest, ResizeTextList)
{
    struct Case {
        size_t initial;
        size_t count;
    };
    const std::vector<Case> cases = {{3, 1}, {1, 3}, {2, 2}, {0, 0}, {2, 0}, {0, 2}};
    for (const Case& c : cases) {
        for (bool preset : {false, true}) {
            TextList list;
            TextList expected;
            for (size_t i = 0; i < c.initial; ++i) {
                list.push_back(L"e" + std::to_wstring(i));
                if (i < c.count) {
                    expected.push_back(list.back());
                }
            }
            while (expected.size() < c.count) {
                expected.push_back(L"0x00000000");
            }
            bool changed = preset;
            EXPECT_TRUE(CTimLib::ResizeTextList(list, c.count, changed));
            EXPECT_EQ(list, expected) << c.initial << " -> " << c.count;
            EXPECT_EQ(changed, c.initial != c.count ? true : preset) << c.initial << " -> " << c.count;
        }
    }
}

}  // namespace

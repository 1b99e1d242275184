#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "common/platform/Console.h"
#include "common/platform/Format.h"

using platform::Format;

namespace {

struct FormatCase {
    const char* name;
    std::function<std::wstring()> produce;
    std::wstring expected;
};

}  // namespace

TEST(FormatTest, FormatsTheProgramsFormatTexts)
{
    const std::wstring path = L"/tmp/a b/c.blf";
    const FormatCase cases[] = {
        {"wide text", [&] { return Format(L"Open file failed:%s\n", path); }, L"Open file failed:/tmp/a b/c.blf\n"},
        {"wide literal", [] { return Format(L"%s:%s", L"Create Folder Failed", L"No such file\n"); },
         L"Create Folder Failed:No such file\n"},
        {"narrow text decoded", [] { return Format(L"[%s]", "caf\xc3\xa9"); }, L"[caf\u00e9]"},
        {"hex32", [] { return Format(L"0x%08X", 0x1Fu); }, L"0x0000001F"},
        {"hex32 negative int", [] { return Format(L"0x%08X", -1); }, L"0xFFFFFFFF"},
        {"hex32 reads 32 bits of a wider value", [] { return Format(L"0x%08X", uint64_t(0x123456789ULL)); },
         L"0x23456789"},
        {"I64X ten digits", [] { return Format(L"0x%010I64X", uint64_t(0x1F)); }, L"0x000000001F"},
        {"I64X wider than ten", [] { return Format(L"0x%010I64X", uint64_t(0x123456789ABULL)); },
         L"0x123456789AB"},
        {"I64X full", [] { return Format(L"%I64X", uint64_t(0xFFFFFFFFFFFFFFFFULL)); }, L"FFFFFFFFFFFFFFFF"},
        {"ll", [] { return Format(L"%lld|%llu", -5LL, 18446744073709551615ULL); }, L"-5|18446744073709551615"},
        {"lower hex", [] { return Format(L"0x%x", 0xABCu); }, L"0xabc"},
        {"decimal", [] { return Format(L"%d byte.", 12); }, L"12 byte."},
        {"negative decimal", [] { return Format(L"%d", -42); }, L"-42"},
        {"unsigned of negative", [] { return Format(L"%u", -1); }, L"4294967295"},
        {"i", [] { return Format(L"%i", 7); }, L"7"},
        {"wide char", [] { return Format(L"option -%c is", L'x'); }, L"option -x is"},
        {"width and left", [] { return Format(L"[%5d][%-5d]", 42, 42); }, L"[   42][42   ]"},
        {"plus and space", [] { return Format(L"[%+d][% d]", 3, 3); }, L"[+3][ 3]"},
        {"precision on integer", [] { return Format(L"[%.4d][%08.3d]", 7, 7); }, L"[0007][     007]"},
        {"alternate hex", [] { return Format(L"%#x %#X %#x", 255, 255, 0); }, L"0xff 0XFF 0"},
        {"octal", [] { return Format(L"%o %#o", 8, 8); }, L"10 010"},
        {"string width and precision", [] { return Format(L"[%6s][%-6s][%.2s]", L"ab", L"ab", L"abcdef"); },
         L"[    ab][ab    ][ab]"},
        {"star width", [] { return Format(L"[%*d]", 4, 1); }, L"[   1]"},
        {"percent", [] { return Format(L"100%%"); }, L"100%"},
        {"short", [] { return Format(L"%hd", 65535); }, L"-1"},
        {"bool and char", [] { return Format(L"%d %d", true, 'A'); }, L"1 65"},
        {"double", [] { return Format(L"%.2f", 1.5); }, L"1.50"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(c.produce(), c.expected) << c.name;
    }
}

// The integer and text conversions against the C library's own, over
// every combination of flags, width and precision with values at the edges.
TEST(FormatTest, IntegersAndTextsAsTheCLibraryFormatsThem)
{
    const char* const flags[] = {"", "-", "+", " ", "#", "0", "-#", "+0", "#0", " 0"};
    const char* const widths[] = {"", "1", "6", "25"};
    const char* const precisions[] = {"", ".0", ".3", ".24"};
    const char conversions[] = {'d', 'i', 'u', 'x', 'X', 'o'};
    const long long values[] = {0, 1, -1, 8, 255, -2147483647LL - 1, 2147483647, 4294967295LL, 0x123456789LL};
    for (const char* flag : flags) {
        for (const char* width : widths) {
            for (const char* precision : precisions) {
                for (const char conversion : conversions) {
                    const std::string format = std::string("[%") + flag + width + precision + conversion + "]";
                    const std::wstring wideFormat(format.begin(), format.end());
                    for (const long long value : values) {
                        // A 32-bit conversion reads the low 32 bits.
                        const int narrowed = static_cast<int>(static_cast<uint32_t>(value));
                        char expected[128];
                        std::snprintf(expected, sizeof expected, format.c_str(), narrowed);
                        const std::wstring got = Format(wideFormat.c_str(), value);
                        EXPECT_EQ(std::string(got.begin(), got.end()), expected) << format << " of " << value;
                    }
                }
            }
            const std::string format = std::string("[%") + flag + width + ".2s|%" + flag + width + "s]";
            const std::wstring wideFormat(format.begin(), format.end());
            char expected[128];
            std::snprintf(expected, sizeof expected, format.c_str(), "text", "text");
            const std::wstring got = Format(wideFormat.c_str(), L"text", L"text");
            EXPECT_EQ(std::string(got.begin(), got.end()), expected) << format;
        }
    }
}

TEST(FormatTest, WrongOrMissingArgumentsNeverCrash)
{
    EXPECT_EQ(Format(L"a%sb"), L"ab");                 // missing argument
    EXPECT_EQ(Format(L"%s", 17), L"17");               // number for a text
    EXPECT_EQ(Format(L"%d", L"text"), L"0");           // text for a number
    EXPECT_EQ(Format(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
    EXPECT_EQ(Format(L"tail %"), L"tail %");           // unfinished conversion
    EXPECT_EQ(Format(L"%y!", 1), L"%y!");              // unknown conversion shown as written
    EXPECT_EQ(Format(L"%n|%d", 1, 2), L"|2");          // %n writes nothing
    EXPECT_EQ(Format(nullptr), L"");
}

// Lines are made one after another in one text of the thread's: each holds
// only its own characters, after a longer line, a line of a text argument
// past the room kept, an unfinished conversion or no format at all.
TEST(FormatTest, LinesMadeOneAfterAnotherHoldOnlyTheirOwnText)
{
    const std::wstring huge(100000, L'h');
    struct Case {
        const wchar_t* format;
        std::wstring arg;
    };
    const Case cases[] = {
        {L"first line %s\n", L"with a text"}, {L"x", L""}, {L"[%s]", huge}, {L"%s", L"ab"},
        {L"tail %", L""},                      {nullptr, L""}, {L"%d%%", L""},
    };
    for (const Case& c : cases) {
        const platform::FormatArg args[] = {platform::MakeFormatArg(c.arg), platform::FormatArg()};
        EXPECT_EQ(platform::FormatLine(c.format, args, 1), Format(c.format, c.arg))
            << (c.format ? testing::PrintToString(std::wstring(c.format)) : "null");
    }
}

TEST(FormatTest, AppendedLinesFollowTheTextBeforeThem)
{
    // Each appended part reads as its own Format; what stood before stays.
    std::wstring text = L"[Flash_Properties]\n";
    std::wstring expected = text;
    const std::wstring huge(5000, L'v');
    platform::AppendFormat(text, L"Flash_Block_Size = 0x%x\n", 0x20000u);
    expected += Format(L"Flash_Block_Size = 0x%x\n", 0x20000u);
    platform::AppendFormat(text, L"%d", -7);
    expected += L"-7";
    platform::AppendFormat(text, L"%s|%5s|", huge, L"ab");
    expected += huge + L"|   ab|";
    platform::AppendFormat(text, L"tail %");
    expected += Format(L"tail %");
    EXPECT_EQ(text, expected);
    // The replacing form still replaces.
    const platform::FormatArg args[] = {platform::MakeFormatArg(1), platform::FormatArg()};
    platform::FormatArgsInto(text, L"%d", args, 1);
    EXPECT_EQ(text, L"1");
}

TEST(FormatTest, CutTextKeepsABuffersWorth)
{
    const std::wstring longText(2000, L'a');
    bool cut = false;
    EXPECT_EQ(platform::CutText(longText, platform::kTextBufferChars, &cut).size(), 1023u);
    EXPECT_TRUE(cut);
    EXPECT_EQ(platform::CutText(L"short", platform::kTextBufferChars, &cut), L"short");
    EXPECT_FALSE(cut);
    const std::wstring exact(1023, L'b');
    EXPECT_EQ(platform::CutText(exact, platform::kTextBufferChars, &cut), exact);
    EXPECT_FALSE(cut);
}

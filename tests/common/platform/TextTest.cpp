#include <gtest/gtest.h>

#include <string>

#include "common/platform/Text.h"

using platform::DecodeText;
using platform::EncodeText;

TEST(TextTest, DecodesUtf8)
{
    EXPECT_EQ(DecodeText(std::string("abc")), L"abc");
    EXPECT_EQ(DecodeText(std::string("\xc3\xa9")), L"\u00e9");
    EXPECT_EQ(DecodeText(std::string("\xe2\x82\xac")), L"\u20ac");
    EXPECT_EQ(DecodeText(std::string("\xf0\x9f\x98\x80")), std::wstring(1, static_cast<wchar_t>(0x1F600)));
    EXPECT_EQ(DecodeText(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(TextTest, UndecodableBytesSurviveTheRoundTrip)
{
    const std::string samples[] = {
        "\xff\xfe",                 // never valid
        "\xc3",                     // cut sequence at the end
        "\xc3(",                    // bad continuation
        "\xc0\xaf",                 // overlong
        "\xed\xa0\x80",             // encoded surrogate
        "\xf4\x90\x80\x80",         // past U+10FFFF
        "ok \x80 mixed \xe2\x82\xac \xe2\x82",
    };
    for (const std::string& bytes : samples) {
        const std::wstring text = DecodeText(bytes);
        EXPECT_EQ(EncodeText(text), bytes);
    }
    EXPECT_EQ(DecodeText(std::string("\xff")), std::wstring(1, static_cast<wchar_t>(0xDCFF)));
}

TEST(TextTest, EveryByteValueRoundTrips)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(EncodeText(DecodeText(all)), all);
}

// Plain ASCII is decoded eight bytes and encoded four characters at a
// time: a character of several bytes, or a byte that is not text, at any
// place among ASCII bytes.
TEST(TextTest, CodesAnyMixOfAsciiRunsAndOtherBytes)
{
    const std::string others[] = {"\xe2\x82\xac", "\xff", "\xc3"};
    const std::wstring decoded[] = {L"\u20ac", std::wstring(1, static_cast<wchar_t>(0xDCFF)),
                                    std::wstring(1, static_cast<wchar_t>(0xDCC3))};
    for (size_t k = 0; k < 3; ++k) {
        for (size_t before = 0; before <= 17; ++before) {
            const std::string bytes = std::string(before, 'a') + others[k] + std::string(17 - before, 'b');
            const std::wstring expected = std::wstring(before, L'a') + decoded[k] + std::wstring(17 - before, L'b');
            EXPECT_EQ(DecodeText(bytes), expected) << k << " after " << before;
            std::wstring stoppable;
            ASSERT_TRUE(platform::DecodeTextUnlessStopped(bytes.data(), bytes.size(), stoppable));
            EXPECT_EQ(stoppable, expected) << k << " after " << before;
            EXPECT_EQ(EncodeText(expected), bytes) << k << " after " << before;
        }
    }
    // What is no character at all is written as '?', wherever it stands.
    for (const wchar_t none : {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)}) {
        for (size_t before = 0; before <= 9; ++before) {
            const std::wstring text = std::wstring(before, L'a') + none + std::wstring(9 - before, L'b');
            EXPECT_EQ(EncodeText(text), std::string(before, 'a') + "?" + std::string(9 - before, 'b')) << before;
        }
    }
}

TEST(TextTest, UpperCaseAndBlanksAreAsciiOnly)
{
    EXPECT_EQ(platform::ToUpperAscii(L'a'), L'A');
    EXPECT_EQ(platform::ToUpperAscii(L'z'), L'Z');
    EXPECT_EQ(platform::ToUpperAscii(L'\u00e9'), L'\u00e9');
    EXPECT_EQ(platform::ToUpperAscii(L'1'), L'1');
    for (wchar_t c : std::wstring(L" \t\n\v\f\r")) EXPECT_TRUE(platform::IsBlank(c));
    EXPECT_FALSE(platform::IsBlank(L'\u00a0'));
    EXPECT_FALSE(platform::IsBlank(L'x'));
    EXPECT_TRUE(platform::EqualsIgnoringAsciiCase(L"Nlt07x", L"NLT07X"));
    EXPECT_FALSE(platform::EqualsIgnoringAsciiCase(L"\u00e9", L"\u00c9"));
    EXPECT_FALSE(platform::EqualsIgnoringAsciiCase(L"NLT07", L"NLT07X"));
    EXPECT_TRUE(platform::EqualsIgnoringAsciiCase(L"", L""));
}

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

TEST(TextTest, UpperCaseAndBlanksAreAsciiOnly)
{
    EXPECT_EQ(platform::ToUpperAscii(L'a'), L'A');
    EXPECT_EQ(platform::ToUpperAscii(L'z'), L'Z');
    EXPECT_EQ(platform::ToUpperAscii(L'\u00e9'), L'\u00e9');
    EXPECT_EQ(platform::ToUpperAscii(L'1'), L'1');
    for (wchar_t c : std::wstring(L" \t\n\v\f\r")) EXPECT_TRUE(platform::IsBlank(c));
    EXPECT_FALSE(platform::IsBlank(L'\u00a0'));
    EXPECT_FALSE(platform::IsBlank(L'x'));
}

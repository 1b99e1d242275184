#include "common/platform/Scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/platform/Text.h"

namespace {

using platform::ScanBase;
using platform::ScanInteger;

struct ScanCase {
    std::wstring text;
    ScanBase base;
    unsigned bits;
    uint64_t expected;
};

std::string Describe(const ScanCase& c)
{
    const char* base = c.base == ScanBase::Hex ? "hex" : c.base == ScanBase::Auto ? "auto" : "decimal";
    std::string text;
    for (wchar_t ch : c.text) {
        text += (ch >= 0x20 && ch < 0x7F) ? static_cast<char>(ch) : '?';
    }
    return "'" + text + "' " + base + " " + std::to_string(c.bits);
}

TEST(ScanTest, ConvertsByTheFormattedInputRules)
{
    const std::vector<ScanCase> cases = {
        // Nothing to convert.
        {L"", ScanBase::Hex, 32, 0},
        {L"   ", ScanBase::Auto, 32, 0},
        {L"x10", ScanBase::Hex, 32, 0},
        {L"0x", ScanBase::Hex, 32, 0},
        {L"0xg", ScanBase::Auto, 32, 0},
        {L"- 1", ScanBase::Decimal, 32, 0},
        {L"--1", ScanBase::Auto, 32, 0},
        {L"Image 0x10", ScanBase::Hex, 32, 0},
        // Hexadecimal, with and without prefix, stopping at a non-digit.
        {L"1F", ScanBase::Hex, 32, 0x1F},
        {L"0x1F", ScanBase::Hex, 32, 0x1F},
        {L"0X1f", ScanBase::Hex, 32, 0x1F},
        {L" \t\n\v\f\r1F", ScanBase::Hex, 32, 0x1F},
        {L"12 0x5", ScanBase::Hex, 32, 0x12},
        {L"A0x", ScanBase::Hex, 32, 0xA0},
        {L"abG", ScanBase::Hex, 32, 0xAB},
        // Automatic base.
        {L"10", ScanBase::Auto, 32, 10},
        {L"010", ScanBase::Auto, 32, 8},
        {L"09", ScanBase::Auto, 32, 0},
        {L"019", ScanBase::Auto, 32, 1},
        {L"0", ScanBase::Auto, 32, 0},
        {L"0x1A", ScanBase::Auto, 32, 0x1A},
        {L"0X1a", ScanBase::Auto, 32, 0x1A},
        {L"1A", ScanBase::Auto, 32, 1},
        {L"+10", ScanBase::Auto, 32, 10},
        {L"-010", ScanBase::Auto, 32, 0xFFFFFFF8},
        // Decimal only.
        {L"0x10", ScanBase::Decimal, 32, 0},
        {L"010", ScanBase::Decimal, 32, 10},
        {L"12a", ScanBase::Decimal, 32, 12},
        // Sign: two's complement in the result width.
        {L"-1", ScanBase::Hex, 32, 0xFFFFFFFF},
        {L"-1", ScanBase::Auto, 64, 0xFFFFFFFFFFFFFFFF},
        {L"-0x10", ScanBase::Hex, 32, 0xFFFFFFF0},
        {L" -0x10", ScanBase::Auto, 64, 0xFFFFFFFFFFFFFFF0},
        // Wrapping, never saturating.
        {L"0xFFFFFFFFFF", ScanBase::Hex, 32, 0xFFFFFFFF},
        {L"0xFFFFFFFFFF", ScanBase::Hex, 64, 0xFFFFFFFFFF},
        {L"0x100000000", ScanBase::Hex, 32, 0},
        {L"0x123456789", ScanBase::Auto, 32, 0x23456789},
        {L"4294967296", ScanBase::Decimal, 32, 0},
        {L"4294967297", ScanBase::Auto, 32, 1},
        {L"18446744073709551617", ScanBase::Decimal, 64, 1},
        {L"0x1FFFFFFFFFFFFFFFF", ScanBase::Hex, 64, 0xFFFFFFFFFFFFFFFF},
        {L"0x10000000000000005", ScanBase::Auto, 64, 5},
        {L"-4294967297", ScanBase::Decimal, 32, 0xFFFFFFFF},
        // Only the six C blanks and ASCII digits count.
        {L"\u00A01", ScanBase::Auto, 32, 0},
        {L"\u0661", ScanBase::Decimal, 32, 0},
        {L"1\u0662", ScanBase::Decimal, 32, 1},
    };
    for (const ScanCase& c : cases) {
        EXPECT_EQ(ScanInteger(c.text, c.base, c.bits), c.expected) << Describe(c);
        EXPECT_EQ(ScanInteger(c.text.c_str(), c.text.size(), c.base, c.bits), c.expected) << Describe(c);
    }
}

TEST(ScanTest, NeverReadsPastTheGivenLength)
{
    struct BoundedCase {
        std::wstring text;
        size_t length;
        ScanBase base;
        uint64_t expected;
    };
    const std::vector<BoundedCase> cases = {
        {L"123456", 3, ScanBase::Decimal, 123},
        {L"0x1F", 1, ScanBase::Auto, 0},
        {L"0x1F", 2, ScanBase::Hex, 0},
        {L"0x1F", 3, ScanBase::Hex, 1},
        {L"  -5", 3, ScanBase::Decimal, 0},
        {L"  -5", 0, ScanBase::Decimal, 0},
    };
    for (const BoundedCase& c : cases) {
        // An unterminated copy, so a sanitised build catches any read
        // beyond the length.
        std::vector<wchar_t> buffer(c.text.begin(), c.text.begin() + c.length);
        EXPECT_EQ(ScanInteger(buffer.data(), buffer.size(), c.base, 64), c.expected)
            << "length " << c.length;
    }
    EXPECT_EQ(ScanInteger(nullptr, 0, ScanBase::Auto, 32), 0u);
}

}  // namespace

TEST(ScanTest, ToIntReadsDecimalAndSaturates)
{
    struct Case {
        const wchar_t* text;
        int value;
    };
    const Case cases[] = {
        {L"12", 12},
        {L" \t-7x", -7},
        {L"+5", 5},
        {L"", 0},
        {L"abc", 0},
        {L"- 3", 0},
        {L"0x10", 0},
        {L"2147483647", 2147483647},
        {L"2147483648", 2147483647},
        {L"99999999999999999999999", 2147483647},
        {L"-2147483648", -2147483647 - 1},
        {L"-99999999999999999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToInt(c.text), c.value) << platform::EncodeText(c.text);
    }
}

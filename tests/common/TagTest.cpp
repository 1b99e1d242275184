#include "common/Tag.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/TimLib.h"

namespace {

struct TagCase {
    uint32_t value;     // TagValue of the tag
    uint32_t expected;  // the identifier as the package formats define it
    const wchar_t* text;  // the same tag for the run-time conversion; null where it has no printable form
};

TEST(TagTest, TagValueIsTheIdentifierTheFormatsDefine)
{
    const TagCase cases[] = {
        {TagValue("BIND"), 0x42494E44u, L"BIND"},
        {TagValue("Rsm2"), 0x52736D32u, L"Rsm2"},
        {TagValue("USB"), 0x00555342u, L"USB"},  // shorter tags are right-aligned
        {TagValue("A"), 0x00000041u, L"A"},
        {TagValue("USB\0"), 0x55534200u, nullptr},  // an embedded zero counts as a character
        {TagValue("USB\x09"), 0x55534209u, nullptr},
        {TagValue("mB\x94N"), 0x6D42944Eu, nullptr},  // a byte above 0x7F is not sign-extended
    };
    for (const TagCase& c : cases) {
        EXPECT_EQ(c.value, c.expected) << std::hex << c.expected;
        if (c.text != nullptr) {
            EXPECT_EQ(CTimLib::FormatHex32(c.value), CTimLib::TagToHexText(c.text)) << std::hex << c.expected;
        }
    }
}

TEST(TagTest, HexTextValueReadsOnlyPrefixedHexadecimalOfEightDigits)
{
    const std::pair<const wchar_t*, uint32_t> cases[] = {
        {L"0x434c4b45", 0x434C4B45u}, {L"0x545A4944", 0x545A4944u}, {L"0X41", 0x41u},
        {L"0xFFFFFFFF", 0xFFFFFFFFu}, {L"0x123456789", 0},          {L"0x", 0},
        {L"0xZZ", 0},                 {L"0x41 ", 0},                {L"41", 0},
        {L"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexTextValue(c.first), c.second) << std::wstring(c.first).size();
    }
}

}  // namespace

// Four-character tags ("BIND", "USB") as the 32-bit identifiers they stand
// for, so that tables can spell a tag instead of its hexadecimal value.
#pragma once

#include <cstddef>
#include <cstdint>

// The value of a tag of up to four characters: the first character in the
// most significant byte the tag uses, a shorter tag right-aligned ("USB" is
// 0x00555342). Every character of the literal counts, an embedded "\0" too,
// so "USB\x01" is 0x55534201.
template <size_t N>
constexpr uint32_t TagValue(const char (&tag)[N])
{
    static_assert(N >= 2 && N <= 5, "a tag has one to four characters");
    uint32_t value = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
        value = (value << 8) | static_cast<unsigned char>(tag[i]);
    }
    return value;
}

// The value of a "0x"-prefixed hexadecimal identifier text of up to eight
// digits in either case; 0 for a text that is not one. For checking texts that must stay
// spelled as they are against the tag they stand for.
constexpr uint32_t HexTextValue(const wchar_t* text)
{
    if (text[0] != L'0' || (text[1] != L'x' && text[1] != L'X') || text[2] == 0) {
        return 0;
    }
    uint32_t value = 0;
    for (const wchar_t* c = text + 2; *c != 0; ++c) {
        if (c - text > 9) {
            return 0;
        }
        uint32_t digit = 0;
        if (*c >= L'0' && *c <= L'9') {
            digit = static_cast<uint32_t>(*c - L'0');
        } else if (*c >= L'a' && *c <= L'f') {
            digit = static_cast<uint32_t>(*c - L'a' + 10);
        } else if (*c >= L'A' && *c <= L'F') {
            digit = static_cast<uint32_t>(*c - L'A' + 10);
        } else {
            return 0;
        }
        value = (value << 4) | digit;
    }
    return value;
}

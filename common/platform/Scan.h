// The program's own reader for integer value texts. It follows the C
// library's formatted-input integer conversions ("%x", "%i", "%d" and their
// 64-bit forms) on wide text, except that digits beyond the width of the
// result wrap modulo 2^bits: glibc's swscanf and wcstoul saturate instead,
// which would turn an over-long value text into all ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class ScanBase {
    Hex,      // "%x": optional "0x"/"0X" before hexadecimal digits
    Auto,     // "%i": "0x"/"0X" selects hexadecimal, a leading 0 octal, else decimal
    Decimal,  // "%d"
};

// Reads at most length characters of text. It skips leading white space
// (the six C blanks), takes an optional '+' or '-' and whatever prefix the
// base permits, then consumes digits until one does not belong to the base.
// A '-' negates in two's complement. The number is reduced modulo 2^bits
// (bits is 32 or 64; anything above 64 is taken as 64); no digits give 0.
uint64_t ScanInteger(const wchar_t* text, size_t length, ScanBase base, unsigned bits);
uint64_t ScanInteger(const std::wstring& text, ScanBase base, unsigned bits);

// Moves pos past the white space (the six C blanks) and an optional '+' or
// '-' at pos in text; true when the sign was '-'. Every integer conversion
// starts this way.
bool SkipBlanksAndSign(const std::wstring& text, size_t& pos);
bool SkipBlanksAndSign(const wchar_t* text, size_t length, size_t& pos);

// Decimal text to int: blanks, a sign, then digits up to the first other
// character; a value below INT_MIN or above INT_MAX gives that limit, and
// text with no digits gives 0.
int ToInt(const std::wstring& text);

}  // namespace platform

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

// Reads at most length characters of text: leading white space (the six C
// blanks) is skipped, then an optional '+' or '-', the prefix the base
// allows, and digits up to the first character that is not a digit of the
// base. A '-' gives the two's complement. The result is the number modulo
// 2^bits (bits is 32 or 64; a larger value counts as 64); 0 when no digit
// converts.
uint64_t ScanInteger(const wchar_t* text, size_t length, ScanBase base, unsigned bits);
uint64_t ScanInteger(const std::wstring& text, ScanBase base, unsigned bits);

// Moves pos past the white space (the six C blanks) and an optional '+' or
// '-' at pos in text; true when the sign was '-'. Every integer conversion
// starts this way.
bool SkipBlanksAndSign(const std::wstring& text, size_t& pos);
bool SkipBlanksAndSign(const wchar_t* text, size_t length, size_t& pos);

// The C runtime's decimal conversion to int (_wtoi): blanks, a sign, then
// digits up to the first other character; a value out of range saturates.
int ToInt(const std::wstring& text);

}  // namespace platform

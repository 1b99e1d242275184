#include "common/platform/Scan.h"

#include "common/platform/Text.h"

namespace platform {

namespace {

// Value of c as a digit of radix, or -1 when it is none.
int DigitValue(wchar_t c, unsigned radix)
{
    int value;
    if (c >= L'0' && c <= L'9') {
        value = c - L'0';
    } else if (c >= L'a' && c <= L'f') {
        value = c - L'a' + 10;
    } else if (c >= L'A' && c <= L'F') {
        value = c - L'A' + 10;
    } else {
        return -1;
    }
    return static_cast<unsigned>(value) < radix ? value : -1;
}

bool IsHexPrefix(const wchar_t* text, size_t pos, size_t length)
{
    return pos + 1 < length && text[pos] == L'0' && (text[pos + 1] == L'x' || text[pos + 1] == L'X');
}

}  // namespace

bool SkipBlanksAndSign(const wchar_t* text, size_t length, size_t& pos)
{
    while (pos < length && IsBlank(text[pos])) {
        ++pos;
    }
    if (pos < length && (text[pos] == L'+' || text[pos] == L'-')) {
        return text[pos++] == L'-';
    }
    return false;
}

bool SkipBlanksAndSign(const std::wstring& text, size_t& pos)
{
    return SkipBlanksAndSign(text.data(), text.size(), pos);
}

int ToInt(const std::wstring& text)
{
    size_t pos = 0;
    const bool negative = SkipBlanksAndSign(text, pos);
    // One past INT_MAX is enough to know the result saturates either way.
    constexpr long long kLimit = 2147483648LL;
    long long value = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        value = value * 10 + (text[pos] - L'0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > kLimit - 1) {
        value = kLimit - 1;
    }
    return static_cast<int>(value);
}

uint64_t ScanInteger(const wchar_t* text, size_t length, ScanBase base, unsigned bits)
{
    if (text == nullptr) {
        return 0;
    }
    size_t pos = 0;
    const bool negative = SkipBlanksAndSign(text, length, pos);

    unsigned radix = 10;
    switch (base) {
    case ScanBase::Hex:
        radix = 16;
        if (IsHexPrefix(text, pos, length)) {
            pos += 2;
        }
        break;
    case ScanBase::Auto:
        if (IsHexPrefix(text, pos, length)) {
            radix = 16;
            pos += 2;
        } else if (pos < length && text[pos] == L'0') {
            // The leading 0 is itself an octal digit; it stays for the loop.
            radix = 8;
        }
        break;
    case ScanBase::Decimal:
        break;
    }

    // Unsigned arithmetic wraps modulo 2^64, and 2^32 divides 2^64, so
    // masking at the end gives the 32-bit wrap as well.
    uint64_t value = 0;
    for (; pos < length; ++pos) {
        const int digit = DigitValue(text[pos], radix);
        if (digit < 0) {
            break;
        }
        value = value * radix + static_cast<uint64_t>(digit);
    }
    if (negative) {
        value = 0 - value;
    }
    if (bits < 64) {
        value &= (uint64_t{1} << bits) - 1;
    }
    return value;
}

uint64_t ScanInteger(const std::wstring& text, ScanBase base, unsigned bits)
{
    return ScanInteger(text.data(), text.size(), base, bits);
}

}  // namespace platform

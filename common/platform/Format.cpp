#include "common/platform/Format.h"

#include <cstdio>
#include <cwchar>
#include <string_view>

#include "common/platform/Text.h"

namespace platform {

namespace {

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    int width = -1;
    int precision = -1;
    int bits = 32;  // width of the integer the conversion reads
    bool narrowText = false;
};

class ArgReader {
public:
    ArgReader(const FormatArg* args, size_t count) : m_Args(args), m_Count(count) {}
    // A missing argument reads as kNone, which formats as nothing.
    const FormatArg& Next()
    {
        static const FormatArg none;
        return m_Next < m_Count ? m_Args[m_Next++] : none;
    }

private:
    const FormatArg* m_Args;
    size_t m_Count;
    size_t m_Next = 0;
};

unsigned long long ArgAsUnsigned(const FormatArg& a)
{
    switch (a.kind) {
    case FormatArg::kSigned: return static_cast<unsigned long long>(a.s);
    case FormatArg::kUnsigned: return a.u;
    case FormatArg::kDouble: return static_cast<unsigned long long>(static_cast<long long>(a.d));
    case FormatArg::kPointer: return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(a.pointer));
    default: return 0;
    }
}

// The argument as the conversion would read it: the integer of the given
// width, sign-extended for signed conversions.
unsigned long long Narrow(unsigned long long v, int bits, bool isSigned, bool* negative)
{
    *negative = false;
    if (bits >= 64) {
        if (isSigned && static_cast<long long>(v) < 0) {
            *negative = true;
            return 0ULL - v;
        }
        return v;
    }
    const unsigned long long mask = (1ULL << bits) - 1;
    v &= mask;
    if (isSigned && (v >> (bits - 1)) != 0) {
        *negative = true;
        return ((~v) & mask) + 1;
    }
    return v;
}

void Pad(std::wstring& out, int count, wchar_t c)
{
    if (count > 0) out.append(static_cast<size_t>(count), c);
}

// Views, not copies: a layout read formats every key name it looks up, and
// a wide text of more than three characters is an allocation each time.
void EmitField(std::wstring& out, const Spec& spec, std::wstring_view prefix, std::wstring_view body,
               bool zeroPadAllowed)
{
    const int len = static_cast<int>(prefix.size() + body.size());
    const int fill = spec.width > len ? spec.width - len : 0;
    if (spec.left) {
        out += prefix;
        out += body;
        Pad(out, fill, L' ');
    } else if (spec.zero && zeroPadAllowed) {
        out += prefix;
        Pad(out, fill, L'0');
        out += body;
    } else {
        Pad(out, fill, L' ');
        out += prefix;
        out += body;
    }
}

void FormatInteger(std::wstring& out, const Spec& spec, wchar_t conv, const FormatArg& arg)
{
    const bool isSigned = conv == L'd' || conv == L'i';
    bool negative = false;
    unsigned long long v = Narrow(ArgAsUnsigned(arg), spec.bits, isSigned, &negative);

    unsigned base = 10;
    const wchar_t* digits = L"0123456789abcdef";
    if (conv == L'x' || conv == L'p') base = 16;
    if (conv == L'X') {
        base = 16;
        digits = L"0123456789ABCDEF";
    }
    if (conv == L'o') base = 8;

    // Filled from the end: 64 bits in octal are 22 digits, and one more
    // for the alternate form's leading zero.
    wchar_t written[24];
    wchar_t* const end = written + sizeof written / sizeof written[0];
    wchar_t* first = end;
    while (v != 0) {
        *--first = digits[v % base];
        v /= base;
    }
    const bool zeroValue = first == end;
    // A precision sets the least number of digits; "%.0d" of zero prints none.
    const size_t minDigits = spec.precision >= 0 ? static_cast<size_t>(spec.precision) : 1;
    const size_t count = static_cast<size_t>(end - first);
    const size_t leadingZeros = count < minDigits ? minDigits - count : 0;

    std::wstring_view prefix;
    if (isSigned) {
        if (negative) prefix = L"-";
        else if (spec.plus) prefix = L"+";
        else if (spec.space) prefix = L" ";
    }
    if (spec.alt && !zeroValue) {
        if (conv == L'x') prefix = L"0x";
        if (conv == L'X') prefix = L"0X";
    }
    // The alternate octal form starts with a zero digit, even "%#.0o" of 0.
    const bool octalZero = spec.alt && conv == L'o' && leadingZeros == 0;
    if (conv == L'p') prefix = L"0x";
    if (leadingZeros == 0) {
        if (octalZero) {
            *--first = L'0';
        }
        EmitField(out, spec, prefix, std::wstring_view(first, static_cast<size_t>(end - first)), spec.precision < 0);
        return;
    }
    // Only a precision pads with zeros, and it may be long.
    std::wstring body(leadingZeros, L'0');
    body.append(first, end);
    EmitField(out, spec, prefix, body, spec.precision < 0);
}

void FormatText(std::wstring& out, const Spec& spec, const FormatArg& arg)
{
    std::wstring_view body;
    std::wstring made;  // for what is not already a wide text
    switch (arg.kind) {
    case FormatArg::kWide:
        body = arg.wide ? std::wstring_view(arg.wide, arg.length) : std::wstring_view(L"(null)");
        break;
    case FormatArg::kNarrow:
        if (arg.narrow) made = DecodeText(arg.narrow, arg.length);
        else made = L"(null)";
        body = made;
        break;
    case FormatArg::kNone:
        break;
    default: {
        // A number handed to "%s" is shown as a number, never dereferenced.
        Spec number;
        FormatInteger(made, number, arg.kind == FormatArg::kSigned ? L'd' : L'u', arg);
        body = made;
        break;
    }
    }
    if (spec.precision >= 0 && body.size() > static_cast<size_t>(spec.precision)) {
        body = body.substr(0, static_cast<size_t>(spec.precision));
    }
    EmitField(out, spec, std::wstring_view(), body, false);
}

void FormatChar(std::wstring& out, const Spec& spec, const FormatArg& arg)
{
    std::wstring body;
    if (arg.kind == FormatArg::kWide || arg.kind == FormatArg::kNarrow) {
        FormatText(body, Spec(), arg);
        body.resize(body.empty() ? 0 : 1);
    } else if (arg.kind != FormatArg::kNone) {
        body.assign(1, static_cast<wchar_t>(ArgAsUnsigned(arg) & 0x1FFFFF));
    }
    EmitField(out, spec, std::wstring_view(), body, false);
}

void FormatFloat(std::wstring& out, const Spec& spec, wchar_t conv, const FormatArg& arg)
{
    double v = 0.0;
    if (arg.kind == FormatArg::kDouble) v = arg.d;
    else if (arg.kind == FormatArg::kSigned) v = static_cast<double>(arg.s);
    else if (arg.kind == FormatArg::kUnsigned) v = static_cast<double>(arg.u);
    std::string fmt = "%";
    if (spec.left) fmt += '-';
    if (spec.plus) fmt += '+';
    if (spec.space) fmt += ' ';
    if (spec.alt) fmt += '#';
    if (spec.zero) fmt += '0';
    if (spec.width >= 0) fmt += std::to_string(spec.width);
    if (spec.precision >= 0) fmt += "." + std::to_string(spec.precision);
    fmt += static_cast<char>(conv);
    const int n = std::snprintf(nullptr, 0, fmt.c_str(), v);
    if (n <= 0) return;
    std::string buf(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&buf[0], buf.size(), fmt.c_str(), v);
    buf.resize(static_cast<size_t>(n));
    out += DecodeText(buf);
}

int ReadNumber(const wchar_t*& p)
{
    long long n = 0;
    while (*p >= L'0' && *p <= L'9') {
        if (n < 100000) n = n * 10 + (*p - L'0');  // widths beyond this are nonsense
        ++p;
    }
    return static_cast<int>(n);
}

int StarValue(ArgReader& args)
{
    const FormatArg& a = args.Next();
    if (a.kind == FormatArg::kSigned) return a.s < -100000 ? -100000 : (a.s > 100000 ? 100000 : static_cast<int>(a.s));
    if (a.kind == FormatArg::kUnsigned) return a.u > 100000 ? 100000 : static_cast<int>(a.u);
    return 0;
}

// The flags of a conversion: any of "-+ #0", in any order.
void ReadFlags(const wchar_t*& p, Spec& spec)
{
    for (;; ++p) {
        if (*p == L'-') spec.left = true;
        else if (*p == L'+') spec.plus = true;
        else if (*p == L' ') spec.space = true;
        else if (*p == L'#') spec.alt = true;
        else if (*p == L'0') spec.zero = true;
        else return;
    }
}

// A width written out or taken from the arguments ("*"), where a negative
// one means left-aligned; then a precision the same way, where a negative
// one means none.
void ReadWidthAndPrecision(const wchar_t*& p, Spec& spec, ArgReader& reader)
{
    if (*p == L'*') {
        ++p;
        spec.width = StarValue(reader);
        if (spec.width < 0) {
            spec.left = true;
            spec.width = -spec.width;
        }
    } else if (*p >= L'0' && *p <= L'9') {
        spec.width = ReadNumber(p);
    }
    if (*p != L'.') {
        return;
    }
    ++p;
    if (*p == L'*') {
        ++p;
        spec.precision = StarValue(reader);
        if (spec.precision < 0) spec.precision = -1;
    } else {
        spec.precision = ReadNumber(p);
    }
}

// Length modifiers, including the "I64" / "I32" forms of the program's
// format texts.
void ReadLength(const wchar_t*& p, Spec& spec)
{
    if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
        spec.bits = 64;
        p += 3;
    } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
        spec.bits = 32;
        p += 3;
    } else if (p[0] == L'l' && p[1] == L'l') {
        spec.bits = 64;
        p += 2;
    } else if (p[0] == L'h' && p[1] == L'h') {
        spec.bits = 8;
        p += 2;
    } else if (*p == L'h') {
        spec.bits = 16;
        spec.narrowText = true;
        ++p;
    } else if (*p == L'l' || *p == L'w') {
        spec.bits = 64;  // long is 64-bit here
        ++p;
    } else if (*p == L'I' || *p == L'z' || *p == L'j' || *p == L't' || *p == L'L' || *p == L'q') {
        spec.bits = 64;
        ++p;
    }
}

// Formats the conversion at p, whose text began at start; false when the
// format text ended inside it.
bool Convert(std::wstring& out, Spec& spec, const wchar_t* start, const wchar_t* p, ArgReader& reader)
{
    const wchar_t conv = *p;
    switch (conv) {
    case L'd': case L'i': case L'u': case L'x': case L'X': case L'o':
        FormatInteger(out, spec, conv, reader.Next());
        break;
    case L'p':
        spec.bits = 64;
        FormatInteger(out, spec, conv, reader.Next());
        break;
    case L's': case L'S':
        FormatText(out, spec, reader.Next());
        break;
    case L'c': case L'C':
        FormatChar(out, spec, reader.Next());
        break;
    case L'e': case L'E': case L'f': case L'F': case L'g': case L'G': case L'a': case L'A':
        FormatFloat(out, spec, conv, reader.Next());
        break;
    case L'n':
        reader.Next();  // never written through
        break;
    default:
        // An unknown or unfinished conversion is shown as written.
        out.append(start, conv ? p + 1 : p);
        return conv != 0;
    }
    return true;
}

}  // namespace

std::wstring FormatArgs(const wchar_t* format, const FormatArg* args, size_t count)
{
    std::wstring out;
    FormatArgsInto(out, format, args, count);
    return out;
}

void FormatArgsInto(std::wstring& out, const wchar_t* format, const FormatArg* args, size_t count)
{
    out.clear();
    AppendFormatArgs(out, format, args, count);
}

void AppendFormatArgs(std::wstring& out, const wchar_t* format, const FormatArg* args, size_t count)
{
    if (!format) return;
    // One allocation for the usual result: the format text, the texts and
    // a number's digits.
    size_t expected = std::char_traits<wchar_t>::length(format);
    for (size_t i = 0; i < count; ++i) {
        expected += args[i].kind == FormatArg::kWide || args[i].kind == FormatArg::kNarrow ? args[i].length : 20;
    }
    out.reserve(out.size() + expected);
    ArgReader reader(args, count);
    const wchar_t* p = format;
    while (*p) {
        if (*p != L'%') {
            const wchar_t* text = p;
            while (*p && *p != L'%') ++p;
            out.append(text, p);
            continue;
        }
        const wchar_t* start = p++;
        if (*p == L'%') {
            out += L'%';
            ++p;
            continue;
        }
        Spec spec;
        ReadFlags(p, spec);
        ReadWidthAndPrecision(p, spec, reader);
        ReadLength(p, spec);
        if (!Convert(out, spec, start, p, reader)) {
            return;
        }
        ++p;
    }
}

std::wstring CutText(const std::wstring& text, size_t maxChars, bool* cut)
{
    const bool longer = text.size() > maxChars;
    if (cut) *cut = longer;
    return longer ? text.substr(0, maxChars) : text;
}

}  // namespace platform

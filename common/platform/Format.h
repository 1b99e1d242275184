// Typed formatter for the program's printf-style format texts, taken as
// written: "%s" is a wide text, "%c" a wide character, "%d", "%i", "%u",
// "%x", "%X", "%o" with flags, width and precision, "%I64X" and "%ll" for
// 64-bit values. The arguments are captured with their types, so a format
// text that names the wrong type formats something harmless instead of
// reading past the argument list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace platform {

struct FormatArg {
    enum Kind { kNone, kSigned, kUnsigned, kDouble, kWide, kNarrow, kPointer };
    Kind kind = kNone;
    long long s = 0;
    unsigned long long u = 0;
    double d = 0.0;
    const wchar_t* wide = nullptr;
    const char* narrow = nullptr;
    size_t length = 0;  // of wide / narrow
    const void* pointer = nullptr;
};

inline FormatArg MakeFormatArg(const std::wstring& v)
{
    FormatArg a; a.kind = FormatArg::kWide; a.wide = v.c_str(); a.length = v.size(); return a;
}
inline FormatArg MakeFormatArg(const wchar_t* v)
{
    FormatArg a; a.kind = FormatArg::kWide; a.wide = v;
    a.length = v ? std::char_traits<wchar_t>::length(v) : 0; return a;
}
inline FormatArg MakeFormatArg(wchar_t* v) { return MakeFormatArg(static_cast<const wchar_t*>(v)); }
inline FormatArg MakeFormatArg(const std::string& v)
{
    FormatArg a; a.kind = FormatArg::kNarrow; a.narrow = v.c_str(); a.length = v.size(); return a;
}
inline FormatArg MakeFormatArg(const char* v)
{
    FormatArg a; a.kind = FormatArg::kNarrow; a.narrow = v;
    a.length = v ? std::char_traits<char>::length(v) : 0; return a;
}
inline FormatArg MakeFormatArg(char* v) { return MakeFormatArg(static_cast<const char*>(v)); }
inline FormatArg MakeFormatArg(const void* v) { FormatArg a; a.kind = FormatArg::kPointer; a.pointer = v; return a; }
inline FormatArg MakeFormatArg(double v) { FormatArg a; a.kind = FormatArg::kDouble; a.d = v; return a; }
inline FormatArg MakeFormatArg(float v) { return MakeFormatArg(static_cast<double>(v)); }

template <class T,
          typename std::enable_if<std::is_integral<T>::value || std::is_enum<T>::value, int>::type = 0>
FormatArg MakeFormatArg(T v)
{
    FormatArg a;
    using U = typename std::conditional<std::is_enum<T>::value, std::underlying_type<T>, std::common_type<T>>::type::type;
    if (std::is_signed<U>::value) {
        a.kind = FormatArg::kSigned;
        a.s = static_cast<long long>(static_cast<U>(v));
        a.u = static_cast<unsigned long long>(a.s);
    } else {
        a.kind = FormatArg::kUnsigned;
        a.u = static_cast<unsigned long long>(static_cast<U>(v));
        a.s = static_cast<long long>(a.u);
    }
    return a;
}

std::wstring FormatArgs(const wchar_t* format, const FormatArg* args, size_t count);
// The same into out, which it replaces. out keeps its room, so that lines
// formatted one after another into one text need no allocation each.
void FormatArgsInto(std::wstring& out, const wchar_t* format, const FormatArg* args, size_t count);
// The same appended to out.
void AppendFormatArgs(std::wstring& out, const wchar_t* format, const FormatArg* args, size_t count);

template <class... A>
std::wstring Format(const wchar_t* format, const A&... args)
{
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg()};
    return FormatArgs(format, list, sizeof...(A));
}

template <class... A>
void AppendFormat(std::wstring& out, const wchar_t* format, const A&... args)
{
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg()};
    AppendFormatArgs(out, format, list, sizeof...(A));
}

// The text cut to at most maxChars characters, as a fixed buffer of
// maxChars + 1 characters would hold it. cut (optional) tells whether
// anything was lost.
std::wstring CutText(const std::wstring& text, size_t maxChars, bool* cut = nullptr);

// Characters a fixed text buffer of the program holds, less its terminator.
constexpr size_t kTextBufferChars = 1023;

}  // namespace platform

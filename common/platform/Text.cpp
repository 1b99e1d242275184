#include "common/platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/platform/Stop.h"

namespace platform {

namespace {

constexpr wchar_t kEscapeBase = 0xDC00;  // undecodable byte b becomes U+DC00 + b

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

void AppendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Appends the plain ASCII characters from text on, eight a round while
// they last, and returns how many.
size_t AppendAsciiRun(std::string& out, const wchar_t* text, size_t length)
{
    size_t i = 0;
    for (; length - i >= 8; i += 8) {
        const wchar_t* const c = text + i;
        if ((static_cast<uint32_t>(c[0]) | static_cast<uint32_t>(c[1]) | static_cast<uint32_t>(c[2]) |
             static_cast<uint32_t>(c[3]) | static_cast<uint32_t>(c[4]) | static_cast<uint32_t>(c[5]) |
             static_cast<uint32_t>(c[6]) | static_cast<uint32_t>(c[7])) >= 0x80) {
            break;
        }
        const char bytes[8] = {static_cast<char>(c[0]), static_cast<char>(c[1]), static_cast<char>(c[2]),
                               static_cast<char>(c[3]), static_cast<char>(c[4]), static_cast<char>(c[5]),
                               static_cast<char>(c[6]), static_cast<char>(c[7])};
        out.append(bytes, 8);
    }
    for (; i < length && static_cast<uint32_t>(text[i]) < 0x80; ++i) {
        out += static_cast<char>(text[i]);
    }
    return i;
}

// Bytes decoded between two looks at the stop flag. A smaller text is
// decoded whole.
constexpr size_t kBytesPerStopCheck = size_t(4) << 20;

// Appends the decoded bytes to out; false, with out holding a part, when
// checkStop and a stop was asked for.
bool AppendDecoded(const char* bytes, size_t length, bool checkStop, std::wstring& out)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    // No byte gives more than one character: the characters are written in
    // place, and the text is cut to their number at the end.
    const size_t first = out.size();
    out.resize(first + length);
    wchar_t* const begin = &out[0] + first;
    wchar_t* o = begin;
    size_t i = 0;
    size_t nextCheck = kBytesPerStopCheck;
    while (i < length) {
        if (checkStop && i >= nextCheck) {
            if (StopRequested()) {
                out.resize(first + static_cast<size_t>(o - begin));
                return false;
            }
            nextCheck = i + kBytesPerStopCheck;
        }
        // Eight bytes of plain ASCII at a time, the common case.
        const size_t blockEnd = checkStop ? std::min(length, nextCheck) : length;
        while (blockEnd - i >= 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) != 0) {
                break;
            }
            for (size_t k = 0; k < 8; ++k) {
                *o++ = static_cast<wchar_t>(p[i + k]);
            }
            i += 8;
        }
        if (i >= blockEnd) {
            continue;
        }
        const unsigned char b = p[i];
        if (b < 0x80) {
            *o++ = static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        size_t need = 0;
        unsigned long cp = 0;
        unsigned long min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1; cp = b & 0x1F; min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2; cp = b & 0x0F; min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3; cp = b & 0x07; min = 0x10000;
        }
        bool ok = need != 0 && length - i > need;
        if (ok) {
            for (size_t k = 1; k <= need; ++k) {
                if (!IsContinuation(p[i + k])) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (p[i + k] & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text:
        // keep their bytes instead.
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            ok = false;
        }
        if (ok) {
            *o++ = static_cast<wchar_t>(cp);
            i += need + 1;
        } else {
            *o++ = static_cast<wchar_t>(kEscapeBase + b);
            ++i;
        }
    }
    out.resize(first + static_cast<size_t>(o - begin));
    return true;
}

}  // namespace

std::wstring DecodeText(const char* bytes, size_t length)
{
    std::wstring out;
    AppendDecoded(bytes, length, false, out);
    return out;
}

bool DecodeTextUnlessStopped(const char* bytes, size_t length, std::wstring& out)
{
    out.clear();
    if (!AppendDecoded(bytes, length, true, out)) {
        out.clear();
        return false;
    }
    return true;
}

std::wstring DecodeText(const std::string& bytes)
{
    return DecodeText(bytes.data(), bytes.size());
}

std::string EncodeText(const wchar_t* text, size_t length)
{
    std::string out;
    AppendEncoded(out, text, length);
    return out;
}

void AppendEncoded(std::string& out, const wchar_t* text, size_t length)
{
    out.reserve(out.size() + length);
    for (size_t i = 0; i < length; ++i) {
        i += AppendAsciiRun(out, text + i, length - i);
        if (i >= length) {
            break;
        }
        const unsigned long cp = static_cast<unsigned long>(static_cast<unsigned int>(text[i]));
        if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
            out += static_cast<char>(cp - kEscapeBase);
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            out += '?';  // not a character: nothing truthful to write
        } else {
            AppendUtf8(out, cp);
        }
    }
}

std::string EncodeText(const std::wstring& text)
{
    return EncodeText(text.data(), text.size());
}

wchar_t ToUpperAscii(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace platform

#include "timlib/BlfParser.h"

#include <cstdint>

#include "common/platform/Scan.h"
#include "common/platform/Stop.h"

namespace {

const wchar_t kNotFound[] = L"NOT_FOUND";

// GetKeyInt's rule, not the value-text rule: 32-bit unsigned conversion in
// base 0 that wraps a negated magnitude modulo 2^32 (so "-1" gives
// 0xFFFFFFFF) and gives 0xFFFFFFFF for a magnitude beyond 32 bits.
uint32_t ToUInt32Base0(std::wstring_view text)
{
    size_t i = 0;
    const bool negative = platform::SkipBlanksAndSign(text.data(), text.size(), i);
    auto digitOf = [](wchar_t c) -> unsigned {
        if (c >= L'0' && c <= L'9') {
            return static_cast<unsigned>(c - L'0');
        }
        if (c >= L'a' && c <= L'z') {
            return static_cast<unsigned>(c - L'a') + 10;
        }
        if (c >= L'A' && c <= L'Z') {
            return static_cast<unsigned>(c - L'A') + 10;
        }
        return 36;
    };
    unsigned base = 10;
    if (i < text.size() && text[i] == L'0') {
        base = 8;
        // "0x" is a prefix only when a hexadecimal digit follows; otherwise
        // the conversion ends at the 'x' with the value 0.
        if (i + 2 < text.size() && (text[i + 1] == L'x' || text[i + 1] == L'X') && digitOf(text[i + 2]) < 16) {
            base = 16;
            i += 2;
        }
    }
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const unsigned digit = digitOf(text[i]);
        if (digit >= base) {
            break;
        }
        if (!overflow) {
            magnitude = magnitude * base + digit;
            overflow = magnitude > 0xFFFFFFFFull;
        }
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    const uint32_t result = static_cast<uint32_t>(magnitude);
    return negative ? static_cast<uint32_t>(0u - result) : result;
}

}  // namespace

CBlfParser::CBlfParser() = default;

CBlfParser::~CBlfParser() = default;

void CBlfParser::Reset()
{
    m_bBbcsEnabled = 0;
    m_bCrcsEnabled = 0;
    m_bWebUpgrade = 0;
    m_bTimhPartition1 = 0;
    m_bTimhPartition2 = 0;
    m_bTimhPartition3 = 0;
    m_bDtimNeeded = 0;
    m_bEmmcImageLists = 0;
    m_TimDescriptor.Reset();
    m_EraseOnlyAreas.clear();
    m_EmmcImageLists.clear();
    m_NandSignImageLists.clear();
}

std::wstring_view CBlfParser::LookUp(std::wstring_view defaultText, std::wstring_view section, std::wstring_view key,
                                     const std::wstring& filePath)
{
    // Every lookup looks at the stop flag: most find their key at once,
    // without a walk long enough to look at it.
    if (platform::StopRequested()) {
        layout::FailStopped();
    }
    // A parser without text has none for the empty path.
    if (!m_pText && filePath.empty()) {
        layout::FailReading(L"blf buffer is Null");
    }
    if (!m_pText || filePath != m_pText->path) {
        // After a failure no text is held, so the next lookup tries the
        // file again.
        m_pText.reset();
        m_pText = layout::LayoutText::Read(filePath);
    }
    std::wstring_view found;
    switch (m_pText->lines.Find(section, key, found)) {
    case layout::LookupResult::kFound:
        return found;
    case layout::LookupResult::kMissing:
        break;
    case layout::LookupResult::kStopped:
        layout::FailStopped();
    }
    return defaultText;
}

bool CBlfParser::GetKeyValue(std::wstring_view defaultText, std::wstring& value, std::wstring_view section,
                             std::wstring_view key, const std::wstring& filePath)
{
    // value may be the same object as any argument: it is written last.
    const std::wstring_view found = LookUp(defaultText, section, key, filePath);
    value.assign(found.data(), found.size());
    return !value.empty();
}

int32_t CBlfParser::GetKeyInt(const std::wstring& filePath, std::wstring_view section, std::wstring_view key,
                              int32_t defaultNumber)
{
    // A value that reads "NOT_FOUND" counts as missing too.
    const std::wstring_view text = LookUp(kNotFound, section, key, filePath);
    if (text == kNotFound) {
        return defaultNumber;
    }
    const uint32_t number = ToUInt32Base0(text);
    if (number != 0) {
        return static_cast<int32_t>(number);
    }
    // A zero that was written as such, not one from text that does not read
    // as a number.
    return !text.empty() && text[0] == L'0' ? 0 : defaultNumber;
}

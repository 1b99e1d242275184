#include "timlib/BlfParser.h"

#include <cstdint>
#include <new>
#include <utility>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Scan.h"
#include "common/platform/Text.h"

namespace {

const wchar_t kNotFound[] = L"NOT_FOUND";

[[noreturn]] void Fail(const wchar_t* message)
{
    platform::Print(L"%s\n", message);
    throw CZorlixexception(message);
}

[[noreturn]] void FailStopped()
{
    Fail(L"Reading the blf file stopped");
}

// GetKeyInt's rule, not the value-text rule: 32-bit unsigned conversion in
// base 0 that wraps a negated magnitude modulo 2^32 (so "-1" gives
// 0xFFFFFFFF) and gives 0xFFFFFFFF for a magnitude beyond 32 bits.
uint32_t ToUInt32Base0(const std::wstring& text)
{
    size_t i = 0;
    const bool negative = platform::SkipBlanksAndSign(text, i);
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

const std::wstring* CBlfParser::CachedTextOf(const std::wstring& filePath) const
{
    return m_pCachedText && filePath == m_CachedFileName ? m_pCachedText.get() : nullptr;
}

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

void CBlfParser::ReleaseFileCache()
{
    m_CachedFileName.clear();
    m_Lines.Clear();
    m_pCachedText.reset();
    m_CachedLength = 0;
}

void CBlfParser::LoadFile(const std::wstring& filePath)
{
    // The old text no longer answers for any path; after a failure nothing
    // is cached, so the next lookup tries the file again.
    ReleaseFileCache();

    // Only a regular file is read (a device or FIFO would never end), and
    // the reading itself stops past the limit: a size measured first may
    // not hold.
    std::unique_ptr<std::wstring> text;
    platform::TextFileStatus status = platform::TextFileStatus::kUnreadable;
    bool outOfMemory = false;
    try {
        text = std::make_unique<std::wstring>();
        status = platform::ReadTextFile(filePath, platform::kMaxTextFileBytes, *text);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    if (outOfMemory) {
        Fail(L"Allocate memory failed");
    }
    if (status == platform::TextFileStatus::kTooLarge) {
        Fail(platform::Format(L"File %s is larger than %d MiB", filePath,
                              static_cast<int>(platform::kMaxTextFileBytes >> 20))
                 .c_str());
    }
    if (status == platform::TextFileStatus::kUtf16) {
        Fail(platform::Format(L"Blf file %s is UTF-16 text; it must be saved as UTF-8", filePath).c_str());
    }
    if (status != platform::TextFileStatus::kRead) {
        Fail(L"Open blf file failed");
    }
    if (!m_Lines.Build(*text)) {
        FailStopped();
    }

    m_CachedFileName = filePath;
    m_CachedLength = static_cast<int32_t>(text->size());
    m_pCachedText = std::move(text);
}

bool CBlfParser::GetKeyValue(const std::wstring& defaultText, std::wstring& value, const std::wstring& section,
                             const std::wstring& key, const std::wstring& filePath)
{
    if (filePath != m_CachedFileName) {
        LoadFile(filePath);
    }
    if (!m_pCachedText) {
        Fail(L"blf buffer is Null");
    }
    // value may be the same object as any argument: it is written last.
    std::wstring found;
    switch (m_Lines.Find(section, key, found)) {
    case layout::LookupResult::kFound:
        value = std::move(found);
        break;
    case layout::LookupResult::kMissing:
        value = defaultText;
        break;
    case layout::LookupResult::kStopped:
        FailStopped();
    }
    return !value.empty();
}

int32_t CBlfParser::GetKeyInt(const std::wstring& filePath, const std::wstring& section, const std::wstring& key,
                              int32_t defaultNumber)
{
    std::wstring text;
    GetKeyValue(kNotFound, text, section, key, filePath);
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

#include "timlib/BlfParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>
#include <utility>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Scan.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"

namespace {

const wchar_t kNotFound[] = L"NOT_FOUND";

[[noreturn]] void Fail(const wchar_t* message)
{
    platform::Print(L"%s\n", message);
    throw CZorlixexception(message);
}

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

void FailStopped()
{
    Fail(L"Reading the blf file stopped");
}

CBlfParser::CBlfParser() = default;

CBlfParser::~CBlfParser() = default;

std::shared_ptr<const CBlfParser::LoadedText> CBlfParser::CachedTextOf(const std::wstring& filePath) const
{
    return m_pLoaded && filePath == m_pLoaded->path ? m_pLoaded : nullptr;
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
    m_pLoaded.reset();
}

void CBlfParser::UseText(std::shared_ptr<const LoadedText> text)
{
    if (text) {
        m_pLoaded = std::move(text);
    }
}

void CBlfParser::LoadFile(const std::wstring& filePath)
{
    // The old text no longer answers for any path; after a failure nothing
    // is cached, so the next lookup tries the file again.
    ReleaseFileCache();
    // Only a regular file is read (a device or FIFO would never end), and
    // the reading itself stops past the limit: a size measured first may
    // not hold.
    std::shared_ptr<LoadedText> loaded;
    platform::TextFileStatus status = platform::TextFileStatus::kUnreadable;
    bool outOfMemory = false;
    try {
        loaded = std::make_shared<LoadedText>();
        status = platform::ReadTextFile(filePath, platform::kMaxTextFileBytes, loaded->text);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    if (outOfMemory) {
        Fail(L"Allocate memory failed");
    }
    if (status == platform::TextFileStatus::kTooLarge) {
        Fail(platform::TooLargeFileText(filePath).c_str());
    }
    if (status == platform::TextFileStatus::kStopped) {
        FailStopped();
    }
    if (status == platform::TextFileStatus::kUtf16) {
        Fail(platform::Format(L"Blf file %s is UTF-16 text; it must be saved as UTF-8", filePath).c_str());
    }
    if (status != platform::TextFileStatus::kRead) {
        Fail(L"Open blf file failed");
    }
    if (!loaded->lines.Build(loaded->text)) {
        FailStopped();
    }
    loaded->path = filePath;
    m_pLoaded = std::move(loaded);
}

std::wstring_view CBlfParser::LookUp(std::wstring_view defaultText, std::wstring_view section, std::wstring_view key,
                                     const std::wstring& filePath)
{
    // Every lookup looks at the stop flag: most find their key at once,
    // without a walk long enough to look at it.
    if (platform::StopRequested()) {
        FailStopped();
    }
    // Nothing cached answers for the empty path.
    const std::wstring_view loadedPath = m_pLoaded ? std::wstring_view(m_pLoaded->path) : std::wstring_view();
    if (filePath != loadedPath) {
        LoadFile(filePath);
    }
    if (!m_pLoaded) {
        Fail(L"blf buffer is Null");
    }
    std::wstring_view found;
    switch (m_pLoaded->lines.Find(section, key, found)) {
    case layout::LookupResult::kFound:
        return found;
    case layout::LookupResult::kMissing:
        break;
    case layout::LookupResult::kStopped:
        FailStopped();
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

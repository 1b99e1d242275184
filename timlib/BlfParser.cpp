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

// A header names the section in the text between its leading '[' and the
// first ']'; whatever follows the ']' is ignored.
bool IsHeaderOf(const std::wstring& line, const std::wstring& section)
{
    if (line.empty() || line[0] != L'[') {
        return false;
    }
    const size_t close = line.find(L']');
    if (close == std::wstring::npos) {
        return false;
    }
    const size_t nameLength = close - 1;
    static const wchar_t kLineBreaks[] = {L'\0', L'\r', L'\n'};
    const size_t broken = line.find_first_of(kLineBreaks, 1, 3);
    if (broken != std::wstring::npos && broken < close) {
        return false;
    }
    return line.compare(1, nameLength, section) == 0;
}

// Scans the whole text; the section, once its header is seen, runs to the
// end of the text. False when the header or the key's line is missing.
bool FindKeyValue(const std::wstring& text, const std::wstring& section, const std::wstring& key,
                  std::wstring& value)
{
    bool inSection = false;
    std::wstring line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();  // a last line without a line feed counts too
        }
        line.assign(text, start, end - start);
        start = end + 1;
        TrimText(line);

        if (!inSection) {
            inSection = IsHeaderOf(line, section);
            continue;
        }
        if (line.find(key) == std::wstring::npos) {
            continue;
        }
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) {
            value = line;
        } else {
            value = line.substr(equals + 1);
            TrimText(value);
        }
        return true;
    }
    return false;
}

// GetKeyInt's rule, not the value-text rule: 32-bit unsigned conversion in
// base 0 with the Windows runtime's results: a '-' negates modulo 2^32, a
// magnitude beyond 32 bits gives 0xFFFFFFFF.
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
        Fail(platform::TooLargeFileText(filePath).c_str());
    }
    if (status == platform::TextFileStatus::kUtf16) {
        Fail(platform::Format(L"Blf file %s is UTF-16 text; it must be saved as UTF-8", filePath).c_str());
    }
    if (status != platform::TextFileStatus::kRead) {
        Fail(L"Open blf file failed");
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
    if (FindKeyValue(*m_pCachedText, section, key, found)) {
        value = std::move(found);
    } else {
        value = defaultText;
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

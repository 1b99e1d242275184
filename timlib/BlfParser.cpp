#include "timlib/BlfParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
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

// The text the last parser read, while any parser holds it.
std::mutex g_LatestMutex;
std::weak_ptr<const CBlfParser::LoadedText> g_Latest;

struct FileDigest {
    uint64_t size = 0;
    uint64_t lanes[2] = {0x6A09E667F3BCC908ull, 0xBB67AE8584CAA73Bull};
    bool operator==(const FileDigest& other) const
    {
        return size == other.size && lanes[0] == other.lanes[0] && lanes[1] == other.lanes[1];
    }
};

uint64_t Mix(uint64_t lane, uint64_t word, uint64_t multiplier)
{
    lane = (lane ^ word) * multiplier;
    return lane ^ (lane >> 29);
}

// A digest of the file's bytes, read in chunks; false when it cannot be
// read. Two 64-bit lanes: a file rewritten during a run is told apart
// from the text read before.
bool DigestFile(const std::wstring& path, FileDigest& digest)
{
    const platform::OpenedFile file(platform::OpenRegularFile(path));
    if (file.Get() == nullptr) {
        return false;
    }
    digest = FileDigest();
    // On the stack: a small layout is digested with no allocation, and no
    // buffer filled before it is read into.
    unsigned char chunk[16384];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.Get())) > 0) {
        if (digest.size > platform::kMaxTextFileBytes || platform::StopRequested()) {
            return false;
        }
        for (size_t i = 0; i < got; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, chunk + i, std::min<size_t>(8, got - i));
            digest.lanes[0] = Mix(digest.lanes[0], word, 0x9E3779B97F4A7C15ull);
            digest.lanes[1] = Mix(digest.lanes[1], word + digest.size + i, 0xC2B2AE3D27D4EB4Full);
        }
        digest.size += got;
    }
    return std::ferror(file.Get()) == 0;
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
    return m_pLoaded && filePath == m_pLoaded->path ? &m_pLoaded->text : nullptr;
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
    const std::lock_guard<std::mutex> lock(g_LatestMutex);
    if (g_Latest.lock() == m_pLoaded) {
        g_Latest.reset();
    }
    m_pLoaded.reset();
}

void CBlfParser::LoadFile(const std::wstring& filePath)
{
    // The old text no longer answers for any path; after a failure nothing
    // is cached, so the next lookup tries the file again.
    ReleaseFileCache();
    // A stop fails the lookup before the reading, which may take seconds.
    if (platform::StopRequested()) {
        FailStopped();
    }
    if (std::shared_ptr<const LoadedText> shared = SharedTextOf(filePath)) {
        m_pLoaded = std::move(shared);
        return;
    }
    FileDigest before;
    const bool digested = DigestFile(filePath, before);

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
    // Shared only when the file held the same bytes before and after it
    // was read.
    FileDigest after;
    const bool shared = digested && DigestFile(filePath, after) && after == before;
    loaded->fileSize = after.size;
    loaded->fileDigest[0] = after.lanes[0];
    loaded->fileDigest[1] = after.lanes[1];

    m_pLoaded = loaded;
    if (shared) {
        const std::lock_guard<std::mutex> lock(g_LatestMutex);
        g_Latest = m_pLoaded;
    }
}

std::shared_ptr<const CBlfParser::LoadedText> CBlfParser::SharedTextOf(const std::wstring& path)
{
    std::shared_ptr<const LoadedText> latest;
    {
        const std::lock_guard<std::mutex> lock(g_LatestMutex);
        latest = g_Latest.lock();
    }
    FileDigest now;
    if (!latest || latest->path != path || !DigestFile(path, now)) {
        return nullptr;
    }
    const bool same = now.size == latest->fileSize && now.lanes[0] == latest->fileDigest[0] &&
                      now.lanes[1] == latest->fileDigest[1];
    return same ? latest : nullptr;
}

bool CBlfParser::GetKeyValue(const std::wstring& defaultText, std::wstring& value, const std::wstring& section,
                             const std::wstring& key, const std::wstring& filePath)
{
    // Nothing cached answers for the empty path.
    if (filePath != (m_pLoaded ? m_pLoaded->path : std::wstring())) {
        LoadFile(filePath);
    }
    if (!m_pLoaded) {
        Fail(L"blf buffer is Null");
    }
    // value may be the same object as any argument: it is written last.
    std::wstring found;
    switch (m_pLoaded->lines.Find(section, key, found)) {
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

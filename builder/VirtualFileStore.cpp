#include "builder/VirtualFileStore.h"

#include <algorithm>
#include <vector>

#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/FileRange.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"

namespace {

constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;
// Copy-out chunk: large enough that the copy runs at disk speed.
constexpr uint32_t kCopyChunk = 1u << 20;

}  // namespace

CVirtualFileStore::CVirtualFileStore() = default;

CVirtualFileStore::~CVirtualFileStore() = default;

bool CVirtualFileStore::Open(const wchar_t* folder, const wchar_t* mode)
{
    if (folder) {
        m_Folder = folder;
        m_StorePath = platform::JoinFolderAndName(m_Folder, kStoreFileName);
    }
    m_Stream.Close();
    const std::string narrowMode = platform::EncodeText(mode ? mode : L"");
    // A new store file is the run's own: never written through what stood
    // at its name.
    if (narrowMode == "wb" || narrowMode == "w+b") {
        m_Stream = platform::OpenedFile(platform::CreateNewFile(m_StorePath, narrowMode.c_str()));
    } else {
        m_Stream = platform::OpenedFile(platform::OpenFile(m_StorePath, narrowMode.c_str()));
    }
    return m_Stream.Get() != nullptr;
}

bool CVirtualFileStore::EnsureStream()
{
    if (!m_Stream.Get()) {
        m_Stream = platform::OpenedFile(platform::OpenFile(m_StorePath, "rb+"));
    }
    return m_Stream.Get() != nullptr;
}

bool CVirtualFileStore::SeekPhysical(uint32_t offset)
{
    return platform::SeekStream(m_Stream.Get(), offset);
}

bool CVirtualFileStore::ReadPhysical(uint8_t* buffer, uint32_t length)
{
    return length == 0 || std::fread(buffer, 1, length, m_Stream.Get()) == length;
}

bool CVirtualFileStore::WritePhysical(uint32_t offset, const uint8_t* data, uint32_t length)
{
    return SeekPhysical(offset) && (length == 0 || std::fwrite(data, 1, length, m_Stream.Get()) == length) &&
           std::fflush(m_Stream.Get()) == 0;
}

void CVirtualFileStore::Register(const std::wstring& name)
{
    const uint32_t start = m_StoreSize;
    m_Extents[name] = Extent{start, start};
    m_Positions[name] = start;
    Segments segments;
    segments.s0 = start;
    m_Segments[name] = segments;
}

bool CVirtualFileStore::Place(const std::wstring& name, uint32_t length, const std::function<bool(uint32_t)>& put)
{
    if (!EnsureStream()) {
        return false;
    }
    if (m_Extents.find(name) == m_Extents.end()) {
        // A new file begins at the physical end of the store.
        uint64_t size = 0;
        if (!platform::GetStreamEnd(m_Stream.Get(), size) || size > kMaxOffset) {
            return false;
        }
        m_StoreSize = static_cast<uint32_t>(size);
        Register(name);
    }
    uint32_t& position = m_Positions[name];
    if (position + uint64_t(length) > kMaxOffset) {
        return false;
    }
    if (!put(position)) {
        return false;
    }
    position += length;
    Segments& segments = m_Segments[name];
    segments.e2 = std::max(segments.e2, position);
    Extent& extent = m_Extents[name];
    extent.end = std::max(extent.end, position);
    m_StoreSize = std::max(m_StoreSize, position);
    return true;
}

bool CVirtualFileStore::PlaceInterleaved(const std::wstring& name, uint32_t length,
                                         const std::function<bool(uint32_t)>& put)
{
    if (m_SplitMark1 == 0 && m_SplitMark2 == 0) {
        const auto extent = m_Extents.find(name);
        if (extent == m_Extents.end()) {
            return false;
        }
        m_OuterName = name;
        m_SplitMark1 = m_Positions[name];
        Segments& segments = m_Segments[name];
        segments.s0 = extent->second.start;
        segments.e0 = m_Positions[name];
        segments.s1 = m_SplitMark1;
    }
    if (name != m_OuterName) {
        return false;
    }
    const bool written = Place(name, length, put);
    m_SplitMark2 = m_Positions[name];
    Segments& segments = m_Segments[name];
    segments.e1 = m_SplitMark2;
    segments.s2 = m_SplitMark2;
    return written;
}

bool CVirtualFileStore::Write(const std::wstring& name, const uint8_t* data, uint32_t length)
{
    return Place(name, length, [&](uint32_t position) { return WritePhysical(position, data, length); });
}

bool CVirtualFileStore::WriteInterleaved(const std::wstring& name, const uint8_t* data, uint32_t length)
{
    return PlaceInterleaved(name, length, [&](uint32_t position) { return WritePhysical(position, data, length); });
}

bool CVirtualFileStore::CopyIn(const std::wstring& name, FILE* source, uint64_t sourceOffset, uint32_t length)
{
    return Place(name, length, [&](uint32_t position) {
        return platform::CopyFileRange(source, sourceOffset, m_Stream.Get(), position, length);
    });
}

bool CVirtualFileStore::CopyInInterleaved(const std::wstring& name, FILE* source, uint64_t sourceOffset,
                                          uint32_t length)
{
    return PlaceInterleaved(name, length, [&](uint32_t position) {
        return platform::CopyFileRange(source, sourceOffset, m_Stream.Get(), position, length);
    });
}

int CVirtualFileStore::Seek(const std::wstring& name, uint32_t offset)
{
    const auto extent = m_Extents.find(name);
    if (extent == m_Extents.end() || extent->second.start + uint64_t(offset) > kMaxOffset || !EnsureStream()) {
        return -1;
    }
    const uint32_t position = extent->second.start + offset;
    m_Positions[name] = position;
    return SeekPhysical(position) ? 0 : -1;
}

uint32_t CVirtualFileStore::Read(const std::wstring& name, uint8_t* buffer, uint32_t length)
{
    if (m_Extents.find(name) == m_Extents.end() || !EnsureStream()) {
        return 0;
    }
    uint32_t& position = m_Positions[name];
    if (!SeekPhysical(position)) {
        return 0;
    }
    const Segments& s = m_Segments[name];
    if (s.e0 == 0 && s.s1 == 0 && s.e1 == 0 && s.s2 == 0) {
        if (!ReadPhysical(buffer, length)) {
            return 0;
        }
        position += length;
        return length;
    }

    // A file that went through the interleaved write is read segment by
    // segment: [s0, e0), then [s1, e1), then [s2, e2).
    uint32_t done = 0;
    const uint32_t bounds[2][2] = {{s.s0, s.e0}, {s.s1, s.e1}};
    const uint32_t next[2] = {s.s1, s.s2};
    for (int i = 0; i < 2; ++i) {
        const uint32_t begin = bounds[i][0];
        const uint32_t end = bounds[i][1];
        if (begin <= position && position < end) {
            const uint32_t rest = end - position;
            if (length < rest) {
                if (!ReadPhysical(buffer + done, length)) {
                    return done;
                }
                position += length;
                return done + length;
            }
            if (!ReadPhysical(buffer + done, rest)) {
                return done;
            }
            done += rest;
            length -= rest;
            position = next[i];
            if (!SeekPhysical(position)) {
                return done;
            }
        }
    }
    if (s.s2 <= position && position < s.e2) {
        if (!ReadPhysical(buffer + done, length)) {
            return done;
        }
        position += length;
        done += length;
    }
    return done;
}

uint32_t CVirtualFileStore::GetSize(const std::wstring& name) const
{
    const auto found = m_Segments.find(name);
    if (found == m_Segments.end()) {
        return 0;
    }
    const Segments& s = found->second;
    return (s.e0 - s.s0) + (s.e1 - s.s1) + (s.e2 - s.s2);
}

void CVirtualFileStore::Rewind()
{
    for (const auto& extent : m_Extents) {
        m_Positions[extent.first] = extent.second.start;
    }
}

void CVirtualFileStore::CloseStream()
{
    m_Stream.Close();
}

void CVirtualFileStore::Reset()
{
    // Forgetting an open stream would leak it.
    CloseStream();
    m_SplitMark1 = 0;
    m_SplitMark2 = 0;
    m_StoreSize = 0;
    m_Extents.clear();
    m_Positions.clear();
    m_Segments.clear();
}

bool CVirtualFileStore::Close()
{
    const bool closed = !m_Stream.Get() || m_Stream.Close();
    if (!m_Folder.empty() && platform::Exists(m_Folder) && !DeleteTempFolder(m_Folder)) {
        platform::Print(L"DeleteTempFolder failed\n");
    }
    Reset();
    return closed;
}

bool CVirtualFileStore::MoveOut(const std::wstring& name)
{
    if (m_Extents.size() != 1 || !EnsureStream()) {
        return false;
    }
    const Segments& s = m_Segments[name];
    const bool neverSplit = s.e0 == 0 && s.s1 == 0 && s.e1 == 0 && s.s2 == 0;
    const bool contiguous = s.s0 == 0 && (neverSplit || (s.e0 == s.s1 && s.e1 == s.s2));
    uint64_t end = 0;
    if (!contiguous || !platform::GetStreamEnd(m_Stream.Get(), end) || end != s.e2) {
        return false;
    }
    // Only where the result is what "wb" would leave: not through a link,
    // not past a second name of the file, and with the old permissions.
    bool exists = false;
    unsigned mode = 0;
    if (!platform::CanReplaceFile(name, exists, mode)) {
        return false;
    }
    // The store file's own mode, set before it takes the name: whatever the
    // name leads to afterwards is not the run's to change.
    if (exists) {
        platform::SetOpenFileMode(m_Stream.Get(), mode);
    }
    if (!m_Stream.Close()) {
        return false;
    }
    if (!platform::RenameEntry(m_StorePath, name)) {
        return false;
    }
    Reset();
    return true;
}

std::vector<CVirtualFileStore::Extent> CVirtualFileStore::Ranges(const std::wstring& name) const
{
    const auto found = m_Segments.find(name);
    if (found == m_Segments.end()) {
        return {};
    }
    // As Read walks them: a file never written interleaved is one run.
    const Segments& s = found->second;
    if (s.e0 == 0 && s.s1 == 0 && s.e1 == 0 && s.s2 == 0) {
        return {Extent{s.s0, s.e2}};
    }
    return {Extent{s.s0, s.e0}, Extent{s.s1, s.e1}, Extent{s.s2, s.e2}};
}

bool CVirtualFileStore::CopyOutInKernel(const std::wstring& name, FILE* out)
{
    if (!EnsureStream()) {
        return false;
    }
    uint64_t written = 0;
    for (const Extent& range : Ranges(name)) {
        if (range.end < range.start ||
            !platform::CopyFileRange(m_Stream.Get(), range.start, out, written, range.end - range.start)) {
            return false;
        }
        written += range.end - range.start;
    }
    return true;
}

bool CVirtualFileStore::CopyOut(const std::wstring& name)
{
    if (m_Segments.find(name) == m_Segments.end()) {
        return true;
    }
    if (MoveOut(name)) {
        return true;
    }
    Rewind();
    uint32_t remaining = GetSize(name);
    platform::OpenedFile out(platform::OpenFile(name, "wb"));
    if (!out.Get()) {
        return false;
    }
    if (CopyOutInKernel(name, out.Get())) {
        remaining = 0;
    }
    std::vector<uint8_t> buffer(std::min(remaining, kCopyChunk));
    bool ok = true;
    while (ok && remaining > 0) {
        if (platform::StopRequested()) {
            ok = false;
            break;
        }
        const uint32_t chunk = std::min(remaining, kCopyChunk);
        remaining -= chunk;
        ok = Read(name, buffer.data(), chunk) == chunk && std::fwrite(buffer.data(), 1, chunk, out.Get()) == chunk;
    }
    ok = out.Close() && ok;
    if (!ok) {
        ForceDeleteFile(name);
    }
    return ok;
}

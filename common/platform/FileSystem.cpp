#include "common/platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/platform/Format.h"
#include "common/platform/Path.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"

namespace platform {

namespace {

EntryType TypeOfMode(mode_t mode)
{
    if (S_ISREG(mode)) {
        return EntryType::kFile;
    }
    if (S_ISDIR(mode)) {
        return EntryType::kFolder;
    }
    if (S_ISLNK(mode)) {
        return EntryType::kLink;
    }
    return EntryType::kOther;
}

bool AddOwnerBits(const std::wstring& path, mode_t bits)
{
    std::string native;
    if (!ToOsPath(path, native)) {
        return false;
    }
    struct stat info;
    if (lstat(native.c_str(), &info) != 0) {
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        errno = EOPNOTSUPP;
        return false;
    }
    if ((info.st_mode & bits) == bits) {
        return true;
    }
    // AT_SYMLINK_NOFOLLOW also holds if a link was put there since lstat.
    return fchmodat(AT_FDCWD, native.c_str(), (info.st_mode & 07777) | bits, AT_SYMLINK_NOFOLLOW) == 0;
}

// The names of a native path, in order; empty names and "." left out.
void AddNames(const std::string& path, std::vector<std::string>& names)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string name = path.substr(start, end - start);
        if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
}

// strerror_r comes in two forms; glibc's GNU one returns the text.
[[maybe_unused]] const char* PickErrorText(const char* result, const char*)
{
    return result;
}
[[maybe_unused]] const char* PickErrorText(int result, const char* buffer)
{
    return result == 0 ? buffer : nullptr;
}

}  // namespace

bool ReadLinkText(const std::string& path, std::string& target)
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), &buffer[0], buffer.size());
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            target = buffer;
            return true;
        }
        // The text may have been cut; try again with more room.
        buffer.resize(buffer.size() * 2);
    }
}

MappedFile::~MappedFile()
{
    Unmap();
}

void MappedFile::Unmap()
{
    if (m_Mapping) {
        munmap(m_Mapping, static_cast<size_t>(m_Size));
    }
    m_Mapping = nullptr;
    m_Data = nullptr;
    m_Size = 0;
}

bool MappedFile::Map(FILE* stream)
{
    Unmap();
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) > SIZE_MAX) {
        return false;
    }
    if (info.st_size == 0) {
        return true;
    }
    void* mapping = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_SHARED, fileno(stream), 0);
    if (mapping == MAP_FAILED) {
        return false;
    }
    m_Mapping = mapping;
    m_Data = static_cast<const uint8_t*>(mapping);
    m_Size = static_cast<uint64_t>(info.st_size);
    return true;
}

FILE* OpenFile(const std::wstring& path, const char* mode)
{
    std::string native;
    if (!ToOsPath(path, native)) {
        return nullptr;
    }
    FILE* file = fopen(native.c_str(), mode);
    if (file == nullptr) {
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(file), &info) != 0) {
        const int code = errno;
        fclose(file);
        errno = code;
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

namespace {

// A regular file open for reading with a plain descriptor. The readers of
// whole files (a parse reads its layout file, and digests it to know
// whether it may share another parser's text) go through this rather than
// stdio, whose buffer setup costs a few more system calls on every open.
class RegularFileReader {
public:
    RegularFileReader() = default;
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;
    ~RegularFileReader()
    {
        if (m_Fd >= 0) {
            close(m_Fd);
        }
    }

    // False, with errno, for what OpenRegularFile refuses.
    bool Open(const std::wstring& path)
    {
        std::string native;
        if (!ToOsPath(path, native)) {
            return false;
        }
        // Non-blocking only for the open itself: a FIFO without a writer
        // would wait here forever.
        const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        struct stat info;
        int code = 0;
        if (fstat(fd, &info) != 0) {
            code = errno;
        } else if (S_ISDIR(info.st_mode)) {
            code = EISDIR;
        } else if (!S_ISREG(info.st_mode)) {
            code = EINVAL;
        } else if (fcntl(fd, F_SETFL, 0) != 0) {  // O_NONBLOCK was the only status flag set
            code = errno;
        } else {
            m_Fd = fd;
            m_SizeAtOpen = static_cast<uint64_t>(info.st_size);
            return true;
        }
        close(fd);
        errno = code;
        return false;
    }

    // Hands the descriptor over; the reader no longer closes it.
    int Release() { return std::exchange(m_Fd, -1); }

    // Reads up to count bytes, fewer only at the end of the file; -1 on an
    // error. A short read that ends where the file ended when it was
    // opened is taken as the end, without one more read to confirm it; a
    // file that reported no size (as /proc's do) is read until a read
    // gives nothing.
    ptrdiff_t Fill(char* into, size_t count)
    {
        size_t got = 0;
        while (got < count) {
            const ssize_t n = read(m_Fd, into + got, count - got);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return -1;
            }
            if (n == 0) {
                break;
            }
            const bool shortRead = static_cast<size_t>(n) < count - got;
            got += static_cast<size_t>(n);
            m_Offset += static_cast<uint64_t>(n);
            if (shortRead && m_SizeAtOpen > 0 && m_Offset == m_SizeAtOpen) {
                break;
            }
        }
        return static_cast<ptrdiff_t>(got);
    }

    uint64_t SizeAtOpen() const { return m_SizeAtOpen; }

private:
    int m_Fd = -1;
    uint64_t m_SizeAtOpen = 0;
    uint64_t m_Offset = 0;  // bytes read so far
};

}  // namespace

FILE* OpenRegularFile(const std::wstring& path)
{
    RegularFileReader reader;
    if (!reader.Open(path)) {
        return nullptr;
    }
    const int fd = reader.Release();
    if (FILE* file = fdopen(fd, "rb")) {
        return file;
    }
    const int code = errno;
    close(fd);
    errno = code;
    return nullptr;
}

bool IsNotRegularFileError(int code)
{
    return code == EINVAL;
}

bool IsRegularFile(const std::wstring& path)
{
    std::string native;
    struct stat info;
    return ToOsPath(path, native) && stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsSameFile(const std::wstring& first, const std::wstring& second)
{
    std::string nativeFirst;
    std::string nativeSecond;
    struct stat a;
    struct stat b;
    return ToOsPath(first, nativeFirst) && ToOsPath(second, nativeSecond) && stat(nativeFirst.c_str(), &a) == 0 &&
           stat(nativeSecond.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsSameEntry(const std::wstring& first, const std::wstring& second)
{
    const std::wstring a = NormalizePath(first);
    const std::wstring b = NormalizePath(second);
    if (a == b) {
        return true;
    }
    const size_t slashA = FindLastSeparator(a);
    const size_t slashB = FindLastSeparator(b);
    const std::wstring nameA = slashA == std::wstring::npos ? a : a.substr(slashA + 1);
    const std::wstring nameB = slashB == std::wstring::npos ? b : b.substr(slashB + 1);
    if (nameA.empty() || nameA != nameB) {
        return false;
    }
    const auto parent = [](const std::wstring& path, size_t slash) {
        return slash == std::wstring::npos ? std::wstring(L".") : slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
    };
    return IsSameFile(parent(a, slashA), parent(b, slashB)) && IsFolder(parent(a, slashA));
}

std::wstring ResolveLinks(const std::wstring& path)
{
    std::string native;
    if (!ToOsPath(path, native)) {
        return path;
    }
    if (native.empty() || native[0] != '/') {
        std::string working;
        if (!ToOsPath(GetWorkingFolder(), working)) {
            return path;
        }
        native = working + "/" + native;
    }
    // Names still to walk, the next one last.
    std::vector<std::string> pending;
    AddNames(native, pending);
    std::reverse(pending.begin(), pending.end());
    // Folders reached so far, each of them no link; empty for the root.
    std::string resolved;
    int links = 0;
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (name == "..") {
            resolved.erase(resolved.empty() ? 0 : resolved.rfind('/'));
            continue;
        }
        const std::string next = resolved + "/" + name;
        std::string target;
        if (links < kMaxLinks && ReadLinkText(next, target) && !target.empty()) {
            ++links;
            std::vector<std::string> names;
            AddNames(target, names);
            pending.insert(pending.end(), names.rbegin(), names.rend());
            if (target[0] == '/') {
                resolved.clear();
            }
            continue;
        }
        resolved = next;
    }
    return resolved.empty() ? RootFolder() : DecodeText(resolved);
}

bool IsWithinFolder(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring target = ResolveLinks(path);
    const std::wstring resolvedFolder = ResolveLinks(folder);
    if (IsRootFolder(resolvedFolder) || target == resolvedFolder ||
        target.compare(0, resolvedFolder.size() + 1, resolvedFolder + L"/") == 0) {
        return true;
    }
    // A bind mount may show the folder under another name.
    std::wstring current = target;
    for (;;) {
        if (IsSameFile(current, folder)) {
            return true;
        }
        const size_t last = FindLastSeparator(current);
        if (last == std::wstring::npos || last == 0) {
            return false;
        }
        current.resize(last);
    }
}

EntryType GetEntryType(const std::wstring& path)
{
    std::string native;
    struct stat info;
    if (!ToOsPath(path, native) || lstat(native.c_str(), &info) != 0) {
        return EntryType::kNone;
    }
    return TypeOfMode(info.st_mode);
}

bool IsDeviceNode(const std::wstring& path)
{
    std::string native;
    struct stat info;
    return ToOsPath(path, native) && lstat(native.c_str(), &info) == 0 &&
           (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode));
}

bool IsFolder(const std::wstring& path)
{
    std::string native;
    struct stat info;
    return ToOsPath(path, native) && stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::wstring& path)
{
    std::string native;
    struct stat info;
    return ToOsPath(path, native) && stat(native.c_str(), &info) == 0;
}

bool CreateFolder(const std::wstring& path)
{
    std::string native;
    return ToOsPath(path, native) && mkdir(native.c_str(), 0777) == 0;
}

bool IsAlreadyExistsError(int code)
{
    return code == EEXIST;
}

bool IsOtherFileSystemError(int code)
{
    return code == EXDEV;
}

bool IsNotPermittedError(int code)
{
    return code == EACCES || code == EPERM;
}

bool RemoveFolder(const std::wstring& path)
{
    std::string native;
    return ToOsPath(path, native) && rmdir(native.c_str()) == 0;
}

bool RemoveFile(const std::wstring& path)
{
    std::string native;
    return ToOsPath(path, native) && unlink(native.c_str()) == 0;
}

bool SeekStream(FILE* stream, uint64_t offset)
{
    static_assert(sizeof(off_t) >= sizeof(int64_t), "file positions must be 64-bit");
    // Past the largest off_t the cast would turn negative: another position.
    if (offset > static_cast<uint64_t>(INT64_MAX)) {
        errno = EOVERFLOW;
        return false;
    }
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool TellStream(FILE* stream, uint64_t& position)
{
    const off_t told = ftello(stream);
    if (told < 0) {
        return false;
    }
    position = static_cast<uint64_t>(told);
    return true;
}

bool GetStreamEnd(FILE* stream, uint64_t& end)
{
    return fseeko(stream, 0, SEEK_END) == 0 && TellStream(stream, end);
}

bool RenameEntry(const std::wstring& from, const std::wstring& to)
{
    std::string nativeFrom;
    std::string nativeTo;
    return ToOsPath(from, nativeFrom) && ToOsPath(to, nativeTo) && rename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
}

bool CanReplaceFile(const std::wstring& path, bool& exists, unsigned& mode)
{
    exists = false;
    mode = 0;
    std::string native;
    if (!ToOsPath(path, native)) {
        return false;
    }
    struct stat info;
    if (lstat(native.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    exists = true;
    mode = static_cast<unsigned>(info.st_mode & 07777);
    return S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == geteuid() &&
           access(native.c_str(), W_OK) == 0;
}

bool SetFileMode(const std::wstring& path, unsigned mode)
{
    std::string native;
    return ToOsPath(path, native) && chmod(native.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool SetOpenFileMode(FILE* stream, unsigned mode)
{
    return fchmod(fileno(stream), static_cast<mode_t>(mode)) == 0;
}

bool HasOwnerWriteBit(const std::wstring& path)
{
    std::string native;
    struct stat info;
    return ToOsPath(path, native) && stat(native.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) != 0;
}

bool SetOwnerFullAccess(const std::wstring& path)
{
    return AddOwnerBits(path, S_IRWXU);
}

bool ListFolder(const std::wstring& path, std::vector<FolderEntry>& entries)
{
    entries.clear();
    std::string native;
    if (!ToOsPath(path, native)) {
        return false;
    }
    DIR* folder = opendir(native.c_str());
    if (folder == nullptr) {
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(folder);
        if (entry == nullptr) {
            ok = errno == 0;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        FolderEntry item;
        item.name = DecodeText(entry->d_name, std::strlen(entry->d_name));
        struct stat info;
        if (fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            item.type = TypeOfMode(info.st_mode);
        }
        entries.push_back(item);
    }
    const int code = errno;
    closedir(folder);
    errno = code;
    return ok;
}

std::wstring GetExecutablePath()
{
    std::string path;
    return ReadLinkText("/proc/self/exe", path) ? DecodeText(path) : std::wstring();
}

std::wstring GetWorkingFolder()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(&buffer[0], buffer.size()) != nullptr) {
            buffer.resize(std::strlen(buffer.c_str()));
            return DecodeText(buffer);
        }
        if (errno != ERANGE) {
            return std::wstring();
        }
        buffer.resize(buffer.size() * 2);
    }
}

int LastErrorCode()
{
    return errno;
}

std::wstring ErrorText(int code)
{
    char buffer[256] = {};
    const char* text = PickErrorText(strerror_r(code, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0') {
        return std::wstring();
    }
    return DecodeText(text, std::strlen(text)) + L"\n";
}

std::wstring TooLargeFileText(const std::wstring& path)
{
    return Format(L"File %s is larger than %d MiB", path, static_cast<int>(kMaxTextFileBytes >> 20));
}

namespace {

// Bytes handled between two looks at the stop flag: a few milliseconds of
// work even on a busy machine. A smaller file is read whole.
constexpr size_t kTextBytesPerStopCheck = size_t(4) << 20;

// Reads the whole file into bytes, up to maxBytes.
TextFileStatus ReadTextBytes(RegularFileReader& file, size_t maxBytes, std::string& bytes)
{
    // A file already too large is refused unread; otherwise the bytes read
    // decide, as the file may grow while it is read.
    if (file.SizeAtOpen() > maxBytes) {
        return TextFileStatus::kTooLarge;
    }
    // Room for the size it has now and a byte more, so that a file that
    // keeps its size is read with no copy and its end seen in the last
    // piece. Each piece is made room for only as it comes, and a stop is
    // looked for between pieces: filling the room of a large file at once
    // would hold a stop up.
    size_t used = 0;
    bytes.reserve(static_cast<size_t>(file.SizeAtOpen()) + 1);
    for (;;) {
        const size_t room = bytes.capacity() > used ? bytes.capacity() - used : size_t(65536);
        const size_t wanted = std::min(room, kTextBytesPerStopCheck);
        bytes.resize(used + wanted);
        const ptrdiff_t got = file.Fill(&bytes[used], wanted);
        if (got < 0) {
            return TextFileStatus::kUnreadable;
        }
        used += static_cast<size_t>(got);
        if (used > maxBytes) {
            return TextFileStatus::kTooLarge;
        }
        // Fewer bytes than asked for: the end of the file.
        if (static_cast<size_t>(got) < wanted) {
            break;
        }
        if (StopRequested()) {
            return TextFileStatus::kStopped;
        }
    }
    bytes.resize(used);
    return TextFileStatus::kRead;
}

// Drops, in place, the bytes before start and every CR before an LF; false
// when a stop came.
bool DropCarriageReturns(std::string& bytes, size_t start)
{
    // From one CR to the next, the bytes move as a block.
    char* const data = &bytes[0];
    const size_t size = bytes.size();
    size_t kept = 0;
    size_t from = start;
    size_t nextCheck = start + kTextBytesPerStopCheck;
    while (from < size) {
        if (from >= nextCheck) {
            if (StopRequested()) {
                return false;
            }
            nextCheck = from + kTextBytesPerStopCheck;
        }
        const size_t blockEnd = std::min(size, nextCheck);
        const void* found = std::memchr(data + from, '\r', blockEnd - from);
        const size_t cr = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - data) : blockEnd;
        std::memmove(data + kept, data + from, cr - from);
        kept += cr - from;
        from = cr;
        if (cr == blockEnd) {
            continue;
        }
        // A CR before an LF is dropped; any other is kept.
        if (!(cr + 1 < size && data[cr + 1] == '\n')) {
            data[kept++] = '\r';
        }
        from = cr + 1;
    }
    bytes.resize(kept);
    return true;
}

}  // namespace

TextFileStatus ReadTextFile(const std::wstring& path, size_t maxBytes, std::wstring& out)
{
    RegularFileReader file;
    if (!file.Open(path)) {
        return TextFileStatus::kUnreadable;
    }
    std::string bytes;
    const TextFileStatus status = ReadTextBytes(file, maxBytes, bytes);
    if (status != TextFileStatus::kRead) {
        return status;
    }
    if (bytes.compare(0, 2, "\xff\xfe") == 0 || bytes.compare(0, 2, "\xfe\xff") == 0) {
        return TextFileStatus::kUtf16;
    }
    const size_t start = bytes.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0;
    std::wstring text;
    if (!DropCarriageReturns(bytes, start) || !DecodeTextUnlessStopped(bytes.data(), bytes.size(), text)) {
        return TextFileStatus::kStopped;
    }
    out = std::move(text);
    return TextFileStatus::kRead;
}

bool ReadTextFile(const std::wstring& path, std::wstring& out)
{
    return ReadTextFile(path, kMaxTextFileBytes, out) == TextFileStatus::kRead;
}

FILE* CreateNewFile(const std::wstring& path, const char* mode)
{
    std::string native;
    if (!ToOsPath(path, native)) {
        return nullptr;
    }
    int access = 0;
    if (std::strcmp(mode, "wb") == 0) {
        access = O_WRONLY;
    } else if (std::strcmp(mode, "w+b") == 0) {
        access = O_RDWR;
    } else {
        errno = EINVAL;
        return nullptr;
    }
    struct stat info;
    if (lstat(native.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            errno = EISDIR;
            return nullptr;
        }
        // A device node is never the program's own, and removing one (as
        // root) would take it from every other program.
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
            errno = EEXIST;
            return nullptr;
        }
        if (unlink(native.c_str()) != 0) {
            return nullptr;
        }
    } else if (errno != ENOENT) {
        return nullptr;
    }
    const int fd = open(native.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    if (FILE* file = fdopen(fd, mode)) {
        return file;
    }
    // The empty file is this call's own: it goes with the failure.
    const int code = errno;
    close(fd);
    unlink(native.c_str());
    errno = code;
    return nullptr;
}

}  // namespace platform

// Every OS call of the program on files and folders. Paths are wide texts;
// they reach the OS through ToNativePath. A path holding a NUL character is
// refused (errno EINVAL): the OS would see a shorter path, another file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

enum class EntryType { kNone, kFile, kFolder, kLink, kOther };

// Moves the stream to a byte offset from its start; offsets are 64-bit, so
// files past 4 GiB are reached. False when the stream cannot seek there
// (a pipe, or an offset past the largest file position).
bool SeekStream(FILE* stream, uint64_t offset);
// The stream's position from its start; false when it cannot be told.
bool TellStream(FILE* stream, uint64_t& position);
// The stream's length: seeks to its end and takes the position, which
// stays there. False when the stream cannot seek.
bool GetStreamEnd(FILE* stream, uint64_t& end);

// A read-only view of an open file's bytes as they are now, without a copy.
// Write what the view must show before mapping it.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps the whole file; an empty file maps to no bytes. False when the
    // stream's file cannot be mapped (a pipe, say).
    bool Map(FILE* stream);
    const uint8_t* Data() const { return m_Data; }
    uint64_t Size() const { return m_Size; }

private:
    void Unmap();

    const uint8_t* m_Data = nullptr;
    uint64_t m_Size = 0;
    void* m_Mapping = nullptr;
};

// Closes the stream it holds when it goes.
class OpenedFile {
public:
    explicit OpenedFile(FILE* file = nullptr) : m_File(file) {}
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    OpenedFile(OpenedFile&& other) noexcept : m_File(other.m_File) { other.m_File = nullptr; }
    OpenedFile& operator=(OpenedFile&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_File = other.m_File;
            other.m_File = nullptr;
        }
        return *this;
    }
    ~OpenedFile() { Close(); }
    FILE* Get() const { return m_File; }
    // fclose's result: a write that only fails on the final flush counts.
    // False when no file is held (none opened, or closed before).
    bool Close()
    {
        FILE* file = m_File;
        m_File = nullptr;
        return file != nullptr && std::fclose(file) == 0;
    }

private:
    FILE* m_File;
};

// fopen on the native path, except that a folder never opens: it fails
// with errno EISDIR in every mode. fopen alone lets a folder open for
// reading, and callers report a bad path when the open fails, not at the
// first read.
FILE* OpenFile(const std::wstring& path, const char* mode);

// Opens for reading ("rb") only what is a regular file, following links.
// Anything else is refused without waiting on it (a FIFO with no writer
// would block): errno EISDIR for a folder, EINVAL for a FIFO, device or
// socket. Every input of a run is opened here, or by the readers below
// that share its open, as what the checks found may have been replaced
// since.
FILE* OpenRegularFile(const std::wstring& path);
// Whether a failed OpenRegularFile's code says that the path leads to
// something that is neither a regular file nor a folder (EINVAL; a path
// holding a NUL character gives it too, and is no file's path).
bool IsNotRegularFileError(int code);
// Whether the path leads to a regular file, following links (stat).
bool IsRegularFile(const std::wstring& path);

// Whether both paths lead to one file, following links: the same device
// and inode. False when either leads nowhere.
bool IsSameFile(const std::wstring& first, const std::wstring& second);
// Whether both paths name one entry: the same name in the same folder
// (device and inode), whatever stands there, if anything. A link at the
// end is not followed.
bool IsSameEntry(const std::wstring& first, const std::wstring& second);
// As many symbolic links as the kernel follows in one path before it calls
// them a loop (ELOOP): every link walk follows at most this many, and a
// path that needs one more is a loop.
inline constexpr int kMaxLinks = 40;

// The absolute path (a relative one starts from the working folder) with
// every symbolic link on the way replaced by what it leads to, a relative
// target read from the link's folder, and "." and ".." applied to folders
// that are no links. The part from the first name that is missing on is
// kept as written: a dangling link still gives the path it points to.
// Past kMaxLinks links (a loop) the rest is kept as written.
std::wstring ResolveLinks(const std::wstring& path);
// Whether the path leads to the folder itself or to something inside it,
// once the links of both are resolved (ResolveLinks), whether or not the
// folder exists yet; where it exists, also when the path or one of its
// parent folders is that folder under another name (device and inode).
bool IsWithinFolder(const std::wstring& path, const std::wstring& folder);

// The text of the link at a native path, whatever its length; false when
// nothing there is a link or it cannot be read. For the layer's own link
// walks.
bool ReadLinkText(const std::string& path, std::string& target);

// The entry itself (lstat): a symbolic link is kLink, whatever it points to.
EntryType GetEntryType(const std::wstring& path);
// Whether the entry itself (lstat) is a character or block device node.
bool IsDeviceNode(const std::wstring& path);
// Whether the path leads to a folder, following links (stat).
bool IsFolder(const std::wstring& path);
// Whether the path leads to something, following links (stat).
bool Exists(const std::wstring& path);

bool CreateFolder(const std::wstring& path);  // mkdir, mode 0777 less umask
// Whether the error code of a failed call says that something of that name
// is already there (EEXIST).
bool IsAlreadyExistsError(int code);
// Whether a failed rename's code says that both paths are not on one file
// system (EXDEV).
bool IsOtherFileSystemError(int code);
// Whether the code says that the entry may not be made, replaced or
// removed: no write permission on its folder, or a sticky folder and
// neither the folder nor the entry this user's (EACCES, EPERM).
bool IsNotPermittedError(int code);
bool RemoveFolder(const std::wstring& path);  // rmdir
bool RemoveFile(const std::wstring& path);    // unlink; never removes a folder
// rename: the entry at to, if any, is replaced; both must be on one file
// system.
bool RenameEntry(const std::wstring& from, const std::wstring& to);

// Whether a new file put in the path's place would be indistinguishable
// from rewriting what is there: true when nothing is there (exists false),
// and when it is a plain file with one link, owned and writable by this
// process (exists true, mode its permission bits).
bool CanReplaceFile(const std::wstring& path, bool& exists, unsigned& mode);
bool SetFileMode(const std::wstring& path, unsigned mode);  // chmod
// The mode of the open file itself (fchmod): whatever its name leads to by
// now is never changed.
bool SetOpenFileMode(FILE* stream, unsigned mode);

// Whether the owner's write bit is set on what the path leads to; false when
// nothing is there.
bool HasOwnerWriteBit(const std::wstring& path);
// Adds the owner's read, write and search bits to a folder. Never changes
// the target of a symbolic link: on a link it fails.
bool SetOwnerFullAccess(const std::wstring& path);

struct FolderEntry {
    std::wstring name;
    EntryType type = EntryType::kNone;  // of the entry itself (lstat)
};
// The entries of a folder without "." and "..", in no particular order.
bool ListFolder(const std::wstring& path, std::vector<FolderEntry>& entries);

// The running program's file (/proc/self/exe); empty when unknown.
std::wstring GetExecutablePath();
// The process's current folder, any length; empty when unknown.
std::wstring GetWorkingFolder();

// The error code of the last failed call (errno); read it right after.
int LastErrorCode();
// The system's English text for an error code, ending in a line break.
std::wstring ErrorText(int code);

enum class TextFileStatus { kRead, kUnreadable, kTooLarge, kUtf16, kStopped };

// The limit on every text file the tool reads (layout file, its converted
// copy, flasher settings file, key file): 64 MiB. Real ones hold a few KB;
// a larger one would only exhaust memory.
inline constexpr size_t kMaxTextFileBytes = size_t(64) << 20;

// What the run says of a file it refuses for being past kMaxTextFileBytes:
// "File <path> is larger than 64 MiB".
std::wstring TooLargeFileText(const std::wstring& path);

// The whole file, every CR before an LF dropped, decoded. Bytes that are not
// UTF-8 survive the decoding (see DecodeText). Only a regular file is read
// (kUnreadable otherwise); reading stops past maxBytes bytes (kTooLarge). A
// UTF-8 byte-order mark at the start is dropped, as editors on Windows put
// it there; a file that starts with a UTF-16 mark is not decoded (kUtf16).
// A stop asked for (see Stop.h) ends a long read early (kStopped).
TextFileStatus ReadTextFile(const std::wstring& path, size_t maxBytes, std::wstring& out);
// The same up to kMaxTextFileBytes; true for kRead.
bool ReadTextFile(const std::wstring& path, std::wstring& out);

// Creates a file of the program's own at the path: whatever entry stands
// at the name is removed first (a link itself, never what it leads to),
// then the file is made anew and exclusively, so that a link put there
// meanwhile is never followed either; mode 0666 less umask, as fopen makes
// it, and not inherited by programs this one starts. mode is "wb" or
// "w+b" (errno EINVAL for any other). Null on failure, with errno: EISDIR
// when a folder stands there, which is never removed; EEXIST for a device
// node, which is never removed either; the failed removal's
// code when the entry could not be removed; EEXIST when another entry took
// the name in between.
FILE* CreateNewFile(const std::wstring& path, const char* mode);

}  // namespace platform

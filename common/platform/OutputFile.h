// What writing the finished package needs of the system: the file a link
// leads to, a temporary file beside the output, and devices that are
// written directly.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The path with every symbolic link at its end followed (up to 40), so
// that a rename onto the result replaces the file the link points to and
// keeps the link. A dangling link gives the path it points to. The path
// itself when it is no link or the links cannot be read.
std::wstring FollowLinks(const std::wstring& path);

// Whether this process may write the file at path (access W_OK).
bool IsWritable(const std::wstring& path);
// The permission bits of the file at path; false when nothing is there.
bool GetFileMode(const std::wstring& path, unsigned& mode);

// A new, empty file in the folder of target, under a name of its own that
// starts with "." and target's file name, created exclusively (never
// through a link, never over an entry), mode 0666 less the umask as "wb"
// would make it. Open for reading and writing; null when it cannot be
// created.
FILE* CreateFileBeside(const std::wstring& target, std::wstring& createdPath);

enum class DeviceOpen { kOpened, kNoReader, kFailed };
// Opens a device, FIFO or socket for writing without waiting for a reader:
// a FIFO that nobody reads fails at once (kNoReader). Once open, writes
// wait as usual.
DeviceOpen OpenDeviceForWriting(const std::wstring& path, FILE*& stream);

}  // namespace platform

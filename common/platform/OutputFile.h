// What writing the finished package needs of the system: what the output
// path leads to, a temporary file beside the output, and a descriptor for
// what is written as it stands (a FIFO, a device, a file rewritten in
// place) that never holds the run up past a stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

enum class OutputKind { kNone, kFile, kFolder, kStream, kLinkLoop, kUnnamedFile };
// What the path leads to, following every link, also the links of /proc
// that name a pipe (/dev/fd/3, /dev/stdout): kStream for a FIFO, a pipe,
// a device or a socket, which are written as they stand; kLinkLoop when
// the links never end; kNone when nothing is there (a dangling link too)
// or it cannot be looked at.
OutputKind GetOutputKind(const std::wstring& path);

// What an output path is, answered once for the check of the output, the
// package's work path and the delivery.
struct OutputTarget {
    // The entry a rename replaces, so that the links that lead there stay:
    // every symbolic link at the path's end followed (at most kMaxLinks of
    // FileSystem.h), a relative target taken from the folder of the link
    // that holds it, but never one at the program's own name, which is
    // replaced itself. A dangling link gives the path it points to; the
    // path itself when it is no link or cannot be read; where the walk
    // stopped when the links never end.
    std::wstring entry;
    // What the path leads to (GetOutputKind), also kLinkLoop when the links
    // at its end never end, and kUnnamedFile for a file other than the one
    // at entry (a link of /proc to a file open under a name it no longer
    // has). At the own name, what stands there itself: kFolder for a
    // folder, kStream for a device node, kNone for nothing, else kFile.
    OutputKind kind = OutputKind::kNone;
    bool own = false;  // entry is the program's own name
    // Where the package lands, every link on the way and at the end
    // resolved (ResolveLinks), also past the own name: for the check that
    // it is no work folder.
    std::wstring place;
};
// The answer for path; ownName is the program's own "kxp.bin", or empty
// for none.
OutputTarget ResolveOutput(const std::wstring& path, const std::wstring& ownName);

// Whether this process may write the file at path (access W_OK).
bool IsWritable(const std::wstring& path);
// The permission bits of the regular file at path itself, never one a link
// leads to; false when there is none.
bool GetFileMode(const std::wstring& path, unsigned& mode);

// A new, empty file in the folder of target, created exclusively (never
// through a link, never over an entry), mode 0666 less the umask as "wb"
// would make it, open for reading and writing. Its name is "." and the
// start of target's name, then ".PID-N.part": as much of target's name as
// the file system's name limit leaves room for, so that every name the
// folder takes can get its file. Files of that pattern in the folder that
// this user's runs left (their process is gone: killed while copying) are
// removed first. Null when it cannot be created, with errno.
FILE* CreateFileBeside(const std::wstring& target, std::wstring& createdPath);

enum class DeviceOpen { kOpened, kNoReader, kFailed };

// A file written as it stands, through a descriptor that never blocks:
// where the other end takes nothing for a while (a FIFO whose reader stops
// reading), a write waits in short polls and gives up once the run is
// asked to stop. A write to a pipe or FIFO whose reader has gone fails
// (EPIPE, where SIGPIPE is ignored).
class DirectOutput {
public:
    DirectOutput() = default;
    ~DirectOutput();
    DirectOutput(const DirectOutput&) = delete;
    DirectOutput& operator=(const DirectOutput&) = delete;

    // Opens a FIFO, pipe, device or socket for writing without waiting for
    // a reader: kNoReader only for a FIFO or pipe that nobody reads;
    // kFailed for anything else that cannot be opened (a terminal device
    // without a controlling terminal, say).
    DeviceOpen OpenDevice(const std::wstring& path);
    // Opens the existing regular file at path, never through a link at its
    // end and never creating one, and empties it: the file keeps its
    // owner, permission bits and other links. False when that fails.
    bool OpenExisting(const std::wstring& path);
    // Writes all bytes; false when a write fails or the run is asked to
    // stop.
    bool Write(const uint8_t* data, size_t length);
    // close's result; false when nothing is open.
    bool Close();

private:
    int m_Descriptor = -1;
};

}  // namespace platform

#include "common/platform/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"

namespace platform {

namespace {

constexpr int kMaxNameTries = 100;
// How long one wait for a stalled reader lasts before the stop flag is
// looked at again.
constexpr int kPollMilliseconds = 100;

const char kPartSuffix[] = ".part";
// The characters a temporary name adds to the kept part of the output's
// name: "." before it, then "." PID (at most 10 digits) "-" N (at most 6)
// and the suffix.
constexpr size_t kPartNameExtra = 1 + 1 + 10 + 1 + 6 + sizeof(kPartSuffix) - 1;
constexpr long kDefaultNameMax = 255;

// The start of the output's name that a temporary name keeps: all of it
// when the folder's name limit leaves room, else cut, never inside the
// bytes of one UTF-8 character (some file systems refuse such names).
std::string KeptName(const std::string& folder, const std::string& name)
{
    long nameMax = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) {
        nameMax = kDefaultNameMax;
    }
    const size_t room = static_cast<size_t>(nameMax) > kPartNameExtra ? static_cast<size_t>(nameMax) - kPartNameExtra : 0;
    if (name.size() <= room) {
        return name;
    }
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return name.substr(0, cut);
}

// The process id in a temporary name "." kept "." PID "-" N ".part"; 0
// when the name is not one.
pid_t PartNameProcess(const std::string& entry, const std::string& start)
{
    const size_t suffix = sizeof(kPartSuffix) - 1;
    if (entry.size() <= start.size() + suffix || entry.compare(0, start.size(), start) != 0 ||
        entry.compare(entry.size() - suffix, suffix, kPartSuffix) != 0) {
        return 0;
    }
    const std::string middle = entry.substr(start.size(), entry.size() - start.size() - suffix);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 10 ||
        middle.find_first_not_of("0123456789-") != std::string::npos ||
        middle.find('-', dash + 1) != std::string::npos) {
        return 0;
    }
    const long long pid = std::stoll(middle.substr(0, dash));
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// Removes the temporary files of this pattern that runs of this user left
// when they were killed: their process is gone. A file whose process id
// lives again stays until that process is gone too.
void RemoveLeftovers(const std::string& folder, const std::string& start)
{
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const int saved = errno;
    while (const dirent* entry = readdir(listing)) {
        const pid_t pid = PartNameProcess(entry->d_name, start);
        if (pid == 0) {
            continue;
        }
        struct stat info;
        if (fstatat(dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != geteuid()) {
            continue;
        }
        if (pid == getpid() || (kill(pid, 0) != 0 && errno == ESRCH)) {
            unlinkat(dirfd(listing), entry->d_name, 0);
        }
    }
    closedir(listing);
    errno = saved;
}

// One step: the target of the symbolic link at path, a relative one taken
// from the link's own folder. False when path is no link or it cannot be
// read.
bool FollowLink(const std::wstring& path, std::wstring& target)
{
    std::string current;
    std::string next;
    if (!ToOsPath(path, current) || !ReadLinkText(current, next) || next.empty()) {
        return false;
    }
    // A relative target starts in the link's folder as written: up to its
    // last separator.
    target = DecodeText(next[0] == '/' ? next : current.substr(0, current.rfind('/') + 1) + next);
    return true;
}

}  // namespace

OutputKind GetOutputKind(const std::wstring& path)
{
    std::string native;
    struct stat info;
    if (!ToOsPath(path, native)) {
        return OutputKind::kNone;
    }
    if (stat(native.c_str(), &info) != 0) {
        return errno == ELOOP ? OutputKind::kLinkLoop : OutputKind::kNone;
    }
    if (S_ISREG(info.st_mode)) {
        return OutputKind::kFile;
    }
    return S_ISDIR(info.st_mode) ? OutputKind::kFolder : OutputKind::kStream;
}

OutputTarget ResolveOutput(const std::wstring& path, const std::wstring& ownName)
{
    OutputTarget output;
    output.place = ResolveLinks(path);
    output.entry = path;
    for (int followed = 0;; ++followed) {
        output.own = !ownName.empty() && IsSameEntry(output.entry, ownName);
        std::wstring next;
        if (output.own || !FollowLink(output.entry, next)) {
            break;
        }
        if (followed == kMaxLinks) {
            output.kind = OutputKind::kLinkLoop;
            return output;
        }
        output.entry = next;
    }
    if (output.own) {
        const EntryType type = GetEntryType(output.entry);
        output.kind = type == EntryType::kFolder                                  ? OutputKind::kFolder
                      : type == EntryType::kNone                                ? OutputKind::kNone
                      : type == EntryType::kOther && IsDeviceNode(output.entry) ? OutputKind::kStream
                                                                                : OutputKind::kFile;
        return output;
    }
    output.kind = GetOutputKind(path);
    if (output.kind == OutputKind::kFile && !IsSameFile(output.entry, path)) {
        output.kind = OutputKind::kUnnamedFile;
    }
    return output;
}

bool IsWritable(const std::wstring& path)
{
    std::string native;
    return ToOsPath(path, native) && access(native.c_str(), W_OK) == 0;
}

bool GetFileMode(const std::wstring& path, unsigned& mode)
{
    std::string native;
    struct stat info;
    if (!ToOsPath(path, native) || lstat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    mode = static_cast<unsigned>(info.st_mode & 07777);
    return true;
}

FILE* CreateFileBeside(const std::wstring& target, std::wstring& createdPath)
{
    std::string native;
    if (!ToOsPath(target, native)) {
        return nullptr;
    }
    const size_t slash = native.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    const std::string start = "." + KeptName(folder, name) + ".";
    RemoveLeftovers(folder, start);
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
        // A name no other file beside it is likely to have; the exclusive
        // create settles the rare collision.
        const std::string candidate = folder + start + std::to_string(getpid()) + "-" +
                                      std::to_string((now.tv_nsec + attempt) % 1000000) + kPartSuffix;
        const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return nullptr;
        }
        FILE* stream = fdopen(fd, "w+b");
        if (!stream) {
            const int code = errno;
            close(fd);
            unlink(candidate.c_str());
            errno = code;
            return nullptr;
        }
        createdPath = DecodeText(candidate);
        return stream;
    }
    return nullptr;
}

DirectOutput::~DirectOutput()
{
    Close();
}

DeviceOpen DirectOutput::OpenDevice(const std::wstring& path)
{
    Close();
    std::string native;
    if (!ToOsPath(path, native)) {
        return DeviceOpen::kFailed;
    }
    m_Descriptor = open(native.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_Descriptor >= 0) {
        return DeviceOpen::kOpened;
    }
    // ENXIO is also a terminal device without a terminal behind it: only a
    // FIFO (or pipe) has no reader.
    const int code = errno;
    struct stat info;
    const bool fifo = stat(native.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    errno = code;
    return code == ENXIO && fifo ? DeviceOpen::kNoReader : DeviceOpen::kFailed;
}

bool DirectOutput::OpenExisting(const std::wstring& path)
{
    Close();
    std::string native;
    if (!ToOsPath(path, native)) {
        return false;
    }
    // Non-blocking so that a FIFO put there meanwhile is refused below,
    // never waited on.
    m_Descriptor = open(native.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (m_Descriptor < 0) {
        return false;
    }
    struct stat info;
    int code = 0;
    if (fstat(m_Descriptor, &info) != 0) {
        code = errno;
    } else if (!S_ISREG(info.st_mode)) {
        code = EINVAL;
    } else if (ftruncate(m_Descriptor, 0) != 0) {
        code = errno;
    } else {
        return true;
    }
    Close();
    errno = code;
    return false;
}

bool DirectOutput::Write(const uint8_t* data, size_t length)
{
    if (m_Descriptor < 0) {
        errno = EBADF;
        return false;
    }
    while (length > 0) {
        if (StopRequested()) {
            return false;
        }
        const ssize_t written = write(m_Descriptor, data, std::min<size_t>(length, SSIZE_MAX));
        if (written > 0) {
            data += written;
            length -= static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN) {
            struct pollfd ready {};
            ready.fd = m_Descriptor;
            ready.events = POLLOUT;
            poll(&ready, 1, kPollMilliseconds);
            continue;
        }
        if (written == 0) {
            errno = EIO;
        }
        return false;
    }
    return true;
}

bool DirectOutput::Close()
{
    if (m_Descriptor < 0) {
        return false;
    }
    const int descriptor = m_Descriptor;
    m_Descriptor = -1;
    return close(descriptor) == 0;
}

}  // namespace platform

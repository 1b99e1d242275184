#include "common/platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/Path.h"

namespace platform {

namespace {

constexpr wchar_t kLockFileName[] = L"kxp.lock";

// Locks the open descriptor; while another process holds it, tells once and
// waits. 0, or the errno of the failure.
int Lock(int fd, const std::function<void()>& tellWaiting)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return 0;
    }
    if (errno != EWOULDBLOCK) {
        return errno;
    }
    tellWaiting();
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Opens the lock file, made when it is missing and make is set: never
// through a link, never anything but a regular file, which is never
// written. Without O_NONBLOCK a FIFO put there in the meantime would hold
// the open. -1 with errno.
int OpenLockFile(const std::string& path, bool make)
{
    const int flags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    // Writable where it may be: a file system that emulates flock by record
    // locks grants an exclusive one only to a descriptor open for writing.
    int fd = make ? open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, 0666) : -1;
    if (fd >= 0 || (make && errno != EEXIST)) {
        return fd;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EEXIST;
        return -1;
    }
    fd = open(path.c_str(), O_RDWR | flags);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        fd = open(path.c_str(), O_RDONLY | flags);
    }
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EEXIST;
        return -1;
    }
    return fd;
}

}  // namespace

RunLock::~RunLock()
{
    Release();
}

std::wstring RunLock::LockFilePath(const std::wstring& folder)
{
    return JoinFolderAndName(folder, kLockFileName);
}

bool RunLock::Acquire(const std::wstring& folder, const std::function<void()>& onWait)
{
    Release();
    std::string native, lockFile;
    if (!ToOsPath(folder, native) || !ToOsPath(LockFilePath(folder), lockFile)) {
        return false;
    }
    bool told = false;
    const auto tellWaiting = [&] {
        if (onWait && !told) {
            told = true;
            onWait();
        }
    };
    // Reading is all a folder's descriptor needs, and all flock needs of it.
    int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int code = fd < 0 ? errno : Lock(fd, tellWaiting);
    if (code == 0) {
        m_Descriptor = fd;
        // The runs that cannot lock the folder lock the file, if there is
        // one: it is waited for as well. Whatever else stands at its name
        // keeps those runs out by itself.
        const int file = OpenLockFile(lockFile, false);
        if (file >= 0 && Lock(file, tellWaiting) == 0) {
            m_FileDescriptor = file;
        } else if (file >= 0) {
            close(file);
        }
        return true;
    }
    if (fd >= 0) {
        close(fd);
    }
    fd = OpenLockFile(lockFile, true);
    code = fd < 0 ? errno : Lock(fd, tellWaiting);
    if (code != 0) {
        if (fd >= 0) {
            close(fd);
        }
        errno = code;
        return false;
    }
    m_Descriptor = fd;
    return true;
}

void RunLock::Release()
{
    for (int* descriptor : {&m_FileDescriptor, &m_Descriptor}) {
        if (*descriptor >= 0) {
            close(*descriptor);
            *descriptor = -1;
        }
    }
}

}  // namespace platform

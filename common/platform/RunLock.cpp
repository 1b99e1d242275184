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

// Opens the lock file, made when it is missing: never through a link, never
// anything but a regular file, which is never written. Without O_NONBLOCK a
// FIFO put there in the meantime would hold the open. -1 with errno.
int OpenLockFile(const std::string& path)
{
    const int flags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    // Writable where it may be: a file system that emulates flock by record
    // locks grants an exclusive one only to a descriptor open for writing.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, 0666);
    if (fd >= 0 || errno != EEXIST) {
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
    if (code != 0 && fd >= 0) {
        close(fd);
    }
    if (code != 0) {
        fd = OpenLockFile(lockFile);
        code = fd < 0 ? errno : Lock(fd, tellWaiting);
        if (code != 0 && fd >= 0) {
            close(fd);
        }
    }
    if (code != 0) {
        errno = code;
        return false;
    }
    m_Descriptor = fd;
    return true;
}

void RunLock::Release()
{
    if (m_Descriptor < 0) {
        return;
    }
    close(m_Descriptor);
    m_Descriptor = -1;
}

}  // namespace platform

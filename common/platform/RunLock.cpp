#include "common/platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/Path.h"

namespace platform {

namespace {

int OpenLockFile(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != ELOOP) {
            return fd;
        }
        unlink(path.c_str());
    }
    return -1;
}

int LockWaiting(int fd, bool& waited, const std::function<void()>& onWait)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return 0;
    }
    if (errno != EWOULDBLOCK) {
        return -1;
    }
    if (!waited && onWait) {
        onWait();
    }
    waited = true;
    int result = 0;
    while ((result = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    return result;
}

// Whether the descriptor is still the file at the path: the run before may
// have removed the file while this one waited for its lock.
bool IsFileAtPath(int fd, const std::string& path)
{
    struct stat held;
    struct stat named;
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

}  // namespace

RunLock::~RunLock()
{
    Release();
}

bool RunLock::Acquire(const std::wstring& path, const std::function<void()>& onWait)
{
    Release();
    const std::string native = ToNativePath(path);
    bool waited = false;
    for (;;) {
        const int fd = OpenLockFile(native);
        if (fd < 0) {
            return false;
        }
        if (LockWaiting(fd, waited, onWait) != 0) {
            close(fd);
            return false;
        }
        if (IsFileAtPath(fd, native)) {
            m_Descriptor = fd;
            m_Path = native;
            return true;
        }
        close(fd);
    }
}

void RunLock::Release()
{
    if (m_Descriptor < 0) {
        return;
    }
    // Removed while still held: a run waiting on this file then sees that
    // it is gone and locks a new one.
    if (IsFileAtPath(m_Descriptor, m_Path)) {
        unlink(m_Path.c_str());
    }
    close(m_Descriptor);
    m_Descriptor = -1;
    m_Path.clear();
}

}  // namespace platform

#include "common/platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/Path.h"

namespace platform {

RunLock::~RunLock()
{
    Release();
}

bool RunLock::Acquire(const std::wstring& folder, const std::function<void()>& onWait)
{
    Release();
    std::string native;
    if (!ToOsPath(folder, native)) {
        return false;
    }
    // Reading is all a folder's descriptor needs, and all flock needs of it.
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int result = flock(fd, LOCK_EX | LOCK_NB);
    if (result != 0 && errno == EWOULDBLOCK) {
        if (onWait) {
            onWait();
        }
        while ((result = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
    }
    if (result != 0) {
        const int code = errno;
        close(fd);
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

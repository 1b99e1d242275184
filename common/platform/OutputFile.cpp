#include "common/platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/platform/Path.h"
#include "common/platform/Text.h"

namespace platform {

namespace {

constexpr int kMaxLinks = 40;
constexpr int kMaxNameTries = 100;

std::string ParentOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool ReadLink(const std::string& path, std::string& target)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// A name no other file beside it is likely to have; the exclusive create
// settles the rare collision.
std::string CandidateName(const std::string& target, int attempt)
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + "." + std::to_string(getpid()) + "-" +
           std::to_string((now.tv_nsec + attempt) % 1000000) + ".part";
}

}  // namespace

std::wstring FollowLinks(const std::wstring& path)
{
    std::string current = ToNativePath(path);
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        std::string target;
        if (!ReadLink(current, target) || target.empty()) {
            break;
        }
        if (target[0] != '/') {
            const std::string parent = ParentOf(current);
            target = parent.empty() ? target : parent + "/" + target;
        }
        current = target;
    }
    return DecodeText(current);
}

bool IsWritable(const std::wstring& path)
{
    return access(ToNativePath(path).c_str(), W_OK) == 0;
}

bool GetFileMode(const std::wstring& path, unsigned& mode)
{
    struct stat info;
    if (stat(ToNativePath(path).c_str(), &info) != 0) {
        return false;
    }
    mode = static_cast<unsigned>(info.st_mode & 07777);
    return true;
}

FILE* CreateFileBeside(const std::wstring& target, std::wstring& createdPath)
{
    const std::string native = ToNativePath(target);
    for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
        const std::string candidate = CandidateName(native, attempt);
        const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return nullptr;
        }
        FILE* stream = fdopen(fd, "w+b");
        if (!stream) {
            close(fd);
            unlink(candidate.c_str());
            return nullptr;
        }
        createdPath = DecodeText(candidate);
        return stream;
    }
    return nullptr;
}

DeviceOpen OpenDeviceForWriting(const std::wstring& path, FILE*& stream)
{
    stream = nullptr;
    const int fd = open(ToNativePath(path).c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENXIO ? DeviceOpen::kNoReader : DeviceOpen::kFailed;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return DeviceOpen::kFailed;
    }
    stream = fdopen(fd, "wb");
    if (!stream) {
        close(fd);
        return DeviceOpen::kFailed;
    }
    return DeviceOpen::kOpened;
}

}  // namespace platform

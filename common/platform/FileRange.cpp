#include "common/platform/FileRange.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace platform {

namespace {

// The most one call asks for: the kernel takes at most about 2 GiB anyway.
constexpr uint64_t kMostPerCall = 1u << 30;

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());

// Whether offset + length stays a file offset, without the sum wrapping.
bool FitsFileOffsets(uint64_t offset, uint64_t length)
{
    return length <= kMaxOffset && offset <= kMaxOffset - length;
}

}  // namespace

bool ReadFileRange(FILE* stream, uint64_t offset, uint8_t* buffer, size_t length, size_t& got)
{
    got = 0;
    while (got < length) {
        if (!FitsFileOffsets(offset, got)) {
            return false;
        }
        const ssize_t n = pread(fileno(stream), buffer + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool CopyFileRange(FILE* source, uint64_t sourceOffset, FILE* target, uint64_t targetOffset, uint64_t length)
{
    if (!FitsFileOffsets(sourceOffset, length) || !FitsFileOffsets(targetOffset, length)) {
        return false;
    }
    if (std::fflush(source) != 0 || std::fflush(target) != 0) {
        return false;
    }
    off_t from = static_cast<off_t>(sourceOffset);
    off_t to = static_cast<off_t>(targetOffset);
    uint64_t remaining = length;
    while (remaining > 0) {
        const size_t wanted = static_cast<size_t>(std::min(remaining, kMostPerCall));
        const ssize_t copied = copy_file_range(fileno(source), &from, fileno(target), &to, wanted, 0);
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        // 0 is the source's end: it is shorter than it was measured.
        if (copied <= 0) {
            return false;
        }
        remaining -= static_cast<uint64_t>(copied);
    }
    return true;
}

}  // namespace platform

// Byte ranges of open files, addressed by offset: neither routine uses or
// moves a stream's position.
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

// Reads up to length bytes from offset on into buffer, past the stream's
// buffer; got is how many arrived, fewer only at the file's end. False when
// a read failed. Several threads may read one stream at once.
bool ReadFileRange(FILE* stream, uint64_t offset, uint8_t* buffer, size_t length, size_t& got);

// Copies inside the kernel (copy_file_range): the bytes never pass through
// this process, and on file systems that share extents (XFS with reflink,
// btrfs) they are not copied at all.
// Copies length bytes of source, from sourceOffset on, into target at
// targetOffset. Both streams are flushed first, so no buffered byte is
// lost or overwritten and no stale one is read later; their positions stay
// as they are. True only when every byte arrived. False when the kernel
// refused (another file system, a pipe, an append-only target, an old
// kernel) or the source ended before length bytes: the range of the target
// then holds anything, and the caller writes it the ordinary way. False
// too when the run is asked to stop (see Stop.h): it copies in pieces and
// looks between them.
bool CopyFileRange(FILE* source, uint64_t sourceOffset, FILE* target, uint64_t targetOffset, uint64_t length);

}  // namespace platform

// Named logical files kept inside one physical work file, "BinFile.bin".
// The package is assembled here sector run by sector run, its header
// sector rewritten in place, and finally copied out as a real file.
//
// Every operation checks what the C library reports: a failed open, seek,
// read, write or flush makes the operation return false (or a short
// count), so a full disk can never end in a package reported as built.
// Offsets are 32-bit; a write that would carry a file past 4 GiB - 1 is
// refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/platform/FileSystem.h"

class CVirtualFileStore {
public:
    static constexpr const wchar_t* kStoreFileName = L"BinFile.bin";

    CVirtualFileStore();
    CVirtualFileStore(const CVirtualFileStore&) = delete;
    CVirtualFileStore& operator=(const CVirtualFileStore&) = delete;
    // Frees the maps; the stream is left to Close.
    ~CVirtualFileStore();

    // With a folder, the store file becomes folder/BinFile.bin. Closes any
    // open stream and opens the store file with the mode; "wb" and "w+b"
    // make it anew (platform::CreateNewFile), whatever stood at its name
    // removed. False when it cannot be opened.
    bool Open(const wchar_t* folder, const wchar_t* mode);

    // Writes at the file's current position; a name seen for the first
    // time becomes a new file at the end of the store.
    bool Write(const std::wstring& name, const uint8_t* data, uint32_t length);
    // Writes the middle part of the outer file: the first call after a
    // reset chooses the outer file. False for any other name.
    bool WriteInterleaved(const std::wstring& name, const uint8_t* data, uint32_t length);
    // Write and WriteInterleaved of length bytes of the source file from
    // sourceOffset on, copied inside the kernel. False, with the file's
    // position where it was, when the kernel did not copy them all: the
    // caller then writes those bytes with Write or WriteInterleaved.
    bool CopyIn(const std::wstring& name, FILE* source, uint64_t sourceOffset, uint32_t length);
    bool CopyInInterleaved(const std::wstring& name, FILE* source, uint64_t sourceOffset, uint32_t length);
    // Moves the file's position to offset bytes from its start; 0 on
    // success, as fseek.
    int Seek(const std::wstring& name, uint32_t offset);
    // Reads from the file's position; the number of bytes read.
    uint32_t Read(const std::wstring& name, uint8_t* buffer, uint32_t length);
    uint32_t GetSize(const std::wstring& name) const;
    void Rewind();
    // Closes the stream only; the next write opens the store file again.
    void CloseStream();
    // Forgets every file and the stream.
    void Reset();
    // Closes the stream, deletes the store's folder and forgets every file.
    bool Close();
    // Writes the file's content to a real file at the path given by its
    // name. True when every byte arrived (also when there is no such file:
    // nothing is created then); a partial real file is removed.
    // When the store holds this one file and nothing else, in order, the
    // store file itself becomes the real file, so a package is not copied
    // a second time; the store is then empty, as after Close.
    bool CopyOut(const std::wstring& name);

    const std::wstring& StorePath() const { return m_StorePath; }

private:
    struct Extent {
        uint32_t start = 0;
        uint32_t end = 0;
    };
    struct Segments {
        uint32_t s0 = 0, e0 = 0, s1 = 0, e1 = 0, s2 = 0, e2 = 0;
    };

    // Puts length bytes at the file's position through put(physical
    // offset), a new name becoming a new file at the store's end, and moves
    // the position past them when put succeeds.
    bool Place(const std::wstring& name, uint32_t length, const std::function<bool(uint32_t)>& put);
    bool PlaceInterleaved(const std::wstring& name, uint32_t length, const std::function<bool(uint32_t)>& put);
    // The physical ranges the file's bytes lie in, in order.
    std::vector<Extent> Ranges(const std::wstring& name) const;
    // Copies the file into out inside the kernel; false when that failed
    // anywhere, out then holding anything.
    bool CopyOutInKernel(const std::wstring& name, FILE* out);
    bool MoveOut(const std::wstring& name);
    bool EnsureStream();
    bool SeekPhysical(uint32_t offset);
    bool ReadPhysical(uint8_t* buffer, uint32_t length);
    bool WritePhysical(uint32_t offset, const uint8_t* data, uint32_t length);
    void Register(const std::wstring& name);

    platform::OpenedFile m_Stream;
    uint32_t m_SplitMark1 = 0;
    uint32_t m_SplitMark2 = 0;
    std::map<std::wstring, Extent> m_Extents;
    std::map<std::wstring, uint32_t> m_Positions;
    std::map<std::wstring, Segments> m_Segments;
    uint32_t m_StoreSize = 0;
    std::wstring m_StorePath;
    std::wstring m_Folder;
    std::wstring m_OuterName;
};

// The program's one store, constructed before the processing context.
extern CVirtualFileStore g_VirtualFileStore;

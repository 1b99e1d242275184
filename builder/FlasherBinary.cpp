#include "builder/FlasherBinary.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "builder/ImageConvert.h"
#include "builder/ImageFile.h"
#include "builder/KxpFormat.h"
#include "builder/ParallelJobs.h"
#include "builder/VirtualFileStore.h"
#include "common/Print.h"
#include "common/ZorlixException.h"
#include "common/platform/FileRange.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Stop.h"

namespace {

// The checksum adds up pieces of the file side by side, each read a chunk
// at a time: small enough that a chunk is still in the cache when its words
// are added up.
constexpr uint32_t kChecksumPiece = 0x400000;
constexpr uint32_t kChecksumChunk = 0x40000;
// The largest file whose length still rounds up to a multiple of 4 in 32 bits.
constexpr uint64_t kMaxImageLength = 0xFFFFFFFCu;

struct BootFlashSignature {
    uint32_t code;
    const wchar_t* text;
};

constexpr BootFlashSignature kBootFlashSignatureCodes[] = {
    {0, L"0x00000000"},  {1, L"0x4E414E01"},  {2, L"0x4E414E02"},  {3, L"0x58495003"},  {4, L"0x4E414E04"},
    {5, L"0x58495005"},  {6, L"0x4E414E06"},  {7, L"0x4D4D4307"},  {8, L"0x4D4D4308"},  {9, L"0x4D4D4309"},
    {10, L"0x5350490A"}, {11, L"0x4D4D430B"}, {12, L"0x4D4D430C"}, {13, L"0x4E414E0D"}, {14, L"0x4E414E0E"},
    {15, L"0x5849500F"}, {16, L"0x4E414E10"}, {17, L"0x4E414E11"}, {18, L"0x4E414E12"}, {19, L"0x4E414E13"},
    {20, L"0x53444914"}, {23, L"0x53504917"}, {26, L"0x5350491A"},
};

[[noreturn]] void RaiseOpenFailure(const std::wstring& path)
{
    throw CZorlixexception(platform::Format(L"Unable to open file: %s", path));
}

// The image's file, open for reading; raises what the run says when it
// cannot be opened, for a file that is no regular file what the checks say.
platform::OpenedFile OpenImage(const std::wstring& path)
{
    platform::OpenedFile file(platform::OpenRegularFile(path));
    if (!file.Get()) {
        if (platform::IsNotRegularFileError(platform::LastErrorCode())) {
            throw CZorlixexception(NotRegularImageText(path));
        }
        RaiseOpenFailure(path);
    }
    return file;
}

// The XOR of the words of length bytes of the file from offset on, bytes
// at and past fileLength counting as 0xFF; length is a multiple of 4 but
// for the last piece. False when the file's bytes cannot all be read.
bool XorFileWords(FILE* stream, uint64_t fileLength, uint64_t offset, uint32_t length, uint32_t& sum)
{
    // Not zeroed: every byte is read or filled before it counts.
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[std::min(length, kChecksumChunk) + 4u]);
    sum = 0;
    uint32_t remaining = length;
    while (remaining > 0) {
        if (platform::StopRequested()) {
            return false;
        }
        const uint32_t chunk = std::min(remaining, kChecksumChunk);
        const uint64_t available = offset < fileLength ? fileLength - offset : 0;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(chunk, available));
        size_t got = 0;
        if (wanted != 0 && (!platform::ReadFileRange(stream, offset, buffer.get(), wanted, got) || got != wanted)) {
            return false;
        }
        // Room for a last word that the length only partly covers.
        std::fill(buffer.get() + wanted, buffer.get() + chunk + 4, 0xFF);
        sum ^= XorLe32Words(buffer.get(), chunk);
        offset += chunk;
        remaining -= chunk;
    }
    return true;
}

bool ReadFailed(const std::wstring& path)
{
    PrintLog(L"Unable to read file: %s\n", path);
    return false;
}

}  // namespace

CFlasherBinary::CFlasherBinary(const std::wstring& path, const std::wstring& type, int32_t pageGeometry,
                               int32_t deviceKind, int32_t imageInTim, uint32_t imageId, uint32_t flashStartAddress,
                               uint32_t sectorSize, uint32_t commands, int32_t spareAreaSize, int32_t dataAreaSize,
                               int32_t partition, uint32_t eraseValue, uint32_t reserved)
{
    if (type != L"ERASEONLY") {
        m_Path = path;
        m_HasPath = true;
        m_Stream = OpenImage(path);
    }
    m_ImageId = imageId;
    m_FlashStartAddress = flashStartAddress;
    m_DeviceKind = deviceKind;
    m_ImageInTim = imageInTim;
    m_Commands = commands;
    m_SectorSize = sectorSize;
    m_Partition = partition;
    m_PageGeometry = pageGeometry;
    m_SpareAreaSize = spareAreaSize;
    m_DataAreaSize = dataAreaSize;
    m_Reserved = reserved;

    if (m_Stream.Get()) {
        uint64_t size = 0;
        if (!platform::GetStreamEnd(m_Stream.Get(), size) || !platform::SeekStream(m_Stream.Get(), 0)) {
            CloseStream();
            RaiseOpenFailure(path);
        }
        // A length that does not fit the entry's 32-bit fields would wrap.
        if (size > kMaxImageLength) {
            CloseStream();
            throw CZorlixexception(platform::Format(L"Image file is too large for a package: %s", path));
        }
        m_FileLength = static_cast<uint32_t>(size);
    }
    m_Length = m_FileLength;
    m_Type = type;
    m_Mode = (type == L"YAFFS") ? 2 : 0;
    m_EraseSize = (eraseValue == 0) ? m_Length : std::max(eraseValue, m_Length);
}

CFlasherBinary::~CFlasherBinary()
{
    CloseStream();
}

void CFlasherBinary::CloseStream()
{
    m_Stream.Close();
}

bool CFlasherBinary::ComputeChecksum(CFlasherBinary& binary, uint32_t& sum, uint32_t startOffset, uint32_t length)
{
    if (binary.m_Type == L"YAFFS") {
        return true;
    }
    sum = 0;
    if (!binary.m_Stream.Get()) {
        return true;
    }
    // The XOR does not care about order: the pieces, whole words each, are
    // added up side by side.
    const uint64_t end = uint64_t(startOffset) + length;
    const size_t pieces = static_cast<size_t>((uint64_t(length) + kChecksumPiece - 1) / kChecksumPiece);
    std::vector<uint32_t> sums(pieces, 0);
    const bool read = RunJobs(pieces, WorkersFor(pieces), [&](size_t i) {
        const uint64_t offset = startOffset + uint64_t(i) * kChecksumPiece;
        const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(kChecksumPiece, end - offset));
        return XorFileWords(binary.m_Stream.Get(), binary.m_FileLength, offset, size, sums[i]);
    });
    if (!read) {
        return ReadFailed(binary.m_Path);
    }
    for (const uint32_t piece : sums) {
        sum ^= piece;
    }
    return true;
}

bool CFlasherBinary::Copy(CFlasherBinary& binary, uint8_t* blockBuffer, const std::wstring& storeName,
                          bool interleaved)
{
    if (binary.m_Mode == 2) {
        bool converted = true;
        if (binary.m_Stream.Get()) {
            std::wstring message;
            CImageConvert convert;
            // The re-layout measures the file again; a file that grew since
            // its entry was sized would spill past the sectors kept for it.
            uint64_t size = 0;
            if (!platform::GetStreamEnd(binary.m_Stream.Get(), size) || size != binary.m_FileLength) {
                message = L" Yaffs2 image changed size after it was measured";
                converted = false;
            } else {
                converted = convert.ConvertYaffs2(binary.m_YaffsChecksum, storeName, binary.m_Stream.Get(),
                                                  binary.m_PageGeometry, binary.m_SectorSize, message);
            }
            // A stop is reported once, by the run.
            if (!converted && !platform::StopRequested()) {
                PrintLog(L"Error: %s\n", message.empty() ? L"Unable to read file: " + binary.m_Path : message);
            }
        }
        binary.CloseStream();
        return converted;
    }
    if (!binary.m_Stream.Get()) {
        return true;
    }
    const uint32_t sector = binary.m_SectorSize;
    if (sector == 0) {
        binary.CloseStream();
        return ReadFailed(binary.m_Path);
    }
    // The sectors the file fills whole go inside the kernel. The last,
    // partial sector with its 0xFF fill, and everything when the kernel
    // refuses, goes through the block buffer.
    const uint32_t whole = std::min(binary.m_FileLength, binary.m_Length) / sector * sector;
    uint64_t offset = 0;
    if (whole != 0 && (interleaved ? g_VirtualFileStore.CopyInInterleaved(storeName, binary.m_Stream.Get(), 0, whole)
                                   : g_VirtualFileStore.CopyIn(storeName, binary.m_Stream.Get(), 0, whole))) {
        offset = whole;
    }
    if (!platform::SeekStream(binary.m_Stream.Get(), offset)) {
        binary.CloseStream();
        return ReadFailed(binary.m_Path);
    }
    const uint32_t blockBytes = kSectorsPerBlock * sector;
    uint32_t remaining = binary.m_Length - static_cast<uint32_t>(offset);
    bool ok = true;
    while (ok && remaining > 0) {
        if (platform::StopRequested()) {
            ok = false;
            break;
        }
        const uint32_t chunk = std::min(remaining, blockBytes);
        const uint64_t available = offset < binary.m_FileLength ? binary.m_FileLength - offset : 0;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(chunk, available));
        if (wanted != 0 && std::fread(blockBuffer, 1, wanted, binary.m_Stream.Get()) != wanted) {
            ok = ReadFailed(binary.m_Path);
            break;
        }
        const uint32_t sectors = static_cast<uint32_t>((uint64_t(chunk) + sector - 1) / sector);
        const uint32_t bytes = sectors * sector;
        // Whatever the file did not fill is 0xFF: no byte of an earlier
        // block or image may reach the package.
        std::memset(blockBuffer + wanted, 0xFF, bytes - wanted);
        ok = interleaved ? g_VirtualFileStore.WriteInterleaved(storeName, blockBuffer, bytes)
                         : g_VirtualFileStore.Write(storeName, blockBuffer, bytes);
        if (!ok) {
            PrintLog(L"Unable to write file: %s\n", g_VirtualFileStore.StorePath());
        }
        offset += chunk;
        remaining -= chunk;
    }
    binary.CloseStream();
    return ok;
}

bool CFlasherBinary::CopyToStore(CFlasherBinary& binary, uint8_t* blockBuffer, const std::wstring& storeName)
{
    return Copy(binary, blockBuffer, storeName, false);
}

bool CFlasherBinary::CopyToStoreInterleaved(CFlasherBinary& binary, uint8_t* blockBuffer,
                                            const std::wstring& storeName)
{
    return Copy(binary, blockBuffer, storeName, true);
}

uint32_t GetBootFlashSignatureCode(const std::wstring& text)
{
    for (const BootFlashSignature& row : kBootFlashSignatureCodes) {
        if (text.find(row.text) != std::wstring::npos) {
            return row.code;
        }
    }
    return 255;
}

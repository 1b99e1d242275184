#include "builder/FlasherBinary.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "builder/ImageConvert.h"
#include "builder/KxpFormat.h"
#include "builder/VirtualFileStore.h"
#include "common/Print.h"
#include "common/ZorlixException.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"

namespace {

constexpr uint32_t kChecksumChunk = 0x800000;
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
        m_Stream = platform::OpenFile(path, "rb");
        if (!m_Stream) {
            RaiseOpenFailure(path);
        }
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

    if (m_Stream) {
        uint64_t size = 0;
        if (!platform::GetStreamEnd(m_Stream, size) || !platform::SeekStream(m_Stream, 0)) {
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
    if (m_Stream) {
        std::fclose(m_Stream);
        m_Stream = nullptr;
    }
}

bool CFlasherBinary::ComputeChecksum(CFlasherBinary& binary, uint32_t& sum, uint32_t startOffset, uint32_t length)
{
    if (binary.m_Type == L"YAFFS") {
        return true;
    }
    sum = 0;
    if (!binary.m_Stream) {
        return true;
    }
    if (!platform::SeekStream(binary.m_Stream, startOffset)) {
        return ReadFailed(binary.m_Path);
    }
    // Room for a last word that the length only partly covers.
    std::vector<uint8_t> buffer(std::min(length, kChecksumChunk) + 4u);
    uint64_t offset = startOffset;
    uint32_t remaining = length;
    while (remaining > 0) {
        const uint32_t chunk = std::min(remaining, kChecksumChunk);
        // Only the bytes the file has are read; the rest count as 0xFF.
        const uint64_t available = offset < binary.m_FileLength ? binary.m_FileLength - offset : 0;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(chunk, available));
        if (wanted != 0 && std::fread(buffer.data(), 1, wanted, binary.m_Stream) != wanted) {
            return ReadFailed(binary.m_Path);
        }
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(wanted), buffer.begin() + chunk + 4, 0xFF);
        sum ^= XorLe32Words(buffer.data(), chunk);
        offset += chunk;
        remaining -= chunk;
    }
    return true;
}

bool CFlasherBinary::Copy(CFlasherBinary& binary, uint8_t* blockBuffer, const std::wstring& storeName,
                          bool interleaved)
{
    if (binary.m_Mode == 2) {
        bool converted = true;
        if (binary.m_Stream) {
            std::wstring message;
            CImageConvert convert;
            converted = platform::SeekStream(binary.m_Stream, 0) &&
                        convert.ConvertYaffs2(binary.m_YaffsChecksum, storeName, binary.m_Stream,
                                              binary.m_PageGeometry, binary.m_SectorSize, message);
            if (!converted) {
                PrintLog(L"Error: %s\n", message.empty() ? L"Unable to read file: " + binary.m_Path : message);
            }
        }
        binary.CloseStream();
        return converted;
    }
    if (!binary.m_Stream) {
        return true;
    }
    const uint32_t sector = binary.m_SectorSize;
    if (sector == 0 || !platform::SeekStream(binary.m_Stream, 0)) {
        binary.CloseStream();
        return ReadFailed(binary.m_Path);
    }
    const uint32_t blockBytes = kSectorsPerBlock * sector;
    uint32_t remaining = binary.m_Length;
    uint64_t offset = 0;
    bool ok = true;
    while (ok && remaining > 0) {
        const uint32_t chunk = std::min(remaining, blockBytes);
        const uint64_t available = offset < binary.m_FileLength ? binary.m_FileLength - offset : 0;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(chunk, available));
        if (wanted != 0 && std::fread(blockBuffer, 1, wanted, binary.m_Stream) != wanted) {
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

#include "builder/PackageOutput.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <new>
#include <vector>

#include <openssl/crypto.h>

#include "builder/KxpFormat.h"
#include "builder/RsaKeyFile.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/FileRange.h"
#include "common/platform/FileSystem.h"

namespace {

// Header positions the front end reads or changes: the package records
// are the one description of the file's layout.
constexpr size_t kVersionOffset = offsetof(KXP_MasterHeader, Version);
constexpr size_t kVersionBytes = sizeof(KXP_MasterHeader::Version);
constexpr size_t kSectorSizeOffset = offsetof(KXP_MasterHeader, Sector_Size);
constexpr size_t kDeviceHeaderOffsetField = offsetof(KXP_MasterHeader, Device_Header_Offset);
constexpr size_t kDifferentialOffset = offsetof(KXP_DeviceHeader, Differential_Upgrade);
constexpr size_t kImageCountOffset = offsetof(KXP_DeviceHeader, nOfImages);
constexpr size_t kEntryFirstSectorOffset = offsetof(KXP_ImageEntry, First_Sector);
constexpr size_t kEntryLengthOffset = offsetof(KXP_ImageEntry, length);

constexpr uint32_t kSignatureImageId = 0x52534149;
constexpr uint32_t kSignatureEntryLength = 128;
const wchar_t kSignatureHash[] = L"SHA-160";
constexpr size_t kKeyNumberBytes = 256;

// An incomplete package must not look like a finished one. Only a plain
// file is removed: the output may also be a device such as a pipe.
void RemoveIncompleteOutput(const std::wstring& outputPath)
{
    if (platform::GetEntryType(outputPath) == platform::EntryType::kFile) {
        ForceDeleteFile(outputPath);
    }
}

int FailWrite(FILE* out, const std::wstring& outputPath)
{
    std::fclose(out);
    RemoveIncompleteOutput(outputPath);
    platform::Print(L"Write file failed:%s\n", outputPath);
    return 1;
}

bool WriteAll(FILE* out, const uint8_t* data, size_t length)
{
    return length == 0 || std::fwrite(data, 1, length, out) == length;
}

// The header sector lies within this prefix whatever the sector size.
constexpr size_t kHeaderPrefixBytes = 0x10000;
// What a copy the kernel refused moves at a time.
constexpr size_t kCopyChunk = 1u << 20;

// Copies the package in from offset to its size on into out, whose
// position is offset: inside the kernel where it can, else (a pipe or a
// device, another kind of file system) through a buffer. False when a read
// or write failed.
bool CopyPackageRest(FILE* in, uint64_t offset, uint64_t size, FILE* out)
{
    if (platform::CopyFileRange(in, offset, out, offset, size - offset)) {
        return platform::SeekStream(out, size);
    }
    // The kernel may have copied part of it: the buffer writes it all again.
    if (!platform::SeekStream(in, offset)) {
        return false;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size - offset, kCopyChunk)));
    for (uint64_t remaining = size - offset; remaining > 0;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, buffer.size()));
        if (std::fread(buffer.data(), 1, chunk, in) != chunk || !WriteAll(out, buffer.data(), chunk)) {
            return false;
        }
        remaining -= chunk;
    }
    return true;
}

// Reads the first length bytes of the intermediate file, a package of size
// bytes, and stamps them. False after a reported failure.
bool LoadPackage(const std::wstring& intermediatePath, size_t length, uint32_t size, const CommandLineOptions& options,
                 std::vector<uint8_t>& package, uint32_t& sectorSize)
{
    FILE* in = platform::OpenFile(intermediatePath, "rb");
    if (!in) {
        platform::Print(L"Open file failed:%s\n", intermediatePath);
        return false;
    }
    try {
        package.assign(length, 0);
    } catch (const std::bad_alloc&) {
        std::fclose(in);
        platform::Print(L"Malloc memory failed.\n");
        return false;
    }
    const size_t got = length ? std::fread(package.data(), 1, length, in) : 0;
    std::fclose(in);
    if (got != length) {
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return false;
    }
    if (!StampPackageHeader(package, size, options, sectorSize)) {
        ForceDeleteFile(intermediatePath);
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return false;
    }
    return true;
}

// Where the output may simply take the intermediate file's place, the
// package is not copied a second time: the intermediate becomes the output
// and only its stamped header is rewritten. The bytes are those a copy
// would write. Null when the move could not be made, with everything as it
// was; otherwise the output, open for writing at its end.
FILE* MoveIntoPlace(const std::wstring& intermediatePath, const std::wstring& outputPath, bool exists,
                    unsigned mode, const std::vector<uint8_t>& package, bool& failed)
{
    failed = false;
    if (!platform::RenameEntry(intermediatePath, outputPath)) {
        return nullptr;
    }
    if (exists) {
        platform::SetFileMode(outputPath, mode);
    }
    FILE* out = platform::OpenFile(outputPath, "r+b");
    if (!out) {
        RemoveIncompleteOutput(outputPath);
        platform::Print(L"Open file failed:%s\n", outputPath);
        failed = true;
        return nullptr;
    }
    uint64_t end = 0;  // only the move to the end is wanted
    if (!WriteAll(out, package.data(), std::min(package.size(), kHeaderPrefixBytes)) ||
        !platform::GetStreamEnd(out, end)) {
        FailWrite(out, outputPath);
        failed = true;
        return nullptr;
    }
    return out;
}

// The signature sector of the package: the signature, most significant
// byte first, then 0xFF to the sector's end. False when the key does not
// load or signing fails (the loader and signer report why).
bool SignStampedPackage(const uint8_t* package, uint64_t size, uint32_t sectorSize, const CRsaKeyFile& key,
                        std::vector<uint8_t>& sector)
{
    uint8_t publicExponent[kKeyNumberBytes] = {};
    uint8_t modulus[kKeyNumberBytes] = {};
    uint8_t privateExponent[kKeyNumberBytes] = {};
    key.GetPublicExponent(publicExponent);
    key.GetModulus(modulus);
    key.GetPrivateExponent(privateExponent);
    const int keyBytes = key.GetKeyBytes();

    // Room for the largest signature even when the sector is smaller.
    sector.assign(std::max<size_t>(sectorSize, kKeyNumberBytes), 0xFF);
    uint32_t signatureLength = 0;
    const bool signedOk = SignPackage(package, static_cast<uint32_t>(size), sector.data(),
                                      &signatureLength, kSignatureHash, privateExponent, publicExponent, modulus,
                                      keyBytes);
    OPENSSL_cleanse(privateExponent, sizeof(privateExponent));
    if (!signedOk || signatureLength > sectorSize) {
        return false;
    }
    ReverseBytes(sector.data(), sector.data() + signatureLength);
    sector.resize(sectorSize);
    return true;
}

}  // namespace

bool OutputIsInput(const std::wstring& outputPath, const std::wstring& inputPath, const wchar_t* kind)
{
    if (outputPath.empty() || inputPath.empty() || !platform::IsSameFile(outputPath, inputPath)) {
        return false;
    }
    platform::Print(L"Invalid Input,output file %s is the %s %s!\n", outputPath, kind, inputPath);
    return true;
}

bool StampPackage(std::vector<uint8_t>& package, const CommandLineOptions& options, uint32_t& sectorSize)
{
    return StampPackageHeader(package, package.size(), options, sectorSize);
}

bool StampPackageHeader(std::vector<uint8_t>& package, uint64_t packageSize, const CommandLineOptions& options,
                        uint32_t& sectorSize)
{
    if (package.size() < kKxpMasterHeaderBytes || package.size() > packageSize) {
        return false;
    }
    const uint64_t device = LoadLe32(package.data() + kDeviceHeaderOffsetField);
    sectorSize = LoadLe16(package.data() + kSectorSizeOffset);
    if (sectorSize == 0 || device + kKxpDeviceHeaderBytes > package.size()) {
        return false;
    }
    const uint32_t imageCount = LoadLe32(package.data() + device + kImageCountOffset);
    const uint64_t entry = device + kKxpDeviceHeaderBytes + uint64_t(kKxpImageEntryBytes) * imageCount;
    if (options.m_bKeyGiven) {
        // The signature entry belongs in the header sector; past it, it would
        // overwrite image data.
        const uint64_t headerEnd = std::min<uint64_t>(sectorSize, package.size());
        if (entry + kKxpImageEntryBytes > headerEnd) {
            return false;
        }
    }

    if (options.m_bVersionGiven) {
        const std::string bytes = VersionTextBytes(options.m_VersionText);
        const size_t count = std::min(bytes.size(), kVersionBytes);
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count),
                  package.begin() + static_cast<std::ptrdiff_t>(kVersionOffset));
        if (count < kVersionBytes) {
            package[kVersionOffset + count] = 0;
        }
    }
    if (options.m_bKeyGiven) {
        const size_t at = static_cast<size_t>(entry);
        StoreLe32(package.data() + at, kSignatureImageId);
        StoreLe32(package.data() + at + kEntryFirstSectorOffset, static_cast<uint32_t>(packageSize / sectorSize));
        StoreLe32(package.data() + at + kEntryLengthOffset, kSignatureEntryLength);
        StoreLe32(package.data() + static_cast<size_t>(device + kImageCountOffset), imageCount + 1);
    }
    StoreLe32(package.data() + static_cast<size_t>(device + kDifferentialOffset), options.m_DifferentialFlag);
    return true;
}

bool LoadSigningKey(CRsaKeyFile& key)
{
    // A key that did not load stays empty, and the signer refuses it with
    // its own message.
    key.Load();
    const uint8_t probe = 0;
    std::vector<uint8_t> sector;
    if (SignStampedPackage(&probe, 1, kKeyNumberBytes, key, sector)) {
        return true;
    }
    platform::Print(L"Calc signature failed\n");
    platform::Print(L"Tarvok for WEB failed......\n");
    return false;
}

namespace {

// The signer refused the key: nothing of the package stays.
int FailSigning(FILE* out, const std::wstring& intermediatePath, const std::wstring& outputPath)
{
    if (out) {
        std::fclose(out);
    }
    ForceDeleteFile(intermediatePath);
    RemoveIncompleteOutput(outputPath);
    platform::Print(L"Calc signature failed\n");
    platform::Print(L"Tarvok for WEB failed......\n");
    return 1;
}

}  // namespace

int WritePackageOutput(const std::wstring& intermediatePath, const std::wstring& outputPath,
                       const CommandLineOptions& options, const CRsaKeyFile* key)
{
    uint32_t size = 0;
    if (!GetFileSizeByPath(intermediatePath, size)) {
        // A package refused for its size (over 2 GiB - 1 bytes) is not left
        // behind in the program's folder.
        RemoveIncompleteOutput(intermediatePath);
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return 1;
    }
    bool exists = false;
    unsigned mode = 0;
    const bool movable = platform::CanReplaceFile(outputPath, exists, mode);
    // Only the header is stamped: the rest of the package is moved or
    // copied as it is, and loaded only where a copy is signed.
    std::vector<uint8_t> package;
    uint32_t sectorSize = 0;
    if (!LoadPackage(intermediatePath, std::min<size_t>(size, kHeaderPrefixBytes), size, options, package,
                     sectorSize)) {
        return 1;
    }

    FILE* out = nullptr;
    if (movable) {
        bool failed = false;
        out = MoveIntoPlace(intermediatePath, outputPath, exists, mode, package, failed);
        if (failed) {
            return 1;
        }
    }
    // A package whose header announces a signature sector is never left
    // without one.
    std::vector<uint8_t> signature;
    if (!out) {
        // A copy it is (another file system, say). The signature needs the
        // whole package in memory; otherwise the bytes past the stamped
        // header go from the intermediate to the output inside the kernel.
        if (options.m_bKeyGiven && package.size() != size &&
            !LoadPackage(intermediatePath, size, size, options, package, sectorSize)) {
            return 1;
        }
        if (options.m_bKeyGiven && (!key || !SignStampedPackage(package.data(), package.size(), sectorSize, *key,
                                                                signature))) {
            return FailSigning(nullptr, intermediatePath, outputPath);
        }
        // Opened before it is deleted: its bytes stay readable through it.
        FILE* rest = nullptr;
        if (package.size() != size) {
            rest = platform::OpenFile(intermediatePath, "rb");
            if (!rest) {
                platform::Print(L"Open file failed:%s\n", intermediatePath);
                return 1;
            }
        }
        ForceDeleteFile(intermediatePath);
        // A file that cannot be created is left alone: it may be the user's.
        out = platform::OpenFile(outputPath, "wb");
        if (!out) {
            if (rest) {
                std::fclose(rest);
            }
            platform::Print(L"Open file failed:%s\n", outputPath);
            return 1;
        }
        const bool written = WriteAll(out, package.data(), package.size()) &&
                             (!rest || CopyPackageRest(rest, package.size(), size, out));
        if (rest) {
            std::fclose(rest);
        }
        if (!written) {
            return FailWrite(out, outputPath);
        }
    } else if (options.m_bKeyGiven) {
        // The output now holds the stamped package: it is signed from there,
        // without a copy in memory.
        if (std::fflush(out) != 0) {
            return FailWrite(out, outputPath);
        }
        platform::MappedFile view;
        if (!key || !view.Map(out) || view.Size() != size ||
            !SignStampedPackage(view.Data(), view.Size(), sectorSize, *key, signature)) {
            return FailSigning(out, intermediatePath, outputPath);
        }
    }

    if (!signature.empty() && !WriteAll(out, signature.data(), signature.size())) {
        return FailWrite(out, outputPath);
    }
    if (std::fclose(out) != 0) {
        RemoveIncompleteOutput(outputPath);
        platform::Print(L"Write file failed:%s\n", outputPath);
        return 1;
    }
    platform::Print(L"\n\n");
    platform::Print(L"\nTarvok for WEB successfully....\n");
    return 0;
}

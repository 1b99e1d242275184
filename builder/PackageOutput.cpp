#include "builder/PackageOutput.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <new>

#include "builder/KxpFormat.h"
#include "builder/RsaKeyFile.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"
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

enum class MoveResult { kDone, kNotMoved, kFailed };

// An unsigned package whose output may simply take the intermediate file's
// place is not copied a second time: the intermediate becomes the output
// and only its stamped header is written. The bytes are those the copy
// would write. kNotMoved leaves everything as it was.
MoveResult MoveIntermediateToOutput(const std::wstring& intermediatePath, const std::wstring& outputPath,
                                    uint32_t size, const CommandLineOptions& options)
{
    bool exists = false;
    unsigned mode = 0;
    if (options.m_bKeyGiven || !platform::CanReplaceFile(outputPath, exists, mode)) {
        return MoveResult::kNotMoved;
    }
    FILE* in = platform::OpenFile(intermediatePath, "rb");
    if (!in) {
        return MoveResult::kNotMoved;
    }
    std::vector<uint8_t> header(std::min<size_t>(size, kHeaderPrefixBytes));
    const size_t got = header.empty() ? 0 : std::fread(header.data(), 1, header.size(), in);
    std::fclose(in);
    uint32_t sectorSize = 0;
    if (got != header.size() || !StampPackage(header, options, sectorSize)) {
        return MoveResult::kNotMoved;
    }
    if (!platform::RenameEntry(intermediatePath, outputPath)) {
        return MoveResult::kNotMoved;
    }
    if (exists) {
        platform::SetFileMode(outputPath, mode);
    }
    FILE* out = platform::OpenFile(outputPath, "r+b");
    if (!out) {
        RemoveIncompleteOutput(outputPath);
        platform::Print(L"Open file failed:%s\n", outputPath);
        return MoveResult::kFailed;
    }
    if (!WriteAll(out, header.data(), header.size())) {
        FailWrite(out, outputPath);
        return MoveResult::kFailed;
    }
    if (std::fclose(out) != 0) {
        RemoveIncompleteOutput(outputPath);
        platform::Print(L"Write file failed:%s\n", outputPath);
        return MoveResult::kFailed;
    }
    return MoveResult::kDone;
}

}  // namespace

bool StampPackage(std::vector<uint8_t>& package, const CommandLineOptions& options, uint32_t& sectorSize)
{
    if (package.size() < kKxpMasterHeaderBytes) {
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
        StoreLe32(package.data() + at + kEntryFirstSectorOffset, static_cast<uint32_t>(package.size() / sectorSize));
        StoreLe32(package.data() + at + kEntryLengthOffset, kSignatureEntryLength);
        StoreLe32(package.data() + static_cast<size_t>(device + kImageCountOffset), imageCount + 1);
    }
    StoreLe32(package.data() + static_cast<size_t>(device + kDifferentialOffset), options.m_DifferentialFlag);
    return true;
}

int WritePackageOutput(const std::wstring& intermediatePath, const std::wstring& outputPath,
                       const CommandLineOptions& options, const std::wstring& keyPath)
{
    uint32_t size = 0;
    if (!GetFileSizeByPath(intermediatePath, size)) {
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return 1;
    }
    switch (MoveIntermediateToOutput(intermediatePath, outputPath, size, options)) {
    case MoveResult::kDone:
        platform::Print(L"\n\n");
        platform::Print(L"\nTarvok for WEB successfully....\n");
        return 0;
    case MoveResult::kFailed:
        return 1;
    case MoveResult::kNotMoved:
        break;
    }
    FILE* in = platform::OpenFile(intermediatePath, "rb");
    if (!in) {
        platform::Print(L"Open file failed:%s\n", intermediatePath);
        return 1;
    }
    std::vector<uint8_t> package;
    try {
        package.resize(size);
    } catch (const std::bad_alloc&) {
        std::fclose(in);
        platform::Print(L"Malloc memory failed.\n");
        return 1;
    }
    const size_t got = size ? std::fread(package.data(), 1, size, in) : 0;
    std::fclose(in);
    if (got != size) {
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return 1;
    }
    ForceDeleteFile(intermediatePath);

    uint32_t sectorSize = 0;
    if (!StampPackage(package, options, sectorSize)) {
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return 1;
    }

    // A file that cannot be created is left alone: it may be the user's.
    FILE* out = platform::OpenFile(outputPath, "wb");
    if (!out) {
        platform::Print(L"Open file failed:%s\n", outputPath);
        return 1;
    }
    if (!WriteAll(out, package.data(), package.size())) {
        return FailWrite(out, outputPath);
    }

    if (options.m_bKeyGiven) {
        CRsaKeyFile key(keyPath);
        key.Load();
        uint8_t publicExponent[kKeyNumberBytes] = {};
        uint8_t modulus[kKeyNumberBytes] = {};
        uint8_t privateExponent[kKeyNumberBytes] = {};
        key.GetPublicExponent(publicExponent);
        key.GetModulus(modulus);
        key.GetPrivateExponent(privateExponent);
        const int keyBytes = key.GetKeyBytes();

        // Room for the largest signature even when the sector is smaller.
        std::vector<uint8_t> signature(std::max<size_t>(sectorSize, kKeyNumberBytes), 0xFF);
        uint32_t signatureLength = 0;
        const bool signedOk = SignPackage(package.data(), static_cast<uint32_t>(package.size()), signature.data(),
                                          &signatureLength, kSignatureHash, privateExponent, publicExponent,
                                          modulus, keyBytes);
        if (!signedOk || signatureLength > sectorSize) {
            std::fclose(out);
            platform::Print(L"Calc signature failed\n");
            platform::Print(L"Tarvok for WEB failed......\n");
            return 1;
        }
        ReverseBytes(signature.data(), signature.data() + signatureLength);
        if (!WriteAll(out, signature.data(), sectorSize)) {
            return FailWrite(out, outputPath);
        }
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

#include "builder/PackageOutput.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "builder/RsaKeyFile.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"

namespace {

// Header positions the front end reads or changes.
constexpr size_t kMasterHeaderBytes = 76;
constexpr size_t kVersionOffset = 0x0C;
constexpr size_t kVersionBytes = 12;
constexpr size_t kSectorSizeOffset = 0x22;
constexpr size_t kDeviceHeaderOffsetField = 0x3C;
constexpr size_t kDifferentialOffset = 232;  // in the device header
constexpr size_t kImageCountOffset = 240;    // in the device header
constexpr size_t kDeviceHeaderBytes = 244;
constexpr size_t kImageEntryBytes = 52;
constexpr size_t kEntryFirstSectorOffset = 20;
constexpr size_t kEntryLengthOffset = 24;

constexpr uint32_t kSignatureImageId = 0x52534149;
constexpr uint32_t kSignatureEntryLength = 128;
const wchar_t kSignatureHash[] = L"SHA-160";
constexpr size_t kKeyNumberBytes = 256;

uint32_t ReadLe32(const std::vector<uint8_t>& data, size_t offset)
{
    return static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
           (static_cast<uint32_t>(data[offset + 2]) << 16) | (static_cast<uint32_t>(data[offset + 3]) << 24);
}

uint16_t ReadLe16(const std::vector<uint8_t>& data, size_t offset)
{
    return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
}

void WriteLe32(std::vector<uint8_t>& data, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        data[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

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
    if (package.size() < kMasterHeaderBytes) {
        return false;
    }
    const uint64_t device = ReadLe32(package, kDeviceHeaderOffsetField);
    sectorSize = ReadLe16(package, kSectorSizeOffset);
    if (sectorSize == 0 || device + kDeviceHeaderBytes > package.size()) {
        return false;
    }
    const uint32_t imageCount = ReadLe32(package, static_cast<size_t>(device + kImageCountOffset));
    const uint64_t entry = device + kDeviceHeaderBytes + uint64_t(kImageEntryBytes) * imageCount;
    if (options.m_bKeyGiven) {
        // The signature entry belongs in the header sector; past it, it would
        // overwrite image data.
        const uint64_t headerEnd = std::min<uint64_t>(sectorSize, package.size());
        if (entry + kImageEntryBytes > headerEnd) {
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
        WriteLe32(package, at, kSignatureImageId);
        WriteLe32(package, at + kEntryFirstSectorOffset, static_cast<uint32_t>(package.size() / sectorSize));
        WriteLe32(package, at + kEntryLengthOffset, kSignatureEntryLength);
        WriteLe32(package, static_cast<size_t>(device + kImageCountOffset), imageCount + 1);
    }
    WriteLe32(package, static_cast<size_t>(device + kDifferentialOffset), options.m_DifferentialFlag);
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

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
#include "common/platform/OutputFile.h"
#include "common/platform/Stop.h"

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
// or write failed, or the run was asked to stop.
bool CopyPackageRest(FILE* in, uint64_t offset, uint64_t size, FILE* out)
{
    if (platform::CopyFileRange(in, offset, out, offset, size - offset)) {
        return platform::SeekStream(out, size);
    }
    // The kernel may have copied part of it: the buffer writes it all again.
    if (platform::StopRequested() || !platform::SeekStream(in, offset)) {
        return false;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size - offset, kCopyChunk)));
    for (uint64_t remaining = size - offset; remaining > 0;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, buffer.size()));
        if (platform::StopRequested() || std::fread(buffer.data(), 1, chunk, in) != chunk ||
            !WriteAll(out, buffer.data(), chunk)) {
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
    const platform::OpenedFile in(platform::OpenFile(intermediatePath, "rb"));
    if (!in.Get()) {
        platform::Print(L"Open file failed:%s\n", intermediatePath);
        return false;
    }
    try {
        package.assign(length, 0);
    } catch (const std::bad_alloc&) {
        platform::Print(L"Malloc memory failed.\n");
        return false;
    }
    if ((length ? std::fread(package.data(), 1, length, in.Get()) : 0) != length) {
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

int FailWrite(const std::wstring& path)
{
    platform::Print(L"Write file failed:%s\n", path);
    return 1;
}

// The package is finished in the tool's own work file "kxp.bin": stamped,
// and signed with its signature sector appended. Only then does it reach
// the output, by one rename where it can, so that until that moment an
// existing output stays as it was and a failed or stopped run never leaves
// half a package under the user's name.
class PackageDelivery {
public:
    PackageDelivery(const std::wstring& intermediatePath, const std::wstring& outputPath)
        : m_Intermediate(intermediatePath), m_Output(outputPath)
    {
    }
    PackageDelivery(const PackageDelivery&) = delete;
    PackageDelivery& operator=(const PackageDelivery&) = delete;
    // Whatever did not become the output goes: the work file and a
    // temporary copy beside the output.
    ~PackageDelivery()
    {
        m_Package.Close();
        m_Copy.Close();
        if (!m_CopyPath.empty()) {
            platform::RemoveFile(m_CopyPath);
        }
        if (platform::GetEntryType(m_Intermediate) == platform::EntryType::kFile) {
            ForceDeleteFile(m_Intermediate);
        }
    }

    // Writes the stamped header prefix and, with a key, appends the
    // signature sector. Prints why it failed.
    int Finish(const std::vector<uint8_t>& header, uint64_t size, uint32_t sectorSize, bool signing,
               const CRsaKeyFile* key)
    {
        m_Package = platform::OpenedFile(platform::OpenFile(m_Intermediate, "r+b"));
        if (!m_Package.Get()) {
            platform::Print(L"Open file failed:%s\n", m_Intermediate);
            return 1;
        }
        FILE* out = m_Package.Get();
        if (!WriteAll(out, header.data(), header.size()) || std::fflush(out) != 0) {
            return FailWrite(m_Output);
        }
        m_Size = size;
        if (!signing) {
            return 0;
        }
        if (platform::StopRequested()) {
            return 1;
        }
        std::vector<uint8_t> signature;
        {
            platform::MappedFile view;
            if (!key || !view.Map(out) || view.Size() != size ||
                !SignStampedPackage(view.Data(), view.Size(), sectorSize, *key, signature)) {
                // A stop is reported once, by the run.
                if (platform::StopRequested()) {
                    return 1;
                }
                platform::Print(L"Calc signature failed\n");
                platform::Print(L"Tarvok for WEB failed......\n");
                return 1;
            }
        }
        if (!platform::SeekStream(out, size) || !WriteAll(out, signature.data(), signature.size()) ||
            std::fflush(out) != 0) {
            return FailWrite(m_Output);
        }
        m_Size += signature.size();
        return 0;
    }

    // Puts the finished package at the output path. Prints why it failed.
    int Deliver()
    {
        // A link at the output keeps pointing where it did: the file it
        // leads to is the one replaced.
        const std::wstring target = platform::FollowLinks(m_Output);
        switch (platform::GetEntryType(target)) {
        case platform::EntryType::kFolder:
            platform::Print(L"Open file failed:%s\n", m_Output);
            return 1;
        case platform::EntryType::kOther:
            return WriteToDevice(target);
        default:
            return Replace(target);
        }
    }

private:
    // A device or a FIFO cannot be replaced: the package is written to it.
    int WriteToDevice(const std::wstring& target)
    {
        FILE* stream = nullptr;
        switch (platform::OpenDeviceForWriting(target, stream)) {
        case platform::DeviceOpen::kNoReader:
            platform::Print(L"Open file failed:%s has no reader\n", m_Output);
            return 1;
        case platform::DeviceOpen::kFailed:
            platform::Print(L"Open file failed:%s\n", m_Output);
            return 1;
        case platform::DeviceOpen::kOpened:
            break;
        }
        platform::OpenedFile device(stream);
        if (!CopyPackageRest(m_Package.Get(), 0, m_Size, device.Get()) || !device.Close()) {
            return FailWrite(m_Output);
        }
        return 0;
    }

    int Replace(const std::wstring& target)
    {
        unsigned mode = 0;
        const bool exists = platform::GetFileMode(target, mode);
        // A file the user may not write is not replaced behind its back.
        if (exists && !platform::IsWritable(target)) {
            platform::Print(L"Open file failed:%s\n", m_Output);
            return 1;
        }
        if (!m_Package.Close()) {
            return FailWrite(m_Output);
        }
        if (platform::IsSameFile(target, m_Intermediate)) {
            m_Intermediate.clear();
            return 0;
        }
        if (exists) {
            platform::SetFileMode(m_Intermediate, mode);
        }
        if (platform::StopRequested()) {
            return 1;
        }
        if (platform::RenameEntry(m_Intermediate, target)) {
            return 0;
        }
        // Another file system: a copy beside the output, renamed when whole.
        return CopyBeside(target, exists, mode);
    }

    int CopyBeside(const std::wstring& target, bool exists, unsigned mode)
    {
        platform::OpenedFile in(platform::OpenFile(m_Intermediate, "rb"));
        if (!in.Get()) {
            platform::Print(L"Open file failed:%s\n", m_Intermediate);
            return 1;
        }
        m_Copy = platform::OpenedFile(platform::CreateFileBeside(target, m_CopyPath));
        if (!m_Copy.Get()) {
            platform::Print(L"Open file failed:%s\n", m_Output);
            return 1;
        }
        if (!CopyPackageRest(in.Get(), 0, m_Size, m_Copy.Get()) || !m_Copy.Close()) {
            return FailWrite(m_Output);
        }
        if (exists) {
            platform::SetFileMode(m_CopyPath, mode);
        }
        if (platform::StopRequested()) {
            return 1;
        }
        if (!platform::RenameEntry(m_CopyPath, target)) {
            return FailWrite(m_Output);
        }
        m_CopyPath.clear();
        return 0;
    }

    std::wstring m_Intermediate;
    std::wstring m_Output;
    platform::OpenedFile m_Package;
    platform::OpenedFile m_Copy;
    std::wstring m_CopyPath;
    uint64_t m_Size = 0;
};

}  // namespace

int WritePackageOutput(const std::wstring& intermediatePath, const std::wstring& outputPath,
                       const CommandLineOptions& options, const CRsaKeyFile* key)
{
    uint32_t size = 0;
    if (!GetFileSizeByPath(intermediatePath, size)) {
        // A package refused for its size (over 2 GiB - 1 bytes) is not left
        // behind in the program's folder.
        if (platform::GetEntryType(intermediatePath) == platform::EntryType::kFile) {
            ForceDeleteFile(intermediatePath);
        }
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return 1;
    }
    // Only the header is stamped: the rest of the package stays where the
    // build put it.
    std::vector<uint8_t> header;
    uint32_t sectorSize = 0;
    if (!LoadPackage(intermediatePath, std::min<size_t>(size, kHeaderPrefixBytes), size, options, header,
                     sectorSize)) {
        return 1;
    }
    PackageDelivery delivery(intermediatePath, outputPath);
    if (delivery.Finish(header, size, sectorSize, options.m_bKeyGiven, key) != 0 || delivery.Deliver() != 0) {
        return 1;
    }
    platform::Print(L"\n\n");
    platform::Print(L"\nTarvok for WEB successfully....\n");
    return 0;
}

#include "builder/PackageOutput.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <new>
#include <vector>

#include <openssl/crypto.h>

#include "builder/KxpFormat.h"
#include "builder/RsaKeyFile.h"
#include "builder/RunStep.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/FileRange.h"
#include "common/platform/FileSystem.h"
#include "common/platform/OutputFile.h"
#include "common/platform/Path.h"
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
// Package sizes are 32-bit signed file positions; a larger work file is
// no package.
constexpr uint64_t kMaxPackageBytes = 0x7FFFFFFF;

// Copies the whole package in into the new file out: inside the kernel
// where it can, else (another kind of file system) through a buffer. False
// when a read or write failed, or the run was asked to stop.
bool CopyPackage(FILE* in, uint64_t size, FILE* out)
{
    if (platform::CopyFileRange(in, 0, out, 0, size)) {
        return true;
    }
    // The kernel may have copied part of it: the buffer writes it all again.
    if (platform::StopRequested() || !platform::SeekStream(in, 0)) {
        return false;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, kCopyChunk)));
    for (uint64_t remaining = size; remaining > 0;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, buffer.size()));
        if (platform::StopRequested() || std::fread(buffer.data(), 1, chunk, in) != chunk ||
            !WriteAll(out, buffer.data(), chunk)) {
            return false;
        }
        remaining -= chunk;
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

std::wstring GetIntermediatePackagePath()
{
    return platform::JoinFolderAndName(GetProgramFolder(), L"kxp.bin");
}

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

bool FailOpen(const std::wstring& path)
{
    platform::Print(L"Open file failed:%s\n", path);
    return false;
}

bool FailWrite(const std::wstring& path)
{
    platform::Print(L"Write file failed:%s\n", path);
    return false;
}

// How the finished package reaches its output.
enum class Way {
    kReplace,  // a rename; on another file system, of a copy beside it
    kStream,   // written as it stands
    kRefuse,   // "Open file failed:", and the output stays
};

// The way for what the output path leads to, as the README gives it, for
// any output and for the program's own "kxp.bin" as the output. A link at
// the output keeps pointing where it did: the file it leads to is the one
// replaced. Where the folder refuses the rename, Replace rewrites an
// existing file in place.
struct WayRow {
    platform::OutputKind kind;
    Way other;
    Way own;
};
constexpr WayRow kWays[] = {
    // what the path leads to         any other output  "kxp.bin"
    {platform::OutputKind::kNone, Way::kReplace, Way::kReplace},       // a new file
    {platform::OutputKind::kFile, Way::kReplace, Way::kReplace},       // whole; a second link keeps the old bytes
    {platform::OutputKind::kStream, Way::kStream, Way::kRefuse},       // a FIFO, pipe or device; a device node
    {platform::OutputKind::kFolder, Way::kRefuse, Way::kRefuse},       // stays
    {platform::OutputKind::kLinkLoop, Way::kRefuse, Way::kRefuse},     // stays
    {platform::OutputKind::kUnnamedFile, Way::kRefuse, Way::kRefuse},  // never written through a link of /proc
};

Way PickWay(const platform::OutputTarget& output)
{
    for (const WayRow& row : kWays) {
        if (row.kind == output.kind) {
            return output.own ? row.own : row.other;
        }
    }
    return Way::kRefuse;
}

// The package is finished in the build's work file: stamped, and signed
// with its signature sector appended. Only then does it reach the output,
// by one rename where it can, so that until that moment an existing output
// stays as it was and a failed or stopped run never leaves half a package
// under the user's name.
class PackageDelivery {
public:
    PackageDelivery(const std::wstring& intermediatePath, const std::wstring& outputPath)
        : m_Intermediate(intermediatePath), m_Output(outputPath)
    {
    }
    PackageDelivery(const PackageDelivery&) = delete;
    PackageDelivery& operator=(const PackageDelivery&) = delete;
    // The work file is the run's from the moment the build wrote it:
    // whatever did not become the output goes, the work file and a
    // temporary copy beside the output.
    ~PackageDelivery()
    {
        m_Package.Close();
        if (!m_CopyPath.empty()) {
            platform::RemoveFile(m_CopyPath);
        }
        if (!m_Intermediate.empty() && platform::GetEntryType(m_Intermediate) == platform::EntryType::kFile) {
            ForceDeleteFile(m_Intermediate);
        }
    }

    // Opens the work file, measures it and reads its header prefix,
    // stamped. Prints why it failed.
    bool Load(const CommandLineOptions& options, std::vector<uint8_t>& header, uint32_t& sectorSize)
    {
        m_Package = platform::OpenedFile(platform::OpenFile(m_Intermediate, "r+b"));
        if (!m_Package.Get()) {
            return FailLoad(L"Open file %s failed when get file size.");
        }
        uint64_t size = 0;
        if (!platform::GetStreamEnd(m_Package.Get(), size)) {
            return FailLoad(L"Seek in file %s failed when get file size.");
        }
        if (size > kMaxPackageBytes) {
            return FailLoad(L"File %s is too large to get its size.");
        }
        m_Size = size;
        const size_t length = static_cast<size_t>(std::min<uint64_t>(size, kHeaderPrefixBytes));
        try {
            header.assign(length, 0);
        } catch (const std::bad_alloc&) {
            platform::Print(L"Malloc memory failed.\n");
            return false;
        }
        size_t got = 0;
        if (!platform::ReadFileRange(m_Package.Get(), 0, header.data(), length, got) || got != length ||
            !StampPackageHeader(header, size, options, sectorSize)) {
            platform::Print(L"\nDoTarvok for WEB failed....\n");
            return false;
        }
        return true;
    }

    // Writes the stamped header prefix and, with a key, appends the
    // signature sector. Prints why it failed.
    bool Finish(const std::vector<uint8_t>& header, uint32_t sectorSize, bool signing, const CRsaKeyFile* key)
    {
        FILE* out = m_Package.Get();
        if (!platform::SeekStream(out, 0) || !WriteAll(out, header.data(), header.size()) ||
            std::fflush(out) != 0) {
            return FailWrite(m_Output);
        }
        if (!signing) {
            return true;
        }
        if (platform::StopRequested()) {
            return false;
        }
        std::vector<uint8_t> signature;
        {
            platform::MappedFile view;
            if (!key || !view.Map(out) || view.Size() != m_Size ||
                !SignStampedPackage(view.Data(), view.Size(), sectorSize, *key, signature)) {
                // A stop is reported once, by the run: the package is
                // not signed, so it goes nowhere.
                if (platform::StopRequested()) {
                    return false;
                }
                platform::Print(L"Calc signature failed\n");
                platform::Print(L"Tarvok for WEB failed......\n");
                return false;
            }
        }
        if (!platform::SeekStream(out, m_Size) || !WriteAll(out, signature.data(), signature.size()) ||
            std::fflush(out) != 0) {
            return FailWrite(m_Output);
        }
        m_Size += signature.size();
        return true;
    }

    // Puts the finished package at the output path. Prints why it failed.
    bool Deliver()
    {
        const platform::OutputTarget output = platform::ResolveOutput(m_Output, GetIntermediatePackagePath());
        switch (PickWay(output)) {
        case Way::kReplace:
            return Replace(output.entry);
        case Way::kStream:
            return WriteToDevice();
        case Way::kRefuse:
            break;
        }
        return FailOpen(m_Output);
    }

private:
    bool FailLoad(const wchar_t* format)
    {
        platform::Print(format, m_Intermediate);
        platform::Print(L"\nDoTarvok for WEB failed....\n");
        return false;
    }

    // The work file open again after it was closed for the rename.
    bool Reopen()
    {
        if (!m_Package.Get()) {
            m_Package = platform::OpenedFile(platform::OpenFile(m_Intermediate, "rb"));
        }
        return m_Package.Get() != nullptr || FailOpen(m_Intermediate);
    }

    // Writes the whole package to what is written as it stands. A stop
    // needs no message of its own: the run reports it.
    bool WriteAllTo(platform::DirectOutput& out)
    {
        std::vector<uint8_t> buffer;
        try {
            buffer.resize(static_cast<size_t>(std::min<uint64_t>(m_Size, kCopyChunk)));
        } catch (const std::bad_alloc&) {
            platform::Print(L"Malloc memory failed.\n");
            return false;
        }
        for (uint64_t offset = 0; offset < m_Size;) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(m_Size - offset, buffer.size()));
            size_t got = 0;
            if (!platform::ReadFileRange(m_Package.Get(), offset, buffer.data(), chunk, got) || got != chunk ||
                !out.Write(buffer.data(), chunk)) {
                return platform::StopRequested() ? false : FailWrite(m_Output);
            }
            offset += chunk;
        }
        return out.Close() || FailWrite(m_Output);
    }

    // A device, a pipe or a FIFO cannot be replaced: the package is
    // written to it.
    bool WriteToDevice()
    {
        platform::DirectOutput device;
        const platform::DeviceOpen opened = device.OpenDevice(m_Output);
        if (opened == platform::DeviceOpen::kNoReader) {
            platform::Print(L"Open file failed:%s has no reader\n", m_Output);
            return false;
        }
        return opened == platform::DeviceOpen::kOpened ? WriteAllTo(device) : FailOpen(m_Output);
    }

    bool Replace(const std::wstring& target)
    {
        // A link here is the program's own "kxp.bin": replaced, never
        // followed.
        unsigned mode = 0;
        const bool exists = platform::GetFileMode(target, mode);
        // A file the user may not write is not replaced behind its back.
        if (exists && !platform::IsWritable(target)) {
            return FailOpen(m_Output);
        }
        if (!m_Package.Close()) {
            return FailWrite(m_Output);
        }
        if (platform::IsSameFile(target, m_Intermediate)) {
            m_Intermediate.clear();
            return true;
        }
        if (exists) {
            platform::SetFileMode(m_Intermediate, mode);
        }
        if (platform::StopRequested()) {
            return false;
        }
        if (platform::RenameEntry(m_Intermediate, target)) {
            m_Intermediate.clear();
            return true;
        }
        const int code = platform::LastErrorCode();
        return platform::IsOtherFileSystemError(code) ? CopyBeside(target, exists, mode)
                                                      : RenameRefused(code, target, exists);
    }

    // Another file system: a copy beside the output, renamed when whole.
    bool CopyBeside(const std::wstring& target, bool exists, unsigned mode)
    {
        if (!Reopen()) {
            return false;
        }
        platform::OpenedFile copy(platform::CreateFileBeside(target, m_CopyPath));
        if (!copy.Get()) {
            return RenameRefused(platform::LastErrorCode(), target, exists);
        }
        if (!CopyPackage(m_Package.Get(), m_Size, copy.Get()) || !copy.Close()) {
            return platform::StopRequested() ? false : FailWrite(m_Output);
        }
        if (exists) {
            platform::SetFileMode(m_CopyPath, mode);
        }
        if (platform::StopRequested()) {
            return false;
        }
        if (platform::RenameEntry(m_CopyPath, target)) {
            m_CopyPath.clear();
            return true;
        }
        const int code = platform::LastErrorCode();
        platform::RemoveFile(m_CopyPath);
        m_CopyPath.clear();
        return RenameRefused(code, target, exists);
    }

    // The one fallback of a rename, or of the file beside the output, that
    // failed with code. Where the folder does not permit it (it takes no new
    // file, or it is a sticky one that lets this user add a file beside
    // someone else's but not replace it), an existing output is rewritten
    // in place, the one way left: it keeps its owner, mode and other links.
    // Any other reason (a missing folder, a file where a folder should be, a
    // name too long) has no way around it.
    bool RenameRefused(int code, const std::wstring& target, bool exists)
    {
        if (!exists || !platform::IsNotPermittedError(code)) {
            return FailOpen(m_Output);
        }
        if (platform::StopRequested() || !Reopen()) {
            return false;
        }
        platform::DirectOutput file;
        return file.OpenExisting(target) ? WriteAllTo(file) : FailOpen(m_Output);
    }

    std::wstring m_Intermediate;
    std::wstring m_Output;
    platform::OpenedFile m_Package;
    std::wstring m_CopyPath;
    uint64_t m_Size = 0;
};

}  // namespace

bool WritePackageOutput(const std::wstring& intermediatePath, const std::wstring& outputPath,
                        const CommandLineOptions& options, const CRsaKeyFile* key)
{
    // From here on the work file is the delivery's: it goes whatever fails.
    PackageDelivery delivery(intermediatePath, outputPath);
    // Only the header is stamped: the rest of the package stays where the
    // build put it.
    std::vector<uint8_t> header;
    uint32_t sectorSize = 0;
    if (!delivery.Load(options, header, sectorSize) || !delivery.Finish(header, sectorSize, options.m_bKeyGiven, key) ||
        !delivery.Deliver()) {
        return false;
    }
    platform::Print(L"\n\n");
    platform::Print(L"\nTarvok for WEB successfully....\n");
    return true;
}

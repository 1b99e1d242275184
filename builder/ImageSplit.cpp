#include "builder/ImageSplit.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "builder/ImageFile.h"
#include "builder/ImageFileNames.h"
#include "common/FileUtils.h"
#include "common/Print.h"
#include "common/TimLib.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"
#include "common/platform/Stop.h"
#include "timlib/ImageListParser.h"

namespace {

// One copy buffer per split keeps memory bounded whatever the image size.
constexpr size_t kCopyBlock = 0x800000;
// Sector numbers in layouts with 64-bit addresses count 512-byte sectors.
constexpr unsigned kSectorShift = 9;

// Whether the image's FlashAddress holds a sector number rather than a byte
// address. The reader keeps the byte form in layouts with 64-bit addresses
// only for the images the boot ROM finds by byte address; at address 0 the
// two forms read alike and the image's tag decides.
bool HasSectorFlashAddress(const CImageDescription& image)
{
    const uint64_t flash = StrToUInt64(image.FlashAddress);
    if (flash != StrToUInt64(image.FlashEntryAddress)) {
        return true;
    }
    if (flash != StrToUInt64(image.FlashEntrySector)) {
        return false;
    }
    return !IsByteAddressedTag(image.IdName);
}

// Copies count bytes from in to out through the buffer. A short read (the
// file shrank, or a read error) or a short write fails, reported.
bool CopyBytes(FILE* in, const std::wstring& inPath, FILE* out, const std::wstring& outPath, uint64_t count,
               std::vector<uint8_t>& buffer)
{
    while (count > 0) {
        if (platform::StopRequested()) {
            return false;
        }
        const size_t block = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
        if (std::fread(buffer.data(), 1, block, in) != block) {
            PrintLog(L"Unable to read file: %s\n", inPath);
            return false;
        }
        if (std::fwrite(buffer.data(), 1, block, out) != block) {
            PrintLog(L"Unable to write file: %s\n", outPath);
            return false;
        }
        count -= block;
    }
    return true;
}

using platform::OpenedFile;

// Writes the parts of one image (size bytes, open as in) and appends their
// descriptions to parts.
bool SplitOneImage(const CImageDescription& image, FILE* in, uint64_t size, uint32_t splitSize,
                   const std::wstring& tempFolder, const std::wstring& name, bool sectorAddresses,
                   std::vector<uint8_t>& buffer, ImageList& parts)
{
    const std::wstring& imagePath = image.ImagePath;
    const bool sectorForm = sectorAddresses && HasSectorFlashAddress(image);
    if (sectorAddresses && splitSize % (1u << kSectorShift) != 0) {
        PrintLog(L"Error: split size 0x%x is not a whole number of 512-byte sectors, so the parts of %s "
                 L"cannot be addressed.\n",
                 splitSize, imagePath);
        return false;
    }
    uint64_t address = StrToUInt64(image.GetFlashEntryAddress());
    uint64_t remaining = size;
    uint32_t erase = image.EraseSizeValue;
    for (unsigned k = 1; remaining > 0; ++k) {
        // Before the part's file is made, so a stop leaves no empty part.
        if (platform::StopRequested()) {
            return false;
        }
        auto part = std::make_unique<CImageDescription>(image);
        const std::wstring partPath = platform::JoinPath(tempFolder, std::to_wstring(k) + L"_" + name);
        // A work file: never written through what stood at its name.
        OpenedFile out(platform::CreateNewFile(partPath, "wb"));
        if (!out.Get()) {
            const int code = platform::LastErrorCode();
            ReportNameInTheWay(partPath);
            MessageBoxPrintf(L"Save %s Blf file Failed,Errorcode:%d", name, code);
            return false;
        }
        part->SetImagePath(partPath);
        const std::wstring sector = CTimLib::FormatHex32(static_cast<uint32_t>(address >> kSectorShift));
        if (sectorAddresses) {
            // The flash device takes some images' start from the sector form.
            part->SetFlashEntrySector(sector);
        }
        part->SetFlashAddress(sectorForm ? sector : CTimLib::FormatHex64(address));
        part->Changed = true;
        uint64_t count = 0;
        if (remaining > splitSize) {
            count = splitSize;
            part->ImageSize = splitSize;
            part->EraseSizeValue = splitSize;
            part->SetEraseSize(CTimLib::FormatHex32(splitSize));
        } else {
            count = remaining;
            part->ImageSize = static_cast<uint32_t>(remaining);
            part->EraseSizeValue = erase;
            part->SetEraseSize(CTimLib::FormatHex32(erase));
        }
        if (!CopyBytes(in, imagePath, out.Get(), partPath, count, buffer)) {
            return false;
        }
        if (!out.Close()) {
            PrintLog(L"Unable to write file: %s\n", partPath);
            return false;
        }
        remaining -= count;
        erase = erase > splitSize ? erase - splitSize : 0;
        address += count;
        parts.push_back(std::move(part));
    }
    return true;
}

// The size of an image's file, opened as in (null when the open failed,
// with the error code), with the stream back at its start. False after a
// reported failure.
bool MeasureImage(FILE* in, int code, const std::wstring& path, uint64_t& size)
{
    if (!in) {
        if (!ReportNotRegularImage(path, code)) {
            PrintLog(L"Error: Can't open  %s file!\n", path);
        }
        return false;
    }
    if (!platform::GetStreamEnd(in, size) || !platform::SeekStream(in, 0)) {
        PrintLog(L"Unable to read file: %s\n", path);
        return false;
    }
    return true;
}

// An enabled image's file, open from its start, and its size.
struct MeasuredImage {
    OpenedFile in;
    uint64_t size = 0;
};

// Opens and measures every enabled image, in list order, and checks that
// the images, split, stay within the package's limit. False after a
// reported failure.
bool MeasureImages(const CTimDescriptor& descriptor, uint32_t splitSize, std::vector<MeasuredImage>& measured)
{
    uint64_t count = 0;
    for (const std::unique_ptr<CImageDescription>& image : descriptor.m_Images) {
        if (!image->Enable) {
            continue;
        }
        const std::wstring path = image->GetImagePath();
        MeasuredImage m;
        m.in = OpenedFile(platform::OpenRegularFile(path));
        if (!MeasureImage(m.in.Get(), platform::LastErrorCode(), path, m.size)) {
            return false;
        }
        count += m.size <= splitSize ? 1 : (m.size - 1) / splitSize + 1;
        if (count > kMaxPackageImages) {
            PrintLog(kTooManyImagesMessage);
            return false;
        }
        measured.push_back(std::move(m));
    }
    return true;
}

}  // namespace

bool SplitImages(CTimDescriptor& descriptor, uint32_t splitSize, const std::wstring& tempFolder,
                 bool sectorAddresses)
{
    if (splitSize == 0) {
        PrintLog(L"Error: images cannot be split by a size of 0.\n");
        return false;
    }
    // One part file per byte of a size-1 split would flood the disk long
    // before the image limit was tested.
    std::vector<MeasuredImage> measured;
    if (!MeasureImages(descriptor, splitSize, measured)) {
        return false;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(kCopyBlock);
    } catch (const std::bad_alloc&) {
        PrintLog(L"Malloc memory failed.\n");
        return false;
    }
    ImageList images;
    CImageFileNames names;
    auto next = measured.begin();
    for (const std::unique_ptr<CImageDescription>& image : descriptor.m_Images) {
        if (!image->Enable) {
            continue;
        }
        const MeasuredImage& m = *next++;
        if (m.size <= splitSize) {
            images.push_back(std::make_unique<CImageDescription>(*image));
            continue;
        }
        // Parts are named after the image's file; an image whose file name
        // another split image already uses gets a distinct one.
        const std::wstring path = image->GetImagePath();
        const std::wstring name = names.Claim(CImageFileNames::FileNameOf(path));
        if (!SplitOneImage(*image, m.in.Get(), m.size, splitSize, tempFolder, name, sectorAddresses, buffer,
                           images)) {
            return false;
        }
    }
    descriptor.ClearImages();
    descriptor.ReplaceImages(images);
    return true;
}

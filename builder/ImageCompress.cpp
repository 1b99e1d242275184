#include "builder/ImageCompress.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "builder/ImageFileNames.h"
#include "common/Print.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"

#include <lzma/LzmaEnc.h>

namespace {

constexpr int kCompressionLevel = 5;
constexpr size_t kHeaderSize = LZMA_PROPS_SIZE + 8;

void* AllocBlock(void*, size_t size)
{
    return size == 0 ? nullptr : std::malloc(size);
}

void FreeBlock(void*, void* address)
{
    std::free(address);
}

ISzAlloc g_Allocator = {AllocBlock, FreeBlock};

// The encoder hands back the address of the interface member, which is the
// first member, so it is the address of the whole adapter.
struct FileInStream {
    ISeqInStream vt;
    FILE* file;
    uint64_t expected;  // the length written into the header
    uint64_t total;     // bytes handed to the encoder so far
};

struct FileOutStream {
    ISeqOutStream vt;
    FILE* file;
};

SRes ReadSource(void* p, void* buffer, size_t* size)
{
    FileInStream* in = static_cast<FileInStream*>(p);
    const size_t wanted = *size;
    const size_t got = wanted == 0 ? 0 : std::fread(buffer, 1, wanted, in->file);
    *size = got;
    if (std::ferror(in->file)) {
        return SZ_ERROR_READ;
    }
    in->total += got;
    // A source that grew or shrank since its length was taken would leave a
    // header that does not match the stream.
    if (in->total > in->expected || (wanted != 0 && got == 0 && in->total != in->expected)) {
        return SZ_ERROR_READ;
    }
    return SZ_OK;
}

size_t WriteTarget(void* p, const void* buffer, size_t size)
{
    FileOutStream* out = static_cast<FileOutStream*>(p);
    // A short count makes the encoder stop with SZ_ERROR_WRITE.
    return size == 0 ? 0 : std::fwrite(buffer, 1, size, out->file);
}

// 5 property bytes, then the source length least significant byte first.
SRes WriteHeader(CLzmaEncHandle encoder, uint64_t length, FILE* target)
{
    Byte header[kHeaderSize];
    SizeT propsSize = LZMA_PROPS_SIZE;
    const SRes res = LzmaEnc_WriteProperties(encoder, header, &propsSize);
    if (res != SZ_OK) {
        return res;
    }
    for (size_t i = 0; i < 8; ++i) {
        header[LZMA_PROPS_SIZE + i] = static_cast<Byte>(length >> (8 * i));
    }
    return std::fwrite(header, 1, kHeaderSize, target) == kHeaderSize ? SZ_OK : SZ_ERROR_WRITE;
}

SRes Encode(FILE* source, uint64_t length, FILE* target)
{
    CLzmaEncHandle encoder = LzmaEnc_Create(&g_Allocator);
    if (!encoder) {
        return SZ_ERROR_MEM;
    }
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = kCompressionLevel;
    SRes res = LzmaEnc_SetProps(encoder, &props);
    if (res == SZ_OK) {
        res = WriteHeader(encoder, length, target);
    }
    FileInStream in{{ReadSource}, source, length, 0};
    FileOutStream out{{WriteTarget}, target};
    if (res == SZ_OK) {
        res = LzmaEnc_Encode(encoder, &out.vt, &in.vt, nullptr, &g_Allocator, &g_Allocator);
    }
    LzmaEnc_Destroy(encoder, &g_Allocator, &g_Allocator);
    if (res == SZ_OK && in.total != length) {
        res = SZ_ERROR_READ;
    }
    return res;
}

void PrintEncoderError(SRes res)
{
    switch (res) {
    case SZ_ERROR_MEM:
        platform::Print(L"Can not allocate memory\n");
        break;
    case SZ_ERROR_DATA:
        platform::Print(L"Data error\n");
        break;
    case SZ_ERROR_WRITE:
        platform::Print(L"Can not write output file\n");
        break;
    case SZ_ERROR_READ:
        platform::Print(L"Can not read input file\n");
        break;
    default:
        break;
    }
}

}  // namespace

bool IsLzmaImageType(const std::wstring& type)
{
    return type == L"YAFFS_LZMA" || type == L"UBIFS_LZMA" || type == L"JFFS2_LZMA" || type == L"RAW_LZMA";
}

bool CompressSpecLzmaImage(ImageList& images, const std::wstring& folder)
{
    // Images of one layout may share a file name; each gets its own copy.
    CImageFileNames names;
    for (const std::unique_ptr<CImageDescription>& image : images) {
        // A disabled image never reaches the package: its file is not needed.
        if (!image->Enable || !IsLzmaImageType(image->ImageType)) {
            continue;
        }
        const std::wstring source = image->GetImagePath();
        const std::wstring target =
            platform::JoinPath(folder, names.Claim(CImageFileNames::FileNameOf(source)) + L".lzma");
        if (CompressFile(source, target) == 0) {
            PrintLog(L"Compress file failed:%s\n", source);
            return false;
        }
        image->SetImagePath(target);

        uint64_t length = 0;
        FILE* compressed = platform::OpenFile(target, "rb");
        if (!compressed || !platform::GetStreamEnd(compressed, length)) {
            PrintLog(L"Open file %s failed when get file size.", target);
            length = 0;
        }
        if (compressed) {
            std::fclose(compressed);
        }
        if (length > std::numeric_limits<uint32_t>::max()) {
            PrintLog(L"Compressed file %s is larger than 0xFFFFFFFF bytes, too large for an image.\n", target);
            return false;
        }
        image->ImageSize = static_cast<uint32_t>(length);
        image->Changed = true;
    }
    return true;
}

int CompressFile(const std::wstring& source, const std::wstring& target)
{
    FILE* in = platform::OpenFile(source, "rb");
    if (!in) {
        platform::Print(L"Can not open input file\n");
        return 0;
    }
    FILE* out = platform::OpenFile(target, "wb");
    if (!out) {
        std::fclose(in);
        platform::Print(L"Can not open output file\n");
        return 0;
    }

    uint64_t length = 0;
    SRes res = SZ_OK;
    if (!platform::GetStreamEnd(in, length) || !platform::SeekStream(in, 0)) {
        res = SZ_ERROR_READ;
    }
    if (res == SZ_OK) {
        res = Encode(in, length, out);
    }
    // Buffered bytes that cannot reach the disk make the file incomplete.
    const bool flushed = std::fflush(out) == 0 && !std::ferror(out);
    const bool closed = std::fclose(out) == 0;
    if (res == SZ_OK && !(flushed && closed)) {
        res = SZ_ERROR_WRITE;
    }
    std::fclose(in);

    if (res == SZ_OK) {
        return 1;
    }
    // Never leave a partial file behind, but never unlink a device or a link
    // that the target named.
    if (platform::GetEntryType(target) == platform::EntryType::kFile) {
        platform::RemoveFile(target);
    }
    PrintEncoderError(res);
    return 0;
}

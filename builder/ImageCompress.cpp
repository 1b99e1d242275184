#include "builder/ImageCompress.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

#include "builder/ImageFile.h"
#include "builder/ImageFileNames.h"
#include "builder/ParallelJobs.h"
#include "common/FileUtils.h"
#include "common/Print.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"
#include "common/platform/Stop.h"

#include <lzma/LzmaEnc.h>

namespace {

constexpr int kCompressionLevel = 5;
constexpr size_t kHeaderSize = LZMA_PROPS_SIZE + 8;
// An encoder takes about 11 times its dictionary; all that run at once
// stay within 2 GiB.
constexpr uint64_t kEncoderMemoryPerDictionary = 11;
constexpr uint64_t kEncodersMemory = uint64_t(2) << 30;

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

// Level 5, every other property at the SDK's default.
CLzmaEncProps EncoderProps()
{
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = kCompressionLevel;
    return props;
}

uint64_t EncoderDictionaryBytes()
{
    const CLzmaEncProps props = EncoderProps();
    return LzmaEncProps_GetDictSize(&props);
}

// Never a device or a link that the target named.
void RemoveCompressed(const std::wstring& target)
{
    if (platform::GetEntryType(target) == platform::EntryType::kFile) {
        platform::RemoveFile(target);
    }
}

// Lets a stopped run end in the middle of a large image; the encoder's
// output is not changed by it.
SRes ReportProgress(void*, UInt64, UInt64)
{
    return platform::StopRequested() ? SZ_ERROR_PROGRESS : SZ_OK;
}

ICompressProgress g_Progress = {ReportProgress};

SRes Encode(FILE* source, uint64_t length, FILE* target)
{
    CLzmaEncHandle encoder = LzmaEnc_Create(&g_Allocator);
    if (!encoder) {
        return SZ_ERROR_MEM;
    }
    const CLzmaEncProps props = EncoderProps();
    SRes res = LzmaEnc_SetProps(encoder, &props);
    if (res == SZ_OK) {
        res = WriteHeader(encoder, length, target);
    }
    FileInStream in{{ReadSource}, source, length, 0};
    FileOutStream out{{WriteTarget}, target};
    if (res == SZ_OK) {
        res = LzmaEnc_Encode(encoder, &out.vt, &in.vt, &g_Progress, &g_Allocator, &g_Allocator);
    }
    LzmaEnc_Destroy(encoder, &g_Allocator, &g_Allocator);
    if (res == SZ_OK && in.total != length) {
        res = SZ_ERROR_READ;
    }
    return res;
}

// How one compression ended; the step prints it in the images' order.
// kNotRegularInput: the source has become something else than a regular
// file since the checks.
enum class CompressFailure { kNone, kOpenInput, kNotRegularInput, kOpenOutput, kMemory, kData, kWrite, kRead, kOther };

CompressFailure FailureOf(SRes res)
{
    switch (res) {
    case SZ_OK:
        return CompressFailure::kNone;
    case SZ_ERROR_MEM:
        return CompressFailure::kMemory;
    case SZ_ERROR_DATA:
        return CompressFailure::kData;
    case SZ_ERROR_WRITE:
        return CompressFailure::kWrite;
    case SZ_ERROR_READ:
        return CompressFailure::kRead;
    default:
        return CompressFailure::kOther;
    }
}

// What the compression step prints for each failure; none for an encoder
// code that has no text of its own, nor for a source that is no regular
// file, which is said as the checks say it.
struct FailureText {
    CompressFailure failure;
    const wchar_t* text;
};

constexpr FailureText kFailureTexts[] = {
    {CompressFailure::kOpenInput, L"Can not open input file\n"},
    {CompressFailure::kOpenOutput, L"Can not open output file\n"},
    {CompressFailure::kMemory, L"Can not allocate memory\n"},
    {CompressFailure::kData, L"Data error\n"},
    {CompressFailure::kWrite, L"Can not write output file\n"},
    {CompressFailure::kRead, L"Can not read input file\n"},
};

void PrintFailure(CompressFailure failure)
{
    for (const FailureText& row : kFailureTexts) {
        if (row.failure == failure) {
            platform::Print(L"%s", row.text);
        }
    }
}

// How the target is opened: platform::OpenFile, or platform::CreateNewFile
// for a work file, which is never written through what stood at its name.
using TargetOpener = FILE* (*)(const std::wstring& path, const char* mode);

// CompressFile without a word on the console, so that it can run beside
// others: touches nothing but its two files.
CompressFailure CompressQuietly(const std::wstring& source, const std::wstring& target, TargetOpener openTarget)
{
    const platform::OpenedFile in(platform::OpenRegularFile(source));
    if (!in.Get()) {
        return platform::IsNotRegularFileError(platform::LastErrorCode()) ? CompressFailure::kNotRegularInput
                                                                           : CompressFailure::kOpenInput;
    }
    platform::OpenedFile out(openTarget(target, "wb"));
    if (!out.Get()) {
        return CompressFailure::kOpenOutput;
    }

    uint64_t length = 0;
    SRes res = SZ_OK;
    if (!platform::GetStreamEnd(in.Get(), length) || !platform::SeekStream(in.Get(), 0)) {
        res = SZ_ERROR_READ;
    }
    if (res == SZ_OK) {
        res = Encode(in.Get(), length, out.Get());
    }
    // Buffered bytes that cannot reach the disk make the file incomplete.
    const bool flushed = std::fflush(out.Get()) == 0 && !std::ferror(out.Get());
    const bool closed = out.Close();
    if (res == SZ_OK && !(flushed && closed)) {
        res = SZ_ERROR_WRITE;
    }
    if (res != SZ_OK) {
        RemoveCompressed(target);
    }
    return FailureOf(res);
}

// One image of an LZMA type on its way to its compressed copy.
struct CompressJob {
    CImageDescription* image = nullptr;
    std::wstring source;
    std::wstring target;
    bool ran = false;
    CompressFailure failure = CompressFailure::kNone;
    std::exception_ptr error;  // what the compression threw, if it did
};

// Run after every encoder has finished, image by image in list order:
// reports the job's failure and returns false, or points the image at its
// compressed copy and takes the copy's size.
bool FinishImage(const CompressJob& job)
{
    if (job.failure != CompressFailure::kNone) {
        if (job.failure == CompressFailure::kOpenOutput) {
            ReportNameInTheWay(job.target);
        }
        // Said as the checks say it; the table has no line of its own for it.
        if (job.failure == CompressFailure::kNotRegularInput) {
            LogNotRegularImage(job.source);
        }
        PrintFailure(job.failure);
        PrintLog(L"Compress file failed:%s\n", job.source);
        return false;
    }
    CImageDescription& image = *job.image;
    image.SetImagePath(job.target);

    uint64_t length = 0;
    const platform::OpenedFile compressed(platform::OpenRegularFile(job.target));
    if (!compressed.Get() || !platform::GetStreamEnd(compressed.Get(), length)) {
        PrintLog(L"Open file %s failed when get file size.", job.target);
        length = 0;
    }
    if (length > std::numeric_limits<uint32_t>::max()) {
        PrintLog(L"Compressed file %s is larger than 0xFFFFFFFF bytes, too large for an image.\n", job.target);
        return false;
    }
    image.ImageSize = static_cast<uint32_t>(length);
    image.Changed = true;
    return true;
}

// Whether an image's file is the compressed copy that another image of the
// list gets: a file there already, so the two are one file only then.
bool ReadsAnotherCopy(const std::vector<CompressJob>& jobs)
{
    for (size_t i = 0; i < jobs.size(); ++i) {
        for (size_t j = 0; j < jobs.size(); ++j) {
            if (i != j && platform::IsSameFile(jobs[i].source, jobs[j].target)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool IsLzmaImageType(const std::wstring& type)
{
    return type == L"YAFFS_LZMA" || type == L"UBIFS_LZMA" || type == L"JFFS2_LZMA" || type == L"RAW_LZMA";
}

size_t LzmaWorkers(size_t images, size_t cores, uint64_t dictionaryBytes)
{
    const uint64_t perEncoder = kEncoderMemoryPerDictionary * std::max<uint64_t>(dictionaryBytes, 1);
    const uint64_t byMemory = std::max<uint64_t>(kEncodersMemory / perEncoder, 1);
    return static_cast<size_t>(std::max<uint64_t>(std::min<uint64_t>({images, cores, byMemory}), 1));
}

bool CompressLzmaTypeImages(ImageList& images, const std::wstring& folder)
{
    return CompressLzmaTypeImages(images, folder, CoreCount());
}

bool CompressLzmaTypeImages(ImageList& images, const std::wstring& folder, size_t cores)
{
    // Images of one layout may share a file name; each gets its own copy.
    CImageFileNames names;
    std::vector<CompressJob> jobs;
    for (const std::unique_ptr<CImageDescription>& image : images) {
        // A disabled image never reaches the package: its file is not needed.
        if (!image->Enable || !IsLzmaImageType(image->ImageType)) {
            continue;
        }
        CompressJob job;
        job.image = image.get();
        job.source = image->GetImagePath();
        job.target = platform::JoinPath(folder, names.Claim(CImageFileNames::FileNameOf(job.source)) + L".lzma");
        jobs.push_back(std::move(job));
    }

    // The images are compressed side by side (as many encoders at once as
    // LzmaWorkers allows); their messages are printed afterwards in list
    // order, so the output is that of compressing them one after another.
    // When an image's file is another image's copy (left from an earlier
    // run), the encoders run one at a time in list order, so that file is
    // never read while it is being rewritten.
    const size_t workers = ReadsAnotherCopy(jobs) ? 1 : LzmaWorkers(jobs.size(), cores, EncoderDictionaryBytes());
    RunJobs(jobs.size(), workers, [&jobs](size_t i) {
        CompressJob& job = jobs[i];
        job.ran = true;
        try {
            job.failure = CompressQuietly(job.source, job.target, platform::CreateNewFile);
        } catch (...) {
            // Raised again below, in list order, like any other failure.
            job.error = std::current_exception();
            return false;
        }
        return job.failure == CompressFailure::kNone;
    });
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].error || !FinishImage(jobs[i])) {
            // The first failure in list order ends the step: the copies of
            // the images after it are removed, as if never made.
            for (size_t later = i + 1; later < jobs.size(); ++later) {
                if (jobs[later].ran) {
                    RemoveCompressed(jobs[later].target);
                }
            }
            if (jobs[i].error) {
                // Its own copy was cut short.
                RemoveCompressed(jobs[i].target);
                std::rethrow_exception(jobs[i].error);
            }
            return false;
        }
    }
    return true;
}

int CompressFile(const std::wstring& source, const std::wstring& target)
{
    const CompressFailure failure = CompressQuietly(source, target, platform::OpenFile);
    PrintFailure(failure);
    return failure == CompressFailure::kNone ? 1 : 0;
}

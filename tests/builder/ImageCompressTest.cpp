// Every ".lzma" file made here is decoded by xz, a decoder that shares no
// code with the encoder, and compared with its source.
#include "builder/ImageCompress.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/platform/Path.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/TestSupport.h"
#include "support/XzDecode.h"
#include "timlib/ImageDescription.h"

namespace {

using testsupport::Capture;
using testsupport::FileExists;
using testsupport::Outcome;
using testsupport::Pattern;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

struct Decoded {
    bool ok = false;
    std::string bytes;
};

Decoded XzDecode(const std::string& path)
{
    Decoded decoded;
    decoded.ok = testsupport::XzDecode(path, decoded.bytes);
    return decoded;
}

// 5 property bytes (lc 3, lp 0, pb 2; a 16 MiB dictionary) and the source
// length as 8 bytes, least significant first.
void ExpectHeader(const std::string& lzma, uint64_t length)
{
    ASSERT_GE(lzma.size(), 13u);
    EXPECT_EQ(lzma.substr(0, 5), std::string("\x5D\x00\x00\x00\x01", 5));
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(static_cast<uint8_t>(lzma[5 + i]), static_cast<uint8_t>(length >> (8 * i))) << "length byte " << i;
    }
}

// The .lzma file decodes to the source, behind a correct header.
void ExpectCompressedCopy(const std::string& lzmaPath, const std::string& source)
{
    ExpectHeader(ReadFile(lzmaPath), source.size());
    const Decoded decoded = XzDecode(lzmaPath);
    EXPECT_TRUE(decoded.ok) << lzmaPath;
    EXPECT_TRUE(decoded.bytes == source) << lzmaPath << ": decoded " << decoded.bytes.size() << " bytes of "
                                         << source.size();
}

// Runs of noise between runs of repeated text, so that the encoder meets
// both matches and literals.
std::string MixedBytes(size_t size)
{
    std::string bytes;
    for (uint32_t seed = 1; bytes.size() < size; ++seed) {
        bytes += Pattern(1000 + seed * 7919 % 60000, seed);
        const std::string text = "block " + std::to_string(seed) + " of the image; ";
        for (uint32_t n = seed * 104729 % 4000; n > 0; --n) {
            bytes += text;
        }
    }
    bytes.resize(size);
    return bytes;
}

Outcome Compress(const std::string& source, const std::string& target)
{
    return Capture([&] { return CompressFile(Wide(source), Wide(target)) == 1; });
}

TEST(CompressFileTest, CopiesDecodeToTheirSource)
{
    struct Case {
        const char* what;
        std::string bytes;
        bool staleTarget;  // a longer file is already where the target goes
    };
    const Case cases[] = {
        {"empty", "", false},
        {"one byte", "x", true},
        {"noise", Pattern(70000, 5), false},
        {"mixed, a few MiB", MixedBytes(3 * 1024 * 1024 + 17), true},
    };
    const TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string source = temp.File("source.bin");
        const std::string target = temp.File("source.bin.lzma");
        WriteFile(source, c.bytes);
        if (c.staleTarget) {
            WriteFile(target, std::string(c.bytes.size() + 100000, 'z'));
        }
        const Outcome o = Compress(source, target);
        EXPECT_TRUE(o.result);
        EXPECT_EQ(o.out, "");
        ExpectCompressedCopy(target, c.bytes);
        EXPECT_EQ(ReadFile(source), c.bytes);
    }
}

TEST(CompressFileTest, FilesThatCannotBeOpened)
{
    const TempFolder temp;
    const std::string source = temp.File("source.bin");
    WriteFile(source, "data");
    struct Case {
        const char* what;
        std::string source, target, out;
    };
    const Case cases[] = {
        {"missing source", temp.File("missing.bin"), temp.File("t.lzma"), "Can not open input file\n"},
        {"source is a folder", temp.Path(), temp.File("t.lzma"), "Can not open input file\n"},
        {"target in a missing folder", source, temp.File("missing/t.lzma"), "Can not open output file\n"},
        {"target is a folder", source, temp.Path(), "Can not open output file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = Compress(c.source, c.target);
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, c.out);
        EXPECT_FALSE(FileExists(temp.File("t.lzma")));
    }
    EXPECT_EQ(ReadFile(source), "data");
}

TEST(CompressFileTest, FullDeviceIsAWriteErrorAndStays)
{
    struct stat st;
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
    const TempFolder temp;
    // A small copy fails only when the buffered bytes are flushed; a larger
    // one already in the encoder's writes.
    for (size_t size : {size_t{10}, size_t{200000}}) {
        SCOPED_TRACE(size);
        const std::string source = temp.File("source.bin");
        WriteFile(source, Pattern(size, 9));
        const Outcome o = Compress(source, "/dev/full");
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, "Can not write output file\n");
        ASSERT_EQ(stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
}

TEST(CompressFileTest, FullDiskRemovesThePartialFile)
{
    const TempFolder temp;
    const std::string source = temp.File("source.bin");
    const std::string target = temp.File("source.bin.lzma");
    const std::string bytes = Pattern(300000, 4);
    WriteFile(source, bytes);
    // The file size limit stands for the full disk; it is set in a child so
    // that the test process keeps writing freely.
    testing::internal::CaptureStdout();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{50000, 50000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
        _exit(CompressFile(Wide(source), Wide(target)) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: no limit";
    EXPECT_EQ(out, "Can not write output file\n");
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(ReadFile(source), bytes);
}

TEST(CompressFileTest, SourceWhoseLengthIsNotItsContent)
{
    // Kernel files: a status file cannot seek to its end; a device attribute
    // claims a page but holds a few bytes. Either way the header's length
    // would not match the stream.
    const TempFolder temp;
    const std::string target = temp.File("t.lzma");
    int tried = 0;
    for (const char* source : {"/proc/self/status", "/sys/devices/system/cpu/online"}) {
        SCOPED_TRACE(source);
        FILE* probe = std::fopen(source, "rb");
        if (!probe) continue;
        const bool seeks = std::fseek(probe, 0, SEEK_END) == 0;
        const long claimed = seeks ? std::ftell(probe) : -1;
        std::fclose(probe);
        if (seeks && static_cast<size_t>(claimed) == ReadFile(source).size()) continue;
        ++tried;
        const Outcome o = Compress(source, target);
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, "Can not read input file\n");
        EXPECT_FALSE(FileExists(target));
    }
    if (tried == 0) GTEST_SKIP() << "no such kernel file here";
}

std::unique_ptr<CImageDescription> MakeImage(const std::string& path, const std::wstring& type, bool enable = true)
{
    auto image = std::make_unique<CImageDescription>();
    image->ImagePath = Wide(path);
    image->ImageType = type;
    image->Enable = enable;
    image->ImageSize = 1234;
    image->Changed = false;
    return image;
}

// A work folder and images whose files lie beside it.
class CompressLzmaTypeImagesTest : public testing::Test {
protected:
    std::string Image(const std::string& name, const std::string& bytes)
    {
        const std::string path = temp.File(name);
        WriteFile(path, bytes);
        return path;
    }

    Outcome Run()
    {
        return Capture([&] { return CompressLzmaTypeImages(images, Wide(work)); });
    }

    std::wstring Target(const std::wstring& name) const { return platform::JoinPath(Wide(work), name); }

    // The image points at its compressed copy, which decodes to the source
    // and is the same bytes as compressing the source alone: images are
    // compressed side by side.
    void ExpectCompressed(const CImageDescription& image, const std::wstring& name, const std::string& source,
                          const std::wstring& type)
    {
        EXPECT_EQ(image.ImagePath, Target(name));
        const std::string copy = platform::ToNativePath(image.ImagePath);
        ExpectCompressedCopy(copy, source);
        const std::string alone = temp.File("alone.lzma");
        WriteFile(temp.File("alone.bin"), source);
        ASSERT_TRUE(Compress(temp.File("alone.bin"), alone).result);
        EXPECT_TRUE(ReadFile(alone) == ReadFile(copy));
        EXPECT_EQ(image.ImageSize, ReadFile(copy).size());
        EXPECT_TRUE(image.Changed);
        EXPECT_EQ(image.ImageType, type);
    }

    void ExpectUntouched(const CImageDescription& image, const std::string& path)
    {
        EXPECT_EQ(image.ImagePath, Wide(path));
        EXPECT_EQ(image.ImageSize, 1234u);
        EXPECT_FALSE(image.Changed);
    }

    TempFolder temp;
    const std::string work = temp.File("AbsBlfTemp");
    ImageList images;

    void SetUp() override { ASSERT_EQ(mkdir(work.c_str(), 0700), 0); }
};

TEST_F(CompressLzmaTypeImagesTest, OnlyTheFourLzmaTypesAreCompressed)
{
    const std::vector<std::wstring> lzma = {L"YAFFS_LZMA", L"UBIFS_LZMA", L"JFFS2_LZMA", L"RAW_LZMA"};
    const std::vector<std::wstring> others = {L"yaffs_lzma", L"RAW", L"Raw_Lzma", L"RAW_LZMA ", L"LZMA", L""};
    std::vector<std::string> bytes, paths;
    for (size_t i = 0; i < lzma.size() + others.size(); ++i) {
        // Compressed images of several sizes, one of them empty.
        bytes.push_back(i == 2 ? std::string() : MixedBytes(i < lzma.size() ? 150000 + 70000 * i : 20000 + 1000 * i));
        paths.push_back(Image("image" + std::to_string(i) + ".bin", bytes.back()));
        images.push_back(MakeImage(paths.back(), i < lzma.size() ? lzma[i] : others[i - lzma.size()]));
    }
    const Outcome o = Run();
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.out, "");
    size_t i = 0;
    for (const std::unique_ptr<CImageDescription>& image : images) {
        SCOPED_TRACE(i);
        if (i < lzma.size()) {
            ExpectCompressed(*image, Wide("image" + std::to_string(i) + ".bin.lzma"), bytes[i], lzma[i]);
        } else {
            ExpectUntouched(*image, paths[i]);
            EXPECT_EQ(image->ImageType, others[i - lzma.size()]);
        }
        EXPECT_EQ(ReadFile(paths[i]), bytes[i]);
        ++i;
    }
    std::vector<std::string> made;
    for (size_t n = 0; n < paths.size(); ++n) {
        if (FileExists(work + "/image" + std::to_string(n) + ".bin.lzma")) made.push_back(std::to_string(n));
    }
    EXPECT_EQ(made, (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST_F(CompressLzmaTypeImagesTest, DisabledImagesAreLeftAlone)
{
    const std::string present = Image("present.bin", "disabled but there");
    const std::string missing = temp.File("missing.bin");
    images.push_back(MakeImage(present, L"RAW_LZMA", false));
    images.push_back(MakeImage(missing, L"YAFFS_LZMA", false));
    const std::string enabled = MixedBytes(5000);
    images.push_back(MakeImage(Image("enabled.bin", enabled), L"UBIFS_LZMA"));
    const Outcome o = Run();
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.out, "");
    auto it = images.begin();
    ExpectUntouched(**it++, present);
    ExpectUntouched(**it++, missing);
    ExpectCompressed(**it, L"enabled.bin.lzma", enabled, L"UBIFS_LZMA");
    EXPECT_FALSE(FileExists(work + "/present.bin.lzma"));
    EXPECT_FALSE(FileExists(work + "/missing.bin.lzma"));
}

TEST_F(CompressLzmaTypeImagesTest, SameFileNameInTwoFoldersGivesTwoCopies)
{
    ASSERT_EQ(mkdir(temp.File("one").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(temp.File("two").c_str(), 0700), 0);
    const std::string first = MixedBytes(30000), second = Pattern(30000, 2);
    images.push_back(MakeImage(Image("one/a.bin", first), L"RAW_LZMA"));
    Image("two/a.bin", second);
    // Written as a Windows path: the file name follows the backslash.
    images.push_back(MakeImage(temp.Path() + "\\two\\a.bin", L"JFFS2_LZMA"));
    const Outcome o = Run();
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.out, "");
    ExpectCompressed(*images.front(), L"a.bin.lzma", first, L"RAW_LZMA");
    ExpectCompressed(*images.back(), L"a(2).bin.lzma", second, L"JFFS2_LZMA");
}

TEST_F(CompressLzmaTypeImagesTest, FailureStopsTheWalk)
{
    struct Case {
        const char* what;
        bool sourceMissing;
        std::string folder;
        std::string out;
    };
    const Case cases[] = {
        {"image file missing", true, work, "Can not open input file\n"},
        {"work folder missing", false, temp.File("gone"), "Can not open output file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        images.clear();
        const std::string path = c.sourceMissing ? temp.File("missing.bin") : Image("bad.bin", "data");
        const std::string later = Image("later.bin", "later");
        images.push_back(MakeImage(path, L"RAW_LZMA"));
        images.push_back(MakeImage(later, L"RAW_LZMA"));
        const Outcome o = Capture([&] { return CompressLzmaTypeImages(images, Wide(c.folder)); });
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, c.out + "Compress file failed:" + path + "\n");
        ExpectUntouched(*images.front(), path);
        ExpectUntouched(*images.back(), later);
    }
}

// Whichever image fails first in the list is the one reported, with the
// messages of images compressed in list order up to it; the images after it
// keep their files and get no compressed copy, even when it was made
// meanwhile.
TEST_F(CompressLzmaTypeImagesTest, FirstFailingImageInListOrderIsReported)
{
    struct Case {
        const char* what;
        std::vector<size_t> failing;
    };
    const Case cases[] = {
        {"the first image", {0}},
        {"a middle image, another after it", {2, 4}},
        {"the last image", {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        images.clear();
        std::filesystem::remove_all(work);
        ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
        std::vector<std::string> paths;
        for (size_t i = 0; i < 6; ++i) {
            const bool fails = std::find(c.failing.begin(), c.failing.end(), i) != c.failing.end();
            // A missing file, and a folder, which cannot be opened either.
            const std::string name = "image" + std::to_string(i) + ".bin";
            paths.push_back(!fails ? Image(name, MixedBytes(100000 + 5000 * i))
                            : i % 2 ? temp.File("missing.bin")
                                    : temp.Path());
            images.push_back(MakeImage(paths.back(), L"RAW_LZMA"));
        }
        const size_t first = c.failing.front();
        const Outcome o = Run();
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.out, "Can not open input file\nCompress file failed:" + paths[first] + "\n");
        std::vector<std::string> expected, made;
        size_t i = 0;
        for (const std::unique_ptr<CImageDescription>& image : images) {
            SCOPED_TRACE(i);
            const std::string name = "image" + std::to_string(i) + ".bin.lzma";
            if (i < first) {
                EXPECT_EQ(image->ImagePath, Target(Wide(name)));
                expected.push_back(name);
            } else {
                ExpectUntouched(*image, paths[i]);
            }
            ++i;
        }
        for (const auto& entry : std::filesystem::directory_iterator(work)) {
            made.push_back(entry.path().filename().string());
        }
        std::sort(made.begin(), made.end());
        EXPECT_EQ(made, expected);
    }
}

// A build with several LZMA images ends as one that compressed them one
// after another: the same result and console text, the same image paths
// and sizes, and the same files with the same bytes in the work folder.
TEST_F(CompressLzmaTypeImagesTest, SideBySideEndsAsOneAfterAnother)
{
    enum class Source { kFile, kMissing, kFolder };
    struct Spec {
        std::string file;  // within the temporary folder
        Source source;
        size_t size;
        std::wstring type;
    };
    struct Case {
        const char* what;
        std::vector<Spec> images;
    };
    const Case cases[] = {
        {"every image compressed, one of another type among them",
         {{"a.bin", Source::kFile, 300000, L"RAW_LZMA"},
          {"b.bin", Source::kFile, 1000, L"UBIFS_LZMA"},
          {"raw.bin", Source::kFile, 2000, L"RAW"},
          {"c.bin", Source::kFile, 0, L"JFFS2_LZMA"},
          {"d.bin", Source::kFile, 200000, L"YAFFS_LZMA"}}},
        {"an image in the middle that cannot be read",
         {{"a.bin", Source::kFile, 200000, L"RAW_LZMA"},
          {"b.bin", Source::kFile, 100000, L"RAW_LZMA"},
          {"missing.bin", Source::kMissing, 0, L"RAW_LZMA"},
          {"c.bin", Source::kFile, 300000, L"RAW_LZMA"},
          {"d.bin", Source::kFile, 1000, L"RAW_LZMA"}}},
        {"a folder in the middle, a missing image after it",
         {{"a.bin", Source::kFile, 1000, L"RAW_LZMA"},
          {"folder", Source::kFolder, 0, L"RAW_LZMA"},
          {"b.bin", Source::kFile, 200000, L"RAW_LZMA"},
          {"missing.bin", Source::kMissing, 0, L"RAW_LZMA"}}},
        {"an image that is the copy another image gets, left from an earlier run",
         {{"AbsBlfTemp/b.bin.lzma", Source::kFile, 3000000, L"RAW_LZMA"},
          {"b.bin", Source::kFile, 1000000, L"RAW_LZMA"}}},
        {"one image", {{"a.bin", Source::kFile, 100000, L"RAW_LZMA"}}},
    };
    struct Result {
        bool result;
        std::string out;
        std::vector<std::string> images;
        std::vector<std::string> files;
    };
    const auto run = [&](const Case& c, size_t cores) {
        std::filesystem::remove_all(work);
        EXPECT_EQ(mkdir(work.c_str(), 0700), 0);
        images.clear();
        for (const Spec& spec : c.images) {
            const std::string path = temp.File(spec.file);
            std::filesystem::remove_all(path);
            if (spec.source == Source::kFile) {
                WriteFile(path, MixedBytes(spec.size).substr(0, spec.size));
            } else if (spec.source == Source::kFolder) {
                EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
            }
            images.push_back(MakeImage(path, spec.type));
        }
        const Outcome o = Capture([&] { return CompressLzmaTypeImages(images, Wide(work), cores); });
        Result r{o.result, o.out, {}, {}};
        for (const std::unique_ptr<CImageDescription>& image : images) {
            r.images.push_back(platform::ToNativePath(image->ImagePath) + " " + std::to_string(image->ImageSize) +
                               (image->Changed ? " changed" : ""));
        }
        for (const auto& entry : std::filesystem::directory_iterator(work)) {
            r.files.push_back(entry.path().filename().string() + " " + ReadFile(entry.path().string()));
        }
        std::sort(r.files.begin(), r.files.end());
        return r;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result alone = run(c, 1);
        const Result sideBySide = run(c, 8);
        EXPECT_EQ(sideBySide.result, alone.result);
        EXPECT_EQ(sideBySide.out, alone.out);
        EXPECT_EQ(sideBySide.images, alone.images);
        EXPECT_TRUE(sideBySide.files == alone.files);
        EXPECT_EQ(sideBySide.files.size(), alone.files.size());
    }
}

TEST(LzmaWorkersTest, AtMostOnePerImageAndCoreWithinTwoGibibytes)
{
    struct Case {
        size_t images, cores;
        uint64_t dictionary;
        size_t workers;
    };
    constexpr uint64_t kMiB = 1u << 20;
    const Case cases[] = {
        {4, 8, 16 * kMiB, 4},    // one per image
        {20, 8, 16 * kMiB, 8},   // one per core
        {20, 64, 16 * kMiB, 11}, // 11 x 176 MiB fit into 2 GiB, 12 do not
        {3, 8, 64 * kMiB, 2},    // 704 MiB each
        {3, 8, 256 * kMiB, 1},   // even one is too large: one it is
        {0, 8, 16 * kMiB, 1},
        {5, 1, 16 * kMiB, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LzmaWorkers(c.images, c.cores, c.dictionary), c.workers)
            << c.images << " images, " << c.cores << " cores, " << c.dictionary << " bytes";
    }
}

}  // namespace

#include "common/platform/FileRange.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/PackageBytes.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Pattern;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

constexpr uint64_t kSector = 8192;

struct Stream {
    explicit Stream(const std::string& path, const char* mode) : file(std::fopen(path.c_str(), mode)) {}
    ~Stream()
    {
        if (file) std::fclose(file);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    FILE* file;
};

// The target's bytes after length bytes of source from from were put at to.
std::string Placed(std::string target, const std::string& source, uint64_t from, uint64_t to, uint64_t length)
{
    if (target.size() < to + length) target.resize(to + length, '\0');
    target.replace(to, length, source, from, length);
    return target;
}

TEST(FileRangeTest, CopyFileRangeCopiesExactlyTheRange)
{
    const TempFolder temp;
    const std::string source = Pattern(5 * kSector + 100, 1);
    WriteFile(temp.File("source"), source);
    struct Case {
        const char* what;
        uint64_t from, to, length;
    };
    const Case cases[] = {
        {"whole sectors after a header", 0, kSector, 4 * kSector},
        {"from the middle into the start", kSector, 0, 2 * kSector},
        {"to the source's end, past the target's", 4 * kSector, 3 * kSector, kSector + 100},
        {"nothing", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = Pattern(3 * kSector, 2);
        WriteFile(temp.File("target"), before);
        Stream in(temp.File("source"), "rb");
        Stream out(temp.File("target"), "rb+");
        ASSERT_TRUE(in.file && out.file);
        // A buffered write lands before the copy, and the positions stay.
        ASSERT_EQ(std::fputs("buffered", out.file), 1);
        ASSERT_EQ(std::fseek(in.file, 5, SEEK_SET), 0);
        EXPECT_TRUE(platform::CopyFileRange(in.file, c.from, out.file, c.to, c.length));
        EXPECT_EQ(std::ftell(in.file), 5);
        EXPECT_EQ(std::ftell(out.file), 8);
        ASSERT_EQ(std::fflush(out.file), 0);
        std::string expected = before;
        expected.replace(0, 8, "buffered");
        EXPECT_TRUE(ReadFile(temp.File("target")) == Placed(expected, source, c.from, c.to, c.length));
    }
}

// Each time the caller must write the bytes itself.
TEST(FileRangeTest, CopyFileRangeFailsWhereTheKernelCannotCopy)
{
    const TempFolder temp;
    WriteFile(temp.File("source"), Pattern(2 * kSector, 3));
    WriteFile(temp.File("target"), "");
    Stream in(temp.File("source"), "rb");
    ASSERT_TRUE(in.file);
    {
        SCOPED_TRACE("the source ends before the range does: it shrank since it was measured");
        Stream out(temp.File("target"), "rb+");
        EXPECT_FALSE(platform::CopyFileRange(in.file, kSector, out.file, 0, 2 * kSector));
    }
    {
        SCOPED_TRACE("the target only appends");
        Stream out(temp.File("target"), "ab");
        EXPECT_FALSE(platform::CopyFileRange(in.file, 0, out.file, 0, kSector));
    }
    {
        SCOPED_TRACE("the source is a pipe");
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], "data", 4), 4);
        close(ends[1]);
        FILE* pipeIn = fdopen(ends[0], "rb");
        ASSERT_TRUE(pipeIn);
        Stream out(temp.File("target"), "rb+");
        EXPECT_FALSE(platform::CopyFileRange(pipeIn, 0, out.file, 0, 4));
        std::fclose(pipeIn);
    }
    {
        SCOPED_TRACE("offsets past what the system can address");
        Stream out(temp.File("target"), "rb+");
        EXPECT_FALSE(platform::CopyFileRange(in.file, UINT64_MAX - 10, out.file, 0, 100));
        EXPECT_FALSE(platform::CopyFileRange(in.file, 0, out.file, UINT64_MAX - 10, 100));
    }
    {
        SCOPED_TRACE("a length that alone passes every offset: refused before a byte is copied");
        WriteFile(temp.File("target"), "");
        Stream out(temp.File("target"), "rb+");
        EXPECT_FALSE(platform::CopyFileRange(in.file, 0, out.file, 0, UINT64_MAX));
        EXPECT_FALSE(platform::CopyFileRange(in.file, 0, out.file, 0, UINT64_MAX - kSector));
        EXPECT_EQ(ReadFile(temp.File("target")).size(), 0u);
    }
}

TEST(FileRangeTest, ReadFileRangeReadsAtItsOffsetUpToTheEnd)
{
    const TempFolder temp;
    const std::string bytes = Pattern(3 * kSector, 4);
    WriteFile(temp.File("file"), bytes);
    Stream in(temp.File("file"), "rb");
    ASSERT_TRUE(in.file);
    ASSERT_EQ(std::fgetc(in.file), static_cast<unsigned char>(bytes[0]));
    struct Case {
        const char* what;
        uint64_t offset;
        size_t length, got;
    };
    const Case cases[] = {
        {"inside", 100, kSector, kSector},
        {"across the end", 2 * kSector, 2 * kSector, kSector},
        {"past the end", 4 * kSector, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> buffer(c.length);
        size_t got = 99;
        ASSERT_TRUE(platform::ReadFileRange(in.file, c.offset, buffer.data(), c.length, got));
        EXPECT_EQ(got, c.got);
        EXPECT_TRUE(std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got)) ==
                    bytes.substr(std::min<size_t>(c.offset, bytes.size()), got));
        // The stream reads on where it was.
        EXPECT_EQ(std::fgetc(in.file), static_cast<unsigned char>(bytes[1]));
        ASSERT_EQ(std::fseek(in.file, 1, SEEK_SET), 0);
    }
    // Offsets past what the system can address fail without a read.
    for (const uint64_t offset : {uint64_t{1} << 63, UINT64_MAX}) {
        uint8_t byte = 0;
        size_t got = 99;
        EXPECT_FALSE(platform::ReadFileRange(in.file, offset, &byte, 1, got));
        EXPECT_EQ(got, 0u);
    }
}

}  // namespace

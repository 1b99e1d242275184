// Packages of the platform that compresses its LZMA-typed images: built by
// the tool itself, the compressed image data decoded by xz.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "builder/ImageCompress.h"
#include "support/CallCapture.h"
#include "support/PackageLayout.h"
#include "support/XzDecode.h"

using namespace testsupport;

namespace {

// Platform code 15, the one whose build compresses images.
const char kCompressingProcessor[] = "NLT118";

bool XzDecodes(const std::string& path, const std::string& expected)
{
    std::string bytes;
    return testsupport::XzDecode(path, bytes) && bytes == expected;
}

// Compressible text with noise in between.
std::string ImageBytes()
{
    std::string bytes;
    for (uint32_t n = 1; n <= 20; ++n) {
        bytes += Pattern(3000, n);
        for (int k = 0; k < 400; ++k) bytes += "rootfs block " + std::to_string(n) + "; ";
    }
    return bytes;
}

TEST(LzmaPackageTest, LzmaImageIsPackagedCompressed)
{
    const ToolCopy tool;
    Layout layout;
    layout.processor = kCompressingProcessor;
    const std::string lzmaBytes = ImageBytes();
    const std::string rawBytes = Pattern(5000, 8);
    layout.images = {
        {"ROOT", "0x524F4F54", "root.bin", lzmaBytes, "0x00100000", "RAW_LZMA"},
        {"KERN", "0x4B45524E", "kern.bin", rawBytes, "0x00800000", "RAW"},
        // Disabled: its file is never looked for.
        {"GONE", "0x474F4E45", "gone.bin", "", "0x00900000", "RAW_LZMA", false, "", false},
    };
    const RunResult r = Build(tool, WriteLayout(tool, layout));
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    ExpectWorkFilesGone(tool);

    // The same compression outside the tool: the encoder is deterministic.
    const std::string copyPath = tool.Folder() + "/expected.lzma";
    const Outcome made =
        Capture([&] { return CompressFile(Wide(tool.Folder() + "/root.bin"), Wide(copyPath)) == 1; });
    ASSERT_TRUE(made.result) << made.out;
    const std::string compressed = ReadFile(copyPath);
    ASSERT_TRUE(XzDecodes(copyPath, lzmaBytes));
    ASSERT_LT(compressed.size(), lzmaBytes.size());

    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    ASSERT_EQ(Le32(p, 76 + 240), 2u);  // the disabled image is left out
    // Entries run from the last image to the first.
    const Entry raw = ReadEntry(p, 0), lzma = ReadEntry(p, 1);

    EXPECT_EQ(lzma.imageId, 0x524F4F54u);
    EXPECT_EQ(lzma.length, RoundUp4(compressed.size()));
    EXPECT_EQ(lzma.checksum, Checksum(compressed));
    EXPECT_EQ(lzma.flashStart, 0x00100000u);
    ASSERT_LE(size_t(lzma.firstSector) * kSector + compressed.size(), p.size());
    const std::string data = p.substr(size_t(lzma.firstSector) * kSector, compressed.size());
    EXPECT_TRUE(data == compressed);
    EXPECT_EQ(data.substr(0, 5), std::string("\x5D\x00\x00\x00\x01", 5));
    EXPECT_EQ(Le32(data, 5), lzmaBytes.size());
    EXPECT_EQ(Le32(data, 9), 0u);
    const std::string dataPath = tool.Folder() + "/from-package.lzma";
    WriteFile(dataPath, data);
    EXPECT_TRUE(XzDecodes(dataPath, lzmaBytes));

    EXPECT_EQ(raw.imageId, 0x4B45524Eu);
    EXPECT_EQ(raw.length, RoundUp4(rawBytes.size()));
    EXPECT_EQ(raw.checksum, Checksum(rawBytes));
    EXPECT_EQ(p.substr(size_t(raw.firstSector) * kSector, rawBytes.size()), rawBytes);

    EXPECT_EQ(ReadFile(tool.Folder() + "/root.bin"), lzmaBytes);
}

TEST(LzmaPackageTest, CompressionFailureFailsTheBuild)
{
    const ToolCopy tool;
    Layout layout;
    layout.processor = kCompressingProcessor;
    layout.images = {{"ROOT", "0x524F4F54", "root.bin", Pattern(200000, 3), "0x00100000", "YAFFS_LZMA"}};
    const std::string name = WriteLayout(tool, layout);
    // Room for less than the compressed copy, as on a full disk.
    const RunResult r = tool.Run({"-f", name, "-i", "0x100000", "-o", "out.kxp"}, std::string(), 50000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "Can not write output file\nCompress file failed:" + tool.Folder() +
                                    "/root.bin\nCompressSpecLzmaImage failed.\nDoTarvokfileforWebUpgrade failed.\n"))
        << r.out;
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

// Four images compressed side by side: each packaged copy is the bytes of
// compressing its image alone, and the console lists them as always, from
// the last image to the first.
TEST(LzmaPackageTest, SeveralLzmaImagesArePackagedAsOneAtATime)
{
    const ToolCopy tool;
    Layout layout;
    layout.processor = kCompressingProcessor;
    const char* const names[] = {"a.bin", "b.bin", "c.bin", "d.bin"};
    const char* const types[] = {"RAW_LZMA", "UBIFS_LZMA", "JFFS2_LZMA", "RAW_LZMA"};
    for (uint32_t i = 0; i < 4; ++i) {
        const std::string tag = std::string("IMG") + static_cast<char>('A' + i);
        const std::string id = "0x494D47" + std::to_string(41 + i);
        layout.images.emplace_back(tag, id, names[i], ImageBytes() + Pattern(1000 * i, i),
                                   "0x0" + std::to_string(i + 1) + "000000", types[i]);
    }
    const RunResult r = Build(tool, WriteLayout(tool, layout));
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;

    const std::string p = ReadFile(tool.Folder() + "/out.kxp");
    size_t at = 0;
    for (uint32_t entry = 0; entry < 4; ++entry) {
        SCOPED_TRACE(entry);
        const std::string name = names[3 - entry];
        const std::string alone = tool.Folder() + "/" + name + ".alone";
        ASSERT_TRUE(Capture([&] { return CompressFile(Wide(tool.Folder() + "/" + name), Wide(alone)) == 1; }).result);
        const std::string compressed = ReadFile(alone);
        const Entry e = ReadEntry(p, entry);
        EXPECT_EQ(e.length, RoundUp4(compressed.size()));
        EXPECT_TRUE(p.substr(size_t(e.firstSector) * kSector, compressed.size()) == compressed);
        const std::string line = "\nImage file name:" + tool.Folder() + "/AbsBlfTemp/" + name + ".lzma";
        at = r.out.find(line, at);
        EXPECT_NE(at, std::string::npos) << r.out;
    }
}

// Two images too large for the disk: the first of them in the list is
// reported, with the messages of images compressed in list order up to it.
TEST(LzmaPackageTest, FirstFailingLzmaImageIsReported)
{
    const ToolCopy tool;
    Layout layout;
    layout.processor = kCompressingProcessor;
    layout.images = {
        {"SMAL", "0x534D414C", "small.bin", Pattern(1000, 1), "0x00100000", "RAW_LZMA"},
        {"BIG1", "0x42494731", "big1.bin", Pattern(200000, 2), "0x00200000", "RAW_LZMA"},
        {"TINY", "0x54494E59", "tiny.bin", Pattern(900, 3), "0x00300000", "RAW_LZMA"},
        {"BIG2", "0x42494732", "big2.bin", Pattern(200000, 4), "0x00400000", "RAW_LZMA"},
    };
    const std::string name = WriteLayout(tool, layout);
    const RunResult r = tool.Run({"-f", name, "-i", "0x100000", "-o", "out.kxp"}, std::string(), 50000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "ProcessBLF return.....\nCan not write output file\nCompress file failed:" +
                                    tool.Folder() + "/big1.bin\nCompressSpecLzmaImage failed.\n"
                                                    "DoTarvokfileforWebUpgrade failed.\n"))
        << r.out;
    EXPECT_FALSE(Contains(r.out, "big2.bin")) << r.out;
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

}  // namespace

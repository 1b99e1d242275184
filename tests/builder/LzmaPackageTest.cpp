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

}  // namespace

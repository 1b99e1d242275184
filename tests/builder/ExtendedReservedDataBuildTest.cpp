// The "[Extended_Reserved_Data]" block through the tool: it is read and
// sized, but no byte of it reaches the package.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

const std::string kSample = std::string(TARVOK_SOURCE_DIR) + "/examples/";
const char kParsing[] = "Parsing ExtendedReservedData\n";
const char kComplete[] = "\ncomplete to parse ExtendedReservedData\n";

// The sample layout and its images in the tool's folder, with extra text
// after the layout.
void WriteSample(const ToolCopy& tool, const std::string& name, const std::string& extra)
{
    WriteFile(tool.Folder() + "/" + name, ReadFile(kSample + "sample.blf") + "\n" + extra);
    const std::string images = tool.Folder() + "/images";
    if (!FileExists(images + "/kernel.bin")) {
        mkdir(images.c_str(), 0700);
        WriteFile(images + "/kernel.bin", ReadFile(kSample + "images/kernel.bin"));
        WriteFile(images + "/rootfs.bin", ReadFile(kSample + "images/rootfs.bin"));
    }
}

RunResult Build(const ToolCopy& tool, const std::string& layout, const std::string& output)
{
    return tool.Run({"-f", layout, "-i", "0x100000", "-o", output});
}

}  // namespace

TEST(ExtendedReservedDataBuildTest, EveryKeywordBuildsTheSameBytes)
{
    const ToolCopy tool;
    WriteSample(tool, "plain.blf", "");
    WriteSample(tool, "extended.blf", ReadFile(TARVOK_FIXTURES "/extended-reserved-data.txt"));

    const RunResult plain = Build(tool, "plain.blf", "plain.kxp");
    ASSERT_TRUE(Succeeded(plain)) << plain.out << plain.err;
    const RunResult extended = Build(tool, "extended.blf", "extended.kxp");
    ASSERT_TRUE(Succeeded(extended)) << extended.out << extended.err;
    EXPECT_TRUE(Contains(extended.out, kParsing)) << extended.out;
    EXPECT_TRUE(Contains(extended.out, kComplete)) << extended.out;
    EXPECT_EQ(ReadFile(tool.Folder() + "/extended.kxp"), ReadFile(tool.Folder() + "/plain.kxp"));
}

TEST(ExtendedReservedDataBuildTest, ARejectedDdrBlockFailsTheBuild)
{
    const std::string ddr = "[Extended_Reserved_Data]\nDDR_Initialization\nDDR_PID = DDR1\nDDROperations\n"
                            "DDR_FOO = 1\nEnd_DDROperations\nEnd_DDR_Initialization\nEnd_Reserved_Data\n";
    const ToolCopy tool;
    WriteSample(tool, "ddr.blf", ddr);
    const RunResult r = Build(tool, "ddr.blf", "ddr.kxp");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, std::string(kParsing) + "ParseExtendedReservedData failed\n")) << r.out;
    EXPECT_FALSE(FileExists(tool.Folder() + "/ddr.kxp"));
    EXPECT_FALSE(FileExists(tool.Folder() + "/kxp.bin"));
}

TEST(ExtendedReservedDataBuildTest, TheSameFaultInAGppBlockBuilds)
{
    const std::string gpp = "[Extended_Reserved_Data]\nGPP\nGPP_PID = GPP1\nGPPOperations\n"
                            "GPP_FOO = 1\nEnd_GPPOperations\nEnd_GPP\nEnd_Reserved_Data\n";
    const ToolCopy tool;
    WriteSample(tool, "gpp.blf", gpp);
    const RunResult r = Build(tool, "gpp.blf", "gpp.kxp");
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, std::string(kParsing) + kComplete)) << r.out;
    EXPECT_TRUE(FileExists(tool.Folder() + "/gpp.kxp"));
}

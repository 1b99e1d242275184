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

TEST(ExtendedReservedDataBuildTest, ARejectedSubBlockFailsADdrBlockButNotAGppBlock)
{
    struct Case {
        const char* name;
        std::string block;
        bool builds;
    };
    const Case cases[] = {
        {"ddr",
         "DDR_Initialization\nDDR_PID = DDR1\nDDROperations\nDDR_FOO = 1\nEnd_DDROperations\n"
         "End_DDR_Initialization\n",
         false},
        {"gpp", "GPP\nGPP_PID = GPP1\nGPPOperations\nGPP_FOO = 1\nEnd_GPPOperations\nEnd_GPP\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        const std::string layout = std::string(c.name) + ".blf";
        const std::string output = std::string(c.name) + ".kxp";
        WriteSample(tool, layout, "[Extended_Reserved_Data]\n" + c.block + "End_Reserved_Data\n");
        const RunResult r = Build(tool, layout, output);
        EXPECT_EQ(r.exitCode, c.builds ? 0 : 1) << r.out << r.err;
        const std::string ending = c.builds ? kComplete : "ParseExtendedReservedData failed\n";
        EXPECT_TRUE(Contains(r.out, std::string(kParsing) + ending)) << r.out;
        EXPECT_EQ(FileExists(tool.Folder() + "/" + output), c.builds);
    }
}

// A closing line passes over only when its package reads nothing of its
// own; a stray one opens its package, and the block that follows must fit
// it. A consumer id or operation list that runs into the end of the file
// takes a last line of blanks without a line feed as a line, and rejects it.
TEST(ExtendedReservedDataBuildTest, StrayClosingLinesAndBlocksCutOffByTheEndOfTheFile)
{
    struct Case {
        const char* name;
        std::string extra;
        bool builds;
    };
    const std::string block = "[Extended_Reserved_Data]\n";
    const std::string ddr = block + "DDR_Initialization\nDDR_PID = DDR1\nDDROperations\nDDR_INIT_ENABLE = 1\n";
    const std::string gpp = block + "GPP\nGPP_PID = GPP1\nGPPOperations\nGPP_IGNORE_INST_TO = 1\n";
    const Case cases[] = {
        {"closing line of a package that reads nothing", block + "End_AutoBind\nUart\nEnd_Reserved_Data\n", true},
        {"stray consumer-id closing line", block + "End_Consumer_ID\nUart\nEnd_Reserved_Data\n", false},
        {"stray consumer-id closing line, then its lines",
         block + "End_Consumer_ID\nCID = TBRI\nEnd_Consumer_ID\nEnd_Reserved_Data\n", true},
        {"consumer id ending in blanks", block + "Consumer_ID\nCID = TBRI\n   ", false},
        {"consumer id ending in a line feed", block + "Consumer_ID\nCID = TBRI\n", true},
        {"consumer id ending in blanks and a line feed", block + "Consumer_ID\nCID = TBRI\n  \n", true},
        {"DDR operations ending in blanks", ddr + "\t ", false},
        {"DDR operations ending in a line feed", ddr, true},
        // A GPP block passes over a rejected sub-block.
        {"GPP operations ending in blanks", gpp + " ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        WriteSample(tool, "end.blf", c.extra);
        const RunResult r = Build(tool, "end.blf", "end.kxp");
        EXPECT_EQ(r.exitCode, c.builds ? 0 : 1) << r.out << r.err;
        const std::string ending = c.builds ? kComplete : "ParseExtendedReservedData failed\n";
        EXPECT_TRUE(Contains(r.out, std::string(kParsing) + ending)) << r.out;
        EXPECT_EQ(FileExists(tool.Folder() + "/end.kxp"), c.builds);
    }
}

// Trusted layout files through the tool: the key sections are read, and
// change nothing in the package.
#include <gtest/gtest.h>

#include <string>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

// The key, signature and DTIM sections of the trusted fuzz seed.
std::string KeySections()
{
    const std::string seed = ReadFile(TARVOK_FIXTURES "/fuzz/seed-trusted-keys.blf");
    return seed.substr(seed.find("[Keys_Data]"));
}

Layout TrustedLayout(const std::string& trusted, const std::string& sections)
{
    Layout layout;
    layout.sections = "[TIM_Configuration]\nTrusted = " + trusted + "\nVersion = 0x030400\n" + sections;
    layout.images = {{"AAAA", "0x41414141", "a.bin", Pattern(kSector + 5, 1)},
                     {"BBBB", "0x42424242", "b.bin", Pattern(100, 2), "0x00200000"}};
    return layout;
}

TEST(TrustedLayoutTest, BuildsTheSamePackageAsItsUntrustedForm)
{
    std::string packages[2];
    const char* trust[2] = {"1", "0"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(trust[i]);
        const ToolCopy tool;
        const RunResult r = Build(tool, WriteLayout(tool, TrustedLayout(trust[i], KeySections())));
        ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
        EXPECT_EQ(r.err, "");
        ExpectWorkFilesGone(tool);
        packages[i] = ReadFile(tool.Folder() + "/out.kxp");
    }
    EXPECT_EQ(packages[0].size(), 3 * kSector + kSector);
    EXPECT_TRUE(packages[0] == packages[1]);
}

TEST(TrustedLayoutTest, WithoutSignatureDataTheBuildFails)
{
    const std::string sections = KeySections();
    const ToolCopy tool;
    const RunResult r =
        Build(tool, WriteLayout(tool, TrustedLayout("1", sections.substr(0, sections.find("[Digital_Signature_Data]")))));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "\nZorlix exception:\nunknown DSAID in ParseDSAInfo\n\n\n");
    EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
    ExpectWorkFilesGone(tool);
}

// An image map asks for the DTIM key, which only platforms from code 7 on
// read.
TEST(TrustedLayoutTest, AnImageMapMakesTheDtimKeyRequiredFromPlatformSevenOn)
{
    const std::string imageMap =
        "[Extended_Reserved_Data]\nImage_Maps\nNUM_MAPS = 1\nImage_Map_Info\nImage_ID = 0x41414141\n"
        "Image_Type = RAW\nEnable = 1\nEnd_Image_Map_Info\nEnd_Image_Maps\nEnd_Extended_Reserved_Data\n";
    const std::string sections = KeySections();
    const std::string withoutDtim = sections.substr(0, sections.find("[DTIM_Keys_Data]"));
    struct Case {
        const char* name;
        const char* processor;
        std::string sections;
        bool builds;
    };
    const Case cases[] = {
        {"platform 10, DTIM key present", "NLT122", imageMap + sections, true},
        {"platform 10, no DTIM key", "NLT122", imageMap + withoutDtim, false},
        {"platform 10, no image map", "NLT122", withoutDtim, true},
        {"platform 2, no DTIM key", "NLT105", imageMap + withoutDtim, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layout layout = TrustedLayout("1", c.sections);
        layout.processor = c.processor;
        const ToolCopy tool;
        const RunResult r = Build(tool, WriteLayout(tool, layout));
        if (c.builds) {
            EXPECT_TRUE(Succeeded(r)) << r.out << r.err;
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, "\nZorlix exception:\nunknown DSAID in ParseDtimKeyInfo\n\n\n");
            EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        }
        ExpectWorkFilesGone(tool);
    }
}

}  // namespace

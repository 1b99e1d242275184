#include "builder/ProcessingContext.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/CallCapture.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Capture;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

const char kOldLayout[] =
    "[TIM Configuration]\nVersion = 0x00030102\nTrusted = 0\nIssue Date = 0x20240101\nOEM UniqueID = 0x12345678\n"
    "Processor Type = NLT07x\nBoot Flash Signature = 0x4E414E0D\nNumber of Images = 1\nNumber of Keys = 0\n"
    "[Varsic Flasher Properties]\nFlash Configuration File Path = flasher.ini\n[Image List]\n"
    "1 Image Enable = 1\n1 Image ID Name = AAAA\n1 Image Image ID = 0x41414141\n1 Image Next Image ID = 0xFFFFFFFF\n"
    "1 Image Path = a.bin\n1 Image Flash Entry Address = 0x00100000\n1 Image Load Address = 0xFFFFFFFF\n"
    "1 Image Type = RAW\n1 Image Erase Size = 0x40000\n1 Image Partition Number = 1\n";

const char kFlasher[] =
    "[DEV_HEADER_0]\nBlock_Size_0 = 0x20000\nFlashFamily = NAND\nNumber_of_Blocks_0 = 1024\nData Area Size = 2048\n"
    "Spare Area Size = 64\n[INTEL_FLASHER_INPUT_FILE]\nKXP_Sector_Size = 8192\n";

// The context holds the text of the layout the package is built from, the
// one its parser read: the given file's, or for an older-format file its
// converted copy's. The package writer is handed that text.
TEST(ProcessingContextTest, HoldsTheTextItsParserReadOfTheLayoutItBuildsFrom)
{
    TempFolder folder;
    WriteFile(folder.File("flasher.ini"), kFlasher);
    WriteFile(folder.File("old.blf"), kOldLayout);
    ASSERT_EQ(mkdir(folder.File("AbsBlfTemp").c_str(), 0700), 0);
    struct Case {
        std::string name;
        std::wstring layout;
        std::wstring built;  // the path the package is built from
    };
    const Case cases[] = {
        {"new format", Wide(std::string(TARVOK_SOURCE_DIR) + "/examples/sample.blf"),
         Wide(std::string(TARVOK_SOURCE_DIR) + "/examples/sample.blf")},
        {"older format", Wide(folder.File("old.blf")), Wide(folder.File("AbsBlfTemp/Cvt_old.blf"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CProcessingContext context;
        context.SetProgramFolder(Wide(folder.Path()));
        const auto outcome = Capture([&] { return context.ProcessBLF(c.layout); });
        ASSERT_TRUE(outcome.result) << outcome.out;
        ASSERT_NE(context.m_LayoutText, nullptr);
        EXPECT_EQ(context.m_BlfPath, c.built);
        EXPECT_EQ(context.m_LayoutText->path, c.built);
        EXPECT_EQ(context.m_BlfParser.HeldText(), context.m_LayoutText);
    }
}

}  // namespace

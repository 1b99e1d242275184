// Replays every input kept from fuzzing the layout-file reader, prepared as
// the fuzzer prepares it. Bad input may only end in CZorlixexception; memory
// faults show up in the sanitizer build of this test.
#include <gtest/gtest.h>

#include <string>

#include "common/platform/Text.h"
#include "fuzz/FuzzInput.h"
#include "support/FuzzReplay.h"
#include "support/TestSupport.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"
#include "timlib/ReservedDataSection.h"

namespace {

using testsupport::ExpectOnlyTheReadersOwnException;

class FuzzRegressionTest : public testsupport::FuzzReplayTest {};

TEST_P(FuzzRegressionTest, EndsInNoOtherExceptionThanTheReadersOwn)
{
    std::string bytes = testsupport::ReadFile(GetParam());
    fuzzinput::KeepPathsInside(bytes);
    testsupport::TempFolder folder;
    const std::string blfPath = folder.File("layout.blf");
    testsupport::WriteFile(blfPath, bytes);

    CBlfParser parser;
    const std::wstring path = platform::DecodeText(blfPath);
    ExpectOnlyTheReadersOwnException([&] {
        ParseBlfFile(path, parser, 1);
        GetReservedPackageEnabled(path, L"BBCS", L"End_BBCS");
        GetReservedPackageEnabled(path, L"CRCS", L"End_CRCS");
    });
    // Only an image map makes a parse read the DTIM key: read it whatever
    // the input holds.
    ExpectOnlyTheReadersOwnException([&] { parser.ParseDtimKeyInfo(); });
}

// The inputs' paths stay in the folder their files are written to: every
// separator of a layout goes, wherever it stands; the flasher settings file
// is kept as it is.
TEST(FuzzInputTest, LayoutsLoseEverySeparator)
{
    struct Case {
        std::string input;
        std::string layout;
        bool hasFlasher;
        std::string flasher;
    };
    const std::string separator = fuzzinput::kFlasherSeparator;
    const Case cases[] = {
        {"", "", false, ""},
        {"/", "_", false, ""},
        {"\\a/b\\c/", "_a_b_c_", false, ""},
        {std::string("x\0/y", 4), std::string("x\0_y", 4), false, ""},
        {"a/b" + separator + "c/d\\e", "a_b", true, "c/d\\e"},
    };
    for (const Case& c : cases) {
        std::string layout = "stale";
        std::string flasher = "stale";
        EXPECT_EQ(fuzzinput::SplitOldLayoutInput(c.input, layout, flasher), c.hasFlasher) << c.input;
        EXPECT_EQ(layout, c.layout) << c.input;
        EXPECT_EQ(flasher, c.flasher) << c.input;
    }
    // Layouts of the reader lose them only when an image may be made.
    std::string kept = "a/b\\c";
    fuzzinput::KeepPathsInside(kept);
    EXPECT_EQ(kept, "a/b\\c");
    std::string made = "TIMH /x\\y";
    fuzzinput::KeepPathsInside(made);
    EXPECT_EQ(made, "TIMH _x_y");
}

INSTANTIATE_TEST_SUITE_P(FuzzFixtures, FuzzRegressionTest,
                         ::testing::ValuesIn(testsupport::FuzzFixtures(TARVOK_FIXTURES "/fuzz")),
                         testsupport::FixtureName);

}  // namespace

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

INSTANTIATE_TEST_SUITE_P(FuzzFixtures, FuzzRegressionTest,
                         ::testing::ValuesIn(testsupport::FuzzFixtures(TARVOK_FIXTURES "/fuzz")),
                         testsupport::FixtureName);

}  // namespace

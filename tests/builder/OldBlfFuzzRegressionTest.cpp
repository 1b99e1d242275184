// Replays every input kept from fuzzing the older-format conversion,
// converted and read back as the fuzzer does it. Bad input may only end in
// the readers' own exceptions; memory faults show up in the sanitizer build
// of this test.
#include <gtest/gtest.h>

#include <string>

#include "common/platform/Text.h"
#include "fuzz/OldBlfSteps.h"
#include "support/FuzzReplay.h"
#include "support/TestSupport.h"

namespace {

class OldBlfFuzzRegressionTest : public testsupport::FuzzReplayTest {};

TEST_P(OldBlfFuzzRegressionTest, EndsInNoOtherExceptionThanTheReadersOwn)
{
    const testsupport::TempFolder folder;
    fuzzinput::ConvertOldLayout(
        platform::DecodeText(folder.Path()), testsupport::ReadFile(GetParam()),
        [](const std::wstring& path, const std::string& bytes) {
            testsupport::WriteFile(platform::EncodeText(path), bytes);
        },
        [](auto&& step) { testsupport::ExpectOnlyTheReadersOwnException(step); });
}

INSTANTIATE_TEST_SUITE_P(OldBlfFuzzFixtures, OldBlfFuzzRegressionTest,
                         ::testing::ValuesIn(testsupport::FuzzFixtures(TARVOK_FIXTURES "/fuzz-old")),
                         testsupport::FixtureName);

}  // namespace

// Replays every input kept from fuzzing the layout-file reader, prepared as
// the fuzzer prepares it. Bad input may only end in CZorlixexception; memory
// faults show up in the sanitizer build of this test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/Text.h"
#include "fuzz/FuzzInput.h"
#include "support/TestSupport.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"
#include "timlib/ReservedDataSection.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> FuzzFixtures()
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(TARVOK_FIXTURES "/fuzz", ec)) {
        if (entry.is_regular_file()) {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

class FuzzRegressionTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { m_Previous = platform::SetMessageBoxSink([](const std::wstring&) {}); }
    void TearDown() override { platform::SetMessageBoxSink(m_Previous); }

private:
    platform::MessageBoxSink m_Previous;
};

template <class F>
void ExpectOnlyTheReadersOwnException(F&& step)
{
    try {
        step();
    } catch (const CZorlixexception&) {
        // The reader's own report of bad input.
    } catch (const std::out_of_range& e) {
        // An instruction whose values stand without angle brackets; the run
        // step reports it as a standard exception.
        EXPECT_STREQ(e.what(), "invalid string position");
    } catch (const std::exception& e) {
        FAIL() << "std::exception escaped: " << e.what();
    } catch (...) {
        FAIL() << "an unknown exception escaped";
    }
}

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

// One test per fixture, named after its file.
std::string FixtureName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = fs::path(info.param).stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(FuzzFixtures, FuzzRegressionTest, ::testing::ValuesIn(FuzzFixtures()), FixtureName);

}  // namespace

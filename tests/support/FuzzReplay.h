// Replaying the inputs kept from fuzzing as tests: the fixtures of a
// folder, one test each, and the outcomes accepted for bad input.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"

namespace testsupport {

// The files of the folder, in name order.
inline std::vector<std::string> FuzzFixtures(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file()) {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// One test per fixture, named after its file.
inline std::string FixtureName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = std::filesystem::path(info.param).stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name + "_" + std::to_string(info.index);
}

// A test per fixture, with the message boxes of the readers silenced.
class FuzzReplayTest : public ::testing::TestWithParam<std::string> {
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
        // The readers' own report of bad input.
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

}  // namespace testsupport

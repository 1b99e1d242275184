// Runs one call of the code under test and keeps what it printed, returned
// or raised.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "common/ZorlixException.h"
#include "common/platform/Text.h"

namespace testsupport {

inline std::wstring Wide(const std::string& text)
{
    return platform::DecodeText(text);
}

struct Outcome {
    bool result = false;
    bool thrown = false;
    std::wstring message;
    std::string out;
};

template <class F>
Outcome Capture(F&& call)
{
    Outcome outcome;
    testing::internal::CaptureStdout();
    try {
        outcome.result = call();
    } catch (const CZorlixexception& e) {
        outcome.thrown = true;
        outcome.message = e.GetMessageText();
    }
    outcome.out = testing::internal::GetCapturedStdout();
    return outcome;
}

}  // namespace testsupport

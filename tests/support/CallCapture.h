// Runs one call of the code under test and keeps what it printed, returned
// or raised.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
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

// Keeps the texts of the message boxes shown while it lives.
class MessageBoxes {
public:
    MessageBoxes()
        : m_Previous(platform::SetMessageBoxSink([this](const std::wstring& text) { texts.push_back(text); }))
    {
    }
    ~MessageBoxes() { platform::SetMessageBoxSink(m_Previous); }
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    std::vector<std::wstring> texts;

private:
    platform::MessageBoxSink m_Previous;
};

}  // namespace testsupport

#include "common/platform/FileSystem.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

#include "common/platform/Stop.h"
#include "common/platform/Text.h"
#include "support/TestSupport.h"

namespace {

using platform::TextFileStatus;

class TextFileStopTest : public testing::Test {
protected:
    void TearDown() override { platform::SetStopSignal(0); }
};

// A stop asked for while a large text is read ends the reading, whichever
// step it is in; a small text is read whole, and the same file reads once
// the flag is down.
TEST_F(TextFileStopTest, AStopEndsTheReadingOfALargeText)
{
    testsupport::TempFolder temp;
    struct Case {
        const char* name;
        std::string bytes;
        TextFileStatus whenStopped;
    };
    const std::string lines = [] {
        std::string text;
        while (text.size() < (size_t(9) << 20)) {
            text += "Padding_Text = xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
        }
        return text;
    }();
    const Case cases[] = {
        {"lines", lines, TextFileStatus::kStopped},
        {"marked", "\xef\xbb\xbf" + lines, TextFileStatus::kStopped},
        {"one-line", "K = " + std::string(size_t(9) << 20, '\xc3'), TextFileStatus::kStopped},
        {"small", "[S]\r\nK = v\r\n", TextFileStatus::kRead},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(temp.File(c.name), c.bytes);
        const std::wstring path = platform::DecodeText(temp.File(c.name));
        std::wstring text = L"stale";
        platform::SetStopSignal(SIGTERM);
        EXPECT_EQ(platform::ReadTextFile(path, platform::kMaxTextFileBytes, text), c.whenStopped);
        EXPECT_EQ(platform::ReadTextFile(path, text), c.whenStopped == TextFileStatus::kRead);
        if (c.whenStopped != TextFileStatus::kRead) {
            EXPECT_EQ(text, L"stale");
        }
        platform::SetStopSignal(0);
        EXPECT_EQ(platform::ReadTextFile(path, platform::kMaxTextFileBytes, text), TextFileStatus::kRead);
    }
}

// The bytes this process has read so far, by every read call.
long long BytesReadSoFar()
{
    std::ifstream io("/proc/self/io");
    std::string name;
    long long value = -1;
    while (io >> name >> value) {
        if (name == "rchar:") {
            return value;
        }
    }
    return -1;
}

// After a stop, the reading of a large file ends within its first pieces:
// the rest of the file is never read, not only never decoded.
TEST_F(TextFileStopTest, AStopEndsTheReadingItself)
{
    testsupport::TempFolder temp;
    const size_t size = size_t(60) << 20;
    testsupport::WriteFile(temp.File("large.blf"), "K = " + std::string(size, 'x') + "\n");
    const std::wstring path = platform::DecodeText(temp.File("large.blf"));
    std::wstring text;
    platform::SetStopSignal(SIGTERM);
    const long long before = BytesReadSoFar();
    ASSERT_GE(before, 0) << "no read count for this process";
    EXPECT_EQ(platform::ReadTextFile(path, platform::kMaxTextFileBytes, text), TextFileStatus::kStopped);
    const long long read = BytesReadSoFar() - before;
    EXPECT_LT(read, static_cast<long long>(size / 4)) << read << " bytes of the file were read";
}

}  // namespace

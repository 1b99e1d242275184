// A hosting program that exports "PrintZorlixLog": without a console the log
// routine hands every line to it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/Print.h"

namespace {

std::vector<std::wstring>& Received()
{
    static std::vector<std::wstring> lines;
    return lines;
}

}  // namespace

// Exported for the log routine, which finds it by name: no header declares it.
extern "C" void PrintZorlixLog(const wchar_t* line);

extern "C" void PrintZorlixLog(const wchar_t* line)
{
    Received().push_back(line);
}

TEST(LogHostTest, WithoutConsoleTheHostReceivesTheLine)
{
    Received().clear();
    const int saved = dup(1);
    close(1);
    const int shortResult = PrintLog(L"createVirtualKXP failed.%s", L"\n");
    const int longResult = PrintLog(L"%s", std::wstring(1500, L'z'));
    dup2(saved, 1);
    close(saved);

    ASSERT_EQ(Received().size(), 2u);
    EXPECT_EQ(Received()[0], L"createVirtualKXP failed.\n");
    EXPECT_EQ(shortResult, 25);
    EXPECT_EQ(Received()[1], std::wstring(1023, L'z'));
    EXPECT_EQ(longResult, -1);
}

TEST(LogHostTest, WithConsoleTheHostIsNotAsked)
{
    Received().clear();
    testing::internal::CaptureStdout();
    PrintLog(L"to the console\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to the console\n");
    EXPECT_TRUE(Received().empty());
}

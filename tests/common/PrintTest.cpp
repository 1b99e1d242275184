#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "common/Print.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"

namespace {

// Captures message boxes for the life of the object.
class MessageBoxCapture {
public:
    MessageBoxCapture()
    {
        m_Previous = platform::SetMessageBoxSink([this](const std::wstring& text) { m_Texts.push_back(text); });
    }
    ~MessageBoxCapture() { platform::SetMessageBoxSink(m_Previous); }
    const std::vector<std::wstring>& Texts() const { return m_Texts; }

private:
    platform::MessageBoxSink m_Previous;
    std::vector<std::wstring> m_Texts;
};

// Closes standard output for the life of the object: the process then has
// no console.
class NoConsole {
public:
    NoConsole() : m_Saved(dup(1)) { close(1); }
    ~NoConsole() { dup2(m_Saved, 1); close(m_Saved); }

private:
    int m_Saved;
};

}  // namespace

TEST(PrintLogTest, WithConsoleWritesExactlyTheText)
{
    testing::internal::CaptureStdout();
    const int n = PrintLog(L"Open file %s failed when get file size.", L"/x/\u00e9.bin");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Open file /x/\xc3\xa9.bin failed when get file size.");
    EXPECT_EQ(n, 45);
}

TEST(PrintLogTest, WithoutConsoleOrHostTheLineIsDropped)
{
    int result = 0;
    {
        NoConsole none;
        EXPECT_FALSE(platform::HasConsole());
        result = PrintLog(L"lost %d\n", 1);
    }
    EXPECT_TRUE(platform::HasConsole());
    EXPECT_EQ(result, -1);
}

TEST(MessageBoxTest, ShowsTheFormattedTextCutToTheBuffer)
{
    MessageBoxCapture capture;
    EXPECT_EQ(MessageBoxPrintf(L"\nZorlix exception:\n%s\n\n", L"Open blf file failed"), platform::kMessageBoxOk);
    MessageBoxPrintf(L"%s", std::wstring(3000, L'x'));
    ASSERT_EQ(capture.Texts().size(), 2u);
    EXPECT_EQ(capture.Texts()[0], L"\nZorlix exception:\nOpen blf file failed\n\n");
    EXPECT_EQ(capture.Texts()[1], std::wstring(1023, L'x'));
}

TEST(MessageBoxTest, GoesToStandardErrorWithoutBlocking)
{
    testing::internal::CaptureStderr();
    MessageBoxPrintf(L"File %s has exist,don't create the same name folder", L"/a/b");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "File /a/b has exist,don't create the same name folder\n");
}

TEST(ZorlixExceptionTest, CopiesOwnTheirText)
{
    CZorlixexception* first = new CZorlixexception(L"GetPlatFormType failed");
    const CZorlixexception copy(*first);
    delete first;
    EXPECT_EQ(copy.GetMessageText(), L"GetPlatFormType failed");
    EXPECT_EQ(CZorlixexception(static_cast<const wchar_t*>(nullptr)).GetMessageText(), L"");
}

TEST(ZorlixExceptionTest, IsNotCaughtAsAStandardException)
{
    std::wstring caughtBy;
    try {
        try {
            throw CZorlixexception(L"Unknown platform type");
        } catch (const std::exception&) {
            caughtBy = L"standard";
        }
    } catch (const CZorlixexception& e) {
        caughtBy = e.GetMessageText();
    }
    EXPECT_EQ(caughtBy, L"Unknown platform type");
}

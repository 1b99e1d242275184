#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/CommandLine.h"

namespace {

struct Parsed {
    bool ok = false;
    CommandLineOptions options;
    std::string out;
};

Parsed Parse(std::vector<std::wstring> args)
{
    args.insert(args.begin(), L"Tarvok_WEB");
    std::vector<wchar_t*> argv;
    for (std::wstring& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    Parsed p;
    testing::internal::CaptureStdout();
    p.ok = ParseCommandLine(static_cast<int>(args.size()), argv.data(), p.options);
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

}  // namespace

TEST(ParseCommandLineTest, ReadsEveryOptionInEitherCase)
{
    const Parsed p = Parse({L"-F", L"a.blf", L"-I", L"0x100000", L"-O", L"out.kxp", L"-V", L"1.2", L"-S", L"k.pem",
                            L"-D"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.m_BlfFilePath, L"a.blf");
    EXPECT_EQ(p.options.m_SplitSizeText, L"0x100000");
    EXPECT_EQ(p.options.m_OutputFilePath, L"out.kxp");
    EXPECT_EQ(p.options.m_VersionText, L"1.2");
    EXPECT_EQ(p.options.m_KeyFilePath, L"k.pem");
    EXPECT_EQ(p.options.m_bOutputGiven, 1);
    EXPECT_EQ(p.options.m_bVersionGiven, 1);
    EXPECT_EQ(p.options.m_bKeyGiven, 1);
    EXPECT_EQ(p.options.m_DifferentialFlag, 1u);
    EXPECT_EQ(p.out, "");
}

TEST(ParseCommandLineTest, WalkRules)
{
    // Letters after the option letter are ignored; words that are not
    // options are passed over; a later value replaces an earlier one.
    Parsed p = Parse({L"-file", L"a.blf", L"stray", L"-i", L"1", L"-i", L"2"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.m_BlfFilePath, L"a.blf");
    EXPECT_EQ(p.options.m_SplitSizeText, L"2");
    EXPECT_EQ(p.options.m_bOutputGiven, 0);
    EXPECT_EQ(p.options.m_DifferentialFlag, 0u);

    // An empty value is still a value.
    p = Parse({L"-f", L"", L"-s", L""});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.m_BlfFilePath, L"");
    EXPECT_EQ(p.options.m_bKeyGiven, 1);

    // A value that begins with '-' is read as an option as well.
    p = Parse({L"-f", L"-d"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.m_BlfFilePath, L"-d");
    EXPECT_EQ(p.options.m_DifferentialFlag, 1u);

    // "-d" may stand last.
    p = Parse({L"-f", L"a", L"-d"});
    EXPECT_TRUE(p.ok);
}

TEST(ParseCommandLineTest, RefusesBadOptions)
{
    struct Case {
        std::vector<std::wstring> args;
        std::string letter;
    };
    const Case cases[] = {
        {{L"-o", L"-x"}, "x"},                      // the value is read as an option
        {{L"-f", L"a", L"-o"}, "o"},                // value option standing last
        {{L"-i", L"-5"}, "5"},
        {{L"-q"}, "q"},
        {{L"-"}, std::string(1, '\0')},             // the empty letter of a lone "-"
        {{L"-f", std::wstring(512, L'a')}, "f"},    // does not fit the option text
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << p.out;
        EXPECT_EQ(p.out, "\n  Error: Command line option -" + c.letter + " is invalid!\n");
    }
    EXPECT_TRUE(Parse({L"-f", std::wstring(511, L'a')}).ok);
}

TEST(CommandLineChecksTest, SplitSizeTexts)
{
    struct Case {
        const wchar_t* text;
        long long value;
    };
    const Case cases[] = {
        {L"0x20000", 0x20000},  {L"0x1FFFF", 0x1FFFF}, {L"131072", 131072}, {L"131071", 131071},
        {L"abc", 0},            {L"-131072", -131072},  {L"0400000", 400000}, {L"0X100000", 0x100000},
        {L" 0x100000", 0x100000}, {L"1 0x5", 1},        {L"x0x30000", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadSplitSizeText(c.text), c.value) << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(CommandLineChecksTest, VersionTexts)
{
    struct Case {
        std::wstring text;
        bool ok;
        std::string out;
    };
    const Case cases[] = {
        {L"1", true, ""},
        {L"123456789012", true, ""},
        {L"", false, "version number is empty.\n"},
        {L"1234567890123", false, "version number can't more than 12 byte.\n"},
        {L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", true, ""},                 // 12 bytes
        {L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", false, "version number can't more than 12 byte.\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(CheckVersionText(c.text), c.ok);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    }
}

TEST(CommandLineChecksTest, ReverseBytes)
{
    uint8_t bytes[] = {1, 2, 3, 4, 5};
    ReverseBytes(bytes, bytes + 5);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), (std::vector<uint8_t>{5, 4, 3, 2, 1}));
    ReverseBytes(bytes, bytes);
    EXPECT_EQ(bytes[0], 5);
}

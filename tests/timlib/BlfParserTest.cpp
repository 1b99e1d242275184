#include "timlib/BlfParser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <cstdint>
#include <string>
#include <vector>

#include "common/ZorlixException.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempFolder;
using testsupport::WriteFile;

std::wstring Wide(const std::string& text)
{
    return platform::DecodeText(text);
}

const std::wstring kFixture = Wide(std::string(TARVOK_FIXTURES) + "/lookup.blf");

// The console text and exception message of one lookup that must fail.
struct Failure {
    std::string console;
    std::wstring message;
    bool thrown = false;
};

Failure LookUpExpectingFailure(CBlfParser& parser, const std::wstring& path)
{
    Failure failure;
    std::wstring value = L"untouched";
    testing::internal::CaptureStdout();
    try {
        parser.GetKeyValue(L"", value, L"S", L"K", path);
    } catch (const CZorlixexception& e) {
        failure.thrown = true;
        failure.message = e.GetMessageText();
    }
    failure.console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(value, L"untouched");
    return failure;
}

TEST(BlfParserTest, LooksKeysUpInTheFixture)
{
    struct Case {
        std::wstring section;
        std::wstring key;
        std::wstring defaultText;
        std::wstring value;
        bool result;
    };
    const std::vector<Case> cases = {
        {L"Image_List", L"Leading", L"dflt", L"one", true},
        // A key matches as a substring, so the longer name written first wins.
        {L"Image_List", L"1_Image_Path", L"dflt", L"b.bin", true},
        {L"Image_List", L"Path", L"dflt", L"b.bin", true},
        {L"Image_List", L"Trusted", L"dflt", L"1", true},
        {L"Image_List", L"Version", L"dflt", L"Version", true},
        {L"Image_List", L"Empty_Value", L"dflt", L"", false},
        {L"Image_List", L"Equals_Key", L"dflt", L"a=b", true},
        {L"Image_List", L"Tab_Value", L"dflt", L"\tv", true},
        {L"Image_List", L"Spaced_Key", L"dflt", L"x y", true},
        {L"Image_List", L"", L"dflt", L"one", true},
        {L"First", L"", L"dflt", L"first", true},
        // Before the header, or in an earlier section: not found.
        {L"Image_List", L"Early_Key", L"dflt", L"dflt", true},
        {L"First", L"Early_Key", L"", L"", false},
        {L"Image_List", L"First_Key", L"dflt", L"dflt", true},
        // The section never ends: later headers are ordinary lines.
        {L"First", L"Leading", L"dflt", L"one", true},
        {L"Image_List", L"Second_Header_Key", L"dflt", L"still inside", true},
        {L"Image_List", L"Later_Key", L"dflt", L"later", true},
        // Header forms.
        {L"Extra", L"Extra_Key", L"dflt", L"extra", true},
        {L"Lower", L"Lower_Key", L"dflt", L"dflt", true},
        {L"lower", L"Lower_Key", L"dflt", L"lower", true},
        {L"Blank", L"Blank_Key", L"dflt", L"blank", true},
        {L"Tabbed", L"Tabbed_Key", L"dflt", L"dflt", true},
        {L"Image", L"Leading", L"dflt", L"dflt", true},
        {L"", L"Leading", L"dflt", L"dflt", true},
        {L"Missing", L"Leading", L"", L"", false},
    };
    CBlfParser parser;
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::EncodeText(L"[" + c.section + L"] " + c.key));
        std::wstring value = L"stale";
        testing::internal::CaptureStdout();
        const bool result = parser.GetKeyValue(c.defaultText, value, c.section, c.key, kFixture);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // a missing key is no error
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(value, c.value);
    }
}

TEST(BlfParserTest, ValueMayBeTheDefaultTextItself)
{
    CBlfParser parser;
    std::wstring text = L"fallback";
    EXPECT_TRUE(parser.GetKeyValue(text, text, L"Missing", L"Leading", kFixture));
    EXPECT_EQ(text, L"fallback");
}

TEST(BlfParserTest, GetKeyIntConvertsLikeA32BitRuntime)
{
    struct Case {
        std::string text;  // as written after "="; empty text means a missing key
        int32_t expected;
    };
    const int32_t kDefault = 77;
    const std::vector<Case> cases = {
        {"0x20000", 131072},
        {"0X1f", 31},
        {"010", 8},
        {"08", 0},
        {"0", 0},
        {"0xg", 0},
        {"abc", kDefault},
        {"12abc", 12},
        {"-1", -1},
        {"-0x10", -16},
        {"+5", 5},
        {"NOT_FOUND", kDefault},
        {"", kDefault},
        {"\t0", kDefault},
        {"\t7", 7},
        {"+0", kDefault},
        {"-0", kDefault},
        {"4294967295", -1},
        {"2147483648", INT32_MIN},
        {"4294967296", -1},
        {"0x123456789", -1},
        {"-99999999999", -1},
    };
    std::string content = "[Numbers]\n";
    for (size_t i = 0; i < cases.size(); ++i) {
        content += "Key_" + std::to_string(i) + "_ = " + cases[i].text + "\n";
    }
    TempFolder temp;
    WriteFile(temp.File("numbers.blf"), content);
    const std::wstring path = Wide(temp.File("numbers.blf"));

    CBlfParser parser;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("value '" + cases[i].text + "'");
        EXPECT_EQ(parser.GetKeyInt(path, L"Numbers", Wide("Key_" + std::to_string(i) + "_"), kDefault),
                  cases[i].expected);
    }
    EXPECT_EQ(parser.GetKeyInt(path, L"Numbers", L"Absent", kDefault), kDefault);
    EXPECT_EQ(parser.GetKeyInt(path, L"Absent", L"Key_0_", -3), -3);
}

TEST(BlfParserTest, CacheIsKeptUntilReleasedOrAnotherPathIsAsked)
{
    TempFolder temp;
    const std::string first = temp.File("first.blf");
    const std::string second = temp.File("second.blf");
    WriteFile(first, "[S]\nK = old\n");
    // The section stands at another line in each file.
    WriteFile(second, "[T]\nK = other\n[S]\nK = second\n");
    CBlfParser parser;
    EXPECT_EQ(parser.HeldText(), nullptr);
    std::wstring value;

    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(first)));
    EXPECT_EQ(value, L"old");
    WriteFile(first, "[S]\nK = new\n");
    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(first)));
    EXPECT_EQ(value, L"old");
    ASSERT_NE(parser.HeldText(), nullptr);
    EXPECT_EQ(parser.HeldText()->text, L"[S]\nK = old\n");

    parser.UseText(nullptr);
    EXPECT_EQ(parser.HeldText(), nullptr);
    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(first)));
    EXPECT_EQ(value, L"new");

    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(second)));
    EXPECT_EQ(value, L"second");
    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(first)));
    EXPECT_EQ(value, L"new");

    parser.UseText(nullptr);
    const Failure failure = LookUpExpectingFailure(parser, L"");
    EXPECT_TRUE(failure.thrown);
    EXPECT_EQ(failure.console, "blf buffer is Null\n");
    EXPECT_EQ(failure.message, L"blf buffer is Null");
}

// A parser handed another's text answers from it, without the file, for as
// long as it holds it; a parser not handed it reads the file.
TEST(BlfParserTest, AHandedTextAnswersTheLookupsOfItsPath)
{
    TempFolder temp;
    const std::wstring path = Wide(temp.File("layout.blf"));
    WriteFile(temp.File("layout.blf"), "[S]\nK = one\n");
    CBlfParser first;
    CBlfParser second;
    CBlfParser third;
    std::wstring value;
    ASSERT_TRUE(first.GetKeyValue(L"", value, L"S", L"K", path));
    second.UseText(first.HeldText());
    EXPECT_EQ(second.HeldText(), first.HeldText());
    first.UseText(nullptr);

    WriteFile(temp.File("layout.blf"), "[S]\nK = two\n");
    ASSERT_TRUE(second.GetKeyValue(L"", value, L"S", L"K", path));
    EXPECT_EQ(value, L"one");
    ASSERT_TRUE(third.GetKeyValue(L"", value, L"S", L"K", path));
    EXPECT_EQ(value, L"two");
    EXPECT_NE(third.HeldText(), second.HeldText());
}

TEST(BlfParserTest, FailuresPrintALineAndRaiseAndLeaveNothingCached)
{
    TempFolder temp;
    const std::string tooLarge = temp.File("too-large.blf");
    WriteFile(tooLarge, "");
    ASSERT_EQ(truncate(tooLarge.c_str(), (64 << 20) + 1), 0);  // sparse, one byte past the limit
    WriteFile(temp.File("good.blf"), "[S]\nK = v\n");

    struct Case {
        std::string name;
        std::wstring path;
        std::string console;
    };
    const std::vector<Case> cases = {
        {"missing file", Wide(temp.File("missing.blf")), "Open blf file failed\n"},
        {"folder", Wide(temp.Path()), "Open blf file failed\n"},
        {"empty path", L"", "Open blf file failed\n"},
        {"too large", Wide(tooLarge), "File " + tooLarge + " is larger than 64 MiB\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        std::wstring value;
        ASSERT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(temp.File("good.blf"))));
        const Failure failure = LookUpExpectingFailure(parser, c.path);
        EXPECT_TRUE(failure.thrown);
        EXPECT_EQ(failure.console, c.console);
        EXPECT_EQ(platform::EncodeText(failure.message) + "\n", c.console);
        EXPECT_EQ(parser.HeldText(), nullptr);
    }

    // A new parser has no text for the empty path it starts with.
    CBlfParser fresh;
    const Failure failure = LookUpExpectingFailure(fresh, L"");
    EXPECT_TRUE(failure.thrown);
    EXPECT_EQ(failure.console, "blf buffer is Null\n");
    EXPECT_EQ(failure.message, L"blf buffer is Null");
}

TEST(BlfParserTest, MissingFileIsTriedAgainOnTheNextLookup)
{
    TempFolder temp;
    const std::string path = temp.File("late.blf");
    CBlfParser parser;
    EXPECT_TRUE(LookUpExpectingFailure(parser, Wide(path)).thrown);

    WriteFile(path, "[S]\nK = arrived\n");
    std::wstring value;
    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(path)));
    EXPECT_EQ(value, L"arrived");
}

TEST(BlfParserTest, ReadsEveryLineWhateverTheFileForm)
{
    const std::string longValue(5000, 'a');
    struct Case {
        std::string name;
        std::string content;
        std::wstring key;
        std::wstring value;  // "dflt" when not found
    };
    const std::vector<Case> cases = {
        {"last line without LF", "[S]\nK = last", L"K", L"last"},
        {"header as last line", "[S]\n", L"", L"dflt"},
        {"CRLF line ends", "[S]\r\nA = 1\r\nK = crlf\r\n", L"K", L"crlf"},
        {"lone CR stays in the line", "[S]\nK = a\rb\n", L"K", L"a\rb"},
        {"long value", "[S]\nK = " + longValue + "\n", L"K", Wide(longValue)},
        {"long line before the header", std::string(5000, 'x') + "\n[S]\nK = after\n", L"K", L"after"},
        {"key deep in a long line", "[S]\n" + std::string(4000, 'y') + " K = deep\n", L"K", L"deep"},
        {"long header line", "[S]" + std::string(5000, 'z') + "\nK = v\n", L"K", L"v"},
        {"non-UTF-8 bytes", "junk \xFF\xC3\x28\n[S]\nK = \xE9t\xE9\nN = next\n", L"N", L"next"},
        {"non-UTF-8 value kept", "[S]\nK = \xE9t\xE9\n", L"K", Wide("\xE9t\xE9")},
        {"empty file", "", L"K", L"dflt"},
        {"empty file, empty key", "", L"", L"dflt"},
    };
    TempFolder temp;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::string path = temp.File("form" + std::to_string(i) + ".blf");
        WriteFile(path, c.content);
        CBlfParser parser;
        std::wstring value;
        EXPECT_TRUE(parser.GetKeyValue(L"dflt", value, L"S", c.key, Wide(path)));
        EXPECT_EQ(value, c.value);
    }
}

// A stop while the file is split fails the lookup as an unreadable file
// does, with nothing cached.
TEST(BlfParserTest, AStopFailsTheLookupAndCachesNothing)
{
    TempFolder temp;
    WriteFile(temp.File("stop.blf"), "[S]\nK = v\n");
    CBlfParser parser;
    platform::SetStopSignal(SIGTERM);
    const Failure failure = LookUpExpectingFailure(parser, Wide(temp.File("stop.blf")));
    platform::SetStopSignal(0);
    EXPECT_TRUE(failure.thrown);
    EXPECT_EQ(failure.console, "Reading the blf file stopped\n");
    EXPECT_EQ(failure.message, L"Reading the blf file stopped");
    EXPECT_EQ(parser.HeldText(), nullptr);
    std::wstring value;
    EXPECT_TRUE(parser.GetKeyValue(L"", value, L"S", L"K", Wide(temp.File("stop.blf"))));
    EXPECT_EQ(value, L"v");
}

}  // namespace

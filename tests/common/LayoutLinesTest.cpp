#include "common/LayoutLines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::vector<std::wstring> AllLines(std::wistream& stream)
{
    std::vector<std::wstring> lines;
    std::wstring line;
    while (layout::NextLine(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(LayoutLinesTest, NextLineGivesEveryNonEmptyLineOnce)
{
    struct Case {
        std::wstring input;
        std::vector<std::wstring> lines;
    };
    const std::vector<Case> cases = {
        {L"", {}},
        {L"\n \n\t\n", {}},
        {L"a\nb\n", {L"a", L"b"}},
        {L"a\n\n  b  \nlast", {L"a", L"b", L"last"}},  // no line feed after the last line
        {L"a\r\nb\r\n\r\n", {L"a", L"b"}},
    };
    for (const Case& c : cases) {
        std::wistringstream stream(c.input);
        EXPECT_EQ(AllLines(stream), c.lines);
        std::wstring line = L"kept";
        EXPECT_FALSE(layout::NextLine(stream, line));
        EXPECT_EQ(line, L"kept");
    }
}

TEST(LayoutLinesTest, OpenLayoutStreamReadsTheWholeFileOrFails)
{
    testsupport::TempFolder folder;
    const std::string path = folder.File("layout.blf");
    testsupport::WriteFile(path, "[Section]\nKey = 1\n");

    std::wistringstream stream(L"old text");
    stream.setstate(std::ios_base::eofbit);
    ASSERT_TRUE(layout::OpenLayoutStream(std::wstring(path.begin(), path.end()), stream));
    EXPECT_EQ(AllLines(stream), (std::vector<std::wstring>{L"[Section]", L"Key = 1"}));

    const std::string missing = folder.File("missing.blf");
    std::wistringstream none;
    EXPECT_FALSE(layout::OpenLayoutStream(std::wstring(missing.begin(), missing.end()), none));
}

}  // namespace

#include "common/LayoutLines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>


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

}  // namespace

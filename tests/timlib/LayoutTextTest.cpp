#include "timlib/LayoutText.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "support/CallCapture.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

// What the stream gives from where it stands.
std::wstring Rest(std::wistream& stream)
{
    return std::wstring(std::istreambuf_iterator<wchar_t>(stream), std::istreambuf_iterator<wchar_t>());
}

TEST(LayoutTextTest, ReadKeepsTheWholeFileAndIndexesItsLines)
{
    TempFolder folder;
    const std::wstring path = Wide(folder.File("layout.blf"));
    WriteFile(folder.File("layout.blf"), "[Section]\nKey = 1\n");
    const auto text = layout::LayoutText::Read(path);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->path, path);
    EXPECT_EQ(text->text, L"[Section]\nKey = 1\n");
    std::wstring_view value;
    ASSERT_EQ(text->lines.Find(L"Section", L"Key", value), layout::LookupResult::kFound);
    EXPECT_EQ(value, L"1");
}

// A stream over a path's text holds that text and reads no file; over
// another path's text it reads its own file, and over a file that cannot be
// read it is empty and says so.
TEST(LayoutTextTest, AStreamReadsTheTextOfItsPathOrTheFile)
{
    TempFolder folder;
    const std::wstring path = Wide(folder.File("layout.blf"));
    const std::wstring other = Wide(folder.File("other.blf"));
    WriteFile(folder.File("layout.blf"), "[Section]\nKey = 1\n");
    WriteFile(folder.File("other.blf"), "[Other]\n");
    auto text = layout::LayoutText::Read(path);
    WriteFile(folder.File("layout.blf"), "changed\n");

    layout::LayoutStream held(text, path);
    EXPECT_EQ(text.use_count(), 2);
    text.reset();
    ASSERT_TRUE(held.Readable());
    EXPECT_EQ(Rest(held.Stream()), L"[Section]\nKey = 1\n");

    layout::LayoutStream read(layout::LayoutText::Read(path), other);
    ASSERT_TRUE(read.Readable());
    EXPECT_EQ(Rest(read.Stream()), L"[Other]\n");

    layout::LayoutStream missing(nullptr, Wide(folder.File("missing.blf")));
    EXPECT_FALSE(missing.Readable());
    EXPECT_EQ(Rest(missing.Stream()), L"");
}

}  // namespace

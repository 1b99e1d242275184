#include "common/platform/Path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct NormalizeCase {
    std::wstring in;
    std::wstring out;
};

TEST(PathTest, NormalizePath)
{
    const std::vector<NormalizeCase> cases = {
        {L"", L""},
        {L"/", L"/"},
        {L"\\", L"/"},
        {L"a/b/c", L"a/b/c"},
        {L"a\\b\\c", L"a/b/c"},
        {L"a\\b/c", L"a/b/c"},
        {L"/a//b///c/", L"/a/b/c"},
        {L"./a/./b/.", L"a/b"},
        {L"a/b/../c", L"a/c"},
        {L"a/..", L"."},
        {L".", L"."},
        {L"../a", L"../a"},
        {L"../../a/../b", L"../../b"},
        {L"a/../../b", L"../b"},
        {L"/..", L"/"},
        {L"/a/../../b", L"/b"},
        {L"\\work\\blf\\..\\x.blf", L"/work/x.blf"},
        {L"X:\\a\\b", L"X:/a/b"},
        {L"a/...", L"a/..."},
    };
    for (const NormalizeCase& c : cases) {
        EXPECT_EQ(platform::NormalizePath(c.in), c.out) << "in: " << std::string(c.in.begin(), c.in.end());
    }
}

struct JoinCase {
    std::wstring base;
    std::wstring rel;
    std::wstring out;
};

TEST(PathTest, JoinPath)
{
    const std::vector<JoinCase> cases = {
        {L"/work/blf", L"images\\a.bin", L"/work/blf/images/a.bin"},
        {L"/work/blf/", L"a.bin", L"/work/blf/a.bin"},
        {L"/work/blf", L"..\\a.bin", L"/work/a.bin"},
        {L"/work", L"../../../a", L"/a"},
        {L"/work/blf", L"/other/./x", L"/other/x"},
        {L"/work/blf", L"\\other\\x", L"/other/x"},
        {L"/work/blf", L"", L"/work/blf"},
        {L"rel", L"a", L"rel/a"},
        {L"rel", L"../../a", L"../a"},
        {L"", L"a/b", L"a/b"},
        {L"/", L"a", L"/a"},
        // The climbs of the second part reach into the first.
        {L"a", L"..", L"."},
        {L"../x", L"../..", L"../.."},
        {L"/a/b", L"../../..", L"/"},
        {L"a/b", L"./../c", L"a/c"},
    };
    for (const JoinCase& c : cases) {
        EXPECT_EQ(platform::JoinPath(c.base, c.rel), c.out)
            << std::string(c.base.begin(), c.base.end()) << " + " << std::string(c.rel.begin(), c.rel.end());
    }
}

struct FolderAndNameCase {
    std::wstring folder;
    std::wstring name;
    std::wstring out;
};

TEST(PathTest, JoinFolderAndNamePutsOneSeparatorAndKeepsTheSpelling)
{
    const std::vector<FolderAndNameCase> cases = {
        {L"/work/tmp", L"kxp.bin", L"/work/tmp/kxp.bin"},
        {L"/work/tmp/", L"kxp.bin", L"/work/tmp/kxp.bin"},
        {L"work\\tmp\\", L"kxp.bin", L"work\\tmp\\kxp.bin"},
        {L"/", L"kxp.bin", L"/kxp.bin"},
        {L"rel", L"a", L"rel/a"},
        // Not normalised: the entry is named as listed, ".." included.
        {L"/a/./b", L"..", L"/a/./b/.."},
        {L"/a//b", L".x", L"/a//b/.x"},
    };
    for (const FolderAndNameCase& c : cases) {
        EXPECT_EQ(platform::JoinFolderAndName(c.folder, c.name), c.out)
            << std::string(c.folder.begin(), c.folder.end()) << " + " << std::string(c.name.begin(), c.name.end());
    }
}

TEST(PathTest, SeparatorsAndAbsolutePaths)
{
    EXPECT_TRUE(platform::IsSeparator(L'/'));
    EXPECT_TRUE(platform::IsSeparator(L'\\'));
    EXPECT_FALSE(platform::IsSeparator(L':'));

    EXPECT_TRUE(platform::IsAbsolutePath(L"/a"));
    EXPECT_TRUE(platform::IsAbsolutePath(L"\\a"));
    EXPECT_FALSE(platform::IsAbsolutePath(L""));
    EXPECT_FALSE(platform::IsAbsolutePath(L"a/b"));
    EXPECT_FALSE(platform::IsAbsolutePath(L"C:\\a"));

    EXPECT_EQ(platform::FindLastSeparator(L"a/b\\c"), 3u);
    EXPECT_EQ(platform::FindLastSeparator(L"a\\b/c"), 3u);
    EXPECT_EQ(platform::FindLastSeparator(L"/abc"), 0u);
    EXPECT_EQ(platform::FindLastSeparator(L"abc"), std::wstring::npos);
    EXPECT_EQ(platform::FindLastSeparator(L""), std::wstring::npos);
}

TEST(PathTest, ToNativePathTurnsBackslashesAndEncodesUtf8)
{
    EXPECT_EQ(platform::ToNativePath(L"a\\b/c"), "a/b/c");
    EXPECT_EQ(platform::ToNativePath(L"/t\u00e9st\\\u20ac"), "/t\xc3\xa9st/\xe2\x82\xac");
}

}  // namespace

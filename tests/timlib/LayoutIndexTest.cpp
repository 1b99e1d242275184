#include "timlib/LayoutIndex.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <string>
#include <vector>

#include "common/TimLib.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"

namespace {

using layout::LineIndex;
using layout::LookupResult;

// The lookup as a plain walk over the text, every line copied and trimmed:
// the index must answer exactly as it does.
bool WalkText(const std::wstring& text, const std::wstring& section, const std::wstring& key, std::wstring& value)
{
    bool inSection = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        TrimText(line);
        if (!inSection) {
            const size_t close = line.find(L']');
            inSection = !line.empty() && line[0] == L'[' && close != std::wstring::npos &&
                        line.find_first_of(std::wstring(L"\0\r", 2), 1) >= close &&
                        line.compare(1, close - 1, section) == 0;
            continue;
        }
        if (line.find(key) != std::wstring::npos) {
            const size_t equals = line.find(L'=');
            value = equals == std::wstring::npos ? line : line.substr(equals + 1);
            if (equals != std::wstring::npos) {
                TrimText(value);
            }
            return true;
        }
    }
    return false;
}

void ExpectLikeTheWalk(const std::wstring& text, const std::vector<std::wstring>& sections,
                       const std::vector<std::wstring>& keys, LineIndex::Lookups lookups)
{
    LineIndex index;
    ASSERT_TRUE(index.Build(text, lookups));
    for (const std::wstring& section : sections) {
        for (const std::wstring& key : keys) {
            std::wstring expected;
            std::wstring_view value = L"stale";
            const bool found = WalkText(text, section, key, expected);
            const LookupResult result = index.Find(section, key, value);
            ASSERT_EQ(result, found ? LookupResult::kFound : LookupResult::kMissing)
                << platform::EncodeText(L"[" + section + L"] " + key + L" in:\n" + text);
            if (found) {
                ASSERT_EQ(value, expected) << platform::EncodeText(L"[" + section + L"] " + key + L" in:\n" + text);
            }
        }
    }
}

// Both ways of looking up: through the index of four-character pieces,
// and line by line, as a text of too many pieces is.
void ExpectLikeTheWalk(const std::wstring& text, const std::vector<std::wstring>& sections,
                       const std::vector<std::wstring>& keys)
{
    for (const LineIndex::Lookups lookups : {LineIndex::Lookups::kIndexed, LineIndex::Lookups::kWalk}) {
        SCOPED_TRACE(static_cast<int>(lookups));
        ExpectLikeTheWalk(text, sections, keys, lookups);
    }
}

TEST(LayoutIndexTest, AnswersAsAWalkOverTheText)
{
    const std::vector<std::wstring> texts = {
        L"",
        L"\n\n",
        L"[S]",
        L"[S]\n",
        L"[S]\n\n",
        L"[S]\nK = v",
        L"[S]\n \nK = v\n",
        L"  [S]  \nK=\n",
        L"[S]x\n1_K = a\nK = b\n",
        L"[S\r]\nK = v\n[S]\nK = w\n",
        std::wstring(L"[S\0]\nK = v\n[S]\nK = w\n", 22),
        L"[S]\r\nK = v \r\n",
        L"[S]\n\tK = v\t\n",
        L"[T]\nK = t\n[S]\nK = s\n[T]\nK = u\n",
        L"[]\nK = empty name\n",
        L"[S]\nK\n",
        L"[S]\nK == = v = w \n",
        L"[S]\n   \n",
        L"K = before\n[S]\n[S]\nK = after",
        L"[S]\nab\nabc\n",
        // What a search of the whole text could take for a line's: a key in
        // a value, in an earlier longer key, in the blanks a line loses, or
        // across a line break; a line with all of a key's pieces apart.
        L"[S]\nA = 1_Image_Path\n1_Image_Path = real\n",
        L"[S]\n11_Image_Path = eleven\n1_Image_Path = one\n",
        L"[S]\nK = v \t\n  K = v w\n",
        L"[S]\n  K = v\n  \nK = v w",
        L"[S]\nab\ncd\nabcd = x\n",
        L"[S]\nab \n cd\nab cd = y\n",
        L"[S]\nxabca bcabx\nabcab = z\n",
        L"[T]\nKey_1 = t\n[S]\nKey_1 = s\n",
        L"[S]\n\u00c4\u00d6\u00dc\u00df = wide\n\u00c4\u00d6\u00dc = narrow\n",
        L"[S]\n[S]x\n1_Image_Path\n",
    };
    const std::vector<std::wstring> sections = {L"S", L"T", L"", L"S\r", L"Missing"};
    const std::vector<std::wstring> keys = {L"K", L"1_K", L"", L" ", L"K = v", L"ab", L"abc", L"[S]", L"=", L"\t",
                                            L"1_Image_Path", L"11_Image_Path", L"= v ", L"v \t", L"v\n  K",
                                            L"ab\ncd", L"abcd", L"b cd", L"ab \n cd", L"abcab", L"Key_1",
                                            L"\u00c4\u00d6\u00dc\u00df", L"\u00d6\u00dc =", L"[S]x"};
    for (const std::wstring& text : texts) {
        ExpectLikeTheWalk(text, sections, keys);
    }
}

// Texts made of a few characters, so that keys, headers, blanks and
// line breaks meet in every order.
TEST(LayoutIndexTest, AnswersAsAWalkOverMixedTexts)
{
    const std::wstring alphabet = L"ab_=[] \t\r\n\n1";
    std::mt19937 random(7);
    const std::vector<std::wstring> sections = {L"a", L"b", L"", L"a b", L"ab"};
    const std::vector<std::wstring> keys = {L"a", L"b", L"ab", L"a_b", L"ba=", L"1_a", L"", L"b a", L"aab",
                                            L"abab", L"a_ba", L"1_ab", L"b ab", L"ab]", L"=a b", L"aaaa"};
    for (int i = 0; i < 2000; ++i) {
        std::wstring text;
        const size_t length = random() % 60;
        for (size_t c = 0; c < length; ++c) {
            text += alphabet[random() % alphabet.size()];
        }
        ExpectLikeTheWalk(text, sections, keys);
    }
}

// Many numbered keys, each a substring of later ones, as image lists have.
TEST(LayoutIndexTest, NumberedKeysFindTheirOwnLine)
{
    std::wstring text = L"[Image_List]\n";
    for (int i = 1; i <= 300; ++i) {
        text += std::to_wstring(i) + L"_Image_Path = image" + std::to_wstring(i) + L".bin\n";
        text += std::to_wstring(i) + L"_Image_Enable = " + std::to_wstring(i % 2) + L"\n";
    }
    std::vector<std::wstring> keys;
    for (int i = 1; i <= 310; ++i) {
        keys.push_back(std::to_wstring(i) + L"_Image_Path");
        keys.push_back(std::to_wstring(i) + L"_Image_Enable");
        keys.push_back(L"image" + std::to_wstring(i));
    }
    ExpectLikeTheWalk(text, {L"Image_List"}, keys);
}

// Image lists of thousands of images, over a million characters in the
// larger one, as sections between two others.
TEST(LayoutIndexTest, LargeImageListsFindTheirOwnLine)
{
    for (const int images : {20000, 3000}) {
        SCOPED_TRACE(images);
        std::wstring text = L"[First]\n1_Image_Path = first\n[Image_List]\n";
        for (int i = 1; i <= images; ++i) {
            const std::wstring n = std::to_wstring(i);
            text += n + L"_Image_Path = image" + n + L".bin\n" + n + L"_Image_Flash_Entry_Address = 0x" + n + L"00\n";
        }
        text += L"[Last]\nEnd = 1\n";
        std::vector<std::wstring> keys = {L"End", L"0_Image_Path", L"first", L"Image_Path = image7.bin", L"bin\n2"};
        for (const int i : {1, 2, 10, 99, images / 2, images - 1, images, images + 1}) {
            keys.push_back(std::to_wstring(i) + L"_Image_Path");
            keys.push_back(std::to_wstring(i) + L"_Image_Flash_Entry_Address");
        }
        ExpectLikeTheWalk(text, {L"First", L"Image_List", L"Last"}, keys);
    }
}

class LayoutIndexStopTest : public testing::Test {
protected:
    void TearDown() override { platform::SetStopSignal(0); }
};

TEST_F(LayoutIndexStopTest, AStopEndsTheSplitAndTheLookups)
{
    // Every line holds each piece of the key, but not the key: a lookup
    // passes all of them, with the index of pieces and without.
    std::wstring text = L"[S]\n";
    for (int i = 0; i < 20000; ++i) {
        text += L"xabca bcabx\n";
    }
    for (const LineIndex::Lookups lookups : {LineIndex::Lookups::kIndexed, LineIndex::Lookups::kWalk}) {
        SCOPED_TRACE(static_cast<int>(lookups));
        LineIndex index;
        ASSERT_TRUE(index.Build(text, lookups));
        platform::SetStopSignal(SIGTERM);
        std::wstring_view value = L"kept";
        EXPECT_EQ(index.Find(L"S", L"abcab", value), LookupResult::kStopped);
        EXPECT_EQ(value, L"kept");
        EXPECT_FALSE(index.Build(text, lookups));
        EXPECT_EQ(index.Find(L"S", L"bcabx", value), LookupResult::kMissing);

        // One long line is looked at while it is marked.
        EXPECT_FALSE(index.Build(L"[S]\nK = " + std::wstring(size_t(3) << 20, L'x'), lookups));
        platform::SetStopSignal(0);
        EXPECT_TRUE(index.Build(text, lookups));
        EXPECT_EQ(index.Find(L"S", L"bcabx", value), LookupResult::kFound);
        EXPECT_EQ(value, L"xabca bcabx");
    }
}

}  // namespace

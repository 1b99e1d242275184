#include "erd/Operations.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "erd/PackageText.h"

namespace {

using erdtest::AddedWords;
using erdtest::Lines;
using erdtest::Rest;
using erdtest::Words;
using erdtest::Written;

enum class Family { kDdr, kGpp };

std::unique_ptr<CErdBase> MakeList(Family family)
{
    if (family == Family::kDdr) {
        return std::make_unique<CDDROperations>();
    }
    return std::make_unique<CGPPOperations>();
}

TEST(OperationsTest, LinesGiveOperationsAndWriteBack)
{
    struct Case {
        Family family;
        std::wstring line;
        bool result;
        uint32_t id;
        uint32_t value;
        std::wstring written;
    };
    const Case cases[] = {
        {Family::kDdr, L"DDR_INIT_ENABLE = 1", true, 1, 1, L"DDR_INIT_ENABLE = 0x00000001\n"},
        {Family::kDdr, L"NOP = 0", true, 0, 0, L"NOP = 0x00000000\n"},
        {Family::kDdr, L"DDR_IGNORE_INST_TO = 7", true, 6, 7, L"DDR_IGNORE_INST_TO = 0x00000007\n"},
        {Family::kGpp, L"GPP_IGNORE_INST_TO = 0x10", true, 6, 0x10, L"GPP_IGNORE_INST_TO = 0x00000010\n"},
        // A trailing comment stays in the value text and takes part in the
        // conversion.
        {Family::kDdr, L"DDR_MEMTEST_SIZE = 0x100000 ; one MiB", true, 4, 0x100000,
         L"DDR_MEMTEST_SIZE = 0x00100000\n"},
        {Family::kDdr, L"DDR_INIT_LOOP_COUNT = 10 ; not 0x10", true, 5, 0x10, L"DDR_INIT_LOOP_COUNT = 0x00000010\n"},
        // Names of another family, in another case, or lines that are not
        // name = value fail the list.
        {Family::kGpp, L"DDR_INIT_ENABLE = 1", false, 0, 0, L""},
        {Family::kDdr, L"GPP_IGNORE_INST_TO = 1", false, 0, 0, L""},
        {Family::kDdr, L"ddr_init_enable = 1", false, 0, 0, L""},
        {Family::kDdr, L"DDR_INIT_ENABLE 1", false, 0, 0, L""},
        {Family::kDdr, L"; DDR_INIT_ENABLE = 1", false, 0, 0, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        const std::unique_ptr<CErdBase> list = MakeList(c.family);
        const std::wstring begin = list->BeginKeyword();
        std::wistringstream in(Lines({c.line, list->EndKeyword(), L"after"}));
        EXPECT_EQ(list->Parse(in, begin), c.result);
        if (!c.result) {
            EXPECT_EQ(list->Size(), 0u);
            EXPECT_EQ(Rest(in), list->EndKeyword() + L"\nafter\n");
            continue;
        }
        EXPECT_EQ(Rest(in), L"after\n");
        EXPECT_EQ(list->Size(), 8u);
        EXPECT_EQ(Written(*list), begin + L"\n" + c.written + list->EndKeyword() + L"\n");
        const std::wstring name = c.line.substr(0, c.line.find(L' '));
        const Words words = {{CTimLib::FormatHex32(c.id), name}, {CTimLib::FormatHex32(c.value), L"Value"}};
        EXPECT_EQ(AddedWords(*list), words);
    }
}

TEST(OperationsTest, ListsKeepEveryOperationInLineOrder)
{
    CDDROperations list;
    std::wistringstream in(Lines({L"DDR_INIT_ENABLE = 1", L"DDR_INIT_ENABLE = 0", L"DDR_MEMTEST_START_ADDR = 0x1000",
                                  L"End_DDROperations"}));
    ASSERT_TRUE(list.Parse(in, L"DDROperations"));
    EXPECT_EQ(list.GetNumOps(), 3u);
    EXPECT_EQ(list.Size(), 24u);
    uint32_t result = 0;
    const Words words = {
        {L"0x00000001", L"DDR_INIT_ENABLE"}, {L"0x00000001", L"Value"},
        {L"0x00000001", L"DDR_INIT_ENABLE"}, {L"0x00000000", L"Value"},
        {L"0x00000003", L"DDR_MEMTEST_START_ADDR"}, {L"0x00001000", L"Value"},
    };
    EXPECT_EQ(AddedWords(list, &result), words);
    EXPECT_EQ(result, 24u);
}

TEST(OperationsTest, CommentLineFailsTheListKeepingWhatWasRead)
{
    CGPPOperations list;
    std::wistringstream in(Lines({L"GPP_IGNORE_INST_TO = 1", L"; a comment", L"NOP = 0", L"End_GPPOperations"}));
    EXPECT_FALSE(list.Parse(in, L"GPPOperations"));
    EXPECT_EQ(list.GetNumOps(), 1u);
    EXPECT_EQ(Rest(in), L"NOP = 0\nEnd_GPPOperations\n");
}

TEST(OperationsTest, EmptyBlocksAndLinesThatOpenNoBlock)
{
    CDDROperations list;
    std::wistringstream empty(L"End_DDROperations\nafter\n");
    EXPECT_TRUE(list.Parse(empty, L"DDROperations"));
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_EQ(Written(list), L"DDROperations\nEnd_DDROperations\n");
    EXPECT_EQ(Rest(empty), L"after\n");

    std::wistringstream other(L"DDR_INIT_ENABLE = 1\n");
    EXPECT_TRUE(list.Parse(other, L"GPPOperations"));
    EXPECT_EQ(Rest(other), L"DDR_INIT_ENABLE = 1\n");

    // The end of the input ends the block, but a last line of blanks
    // without a line feed is a line that is not name = value.
    std::wistringstream unended(L"DDR_INIT_ENABLE = 1");
    EXPECT_TRUE(list.Parse(unended, L"DDROperations"));
    EXPECT_EQ(list.GetNumOps(), 1u);
    std::wistringstream blankEnd(L"DDR_INIT_ENABLE = 1\n \t");
    EXPECT_FALSE(list.Parse(blankEnd, L"DDROperations"));
    EXPECT_EQ(list.GetNumOps(), 2u);
}

TEST(OperationsTest, TrustZoneListReadsAndWritesNothing)
{
    CTzOperations list;
    const std::wstring body = Lines({L"TZ_CONFIG_ENABLE = 1", L"End_TZ_Operations"});
    std::wistringstream in(body);
    EXPECT_TRUE(list.Parse(in, L"TZ_Operations"));
    EXPECT_EQ(Rest(in), body);
    EXPECT_EQ(list.GetNumOps(), 0u);
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_EQ(Written(list), L"");
    EXPECT_TRUE(AddedWords(list).empty());
    EXPECT_EQ(list.BeginKeyword(), L"TZ_Operations");
    EXPECT_EQ(list.EndKeyword(), L"End_TZ_Operations");
    ASSERT_NE(CTzOperation::Find(L"TZ_CONFIG_ENABLE"), nullptr);
    EXPECT_EQ(CTzOperation::Find(L"TZ_CONFIG_ENABLE")->id, 1u);
}

TEST(OperationsTest, CopiesAreDeep)
{
    CGPPOperations source;
    std::wistringstream in(Lines({L"GPP_IGNORE_INST_TO = 3", L"NOP = 9", L"End_GPPOperations"}));
    ASSERT_TRUE(source.Parse(in, L"GPPOperations"));
    const Words words = AddedWords(source);

    CGPPOperations assigned;
    assigned = source;
    const CGPPOperations copied(source);
    const std::unique_ptr<CErdBase> cloned(source.Clone());
    ASSERT_NE(dynamic_cast<CGPPOperations*>(cloned.get()), nullptr);
    source.Reset();
    EXPECT_EQ(source.GetNumOps(), 0u);
    const CErdBase* copies[] = {&assigned, &copied, cloned.get()};
    for (const CErdBase* copy : copies) {
        EXPECT_EQ(copy->m_TypeId, static_cast<uint32_t>(kErdGppOperations));
        EXPECT_EQ(AddedWords(*copy), words);
    }
    const CGPPOperations& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.GetNumOps(), 2u);

    CDDROperations ddr;
    CTzOperations tz;
    EXPECT_NE(dynamic_cast<CDDROperations*>(ddr.Clone().get()), nullptr);
    EXPECT_NE(dynamic_cast<CTzOperations*>(tz.Clone().get()), nullptr);
}

}  // namespace

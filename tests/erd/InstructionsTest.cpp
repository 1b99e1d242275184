#include "erd/Instructions.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "erd/PackageText.h"

namespace {

using erdtest::AddedWords;
using erdtest::Lines;
using erdtest::Words;
using erdtest::Written;

// Parses "Instructions", the body lines and "End_Instructions".
bool ParseBlock(CInstructions& block, const std::vector<std::wstring>& body)
{
    std::vector<std::wstring> lines = body;
    lines.push_back(L"End_Instructions");
    std::wistringstream in(Lines(lines));
    return block.Parse(in, L"Instructions");
}

TEST(InstructionsTest, DefinitionsKeepTheirOpcodesAndNames)
{
    // Opcodes 0 to 34 in order, then the two table pseudo-instructions.
    for (size_t i = 0; i < 35; ++i) {
        EXPECT_EQ(kInstructionDefinitions[i].opcode, i);
    }
    struct Case {
        const wchar_t* name;
        uint32_t opcode;
        std::vector<std::wstring> params;
    };
    const Case cases[] = {
        {L"NOP", 0, {}},
        {L"WAIT_FOR_BIT_SET", 4, {L"Address", L"Mask", L"TimeOut Value"}},
        {L"WAIT_FOR_BIT_PATTERN", 9, {L"Address", L"Mask", L"Value", L"TimeoutValue"}},
        {L"TEST_SM_AND_BRANCH", 26, {L"ScratchMemoryID", L"Mask", L"Value", L"Operation", L"BranchLabel"}},
        {L"END", 28, {}},
        {L"STORE_SM_TO_ADDR_IN_SM", 34, {L"SrcScratchMemoryID", L"DestScratchMemoryID"}},
        {L"PP_WRITE", 10001, {L"Offset", L"Value", L"Index"}},
        {L"PP_TABLEHEADER", 10002, {L"Offset", L"Value", L"Index"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        const InstructionDefinition* row = FindDefinition(kInstructionDefinitions, c.name);
        ASSERT_NE(row, nullptr);
        const CInstruction instruction(*row);
        EXPECT_EQ(instruction.m_Opcode, c.opcode);
        EXPECT_EQ(instruction.m_NumParams, c.params.size());
        for (size_t i = 0; i < kMaxInstructionParams; ++i) {
            EXPECT_EQ(instruction.m_ParamNames[i], i < c.params.size() ? c.params[i] : L"");
            EXPECT_EQ(instruction.m_Values[i], 0u);
        }
    }
    EXPECT_EQ(FindDefinition(kInstructionDefinitions, L"write"), nullptr);
}

TEST(InstructionsTest, LinesGiveInstructionsAndWriteBack)
{
    struct Case {
        std::wstring line;
        uint32_t opcode;
        std::vector<uint32_t> values;
        std::wstring comment;
        std::wstring written;
    };
    const Case cases[] = {
        {L"WRITE = <0x1000, 0x1>", 1, {0x1000, 1}, L"", L"WRITE = <0x00001000,0x00000001> \n"},
        {L"WRITE = <0x1, 0x2> ; set clock", 1, {1, 2}, L" set clock",
         L"WRITE = <0x00000001,0x00000002>    ; set clock\n"},
        {L"WRITE = <0x1, 0x2> set clock", 1, {1, 2}, L" set clock",
         L"WRITE = <0x00000001,0x00000002>    ; set clock\n"},
        {L"DELAY = <100>", 3, {100}, L"", L"DELAY = <0x00000064> \n"},
        // Each value is read from its own item: 16 stays decimal.
        {L"WRITE = <16, 0x20>", 1, {16, 0x20}, L"", L"WRITE = <0x00000010,0x00000020> \n"},
        {L"SET_BITFIELD = <0x10, 010, 8>", 8, {0x10, 8, 8}, L"",
         L"SET_BITFIELD = <0x00000010,0x00000008,0x00000008> \n"},
        // A short list repeats its last value; surplus values are ignored.
        {L"WRITE = <0x5>", 1, {5, 5}, L"", L"WRITE = <0x00000005,0x00000005> \n"},
        {L"TEST_IF_ZERO_AND_SET = <1, 2>", 10, {1, 2, 2, 2, 2}, L"",
         L"TEST_IF_ZERO_AND_SET = <0x00000001,0x00000002,0x00000002,0x00000002,0x00000002> \n"},
        {L"WRITE = <1, 2, 3>", 1, {1, 2}, L"", L"WRITE = <0x00000001,0x00000002> \n"},
        {L"WRITE = <>", 1, {0, 0}, L"", L"WRITE = <0x00000000,0x00000000> \n"},
        {L"NOP = <>", 0, {}, L"", L"NOP = <> \n"},
        {L"END = <> ;done", 28, {}, L"done", L"END = <>    ;done\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        CInstructions block;
        ASSERT_TRUE(ParseBlock(block, {c.line}));
        ASSERT_EQ(block.m_Instructions.size(), 1u);
        const CInstruction& instruction = block.m_Instructions.front();
        EXPECT_EQ(instruction.m_Opcode, c.opcode);
        ASSERT_EQ(instruction.m_NumParams, c.values.size());
        for (size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(instruction.m_Values[i], c.values[i]) << "value " << i;
        }
        EXPECT_EQ(instruction.m_Comment, c.comment);
        std::wostringstream out;
        EXPECT_TRUE(instruction.Write(out, false));
        EXPECT_EQ(out.str(), c.written);
        EXPECT_EQ(Written(block), L"Instructions\n" + c.written + L"End_Instructions\n");
    }
}

TEST(InstructionsTest, LongLinesAreWrittenWhole)
{
    CInstructions block;
    const std::wstring comment(2000, L'c');
    ASSERT_TRUE(ParseBlock(block, {L"DELAY = <1> ;" + comment, L"DELAY = <2>"}));
    EXPECT_EQ(Written(block), L"Instructions\nDELAY = <0x00000001>    ;" + comment +
                                  L"\nDELAY = <0x00000002> \nEnd_Instructions\n");
}

TEST(InstructionsTest, BlockReadsUpToItsEndAndSkipsNonInstructionLines)
{
    CInstructions block;
    std::wistringstream in(Lines({L"", L"; a comment", L"no equals sign", L"  DELAY = <1>  ", L"End_Instructions",
                                  L"after"}));
    EXPECT_TRUE(block.Parse(in, L"Instructions"));
    EXPECT_EQ(block.m_Instructions.size(), 1u);
    EXPECT_EQ(erdtest::Rest(in), L"after\n");

    // A line that does not open the block reads nothing.
    std::wistringstream untouched(L"DELAY = <1>\n");
    EXPECT_TRUE(block.Parse(untouched, L"Something_else"));
    EXPECT_EQ(erdtest::Rest(untouched), L"DELAY = <1>\n");

    // The end of the input ends the block.
    std::wistringstream shortInput(L"DELAY = <2>");
    EXPECT_TRUE(block.Parse(shortInput, L"Instructions"));
    EXPECT_EQ(block.m_Instructions.size(), 2u);
}

TEST(InstructionsTest, UnknownMnemonicStopsAtOnceAndMissingBracketsThrow)
{
    CInstructions block;
    std::wistringstream in(Lines({L"DELAY = <1>", L"write = <0x1, 0x2>", L"DELAY = <2>", L"End_Instructions"}));
    EXPECT_FALSE(block.Parse(in, L"Instructions"));
    EXPECT_EQ(block.m_Instructions.size(), 1u);
    EXPECT_EQ(erdtest::Rest(in), L"DELAY = <2>\nEnd_Instructions\n");

    CInstructions unbracketed;
    EXPECT_THROW(ParseBlock(unbracketed, {L"WRITE = 0x1, 0x2"}), std::out_of_range);
}

TEST(InstructionsTest, TableHeaderAndTableWriteComeInPairs)
{
    struct Case {
        const char* what;
        std::vector<std::wstring> body;
        bool result;
        size_t count;
    };
    const Case cases[] = {
        {"header alone", {L"PP_TABLEHEADER = <1, 2, 3>", L"DELAY = <1>"}, false, 2},
        {"write alone", {L"PP_WRITE = <1, 2, 3>"}, false, 1},
        {"both", {L"PP_WRITE = <1, 2, 3>", L"PP_TABLEHEADER = <4, 5, 6>"}, true, 2},
        {"write named in a comment", {L"DELAY = <1> ; then PP_WRITE"}, false, 1},
        {"both named in comments", {L"DELAY = <1> ; PP_WRITE and PP_TABLEHEADER"}, true, 1},
        {"neither", {L"DELAY = <1>"}, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CInstructions block;
        EXPECT_EQ(ParseBlock(block, c.body), c.result);
        EXPECT_EQ(block.m_Instructions.size(), c.count);
    }
}

TEST(InstructionsTest, SizeAndCountFollowTheEmittedWords)
{
    struct Case {
        const char* what;
        std::vector<std::wstring> body;
        uint32_t size;
        uint32_t count;
    };
    const Case cases[] = {
        {"empty", {}, 0, 0},
        {"write, header, two table writes",
         {L"WRITE = <1, 2>", L"PP_TABLEHEADER = <0xA, 0xB, 0xC>", L"PP_WRITE = <1, 2, 3>", L"PP_WRITE = <4, 5, 6>"},
         12 + 0 + 36 + 36,
         1 + 0 + 3 + 3},
        {"no parameters", {L"NOP = <>", L"END = <>"}, 8, 2},
        {"five parameters", {L"TEST_IF_ZERO_AND_SET = <1>"}, 24, 1},
        // A table write with nothing to expand against emits nothing.
        {"table write without header", {L"PP_WRITE = <1, 2, 3> ; no PP_TABLEHEADER here", L"DELAY = <1>"}, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CInstructions block;
        ASSERT_TRUE(ParseBlock(block, c.body));
        EXPECT_EQ(block.Size(), c.size);
        EXPECT_EQ(block.GetNumInst(), c.count);
        uint32_t result = 0;
        EXPECT_EQ(AddedWords(block, &result).size() * 4, c.size);
        EXPECT_EQ(result, c.size);
    }
    CInstructions empty;
    ASSERT_TRUE(ParseBlock(empty, {}));
    EXPECT_EQ(Written(empty), L"Instructions\nEnd_Instructions\n");
}

TEST(InstructionsTest, WordsOfOrdinaryAndTableInstructions)
{
    const Words headerFirst = {
        {L"0x00000001", L"WRITE"}, {L"0x0000000A", L"Offset"}, {L"0x00000001", L"Offset"},
        {L"0x00000001", L"WRITE"}, {L"0x0000000B", L"Value"},  {L"0x00000002", L"Value"},
        {L"0x00000001", L"WRITE"}, {L"0x0000000C", L"Index"},  {L"0x00000003", L"Index"},
    };
    struct Case {
        const char* what;
        std::vector<std::wstring> body;
        Words words;
    };
    const Case cases[] = {
        {"ordinary", {L"WAIT_FOR_BIT_SET = <0x100, 0x4, 10>"},
         {{L"0x00000004", L"WAIT_FOR_BIT_SET"}, {L"0x00000100", L"Address"}, {L"0x00000004", L"Mask"},
          {L"0x0000000A", L"TimeOut Value"}}},
        {"header first", {L"PP_TABLEHEADER = <0xA, 0xB, 0xC>", L"PP_WRITE = <1, 2, 3>"}, headerFirst},
        {"header later", {L"PP_WRITE = <1, 2, 3>", L"PP_TABLEHEADER = <0xA, 0xB, 0xC>"}, headerFirst},
        {"each write uses the header in force",
         {L"PP_TABLEHEADER = <0xA, 0xB, 0xC>", L"PP_TABLEHEADER = <0x10, 0x20, 0x30>", L"PP_WRITE = <1>"},
         {{L"0x00000001", L"WRITE"}, {L"0x00000010", L"Offset"}, {L"0x00000001", L"Offset"},
          {L"0x00000001", L"WRITE"}, {L"0x00000020", L"Value"}, {L"0x00000001", L"Value"},
          {L"0x00000001", L"WRITE"}, {L"0x00000030", L"Index"}, {L"0x00000001", L"Index"}}},
        {"table write without header", {L"DELAY = <5> ; PP_TABLEHEADER", L"PP_WRITE = <1, 2, 3>"},
         {{L"0x00000003", L"DELAY"}, {L"0x00000005", L"Value"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CInstructions block;
        ASSERT_TRUE(ParseBlock(block, c.body));
        CReservedPackageData package;
        EXPECT_EQ(block.AddToPackage(package), block.Size());
        EXPECT_EQ(erdtest::WordsOf(package), c.words);
        EXPECT_TRUE(package.m_PackageId.empty());
    }
}

TEST(InstructionsTest, AHeaderInForceGoesWithTheListItStoodIn)
{
    CInstructions block;
    ASSERT_TRUE(ParseBlock(block, {L"DELAY = <1>", L"PP_TABLEHEADER = <0xA, 0xB, 0xC>", L"PP_WRITE = <1, 2, 3>"}));
    ASSERT_EQ(AddedWords(block).size(), 2u + 9u);
    // A list replaced from outside holds no header at the kept place.
    block.m_Instructions = std::vector<CInstruction>{block.m_Instructions.back()};
    EXPECT_EQ(AddedWords(block), Words{});
}

TEST(InstructionsTest, CopiesAreDeepAndStartWithoutAHeaderInForce)
{
    CInstructions source;
    ASSERT_TRUE(ParseBlock(source, {L"PP_TABLEHEADER = <0xA, 0xB, 0xC>", L"WRITE = <1, 2> ; note", L"PP_WRITE = <7>"}));
    const Words words = AddedWords(source);

    CInstructions assigned;
    ASSERT_TRUE(ParseBlock(assigned, {L"DELAY = <9>"}));
    assigned = source;
    const std::unique_ptr<CErdBase> cloned(source.Clone());
    ASSERT_NE(cloned, nullptr);
    ASSERT_NE(dynamic_cast<CInstructions*>(cloned.get()), nullptr);
    const CInstructions copied(source);
    source.Reset();
    EXPECT_TRUE(source.m_Instructions.empty());
    const CErdBase* copies[] = {&assigned, cloned.get(), &copied};
    for (const CErdBase* copy : copies) {
        EXPECT_EQ(copy->m_TypeId, static_cast<uint32_t>(kErdInstructions));
        EXPECT_EQ(copy->Size(), 12u + 36u);
        EXPECT_EQ(AddedWords(*copy), words);
        EXPECT_EQ(static_cast<const CInstructions*>(copy)->m_Instructions[1].m_Comment, L" note");
    }

    const CInstructions& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.m_Instructions.size(), 3u);
}

}  // namespace

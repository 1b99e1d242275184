#include "erd/Initialization.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "erd/PackageText.h"

namespace {

using erdtest::AddedWords;
using erdtest::Lines;
using erdtest::Rest;
using erdtest::Words;
using erdtest::Written;

// Parses the block's lines after its first one; the rest of the stream
// goes to rest.
bool ParseBlock(CErdBase& package, const std::vector<std::wstring>& lines, std::wstring* rest = nullptr)
{
    std::wistringstream in(Lines(std::vector<std::wstring>(lines.begin() + 1, lines.end())));
    const bool result = package.Parse(in, lines.front());
    if (rest != nullptr) {
        *rest = Rest(in);
    }
    return result;
}

const std::vector<std::wstring> kGppBlock = {
    L"GPP", L"GPP_PID = GPP1", L"GPPOperations", L"GPP_IGNORE_INST_TO = 1", L"End_GPPOperations",
    L"Instructions", L"WRITE = <0x1000, 0x1>", L"End_Instructions", L"End_GPP",
};

TEST(InitializationTest, GppBlockGivesItsWordsAndWritesBack)
{
    CGPPInitialization package;
    std::wstring rest;
    std::vector<std::wstring> lines = kGppBlock;
    lines.push_back(L"after");
    ASSERT_TRUE(ParseBlock(package, lines, &rest));
    EXPECT_EQ(rest, L"after\n");
    EXPECT_EQ(package.m_PidValue, L"GPP1");
    EXPECT_EQ(package.m_Ops.GetNumOps(), 1u);
    EXPECT_EQ(package.m_Insts.m_Instructions.size(), 1u);
    EXPECT_EQ(package.Size(), 16u + 8u + 12u);

    CReservedPackageData data;
    EXPECT_EQ(package.AddToPackage(data), 36u);
    EXPECT_EQ(data.m_PackageId, L"0x47505031");  // GPP1
    const Words words = {
        {L"0x00000001", L"NumOps"}, {L"0x00000001", L"NumInst"}, {L"0x00000006", L"GPP_IGNORE_INST_TO"},
        {L"0x00000001", L"Value"},  {L"0x00000001", L"WRITE"},   {L"0x00001000", L"Address"},
        {L"0x00000001", L"Value"},
    };
    EXPECT_EQ(erdtest::WordsOf(data), words);

    EXPECT_EQ(Written(package),
              Lines({L"GPP", L"GPP_PID = GPP1", L"GPPOperations", L"GPP_IGNORE_INST_TO = 0x00000001",
                     L"End_GPPOperations", L"Instructions", L"WRITE = <0x00001000,0x00000001> ", L"End_Instructions",
                     L"End_GPP"}));
    EXPECT_EQ(package.BeginKeyword(), L"GPP");
    EXPECT_EQ(package.EndKeyword(), L"End_GPP");
}

// The text with every "%OP" replaced by a valid operation name of the
// family and every "%F" by the family's name.
std::vector<std::wstring> ForFamily(const std::vector<std::wstring>& lines, const std::wstring& family,
                                    const std::wstring& operation)
{
    std::vector<std::wstring> made;
    for (std::wstring line : lines) {
        for (const auto& [from, to] : {std::pair<std::wstring, std::wstring>(L"%OP", operation), {L"%F", family}}) {
            for (size_t at = line.find(from); at != std::wstring::npos; at = line.find(from)) {
                line.replace(at, from.size(), to);
            }
        }
        made.push_back(line);
    }
    return made;
}

TEST(InitializationTest, FailingSubBlocksFailDdrButNotGpp)
{
    struct Case {
        const char* what;
        std::vector<std::wstring> body;  // between the begin and end lines
        size_t operations;
        size_t instructions;
    };
    const Case cases[] = {
        {"unknown operation", {L"%FOperations", L"%OP = 1", L"%F_FOO = 1", L"NOP = 2", L"End_%FOperations",
                               L"%F_PID = 0x1"}, 1, 0},
        {"unknown instruction", {L"Instructions", L"DELAY = <1>", L"write = <1, 2>", L"DELAY = <2>",
                                 L"End_Instructions", L"%F_PID = 0x1"}, 0, 1},
        {"table header alone", {L"Instructions", L"PP_TABLEHEADER = <1, 2, 3>", L"End_Instructions",
                                L"%F_PID = 0x1"}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> lines = {L"DDR_Initialization"};
        for (const std::wstring& line : ForFamily(c.body, L"DDR", L"DDR_INIT_ENABLE")) {
            lines.push_back(line);
        }
        lines.push_back(L"End_DDR_Initialization");
        lines.push_back(L"after");
        CDDRInitialization ddr;
        std::wstring rest;
        EXPECT_FALSE(ParseBlock(ddr, lines, &rest));
        EXPECT_TRUE(ddr.m_PidValue.empty());
        EXPECT_NE(rest.find(L"End_DDR_Initialization\nafter\n"), std::wstring::npos);

        // The GPP package reads on over what the failed sub-block left, its
        // end line included, up to its own end.
        lines = {L"GPP"};
        for (const std::wstring& line : ForFamily(c.body, L"GPP", L"GPP_IGNORE_INST_TO")) {
            lines.push_back(line);
        }
        lines.push_back(L"End_GPP");
        lines.push_back(L"after");
        CGPPInitialization gpp;
        EXPECT_TRUE(ParseBlock(gpp, lines, &rest));
        EXPECT_EQ(rest, L"after\n");
        EXPECT_EQ(gpp.m_PidValue, L"0x1");
        EXPECT_EQ(gpp.m_Ops.GetNumOps(), c.operations);
        EXPECT_EQ(gpp.m_Insts.m_Instructions.size(), c.instructions);
    }
}

TEST(InitializationTest, PidLinesMustNameTheFieldExactly)
{
    const std::vector<std::wstring> ignored = {L"gpp_pid = 1", L"GPP_PID 1", L"; GPP_PID = 1", L"MY_GPP_PID = 1"};
    for (const std::wstring& line : ignored) {
        SCOPED_TRACE(testing::PrintToString(line));
        CGPPInitialization package;
        ASSERT_TRUE(ParseBlock(package, {L"GPP", line, L"End_GPP"}));
        EXPECT_TRUE(package.m_PidValue.empty());
        CReservedPackageData data;
        package.AddToPackage(data);
        EXPECT_EQ(data.m_PackageId, L"0x00000000");
    }
    // A line that does not open the block reads nothing.
    CDDRInitialization ddr;
    std::wstring rest;
    EXPECT_TRUE(ParseBlock(ddr, {L"DDR_Init", L"DDR_PID = 1"}, &rest));
    EXPECT_EQ(rest, L"DDR_PID = 1\n");
}

TEST(InitializationTest, VendorPackageNamesItselfAfterItsVendor)
{
    struct Case {
        std::wstring pidLine;
        std::wstring pid;
        std::wstring keyword;
    };
    const Case cases[] = {
        {L"DDR_PID = 0100", L"0x0100", L"SAMSUNG_DDR_Initialization"},
        {L"DDR_PID = 0X0100", L"0X0100", L"SAMSUNG_DDR_Initialization"},
        {L"DDR_PID = 0xFF00", L"0xFF00", L"Micron_DDR_Initialization"},
        {L"DDR_PID = 0x0A00", L"0x0A00", L"RESERVED_DDR_Initialization"},
        {L"DDR_PID = 0x1F00", L"0x1F00", L"_DDR_Initialization"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.pidLine));
        CVendorDDRInitialization package;
        ASSERT_TRUE(ParseBlock(package, {L"Vendor_DDR_Initialization", c.pidLine, L"DDROperations",
                                         L"DDR_INIT_ENABLE = 1", L"End_DDROperations",
                                         L"END_Vendor_DDR_Initialization"}));
        EXPECT_EQ(package.m_PidValue, c.pid);
        EXPECT_EQ(package.BeginKeyword(), c.keyword);
        EXPECT_EQ(package.m_PidValue, c.pid);
        EXPECT_EQ(package.m_Ops.GetNumOps(), 1u);
        EXPECT_EQ(Written(package),
                  Lines({L"Vendor_DDR_Initialization", L"DDR_PID = " + c.pid, L"DDROperations",
                         L"DDR_INIT_ENABLE = 0x00000001", L"End_DDROperations", L"Instructions", L"End_Instructions",
                         L"END_Vendor_DDR_Initialization"}));
    }
    CVendorDDRInitialization fresh;
    EXPECT_EQ(fresh.BeginKeyword(), L"_DDR_Initialization");
    EXPECT_EQ(fresh.m_PidValue, L"0x");
    EXPECT_EQ(fresh.EndKeyword(), L"END_Vendor_DDR_Initialization");

    // A failing operation sub-block fails the package.
    CVendorDDRInitialization failing;
    EXPECT_FALSE(ParseBlock(failing, {L"Vendor_DDR_Initialization", L"DDROperations", L"GPP_IGNORE_INST_TO = 1",
                                      L"End_DDROperations", L"END_Vendor_DDR_Initialization"}));
}

TEST(InitializationTest, TrustZonePackageLeavesItsBlockToTheCaller)
{
    CTzInitialization package;
    const std::wstring body = Lines({L"TZ_PID = TZP1", L"TZ_Operations", L"TZ_CONFIG_ENABLE = 1", L"End_TZ_Operations",
                                     L"End_TZ_Initialization"});
    std::wistringstream in(body);
    EXPECT_TRUE(package.Parse(in, L"TZ_Initialization"));
    EXPECT_EQ(Rest(in), body);
    EXPECT_TRUE(package.m_PidValue.empty());
    EXPECT_EQ(package.Size(), 16u);
    EXPECT_EQ(Written(package), L"");
    const Words words = {{L"0x00000000", L"NumOps"}, {L"0x00000000", L"NumInst"}};
    EXPECT_EQ(AddedWords(package), words);
    EXPECT_EQ(package.m_FieldNames[0], L"TZ_PID");
}

TEST(InitializationTest, CopiesAreDeep)
{
    CDDRInitialization source;
    ASSERT_TRUE(ParseBlock(source, {L"DDR_Initialization", L"DDR_PID = DDRX", L"DDROperations",
                                    L"DDR_INIT_ENABLE = 1", L"DDR_MEMTEST_SIZE = 0x400", L"End_DDROperations",
                                    L"Instructions", L"PP_TABLEHEADER = <0xA, 0xB, 0xC>", L"PP_WRITE = <1, 2, 3>",
                                    L"DELAY = <5> ; settle", L"End_Instructions", L"End_DDR_Initialization"}));
    const std::wstring text = Written(source);
    const Words words = AddedWords(source);
    EXPECT_EQ(source.Size(), 16u + 16u + 36u + 8u);

    CDDRInitialization assigned;
    assigned = source;
    const CDDRInitialization copied(source);
    const std::unique_ptr<CErdBase> cloned(source.Clone());
    ASSERT_NE(dynamic_cast<CDDRInitialization*>(cloned.get()), nullptr);
    source.m_Ops.Reset();
    source.m_Insts.Reset();
    source.m_PidValue.clear();
    CErdBase* copies[] = {&assigned, const_cast<CDDRInitialization*>(&copied), cloned.get()};
    for (CErdBase* copy : copies) {
        EXPECT_EQ(copy->Size(), 76u);
        EXPECT_EQ(Written(*copy), text);
        EXPECT_EQ(AddedWords(*copy), words);
    }
    const CDDRInitialization& same = assigned;
    assigned = same;
    EXPECT_EQ(Written(assigned), text);

    // Every initialisation class clones into its own class.
    CGPPInitialization gpp;
    CVendorDDRInitialization vendor;
    CTzInitialization tz;
    EXPECT_NE(dynamic_cast<CGPPInitialization*>(gpp.Clone().get()), nullptr);
    EXPECT_NE(dynamic_cast<CVendorDDRInitialization*>(vendor.Clone().get()), nullptr);
    EXPECT_NE(dynamic_cast<CTzInitialization*>(tz.Clone().get()), nullptr);
}

}  // namespace

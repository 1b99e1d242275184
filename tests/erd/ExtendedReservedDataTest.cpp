#include "erd/ExtendedReservedData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/ProcessorPlatforms.h"
#include "erd/SimplePackages.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"
#include "timlib/LayoutText.h"

namespace {

using testsupport::Capture;
using testsupport::Outcome;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

using Erd = CExtendedReservedData;
using Records = std::vector<std::pair<uint32_t, uint32_t>>;
using TypeIds = std::vector<uint32_t>;

const char kParsing[] = "Parsing ExtendedReservedData\n";
const char kComplete[] = "\ncomplete to parse ExtendedReservedData\n";

// Table sizes in member order: clock, DDR custom, DDR NLT07x, frequency,
// SDRAM, voltages, CMCC, trust zone, trust-zone region id, divider, mode.
std::vector<size_t> Sizes(const Erd& erd)
{
    return {erd.m_ClockEnableNames.size(), erd.m_DdrCustomNames.size(), erd.m_DdrCustomNlt07xNames.size(),
            erd.m_FrequencyNames.size(),   erd.m_SdramSpecNames.size(), erd.m_VoltagesNames.size(),
            erd.m_CmccNames.size(),        erd.m_TrustZoneNames.size(), erd.m_TrustZoneRegidNames.size(),
            erd.m_OpDivNames.size(),       erd.m_OpModeNames.size()};
}

Records Of(const RegisterList& list)
{
    Records records;
    for (const RegisterField& field : list) {
        records.emplace_back(field.FieldIndex, field.Value);
    }
    return records;
}

std::string Block(const std::string& body)
{
    return "[Extended_Reserved_Data]\n" + body + "End_Reserved_Data\n";
}

TypeIds Types(const Erd& erd)
{
    TypeIds ids;
    for (const auto& package : erd.m_Packages) {
        ids.push_back(package->m_TypeId);
    }
    return ids;
}

// The blocks of the layout file at path, read as the layout reader reads
// them: through a stream over the file's text.
bool ParseFile(const std::wstring& path, Erd& erd)
{
    layout::LayoutStream stream(layout::LayoutText::Read(path), path);
    return ParseExtendedReservedData(stream.Stream(), erd);
}

Outcome Parse(Erd& erd, const TempFolder& folder, const std::string& text)
{
    static int counter = 0;
    const std::string name = "erd" + std::to_string(counter++) + ".blf";
    WriteFile(folder.File(name), text);
    const std::wstring path = Wide(folder.File(name));
    return Capture([&] { return ParseFile(path, erd); });
}

TEST(ExtendedReservedDataTest, ConstructorLoadsQuon2ThenRhevo)
{
    const Erd erd(L"whatever");
    EXPECT_EQ(erd.m_ProcessorName, L"whatever");
    EXPECT_EQ(Sizes(erd), (std::vector<size_t>{2, 69, 49, 1, 81, 0, 3, 10, 4, 0, 0}));
    EXPECT_EQ(erd.m_ClockEnableNames[0], L"Rhevo_CLOCK_ID_MCU");
    EXPECT_EQ(erd.m_FrequencyNames[0], L"Rhevo_FREQ_ID_MCU");
    EXPECT_EQ(erd.m_DdrCustomNames[0], L"Quon2_SDRCFGREG0_ID");
    EXPECT_EQ(erd.m_TrustZoneRegidNames[0], L"Quon2_TZSELECT_ID");
    EXPECT_FALSE(erd.m_bChanged);
    EXPECT_EQ(erd.Size(), 0u);
}

TEST(ExtendedReservedDataTest, ProcessorTypeSelectsTheFamily)
{
    const std::vector<size_t> none(11, 0);
    const std::vector<size_t> sdramOnly = {0, 0, 0, 0, 81, 0, 3, 0, 0, 0, 0};
    const std::vector<size_t> rhevo = {2, 0, 49, 1, 81, 0, 3, 0, 0, 0, 0};
    const std::vector<size_t> quon = {2, 69, 0, 1, 81, 0, 3, 10, 4, 0, 0};
    const std::vector<size_t> nlt104 = {2, 49, 0, 1, 81, 0, 3, 0, 0, 14, 17};
    struct Case {
        std::wstring processor;
        bool result;
        std::vector<size_t> sizes;
        std::wstring regid0;  // first region-id name, where there is one
        bool rhevoDdrCustom;
    };
    const Case cases[] = {
        {L"", true, sdramOnly, L"", false},
        {L"NLT01x", true, none, L"", false},
        {L"nlt03X", true, none, L"", false},
        {L"NLT104", true, nlt104, L"", false},
        {L"SELVA31", true, nlt104, L"", false},
        {L"NLT105", true, quon, L"Quon2_TZSELECT_ID", false},
        {L"nlt105", true, quon, L"Quon2_TZSELECT_ID", false},
        {L"NLT111", true, quon, L"Quon2_TZSELECT_ID", false},
        {L"NLT07x", true, rhevo, L"", true},
        {L"nlt07x", true, rhevo, L"", true},
        {L"NLT06x", true, rhevo, L"", true},
        {L"NLT10X", true, rhevo, L"", true},
        {L"NLT122", true, quon, L"Quon3_TZSELECT_ID", false},
        {L"Varsic_PV_Jexul2", true, quon, L"Quon3_TZSELECT_ID", false},
        {L"NLT120", true, quon, L"Quon3_TZSELECT_ID", false},
        {L"NLT999", false, none, L"", false},
        {L"NLT105 ", false, none, L"", false},
        // Only the platform table knows this one; no register family does.
        {L"NLT114", false, none, L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.processor));
        Erd erd(L"");
        EXPECT_EQ(erd.SetProcessorType(c.processor), c.result);
        EXPECT_EQ(Sizes(erd), c.sizes);
        if (!c.regid0.empty()) {
            EXPECT_EQ(erd.m_TrustZoneRegidNames[0], c.regid0);
        }
        EXPECT_EQ(erd.UsesRhevoDdrCustom(), c.rhevoDdrCustom);
    }
}

// Every processor model, grouped by the family its names come from as the
// processor list defines them, so a row moved in either table shows.
TEST(ExtendedReservedDataTest, EveryProcessorModelSelectsItsFamily)
{
    struct Family {
        std::vector<size_t> sizes;
        std::wstring regid0;  // first region-id name, where there is one
        std::vector<std::wstring> processors;
    };
    const Family families[] = {
        {std::vector<size_t>(11, 0), L"", {L"NLT01x", L"NLT02x", L"NLT03x"}},
        {{2, 49, 0, 1, 81, 0, 3, 0, 0, 14, 17}, L"", {L"NLT104", L"SELVA31"}},
        {{2, 69, 0, 1, 81, 0, 3, 10, 4, 0, 0}, L"Quon2_TZSELECT_ID", {L"NLT105", L"NLT111"}},
        {{2, 0, 49, 1, 81, 0, 3, 0, 0, 0, 0}, L"", {L"NLT06x", L"NLT07x", L"NLT08x", L"NLT09x", L"NLT10x"}},
        {{2, 69, 0, 1, 81, 0, 3, 10, 4, 0, 0},
         L"Quon3_TZSELECT_ID",
         {L"Jexul1", L"Varsic_PV_Jexul2", L"Orrimel", L"NLT112", L"NLT113", L"NLT115", L"NLT116", L"NLT122",
          L"NLT121", L"NLT117", L"SELVA32", L"Orrimel_LTE", L"SELVA33", L"Draskel", L"NLT118", L"NLT119",
          L"NLT123", L"NLT124", L"NLT120"}},
    };
    size_t models = 0;
    for (const Family& family : families) {
        for (const std::wstring& processor : family.processors) {
            SCOPED_TRACE(testing::PrintToString(processor));
            Erd erd(L"");
            EXPECT_TRUE(erd.SetProcessorType(processor));
            EXPECT_EQ(Sizes(erd), family.sizes);
            if (!family.regid0.empty()) {
                EXPECT_EQ(erd.m_TrustZoneRegidNames[0], family.regid0);
            }
            ++models;
        }
    }
    EXPECT_EQ(models, std::size(kProcessorNames));
}

TEST(ExtendedReservedDataTest, BeforeAnyProcessorTypeTheNameChoosesTheDdrTable)
{
    EXPECT_TRUE(Erd(L"NLT07x").UsesRhevoDdrCustom());
    EXPECT_TRUE(Erd(L"xNLT07Xy").UsesRhevoDdrCustom());
    EXPECT_FALSE(Erd(L"nlt07x").UsesRhevoDdrCustom());
    EXPECT_FALSE(Erd(L"").UsesRhevoDdrCustom());
}

TEST(ExtendedReservedDataTest, FindFieldPrefersTheWrittenName)
{
    const Erd erd(L"");
    struct Case {
        std::wstring line;
        const NameTable* table;
        bool found;
        uint32_t index;
        uint32_t value;
    };
    const Case cases[] = {
        {L"SDRAM_S_tRC = 7", &erd.m_SdramSpecNames, true, 40, 7},
        // Longer names that contain an earlier one get their own index.
        {L"SDRAM_S_tRCD = 5", &erd.m_SdramSpecNames, true, 41, 5},
        {L"SDRAM_S_tRCD=0x20", &erd.m_SdramSpecNames, true, 41, 0x20},
        {L"SDRAM_S_tDSb = 3", &erd.m_SdramSpecNames, true, 28, 3},
        {L"SDRAM_S_tCKE = 9", &erd.m_SdramSpecNames, true, 62, 9},
        {L"SDRAM_S_tRPA = 0x11", &erd.m_SdramSpecNames, true, 44, 0x11},
        // Otherwise the first name the line contains decides.
        {L"SDRAM_S_tRC_ALT = 7", &erd.m_SdramSpecNames, true, 40, 0},
        {L"CMCC_CONSUMER_ID 12", &erd.m_CmccNames, true, 2, 12},
        // A ";" comment stays in the value, read by the number rules.
        {L"CMCC_MEMTEST_ENA_ID = 10 ; not 0x10", &erd.m_CmccNames, true, 1, 0x10},
        {L"; CMCC_MEMTEST_ENA_ID = 1", &erd.m_CmccNames, false, 0, 0},
        {L"CMCC_MEMTEST_ENA_ID", &erd.m_CmccNames, false, 0, 0},
        {L"UNKNOWN_ID = 1", &erd.m_CmccNames, false, 0, 0},
        {L"SDRAM_S_tRC = 7", &erd.m_VoltagesNames, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        uint32_t index = 99;
        uint32_t value = 99;
        EXPECT_EQ(Erd::FindField(c.line, *c.table, index, value), c.found);
        if (c.found) {
            EXPECT_EQ(index, c.index);
            EXPECT_EQ(value, c.value);
        }
    }
}

// Every name of every table, in lines that hold it whole, in part or
// with its first character lost: the table answers as a plain search of
// its names does, the written name first, then the first name held.
TEST(ExtendedReservedDataTest, FindFieldAnswersAsASearchOfEveryName)
{
    Erd all(L"");
    Erd quon3(L"");
    LoadQuon3RegisterNames(quon3);
    Erd nlt104(L"");
    LoadNlt104RegisterNames(nlt104);
    const NameTable Erd::*const tables[] = {
        &Erd::m_ClockEnableNames, &Erd::m_DdrCustomNames, &Erd::m_DdrCustomNlt07xNames, &Erd::m_FrequencyNames,
        &Erd::m_SdramSpecNames,   &Erd::m_VoltagesNames,  &Erd::m_CmccNames,            &Erd::m_TrustZoneNames,
        &Erd::m_TrustZoneRegidNames, &Erd::m_OpDivNames,  &Erd::m_OpModeNames};
    const auto expected = [](const NameTable& names, const std::wstring& line, uint32_t& index) {
        std::wstring written = line.substr(0, line.find(L'='));
        CTimLib::Trim(written);
        for (size_t pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < names.size(); ++i) {
                if (pass == 0 ? names[i] == written : line.find(names[i]) != std::wstring::npos) {
                    index = static_cast<uint32_t>(i);
                    return true;
                }
            }
        }
        return false;
    };
    for (const Erd* erd : {&all, &quon3, &nlt104}) {
        for (const auto table : tables) {
            const NameTable& names = erd->*table;
            for (const std::wstring_view name : names) {
                const std::wstring whole(name);
                for (const std::wstring& line : {whole + L" = 5", L"  x" + whole + L"_Z=0x20 ; c",
                                                 whole.substr(1) + L" = 5", L"1_Image_Enable = " + whole}) {
                    SCOPED_TRACE(testing::PrintToString(line));
                    uint32_t wantIndex = 0;
                    const bool want = expected(names, line, wantIndex);
                    uint32_t index = 99;
                    uint32_t value = 99;
                    ASSERT_EQ(Erd::FindField(line, names, index, value), want);
                    if (want) {
                        EXPECT_EQ(index, wantIndex);
                    }
                }
            }
        }
    }
}

TEST(ExtendedReservedDataTest, CategoryBlocksFillTheirLists)
{
    struct Case {
        std::string name;
        std::wstring processor;
        std::string text;
        RegisterList Erd::*list;
        Records records;
    };
    const Case cases[] = {
        {"clock", L"NLT105",
         Block("Clock_Enable\nQuon2_CLOCK_ID_I2C = 1\nQuon2_CLOCK_ID_MCU = 0x3\nEnd_Clock_Enable\n"),
         &Erd::m_ClockEnableList, {{1, 1}, {0, 3}}},
        {"region ids are not trust-zone lines", L"NLT105",
         Block("Trust_Zone_Regid\nQuon2_TZRANGE1_ID = 4\nEnd_Trust_Zone_Regid\n"), &Erd::m_TrustZoneRegidList,
         {{2, 4}}},
        {"Quon3 region ids", L"NLT122",
         Block("Trust_Zone_Regid\nQuon2_TZRANGE1_ID = 4\nQuon3_TZPERMISSION_ID = 5\nEnd_Trust_Zone_Regid\n"),
         &Erd::m_TrustZoneRegidList, {{3, 5}}},
        {"trust zone", L"NLT105", Block("Trust_Zone\nTZCS0_PERMRU_ID = 0x10\nEnd_Trust_Zone\n"),
         &Erd::m_TrustZoneList, {{9, 0x10}}},
        {"timing", L"NLT105",
         Block("DDR_Timing\nSDRAM_S_tRC = 7\nSDRAM_S_tRCD = 5\n; SDRAM_S_tRP = 1\nnoise\nEnd_DDR_Timing\n"),
         &Erd::m_DdrTimingList, {{40, 7}, {41, 5}}},
        {"geometry shares the SDRAM names", L"NLT105",
         Block("DDR_Geometry\nSDRAM_S_NUMBANKS = 8\nEnd_DDR_Geometry\n"), &Erd::m_DdrGeometryList, {{73, 8}}},
        {"memory control", L"NLT105",
         Block("Configure_Memory_Control\nCMCC_CONSUMER_ID = 2\nEnd_Configure_Memory_Control\n"), &Erd::m_CmccList,
         {{2, 2}}},
        {"NLT104 reaches only index 0", L"NLT104",
         Block("OpMode\nSTRINGIZE(field_enum) = 6\nEnd_OpMode\nOpDiv\nSTRINGIZE(field_enum) = 1\nEnd_OpDiv\n"),
         &Erd::m_OpModeList, {{0, 6}}},
        {"no family names voltages", L"NLT105", Block("Voltages\nVOLT_ID = 1\nEnd_Voltages\n"),
         &Erd::m_VoltagesList, {}},
        {"Quon DDR", L"NLT105", Block("DDR_Custom\nQuon2_OPREAD_ID = 0x68\nEnd_DDR_Custom\n"), &Erd::m_DdrCustomList,
         {{68, 0x68}}},
        {"Rhevo DDR", L"NLT07x", Block("DDR_Custom\nRhevo_SDRCTLREG14_ID = 1\nEnd_DDR_Custom\n"),
         &Erd::m_DdrCustomNlt07xList, {{15, 1}}},
        // Every processor of the Rhevo family reads the Rhevo DDR names,
        // whatever case its name is written in.
        {"Rhevo DDR, lower case", L"nlt07x", Block("DDR_Custom\nRhevo_SDRCTLREG14_ID = 1\nEnd_DDR_Custom\n"),
         &Erd::m_DdrCustomNlt07xList, {{15, 1}}},
        {"Rhevo DDR, NLT09x", L"NLT09x", Block("DDR_Custom\nRhevo_OPREAD_ID = 2\nEnd_DDR_Custom\n"),
         &Erd::m_DdrCustomNlt07xList, {{37, 2}}},
        // A category block ignores "End_Reserved_Data" and runs to its own
        // closing line.
        {"closing line only", L"NLT105",
         "[Extended_Reserved_Data]\nFrequency\nEnd_Reserved_Data\nQuon2_FREQ_ID_MCU = 9\nEnd_Frequency\n",
         &Erd::m_FrequencyList, {{0, 9}}},
        // Several blocks add to one object.
        {"two blocks", L"NLT105",
         Block("Frequency\nQuon2_FREQ_ID_MCU = 1\nEnd_Frequency\n") +
             Block("Frequency\nQuon2_FREQ_ID_MCU = 2\nEnd_Frequency\n"),
         &Erd::m_FrequencyList, {{0, 1}, {0, 2}}},
        {"outside a block nothing counts", L"NLT105", "Frequency\nQuon2_FREQ_ID_MCU = 1\nEnd_Frequency\n",
         &Erd::m_FrequencyList, {}},
        // The converter's closing line ends the block: a category after it
        // belongs to no block.
        {"extended closing line", L"NLT105",
         "[Extended_Reserved_Data]\nEnd_Extended_Reserved_Data\n[Other]\nFrequency\nQuon2_FREQ_ID_MCU = 1\n",
         &Erd::m_FrequencyList, {}},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Erd erd(L"");
        erd.m_ProcessorName = c.processor;
        erd.SetProcessorType(c.processor);
        const Outcome o = Parse(erd, folder, c.text);
        EXPECT_TRUE(o.result);
        EXPECT_EQ(o.out, std::string(kParsing) + kComplete);
        EXPECT_EQ(Of(erd.*c.list), c.records);
        EXPECT_EQ(erd.m_bChanged, !c.records.empty());
    }
}

TEST(ExtendedReservedDataTest, PackageKeywordsInTheirOrder)
{
    struct Case {
        std::string body;
        TypeIds types;
        size_t consumerIds = 0;
    };
    const Case cases[] = {
        {"GpioSet\n", {kErdGpioSet}},
        {"Usb_Vendor_Request\n", {kErdUsbVendorReq}},
        {"Usb\n", {kErdUsb}},
        {"my Uart here\n", {kErdUart}},
        {"AutoBind\n", {kErdAutoBind}},
        {"Resume_DDR\n", {kErdResumeDdr}},
        {"Resume\n", {kErdResume}},
        {"TBR_Xfer_Set\n", {kErdTbrXferSet}},
        // The V2 keyword contains the first one's.
        {"Escape_SequenceV2\n", {kErdEscapeSeq}},
        {"Escape_Sequence\n", {kErdEscapeSeq}},
        {"Core_Reset\n", {kErdCoreReset}},
        {"BBMT\n", {kErdBbmt}},
        // Consumer ids are kept apart from the other packages.
        {"Consumer_ID\nCID = TBRI\nEnd_Consumer_ID\nConsumer_ID\nEnd_Consumer_ID\n", {}, 2},
        {"Image_Maps\nNUM_MAPS = 0\nEnd_Image_Maps\n", {kErdImageMaps}},
        // Containment is case-sensitive; unknown lines make nothing.
        {"autobind\nGPIOSET\nCustTransferAPInfoSet\nImage_Map_Info\nGpio\nXfer\nnoise = 1\n", {}},
        // The first keyword of the table wins, wherever it stands in the line.
        {"Uart GpioSet\n", {kErdGpioSet}},
        {"AutoBind Usb\n", {kErdUsb}},
        // A register category comes before every package keyword.
        {"Clock_Enable AutoBind\nEnd_Clock_Enable\n", {}},
        // Closing lines open no second package.
        {"AutoBind\nAUTOBIND = 1\nEnd_AutoBind\nGpioSet\nEnd GpioSet\nBBMT\nEnd_BBMT\nTBR_Xfer_Set\n"
         "End TBR Xfer Set\n",
         {kErdAutoBind, kErdGpioSet, kErdBbmt, kErdTbrXferSet}},
        {"Uart\nEnd_Uart\nUart\nEND_Uart\nEnd Uart\n", {kErdUart, kErdUart}},
        // The two DDR keywords must be the whole line.
        {"DDR_Initialization\nEnd_DDR_Initialization\n", {kErdDdrInitialization}},
        {"DDR_Initialization ; note\nVendor_DDR_Initialization x\n", {}},
        {"Vendor_DDR_Initialization\nEND_Vendor_DDR_Initialization\n", {kErdVendorDdrInitialization}},
        {"my GPP block\nEnd_GPP\n", {kErdGppInitialization}},
        // A stray closing line of a package that reads its own block opens
        // that package; those of the trust-zone packages, which read
        // nothing, pass over.
        {"End_GPP\n", {kErdGppInitialization}},
        {"End_Image_Maps\nNUM_MAPS = 0\nEnd_Image_Maps\n", {kErdImageMaps}},
        {"End_Consumer_ID\nCID = TBRI\nEnd_Consumer_ID\n", {}, 1},
        {"TZ_Operations\nEnd_TZ_Operations\nTZ_Initialization\nEnd_TZ_Initialization\n",
         {kErdTzOperations, kErdTzInitialization}},
        // The trust-zone package reads nothing, so its operations sub-block
        // becomes a package of its own.
        {"TZ_Initialization\nTZ_Operations\nTZ_CONFIG_ENABLE = 1\nEnd_TZ_Operations\nEnd_TZ_Initialization\n",
         {kErdTzInitialization, kErdTzOperations}},
        // A GPP block whose operations sub-block fails still ends at its own
        // closing line, and the package after it is made.
        {"GPP\nGPP_PID = GPP1\nGPPOperations\nGPP_FOO = 1\nEnd_GPPOperations\nEnd_GPP\nAutoBind\n",
         {kErdGppInitialization, kErdAutoBind}},
        {"GPP\nInstructions\nNOT_AN_INSTRUCTION = <1>\nEnd_Instructions\nEnd_GPP\nUart\n",
         {kErdGppInitialization, kErdUart}},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Erd erd(L"");
        const Outcome o = Parse(erd, folder, Block(c.body));
        EXPECT_TRUE(o.result);
        EXPECT_EQ(o.out, std::string(kParsing) + kComplete);
        EXPECT_EQ(Types(erd), c.types);
        EXPECT_EQ(erd.m_ConsumerIds.size(), c.consumerIds);
    }
}

TEST(ExtendedReservedDataTest, PackagesAndRecordsAddUp)
{
    TempFolder folder;
    Erd erd(L"");
    erd.SetProcessorType(L"NLT122");
    const Outcome o = Parse(erd, folder,
                            Block("AutoBind\nEnd_AutoBind\nClock_Enable\nQuon2_CLOCK_ID_MCU = 1\n"
                                  "Quon2_CLOCK_ID_I2C = 0\nQuon2_CLOCK_ID_MCU = 2\nEnd_Clock_Enable\n"));
    ASSERT_TRUE(o.result);
    EXPECT_EQ(erd.Size(), 12u + (8 * 3 + 8));
    // The consumer ids share one 12-byte header; each counts 8 bytes and
    // 4 per package identifier.
    ASSERT_TRUE(Parse(erd, folder, Block("Consumer_ID\nCID = TBRI\nPID = DDR1\nEnd_Consumer_ID\n")).result);
    EXPECT_EQ(erd.Size(), 44u + 12 + (8 + 4));
    ASSERT_TRUE(Parse(erd, folder, Block("Consumer_ID\nCID = OBMI\nEnd_Consumer_ID\n")).result);
    EXPECT_EQ(erd.Size(), 44u + 12 + (8 + 4) + 8);
    EXPECT_TRUE(Types(erd) == TypeIds{kErdAutoBind});
    ASSERT_EQ(erd.m_ConsumerIds.size(), 2u);

    // A copy holds packages of its own.
    Erd copy(L"");
    copy = erd;
    EXPECT_EQ(Types(copy), TypeIds{kErdAutoBind});
    EXPECT_NE(copy.m_Packages[0].get(), erd.m_Packages[0].get());
    ASSERT_EQ(copy.m_ConsumerIds.size(), 2u);
    EXPECT_EQ(copy.m_ConsumerIds[0]->m_PIDs, TextList{L"DDR1"});
    EXPECT_NE(copy.m_ConsumerIds[0].get(), erd.m_ConsumerIds[0].get());
    erd.Reset();
    EXPECT_EQ(erd.Size(), 0u);
    EXPECT_EQ(copy.Size(), 44u + 12 + 12 + 8);
}

TEST(ExtendedReservedDataTest, BlockWithEveryKeyword)
{
    TempFolder folder;
    Erd erd(L"NLT122");
    erd.SetProcessorType(L"NLT122");
    const Outcome o = Parse(erd, folder, testsupport::ReadFile(TARVOK_FIXTURES "/extended-reserved-data.txt"));
    ASSERT_TRUE(o.result) << o.out;
    EXPECT_EQ(Types(erd), (TypeIds{kErdGpioSet, kErdUsbVendorReq, kErdUsb, kErdUart, kErdAutoBind, kErdResumeDdr,
                                   kErdResume, kErdTbrXferSet, kErdEscapeSeq, kErdCoreReset, kErdBbmt,
                                   kErdDdrInitialization, kErdVendorDdrInitialization, kErdGppInitialization,
                                   kErdTzInitialization, kErdTzOperations, kErdImageMaps}));
    EXPECT_EQ(erd.m_ConsumerIds.size(), 1u);
    // NLT122 names no voltage, divider or mode register.
    for (const RegisterList* list : {&erd.m_ClockEnableList, &erd.m_DdrGeometryList, &erd.m_DdrTimingList,
                                     &erd.m_DdrCustomList, &erd.m_FrequencyList, &erd.m_CmccList,
                                     &erd.m_TrustZoneList, &erd.m_TrustZoneRegidList}) {
        EXPECT_EQ(list->size(), 1u);
    }
    EXPECT_EQ(Of(erd.m_DdrTimingList), (Records{{41, 5}}));
}

TEST(ExtendedReservedDataTest, ARejectedPackageFailsAndKeepsWhatCameBefore)
{
    TempFolder folder;
    Erd erd(L"");
    erd.SetProcessorType(L"NLT105");
    const Outcome o = Parse(erd, folder,
                            Block("AutoBind\nClock_Enable\nQuon2_CLOCK_ID_MCU = 1\nEnd_Clock_Enable\n"
                                  "DDR_Initialization\nDDROperations\nDDR_FOO = 1\nEnd_DDROperations\n"
                                  "End_DDR_Initialization\nUart\nFrequency\nQuon2_FREQ_ID_MCU = 1\n"));
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, kParsing);
    EXPECT_EQ(Types(erd), TypeIds{kErdAutoBind});
    EXPECT_EQ(Of(erd.m_ClockEnableList), (Records{{0, 1}}));
    EXPECT_TRUE(erd.m_FrequencyList.empty());
}

TEST(ExtendedReservedDataTest, InstructionValuesWithoutBracketsRaise)
{
    TempFolder folder;
    const std::string name = folder.File("brackets.blf");
    WriteFile(name, Block("AutoBind\nGPP\nInstructions\nWRITE = 0x1000, 0x1\nEnd_Instructions\nEnd_GPP\n"));
    Erd erd(L"");
    testing::internal::CaptureStdout();
    EXPECT_THROW(ParseFile(Wide(name), erd), std::out_of_range);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kParsing);
    EXPECT_EQ(Types(erd), TypeIds{kErdAutoBind});
}

TEST(ExtendedReservedDataTest, SizeCountsEachNonEmptyList)
{
    Erd erd(L"");
    erd.AddField(erd.m_ClockEnableList, {0, 1});
    erd.AddField(erd.m_ClockEnableList, {1, 1});
    erd.AddField(erd.m_ClockEnableList, {1, 0});
    EXPECT_EQ(erd.Size(), 8u * 3 + 8);
    erd.AddConfigureMemoryControlField({2, 2});
    erd.AddTrustZoneField({0, 0});
    erd.AddTrustZoneRegidField({0, 0});
    erd.AddOpDivField({0, 0});
    erd.AddOpModeField({0, 0});
    EXPECT_EQ(erd.Size(), 32u + 5 * 16);
    EXPECT_EQ(Of(erd.m_OpModeList), (Records{{0, 0}}));
    EXPECT_TRUE(erd.m_bChanged);
    erd.Reset();
    EXPECT_EQ(erd.Size(), 0u);
    EXPECT_FALSE(erd.m_bChanged);
    EXPECT_EQ(erd.m_SdramSpecNames.size(), 81u);  // names stay
    erd.ClearAll();
    EXPECT_EQ(Sizes(erd), std::vector<size_t>(11, 0));
}

TEST(ExtendedReservedDataTest, AssignmentCopiesRecordsAndTables)
{
    Erd source(L"NLT104");
    source.SetProcessorType(L"NLT104");
    source.AddOpDivField({3, 4});
    Erd target(L"NLT07x");
    target.AddField(target.m_ClockEnableList, {1, 1});
    target = source;
    EXPECT_EQ(Of(target.m_OpDivList), (Records{{3, 4}}));
    EXPECT_TRUE(target.m_ClockEnableList.empty());
    EXPECT_EQ(Sizes(target), Sizes(source));
    EXPECT_EQ(target.m_ProcessorName, L"NLT104");
    EXPECT_TRUE(target.m_bChanged);
    EXPECT_FALSE(target.UsesRhevoDdrCustom());
    // Copies are independent.
    source.Reset();
    EXPECT_EQ(target.Size(), 16u);
    target = target;
    EXPECT_EQ(target.Size(), 16u);
}

}  // namespace

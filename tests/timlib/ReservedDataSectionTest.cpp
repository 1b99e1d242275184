#include "timlib/ReservedDataSection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/ZorlixException.h"
#include "common/platform/Text.h"
#include "erd/ReservedPackageData.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"

namespace {

using testsupport::TempFolder;
using testsupport::Capture;
using testsupport::Outcome;
using testsupport::Wide;
using testsupport::WriteFile;

using Texts = std::vector<std::wstring>;
using Fields = std::vector<std::pair<std::wstring, std::wstring>>;

const std::wstring kErasId = L"0x45524153";
const std::wstring kNofcId = L"0x4E4F4643";
const std::wstring kAutobindId = L"0x42494E44";
const std::wstring kFiller = L"0x00000000";

std::string Block(const std::string& body)
{
    return "[Reserved_Data]\n" + body + "[End_Reserved_Data]\n";
}

// A file that ParseBlfFile reads through without a failure.
std::string MinimalLayout(const std::string& extra = "")
{
    return "[TIM_Configuration]\nProcessor_Type = NLT122\nNumber_of_Images = 0\n"
           "[Flash_Properties]\nFlash_Family = NAND\n" +
           extra;
}

std::wstring Write(const TempFolder& folder, const std::string& name, const std::string& text)
{
    WriteFile(folder.File(name), text);
    return Wide(folder.File(name));
}

Outcome ReadReserved(CBlfParser& parser, const std::wstring& path)
{
    parser.m_BlfPath = path;
    return Capture([&] { return parser.ParseReservedData(); });
}

Texts Words(const CReservedPackageData& package)
{
    return {package.m_DataList.begin(), package.m_DataList.end()};
}

Texts Comments(const CReservedPackageData& package)
{
    return {package.m_DataComments.begin(), package.m_DataComments.end()};
}

Fields FieldsOf(const CReservedPackageData& package)
{
    return {package.m_FieldList.begin(), package.m_FieldList.end()};
}

// A package as read from a file: its identifier and data words.
struct PackageView {
    std::wstring id;
    Texts words;
};

bool operator==(const PackageView& a, const PackageView& b)
{
    return a.id == b.id && a.words == b.words;
}

void PrintTo(const PackageView& view, std::ostream* os)
{
    *os << testing::PrintToString(view.id) << " " << testing::PrintToString(view.words);
}

std::vector<PackageView> View(const CBlfParser& parser)
{
    std::vector<PackageView> views;
    for (const auto& package : parser.m_TimDescriptor.m_ReservedPackages) {
        views.push_back({package->m_PackageId, Words(*package)});
    }
    return views;
}

TEST(ReservedDataLineTest, SplitsValueCommentAndField)
{
    struct Case {
        std::wstring line;
        Texts words;
        Fields fields;
        std::map<std::wstring, std::wstring> comments;
    };
    const Case cases[] = {
        // The blank before the ';' stays with the value.
        {L"VALUE = 0x10 ; low byte", {L"0x10 "}, {{L"VALUE", L"0x10 "}}, {{L"VALUE", L"low byte"}}},
        {L"VALUE = 0x10", {L"0x10"}, {{L"VALUE", L"0x10"}}, {}},
        {L"  NAME \t=   7  ", {L"7"}, {{L"NAME", L"7"}}, {}},
        {L"A = 1 ; first ; second ", {L"1 "}, {{L"A", L"1 "}}, {{L"A", L"first ; second"}}},
        {L"A = B = C", {L"B = C"}, {{L"A", L"B = C"}}, {}},
        {L"; VALUE = 1", {}, {}, {}},
        {L"VALUE 0x10", {}, {}, {}},
        {L"End_ERAS", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        CReservedPackageData package;
        package.SetPackageId(kErasId);
        ParseReservedDataLine(package, c.line);
        EXPECT_EQ(Words(package), c.words);
        EXPECT_EQ(Comments(package).size(), c.words.size());
        EXPECT_EQ(FieldsOf(package), c.fields);
        EXPECT_EQ(package.m_FieldCommentMap, c.comments);
    }
}

TEST(ReservedDataLineTest, WordsGetThePackagesDefaultCommentNotTheLineComment)
{
    CReservedPackageData package;
    package.SetPackageId(L"0x00555342");  // USBID: "Port", "Enabled"
    ParseReservedDataLine(package, L"PORT = 2 ; the debug port");
    ParseReservedDataLine(package, L"ON = 1");
    ParseReservedDataLine(package, L"MORE = 3 ; x");
    EXPECT_EQ(Comments(package), (Texts{L"Port", L"Enabled", L""}));
    EXPECT_EQ(package.m_FieldCommentMap,
              (std::map<std::wstring, std::wstring>{{L"PORT", L"the debug port"}, {L"MORE", L"x"}}));
}

TEST(ReservedDataBlockTest, PackagesAndTheirWords)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<PackageView> packages;
    };
    const std::vector<Case> cases = {
        {"tag lines outside a block", "ERAS\nA = 1\nEnd_ERAS\n", {}},
        {"comment and other lines are no words", Block("ERAS\nA = 0x1\n; B = 2\nnot a pair\nC = 3\nEnd_ERAS\n"),
         {{kErasId, {L"0x1", L"3"}}}},
        {"only the whole end line ends a package",
         Block("ERAS\nA = 1\nEnd_ERA\nEnd_ERASX\nEnd_eras\nEnd_ ERAS\nB = 2\nEnd_ERAS\nC = 3\n"),
         {{kErasId, {L"1", L"2"}}}},
        {"every block is read",
         Block("ERAS\nA = 1\nEnd_ERAS\n") + "[Flash_Options]\nReset_BBT = 1\n" + Block("NOFC\nB = 2\nEnd_NOFC\n"),
         {{kErasId, {L"1"}}, {kNofcId, {L"2"}}}},
        {"a tag after the block end opens nothing", Block("ERAS\nA = 1\nEnd_ERAS\n") + "NOFC\nB = 2\nEnd_NOFC\n",
         {{kErasId, {L"1"}}}},
        {"lines between packages are no words", Block("X = 9\nERAS\nA = 1\nEnd_ERAS\nY = 8\nNOFC\nEnd_NOFC\n"),
         {{kErasId, {L"1"}}, {kNofcId, {}}}},
        {"tags are whole lines and case-sensitive",
         Block("autobind\nA = 1\nEnd_autobind\nAUTOBIND ; note\nB = 2\nEnd_AUTOBIND\nAUTOBIND2\nC = 3\n"
               "AUTOBIND\nD = 4\nEnd_AUTOBIND\n"),
         {{kAutobindId, {L"4"}}}},
        {"block lines are whole lines and case-sensitive",
         "[reserved_data]\nERAS\nA = 1\nEnd_ERAS\n[Reserved_Data] ; x\nNOFC\nEnd_NOFC\n", {}},
        {"blanks around lines", "  [Reserved_Data]  \n\tERAS \n  A =  1  \n End_ERAS\t\n NOFC\n[End_Reserved_Data]\n",
         {{kErasId, {L"1"}}, {kNofcId, {}}}},
        {"carriage returns", "[Reserved_Data]\r\nERAS\r\nA = 1\r\nEnd_ERAS\r\nNOFC\r\nEnd_NOFC\r\n",
         {{kErasId, {L"1"}}, {kNofcId, {}}}},
        {"empty lines", "\n\n[Reserved_Data]\n\n   \nERAS\n\nA = 1\n\n\nEnd_ERAS\n\n", {{kErasId, {L"1"}}}},
        {"block end inside a package does not close the block",
         "[Reserved_Data]\nERAS\nA = 1\n[End_Reserved_Data]\nB = 2\nEnd_ERAS\nNOFC\nC = 3\nEnd_NOFC\n"
         "[End_Reserved_Data]\n",
         {{kErasId, {L"1", L"2"}}, {kNofcId, {L"3"}}}},
        {"only the package's own end line closes it",
         Block("ERAS\nA = 1\nEnd_NOFC\nEnd_ERAS ; done\nB = 2\nEnd_ERAS\n"), {{kErasId, {L"1", L"2"}}}},
        {"a tag inside a package opens nothing", Block("ERAS\nA = 1\nNOFC\nB = 2\nEnd_NOFC\nEnd_ERAS\n"),
         {{kErasId, {L"1", L"2"}}}},
        {"a missing end line takes the rest of the file",
         "[Reserved_Data]\nERAS\nA = 1\n[End_Reserved_Data]\n[Flash_Options]\nReset_BBT = 1\n" +
             Block("NOFC\nB = 2\nEnd_NOFC\n"),
         {{kErasId, {L"1", L"1", L"2"}}}},
        {"the same tag twice", Block("ERAS\nA = 1\nEnd_ERAS\nERAS\nA = 2\nEnd_ERAS\n"),
         {{kErasId, {L"1"}}, {kErasId, {L"2"}}}},
        {"an empty package", Block("ERAS\nEnd_ERAS\n"), {{kErasId, {}}}},
        {"a tag line ends the file", "[Reserved_Data]\nERAS", {{kErasId, {}}}},
        {"the last line has no line feed", "[Reserved_Data]\nERAS\nA = 1", {{kErasId, {L"1"}}}},
        {"an empty file", "", {}},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        const Outcome o = ReadReserved(parser, Write(folder, "block" + std::to_string(i) + ".blf", c.text));
        EXPECT_TRUE(o.result);
        EXPECT_FALSE(o.thrown) << testing::PrintToString(o.message);
        EXPECT_EQ(o.out, "Parsing Reserved data.....\ncomplete to parsing reserved data\n");
        EXPECT_EQ(View(parser), c.packages);
    }
}

TEST(ReservedDataBlockTest, FieldsAndCommentsComeFromTheLines)
{
    TempFolder folder;
    CBlfParser parser;
    ReadReserved(parser, Write(folder, "fields.blf",
                               Block("NOFC\nVALUE = 0x10 ; low byte\n; NOTE = 1\nOTHER = 2\nEnd_NOFC\n")));
    ASSERT_EQ(parser.m_TimDescriptor.m_ReservedPackages.size(), 1u);
    const CReservedPackageData& package = *parser.m_TimDescriptor.m_ReservedPackages.front();
    EXPECT_EQ(Words(package), (Texts{L"0x10 ", L"2"}));
    EXPECT_EQ(Comments(package), (Texts{L"Enable no frequency change", L""}));
    EXPECT_EQ(FieldsOf(package), (Fields{{L"VALUE", L"0x10 "}, {L"OTHER", L"2"}}));
    EXPECT_EQ(package.m_FieldCommentMap, (std::map<std::wstring, std::wstring>{{L"VALUE", L"low byte"}}));
}

TEST(ReservedDataTagTest, TagGivesIdentifierAndName)
{
    struct Case {
        std::string tag;
        std::wstring id;
        std::wstring name;
        size_t words = 1;
    };
    const Case cases[] = {
        {"DDR_Custom", L"0x44445243", L"DDR_Custom"},
        {"Frequency", L"0x46524551", L"Frequency"},
        {"RESUMEBLID", L"0x5265736D", L"Resm"},
        {"USB_DEVICE_DESCRIPTOR", L"0x55534200", L"eUSB_DEVICE_DESCRIPTOR"},
        {"USBID", L"0x00555342", L"USBID"},
        {"AUTOBIND", L"0x42494E44", L"AUTOBIND"},
        {"ERAS", L"0x45524153", L"ERAS"},
        {"CITA_CUMIZED_INFO_TRANSFER_TOAP_ID", L"0x43495441", L"CITA_CUMIZED_INFO_TRANSFER_TOAP_ID", 65},
        // Tags that begin like an earlier one must not be taken for it.
        {"ESCAPESEQUENCE_V2", L"0x45537632", L"ESCAPESEQUENCE_V2"},
        {"Trust_Zone_Regid", L"0x545A4F4E", L"Trust_Zone_Regid"},
        {"USB_VENDORREQ", L"0x56524551", L"USB_VENDORREQ"},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        CBlfParser parser;
        ReadReserved(parser, Write(folder, "tag.blf", Block(c.tag + "\nA = 1\nEnd_" + c.tag + "\n")));
        ASSERT_EQ(parser.m_TimDescriptor.m_ReservedPackages.size(), 1u);
        const CReservedPackageData& package = *parser.m_TimDescriptor.m_ReservedPackages.front();
        EXPECT_EQ(package.m_PackageId, c.id);
        EXPECT_EQ(package.m_PackageName, c.name);
        // The end line was found: nothing after it joined the package.
        EXPECT_EQ(Words(package).size(), c.words);
    }
}

TEST(ReservedDataFlagTest, EnabledLinesSetTheBbcsAndCrcsFlags)
{
    struct Case {
        const char* name;
        std::string body;  // the package's lines
        uint8_t flag;
        size_t words;
    };
    const std::vector<Case> cases = {
        {"on", "Enabled = 1\n", 1, 1},
        {"off", "Enabled = 0\n", 0, 1},
        {"the last line wins", "Enabled = 1\nEnabled = 0\n", 0, 2},
        {"the last line wins again", "Enabled = 0\nEnabled = 1\n", 1, 2},
        {"any non-zero value", "Enabled = 0x100\n", 1, 1},
        {"hexadecimal zero", "Enabled = 0x0\n", 0, 1},
        {"decimal", "Enabled = 2\n", 1, 1},
        {"the word anywhere in the line", "Port_Enabled_Flag = 1\n", 1, 1},
        {"with a comment", "Enabled = 1 ; on\n", 1, 1},
        {"hexadecimal when 0x is in the comment", "Enabled = 08 ; 0x\n", 1, 1},
        {"a comment line changes nothing", "Enabled = 1\n; Enabled = 0\n", 1, 1},
        {"no '=' changes nothing", "Enabled = 1\nEnabled 0\n", 1, 1},
        {"case-sensitive", "Enabled = 1\nenabled = 0\n", 1, 2},
        {"other lines are words only", "Size = 0\nEnabled = 1\nMode = 0\n", 1, 3},
        {"no Enabled line", "Size = 1\n", 0, 1},
    };
    struct Kind {
        const char* tag;
        bool bbcs;
    };
    const Kind kinds[] = {{"BBCS", true}, {"CRCS", false}};
    TempFolder folder;
    for (const Kind& kind : kinds) {
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(std::string(kind.tag) + ": " + c.name);
            const std::string tag = kind.tag;
            CBlfParser parser;
            const std::string text = Block(tag + "\n" + c.body + "End_" + tag + "\n");
            ReadReserved(parser, Write(folder, tag + std::to_string(i) + ".blf", text));
            EXPECT_EQ(kind.bbcs ? parser.m_bBbcsEnabled : parser.m_bCrcsEnabled, c.flag);
            EXPECT_EQ(kind.bbcs ? parser.m_bCrcsEnabled : parser.m_bBbcsEnabled, 0);
            ASSERT_EQ(parser.m_TimDescriptor.m_ReservedPackages.size(), 1u);
            EXPECT_EQ(Words(*parser.m_TimDescriptor.m_ReservedPackages.front()).size(), c.words);
        }
    }
}

TEST(ReservedDataFlagTest, OnlyBbcsAndCrcsPackagesInABlockSetTheFlags)
{
    struct Case {
        const char* name;
        std::string text;
        uint8_t bbcs;
        uint8_t crcs;
    };
    const std::vector<Case> cases = {
        {"each package its own flag", Block("BBCS\nEnabled = 1\nEnd_BBCS\nCRCS\nEnabled = 0\nEnd_CRCS\n"), 1, 0},
        {"each package its own flag, crossed", Block("BBCS\nEnabled = 0\nEnd_BBCS\nCRCS\nEnabled = 1\nEnd_CRCS\n"), 0,
         1},
        {"other packages", Block("ERAS\nEnabled = 1\nEnd_ERAS\nUSBID\nEnabled = 1\nEnd_USBID\n"), 0, 0},
        {"outside a block", "BBCS\nEnabled = 1\nEnd_BBCS\nCRCS\nEnabled = 1\nEnd_CRCS\n", 0, 0},
        {"between packages", Block("Enabled = 1\nBBCS\nEnd_BBCS\nEnabled = 1\n"), 0, 0},
        {"after the end line", Block("BBCS\nEnabled = 0\nEnd_BBCS\nEnabled = 1\n"), 0, 0},
        {"the last package wins", Block("BBCS\nEnabled = 1\nEnd_BBCS\nBBCS\nEnabled = 0\nEnd_BBCS\n"), 0, 0},
        {"a later package without the line keeps it", Block("BBCS\nEnabled = 1\nEnd_BBCS\nBBCS\nSize = 0\nEnd_BBCS\n"),
         1, 0},
        {"a later block", Block("BBCS\nEnabled = 0\nEnd_BBCS\n") + Block("BBCS\nEnabled = 1\nEnd_BBCS\n"), 1, 0},
        {"a missing end line reads on to the end of the file",
         "[Reserved_Data]\nBBCS\nEnabled = 0\n[End_Reserved_Data]\n[Other]\nFeature_Enabled = 1\n", 1, 0},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        ReadReserved(parser, Write(folder, "flags" + std::to_string(i) + ".blf", c.text));
        EXPECT_EQ(parser.m_bBbcsEnabled, c.bbcs);
        EXPECT_EQ(parser.m_bCrcsEnabled, c.crcs);
    }
}

TEST(ReservedDataCitaTest, PaddedToSixtyFivePairs)
{
    const std::string tag = "CITA_CUMIZED_INFO_TRANSFER_TOAP_ID";
    const std::string end = "End_" + tag + "\n";
    std::string seventy;
    for (int i = 0; i < 70; ++i) {
        seventy += "W" + std::to_string(i) + " = " + std::to_string(i + 1) + "\n";
    }
    std::string sixtyFive;
    for (int i = 0; i < 65; ++i) {
        sixtyFive += "W = 7\n";
    }
    struct Case {
        const char* name;
        std::string text;
        size_t given;  // data lines in the file
        size_t total;
    };
    const std::vector<Case> cases = {
        {"three lines", Block(tag + "\nN = 0x1\nB = 0x43464742\nV = 0x5\n" + end), 3, 65},
        // Only lines that split count towards the 65.
        {"comment lines do not count", Block(tag + "\nN = 0x1\n; X = 1\nB = 0x43464742\nno pair\nV = 0x5\n" + end), 3,
         65},
        {"no end line", "[Reserved_Data]\n" + tag + "\nN = 0x1\nB = 0x43464742\nV = 0x5\n", 3, 65},
        {"no lines", Block(tag + "\n" + end), 0, 65},
        {"sixty-five lines", Block(tag + "\n" + sixtyFive + end), 65, 65},
        {"seventy lines", Block(tag + "\n" + seventy + end), 70, 70},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        ReadReserved(parser, Write(folder, "cita" + std::to_string(i) + ".blf", c.text));
        ASSERT_EQ(parser.m_TimDescriptor.m_ReservedPackages.size(), 1u);
        const CReservedPackageData& package = *parser.m_TimDescriptor.m_ReservedPackages.front();
        const Texts words = Words(package);
        const Fields fields = FieldsOf(package);
        ASSERT_EQ(words.size(), c.total);
        ASSERT_EQ(fields.size(), c.total);
        ASSERT_EQ(package.m_DataComments.size(), c.total);
        for (size_t w = c.given; w < c.total; ++w) {
            SCOPED_TRACE("word " + std::to_string(w + 1));
            EXPECT_EQ(words[w], kFiller);
            EXPECT_EQ(fields[w], std::make_pair(kFiller, kFiller));
        }
        if (c.given == 3) {
            EXPECT_EQ((Texts{words.begin(), words.begin() + 3}), (Texts{L"0x1", L"0x43464742", L"0x5"}));
        }
        const Texts comments = Comments(package);
        EXPECT_EQ(comments[0], L"Number_cfg_ID_Value_Pairs_below");
        EXPECT_EQ(comments[63], L"CFGE");
        EXPECT_EQ(comments[64], L"CFGE_Cfg_Value");
        EXPECT_EQ(package.m_FieldCommentMap.size(), 0u);
    }
}

TEST(ReservedDataCitaTest, OnlyTheCitaPackageIsPadded)
{
    const std::string tag = "CITA_CUMIZED_INFO_TRANSFER_TOAP_ID";
    TempFolder folder;
    CBlfParser parser;
    const std::string text =
        Block("ERAS\nA = 1\nEnd_ERAS\n" + tag + "\nN = 0x1\nEnd_" + tag + "\nNOFC\nB = 2\nEnd_NOFC\n");
    ReadReserved(parser, Write(folder, "mixed.blf", text));
    const auto& packages = parser.m_TimDescriptor.m_ReservedPackages;
    ASSERT_EQ(packages.size(), 3u);
    auto it = packages.begin();
    EXPECT_EQ((*it++)->m_DataList.size(), 1u);
    EXPECT_EQ((*it++)->m_DataList.size(), 65u);
    EXPECT_EQ((*it)->m_DataList.size(), 1u);
}

TEST(ReservedDataFileTest, UnreadableFileRaises)
{
    TempFolder folder;
    const std::wstring missing = Wide(folder.File("missing.blf"));
    const std::wstring aFolder = Wide(folder.Path());
    for (const std::wstring& path : {missing, aFolder}) {
        SCOPED_TRACE(testing::PrintToString(path));
        CBlfParser parser;
        const Outcome read = ReadReserved(parser, path);
        EXPECT_TRUE(read.thrown);
        EXPECT_FALSE(read.result);
        EXPECT_EQ(read.message, L"Open blf file failed in ParseReservedData");
        EXPECT_EQ(read.out, "Parsing Reserved data.....\n\nOpen blf file failed\n");
        EXPECT_TRUE(parser.m_TimDescriptor.m_ReservedPackages.empty());

        const Outcome lookup = Capture([&] { return GetReservedPackageEnabled(path, L"BBCS", L"End_BBCS") != 0; });
        EXPECT_TRUE(lookup.thrown);
        EXPECT_EQ(lookup.message, L"Open blf file failed in ParseReservedData");
        EXPECT_EQ(lookup.out, "\nOpen blf file failed\n");
    }
}

TEST(ReservedDataLookupTest, EnabledValueOfAPackage)
{
    struct Case {
        const char* name;
        std::string text;
        uint32_t value;
    };
    const std::vector<Case> cases = {
        {"no package", Block("ERAS\nEnabled = 1\nEnd_ERAS\n"), 0},
        {"on", Block("BBCS\nEnabled = 1\nEnd_BBCS\n"), 1},
        {"the whole value", Block("BBCS\nEnabled = 0x1FF\nEnd_BBCS\n"), 0x1FF},
        {"the word anywhere in the line", Block("BBCS\nSpare = 5\nIs_Enabled_Now = 3\nEnd_BBCS\n"), 3},
        {"the last line wins", Block("BBCS\nEnabled = 1\nEnabled = 0\nEnd_BBCS\n"), 0},
        {"the last package wins", Block("BBCS\nEnabled = 1\nEnd_BBCS\nBBCS\nEnabled = 2\nEnd_BBCS\n"), 2},
        {"read with its comment", Block("BBCS\nEnabled = 10 ; as 0x\nEnd_BBCS\n"), 0x10},
        {"a comment line does not count", Block("BBCS\nEnabled = 1\n; Enabled = 0\nEnd_BBCS\n"), 1},
        {"a line without '=' does not count", Block("BBCS\nEnabled = 1\nEnabled 0\nEnd_BBCS\n"), 1},
        {"a CRCS package does not count", Block("CRCS\nEnabled = 1\nEnd_CRCS\n"), 0},
        {"outside a block", "BBCS\nEnabled = 1\nEnd_BBCS\n", 0},
        {"after the block", Block("ERAS\nEnd_ERAS\n") + "BBCS\nEnabled = 1\nEnd_BBCS\n", 0},
        {"after the end line", Block("BBCS\nEnabled = 0\nEnd_BBCS\nEnabled = 1\n"), 0},
        {"a later block", Block("ERAS\nEnd_ERAS\n") + "[Flash_Options]\n" + Block("BBCS\nEnabled = 4\nEnd_BBCS\n"), 4},
        {"case-sensitive tag", Block("bbcs\nEnabled = 1\nEnd_bbcs\n"), 0},
        {"the block end inside the package",
         "[Reserved_Data]\nBBCS\nEnabled = 1\n[End_Reserved_Data]\nEnabled = 0\nEnd_BBCS\n[End_Reserved_Data]\n", 0},
        {"a missing end line reads on to the end of the file",
         "[Reserved_Data]\nBBCS\nEnabled = 0\n[End_Reserved_Data]\n[Other]\nFeature_Enabled = 6\n", 6},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::wstring path = Write(folder, "lookup" + std::to_string(i) + ".blf", c.text);
        uint32_t value = 0xDEADBEEF;
        const Outcome o = Capture([&] {
            value = GetReservedPackageEnabled(path, L"BBCS", L"End_BBCS");
            return true;
        });
        EXPECT_FALSE(o.thrown);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(value, c.value);

        // The full reader must come to the same answer for the flag.
        CBlfParser parser;
        ReadReserved(parser, path);
        EXPECT_EQ(parser.m_bBbcsEnabled, c.value != 0 ? 1 : 0);
    }
}

TEST(ReservedDataLookupTest, OtherTagsAreLookedUpTheSameWay)
{
    TempFolder folder;
    const std::wstring path =
        Write(folder, "both.blf", Block("BBCS\nEnabled = 1\nEnd_BBCS\nCRCS\nEnabled = 0x2\nEnd_CRCS\n"));
    uint32_t crcs = 0;
    uint32_t bbcs = 0;
    Capture([&] {
        crcs = GetReservedPackageEnabled(path, L"CRCS", L"End_CRCS");
        bbcs = GetReservedPackageEnabled(path, L"BBCS", L"End_BBCS");
        return true;
    });
    EXPECT_EQ(crcs, 2u);
    EXPECT_EQ(bbcs, 1u);
}

TEST(ReservedDataParseBlfTest, HeaderWordAndFlagsFromTheReservedData)
{
    const std::string cita = "CITA_CUMIZED_INFO_TRANSFER_TOAP_ID";
    struct Case {
        const char* name;
        std::string layout;
        size_t packages;
        uint32_t size;
        uint8_t bbcs;
        uint8_t crcs;
    };
    const std::vector<Case> cases = {
        {"none", MinimalLayout(), 0, 0, 0, 0},
        {"an empty block", MinimalLayout(Block("")), 0, 0, 0, 0},
        {"three words", MinimalLayout(Block("ERAS\nA = 1\nB = 2\nC = 3\nEnd_ERAS\n")), 1, 36, 0, 0},
        {"no words", MinimalLayout(Block("NOFC\nEnd_NOFC\n")), 1, 24, 0, 0},
        {"no words and five words",
         MinimalLayout(Block("NOFC\nEnd_NOFC\nERAS\nA = 1\nB = 2\nC = 3\nD = 4\nE = 5\nEnd_ERAS\n")), 2, 52, 0, 0},
        {"flags", MinimalLayout(Block("BBCS\nEnabled = 1\nEnd_BBCS\nCRCS\nEnabled = 0x2\nEnd_CRCS\n")), 2, 40, 1, 1},
        {"padded CITA", MinimalLayout(Block(cita + "\nN = 1\nEnd_" + cita + "\n")), 1, 8 + 65 * 4 + 16, 0, 0},
        {"block before the other sections",
         Block("BBCS\nEnabled = 1\nEnd_BBCS\n") + MinimalLayout("[Flash_Options]\nReset_BBT = 1\n"), 1, 28, 1, 0},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::wstring path = Write(folder, "blf" + std::to_string(i) + ".blf", c.layout);
        CBlfParser parser;
        parser.m_TimDescriptor.m_HeaderWords[CTimDescriptor::kWordReservedDataSize] = 0xABCD;  // stale
        const Outcome o = Capture([&] { return ParseBlfFile(path, parser, 0); });
        ASSERT_TRUE(o.result) << o.out;
        EXPECT_NE(o.out.find("Parsing Reserved data.....\ncomplete to parsing reserved data\n"), std::string::npos)
            << o.out;
        const CTimDescriptor& tim = parser.m_TimDescriptor;
        EXPECT_EQ(tim.m_ReservedPackages.size(), c.packages);
        EXPECT_EQ(tim.GetReservedDataSize(), c.size);
        EXPECT_EQ(tim.m_HeaderWords[CTimDescriptor::kWordReservedDataSize], c.size);
        EXPECT_EQ(parser.m_FlashSettings.BbcsEnabled, c.bbcs);
        EXPECT_EQ(parser.m_FlashSettings.CrcsEnabled, c.crcs);
    }
}

TEST(ReservedDataParseBlfTest, ASecondParseStartsAfresh)
{
    TempFolder folder;
    const std::wstring withData = Write(
        folder, "with.blf",
        MinimalLayout(Block("BBCS\nEnabled = 1\nEnd_BBCS\nCRCS\nEnabled = 1\nEnd_CRCS\nERAS\nA = 1\nEnd_ERAS\n")));
    const std::wstring without = Write(folder, "without.blf", MinimalLayout());

    CBlfParser parser;
    const CTimDescriptor& tim = parser.m_TimDescriptor;
    ASSERT_TRUE(Capture([&] { return ParseBlfFile(withData, parser, 0); }).result);
    ASSERT_EQ(tim.m_ReservedPackages.size(), 3u);
    const uint32_t once = tim.m_HeaderWords[CTimDescriptor::kWordReservedDataSize];
    EXPECT_EQ(once, 3 * 12u + 16u);

    ASSERT_TRUE(Capture([&] { return ParseBlfFile(withData, parser, 0); }).result);
    EXPECT_EQ(tim.m_ReservedPackages.size(), 3u);
    EXPECT_EQ(tim.m_HeaderWords[CTimDescriptor::kWordReservedDataSize], once);

    ASSERT_TRUE(Capture([&] { return ParseBlfFile(without, parser, 0); }).result);
    EXPECT_TRUE(tim.m_ReservedPackages.empty());
    EXPECT_EQ(tim.m_HeaderWords[CTimDescriptor::kWordReservedDataSize], 0u);
    EXPECT_EQ(parser.m_bBbcsEnabled, 0);
    EXPECT_EQ(parser.m_bCrcsEnabled, 0);
    EXPECT_EQ(parser.m_FlashSettings.BbcsEnabled, 0);
    EXPECT_EQ(parser.m_FlashSettings.CrcsEnabled, 0);
}

}  // namespace

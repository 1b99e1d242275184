#include "timlib/BlfParseFlow.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempFolder;
using testsupport::Capture;
using testsupport::Outcome;
using testsupport::Wide;
using testsupport::WriteFile;

// A file that ParseBlfFile reads through without a failure.
std::string MinimalLayout(const std::string& processor, const std::string& extra = "")
{
    return "[TIM_Configuration]\nProcessor_Type = " + processor +
           "\nNumber_of_Images = 0\n[Flash_Properties]\nFlash_Family = NAND\n" + extra;
}

// The least a trusted file needs: a signature scheme and hash.
const std::string kSignatureData =
    "[Digital_Signature_Data]\nDSA_Algorithm = PKCS1_v1_5_Ippcp\nHash_Algorithm_ID = SHA-160\n";

Outcome ParseFile(CBlfParser& parser, const TempFolder& folder, const std::string& name, const std::string& text)
{
    WriteFile(folder.File(name), text);
    const std::wstring path = Wide(folder.File(name));
    return Capture([&] { return ParseBlfFile(path, parser, 0); });
}

TEST(BlfParseFlowTest, PlatformTypeFromProcessorModel)
{
    struct Case {
        std::string layout;
        bool result;
        bool thrown;
        int32_t code;
        std::string out;
    };
    const auto current = [](const std::string& processor) {
        return "[TIM_Configuration]\nProcessor_Type = " + processor + "\n";
    };
    const auto found = [&](const std::string& processor, int32_t code, const std::string& name) {
        return Case{current(processor), true, false, code, name + " platform type\n"};
    };
    const Case unknown{current("NLT999"), false, true, 255, "Unknown platform type\n"};
    std::vector<Case> cases = {
        found("NLT105", 2, "Quon2"),       found("NLT115", 3, "Draskel"),  found("NLT111", 5, "Quon3"),
        found("NLT116", 6, "Kalder"),      found("NLT112", 8, "Brannoc"),  found("NLT113", 9, "Torvin"),
        found("NLT122", 10, "Osmar"),      found("NLT121", 11, "Torvin_LTE"), found("NLT117", 12, "Kalder2"),
        found("NLT114", 13, "Torvin2"),    found("NLT122_A0", 14, "Osmar_A0"), found("NLT118", 15, "Kalder3"),
        found("NLT119", 16, "Vexa1"),      found("NLT123", 17, "Torvin3"), found("NLT124", 18, "Torvin4"),
        found("NLT120", 19, "Vexa2"),
        // Trailing blanks are trimmed, a trailing tab is not.
        found("NLT122   ", 10, "Osmar"),
        unknown,
        {current("nlt122"), false, true, 255, "Unknown platform type\n"},
        {current("NLT122\t"), false, true, 255, "Unknown platform type\n"},
        // An old "V2.0.0" file with an unknown processor: false, silent, code untouched.
        {"[BLF_Version]\nBlf_Version_Number = V2.0.0\n" + current("NLT999"), false, false, -7, ""},
        // The older layout form names section and key with blanks.
        {"[TIM Configuration]\nProcessor Type = NLT07X\n", true, false, 0, "NLT07x platform type\n"},
        {"[TIM Configuration]\nProcessor Type = NLT07x\n", true, false, 0, "NLT07x platform type\n"},
        {"[TIM Configuration]\nProcessor Type = NLT07Y\n", false, true, 255, "Unknown platform type\n"},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.layout);
        const std::string name = "platform" + std::to_string(i) + ".blf";
        WriteFile(folder.File(name), c.layout);
        CBlfParser parser;
        int32_t code = -7;
        const Outcome o = Capture([&] { return GetPlatFormType(code, parser, Wide(folder.File(name))); });
        EXPECT_EQ(o.result, c.result);
        EXPECT_EQ(o.thrown, c.thrown);
        EXPECT_EQ(o.message, c.thrown ? L"Unknown platform type" : L"");
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(o.out, c.out);
    }
}

TEST(BlfParseFlowTest, FlashTypeFromFamily)
{
    struct Case {
        std::wstring family;
        int32_t code;
        bool thrown;
    };
    const std::vector<Case> cases = {
        {L"NAND", 0, false},     {L"eMMC", 1, false}, {L"SPI-NOR", 2, false}, {L"SPI-NAND", 4, false},
        {L"nand", 10, true},     {L"EMMC", 10, true}, {L"NAND ", 10, true},   {L"NOT AVAILABLE", 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::EncodeText(c.family));
        int32_t code = -7;
        const Outcome o = Capture([&] { return GetFlashType(c.family, code); });
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(o.thrown, c.thrown);
        EXPECT_EQ(o.result, !c.thrown);
        EXPECT_EQ(o.message, c.thrown ? L"Unknown flash Type to support...." : L"");
        EXPECT_EQ(o.out, c.thrown ? "Unknown flash Type to support....\n" : "");
    }
}

TEST(BlfParseFlowTest, ParsesSettingsHeaderWordsAndConsoleLines)
{
    // The last line has no line feed and must be read all the same.
    const std::string layout =
        "[BLF_Version]\nBlf_Version_Number = V2.1.0\n"
        "[TIM_Configuration]\nProcessor_Type = NLT122\nVersion = 0x030400\nIssue_Date = 0x20240115\n"
        "OEM_UniqueID = 0x12345678\nBoot_Flash_Signature = 0x4E414E44\nTrusted = 0\nNumber_of_Images = 0\n"
        "[Flash_Properties]\nFlash_Family = eMMC\nKXP_Sector_Size = 0x200\nData_Area_Size = 0x800\n"
        "Spare_Area_Size = 0x40\nFlash_NandID = 0x1234ABCD\nMax_KXP_Split_Size = 0x4000000\n"
        "Max_OTA_Image_Size = 0x3000000\nOTA_Image_Split_Size = 0x100000\nMax_Upload_Split_Size = 0x800000\n"
        "Flash_Block_Size = 0x40000\n"
        "[Flash_Options]\nSkip_Blocks_Number = 4\nErase_All_Flash = 1\nReset_BBT = 1\nProductionMode = 3\n"
        "[UE_Options]\nUE_Boot_Option = 2";
    TempFolder folder;
    CBlfParser parser;
    uint32_t* words = parser.m_TimDescriptor.m_HeaderWords;
    words[8] = 0;  // stale values the parse must overwrite
    words[12] = 7;
    words[13] = 5;
    WriteFile(folder.File("full.blf"), layout);
    const std::wstring path = Wide(folder.File("full.blf"));
    const Outcome o = Capture([&] { return ParseBlfFile(path, parser, 1); });

    ASSERT_TRUE(o.result) << o.out;
    EXPECT_EQ(o.out, "\nParsing Blf file: " + folder.File("full.blf") +
                         "\nOsmar platform type\nParsing Reserved data.....\ncomplete to parsing reserved data\n"
                         "Parsing ExtendedReservedData\n\ncomplete to parse ExtendedReservedData\n"
                         "begin to parsing Erase Only Area\n\nbegin to parsing image\n"
                         "Number of images in blf file is 0\nComplete to parsing image info in blf file\n"
                         "complete to parsing blf file\n\n");
    EXPECT_EQ(parser.m_BlfPath, path);
    EXPECT_EQ(parser.m_bWebUpgrade, 1);
    EXPECT_EQ(parser.m_PlatformType, 10);
    EXPECT_EQ(parser.m_FlashType, 1);

    const FlashSettings& s = parser.m_FlashSettings;
    EXPECT_EQ(s.Blf_Version_Number, L"V2.1.0");
    EXPECT_EQ(s.BlfVersionFlag, 1);
    EXPECT_EQ(s.Flash_Family, L"eMMC");
    EXPECT_EQ(s.KXP_Sector_Size, 0x200);
    EXPECT_EQ(s.Data_Area_Size, L"0x800");
    EXPECT_EQ(s.Spare_Area_Size, L"0x40");
    EXPECT_EQ(s.Flash_NandID, 0xABCD);
    EXPECT_EQ(s.Max_KXP_Split_Size, 0x4000000u);
    EXPECT_EQ(s.Max_OTA_Image_Size, 0x3000000u);
    EXPECT_EQ(s.OTA_Image_Split_Size, L"0x100000");
    EXPECT_EQ(s.Max_Upload_Split_Size, 0x800000u);
    EXPECT_EQ(s.Flash_Block_Size, 0x40000u);
    EXPECT_EQ(s.Skip_Blocks_Number, L"4");
    EXPECT_EQ(s.Erase_All_Flash, 1);
    EXPECT_EQ(s.Reset_BBT, 1);
    EXPECT_EQ(s.ProductionMode, 3);
    EXPECT_EQ(s.UE_Boot_Option, 2);
    EXPECT_EQ(s.Trusted, 0);

    const CTimDescriptor& tim = parser.m_TimDescriptor;
    EXPECT_EQ(tim.m_ProcessorType, L"NLT122");
    EXPECT_EQ(tim.m_Version, L"0x030400");
    EXPECT_EQ(tim.m_IssueDate, L"0x20240115");
    EXPECT_EQ(tim.m_OemUniqueId, L"0x12345678");
    EXPECT_EQ(tim.m_BootFlashSignature, L"0x4E414E44");
    EXPECT_FALSE(tim.m_bTrusted);
    const std::vector<uint32_t> expected = {0x030400,   0x54494D48, 0,          0x20240115, 0x12345678,
                                            0x4D4D4308, 0,          0,          0xFFFFFFFF, 0xFFFFFFFF,
                                            0x4E414E44, 0,          0,          0};
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("header word " + std::to_string(i));
        EXPECT_EQ(words[i], expected[i]);
    }
}

TEST(BlfParseFlowTest, MissingKeysTakeTheirDefaults)
{
    TempFolder folder;
    CBlfParser parser;
    parser.m_FlashSettings.BlfVersionFlag = 1;
    const Outcome o =
        ParseFile(parser, folder, "defaults.blf", "[TIM_Configuration]\nProcessor_Type = NLT116\n"
                                                  "[Flash_Properties]\nFlash_Family = NAND\n");
    ASSERT_TRUE(o.result) << o.out;
    const FlashSettings& s = parser.m_FlashSettings;
    EXPECT_EQ(s.Blf_Version_Number, L"NOT AVAILABLE");
    EXPECT_EQ(s.BlfVersionFlag, 1);  // no known version text: kept
    EXPECT_EQ(s.KXP_Sector_Size, -1);
    EXPECT_EQ(s.Data_Area_Size, L"NOT AVAILABLE");
    EXPECT_EQ(s.Spare_Area_Size, L"NOT AVAILABLE");
    EXPECT_EQ(s.Skip_Blocks_Number, L"");
    EXPECT_EQ(s.OTA_Image_Split_Size, L"");
    EXPECT_EQ(s.Flash_NandID, 0);
    EXPECT_EQ(s.Max_KXP_Split_Size, 0x10000000u);
    EXPECT_EQ(s.Max_OTA_Image_Size, 0x2000000u);
    EXPECT_EQ(s.Max_Upload_Split_Size, 0x10000000u);
    EXPECT_EQ(s.Flash_Block_Size, 0x20000u);
    EXPECT_EQ(s.Erase_All_Flash, 0);
    EXPECT_EQ(s.UE_Boot_Option, 0);
    EXPECT_EQ(s.Reset_BBT, 0);
    EXPECT_EQ(s.Trusted, 0);
    const CTimDescriptor& tim = parser.m_TimDescriptor;
    EXPECT_EQ(tim.m_Version, L"NOT AVAILABLE");
    EXPECT_EQ(tim.m_BootFlashSignature, L"NOT AVAILABLE");
    EXPECT_EQ(tim.m_HeaderWords[0], 0u);
    EXPECT_EQ(tim.m_HeaderWords[11], 0xFFFFFFFFu);  // Number_of_Images missing: -1
    EXPECT_NE(o.out.find("Number of images in blf file is -1\n"), std::string::npos);
}

TEST(BlfParseFlowTest, ReservedDataSizeWordAddsTheExtendedReservedData)
{
    // 2 clock records (24 bytes) and 1 frequency record (16 bytes).
    const std::string extended40 =
        "[Extended_Reserved_Data]\nClock_Enable\nQuon2_CLOCK_ID_MCU = 1\nQuon2_CLOCK_ID_I2C = 1\n"
        "End_Clock_Enable\nFrequency\nQuon2_FREQ_ID_MCU = 0x100\nEnd_Frequency\nEnd_Reserved_Data\n";
    // One package without words: 8 bytes, plus 16 for the reserved data.
    const std::string reserved24 = "[Reserved_Data]\nNOFC\nEnd_NOFC\n[End_Reserved_Data]\n";
    struct Case {
        const char* name;
        std::string extra;
        uint32_t extended;
        uint32_t word13;
    };
    const Case cases[] = {
        {"extended only", extended40, 40, 56},
        {"both", reserved24 + extended40, 40, 64},
        {"reserved only", reserved24, 0, 24},
        {"neither", "", 0, 0},
    };
    TempFolder folder;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        parser.m_TimDescriptor.m_HeaderWords[13] = 0xABCD;  // stale
        const Outcome o = ParseFile(parser, folder, "word13_" + std::to_string(i) + ".blf",
                                    MinimalLayout("NLT122", c.extra));
        ASSERT_TRUE(o.result) << o.out;
        const CExtendedReservedData& erd = parser.m_TimDescriptor.m_ExtendedReservedData;
        EXPECT_EQ(erd.Size(), c.extended);
        EXPECT_EQ(parser.m_TimDescriptor.m_HeaderWords[13], c.word13);
        // The processor type chose the register names: NLT122 reads the
        // Quon3 region ids.
        EXPECT_EQ(erd.m_ProcessorName, L"NLT122");
        ASSERT_EQ(erd.m_TrustZoneRegidNames.size(), 4u);
        EXPECT_EQ(erd.m_TrustZoneRegidNames[0], L"Quon3_TZSELECT_ID");
        EXPECT_NE(o.out.find("complete to parsing reserved data\nParsing ExtendedReservedData\n\n"
                             "complete to parse ExtendedReservedData\n"),
                  std::string::npos)
            << o.out;
    }
    // A second parse starts afresh.
    CBlfParser parser;
    ParseFile(parser, folder, "twice.blf", MinimalLayout("NLT122", extended40));
    const Outcome o = ParseFile(parser, folder, "twice.blf", MinimalLayout("NLT122", extended40));
    ASSERT_TRUE(o.result);
    EXPECT_EQ(parser.m_TimDescriptor.m_HeaderWords[13], 56u);
}

TEST(BlfParseFlowTest, DtimFlagOnlyForImageMapsHoldingAMap)
{
    const std::string map = "Image_Map_Info\nImage_ID = 0x54494D48\nEnable = 1\nEnd_Image_Map_Info\n";
    const auto block = [](const std::string& body) {
        return "[Extended_Reserved_Data]\n" + body + "End_Reserved_Data\n";
    };
    struct Case {
        const char* name;
        std::string extra;
        uint8_t flag;
    };
    const Case cases[] = {
        {"no block", "", 0},
        {"other packages", block("AutoBind\nEnd_AutoBind\n"), 0},
        {"no map", block("Image_Maps\nNUM_MAPS = 0\nEnd_Image_Maps\n"), 0},
        // The count line says one, but no map follows.
        {"count without a map", block("Image_Maps\nNUM_MAPS = 1\nEnd_Image_Maps\n"), 0},
        {"one map", block("Image_Maps\nNUM_MAPS = 1\n" + map + "End_Image_Maps\n"), 1},
        {"a later package holds the map",
         block("Image_Maps\nNUM_MAPS = 0\nEnd_Image_Maps\nUart\nImage_Maps\nNUM_MAPS = 1\n" + map +
               "End_Image_Maps\n"),
         1},
    };
    TempFolder folder;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        parser.m_bDtimNeeded = 1;  // stale: the parse starts afresh
        const Outcome o =
            ParseFile(parser, folder, "dtim" + std::to_string(i) + ".blf", MinimalLayout("NLT122", c.extra));
        ASSERT_TRUE(o.result) << o.out;
        EXPECT_EQ(parser.m_bDtimNeeded, c.flag);
    }
}

TEST(BlfParseFlowTest, VersionFlagKeepsItsValueForOtherVersions)
{
    struct Step {
        std::string version;
        int32_t flag;
    };
    // One parser throughout: an unknown version keeps what the last file set.
    const std::vector<Step> steps = {
        {"V2.1.0", 1}, {"V2.3.0", 1}, {"V2.0.0", 0}, {"V2.3.0", 0},
        {"V2.2.0-rc1", 1}, {"V3.0.0", 0}, {"v2.1.0", 0},
    };
    TempFolder folder;
    CBlfParser parser;
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].version);
        const Outcome o = ParseFile(parser, folder, "v" + std::to_string(i) + ".blf",
                                    "[BLF_Version]\nBlf_Version_Number = " + steps[i].version + "\n" +
                                        MinimalLayout("NLT122"));
        ASSERT_TRUE(o.result) << o.out;
        EXPECT_EQ(parser.m_FlashSettings.Blf_Version_Number, Wide(steps[i].version));
        EXPECT_EQ(parser.m_FlashSettings.BlfVersionFlag, steps[i].flag);
    }
}

TEST(BlfParseFlowTest, OptionFlagsAndProductionMode)
{
    struct Case {
        std::string processor;
        std::string number;  // written for Reset_BBT, Trusted and ProductionMode
        uint8_t flag;
        int32_t productionMode;
    };
    const std::vector<Case> cases = {
        {"NLT122", "1", 1, 1},  {"NLT122", "0x1", 1, 1}, {"NLT122", "2", 0, 2},
        {"NLT122", "0", 0, 0},  {"NLT112", "3", 0, 3},
        // Platform codes below 7 do not read ProductionMode.
        {"NLT116", "1", 1, 42}, {"NLT111", "3", 0, 42},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.processor + " " + c.number);
        CBlfParser parser;
        parser.m_FlashSettings.ProductionMode = 42;
        const Outcome o =
            ParseFile(parser, folder, "opt" + std::to_string(i) + ".blf",
                      "[TIM_Configuration]\nTrusted = " + c.number + "\n" +
                          MinimalLayout(c.processor, "[Flash_Options]\nReset_BBT = " + c.number +
                                                         "\nProductionMode = " + c.number + "\n" +
                                                         kSignatureData));
        ASSERT_TRUE(o.result) << o.out;
        EXPECT_EQ(parser.m_FlashSettings.Reset_BBT, c.flag);
        EXPECT_EQ(parser.m_FlashSettings.Trusted, c.flag);
        EXPECT_EQ(parser.m_TimDescriptor.m_bTrusted, c.flag == 1);
        EXPECT_EQ(parser.m_TimDescriptor.m_HeaderWords[2], c.flag);
        EXPECT_EQ(parser.m_FlashSettings.ProductionMode, c.productionMode);
    }
}

TEST(BlfParseFlowTest, SaveStateTextsDependOnTrustAndPlatform)
{
    struct Case {
        std::string processor;
        std::string trusted;
        std::wstring backUp, signature, entry;  // texts after the parse
        uint32_t word5, word6, word7;
    };
    const std::vector<Case> cases = {
        {"NLT122_A0", "1", L"0x100", L"0x200", L"0x300", 0x200, 0x300, 0x100},
        {"NLT122", "1", L"0x100", L"0x200", L"0x300", 0x200, 0x300, 0x100},
        {"NLT122_A0", "2", L"0xffffffff", L"0xffffffff", L"0xffffffff", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {"NLT122_A0", "0", L"0xffffffff", L"0xffffffff", L"0xffffffff", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        // Untrusted elsewhere: the descriptor's defaults stay.
        {"NLT122", "2", L"0x00000000", L"0x4D4D4308", L"0x00000000", 0x4D4D4308, 0, 0},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.processor + " Trusted " + c.trusted);
        CBlfParser parser;
        const Outcome o = ParseFile(parser, folder, "trust" + std::to_string(i) + ".blf",
                                    "[TIM_Configuration]\nTrusted = " + c.trusted +
                                        "\nVKT_Save_State_BackUp_Entry_Address = 0x100\n"
                                        "VKT_Save_State_Flash_Signature = 0x200\n"
                                        "VKT_Save_State_Flash_Entry_Address = 0x300\n" +
                                        MinimalLayout(c.processor, kSignatureData));
        ASSERT_TRUE(o.result) << o.out;
        const CTimDescriptor& tim = parser.m_TimDescriptor;
        EXPECT_EQ(tim.m_VktSaveStateBackUpEntryAddress, c.backUp);
        EXPECT_EQ(tim.m_VktSaveStateFlashSignature, c.signature);
        EXPECT_EQ(tim.m_VktSaveStateFlashEntryAddress, c.entry);
        EXPECT_EQ(tim.m_HeaderWords[5], c.word5);
        EXPECT_EQ(tim.m_HeaderWords[6], c.word6);
        EXPECT_EQ(tim.m_HeaderWords[7], c.word7);
        if (c.trusted != "1") {
            EXPECT_EQ(tim.m_HeaderWords[12], 0u);
        }
    }
}

TEST(BlfParseFlowTest, FailuresStopTheParse)
{
    struct Case {
        std::string name;
        std::string layout;
        bool thrown;
        std::wstring message;
        std::string tail;  // the end of what was printed
    };
    const std::vector<Case> cases = {
        {"old version, unknown processor",
         "[BLF_Version]\nBlf_Version_Number = V2.0.0\n" + MinimalLayout("NLT999"), false, L"", ".blf\n"},
        {"unknown platform", MinimalLayout("NLT999"), true, L"Unknown platform type", "Unknown platform type\n"},
        {"unknown flash family", "[Flash_Properties]\nFlash_Family = nand\n" + MinimalLayout("NLT122"), true,
         L"Unknown flash Type to support....", "Osmar platform type\nUnknown flash Type to support....\n"},
        {"too many images", "[TIM_Configuration]\nNumber_of_Images = 1001\n" + MinimalLayout("NLT122"), false,
         L"", "Number_of_Images = 1001 is refused: at most 1000 entries are allowed\n\nParseImageInfo failed\n"},
        {"too many erase-only areas",
         MinimalLayout("NLT122", "[EraseOnly_Option]\nTotal_Eraseonly_Areas = 1001\n"), false, L"",
         "Total_Eraseonly_Areas = 1001 is refused: at most 1000 entries are allowed\n"},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        CBlfParser parser;
        const Outcome o = ParseFile(parser, folder, "fail" + std::to_string(i) + ".blf", c.layout);
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.thrown, c.thrown);
        EXPECT_EQ(o.message, c.message);
        ASSERT_GE(o.out.size(), c.tail.size()) << o.out;
        EXPECT_EQ(o.out.substr(o.out.size() - c.tail.size()), c.tail) << o.out;
        EXPECT_EQ(o.out.find("complete to parsing blf file"), std::string::npos);
    }
}

// A stop raised in the middle of the image list, where every lookup finds
// its key at once: the parse fails as stopped at the next lookup and reads
// no further image. The stop is raised from the message box that image 2
// shows, an identity image without a path to make.
TEST(BlfParseFlowTest, AStopInTheImageListFailsTheParse)
{
    std::string images;
    for (int i = 1; i <= 3; ++i) {
        const std::string n = std::to_string(i);
        images += n + "_Image_ID_Name = " + (i == 2 ? "TIMH" : "IMG" + n) + "\n" + n + "_Image_Path =\n" + n +
                  "_Image_Type = RAW\n";
    }
    const std::string layout = "[TIM_Configuration]\nProcessor_Type = NLT122\nNumber_of_Images = 3\n"
                               "[Flash_Properties]\nFlash_Family = eMMC\n[Image_List]\n" +
                               images;
    TempFolder folder;
    CBlfParser parser;
    const platform::MessageBoxSink previous =
        platform::SetMessageBoxSink([](const std::wstring&) { platform::SetStopSignal(SIGTERM); });
    const Outcome o = ParseFile(parser, folder, "stopped.blf", layout);
    platform::SetMessageBoxSink(previous);
    EXPECT_TRUE(platform::StopRequested());
    platform::SetStopSignal(0);

    EXPECT_TRUE(o.thrown);
    EXPECT_EQ(o.message, L"Reading the blf file stopped");
    EXPECT_TRUE(o.out.find("Number of images in blf file is 3\n") != std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("Complete to parsing image info"), std::string::npos) << o.out;
    EXPECT_EQ(parser.m_TimDescriptor.m_Images.size(), 1u);
}

TEST(BlfParseFlowTest, EraseOnlyAreas)
{
    struct Case {
        std::string name;
        int32_t versionFlag;
        std::string total;
        bool result;
        std::vector<std::wstring> starts;  // one per area expected
        std::string refusal;               // printed count of a refused total
    };
    const std::vector<Case> cases = {
        {"32-bit", 0, "2", true, {L"0x00040000", L"0x00000000"}, ""},
        {"64-bit", 1, "2", true, {L"0x0140000000", L"0x0000000000"}, ""},
        {"none", 0, "0", true, {}, ""},
        {"above the limit", 0, "1001", false, {}, "1001"},
        {"negative", 0, "-1", false, {}, "4294967295"},
    };
    TempFolder folder;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::string name = "erase" + std::to_string(i) + ".blf";
        WriteFile(folder.File(name), "[EraseOnly_Option]\nTotal_Eraseonly_Areas = " + c.total +
                                         "\n1_Eraseonly_Area_FlashStartAddress = " +
                                         (c.versionFlag ? "0x140000000" : "0x40000") +
                                         "\n1_Eraseonly_Area_Size = 0x1000\n1_Eraseonly_Area_Partition = 2\n");
        CBlfParser parser;
        parser.m_BlfPath = Wide(folder.File(name));
        parser.m_FlashSettings.BlfVersionFlag = c.versionFlag;
        const Outcome o = Capture([&] { return parser.ParseEraseOnlyAreas(); });
        EXPECT_EQ(o.result, c.result);
        std::string out = "begin to parsing Erase Only Area\n\n";
        if (!c.refusal.empty()) {
            out += "Total_Eraseonly_Areas = " + c.refusal + " is refused: at most 1000 entries are allowed\n";
        }
        EXPECT_EQ(o.out, out);
        ASSERT_EQ(parser.m_EraseOnlyAreas.size(), c.starts.size());
        auto area = parser.m_EraseOnlyAreas.begin();
        for (size_t a = 0; a < c.starts.size(); ++a, ++area) {
            EXPECT_EQ((*area)->FlashStartAddress, c.starts[a]);
            EXPECT_EQ((*area)->Size, a == 0 ? L"0x1000" : L"NOT AVAILABLE");
            EXPECT_EQ((*area)->Partition, a == 0 ? 2 : -1);
        }
    }
}

TEST(BlfParseFlowTest, EraseOnlyAreasAcceptTheLimit)
{
    TempFolder folder;
    WriteFile(folder.File("erase.blf"), "[EraseOnly_Option]\nTotal_Eraseonly_Areas = 1000\n");
    CBlfParser parser;
    parser.m_BlfPath = Wide(folder.File("erase.blf"));
    const Outcome o = Capture([&] { return parser.ParseEraseOnlyAreas(); });
    EXPECT_TRUE(o.result);
    EXPECT_EQ(parser.m_EraseOnlyAreas.size(), 1000u);
}

}  // namespace

#include "builder/OldBlfConvert.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "common/platform/Text.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Capture;
using testsupport::FileExists;
using testsupport::Outcome;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

// The text as the converted copy holds it: CR LF line ends.
std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// A conversion on the members of a context of its own, with the program's
// folder in a private folder.
class OldBlfConvertTest : public testing::Test {
protected:
    std::string Path(const std::string& name) const { return folder.File(name); }

    Outcome Convert(const std::string& oldText, const std::string& oldName = "old.blf")
    {
        WriteFile(Path(oldName), oldText);
        // The files change between conversions; the cache must not answer.
        parser.UseText(nullptr);
        return Capture([&] { return ConvertOldBlf2New(context, Wide(Path(oldName))); });
    }

    std::string Converted() const { return ReadFile(Path("Cvt_old.blf")); }

    TempFolder folder;
    OldBlfConversion conversion{Wide(folder.File("Cvt_old.blf")), Wide(folder.Path())};
    OldBlfContext& context = conversion.context;
    CBlfParser& parser = conversion.parser;
    FlashSettings& settings = conversion.flashSettings;
    CTimDescriptor& oldTim = conversion.oldBlfTimDescriptor;
    std::wstring& flasherPath = conversion.flasherSettingsPath;
    int32_t& blocks = conversion.numberOfBlocks0;
    uint32_t& startAddress = conversion.startAddress0;
    std::wstring& cvtPath = conversion.cvtBlfPath;
};

std::string Flasher(const std::string& family)
{
    return "[DEV_HEADER_0]\nBlock_Size_0 = 0x40000\nFlashFamily = " + family +
           "\nNumber_of_Blocks_0 = 1024\nData Area Size = 2048\nSpare Area Size = 64\n"
           "[INTEL_FLASHER_INPUT_FILE]\nKXP_Sector_Size = 8192\n"
           "[Varsic Flasher Properties]\nSkip Block Number = 3-5\nMax_KXP_Split_Size = 0x800000\n";
}

struct OldLayout {
    int trusted = 1;
    int eraseAreas = 2;
    int images = 2;
    std::string flasherPath = "flasher.ini";
};

std::string OldText(const OldLayout& o)
{
    std::string text = "[TIM Configuration]\nVersion = 0x00030102\nTrusted = " + std::to_string(o.trusted) +
                       "\nIssue Date = 0x20240101\nOEM UniqueID = 0x12345678\nProcessor Type = NLT07x\n"
                       "Boot Flash Signature = 0x4E414E0D\nVKT Save State BackUp Entry Address = 0x100\n"
                       "VKT Save State Flash Signature = 0x200\nVKT Save State Flash Entry Address = 0x300\n"
                       "Erase All Flash = 1\nNumber of Images = " +
                       std::to_string(o.images) + "\nNumber of Keys = 0\n";
    text += "[Varsic Flasher Properties]\nFlash Configuration File Path = " + o.flasherPath +
            "\nFlasherLoadAddress = 0xD1000000\n";
    text += "[DEV_HEADER_0]\nStart_Address_0 = 0x400\n";
    text += "[Erase only Area]\nErase Area Num = " + std::to_string(o.eraseAreas) +
            "\n1 Erase Flash Start Address = 0x1000\n1 Erase Length = 0x2000\n1 Erase Area Partition = 1\n"
            "2 Erase Flash Start Address = 0x8000\n2 Erase Length = 0x4000\n";
    text += "[Reserved Data]\n0x4F505448\n2\n0x42494E44\n12\n0x1\n0x5465726D\n8\nEnd Reserved Data\n";
    text += "Extended Reserved Data\nUsb\nPort: 1\nEnd Usb\nEnd Extended Reserved Data\n";
    // Image 2 has no "Load Address".
    text += "[Image List]\n";
    for (int n = 1; n <= 2; ++n) {
        const std::string k = std::to_string(n) + " Image ";
        text += k + "Enable = 1\n" + k + "ID Name = IMG" + std::to_string(n) + "\n" + k + "Image ID = 0x494D470" +
                std::to_string(n) + "\n" + k + "Next Image ID = 0xFFFFFFFF\n" + k + "Path = img" +
                std::to_string(n) + ".bin\n" + k + "Flash Entry Address = 0x0" + std::to_string(n) + "00000\n" +
                (n == 1 ? k + "Load Address = 0x80000000\n" : "") + k + "Type = RAW\n" + k +
                "Erase Size = 0x40000\n" + k + "Partition Number = 0\n" + k + "Image Size To CRC in bytes = 0\n";
    }
    return text;
}

const std::string kHead =
    "[BLF_Version]\nBlf_Version_Number = V2.0.0\n[UE_Options]\nUE_Boot_Option = 0\n[Flash_Properties]\n";
const std::string kNandLines = "Flash_Block_Size = 0x40000\nFlash_NandID = 0x0\n";
const std::string kFlash =
    "Number_of_Blocks_0 = 1024\nStart_Address_0 = 0x400\nMax_Upload_Split_Size = 0x0\n"
    "Max_KXP_Split_Size = 0x800000\n";
const std::string kOptions =
    "Spare_Area_Size = 64\nData_Area_Size = 2048\nKXP_Sector_Size = 8192\n[Flash_Options]\n"
    "Skip_Blocks_Number = 3-5\nErase_All_Flash = 1\nReset_BBT = 0\n[TIM_Configuration]\n";
const std::string kSaveState =
    "VKT_Save_State_Flash_Signature = 0x200\nVKT_Save_State_Flash_Entry_Address = 0x300\n"
    "VKT_Save_State_BackUp_Entry_Address = 0x100\n";
const std::string kHeaderTail =
    "Boot_Flash_Signature = 0x4E414E0D\nProcessor_Type = NLT07x\nOEM_UniqueID = 0x12345678\n"
    "Issue_Date = 0x20240101\nVersion = 0x00030102\n";
const std::string kEraseAreas =
    "[EraseOnly_Option]\nTotal_Eraseonly_Areas = 2\n1_Eraseonly_Area_Size = 0x2000\n"
    "1_Eraseonly_Area_FlashStartAddress = 0x1000\n1_Eraseonly_Area_Partition = 1\n2_Eraseonly_Area_Size = 0x4000\n"
    "2_Eraseonly_Area_FlashStartAddress = 0x8000\n2_Eraseonly_Area_Partition = -1\n";
const std::string kReserved =
    "[Reserved_Data]\nAUTOBIND\nitem = 0x00000001\nEnd_AUTOBIND\nEnd_Reserved_Data\n"
    "[Extended_Reserved_Data]\nUsb\nPort =  1\nEnd_Usb\nEnd_Extended_Reserved_Data\n";
const std::string kImages =
    "[Image_List]\n1_Image_Enable = 1\n1_Image_ID_Name = IMG1\n1_Image_Image_ID = 0x494D4701\n"
    "1_Image_Next_Image_ID = 0xFFFFFFFF\n1_Image_Path = img1.bin\n1_Image_Flash_Entry_Address = 0x0100000\n"
    "1_Image_Load_Address = 0x80000000\n1_Image_Type = RAW\n1_Image_Erase_Size = 0x40000\n"
    "1_Image_Partition_Number = 0\n1_Image_Size_To_CRC_in_bytes = 0\n"
    "2_Image_Enable = 1\n2_Image_ID_Name = IMG2\n2_Image_Image_ID = 0x494D4702\n"
    "2_Image_Next_Image_ID = 0xFFFFFFFF\n2_Image_Path = img2.bin\n2_Image_Flash_Entry_Address = 0x0200000\n"
    "2_Image_Load_Address = NOT AVAILABLE\n2_Image_Type = RAW\n2_Image_Erase_Size = 0x40000\n"
    "2_Image_Partition_Number = 0\n2_Image_Size_To_CRC_in_bytes = 0\n";

TEST_F(OldBlfConvertTest, ConvertedCopySectionBySection)
{
    struct Case {
        const char* what;
        std::string family;
        OldLayout old;
        std::string expected;
    };
    const auto counts = [](int images, int trusted) {
        return "Number_of_Images = " + std::to_string(images) + "\nNumber_of_Keys = 0\n" +
               "FlasherLoadAddress = 0xD1000000\n" + (trusted ? kSaveState : "") + kHeaderTail +
               "Trusted = " + std::to_string(trusted) + "\n";
    };
    const std::vector<Case> cases = {
        {"NAND, trusted, two areas, two images", "NAND", {},
         kHead + kNandLines + kFlash + "Flash_Family = NAND\n" + kOptions + counts(2, 1) + kEraseAreas + kReserved +
             kImages},
        {"eMMC, untrusted, no areas, no images", "eMMC", {0, 0, 0},
         kHead + kFlash + "Flash_Family = eMMC\n" + kOptions + counts(0, 0) + kReserved},
        {"ONENAND has no NAND lines", "ONENAND", {1, 0, 0},
         kHead + kFlash + "Flash_Family = ONENAND\n" + kOptions + counts(0, 1) + kReserved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(Path("flasher.ini"), Flasher(c.family));
        oldTim.Reset();
        const Outcome o = Convert(OldText(c.old));
        ASSERT_TRUE(o.result) << o.out;
        EXPECT_EQ(Converted(), Crlf(c.expected));
        EXPECT_EQ(flasherPath, Wide(Path("flasher.ini")));
        EXPECT_EQ(settings.Flash_Family, Wide(c.family));
        EXPECT_EQ(blocks, 1024);
        EXPECT_EQ(startAddress, 0x400u);
        // The save-state keys are read only for a trusted file.
        EXPECT_EQ(oldTim.m_VktSaveStateFlashSignature, c.old.trusted ? L"0x200" : L"0x4D4D4308");
    }
}

TEST_F(OldBlfConvertTest, RefusalsAndFailures)
{
    // A family the old format does not know: nothing is written.
    WriteFile(Path("flasher.ini"), Flasher("nand"));
    Outcome o = Convert(OldText({}));
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "ERROR:Unknown flash family:Unknown!\n");
    EXPECT_EQ(settings.Flash_Family, L"Unknown");
    EXPECT_EQ(Converted(), "");

    // No flasher settings file: raised before anything is written.
    OldLayout missing;
    missing.flasherPath = "missing.ini";
    o = Convert(OldText(missing));
    EXPECT_TRUE(o.thrown);
    EXPECT_EQ(o.message, L"file " + Wide(Path("missing.ini")) + L" is not exist");
    EXPECT_EQ(Converted(), "");

    // An absolute flasher path is used as it stands.
    TempFolder elsewhere;
    WriteFile(elsewhere.File("abs.ini"), Flasher("eMMC"));
    OldLayout absolute;
    absolute.flasherPath = elsewhere.File("abs.ini");
    o = Convert(OldText(absolute));
    EXPECT_TRUE(o.result) << o.out;
    EXPECT_EQ(flasherPath, Wide(elsewhere.File("abs.ini")));
    EXPECT_EQ(settings.Flash_Family, L"eMMC");

    // A word list without its terminator: the header sections and erase-only
    // areas stay in the file.
    WriteFile(Path("flasher.ini"), Flasher("eMMC"));
    std::string unterminated = OldText({});
    unterminated.replace(unterminated.find("0x5465726D\n8\n"), 13, "");
    o = Convert(unterminated);
    EXPECT_FALSE(o.result);
    EXPECT_TRUE(o.out.find("  Error: Terminator ID is incorrect or is missing.\n") != std::string::npos) << o.out;
    EXPECT_TRUE(o.out.find("ParseNLT07x_ReservedData failed..\n") != std::string::npos) << o.out;
    const std::string partial = Converted();
    EXPECT_NE(partial.find("[EraseOnly_Option]"), std::string::npos);
    EXPECT_EQ(partial.find("[Reserved_Data]"), std::string::npos);

    // The copy cannot be created: a failure, not a later parse of no file.
    cvtPath = Wide(folder.File("no-such-folder/Cvt_old.blf"));
    o = Convert(OldText({}));
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Unable to write file: " + folder.File("no-such-folder/Cvt_old.blf") + "\n");

    // A count that would make millions of lookups is refused.
    cvtPath = Wide(folder.File("Cvt_old.blf"));
    OldLayout many;
    many.images = 2000000000;
    o = Convert(OldText(many));
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Number of Images = 2000000000 is refused: at most 1000 entries are allowed\n");
}

// What a build does with an older-format file: a trusted one is refused
// before anything is written; else the copy is made and parsed, its image
// paths starting from the old file's folder. Each failure ends in its own
// line.
TEST_F(OldBlfConvertTest, BuildRefusesConvertsAndParsesTheCopy)
{
    struct Case {
        const char* what;
        OldLayout old;
        std::string family;
        std::string usbBlock;  // in place of the old file's USB block, when not empty
        bool result;
        std::string ending;  // the last lines printed
    };
    const std::string refusal =
        "Error: trusted layout files of the older format cannot be built: their keys are not converted\n";
    const std::vector<Case> cases = {
        {"converted and parsed", {0, 2, 2}, "eMMC", "", true, "complete to parsing blf file\n\n"},
        {"trusted", {}, "eMMC", "", false, refusal},
        {"the conversion fails", {0, 2, 2}, "nand", "", false,
         "ERROR:Unknown flash family:Unknown!\n\nConvertOldBlf2New failed....\n"},
        {"the copy's block is refused by its reader", {0, 2, 2}, "eMMC", "Consumer ID\nX:1\nEnd Consumer ID\n",
         false, "ParseExtendedReservedData failed\nParseBlfFile failed for nlt07x\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(Path("Cvt_old.blf"));
        WriteFile(Path("flasher.ini"), Flasher(c.family));
        std::string old = OldText(c.old);
        if (!c.usbBlock.empty()) {
            const std::string usb = "Usb\nPort: 1\nEnd Usb\n";
            old.replace(old.find(usb), usb.size(), c.usbBlock);
        }
        WriteFile(Path("old.blf"), old);
        parser.UseText(nullptr);
        const Outcome o = Capture([&] { return ConvertAndParseOldBlf(context, Wide(Path("old.blf")), 1); });
        EXPECT_EQ(o.result, c.result) << o.out;
        EXPECT_FALSE(o.thrown) << testing::PrintToString(o.message);
        EXPECT_GE(o.out.size(), c.ending.size());
        EXPECT_EQ(o.out.substr(o.out.size() - std::min(o.out.size(), c.ending.size())), c.ending) << o.out;
        // Nothing at all is done with a trusted file.
        EXPECT_EQ(FileExists(Path("Cvt_old.blf")), c.old.trusted == 0);
        if (c.old.trusted) {
            EXPECT_EQ(o.out, refusal);
        }
        EXPECT_FALSE(parser.m_bConvertedCopy);
        if (c.result) {
            const ImageList& images = parser.m_TimDescriptor.m_Images;
            ASSERT_EQ(images.size(), 2u);
            EXPECT_EQ(images.front()->GetImagePath(), Wide(Path("img1.bin")));
        }
    }
}

const std::string kRule = "////////////////////////////////////////////////////////////\n";
const std::string kSizeError = kRule + "  Error: Package size not consistent with supplied field values.\n" + kRule;

TEST_F(OldBlfConvertTest, ReservedDataWordLists)
{
    struct Package {
        std::wstring id;
        std::vector<std::wstring> words;
    };
    struct Case {
        const char* what;
        std::string words;  // one per line
        bool result;
        std::vector<Package> packages;
        std::string printed;  // between the begin and complete lines
    };
    const std::string countError3 = kRule +
                                    "  Error: Number of Reserved Area Packages 2 does not equal the number of "
                                    "headers 3\n" +
                                    kRule;
    const std::vector<Case> cases = {
        {"one package, the terminator counted", "0x4F505448 2 0x42494E44 12 0x1 0x5465726D 8", true,
         {{L"0x42494E44", {L"0x00000001"}}}, ""},
        {"declared count 3", "0x4F505448 3 0x42494E44 12 0x1 0x5465726D", true,
         {{L"0x42494E44", {L"0x00000001"}}}, countError3},
        {"size word 10 wraps and takes words up to the terminator", "0x4F505448 2 0x42494E44 10 0x1 0x2 0x3 0x5465726D",
         true, {{L"0x42494E44", {L"0x00000001", L"0x00000002", L"0x00000003"}}}, kSizeError},
        {"a data word 'Term' ends the list", "0x4F505448 2 0x4750494F 16 0x5465726D 0x2", true,
         {{L"0x4750494F", {}}}, kSizeError},
        {"an identifier where the size is expected starts a package",
         "0x4F505448 3 0x42494E44 0x55415254 12 0x7 0x5465726D", true,
         {{L"0x42494E44", {}}, {L"0x55415254", {L"0x00000007"}}}, ""},
        {"no header", "5 0x42494E44 12 0x1 0x5465726D", true, {}, ""},
        // Without a terminator the lines after the list are words too: here
        // "End Reserved Data" (0) and DDrH start packages of their own...
        {"header without terminator", "0x4F505448 2 0x42494E44 12 0x1", false,
         {{L"0x42494E44", {L"0x00000001"}}, {L"0x00000000", {}}, {L"0x44447248", {}}}, ""},
        // ...and here they fill the open package, which stays short.
        {"header without terminator, a package left short", "0x4F505448 2 0x42494E44 24 0x1", false,
         {{L"0x42494E44", {L"0x00000001", L"0x00000000", L"0x44447248"}}}, kSizeError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = "[TIM Configuration]\nA = 1\n[Reserved Data]\n";
        for (char ch : c.words) {
            text += ch == ' ' ? '\n' : ch;
        }
        text += "\nEnd Reserved Data\n0x44447248\n";
        WriteFile(Path("words.blf"), text);
        const Outcome o = Capture([&] { return ParseNLT07x_ReservedData(context, Wide(Path("words.blf"))); });
        EXPECT_EQ(o.result, c.result);
        const std::string begin = "Parsing Reserved data.....\nbegin to parsing reserved data\n";
        if (c.result) {
            EXPECT_EQ(o.out, begin + c.printed + "complete to parsing reserved data\n");
        } else {
            EXPECT_EQ(o.out, begin + c.printed + kRule + "  Error: Terminator ID is incorrect or is missing.\n" + kRule);
        }
        ASSERT_EQ(oldTim.m_ReservedPackages.size(), c.packages.size());
        auto it = oldTim.m_ReservedPackages.begin();
        for (const Package& expected : c.packages) {
            const CReservedPackageData& package = **it++;
            EXPECT_EQ(package.m_PackageId, expected.id);
            EXPECT_EQ(std::vector<std::wstring>(package.m_DataList.begin(), package.m_DataList.end()),
                      expected.words);
            ASSERT_EQ(package.m_FieldList.size(), expected.words.size());
            for (const CReservedPackageData::Field& field : package.m_FieldList) {
                EXPECT_EQ(field.first, L"item");
            }
        }
    }
    // The file cannot be read.
    const Outcome o = Capture([&] { return ParseNLT07x_ReservedData(context, Wide(Path("none.blf"))); });
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Parsing Reserved data.....\n\nOpen blf file " + Path("none.blf") + " failed\n");
}

TEST_F(OldBlfConvertTest, ExtendedReservedDataBlocks)
{
    struct Case {
        const char* what;
        std::string old;
        std::string converted;
    };
    const std::vector<Case> cases = {
        {"vendor request is not the USB block, the last ':' splits, lines without ':' dropped",
         "Extended Reserved Data\nUsb Vendor Request\nbmRequestType: 0x40\nno colon here\nEnd Usb Vendor Request\n"
         "stray: outside\nUsb\nAddress: a:b\nEnd Usb\nClock Enable\nX:1\nEnd Clock Enable\n"
         "Trust_Zone_Regid\nR: 2\nEnd Trust_Zone_Regid\nEnd Extended Reserved Data\nUart\nP: 1\n",
         "[Extended_Reserved_Data]\nUsb_Vendor_Request\nbmRequestType =  0x40\nEnd_Usb_Vendor_Request\n"
         "Usb\nAddress: a = b\nEnd_Usb\nClock_Enable\nX = 1\nEnd_Clock_Enable\nTrust_Zone_Regid\nR =  2\n"
         "End_Trust_Zone_Regid\nEnd_Extended_Reserved_Data\n"},
        {"the input ends inside a block", "Extended Reserved Data\nResume DDR\nA: 1\n",
         "[Extended_Reserved_Data]\nResume_DDR\nA =  1\n"},
        {"no block at all", "[TIM Configuration]\nA = 1\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(Path("ext.blf"), c.old);
        CConvertedFile out;
        ASSERT_TRUE(out.Open(Wide(Path("ext.txt"))));
        CBlfParser reader;
        const Outcome o = Capture([&] { return ConvertExtendedReservedDataBlock(reader, Wide(Path("ext.blf")), out); });
        EXPECT_TRUE(o.result);
        EXPECT_EQ(o.out, "Parsing ExtendedReservedData\ncomplete to parse ExtendedReservedData\n");
        EXPECT_TRUE(out.Close());
        EXPECT_EQ(ReadFile(Path("ext.txt")), Crlf(c.converted));
    }
    CConvertedFile out;
    ASSERT_TRUE(out.Open(Wide(Path("ext.txt"))));
    CBlfParser reader;
    const Outcome o = Capture([&] { return ConvertExtendedReservedDataBlock(reader, Wide(Path("none.blf")), out); });
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.out, "Parsing ExtendedReservedData\n\nOpen blf file failed\n");
}

// Both block writers report a copy that has not taken their text, and the
// conversion stops at the first of them with its name.
TEST_F(OldBlfConvertTest, BlockWritersReportACopyThatCannotBeWritten)
{
    if (!FileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    WriteFile(Path("ext.blf"), "Extended Reserved Data\nUsb\nPort: 1\nEnd Usb\nEnd Extended Reserved Data\n");
    CTimDescriptor withPackage;
    withPackage.m_ReservedPackages.push_back(std::make_unique<CReservedPackageData>());
    withPackage.m_ReservedPackages.back()->AddData(L"0x00000001", L"");
    for (const bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "extended block" : "reserved-data block");
        CConvertedFile full;
        ASSERT_TRUE(full.Open(L"/dev/full"));
        const Outcome o = Capture([&] {
            CBlfParser reader;
            return extended ? ConvertExtendedReservedDataBlock(reader, Wide(Path("ext.blf")), full)
                            : WriteReservedDataBlock(withPackage, full);
        });
        EXPECT_FALSE(o.result);
    }

    // The whole conversion, with a copy that takes its header sections and
    // nothing more, as a full disk would. The copy is the run's own file,
    // made new at its name, so the limit comes from the file size limit, in
    // a child process.
    WriteFile(Path("flasher.ini"), Flasher("eMMC"));
    ASSERT_TRUE(Convert(OldText({})).result);
    const size_t header = Converted().find("[Reserved_Data]");
    ASSERT_NE(header, std::string::npos);
    const auto convertWithinLimit = [&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{header, header};
        setrlimit(RLIMIT_FSIZE, &limit);
        // The old layout is in place from the conversion above.
        parser.UseText(nullptr);
        const Outcome o = Capture([&] { return ConvertOldBlf2New(context, Wide(Path("old.blf"))); });
        const std::string ending = "complete to parsing reserved data\nWriteReservedDataBlock failed..\n";
        const bool reported =
            o.out.size() >= ending.size() && o.out.compare(o.out.size() - ending.size(), ending.size(), ending) == 0;
        std::_Exit(!o.result && reported ? 3 : 4);
    };
    EXPECT_EXIT(convertWithinLimit(), testing::ExitedWithCode(3), "");
}

// The process's open descriptors: a stream left open shows as one more.
long OpenDescriptors()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

TEST(ConvertedFileTest, Utf8WithCrLfAndFailedWritesReported)
{
    TempFolder folder;
    CConvertedFile out;
    ASSERT_TRUE(out.Open(Wide(folder.File("copy.blf"))));
    out.Write(L"Path = b\u00e4d.bin\n");
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(folder.File("copy.blf")), "Path = b\xc3\xa4" "d.bin\r\n");
    // Nothing goes out after the close; opening again closes the stream
    // opened before.
    out.Write(L"late\n");
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(ReadFile(folder.File("copy.blf")), "Path = b\xc3\xa4" "d.bin\r\n");
    const long descriptors = OpenDescriptors();
    ASSERT_TRUE(out.Open(Wide(folder.File("first.blf"))));
    ASSERT_TRUE(out.Open(Wide(folder.File("second.blf"))));
    out.Write(L"2\n");
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(ReadFile(folder.File("second.blf")), "2\r\n");
    // Line feeds anywhere: first, one after another, none at the end; a CR
    // of the text stays as it is.
    ASSERT_TRUE(out.Open(Wide(folder.File("lines.blf"))));
    out.Write(L"\na\n\nb\rc");
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(folder.File("lines.blf")), "\r\na\r\n\r\nb\rc");

    // A file that was never opened, and one the disk cannot take.
    CConvertedFile none;
    none.Write(L"x\n");
    EXPECT_FALSE(none.Close());
    if (FileExists("/dev/full")) {
        CConvertedFile full;
        ASSERT_TRUE(full.Open(L"/dev/full"));
        full.Write(L"x\n");
        EXPECT_FALSE(full.Good());
        EXPECT_FALSE(full.Close());
    }
}

}  // namespace

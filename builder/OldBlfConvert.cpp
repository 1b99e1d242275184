#include "builder/OldBlfConvert.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "common/ErdCategoryNames.h"
#include "common/FileUtils.h"
#include "common/Print.h"
#include "common/Tag.h"
#include "common/TimLib.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Text.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/LayoutLookup.h"

namespace {

using layout::Contains;
using layout::kNotAvailable;

// Old-format sections, in the old file (O) or the flasher settings file (F).
const wchar_t kFlasherProperties[] = L"Varsic Flasher Properties";  // O and F
const wchar_t kDevHeader[] = L"DEV_HEADER_0";                        // O and F
const wchar_t kFlasherInput[] = L"INTEL_FLASHER_INPUT_FILE";        // F
const wchar_t kTimConfiguration[] = L"TIM Configuration";           // O
const wchar_t kEraseOnlyArea[] = L"Erase only Area";                // O
const wchar_t kImageList[] = L"Image List";                         // O

// The flash families the old format knows, compared whole.
const wchar_t* const kOldFlashFamilies[] = {L"ONENAND", L"NAND", L"eMMC"};

// A key of a numbered entry: "<n> <old>" or "<n> Image <old>" in the old
// file, "<n>_<new>" or "<n>_Image_<new>" in the copy. A number is read as
// such, -1 when absent; a text is copied as read, "NOT AVAILABLE" when
// absent.
struct EntryKey {
    const wchar_t* oldKey;
    const wchar_t* newKey;
    bool number;
};

const EntryKey kEraseAreaKeys[] = {
    {L"Erase Length", L"Eraseonly_Area_Size", false},
    {L"Erase Flash Start Address", L"Eraseonly_Area_FlashStartAddress", false},
    {L"Erase Area Partition", L"Eraseonly_Area_Partition", true},
};

const EntryKey kImageKeys[] = {
    {L"Enable", L"Enable", false},
    {L"ID Name", L"ID_Name", false},
    {L"Image ID", L"Image_ID", false},
    {L"Next Image ID", L"Next_Image_ID", false},
    {L"Path", L"Path", false},
    {L"Flash Entry Address", L"Flash_Entry_Address", false},
    {L"Load Address", L"Load_Address", false},
    {L"Type", L"Type", false},
    {L"Erase Size", L"Erase_Size", false},
    {L"Partition Number", L"Partition_Number", false},
    {L"Image Size To CRC in bytes", L"Size_To_CRC_in_bytes", false},
};

// The old word list: its header, its terminator and the package
// identifiers that start a package even where a size word is expected.
constexpr uint32_t kListHeader = TagValue("OPTH");
constexpr uint32_t kTerminator = TagValue("Term");
constexpr uint32_t kPackageHeaderBytes = 8;

// The older format's own set, apart from the newer tables: it knows the
// flash-partition and skip packages and none of the later classes.
const uint32_t kKnownPackageIds[] = {
    TagValue("DDrH"),    TagValue("GPIO"),    TagValue("BIND"),    TagValue("UART"),    TagValue("USB"),
    TagValue("Resm"),    TagValue("DDRG"),    TagValue("DDRT"),    TagValue("DDRC"),    TagValue("CMCC"),
    TagValue("TZID"),    TagValue("TZON"),    TagValue("OPDV"),    TagValue("MODE"),    TagValue("Rsm2"),
    TagValue("USB\0"),   TagValue("USB\x01"), TagValue("USB\x02"), TagValue("USB\x03"), TagValue("USB\x04"),
    TagValue("USB\x05"), TagValue("USB\x06"), TagValue("USB\x07"), TagValue("USB\x08"), TagValue("USB\x09"),
    TagValue("VREQ"),    TagValue("ESCS"),    TagValue("ESv2"),    TagValue("CUST"),    TagValue("NOFC"),
    TagValue("NOKD"),    TagValue("mDOC"),    TagValue("mB\x94N"), TagValue("mBDT"),    TagValue("ERAS"),
    TagValue("SKIP"),    TagValue("CITA"),
};

bool IsKnownPackageId(uint32_t value)
{
    for (uint32_t id : kKnownPackageIds) {
        if (id == value) {
            return true;
        }
    }
    return false;
}

const wchar_t kErrorRule[] = L"////////////////////////////////////////////////////////////\n";

// An old extended-reserved-data block: the text that opens it, the new
// block name (opened by the name, closed by "End_" and the name) and the
// text that closes it. Tested in this order: a longer start text comes
// before a shorter one it contains.
struct ExtendedBlock {
    const wchar_t* start;
    const wchar_t* name;
    const wchar_t* end;
};

const ExtendedBlock kExtendedBlocks[] = {
    {L"Clock Enable", kClockEnable, L"End Clock Enable"},
    {L"DDR Geometry", kDdrGeometry, L"End DDR Geometry"},
    {L"DDR Timing", kDdrTiming, L"End DDR Timing"},
    {L"DDR Custom", kDdrCustom, L"End DDR Custom"},
    {kFrequency, kFrequency, L"End Frequency"},
    {kVoltages, kVoltages, L"End Voltages"},
    {L"Configure Memory Control", kConfigureMemoryControl, L"End Configure Memory Control"},
    {L"Trust_Zone_Regid", kTrustZoneRegid, L"End Trust_Zone_Regid"},
    {L"Trust_Zone", kTrustZone, L"End Trust_Zone"},
    {L"OpDiv", kOpDiv, L"End OpDiv"},
    {L"OpMode", kOpMode, L"End OpMode"},
    {L"GpioSet", L"GpioSet", L"End GpioSet"},
    {L"Usb Vendor Request", L"Usb_Vendor_Request", L"End Usb Vendor Request"},
    {L"Usb", L"Usb", L"End Usb"},
    {L"Uart", L"Uart", L"End Uart"},
    {L"AutoBind", L"AutoBind", L"End AutoBind"},
    {L"Resume DDR", L"Resume_DDR", L"End Resume DDR"},
    {L"Resume", L"Resume", L"End Resume"},
    {L"Xfer", L"Xfer", L"End Xfer"},
    {L"Escape Sequence", L"Escape_Sequence", L"End Escape Sequence"},
    {L"Core Reset", L"Core_Reset", L"End Core Reset"},
    {L"BBMT", L"BBMT", L"End BBMT"},
    {L"Consumer ID", L"Consumer_ID", L"End Consumer ID"},
    {L"DDR Initialization", L"DDR_Initialization", L"End DDR Initialization"},
    {L"TZ Initialization", L"TZ_Initialization", L"End TZ Initialization"},
    {L"TZ Operations", L"TZ_Operations", L"End TZ Operations"},
};

std::wstring Text(CBlfParser& reader, const std::wstring& file, const wchar_t* section, std::wstring_view key,
                  const wchar_t* defaultText)
{
    std::wstring value;
    reader.GetKeyValue(defaultText, value, section, key, file);
    return value;
}

int32_t Int(CBlfParser& reader, const std::wstring& file, const wchar_t* section, std::wstring_view key,
            int32_t defaultNumber)
{
    return reader.GetKeyInt(file, section, key, defaultNumber);
}

// A count of entries that makes one lookup per entry and key: bounded as
// the reader bounds its own counts, so a stray value cannot make the
// conversion run for hours.
bool CountAllowed(const wchar_t* key, int32_t count)
{
    if (count <= layout::kMaxLayoutCount) {
        return true;
    }
    PrintLog(L"%s\n", layout::CountRefusal(platform::Format(L"%s = %d", key, count)));
    return false;
}

void SetHeaderText(CTimDescriptor& tim, std::wstring& field, std::wstring value)
{
    field = std::move(value);
    tim.m_bChanged = true;
    tim.m_bDirty = true;
}

// The writers of every line of the copy: a section header, the name that
// opens a block or the one that closes it, each on a line of its own, and a
// "key = value" line.
void AddSection(std::wstring& text, const wchar_t* name)
{
    text.append(L"[").append(name).append(L"]\n");
}

void AddBlockStart(std::wstring& text, const std::wstring& name)
{
    text.append(name).append(L"\n");
}

void AddBlockEnd(std::wstring& text, const std::wstring& name)
{
    text.append(L"End_").append(name).append(L"\n");
}

void AddLine(std::wstring& text, const std::wstring& key, const std::wstring& value)
{
    text.append(key).append(L" = ").append(value).append(L"\n");
}

// The copy's numbers: hexadecimal in lower case after "0x", or decimal.
void AppendHex(std::wstring& text, uint32_t value)
{
    platform::AppendFormat(text, L"0x%x", value);
}

void AppendDec(std::wstring& text, int32_t value)
{
    platform::AppendFormat(text, L"%d", value);
}

std::wstring Dec(int32_t value)
{
    std::wstring text;
    AppendDec(text, value);
    return text;
}

// What the header sections of the copy are written from.
struct CopyHeader {
    const FlashSettings& settings;
    const CTimDescriptor& tim;
    int32_t numberOfBlocks0;
    uint32_t startAddress0;
    int32_t imageCount;
    int32_t keyCount;
    bool trusted;
    bool eraseAll;
};

// A header line's value: a text of the settings or the descriptor, which
// outlive the copy's writing, or a number in hexadecimal or decimal.
struct HeaderValue {
    enum Kind { kText, kHex, kDec } kind;
    std::wstring_view text;
    uint32_t hex;
    int32_t dec;
};

HeaderValue TextValue(std::wstring_view text)
{
    return {HeaderValue::kText, text, 0, 0};
}

HeaderValue HexValue(uint32_t value)
{
    return {HeaderValue::kHex, {}, value, 0};
}

HeaderValue DecValue(int32_t value)
{
    return {HeaderValue::kDec, {}, 0, value};
}

// Written straight into the copy's text.
void AppendValue(std::wstring& text, const HeaderValue& value)
{
    switch (value.kind) {
    case HeaderValue::kText: text.append(value.text); break;
    case HeaderValue::kHex: AppendHex(text, value.hex); break;
    case HeaderValue::kDec: AppendDec(text, value.dec); break;
    }
}

// One line of the header sections: "[key]" when value is null, else
// "key = value" where when is null or holds.
struct HeaderRow {
    const wchar_t* key;
    HeaderValue (*value)(const CopyHeader&);
    bool (*when)(const CopyHeader&);
};

bool OnNand(const CopyHeader& h)
{
    return h.settings.Flash_Family == L"NAND";
}

bool WhenTrusted(const CopyHeader& h)
{
    return h.trusted;
}

using H = const CopyHeader&;

const HeaderRow kHeaderRows[] = {
    {L"BLF_Version", nullptr, nullptr},
    {L"Blf_Version_Number", [](H) { return TextValue(L"V2.0.0"); }, nullptr},
    {L"UE_Options", nullptr, nullptr},
    // The old format has no such key: the reader's default.
    {L"UE_Boot_Option", [](H) { return DecValue(0); }, nullptr},
    {L"Flash_Properties", nullptr, nullptr},
    {L"Flash_Block_Size", [](H h) { return HexValue(h.settings.Flash_Block_Size); }, OnNand},
    {L"Flash_NandID", [](H h) { return HexValue(h.settings.Flash_NandID); }, OnNand},
    {L"Number_of_Blocks_0", [](H h) { return DecValue(h.numberOfBlocks0); }, nullptr},
    {L"Start_Address_0", [](H h) { return HexValue(h.startAddress0); }, nullptr},
    {L"Max_Upload_Split_Size", [](H h) { return HexValue(h.settings.Max_Upload_Split_Size); }, nullptr},
    {L"Max_KXP_Split_Size", [](H h) { return HexValue(h.settings.Max_KXP_Split_Size); }, nullptr},
    {L"Flash_Family", [](H h) { return TextValue(h.settings.Flash_Family); }, nullptr},
    {L"Spare_Area_Size", [](H h) { return TextValue(h.settings.Spare_Area_Size); }, nullptr},
    {L"Data_Area_Size", [](H h) { return TextValue(h.settings.Data_Area_Size); }, nullptr},
    {L"KXP_Sector_Size", [](H h) { return DecValue(h.settings.KXP_Sector_Size); }, nullptr},
    {L"Flash_Options", nullptr, nullptr},
    {L"Skip_Blocks_Number", [](H h) { return TextValue(h.settings.Skip_Blocks_Number); }, nullptr},
    {L"Erase_All_Flash", [](H h) { return DecValue(h.eraseAll ? 1 : 0); }, nullptr},
    {L"Reset_BBT", [](H) { return DecValue(0); }, nullptr},
    {L"TIM_Configuration", nullptr, nullptr},
    {L"Number_of_Images", [](H h) { return DecValue(h.imageCount); }, nullptr},
    {L"Number_of_Keys", [](H h) { return DecValue(h.keyCount); }, nullptr},
    {L"FlasherLoadAddress", [](H h) { return TextValue(h.settings.FlasherLoadAddress); }, nullptr},
    {L"VKT_Save_State_Flash_Signature", [](H h) { return TextValue(h.tim.m_VktSaveStateFlashSignature); },
     WhenTrusted},
    {L"VKT_Save_State_Flash_Entry_Address", [](H h) { return TextValue(h.tim.m_VktSaveStateFlashEntryAddress); },
     WhenTrusted},
    {L"VKT_Save_State_BackUp_Entry_Address", [](H h) { return TextValue(h.tim.m_VktSaveStateBackUpEntryAddress); },
     WhenTrusted},
    {L"Boot_Flash_Signature", [](H h) { return TextValue(h.tim.m_BootFlashSignature); }, nullptr},
    {L"Processor_Type", [](H h) { return TextValue(h.tim.m_ProcessorType); }, nullptr},
    {L"OEM_UniqueID", [](H h) { return TextValue(h.tim.m_OemUniqueId); }, nullptr},
    {L"Issue_Date", [](H h) { return TextValue(h.tim.m_IssueDate); }, nullptr},
    {L"Version", [](H h) { return TextValue(h.tim.m_Version); }, nullptr},
    {L"Trusted", [](H h) { return DecValue(h.trusted ? 1 : 0); }, nullptr},
};

// The header sections hold about 700 characters.
constexpr size_t kHeaderRoom = 1024;

std::wstring HeaderSections(const CopyHeader& header)
{
    std::wstring text;
    text.reserve(kHeaderRoom);
    for (const HeaderRow& row : kHeaderRows) {
        if (row.value == nullptr) {
            AddSection(text, row.key);
        } else if (row.when == nullptr || row.when(header)) {
            text.append(row.key).append(L" = ");
            AppendValue(text, row.value(header));
            text.append(L"\n");
        }
    }
    return text;
}

// The keys and the value of an entry's lines, kept from one entry to the
// next.
struct EntryTexts {
    std::wstring oldKey;
    std::wstring newKey;
    std::wstring value;
};

// Appends the lines of entry n: oldInfix and newInfix stand between the
// number and the key in the old file and in the copy.
template <size_t N>
void AppendEntryLines(std::wstring& text, OldBlfContext& c, const std::wstring& blfPath, const wchar_t* section,
                      int32_t n, const wchar_t* oldInfix, const wchar_t* newInfix, const EntryKey (&keys)[N],
                      EntryTexts& t)
{
    // The keys of an entry share their start, so each is made in one
    // buffer; the values share one too. An image list makes a lookup for
    // every key of every entry.
    std::wstring& oldKey = t.oldKey;
    std::wstring& newKey = t.newKey;
    std::wstring& value = t.value;
    oldKey.clear();
    AppendDec(oldKey, n);
    newKey = oldKey;
    oldKey.append(oldInfix);
    newKey.append(newInfix);
    const size_t oldPrefix = oldKey.size();
    const size_t newPrefix = newKey.size();
    for (const EntryKey& key : keys) {
        oldKey.resize(oldPrefix);
        oldKey.append(key.oldKey);
        if (key.number) {
            value.clear();
            AppendDec(value, Int(c.parser, blfPath, section, oldKey, -1));
        } else {
            c.parser.GetKeyValue(kNotAvailable, value, section, oldKey, blfPath);
        }
        newKey.resize(newPrefix);
        newKey.append(key.newKey);
        AddLine(text, newKey, value);
    }
}

std::wstring EraseOnlyAreas(OldBlfContext& c, const std::wstring& blfPath, int32_t count)
{
    std::wstring text;
    AddSection(text, L"EraseOnly_Option");
    AddLine(text, L"Total_Eraseonly_Areas", Dec(count));
    EntryTexts texts;
    for (int32_t n = 1; n <= count; ++n) {
        AppendEntryLines(text, c, blfPath, kEraseOnlyArea, n, L" ", L"_", kEraseAreaKeys, texts);
    }
    return text;
}

// Appends image n's lines, the section header before the first.
void AppendImageListEntry(std::wstring& text, OldBlfContext& c, const std::wstring& blfPath, int32_t n,
                          EntryTexts& texts)
{
    if (n == 1) {
        AddSection(text, L"Image_List");
    }
    AppendEntryLines(text, c, blfPath, kImageList, n, L" Image ", L"_Image_", kImageKeys, texts);
}

// Reads the settings of the old file and its flasher settings file into the
// context, in the order the old format keeps them. False after a logged
// reason; raises CZorlixexception when the flasher settings file is missing.
bool ReadOldSettings(OldBlfContext& c, const std::wstring& blfPath, bool& trusted, bool& eraseAll)
{
    FlashSettings& settings = c.flashSettings;
    CTimDescriptor& tim = c.oldBlfTimDescriptor;

    // An absolute path names the file as it stands; a relative one lives in
    // the program's folder.
    c.flasherSettingsPath = CombinePathIfRelative(
        c.programFolder, Text(c.parser, blfPath, kFlasherProperties, L"Flash Configuration File Path", kNotAvailable));
    const std::wstring& flasher = c.flasherSettingsPath;
    if (!platform::Exists(flasher)) {
        throw CZorlixexception(platform::Format(L"file %s is not exist", flasher));
    }
    // The flasher settings file has a reader of its own, which keeps its
    // text: the lookups alternate between the two files, and one reader
    // would read each of them again at every change.
    CBlfParser flasherReader;
    settings.Flash_Block_Size =
        CTimLib::ParseUInt32(Text(flasherReader, flasher, kDevHeader, L"Block_Size_0", kNotAvailable));
    settings.KXP_Sector_Size = Int(flasherReader, flasher, kFlasherInput, L"KXP_Sector_Size", -1);

    const std::wstring family = Text(flasherReader, flasher, kDevHeader, L"FlashFamily", kNotAvailable);
    bool knownFamily = false;
    for (const wchar_t* known : kOldFlashFamilies) {
        knownFamily = knownFamily || family == known;
    }
    if (!knownFamily) {
        settings.Flash_Family = L"Unknown";
        PrintLog(L"ERROR:Unknown flash family:%s!\n", settings.Flash_Family);
        return false;
    }
    settings.Flash_Family = family;

    c.numberOfBlocks0 = Int(flasherReader, flasher, kDevHeader, L"Number_of_Blocks_0", 0);
    c.startAddress0 = CTimLib::ParseUInt32(Text(c.parser, blfPath, kDevHeader, L"Start_Address_0", kNotAvailable));
    settings.FlasherLoadAddress = Text(c.parser, blfPath, kFlasherProperties, L"FlasherLoadAddress", kNotAvailable);
    settings.Data_Area_Size = Text(flasherReader, flasher, kDevHeader, L"Data Area Size", kNotAvailable);
    settings.Spare_Area_Size = Text(flasherReader, flasher, kDevHeader, L"Spare Area Size", kNotAvailable);

    trusted = OldBlfIsTrusted(c, blfPath);
    SetHeaderText(tim, tim.m_Version, Text(c.parser, blfPath, kTimConfiguration, L"Version", kNotAvailable));
    SetHeaderText(tim, tim.m_IssueDate, Text(c.parser, blfPath, kTimConfiguration, L"Issue Date", kNotAvailable));
    SetHeaderText(tim, tim.m_OemUniqueId, Text(c.parser, blfPath, kTimConfiguration, L"OEM UniqueID", kNotAvailable));
    SetHeaderText(tim, tim.m_ProcessorType,
                  Text(c.parser, blfPath, kTimConfiguration, L"Processor Type", kNotAvailable));
    SetHeaderText(tim, tim.m_BootFlashSignature,
                  Text(c.parser, blfPath, kTimConfiguration, L"Boot Flash Signature", kNotAvailable));
    if (trusted) {
        tim.SetVktSaveStateBackUpEntryAddress(
            Text(c.parser, blfPath, kTimConfiguration, L"VKT Save State BackUp Entry Address", kNotAvailable));
        tim.SetVktSaveStateFlashSignature(
            Text(c.parser, blfPath, kTimConfiguration, L"VKT Save State Flash Signature", kNotAvailable));
        tim.SetVktSaveStateFlashEntryAddress(
            Text(c.parser, blfPath, kTimConfiguration, L"VKT Save State Flash Entry Address", kNotAvailable));
    }
    eraseAll = Int(c.parser, blfPath, kTimConfiguration, L"Erase All Flash", 0) == 1;
    settings.Skip_Blocks_Number = Text(flasherReader, flasher, kFlasherProperties, L"Skip Block Number", L"");
    settings.Max_KXP_Split_Size =
        CTimLib::ParseUInt32(Text(flasherReader, flasher, kFlasherProperties, L"Max_KXP_Split_Size", L"0x10000000"));
    return true;
}

}  // namespace

bool CConvertedFile::Open(const std::wstring& path)
{
    m_File.emplace(platform::OpenFile(path, "wb"));
    m_Good = m_File->Get() != nullptr;
    return m_Good;
}

bool CConvertedFile::Create(const std::wstring& path)
{
    m_File.emplace(platform::CreateNewFile(path, "wb"));
    m_Good = m_File->Get() != nullptr;
    if (!m_Good) {
        ReportNameInTheWay(path);
    }
    return m_Good;
}

void CConvertedFile::Write(const std::wstring& text)
{
    if (!Good()) {
        return;
    }
    // Every line feed becomes CR LF; what stands between them is encoded
    // whole.
    m_Bytes.clear();
    m_Bytes.reserve(text.size() + text.size() / 16);
    for (size_t from = 0; from < text.size();) {
        const size_t lineFeed = std::min(text.find(L'\n', from), text.size());
        platform::AppendEncoded(m_Bytes, text.data() + from, lineFeed - from);
        if (lineFeed < text.size()) {
            m_Bytes.append("\r\n");
        }
        from = lineFeed + 1;
    }
    FILE* file = m_File->Get();
    m_Good = std::fwrite(m_Bytes.data(), 1, m_Bytes.size(), file) == m_Bytes.size() && std::fflush(file) == 0;
}

bool CConvertedFile::Close()
{
    const bool closed = m_File && m_File->Close() && m_Good;
    m_Good = false;
    return closed;
}

namespace {

// Marks the parser as reading its own converted copy for one parse, also
// when the parse raises.
class ConvertedCopyParse {
public:
    explicit ConvertedCopyParse(CBlfParser& parser) : m_Parser(parser) { m_Parser.m_bConvertedCopy = true; }
    ~ConvertedCopyParse() { m_Parser.m_bConvertedCopy = false; }
    ConvertedCopyParse(const ConvertedCopyParse&) = delete;
    ConvertedCopyParse& operator=(const ConvertedCopyParse&) = delete;

private:
    CBlfParser& m_Parser;
};

}  // namespace

bool ConvertAndParseOldBlf(OldBlfContext& c, const std::wstring& blfPath, uint8_t webUpgrade)
{
    // Relative image paths of the copy start from this file's folder.
    c.parser.m_OriginalBlfPath = blfPath;
    // The copy would have no key or signature sections, so its parse could
    // only fail.
    if (OldBlfIsTrusted(c, blfPath)) {
        PrintLog(L"Error: trusted layout files of the older format cannot be built: their keys are not "
                 L"converted\n");
        return false;
    }
    if (!ConvertOldBlf2New(c, blfPath)) {
        PrintLog(L"\nConvertOldBlf2New failed....\n");
        return false;
    }
    // Only this parse of the copy takes its older processor text; a layout
    // file given by the user is judged as always.
    const ConvertedCopyParse copy(c.parser);
    if (!ParseBlfFile(c.cvtBlfPath, c.parser, webUpgrade)) {
        PrintLog(L"ParseBlfFile failed for nlt07x\n");
        return false;
    }
    return true;
}

bool OldBlfIsTrusted(OldBlfContext& c, const std::wstring& blfPath)
{
    return Int(c.parser, blfPath, kTimConfiguration, L"Trusted", 0) == 1;
}

bool ConvertOldBlf2New(OldBlfContext& c, const std::wstring& blfPath)
{
    CConvertedFile out;
    // Nothing could be written: the parse of the copy must not run on a
    // missing or stale file.
    if (!out.Create(c.cvtBlfPath)) {
        PrintLog(L"Unable to write file: %s\n", c.cvtBlfPath);
        return false;
    }
    bool trusted = false;
    bool eraseAll = false;
    if (!ReadOldSettings(c, blfPath, trusted, eraseAll)) {
        return false;
    }

    // The header sections, written in one piece.
    const int32_t imageCount = Int(c.parser, blfPath, kTimConfiguration, L"Number of Images", 0);
    const int32_t keyCount = Int(c.parser, blfPath, kTimConfiguration, L"Number of Keys", 0);
    if (!CountAllowed(L"Number of Images", imageCount)) {
        return false;
    }
    out.Write(HeaderSections({c.flashSettings, c.oldBlfTimDescriptor, c.numberOfBlocks0, c.startAddress0,
                              imageCount, keyCount, trusted, eraseAll}));

    // The erase-only areas, when there are any.
    const int32_t areaCount = Int(c.parser, blfPath, kEraseOnlyArea, L"Erase Area Num", 0);
    if (!CountAllowed(L"Erase Area Num", areaCount)) {
        return false;
    }
    if (areaCount > 0) {
        out.Write(EraseOnlyAreas(c, blfPath, areaCount));
    }

    if (!ParseNLT07x_ReservedData(c, blfPath)) {
        PrintLog(L"ParseNLT07x_ReservedData failed..\n");
        return false;
    }
    if (!WriteReservedDataBlock(c.oldBlfTimDescriptor, out)) {
        PrintLog(L"WriteReservedDataBlock failed..\n");
        return false;
    }
    if (!ConvertExtendedReservedDataBlock(c.parser, blfPath, out)) {
        PrintLog(L"ConvertExtendedReservedDataBlock failed..\n");
        return false;
    }

    // The image list, written one image at a time.
    std::wstring entry;
    EntryTexts texts;
    for (int32_t n = 1; n <= imageCount; ++n) {
        entry.clear();
        AppendImageListEntry(entry, c, blfPath, n, texts);
        out.Write(entry);
    }

    if (!out.Close()) {
        PrintLog(L"Unable to write file: %s\n", c.cvtBlfPath);
        return false;
    }
    return true;
}

bool ParseNLT07x_ReservedData(OldBlfContext& c, const std::wstring& blfPath)
{
    platform::Print(L"Parsing Reserved data.....\n");
    // The text the lookups read, when the reader holds the old file's.
    layout::LayoutStream layoutStream(c.parser.HeldText(), blfPath);
    if (!layoutStream.Readable()) {
        PrintLog(L"\nOpen blf file %s failed\n", blfPath);
        return false;
    }
    std::wistream& stream = layoutStream.Stream();
    platform::Print(L"begin to parsing reserved data\n");

    ReservedPackageList& packages = c.oldBlfTimDescriptor.m_ReservedPackages;
    packages.clear();

    uint32_t wordCount = 0;
    bool headerSeen = false;
    uint32_t declaredCount = 0;
    uint32_t packagesSeen = 0;
    CReservedPackageData* current = nullptr;
    bool sizeExpected = false;
    uint32_t remaining = 0;
    bool terminatorSeen = false;
    bool inWordList = false;

    const auto startPackage = [&](uint32_t value) {
        ++packagesSeen;
        packages.push_back(std::make_unique<CReservedPackageData>());
        current = packages.back().get();
        current->SetPackageId(CTimLib::FormatHex32(value));
        sizeExpected = true;
    };

    std::wstring line;
    while (layout::NextLine(stream, line)) {
        // Inside the list every line is a word, up to the terminator: a list
        // without one runs on to the end of the file.
        if (!inWordList) {
            if (Contains(line, L"End Reserved Data")) {
                break;
            }
            inWordList = Contains(line, L"[Reserved Data]");
            continue;
        }
        const uint32_t value = CTimLib::ParseUInt32(line);
        ++wordCount;
        if (wordCount == 1 && value == kListHeader) {
            headerSeen = true;
        } else if (!headerSeen) {
            continue;
        } else if (wordCount == 2) {
            declaredCount = value;
        } else if (IsKnownPackageId(value) && remaining == 0) {
            startPackage(value);
        } else if (value == kTerminator) {
            ++packagesSeen;
            terminatorSeen = true;
            current = nullptr;
            inWordList = false;
        } else if (current && sizeExpected) {
            // A size below the two header words wraps: the package then
            // takes every word up to the terminator.
            remaining = value - kPackageHeaderBytes;
            sizeExpected = false;
        } else if (current && remaining > 0) {
            std::wstring word = CTimLib::FormatHex32(value);
            current->AddData(word, std::wstring());
            current->AddField(L"item", std::move(word));
            remaining -= 4;
        } else if (remaining == 0) {
            startPackage(value);
        }
    }

    const std::wstring rule = kErrorRule;
    if (remaining != 0) {
        platform::Print(L"%s  Error: Package size not consistent with supplied field values.\n%s", rule, rule);
    }
    if (headerSeen && !terminatorSeen) {
        PrintLog(L"%s  Error: Terminator ID is incorrect or is missing.\n%s", rule, rule);
        return false;
    }
    if (headerSeen && packagesSeen != declaredCount) {
        platform::Print(L"%s  Error: Number of Reserved Area Packages %d does not equal the number of headers %d\n%s",
                        rule, packagesSeen, declaredCount, rule);
    }
    platform::Print(L"complete to parsing reserved data\n");
    return true;
}

bool WriteReservedDataBlock(const CTimDescriptor& oldBlfTimDescriptor, CConvertedFile& out)
{
    if (oldBlfTimDescriptor.GetReservedDataSize() == 0) {
        return out.Good();
    }
    std::wstring text;
    AddSection(text, L"Reserved_Data");
    for (const std::unique_ptr<CReservedPackageData>& package : oldBlfTimDescriptor.m_ReservedPackages) {
        AddBlockStart(text, package->m_PackageName);
        for (const CReservedPackageData::Field& field : package->m_FieldList) {
            AddLine(text, field.first, field.second);
        }
        AddBlockEnd(text, package->m_PackageName);
    }
    AddBlockEnd(text, L"Reserved_Data");
    out.Write(text);
    return out.Good();
}

bool ConvertExtendedReservedDataBlock(CBlfParser& reader, const std::wstring& blfPath, CConvertedFile& out)
{
    platform::Print(L"Parsing ExtendedReservedData\n");
    layout::LayoutStream layoutStream(reader.HeldText(), blfPath);
    if (!layoutStream.Readable()) {
        PrintLog(L"\nOpen blf file failed\n");
        return false;
    }
    std::wistream& stream = layoutStream.Stream();

    std::wstring line;
    bool found = false;
    while (!found && layout::NextLine(stream, line)) {
        found = Contains(line, L"Extended Reserved Data");
    }
    // An old file without the block gets none.
    std::wstring text;
    if (found) {
        AddSection(text, L"Extended_Reserved_Data");
    }
    while (found && layout::NextLine(stream, line)) {
        if (Contains(line, L"End Extended Reserved Data")) {
            AddBlockEnd(text, L"Extended_Reserved_Data");
            break;
        }
        const ExtendedBlock* block = nullptr;
        for (const ExtendedBlock& row : kExtendedBlocks) {
            if (Contains(line, row.start)) {
                block = &row;
                break;
            }
        }
        if (!block) {
            continue;
        }
        AddBlockStart(text, block->name);
        while (layout::NextLine(stream, line)) {
            if (Contains(line, block->end)) {
                AddBlockEnd(text, block->name);
                break;
            }
            const size_t colon = line.rfind(L':');
            if (colon != std::wstring::npos) {
                AddLine(text, line.substr(0, colon), line.substr(colon + 1));
            }
        }
    }
    out.Write(text);
    platform::Print(L"complete to parse ExtendedReservedData\n");
    return out.Good();
}

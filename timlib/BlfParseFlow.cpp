#include "timlib/BlfParseFlow.h"

#include "common/ProcessorPlatforms.h"
#include "common/Tag.h"
#include "common/TimLib.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/Format.h"
#include "common/platform/Stop.h"
#include "erd/ExtendedReservedData.h"
#include "erd/ImageMaps.h"
#include "timlib/ImageListParser.h"
#include "timlib/LayoutLookup.h"

namespace {

using namespace layout;

const wchar_t kBlfVersion[] = L"BLF_Version";
const wchar_t kFlashOptions[] = L"Flash_Options";
const wchar_t kUeOptions[] = L"UE_Options";
const wchar_t kEraseOnlyOption[] = L"EraseOnly_Option";

struct FlashFamilyRow {
    const wchar_t* family;
    int32_t code;
};

const FlashFamilyRow kFlashFamilyRows[] = {
    {L"NAND", kFlashTypeNand},
    {L"eMMC", kFlashTypeEmmc},
    {L"SPI-NOR", kFlashTypeSpiNor},
    {L"SPI-NAND", kFlashTypeSpiNand},
};

// Whether an image-maps package holds at least one map: a map asks for the
// DTIM key data.
bool HoldsImageMap(const CExtendedReservedData& erd)
{
    for (const auto& package : erd.m_Packages) {
        if (package->m_TypeId != kErdImageMaps) {
            continue;
        }
        const auto* maps = dynamic_cast<const CImageMaps*>(package.get());
        if (maps != nullptr && maps->MapCount() > 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool GetPlatFormType(int32_t& platformType, CBlfParser& parser, const std::wstring& blfPath)
{
    std::wstring processor;
    parser.GetKeyValue(kNotAvailable, processor, kTimConfiguration, L"Processor_Type", blfPath);
    const PlatformRow* row = FindPlatformByProcessor(processor);
    if (row != nullptr && !row->olderFormat) {
        platformType = row->code;
        platform::Print(row->message);
        return true;
    }

    // The new-format copy of an older-format file declares "V2.0.0" and
    // keeps the older processor text under the new key.
    std::wstring oldProcessor = processor;
    if (!parser.m_bConvertedCopy) {
        std::wstring version;
        parser.GetKeyValue(kNotAvailable, version, kBlfVersion, L"Blf_Version_Number", blfPath);
        if (Contains(version, L"V2.0.0")) {
            return false;
        }
        // Layout files of the older format name their processor with blanks.
        parser.GetKeyValue(kNotAvailable, oldProcessor, L"TIM Configuration", L"Processor Type", blfPath);
    }
    const PlatformRow& older = kPlatforms[kOldFormatPlatformType];
    for (const wchar_t* text : older.processors) {
        if (text != nullptr && Contains(oldProcessor, text)) {
            platformType = older.code;
            platform::Print(older.message);
            return true;
        }
    }

    platformType = kUnknownPlatformType;
    platform::Print(L"Unknown platform type\n");
    throw CZorlixexception(L"Unknown platform type");
}

bool GetFlashType(std::wstring flashFamily, int32_t& flashType)
{
    for (const FlashFamilyRow& row : kFlashFamilyRows) {
        if (flashFamily == row.family) {
            flashType = row.code;
            return true;
        }
    }
    flashType = kFlashTypeUnknown;
    platform::Print(L"Unknown flash Type to support....\n");
    throw CZorlixexception(L"Unknown flash Type to support....");
}

bool CBlfParser::ParseEraseOnlyAreas()
{
    platform::Print(L"begin to parsing Erase Only Area\n\n");
    const uint32_t count = static_cast<uint32_t>(Int(*this, kEraseOnlyOption, L"Total_Eraseonly_Areas", 0));
    if (count == 0) {
        return true;
    }
    // A negative count reads as a huge one; neither may make the reader
    // create records without bound.
    if (count > kMaxLayoutCount) {
        platform::Print(L"%s\n", CountRefusal(platform::Format(L"Total_Eraseonly_Areas = %u", count)));
        return false;
    }
    for (uint32_t i = 1; i <= count; ++i) {
        const auto key = [i](const wchar_t* name) { return platform::Format(L"%d_%s", i, name); };
        auto area = std::make_unique<EraseOnlyArea>();
        const std::wstring start =
            Text(*this, kEraseOnlyOption, key(L"Eraseonly_Area_FlashStartAddress"), kNotAvailable);
        area->FlashStartAddress = m_FlashSettings.BlfVersionFlag != 0 ? FormatHex64(StrToUInt64(start))
                                                                      : FormatHex32(ParseUInt32(start));
        area->Size = Text(*this, kEraseOnlyOption, key(L"Eraseonly_Area_Size"), kNotAvailable);
        area->Partition = Int(*this, kEraseOnlyOption, key(L"Eraseonly_Area_Partition"), -1);
        m_EraseOnlyAreas.push_back(std::move(area));
    }
    return true;
}

namespace {

void MarkChanged(CTimDescriptor& tim)
{
    tim.m_bChanged = true;
    tim.m_bDirty = true;
}

// The processor, whose family names the registers, and the platform it
// makes. False for a file that must be converted first.
bool ReadProcessor(CBlfParser& parser)
{
    CTimDescriptor& tim = parser.m_TimDescriptor;
    tim.m_ProcessorType = Text(parser, kTimConfiguration, L"Processor_Type", kNotAvailable);
    MarkChanged(tim);
    // The register names depend on the processor family; an unknown
    // processor leaves them empty, which only makes register lines count
    // for nothing.
    CExtendedReservedData& erd = tim.m_ExtendedReservedData;
    erd.m_ProcessorName = tim.m_ProcessorType;
    erd.SetProcessorType(erd.m_ProcessorName);
    return GetPlatFormType(parser.m_PlatformType, parser, parser.m_BlfPath);
}

void ReadFlashSettings(CBlfParser& parser)
{
    FlashSettings& settings = parser.m_FlashSettings;
    settings.Blf_Version_Number = Text(parser, kBlfVersion, L"Blf_Version_Number", kNotAvailable);
    const std::wstring& version = settings.Blf_Version_Number;
    if (Contains(version, L"V2.0.0") || Contains(version, L"V3.0.0")) {
        settings.BlfVersionFlag = 0;
    } else if (Contains(version, L"V2.1.0") || Contains(version, L"V2.2.0")) {
        settings.BlfVersionFlag = 1;
    }

    settings.KXP_Sector_Size = Int(parser, kFlashProperties, L"KXP_Sector_Size", -1);
    settings.Data_Area_Size = Text(parser, kFlashProperties, L"Data_Area_Size", kNotAvailable);
    settings.Spare_Area_Size = Text(parser, kFlashProperties, L"Spare_Area_Size", kNotAvailable);
    settings.Flash_Family = Text(parser, kFlashProperties, L"Flash_Family", kNotAvailable);
    GetFlashType(settings.Flash_Family, parser.m_FlashType);

    settings.Skip_Blocks_Number = Text(parser, kFlashOptions, L"Skip_Blocks_Number", L"");
    settings.Erase_All_Flash = Int(parser, kFlashOptions, L"Erase_All_Flash", 0);
    settings.UE_Boot_Option = Int(parser, kUeOptions, L"UE_Boot_Option", 0);
    settings.Reset_BBT = Int(parser, kFlashOptions, L"Reset_BBT", 0) == 1 ? 1 : 0;
    settings.Trusted = Int(parser, kTimConfiguration, L"Trusted", 0) == 1 ? 1 : 0;
    if (ReadsProductionMode(parser.m_PlatformType)) {
        settings.ProductionMode = Int(parser, kFlashOptions, L"ProductionMode", 0);
    }
    settings.Flash_NandID = static_cast<uint16_t>(U32(parser, kFlashProperties, L"Flash_NandID", kNotAvailable));
    settings.Max_KXP_Split_Size = U32(parser, kFlashProperties, L"Max_KXP_Split_Size", L"0x10000000");
    settings.Max_OTA_Image_Size = U32(parser, kFlashProperties, L"Max_OTA_Image_Size", L"0x2000000");
    settings.OTA_Image_Split_Size = Text(parser, kFlashProperties, L"OTA_Image_Split_Size", L"");
    settings.Max_Upload_Split_Size = U32(parser, kFlashProperties, L"Max_Upload_Split_Size", L"0x10000000");
    settings.Flash_Block_Size = U32(parser, kFlashProperties, L"Flash_Block_Size", L"0x20000");
}

void ReadTimHeader(CBlfParser& parser)
{
    CTimDescriptor& tim = parser.m_TimDescriptor;
    tim.m_bTrusted = parser.m_FlashSettings.Trusted == 1;
    tim.m_HeaderWords[CTimDescriptor::kWordTrusted] = tim.m_bTrusted ? 1 : 0;
    MarkChanged(tim);

    tim.m_Version = Text(parser, kTimConfiguration, L"Version", kNotAvailable);
    MarkChanged(tim);
    tim.m_IssueDate = Text(parser, kTimConfiguration, L"Issue_Date", kNotAvailable);
    MarkChanged(tim);
    tim.m_OemUniqueId = Text(parser, kTimConfiguration, L"OEM_UniqueID", kNotAvailable);
    MarkChanged(tim);
    tim.m_BootFlashSignature = Text(parser, kTimConfiguration, L"Boot_Flash_Signature", kNotAvailable);
    MarkChanged(tim);
    tim.m_HeaderWords[CTimDescriptor::kWordVersion] = CTimLib::ParseUInt32(tim.m_Version);
    tim.m_HeaderWords[CTimDescriptor::kWordIssueDate] = CTimLib::ParseUInt32(tim.m_IssueDate);
    tim.m_HeaderWords[CTimDescriptor::kWordOemId] = CTimLib::ParseUInt32(tim.m_OemUniqueId);
}

// The extended reserved data of the layout text.
bool ReadExtendedReservedData(CBlfParser& parser)
{
    CExtendedReservedData& erd = parser.m_TimDescriptor.m_ExtendedReservedData;
    LayoutStream layoutStream(parser.HeldText(), parser.m_BlfPath);
    if (!layoutStream.Readable()) {
        platform::Print(L"Parsing ExtendedReservedData\n");
        platform::Print(L"\nOpen blf file failed\n");
    }
    if (!layoutStream.Readable() || !ParseExtendedReservedData(layoutStream.Stream(), erd)) {
        platform::Print(L"ParseExtendedReservedData failed\n");
        return false;
    }
    if (erd.Size() > 0 && HoldsImageMap(erd)) {
        parser.m_bDtimNeeded = 1;
    }
    return true;
}

bool ReadReservedData(CBlfParser& parser)
{
    if (!parser.ParseReservedData()) {
        platform::Print(L"ParseReservedData failed\n");
        return false;
    }
    parser.m_FlashSettings.BbcsEnabled = parser.m_bBbcsEnabled;
    parser.m_FlashSettings.CrcsEnabled = parser.m_bCrcsEnabled;
    return ReadExtendedReservedData(parser);
}

// The save-state words, and the key sections of a trusted file.
void ReadTrust(CBlfParser& parser)
{
    CTimDescriptor& tim = parser.m_TimDescriptor;
    if (parser.m_FlashSettings.Trusted == 1) {
        tim.SetVktSaveStateBackUpEntryAddress(
            Text(parser, kTimConfiguration, L"VKT_Save_State_BackUp_Entry_Address", kNotAvailable));
        tim.SetVktSaveStateFlashSignature(
            Text(parser, kTimConfiguration, L"VKT_Save_State_Flash_Signature", kNotAvailable));
        tim.SetVktSaveStateFlashEntryAddress(
            Text(parser, kTimConfiguration, L"VKT_Save_State_Flash_Entry_Address", kNotAvailable));
        parser.ParseKeySections();
    } else if (const PlatformRow* row = FindPlatform(parser.m_PlatformType); row && row->untrustedSaveStateAllOnes) {
        tim.SetVktSaveStateBackUpEntryAddress(L"0xffffffff");
        tim.SetVktSaveStateFlashSignature(L"0xffffffff");
        tim.SetVktSaveStateFlashEntryAddress(L"0xffffffff");
    }
}

// The header words that follow from everything read.
void CompleteHeaderWords(CBlfParser& parser)
{
    CTimDescriptor& tim = parser.m_TimDescriptor;
    uint32_t* words = tim.m_HeaderWords;
    if (parser.m_FlashSettings.Trusted == 0) {
        words[CTimDescriptor::kWordNumberOfKeys] = 0;
    }
    words[CTimDescriptor::kWordIdentifier] = TagValue("TIMH");
    const uint32_t extendedSize = tim.m_ExtendedReservedData.Size();
    const uint32_t reservedSize = tim.GetReservedDataSize();
    words[CTimDescriptor::kWordReservedDataSize] =
        (reservedSize == 0 && extendedSize != 0) ? extendedSize + 16 : extendedSize + reservedSize;
    words[CTimDescriptor::kWordBootFlashSignature] = CTimLib::ParseUInt32(tim.m_BootFlashSignature);
    words[CTimDescriptor::kWordSaveStateFlashSignature] = CTimLib::ParseUInt32(tim.m_VktSaveStateFlashSignature);
    words[CTimDescriptor::kWordSaveStateFlashEntryAddress] =
        CTimLib::ParseUInt32(tim.m_VktSaveStateFlashEntryAddress);
    words[CTimDescriptor::kWordSaveStateBackUpEntryAddress] =
        CTimLib::ParseUInt32(tim.m_VktSaveStateBackUpEntryAddress);
    words[CTimDescriptor::kWordReserved1] = 0xFFFFFFFFu;
    words[CTimDescriptor::kWordReserved2] = 0xFFFFFFFFu;
}

}  // namespace

bool ParseBlfFile(const std::wstring& blfPath, CBlfParser& parser, uint8_t webUpgrade)
{
    parser.Reset();
    parser.m_bWebUpgrade = webUpgrade;
    platform::Print(L"\nParsing Blf file: %s\n", blfPath);
    parser.m_BlfPath = blfPath;

    if (!ReadProcessor(parser)) {
        return false;
    }
    ReadFlashSettings(parser);
    ReadTimHeader(parser);
    if (!ReadReservedData(parser)) {
        return false;
    }
    ReadTrust(parser);
    if (!parser.ParseEraseOnlyAreas()) {
        return false;
    }
    if (!ParseImageInfo(parser)) {
        platform::Print(L"\nParseImageInfo failed\n");
        return false;
    }
    CompleteHeaderWords(parser);
    // A stop that came after the last lookup, in a step that reads the
    // text without lookups, fails the parse too.
    if (platform::StopRequested()) {
        layout::FailStopped();
    }
    platform::Print(L"complete to parsing blf file\n\n");
    return true;
}

#include "timlib/ReservedDataSection.h"

#include <memory>
#include <sstream>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "timlib/BlfParser.h"
#include "timlib/LayoutLookup.h"

namespace {

const wchar_t kBlockBegin[] = L"[Reserved_Data]";
const wchar_t kBlockEnd[] = L"[End_Reserved_Data]";
const wchar_t kEnabled[] = L"Enabled";

struct PackageTag {
    const wchar_t* tag;
    uint32_t id;
};

// Compared in this order, each with the whole line.
const PackageTag kPackageTags[] = {
    {L"ERAS", 0x45524153u},
    {L"AUTOBIND", 0x42494E44u},
    {L"DDRID", 0x44447248u},
    {L"ESCAPESEQUENCE_V2", 0x45537632u},
    {L"ESCAPE_SEQUENCE", 0x45534353u},
    {L"GPIOID", 0x4750494Fu},
    {L"CUST", 0x43555354u},
    {L"NOFC", 0x4E4F4643u},
    {L"NOKD", 0x4E4F4B44u},
    {L"RESUMEBLID", 0x5265736Du},
    {L"TBR_XFER", 0x54425258u},
    {L"UARTID", 0x55415254u},
    {L"USBID", 0x00555342u},
    {L"COREID", 0x434F5245u},
    {L"USB_CONFIG_DESCRIPTOR", 0x55534201u},
    {L"USB_DEFAULT_STRING_DESCRIPTOR", 0x55534208u},
    {L"USB_DEVICE_DESCRIPTOR", 0x55534200u},
    {L"USB_ENDPOINT_DESCRIPTOR", 0x55534209u},
    {L"USB_INTERFACE_DESCRIPTOR", 0x55534202u},
    {L"USB_INTERFACE_STRING_DESCRIPTOR", 0x55534207u},
    {L"USB_LANGUAGE_STRING_DESCRIPTOR", 0x55534203u},
    {L"USB_MANUFACTURER_STRING_DESCRIPTOR", 0x55534204u},
    {L"USB_PRODUCT_STRING_DESCRIPTOR", 0x55534205u},
    {L"USB_SERIAL_STRING_DESCRIPTOR", 0x55534206u},
    {L"USB_VENDORREQ", 0x56524551u},
    {L"NOMONITORID", 0x4E4F4D43u},
    {L"Clock_Enable", 0x434C4B45u},
    {L"Configure_Memory_Control", 0x434D4343u},
    {L"DDR_Geometry", 0x44445247u},
    {L"DDR_Timing", 0x44445254u},
    {L"DDR_Custom", 0x44445243u},
    {L"Frequency", 0x46524551u},
    {L"OpDiv", 0x4F504456u},
    {L"OpMode", 0x4D4F4445u},
    {L"Trust_Zone", 0x545A4944u},
    {L"Trust_Zone_Regid", 0x545A4F4Eu},
    {L"Voltages", 0x564F4C54u},
    {L"PROI", 0x50524F49u},
    {L"FUNC", 0x46554E43u},
    {L"TRFU", 0x54524655u},
    {L"OTAI", 0x4F544149u},
    {L"DTYP", 0x44545950u},
    {L"LTWS", 0x4C545753u},
    {L"DDBS", 0x44444253u},
    {L"DDR_Flash_Mcp_Map", 0x44464D50u},
    {L"CITA_CUMIZED_INFO_TRANSFER_TOAP_ID", 0x43495441u},
    {L"BBMT", 0x42424D54u},
    {L"FGPI", 0x46475049u},
    {L"BBCS", 0x42424353u},
    {L"CRCS", 0x43524353u},
};

constexpr uint32_t kBbcsId = 0x42424353u;
constexpr uint32_t kCrcsId = 0x43524353u;
constexpr uint32_t kCitaId = 0x43495441u;
// A CITA package always ends with its closing pair at words 64 and 65.
constexpr size_t kCitaMinimumFields = 65;

const PackageTag* FindTag(const std::wstring& line)
{
    for (const PackageTag& row : kPackageTags) {
        if (line == row.tag) {
            return &row;
        }
    }
    return nullptr;
}

void OpenOrFail(const std::wstring& path, std::wistringstream& stream)
{
    if (!layout::OpenLayoutStream(path, stream)) {
        platform::Print(L"\nOpen blf file failed\n");
        throw CZorlixexception(L"Open blf file failed in ParseReservedData");
    }
}

// The value of an "... Enabled ... = value" line, comment included; false
// for a line that is not one.
bool ReadEnabledLine(const std::wstring& line, uint32_t& value)
{
    std::wstring name;
    std::wstring text;
    if (!layout::Contains(line, kEnabled) || !CTimLib::SplitNameValue(name, text, line)) {
        return false;
    }
    value = CTimLib::ParseUInt32(text);
    return true;
}

}  // namespace

void ParseReservedDataLine(CReservedPackageData& package, const std::wstring& line)
{
    std::wstring name;
    std::wstring value;
    if (!CTimLib::SplitNameValue(name, value, line)) {
        return;
    }
    const size_t semicolon = value.find(L';');
    if (semicolon != std::wstring::npos) {
        std::wstring comment = value.substr(semicolon + 1);
        CTimLib::Trim(comment);
        // The blanks before the ';' stay with the value.
        value.erase(semicolon);
        package.SetFieldComment(name, comment);
    }
    package.AddData(value, std::wstring());
    package.AddField(name, value);
}

bool CBlfParser::ParseReservedData()
{
    platform::Print(L"Parsing Reserved data.....\n");
    std::wistringstream stream;
    OpenOrFail(m_BlfPath, stream);

    std::wstring line;
    bool inBlock = false;
    while (layout::NextLine(stream, line)) {
        if (!inBlock) {
            inBlock = line == kBlockBegin;
            continue;
        }
        if (line == kBlockEnd) {
            inBlock = false;
            continue;
        }
        const PackageTag* tag = FindTag(line);
        if (tag == nullptr) {
            continue;
        }

        // The package counts from its tag line on, even when no data line
        // or end line follows.
        m_TimDescriptor.m_ReservedPackages.push_back(std::make_unique<CReservedPackageData>());
        CReservedPackageData& package = *m_TimDescriptor.m_ReservedPackages.back();
        package.SetPackageId(FormatHex32(tag->id));

        uint8_t* enabledFlag = nullptr;
        if (tag->id == kBbcsId) {
            enabledFlag = &m_bBbcsEnabled;
        } else if (tag->id == kCrcsId) {
            enabledFlag = &m_bCrcsEnabled;
        }
        // A package whose end line never comes takes every line after it.
        const std::wstring endLine = std::wstring(L"End_") + tag->tag;
        while (layout::NextLine(stream, line) && line != endLine) {
            uint32_t enabled = 0;
            if (enabledFlag != nullptr && ReadEnabledLine(line, enabled)) {
                *enabledFlag = enabled != 0 ? 1 : 0;
            }
            ParseReservedDataLine(package, line);
        }
        if (tag->id == kCitaId) {
            while (package.m_FieldList.size() < kCitaMinimumFields) {
                ParseReservedDataLine(package, L"0x00000000 = 0x00000000");
            }
        }
    }

    platform::Print(L"complete to parsing reserved data\n");
    return true;
}

uint32_t GetReservedPackageEnabled(const std::wstring& blfPath, const std::wstring& beginTag,
                                   const std::wstring& endTag)
{
    uint32_t result = 0;
    std::wistringstream stream;
    OpenOrFail(blfPath, stream);

    std::wstring line;
    bool inBlock = false;
    bool inPackage = false;
    while (layout::NextLine(stream, line)) {
        if (inPackage) {
            if (line == endTag) {
                inPackage = false;
            } else {
                ReadEnabledLine(line, result);
            }
        } else if (!inBlock) {
            inBlock = line == kBlockBegin;
        } else if (line == kBlockEnd) {
            inBlock = false;
        } else if (line == beginTag) {
            inPackage = true;
        }
    }
    return result;
}

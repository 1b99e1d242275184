#include "timlib/ReservedDataSection.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "common/Tag.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Stop.h"
#include "timlib/BlfParser.h"
#include "timlib/LayoutLookup.h"

namespace {

const wchar_t kBlockBegin[] = L"[Reserved_Data]";
const wchar_t kBlockEnd[] = L"[End_Reserved_Data]";
const wchar_t kEnabled[] = L"Enabled";

struct PackageTag {
    std::wstring_view tag;  // with its length: most lines differ in that alone
    uint32_t id;
};

// Whether the line is "End_" and the tag, looked at in place: a block's
// every line is compared.
bool IsEndLineOf(const PackageTag& tag, std::wstring_view line)
{
    constexpr std::wstring_view kEnd = L"End_";
    return line.size() >= kEnd.size() && line.substr(0, kEnd.size()) == kEnd && line.substr(kEnd.size()) == tag.tag;
}

// Compared in this order, each with the whole line, for every line of a
// block. Kept apart from the package display names: a layout file's tag
// lines are a different set of texts ("USB_CONFIG_DESCRIPTOR", the register
// categories, "ERAS").
constexpr PackageTag kPackageTags[] = {
    {L"ERAS", TagValue("ERAS")},
    {L"AUTOBIND", TagValue("BIND")},
    {L"DDRID", TagValue("DDrH")},
    {L"ESCAPESEQUENCE_V2", TagValue("ESv2")},
    {L"ESCAPE_SEQUENCE", TagValue("ESCS")},
    {L"GPIOID", TagValue("GPIO")},
    {L"CUST", TagValue("CUST")},
    {L"NOFC", TagValue("NOFC")},
    {L"NOKD", TagValue("NOKD")},
    {L"RESUMEBLID", TagValue("Resm")},
    {L"TBR_XFER", TagValue("TBRX")},
    {L"UARTID", TagValue("UART")},
    {L"USBID", TagValue("USB")},
    {L"COREID", TagValue("CORE")},
    {L"USB_CONFIG_DESCRIPTOR", TagValue("USB\x01")},
    {L"USB_DEFAULT_STRING_DESCRIPTOR", TagValue("USB\x08")},
    {L"USB_DEVICE_DESCRIPTOR", TagValue("USB\0")},
    {L"USB_ENDPOINT_DESCRIPTOR", TagValue("USB\x09")},
    {L"USB_INTERFACE_DESCRIPTOR", TagValue("USB\x02")},
    {L"USB_INTERFACE_STRING_DESCRIPTOR", TagValue("USB\x07")},
    {L"USB_LANGUAGE_STRING_DESCRIPTOR", TagValue("USB\x03")},
    {L"USB_MANUFACTURER_STRING_DESCRIPTOR", TagValue("USB\x04")},
    {L"USB_PRODUCT_STRING_DESCRIPTOR", TagValue("USB\x05")},
    {L"USB_SERIAL_STRING_DESCRIPTOR", TagValue("USB\x06")},
    {L"USB_VENDORREQ", TagValue("VREQ")},
    {L"NOMONITORID", TagValue("NOMC")},
    {L"Clock_Enable", TagValue("CLKE")},
    {L"Configure_Memory_Control", TagValue("CMCC")},
    {L"DDR_Geometry", TagValue("DDRG")},
    {L"DDR_Timing", TagValue("DDRT")},
    {L"DDR_Custom", TagValue("DDRC")},
    {L"Frequency", TagValue("FREQ")},
    {L"OpDiv", TagValue("OPDV")},
    {L"OpMode", TagValue("MODE")},
    {L"Trust_Zone", TagValue("TZID")},
    {L"Trust_Zone_Regid", TagValue("TZON")},
    {L"Voltages", TagValue("VOLT")},
    {L"PROI", TagValue("PROI")},
    {L"FUNC", TagValue("FUNC")},
    {L"TRFU", TagValue("TRFU")},
    {L"OTAI", TagValue("OTAI")},
    {L"DTYP", TagValue("DTYP")},
    {L"LTWS", TagValue("LTWS")},
    {L"DDBS", TagValue("DDBS")},
    {L"DDR_Flash_Mcp_Map", TagValue("DFMP")},
    {L"CITA_CUMIZED_INFO_TRANSFER_TOAP_ID", TagValue("CITA")},
    {L"BBMT", TagValue("BBMT")},
    {L"FGPI", TagValue("FGPI")},
    {L"BBCS", TagValue("BBCS")},
    {L"CRCS", TagValue("CRCS")},
};

constexpr uint32_t kBbcsId = TagValue("BBCS");
constexpr uint32_t kCrcsId = TagValue("CRCS");
constexpr uint32_t kCitaId = TagValue("CITA");
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

[[noreturn]] void FailOpen()
{
    platform::Print(L"\nOpen blf file failed\n");
    throw CZorlixexception(L"Open blf file failed in ParseReservedData");
}

void FailUnreadable(const layout::LayoutStream& stream)
{
    if (!stream.Readable()) {
        FailOpen();
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
    package.AddField(std::move(name), std::move(value));
}

bool CBlfParser::ParseReservedData()
{
    platform::Print(L"Parsing Reserved data.....\n");
    layout::LayoutStream layoutStream(HeldText(), m_BlfPath);
    FailUnreadable(layoutStream);
    std::wistream& stream = layoutStream.Stream();

    std::wstring line;
    bool inBlock = false;
    while (inBlock ? layout::NextLine(stream, line) : layout::NextLineHolding(stream, kBlockBegin, line)) {
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
        while (layout::NextLine(stream, line) && !IsEndLineOf(*tag, line)) {
            uint32_t enabled = 0;
            if (enabledFlag != nullptr && ReadEnabledLine(line, enabled)) {
                *enabledFlag = enabled != 0 ? 1 : 0;
            }
            ParseReservedDataLine(package, line);
        }
        if (tag->id == kCitaId) {
            static const std::wstring kZeroField = L"0x00000000 = 0x00000000";
            while (package.m_FieldList.size() < kCitaMinimumFields) {
                ParseReservedDataLine(package, kZeroField);
            }
        }
    }

    platform::Print(L"complete to parsing reserved data\n");
    return true;
}

uint32_t GetReservedPackageEnabled(const std::wstring& blfPath, const std::wstring& beginTag, const std::wstring& endTag,
                                   std::shared_ptr<const layout::LayoutText> text)
{
    uint32_t result = 0;
    if (platform::StopRequested()) {
        throw CZorlixexception(L"Reading the blf file stopped");
    }
    layout::LayoutStream layoutStream(std::move(text), blfPath);
    FailUnreadable(layoutStream);
    layout::TextStream& stream = layoutStream.Stream();

    std::wstring line;
    bool inBlock = false;
    bool inPackage = false;
    while (inBlock || inPackage ? layout::NextLine(stream, line)
                                : layout::NextLineHolding(stream, kBlockBegin, line)) {
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

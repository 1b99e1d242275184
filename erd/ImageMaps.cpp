#include "erd/ImageMaps.h"

#include <memory>
#include <ostream>
#include <vector>

#include "common/LayoutLines.h"
#include "common/platform/Format.h"
#include "erd/LayoutText.h"
#include "erd/ReservedPackageData.h"

namespace {

using erd::Contains;

constexpr wchar_t kCountName[] = L"NUM_MAPS";

struct ImageType {
    std::wstring name;
    uint32_t id;
};

constexpr uint32_t kFirstCustomType = 10;  // "CUSTMOZIEDIMAGE_TYPE1"
constexpr uint32_t kCustomTypeNames = 20;
constexpr wchar_t kCustomTypePrefix[] = L"CUSTMOZIEDIMAGE_TYPE";

// The names of the image types, as the layout files spell them; ids 4 to 9
// have none.
const std::vector<ImageType>& ImageTypes()
{
    static const std::vector<ImageType> types = [] {
        std::vector<ImageType> made = {
            {L"PRIMARYIMAGE", 0},
            {L"RECOVERYIMAGE", 1},
            {L"CPIMAGE", 2},
            {L"PPSETINGIMAG", 3},
        };
        for (uint32_t n = 1; n <= kCustomTypeNames; ++n) {
            made.push_back({kCustomTypePrefix + std::to_wstring(n), kFirstCustomType - 1 + n});
        }
        return made;
    }();
    return types;
}

// The name Write gives a type number.
std::wstring ImageTypeName(uint32_t type)
{
    if (type >= kFirstCustomType) {
        return kCustomTypePrefix + std::to_wstring(type - (kFirstCustomType - 1));
    }
    for (const ImageType& known : ImageTypes()) {
        if (known.id == type) {
            return known.name;
        }
    }
    return L"UNKNOWN";
}

const wchar_t* const kMapFieldNames[CImageMapInfo::kFieldCount] = {
    L"Image_ID", L"Image_Type", L"Flash_Address_Lo", L"Flash_Address_Hi", L"Partition", L"Enable",
};
const wchar_t* const kMapDefaults[CImageMapInfo::kFieldCount] = {
    L"0", L"PRIMARY", L"0xFFFFFFFF", L"0xFFFFFFFF", L"0", L"1",
};
// The comments of the five packed words; the enable flag is not packed.
const wchar_t* const kMapWordComments[CImageMapInfo::kEnable] = {
    L"Image_ID", L"Type_ID", L"Flash_Address_Lo", L"Flash_Address_Hi", L"Partition",
};

// The field a line of a map block fills: the first field name the line
// contains, in field order; kFieldCount for none.
size_t MapFieldOfLine(const std::wstring& line)
{
    size_t field = 0;
    while (field < CImageMapInfo::kFieldCount && !Contains(line, kMapFieldNames[field])) {
        ++field;
    }
    return field;
}

// The package's field lists may have been changed from outside; a missing
// entry reads as empty.
const std::wstring& At(const std::vector<std::wstring>& texts, size_t index)
{
    static const std::wstring empty;
    return index < texts.size() ? texts[index] : empty;
}

// Reads one map's lines up to its end line. Null when the package's end
// line or the end of the text comes first: a map left open is dropped.
std::unique_ptr<CImageMapInfo> ReadMap(std::wistream& stream, const std::wstring& endMaps)
{
    const std::wstring& endMap = ErdEndKeyword(kErdImageMapInfo);
    auto map = std::make_unique<CImageMapInfo>();
    std::wstring line;
    while (layout::NextLine(stream, line)) {
        if (Contains(line, endMap)) {
            return map;
        }
        if (Contains(line, endMaps)) {
            break;
        }
        std::wstring name;
        std::wstring value;
        const size_t field = MapFieldOfLine(line);
        if (field != CImageMapInfo::kFieldCount && CTimLib::SplitNameValue(name, value, line)) {
            map->m_FieldValues[field] = field == CImageMapInfo::kImageType ? CImageMaps::ImageTypeId(value) : value;
        }
    }
    return nullptr;
}

}  // namespace

// ----------------------------------------------------------------- one map

CImageMapInfo::CImageMapInfo() : CErdClass(kFieldCount)
{
    for (size_t i = 0; i < kFieldCount; ++i) {
        m_FieldNames[i] = kMapFieldNames[i];
        m_FieldValues[i] = kMapDefaults[i];
    }
}

bool CImageMapInfo::Write(std::wostream& stream, bool /*flag*/)
{
    erd::WriteText(stream, BeginKeyword() + L"\n" + EndKeyword() + L"\n");
    return stream.good();
}

uint32_t CImageMapInfo::Size() const
{
    return 4 * static_cast<uint32_t>(m_FieldValues.size());
}

uint32_t CImageMapInfo::AddToPackage(CReservedPackageData& package) const
{
    for (size_t i = 0; i < kEnable; ++i) {
        package.AddData(At(m_FieldValues, i), kMapWordComments[i]);
    }
    return Size();
}

bool CImageMapInfo::WriteValues(std::wostream& stream) const
{
    if (m_FieldValues.size() != m_FieldCount) {
        return false;
    }
    for (const std::wstring& value : m_FieldValues) {
        stream << ParseUInt32(value);
    }
    return stream.good();
}

// ----------------------------------------------------------------- the package

CImageMaps::CImageMaps(const CImageMaps& other) : CErdClass(other)
{
    SetCountField();
}

CImageMaps& CImageMaps::operator=(const CImageMaps& other)
{
    if (this != &other) {
        CPackageSet::operator=(other);
        SetCountField();
    }
    return *this;
}

void CImageMaps::SetCountField()
{
    if (m_FieldCount == 0) {
        return;
    }
    m_FieldNames[0] = kCountName;
    m_FieldValues[0] = FormatHex32(MapCount());
}

void CImageMaps::Reset()
{
    CErdBase::Reset();
    m_Children.clear();
}

uint32_t CImageMaps::MapCount() const
{
    return static_cast<uint32_t>(m_Children.size());
}

uint32_t CImageMaps::Size() const
{
    return 12 + 20 * MapCount();
}

std::wstring CImageMaps::ImageTypeId(const std::wstring& text)
{
    const ImageType* best = nullptr;
    for (const ImageType& type : ImageTypes()) {
        if (Contains(text, type.name) && (best == nullptr || type.name.size() > best->name.size())) {
            best = &type;
        }
    }
    return best ? platform::Format(L"0x%X", best->id) : text;
}

bool CImageMaps::Parse(std::wistream& stream, std::wstring line)
{
    const std::wstring& endMaps = EndKeyword();
    const std::wstring& beginMap = ErdBeginKeyword(kErdImageMapInfo);
    // Everything before the count line is skipped, maps included.
    do {
        if (!layout::NextLine(stream, line) || Contains(line, endMaps)) {
            return true;
        }
    } while (!Contains(line, kCountName));
    std::wstring name;
    std::wstring value;
    if (m_FieldCount > 0 && SplitNameValue(name, value, line)) {
        m_FieldValues[0] = value;
    }
    while (layout::NextLine(stream, line) && !Contains(line, endMaps)) {
        if (!Contains(line, beginMap)) {
            continue;
        }
        std::unique_ptr<CImageMapInfo> map = ReadMap(stream, endMaps);
        if (map == nullptr) {
            return true;
        }
        m_Children.push_back(std::move(map));
    }
    return true;
}

bool CImageMaps::Write(std::wostream& stream, bool flag)
{
    const std::wstring& beginMap = ErdBeginKeyword(kErdImageMapInfo);
    const std::wstring& endMap = ErdEndKeyword(kErdImageMapInfo);
    std::wstring text = BeginKeyword() + L"\n";
    text += platform::Format(L"%s = %d\n", At(m_FieldNames, 0), MapCount());
    int k = 0;
    for (const auto& map : m_Children) {
        ++k;
        const std::vector<std::wstring>& names = map->m_FieldNames;
        const std::vector<std::wstring>& values = map->m_FieldValues;
        text += platform::Format(L"%d_%s\n", k, beginMap);
        text += platform::Format(L"%d_%s = %s\n", k, At(names, CImageMapInfo::kImageId),
                                 At(values, CImageMapInfo::kImageId));
        text += platform::Format(L"%d_%s = %s\n", k, At(names, CImageMapInfo::kImageType),
                                 ImageTypeName(ParseUInt32(At(values, CImageMapInfo::kImageType))));
        for (size_t field : {CImageMapInfo::kFlashAddressLo, CImageMapInfo::kFlashAddressHi,
                             CImageMapInfo::kPartition}) {
            text += platform::Format(L"%d_%s = %s\n", k, At(names, field), At(values, field));
        }
        text += platform::Format(L"%d_%s = %s\n", k, At(names, CImageMapInfo::kEnable),
                                 flag ? At(values, CImageMapInfo::kEnable) : std::wstring(L"1"));
        text += platform::Format(L"%d_%s\n", k, endMap);
    }
    text += EndKeyword() + L"\n";
    erd::WriteText(stream, text);
    return stream.good();
}

bool CImageMaps::WriteValues(std::wostream& stream) const
{
    if (m_FieldValues.size() != m_FieldCount || m_FieldCount == 0) {
        return false;
    }
    stream << PackageId() << Size() << ParseUInt32(m_FieldValues[0]);
    for (const auto& map : m_Children) {
        if (!map->WriteValues(stream)) {
            return false;
        }
    }
    return stream.good();
}

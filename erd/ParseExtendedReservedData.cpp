// The reader of the "[Extended_Reserved_Data]" blocks: register-category
// blocks become records, package keywords create packages that read their
// own lines.
#include <cstddef>
#include <memory>
#include <string>

#include "common/ErdCategoryNames.h"
#include "common/LayoutLines.h"
#include "common/platform/Console.h"
#include "erd/ConsumerId.h"
#include "erd/ExtendedReservedData.h"

namespace {

using layout::Contains;

using Erd = CExtendedReservedData;

const wchar_t kBlockBegin[] = L"[Extended_Reserved_Data]";
const wchar_t kBlockEnd[] = L"End_Reserved_Data";
// The closing line the project's own converter writes; it does not contain
// kBlockEnd, and without it the block would run on through the sections
// after it.
const wchar_t kExtendedBlockEnd[] = L"End_Extended_Reserved_Data";

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

// A closing line that reaches the package tests. When its package reads
// nothing itself ("End_AutoBind", "End GpioSet") it closes that package's
// block and must not open a second one; any other is stray and opens its
// package, which then reads on as from an opening line.
bool IsClosingLine(const std::wstring& line)
{
    return StartsWith(line, L"End_") || StartsWith(line, L"End ") || StartsWith(line, L"END_");
}

// The name table and list of each register category, in the order a line
// is tested against them ("Trust_Zone_Regid" before "Trust_Zone"). The
// "DDR_Custom" row also names the Rhevo family's table and list.
struct Category {
    const wchar_t* name;
    NameTable Erd::*names;
    RegisterList Erd::*list;
    NameTable Erd::*rhevoNames;
    RegisterList Erd::*rhevoList;
};

const Category kCategories[] = {
    {kClockEnable, &Erd::m_ClockEnableNames, &Erd::m_ClockEnableList, nullptr, nullptr},
    {kDdrGeometry, &Erd::m_SdramSpecNames, &Erd::m_DdrGeometryList, nullptr, nullptr},
    {kDdrTiming, &Erd::m_SdramSpecNames, &Erd::m_DdrTimingList, nullptr, nullptr},
    {kDdrCustom, &Erd::m_DdrCustomNames, &Erd::m_DdrCustomList, &Erd::m_DdrCustomNlt07xNames,
     &Erd::m_DdrCustomNlt07xList},
    {kFrequency, &Erd::m_FrequencyNames, &Erd::m_FrequencyList, nullptr, nullptr},
    {kVoltages, &Erd::m_VoltagesNames, &Erd::m_VoltagesList, nullptr, nullptr},
    {kConfigureMemoryControl, &Erd::m_CmccNames, &Erd::m_CmccList, nullptr, nullptr},
    {kTrustZoneRegid, &Erd::m_TrustZoneRegidNames, &Erd::m_TrustZoneRegidList, nullptr, nullptr},
    {kTrustZone, &Erd::m_TrustZoneNames, &Erd::m_TrustZoneList, nullptr, nullptr},
    {kOpDiv, &Erd::m_OpDivNames, &Erd::m_OpDivList, nullptr, nullptr},
    {kOpMode, &Erd::m_OpModeNames, &Erd::m_OpModeList, nullptr, nullptr},
};

const Category* FindCategory(const std::wstring& line)
{
    for (const Category& category : kCategories) {
        if (Contains(line, category.name)) {
            return &category;
        }
    }
    return nullptr;
}

// Reads the lines of one category block up to the line that names the
// category again (its closing line) or the end of the input.
void ParseCategory(std::wistream& stream, const Category& category, Erd& erd)
{
    const bool rhevo = category.rhevoNames != nullptr && erd.UsesRhevoDdrCustom();
    const NameTable& names = erd.*(rhevo ? category.rhevoNames : category.names);
    RegisterList& list = erd.*(rhevo ? category.rhevoList : category.list);
    std::wstring line;
    while (layout::NextLine(stream, line)) {
        RegisterField field;
        if (Erd::FindField(line, names, field.FieldIndex, field.Value)) {
            erd.AddField(list, field);
        } else if (Contains(line, category.name)) {
            return;
        }
    }
}

// Lets the package read its block and keeps it. False when the package
// rejects its block; it is then dropped.
bool ParsePackage(std::wistream& stream, const std::wstring& line, std::unique_ptr<CErdBase> package, Erd& erd)
{
    if (!ParseErdPackage(*package, stream, line)) {
        return false;
    }
    if (auto* consumerId = dynamic_cast<CConsumerID*>(package.get())) {
        // Released only once the list holds it: a failed growth of the list
        // leaves it with its owner here.
        erd.m_ConsumerIds.emplace_back(consumerId);
        package.release();
    } else {
        erd.m_Packages.push_back(std::move(package));
    }
    return true;
}

}  // namespace

bool ParseErdPackage(CErdBase& package, std::wistream& stream, std::wstring line)
{
    return package.Parse(stream, std::move(line));
}

bool ParseExtendedReservedData(std::wistream& stream, CExtendedReservedData& erd)
{
    platform::Print(L"Parsing ExtendedReservedData\n");
    std::wstring line;
    while (layout::NextLineHolding(stream, kBlockBegin, line)) {
        while (layout::NextLine(stream, line)) {
            if (Contains(line, kBlockEnd) || Contains(line, kExtendedBlockEnd)) {
                break;
            }
            if (const Category* category = FindCategory(line)) {
                ParseCategory(stream, *category, erd);
                continue;
            }
            const ErdClassInfo* packageClass = FindErdClassOfLine(line);
            if (packageClass == nullptr) {
                continue;
            }
            std::unique_ptr<CErdBase> package = packageClass->make();
            if (IsClosingLine(line) && !package->ReadsBlock()) {
                continue;
            }
            if (!ParsePackage(stream, line, std::move(package), erd)) {
                return false;
            }
        }
    }

    platform::Print(L"\ncomplete to parse ExtendedReservedData\n");
    return true;
}

// The processor models and the platform codes of the layout files: one row
// per platform code with everything the reader and the builder decide by
// it, and the processor names of the register-name families.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

// A processor model that no row names.
inline constexpr int32_t kUnknownPlatformType = 255;
// The platform code of a layout file of the older format.
inline constexpr int32_t kOldFormatPlatformType = 0;

// How a build treats the images of a platform before it packs them.
enum class PlatformSplit : uint8_t {
    kNone,                  // neither split nor compressed
    kByCommandLine,         // split by the "-i" size
    kCompressThenByLayout,  // LZMA image types compressed, then split by OTA_Image_Split_Size
};

struct PlatformRow {
    int32_t code;
    // The platform's name; null for the codes that have none.
    const wchar_t* typeName;
    // Whole Processor_Type texts that give this code, compared exactly.
    // The row of the older format holds the texts that its "Processor Type"
    // contains; only the package index compares them exactly with
    // Processor_Type. Rows without texts are codes no processor gives.
    const wchar_t* processors[2];
    bool olderFormat;
    // Printed when the layout reader chooses the code.
    const wchar_t* message;
    // Platform_Index of the package's device header; looked up by processor
    // text only, so it counts only in rows with texts.
    uint8_t packageIndex;
    PlatformSplit split;
    // Whether the layout reader reads the keys the later platforms added:
    // see ReadsProductionMode and ReadsDtimKeys.
    bool readsLaterKeys;
    // Whether an untrusted layout file's save-state texts become all ones.
    bool untrustedSaveStateAllOnes;
};

// Row i is platform code i.
inline constexpr PlatformRow kPlatforms[] = {
    {0, L"NLT107_Old", {L"NLT07x", L"NLT07X"}, true, L"NLT07x platform type\n", 0, PlatformSplit::kNone, false, false},
    {1, L"NLT07x", {}, false, nullptr, 0, PlatformSplit::kNone, false, false},
    {2, L"Quon2", {L"NLT105"}, false, L"Quon2 platform type\n", 0, PlatformSplit::kNone, false, false},
    {3, L"Draskel", {L"NLT115"}, false, L"Draskel platform type\n", 0, PlatformSplit::kByCommandLine, false, false},
    {4, L"Halvek", {}, false, nullptr, 0, PlatformSplit::kNone, false, false},
    {5, L"Quon3x", {L"NLT111"}, false, L"Quon3 platform type\n", 0, PlatformSplit::kNone, false, false},
    {6, L"Kalder", {L"NLT116"}, false, L"Kalder platform type\n", 0, PlatformSplit::kByCommandLine, false, false},
    {7, L"Halvek_OTA", {}, false, nullptr, 0, PlatformSplit::kNone, true, false},
    {8, L"Brannoc", {L"NLT112"}, false, L"Brannoc platform type\n", 8, PlatformSplit::kNone, true, false},
    {9, L"Torvin", {L"NLT113"}, false, L"Torvin platform type\n", 9, PlatformSplit::kNone, true, false},
    {10, L"Osmar", {L"NLT122"}, false, L"Osmar platform type\n", 10, PlatformSplit::kNone, true, false},
    {11, L"Torvin_LTE", {L"NLT121"}, false, L"Torvin_LTE platform type\n", 11, PlatformSplit::kNone, true, false},
    {12, L"Kalder2", {L"NLT117"}, false, L"Kalder2 platform type\n", 12, PlatformSplit::kNone, true, false},
    {13, L"Torvin2", {L"NLT114"}, false, L"Torvin2 platform type\n", 13, PlatformSplit::kNone, true, false},
    {14, L"Osmar_A0", {L"NLT122_A0"}, false, L"Osmar_A0 platform type\n", 14, PlatformSplit::kNone, true, true},
    {15, L"Kalder3", {L"NLT118"}, false, L"Kalder3 platform type\n", 15, PlatformSplit::kCompressThenByLayout, true,
     false},
    {16, L"Vexa1", {L"NLT119"}, false, L"Vexa1 platform type\n", 16, PlatformSplit::kNone, true, false},
    {17, L"Torvin3", {L"NLT123"}, false, L"Torvin3 platform type\n", 17, PlatformSplit::kNone, true, false},
    {18, nullptr, {L"NLT124"}, false, L"Torvin4 platform type\n", 18, PlatformSplit::kNone, true, false},
    {19, nullptr, {L"NLT120"}, false, L"Vexa2 platform type\n", 19, PlatformSplit::kNone, true, false},
};

namespace platform_table_detail {

constexpr bool RowsFollowCodes()
{
    for (size_t i = 0; i < std::size(kPlatforms); ++i) {
        if (kPlatforms[i].code != static_cast<int32_t>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(RowsFollowCodes(), "row i is platform code i");

// No processor text names two codes, so no lookup depends on the order of
// the rows.
constexpr bool ProcessorTextsAreUnique()
{
    for (const PlatformRow& row : kPlatforms) {
        for (const wchar_t* text : row.processors) {
            if (text == nullptr) {
                continue;
            }
            int seen = 0;
            for (const PlatformRow& other : kPlatforms) {
                for (const wchar_t* otherText : other.processors) {
                    seen += otherText != nullptr && std::wstring_view(text) == otherText ? 1 : 0;
                }
            }
            if (seen != 1) {
                return false;
            }
        }
    }
    return true;
}
static_assert(ProcessorTextsAreUnique(), "each processor text names one platform code");

// The named codes are the leading rows.
constexpr size_t NamedCodeCount()
{
    size_t count = 0;
    while (count < std::size(kPlatforms) && kPlatforms[count].typeName != nullptr) {
        ++count;
    }
    return count;
}

constexpr std::array<const wchar_t*, NamedCodeCount()> MakeTypeNames()
{
    std::array<const wchar_t*, NamedCodeCount()> names{};
    for (size_t i = 0; i < names.size(); ++i) {
        names[i] = kPlatforms[i].typeName;
    }
    return names;
}

}  // namespace platform_table_detail

// Entry i names platform code i, as far as codes have names.
inline constexpr auto kPlatformTypeNames = platform_table_detail::MakeTypeNames();

// The row of a platform code; null for a code without one.
inline const PlatformRow* FindPlatform(int32_t code)
{
    if (code < 0 || static_cast<size_t>(code) >= std::size(kPlatforms)) {
        return nullptr;
    }
    return &kPlatforms[code];
}

// The row one of whose texts is the whole Processor_Type text, compared
// exactly; null when none is.
inline const PlatformRow* FindPlatformByProcessor(const std::wstring& processor)
{
    for (const PlatformRow& row : kPlatforms) {
        for (const wchar_t* text : row.processors) {
            if (text != nullptr && processor == text) {
                return &row;
            }
        }
    }
    return nullptr;
}

// Whether a layout file of the platform code is read for its ProductionMode
// option; false for a code without a row.
inline bool ReadsProductionMode(int32_t code)
{
    const PlatformRow* row = FindPlatform(code);
    return row != nullptr && row->readsLaterKeys;
}

// Whether a trusted layout file of the platform code has its DTIM keys read
// when an image map asks for them: the same platforms, as both came with
// the later layouts.
inline bool ReadsDtimKeys(int32_t code)
{
    return ReadsProductionMode(code);
}

// Processor models of the register-name families, in the order of the
// extended reserved data's family table.
inline constexpr const wchar_t* kProcessorNames[] = {
    L"NLT104",  L"NLT01x", L"NLT02x",      L"NLT03x",           L"NLT105",  L"NLT06x",  L"NLT07x",
    L"NLT08x",  L"NLT09x", L"NLT10x",      L"SELVA31",          L"NLT111",  L"Jexul1",  L"Varsic_PV_Jexul2",
    L"Orrimel", L"NLT112", L"NLT113",      L"NLT115",           L"NLT116",  L"NLT122",  L"NLT121",
    L"NLT117",  L"SELVA32", L"Orrimel_LTE", L"SELVA33",         L"Draskel", L"NLT118",  L"NLT119",
    L"NLT123",  L"NLT124", L"NLT120",
};

// What a build does with an older-format layout file, from its conversion
// to the reading of the converted copy; shared by the fuzzer of the
// conversion and the regression test that replays its findings.
#pragma once

#include <string>

#include "builder/OldBlfConvert.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"
#include "common/platform/Text.h"
#include "timlib/ReservedDataSection.h"
#include "tests/fuzz/FuzzInput.h"

namespace fuzzinput {

// The name of the older-format layout file an input becomes.
inline constexpr char kOldLayoutFileName[] = "old.blf";

// Writes the input's files into the folder (with writeFile(path, bytes)),
// converts the layout with the folder as the program's folder and reads the
// copy as the build does, then looks up the copy's reserved-data switches.
// Each step runs through accept(step), which decides what the step may
// raise.
template <class WriteFile, class Accept>
void ConvertOldLayout(const std::wstring& folder, const std::string& bytes, WriteFile&& writeFile, Accept&& accept)
{
    std::string layout;
    std::string flasher;
    const std::wstring layoutPath = platform::JoinPath(folder, platform::DecodeText(kOldLayoutFileName));
    if (SplitOldLayoutInput(bytes, layout, flasher)) {
        writeFile(platform::JoinPath(folder, platform::DecodeText(kFlasherFileName)), flasher);
    }
    writeFile(layoutPath, layout);

    OldBlfConversion conversion(platform::JoinPath(folder, L"Cvt_old.blf"), folder);
    accept([&] { ConvertAndParseOldBlf(conversion.context, layoutPath, 1); });
    // Also a copy whose conversion or parse failed half way: the lookups
    // read whatever stands in it.
    if (!platform::Exists(conversion.cvtBlfPath)) {
        return;
    }
    accept([&] {
        GetReservedPackageEnabled(conversion.cvtBlfPath, L"BBCS", L"End_BBCS");
        GetReservedPackageEnabled(conversion.cvtBlfPath, L"CRCS", L"End_CRCS");
    });
}

}  // namespace fuzzinput

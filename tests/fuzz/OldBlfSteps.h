// What a build does with an older-format layout file, from its conversion
// to the reading of the converted copy; shared by the fuzzer of the
// conversion and the regression test that replays its findings.
#pragma once

#include <cstdint>
#include <string>

#include "builder/OldBlfConvert.h"
#include "common/platform/Path.h"
#include "common/platform/Text.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"
#include "timlib/ReservedDataSection.h"
#include "timlib/TimDescriptor.h"
#include "tests/fuzz/FuzzInput.h"

namespace fuzzinput {

// Writes the input's files into the folder (with writeFile(path, bytes)),
// converts the layout with the folder as the program's folder and reads the
// copy as the build reads it. Each step runs through accept(step), which
// decides what the step may raise.
template <class WriteFile, class Accept>
void ConvertOldLayout(const std::wstring& folder, const std::string& bytes, WriteFile&& writeFile, Accept&& accept)
{
    std::string layout;
    std::string flasher;
    const std::wstring layoutPath = platform::JoinPath(folder, L"old.blf");
    if (SplitOldLayoutInput(bytes, layout, flasher)) {
        writeFile(platform::JoinPath(folder, platform::DecodeText(kFlasherFileName)), flasher);
    }
    writeFile(layoutPath, layout);

    CBlfParser parser;
    FlashSettings settings;
    CTimDescriptor oldTim;
    std::wstring flasherPath;
    int32_t blocks = 0;
    uint32_t startAddress = 0;
    const std::wstring cvtPath = platform::JoinPath(folder, L"Cvt_old.blf");
    OldBlfContext context{parser, settings, oldTim, flasherPath, blocks, startAddress, cvtPath, folder};
    bool converted = false;
    accept([&] { converted = ConvertOldBlf2New(context, layoutPath); });
    if (!converted) {
        return;
    }
    // The copy is read as the build reads it: as the copy of that file.
    parser.m_OriginalBlfPath = layoutPath;
    parser.m_bConvertedCopy = true;
    accept([&] {
        ParseBlfFile(cvtPath, parser, 1);
        GetReservedPackageEnabled(cvtPath, L"BBCS", L"End_BBCS");
        GetReservedPackageEnabled(cvtPath, L"CRCS", L"End_CRCS");
    });
    parser.m_bConvertedCopy = false;
}

}  // namespace fuzzinput

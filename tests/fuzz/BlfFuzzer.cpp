// libFuzzer entry for the layout-file reader: each input is written as a
// layout file into a private folder and read with a fresh parser.
#include <cstdint>
#include <string>

#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"
#include "timlib/ReservedDataSection.h"
#include "tests/fuzz/FuzzHarness.h"
#include "tests/fuzz/FuzzInput.h"

using fuzzharness::AcceptReadersFailures;

namespace {

// The layout file every input becomes; it stays in the work folder.
constexpr char kLayoutFileName[] = "layout.blf";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzharness::Quiet();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzzinput::KeepPathsInside(bytes);
    static const std::wstring blfPath = fuzzharness::WorkFolder() + L"/" + platform::DecodeText(kLayoutFileName);
    fuzzharness::WriteInputFile(blfPath, bytes);
    {
        CBlfParser parser;
        AcceptReadersFailures([&] {
            ParseBlfFile(blfPath, parser, 1);
            // The package writer reads these two flags straight from the file.
            GetReservedPackageEnabled(blfPath, L"BBCS", L"End_BBCS");
            GetReservedPackageEnabled(blfPath, L"CRCS", L"End_CRCS");
        });
        // Only an image map makes a parse read the DTIM key: read it
        // whatever the input holds.
        AcceptReadersFailures([&] { parser.ParseDtimKeyInfo(); });
    }
    fuzzharness::EmptyWorkFolder(kLayoutFileName);
    return 0;
}

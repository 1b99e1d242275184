// libFuzzer entry for the older-format conversion: each input holds an
// older-format layout file and its flasher settings file (see FuzzInput.h),
// written into a private folder, converted and read back as a build does.
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzHarness.h"
#include "tests/fuzz/OldBlfSteps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzharness::Quiet();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzzinput::ConvertOldLayout(fuzzharness::WorkFolder(), bytes, fuzzharness::WriteInputFile,
                                [](auto&& step) { fuzzharness::AcceptReadersFailures(step); });
    fuzzharness::EmptyWorkFolder(fuzzinput::kOldLayoutFileName);
    return 0;
}

// libFuzzer entry for the layout-file reader: each input is written as a
// layout file into a private folder and read with a fresh parser.
//
// Only CZorlixexception is an accepted outcome for bad input, and the
// std::out_of_range of an instruction whose values stand without angle
// brackets, which the run step reports like any standard exception. Any
// other exception is deliberately left uncaught: with no handler the runtime
// terminates at the throw, so the crash report shows where it came from.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/FileUtils.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Text.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"
#include "timlib/ReservedDataSection.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::perror(what);
    std::abort();
}

void RemoveWorkFolder();

// Made once per process with mkdtemp, so no other process shares it. Never
// destroyed: the exit handler that removes the folder still needs the name.
const std::wstring& WorkFolder()
{
    static const std::wstring* const folder = [] {
        char pattern[] = "/tmp/blf-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            Fail("mkdtemp");
        }
        const std::wstring* made = new std::wstring(platform::DecodeText(pattern));
        std::atexit(RemoveWorkFolder);
        return made;
    }();
    return *folder;
}

void RemoveWorkFolder()
{
    DeleteTempFolder(WorkFolder());
}

// Empties the folder but keeps it, and so its mkdtemp permissions.
void EmptyWorkFolder()
{
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(WorkFolder(), entries)) {
        Fail("list work folder");
    }
    for (const platform::FolderEntry& entry : entries) {
        const std::wstring path = WorkFolder() + L"/" + entry.name;
        const bool gone = entry.type == platform::EntryType::kFolder ? DeleteTempFolder(path)
                                                                     : ForceDeleteFile(path) != 0;
        if (!gone) {
            Fail("clean work folder");
        }
    }
}

void WriteLayoutFile(const std::wstring& path, const std::string& bytes)
{
    FILE* file = platform::OpenFile(path, "wb");
    if (file == nullptr) {
        Fail("create layout file");
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        Fail("write layout file");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        platform::SetMessageBoxSink([](const std::wstring&) {});
        return true;
    }();
    (void)quiet;

    std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzzinput::KeepPathsInside(bytes);
    const std::wstring blfPath = WorkFolder() + L"/layout.blf";
    WriteLayoutFile(blfPath, bytes);
    {
        CBlfParser parser;
        try {
            ParseBlfFile(blfPath, parser, 1);
            // The package writer reads these two flags straight from the file.
            GetReservedPackageEnabled(blfPath, L"BBCS", L"End_BBCS");
            GetReservedPackageEnabled(blfPath, L"CRCS", L"End_CRCS");
        } catch (const CZorlixexception&) {
            // The reader's own report of bad input.
        } catch (const std::out_of_range& e) {
            if (std::string(e.what()) != "invalid string position") {
                throw;
            }
        }
        // Only an image map makes a parse read the DTIM key: read it
        // whatever the input holds.
        try {
            parser.ParseDtimKeyInfo();
        } catch (const CZorlixexception&) {
        }
    }
    EmptyWorkFolder();
    return 0;
}

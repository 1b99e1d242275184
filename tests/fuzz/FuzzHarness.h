// What the fuzz targets share: the private work folder of a fuzzer process,
// in which each input becomes files, and the outcomes accepted for bad input.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/FileUtils.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Text.h"

namespace fuzzharness {

[[noreturn]] inline void Fail(const char* what)
{
    std::perror(what);
    std::abort();
}

void RemoveWorkFolder();

// Made once per process with mkdtemp, so no other process shares it; in
// memory (/dev/shm) where the machine has it, as every input makes and
// removes a few files, and on a disk file system that was a good part of
// each run. Never destroyed: the exit handler that removes the folder
// still needs the name.
inline const std::string& NativeWorkFolder()
{
    static const std::string* const folder = [] {
        char inMemory[] = "/dev/shm/blf-fuzz-XXXXXX";
        char onDisk[] = "/tmp/blf-fuzz-XXXXXX";
        const char* made = mkdtemp(inMemory) != nullptr ? inMemory : mkdtemp(onDisk);
        if (made == nullptr) {
            Fail("mkdtemp");
        }
        std::atexit(RemoveWorkFolder);
        return new std::string(made);
    }();
    return *folder;
}

inline const std::wstring& WorkFolder()
{
    static const std::wstring* const folder = new std::wstring(platform::DecodeText(NativeWorkFolder()));
    return *folder;
}

inline void RemoveWorkFolder()
{
    DeleteTempFolder(WorkFolder());
}

// Empties the folder but keeps it, and so its mkdtemp permissions. The
// harness's own bookkeeping goes straight to the system: it runs for every
// input, and the tool's path handling is not what is being tested here.
inline void EmptyWorkFolder()
{
    DIR* folder = opendir(NativeWorkFolder().c_str());
    if (folder == nullptr) {
        Fail("list work folder");
    }
    std::vector<std::string> subfolders;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = NativeWorkFolder() + "/" + name;
        if (unlink(path.c_str()) != 0) {
            if (errno != EISDIR) {
                Fail("clean work folder");
            }
            subfolders.push_back(name);
        }
    }
    closedir(folder);
    for (const std::string& name : subfolders) {
        if (!DeleteTempFolder(WorkFolder() + L"/" + platform::DecodeText(name))) {
            Fail("clean work folder");
        }
    }
}

inline void WriteInputFile(const std::wstring& path, const std::string& bytes)
{
    FILE* file = std::fopen(platform::EncodeText(path).c_str(), "wb");
    if (file == nullptr) {
        Fail("create input file");
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        Fail("write input file");
    }
}

// Message boxes would only repeat what the exceptions say.
inline void Quiet()
{
    static const bool quiet = [] {
        platform::SetMessageBoxSink([](const std::wstring&) {});
        return true;
    }();
    (void)quiet;
}

// Runs a step of the readers. Only CZorlixexception is an accepted outcome
// for bad input, and the std::out_of_range of an instruction whose values
// stand without angle brackets, which the run step reports like any
// standard exception. Any other exception is deliberately left uncaught:
// with no handler the runtime terminates at the throw, so the crash report
// shows where it came from.
template <class Step>
void AcceptReadersFailures(Step&& step)
{
    try {
        step();
    } catch (const CZorlixexception&) {
        // The readers' own report of bad input.
    } catch (const std::out_of_range& e) {
        if (std::string(e.what()) != "invalid string position") {
            throw;
        }
    }
}

}  // namespace fuzzharness

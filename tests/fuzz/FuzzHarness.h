// What the fuzz targets share: the private work folder of a fuzzer process,
// in which each input becomes files, and the outcomes accepted for bad input.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Empties the folder but keeps it, and so its mkdtemp permissions, and
// the file named kept: the one every input writes anew (truncating it
// costs less than making it). The harness's own bookkeeping goes straight
// to the system: it runs for every input, and the tool's path handling is
// not what is being tested here. The folder stays open for the whole
// process and is read again from its start each time, so that no input
// pays for opening it.
inline void EmptyWorkFolder(const char* kept)
{
    static DIR* const folder = [] {
        DIR* opened = opendir(NativeWorkFolder().c_str());
        if (opened == nullptr) {
            Fail("list work folder");
        }
        return opened;
    }();
    rewinddir(folder);
    std::vector<std::string> subfolders;
    std::string path = NativeWorkFolder() + "/";
    const size_t prefix = path.size();
    while (const dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || std::strcmp(name, kept) == 0) {
            continue;
        }
        path.resize(prefix);
        path += name;
        if (unlink(path.c_str()) != 0) {
            if (errno != EISDIR) {
                Fail("clean work folder");
            }
            subfolders.emplace_back(name);
        }
    }
    for (const std::string& name : subfolders) {
        if (!DeleteTempFolder(WorkFolder() + L"/" + platform::DecodeText(name))) {
            Fail("clean work folder");
        }
    }
}

inline void WriteInputFile(const std::wstring& path, const std::string& bytes)
{
    const int file = open(platform::EncodeText(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0) {
        Fail("create input file");
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(file, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("write input file");
        }
        written += static_cast<size_t>(n);
    }
    if (close(file) != 0) {
        Fail("write input file");
    }
}

// Message boxes would only repeat what the exceptions say. The console
// lines are made, encoded and written as in a run, into a stream that
// drops them: they would go to /dev/null (-close_fd_mask=1) at a system
// call each, as the output routine flushes every line, and that was a
// good part of each input's time. libFuzzer writes to standard error.
inline void Quiet()
{
    static const bool quiet = [] {
        platform::SetMessageBoxSink([](const std::wstring&) {});
        cookie_io_functions_t dropped{};
        dropped.write = [](void*, const char*, size_t size) { return static_cast<ssize_t>(size); };
        FILE* nowhere = fopencookie(nullptr, "w", dropped);
        if (nowhere == nullptr) {
            Fail("open a stream that drops its output");
        }
        stdout = nowhere;
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

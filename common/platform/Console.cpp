#include "common/platform/Console.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio_ext.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "common/platform/Text.h"

namespace platform {

namespace {

MessageBoxSink& Sink()
{
    static MessageBoxSink sink;
    return sink;
}

// Set once a write to standard output or standard error failed with EPIPE.
std::atomic<bool>& ReaderGone(FILE* stream)
{
    static std::atomic<bool> output{false};
    static std::atomic<bool> error{false};
    return stream == stderr ? error : output;
}

void WriteBytes(FILE* stream, const std::string& bytes)
{
    // A console whose reader went away (a closed pipe) is no reason to stop
    // the run: it is just not written any more, and what waits in its
    // buffer is dropped, so that no later flush tries again.
    std::atomic<bool>& gone = ReaderGone(stream);
    if (gone.load()) {
        return;
    }
    errno = 0;
    const bool written =
        (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size()) && std::fflush(stream) == 0;
    if (!written && errno == EPIPE) {
        gone.store(true);
        __fpurge(stream);
        std::clearerr(stream);
    }
}

}  // namespace

int WriteOut(const std::wstring& text)
{
    WriteBytes(stdout, EncodeText(text));
    return static_cast<int>(text.size());
}

bool HasConsole()
{
    return fcntl(1, F_GETFD) != -1;
}

HostLogFunction FindHostLogFunction()
{
    void* symbol = dlsym(RTLD_DEFAULT, "PrintZorlixLog");
    return reinterpret_cast<HostLogFunction>(symbol);
}

int ShowMessageBox(const std::wstring& text)
{
    const std::wstring shown = CutText(text, kTextBufferChars);
    if (!ReaderGone(stdout).load()) {
        std::fflush(stdout);
    }
    if (Sink()) {
        Sink()(shown);
    } else {
        WriteBytes(stderr, EncodeText(shown) + "\n");
    }
    return kMessageBoxOk;
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink)
{
    MessageBoxSink previous = Sink();
    Sink() = std::move(sink);
    return previous;
}

}  // namespace platform

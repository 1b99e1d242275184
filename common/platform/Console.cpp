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

// The room a thread's line texts keep from line to line; a longer line's
// room is given back.
constexpr size_t kKeptOutputRoom = 64 * 1024;

template <class Text>
void KeepOnlyUsualRoom(Text& text)
{
    if (text.capacity() > kKeptOutputRoom) {
        Text().swap(text);
    }
}

}  // namespace

int WriteOut(std::wstring_view text)
{
    // Every line the program prints comes through here: it is encoded into
    // a buffer of the thread's that keeps its room.
    thread_local std::string bytes;
    KeepOnlyUsualRoom(bytes);
    bytes.clear();
    AppendEncoded(bytes, text.data(), text.size());
    WriteBytes(stdout, bytes);
    return static_cast<int>(text.size());
}

std::wstring FormatLine(const wchar_t* format, const FormatArg* args, size_t count)
{
    std::wstring line;
    FormatArgsInto(line, format, args, count);
    return line;
}

int PrintArgs(const wchar_t* format, const FormatArg* args, size_t count)
{
    return WriteOut(FormatLine(format, args, count));
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

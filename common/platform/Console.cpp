#include "common/platform/Console.h"

#include <dlfcn.h>
#include <fcntl.h>

#include <cstdio>

#include "common/platform/Text.h"

namespace platform {

namespace {

MessageBoxSink& Sink()
{
    static MessageBoxSink sink;
    return sink;
}

void WriteBytes(FILE* stream, const std::string& bytes)
{
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
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
    std::fflush(stdout);
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

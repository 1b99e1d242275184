// Console output, non-blocking message boxes and the host log hook.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/platform/Format.h"

namespace platform {

// The one output routine: encodes to UTF-8, writes to standard output and
// flushes. Returns the number of characters of the text.
int WriteOut(std::wstring_view text);

// The line formatted: every line printed or logged is made here.
std::wstring FormatLine(const wchar_t* format, const FormatArg* args, size_t count);

// WriteOut of FormatLine.
int PrintArgs(const wchar_t* format, const FormatArg* args, size_t count);

template <class... A>
int Print(const wchar_t* format, const A&... args)
{
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg()};
    return PrintArgs(format, list, sizeof...(A));
}

// The process has a console when its standard output is open.
bool HasConsole();

// The host program's log function "PrintZorlixLog", when the running
// program exports one; null otherwise.
using HostLogFunction = void (*)(const wchar_t*);
HostLogFunction FindHostLogFunction();

// A message box that never blocks: standard output is flushed and the text
// (cut to a text buffer) goes to standard error with a line break.
// Returns the OK button's code.
constexpr int kMessageBoxOk = 1;
int ShowMessageBox(const std::wstring& text);

// Lets tests see message boxes; an empty function restores standard error.
// Returns the sink that was in place.
using MessageBoxSink = std::function<void(const std::wstring&)>;
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

}  // namespace platform

// Logging and message boxes shared by the whole program.
#pragma once

#include <string>

#include "common/platform/Console.h"
#include "common/platform/Format.h"

// Writes one formatted line to the console; without a console it goes to
// the hosting program's "PrintZorlixLog", or nowhere when there is none.
// Returns the characters written, or -1 when the line was dropped or cut.
int PrintLogText(const std::wstring& text);

// Formats into a text of the calling thread's, which keeps its room from
// line to line, and hands it to PrintLogText.
int PrintLogArgs(const wchar_t* format, const platform::FormatArg* args, size_t count);

template <class... A>
int PrintLog(const wchar_t* format, const A&... args)
{
    const platform::FormatArg list[] = {platform::MakeFormatArg(args)..., platform::FormatArg()};
    return PrintLogArgs(format, list, sizeof...(A));
}

// Shows the formatted text (cut to 1023 characters) in a message box and
// returns the box's result.
int MessageBoxText(const std::wstring& text);

template <class... A>
int MessageBoxPrintf(const wchar_t* format, const A&... args)
{
    return MessageBoxText(platform::Format(format, args...));
}

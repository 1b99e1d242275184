#include "common/Print.h"

int PrintLogText(const std::wstring& text)
{
    if (platform::HasConsole()) {
        return platform::WriteOut(text);
    }
    const platform::HostLogFunction host = platform::FindHostLogFunction();
    if (!host) {
        return -1;
    }
    // The host receives at most one text buffer's worth, like the console
    // build's fixed buffer; a cut line reports -1.
    bool cut = false;
    const std::wstring line = platform::CutText(text, platform::kTextBufferChars, &cut);
    host(line.c_str());
    return cut ? -1 : static_cast<int>(line.size());
}

int PrintLogArgs(const wchar_t* format, const platform::FormatArg* args, size_t count)
{
    return PrintLogText(platform::FormatLine(format, args, count));
}

int MessageBoxText(const std::wstring& text)
{
    return platform::ShowMessageBox(platform::CutText(text, platform::kTextBufferChars));
}

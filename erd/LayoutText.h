// Small text helpers for the packages that read and write their own
// layout block.
#pragma once
#include <ostream>
#include <string>
#include "common/LayoutLines.h"

namespace erd {

using layout::Contains;

// Writes text only while the stream is in a good state, so a stream that
// failed once stays as it was; flushes in any case.
inline void WriteText(std::wostream& stream, const std::wstring& text)
{
    if (stream.good()) {
        stream << text;
    }
    stream.flush();
}

// The begin keyword line, each item's own lines up to the first item that
// fails, and the end keyword line. The last item's result; true without
// items.
template <class Items>
bool WriteBlock(std::wostream& stream, const std::wstring& beginKeyword, const Items& items,
                const std::wstring& endKeyword)
{
    WriteText(stream, beginKeyword + L"\n");
    bool result = true;
    for (const auto& item : items) {
        result = item.Write(stream, false);
        if (!result) {
            break;
        }
    }
    WriteText(stream, endKeyword + L"\n");
    return result;
}

}  // namespace erd

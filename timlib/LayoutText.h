// One layout file's text as read, with its line index. A run reads each of
// its layout files once into such an object; its parsers, block readers
// and package writer share it.
#pragma once
#include <memory>
#include <string>
#include "common/LayoutLines.h"
#include "timlib/LayoutIndex.h"

namespace layout {

struct LayoutText {
    LayoutText() = default;
    LayoutText(const LayoutText&) = delete;
    LayoutText& operator=(const LayoutText&) = delete;

    // Reads the file at path and splits its lines. Prints why and raises
    // CZorlixexception when it cannot: a stop, no memory, or a file that is
    // missing, not regular, past platform::kMaxTextFileBytes or UTF-16.
    static std::shared_ptr<const LayoutText> Read(const std::wstring& path);

    std::wstring path;
    std::wstring text;
    LineIndex lines;  // views into text
};

// A line stream over path's layout text: text when it is path's, which the
// stream then holds too; otherwise the file read anew.
class LayoutStream {
public:
    LayoutStream(std::shared_ptr<const LayoutText> text, const std::wstring& path);
    LayoutStream(const LayoutStream&) = delete;
    LayoutStream& operator=(const LayoutStream&) = delete;

    // False when the file could not be read; the stream is then empty.
    bool Readable() const { return m_Readable; }
    TextStream& Stream() { return m_Stream; }

private:
    std::shared_ptr<const LayoutText> m_Held;
    std::wstring m_Owned;
    bool m_Readable;
    TextStream m_Stream;
};

// Prints message and raises CZorlixexception with it: how a layout read
// fails.
[[noreturn]] void FailReading(const wchar_t* message);
// The same with the text that says the reading stopped: how a layout read
// ends on a stop.
[[noreturn]] void FailStopped();

}  // namespace layout

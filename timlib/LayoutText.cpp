#include "timlib/LayoutText.h"

#include <new>
#include <utility>

#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Stop.h"

namespace layout {

void FailReading(const wchar_t* message)
{
    platform::Print(L"%s\n", message);
    throw CZorlixexception(message);
}

std::shared_ptr<const LayoutText> LayoutText::Read(const std::wstring& path)
{
    if (platform::StopRequested()) {
        FailStopped();
    }
    // Only a regular file is read (a device or FIFO would never end), and
    // the reading itself stops past the limit: a size measured first may
    // not hold.
    std::shared_ptr<LayoutText> read;
    platform::TextFileStatus status = platform::TextFileStatus::kUnreadable;
    try {
        read = std::make_shared<LayoutText>();
        status = platform::ReadTextFile(path, platform::kMaxTextFileBytes, read->text);
    } catch (const std::bad_alloc&) {
        FailReading(L"Allocate memory failed");
    }
    if (status == platform::TextFileStatus::kTooLarge) {
        FailReading(platform::TooLargeFileText(path).c_str());
    }
    if (status == platform::TextFileStatus::kStopped) {
        FailStopped();
    }
    if (status == platform::TextFileStatus::kUtf16) {
        FailReading(platform::Format(L"Blf file %s is UTF-16 text; it must be saved as UTF-8", path).c_str());
    }
    if (status != platform::TextFileStatus::kRead) {
        FailReading(L"Open blf file failed");
    }
    if (!read->lines.Build(read->text)) {
        FailStopped();
    }
    read->path = path;
    return read;
}

LayoutStream::LayoutStream(std::shared_ptr<const LayoutText> text, const std::wstring& path)
    : m_Held(text != nullptr && text->path == path ? std::move(text) : nullptr),
      m_Readable(m_Held != nullptr || platform::ReadTextFile(path, m_Owned)),
      m_Stream(m_Held != nullptr ? m_Held->text : m_Owned)
{
}

void FailStopped()
{
    FailReading(L"Reading the blf file stopped");
}

}  // namespace layout

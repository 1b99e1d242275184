// What the run says of an image that is no regular file. The checks before
// the build refuse such an image; one replaced since (by a FIFO, say) is
// refused the same way where its file is opened (platform::OpenRegularFile,
// which never waits on it).
#pragma once

#include <string>

// "image file <path> is not a regular file.\n"; the run logs it after
// "Error: ".
std::wstring NotRegularImageText(const std::wstring& path);
// Logs "Error: " and that text.
void LogNotRegularImage(const std::wstring& path);
// Logs it when the code of a failed platform::OpenRegularFile says that the
// image is no regular file; whether it did. A folder is left to the
// caller's message for a failed open.
bool ReportNotRegularImage(const std::wstring& path, int code);

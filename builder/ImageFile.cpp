#include "builder/ImageFile.h"

#include "common/Print.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"

std::wstring NotRegularImageText(const std::wstring& path)
{
    return platform::Format(L"image file %s is not a regular file.\n", path);
}

void LogNotRegularImage(const std::wstring& path)
{
    PrintLog(L"Error: %s", NotRegularImageText(path));
}

bool ReportNotRegularImage(const std::wstring& path, int code)
{
    if (!platform::IsNotRegularFileError(code)) {
        return false;
    }
    LogNotRegularImage(path);
    return true;
}

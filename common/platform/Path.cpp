#include "common/platform/Path.h"

#include <cerrno>
#include <vector>

#include "common/platform/Text.h"

namespace platform {

bool IsSeparator(wchar_t c)
{
    return c == L'/' || c == L'\\';
}

bool IsAbsolutePath(const std::wstring& path)
{
    return !path.empty() && IsSeparator(path[0]);
}

size_t FindLastSeparator(const std::wstring& path)
{
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return i - 1;
        }
    }
    return std::wstring::npos;
}

std::wstring NormalizePath(const std::wstring& path)
{
    const bool absolute = IsAbsolutePath(path);
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        std::wstring segment = path.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == L".") {
            continue;
        }
        if (segment == L"..") {
            if (!parts.empty() && parts.back() != L"..") {
                parts.pop_back();
            } else if (!absolute) {
                // Nothing left to remove: a relative path has to keep it.
                parts.push_back(segment);
            }
            continue;
        }
        parts.push_back(segment);
    }

    std::wstring result = absolute ? L"/" : L"";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            result += L'/';
        }
        result += parts[i];
    }
    if (result.empty() && !path.empty()) {
        result = L".";
    }
    return result;
}

std::wstring JoinPath(const std::wstring& base, const std::wstring& rel)
{
    if (base.empty() || IsAbsolutePath(rel)) {
        return NormalizePath(rel);
    }
    return NormalizePath(base + L"/" + rel);
}

std::wstring JoinFolderAndName(const std::wstring& folder, const std::wstring& name)
{
    if (!folder.empty() && IsSeparator(folder.back())) {
        return folder + name;
    }
    return folder + L"/" + name;
}

std::wstring RootFolder()
{
    return L"/";
}

bool IsRootFolder(const std::wstring& path)
{
    return NormalizePath(path) == RootFolder();
}

std::string ToNativePath(const std::wstring& path)
{
    std::wstring slashed = path;
    for (wchar_t& c : slashed) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return EncodeText(slashed);
}

bool ToOsPath(const std::wstring& path, std::string& native)
{
    if (path.find(L'\0') != std::wstring::npos) {
        errno = EINVAL;
        return false;
    }
    native = ToNativePath(path);
    if (native.find('\0') != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    return true;
}

}  // namespace platform

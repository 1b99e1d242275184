#include "common/platform/Path.h"

#include <cerrno>
#include <string_view>
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
    // Views of the path's own segments: every file the tool opens passes
    // here, so the parts are not copied one by one.
    std::vector<std::wstring_view> parts;
    const std::wstring_view whole(path);
    size_t start = 0;
    while (start < whole.size()) {
        size_t end = start;
        while (end < whole.size() && !IsSeparator(whole[end])) {
            ++end;
        }
        const std::wstring_view segment = whole.substr(start, end - start);
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

    std::wstring result;
    result.reserve(path.size() + 1);
    if (absolute) {
        result += L'/';
    }
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
    // No other character encodes to the byte of a backslash, so the bytes
    // can be changed after the encoding.
    std::string native = EncodeText(path);
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
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

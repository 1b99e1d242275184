#include "common/platform/Path.h"

#include <cerrno>
#include <string_view>
#include <utility>

#include "common/platform/Text.h"

namespace platform {

namespace {

// The path separators: both, as layout files written on Windows use '\\'.
constexpr std::wstring_view kSeparators = L"/\\";

}  // namespace

bool IsSeparator(wchar_t c)
{
    return c == kSeparators[0] || c == kSeparators[1];
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

namespace {

// Builds a normalized path segment by segment, straight into its text:
// every file the tool opens passes here. Of the segments kept, the first
// `climbs` are "..", which only a relative path keeps.
class NormalizedPath {
public:
    explicit NormalizedPath(bool absolute, size_t sizeHint) : m_Absolute(absolute)
    {
        m_Text.reserve(sizeHint + 1);
        if (absolute) {
            m_Text += L'/';
        }
    }

    // Takes the segments of part, as if it followed those taken so far.
    void Take(std::wstring_view part)
    {
        size_t start = 0;
        while (start < part.size()) {
            size_t end = part.find_first_of(kSeparators, start);
            if (end == std::wstring_view::npos) {
                end = part.size();
            }
            const std::wstring_view segment = part.substr(start, end - start);
            start = end + 1;
            if (segment.empty() || segment == L".") {
                continue;
            }
            if (segment == L"..") {
                if (m_Kept > m_Climbs) {
                    DropLast();
                } else if (!m_Absolute) {
                    // Nothing left to remove: a relative path has to keep it.
                    Append(segment);
                    ++m_Climbs;
                }
                continue;
            }
            Append(segment);
        }
    }

    // "." for a relative path that came to nothing.
    std::wstring Result(bool anyInput) &&
    {
        if (m_Text.empty() && anyInput) {
            m_Text = L".";
        }
        return std::move(m_Text);
    }

private:
    void Append(std::wstring_view segment)
    {
        if (m_Kept > 0) {
            m_Text += L'/';
        }
        m_Text += segment;
        ++m_Kept;
    }

    void DropLast()
    {
        --m_Kept;
        if (m_Kept == 0) {
            m_Text.resize(m_Absolute ? 1 : 0);
        } else {
            m_Text.resize(m_Text.rfind(L'/'));
        }
    }

    bool m_Absolute;
    size_t m_Kept = 0;
    size_t m_Climbs = 0;
    std::wstring m_Text;
};

}  // namespace

std::wstring NormalizePath(const std::wstring& path)
{
    NormalizedPath normalized(IsAbsolutePath(path), path.size());
    normalized.Take(path);
    return std::move(normalized).Result(!path.empty());
}

std::wstring JoinPath(const std::wstring& base, const std::wstring& rel)
{
    if (base.empty() || IsAbsolutePath(rel)) {
        return NormalizePath(rel);
    }
    // As NormalizePath(base + "/" + rel), without making that text.
    NormalizedPath normalized(IsAbsolutePath(base), base.size() + 1 + rel.size());
    normalized.Take(base);
    normalized.Take(rel);
    return std::move(normalized).Result(true);
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

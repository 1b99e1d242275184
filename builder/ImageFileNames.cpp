#include "builder/ImageFileNames.h"

#include "common/FileUtils.h"

std::wstring CImageFileNames::FileNameOf(std::wstring path)
{
    StripPathToFileName(path);
    return path;
}

std::wstring CImageFileNames::Claim(const std::wstring& name)
{
    std::wstring candidate = name;
    // A leading dot belongs to the stem (".config" has no extension).
    const size_t dot = name.rfind(L'.');
    const bool hasExtension = dot != std::wstring::npos && dot > 0;
    const std::wstring stem = hasExtension ? name.substr(0, dot) : name;
    const std::wstring extension = hasExtension ? name.substr(dot) : std::wstring();
    for (unsigned n = 2; m_Taken.count(candidate) != 0; ++n) {
        candidate = stem + L"(" + std::to_wstring(n) + L")" + extension;
    }
    m_Taken.insert(candidate);
    return candidate;
}

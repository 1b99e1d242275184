// Names of the work files made from image files (split parts, compressed
// copies). They are named after the image's file name, which two images in
// different folders can share; each name is handed out once, so that no
// image's work file overwrites another's.
#pragma once

#include <set>
#include <string>

class CImageFileNames {
public:
    // The file name of an image path: the text after its last separator
    // ('/' or '\\'), the whole text when there is none.
    static std::wstring FileNameOf(std::wstring path);

    // The name itself while it is free; otherwise the first free one of
    // "stem(2).ext", "stem(3).ext", ... Either way the name is then taken.
    std::wstring Claim(const std::wstring& name);

private:
    std::set<std::wstring> m_Taken;
};

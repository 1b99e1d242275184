// Lexical path handling. Both '/' and '\\' separate segments, so paths
// written for Windows ("images\\a.bin") work unchanged; paths built here use
// '/'. A path is absolute when it starts with a separator ("X:" is an
// ordinary name).
#pragma once

#include <string>

namespace platform {

bool IsSeparator(wchar_t c);
bool IsAbsolutePath(const std::wstring& path);

// Index of the last separator, or std::wstring::npos when there is none.
size_t FindLastSeparator(const std::wstring& path);

// Drops "." and empty segments, lets ".." remove the segment before it
// (never above the root; a relative path keeps its leading ".."), and joins
// with '/'. A relative path that folds away entirely becomes "."; the empty
// path stays empty.
std::wstring NormalizePath(const std::wstring& path);

// base and rel joined and normalised; an absolute rel is only normalised.
std::wstring JoinPath(const std::wstring& base, const std::wstring& rel);

// The folder, a '/' unless the folder already ends in a separator, then the
// name: the path of an entry in that folder, spelt as given (nothing is
// normalised, so ".." in the name is not resolved here).
std::wstring JoinFolderAndName(const std::wstring& folder, const std::wstring& name);

// The root folder, and whether a path names it ("/", "\\", "/a/..").
std::wstring RootFolder();
bool IsRootFolder(const std::wstring& path);

// The bytes handed to the OS: '\\' becomes '/', then UTF-8.
std::string ToNativePath(const std::wstring& path);
// The same for a call that takes the path: false, errno EINVAL, when the
// path holds a NUL character, since the OS would see a shorter path, that
// is another file.
bool ToOsPath(const std::wstring& path, std::string& native);

}  // namespace platform

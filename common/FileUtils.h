// Where the program lives, turning relative paths into absolute ones, and
// creating, deleting, measuring and testing files and folders. Paths take
// '/' and '\\' as separators; paths built here use '/'. A path "has a drive
// part" when it is absolute, that is when it starts with a separator.
#pragma once

#include <cstdint>
#include <string>

// The running program's folder; "/" when it lives in the root folder.
std::wstring GetProgramFolder();
// The process's current folder.
std::wstring GetCurrentFolder();
// The text before the last separator ("/" for a path in the root folder);
// a path without a separator is returned whole.
std::wstring GetParentFolder(const std::wstring& path);
// Keeps only the text after the last separator.
void StripPathToFileName(std::wstring& path);

bool IsRelativePath(const std::wstring& path);
bool IsPathWithoutDrive(const std::wstring& path);

// An absolute path unchanged; otherwise base and path joined and normalised.
std::wstring CombinePathIfRelative(const std::wstring& base, const std::wstring& path);
// CombinePathIfRelative with the program's folder as base.
std::wstring GetPathInProgramFolder(const std::wstring& path);

// Resolves a relative path against the folder of baseFile (a base file
// without a folder, or with a relative one, is taken from the current
// folder). Purely lexical: the current folder is not changed and folders
// need not exist. An absolute path is left as it is. False, path unchanged,
// only when the current folder was needed and cannot be read.
bool GetAbsPath(std::wstring& path, const std::wstring& baseFile);
// Resolves a relative path against the program's folder; the empty and
// absolute paths are left as they are. False when the program's folder is
// unknown.
bool SetAbsolutePath(std::wstring& path);

// Creates the folder and every missing folder above it. Shows a message box
// and returns false when a file of that name exists or a folder cannot be
// created (folders created before stay).
bool CreateFolderTree(const std::wstring& folder);
// Shows the system's text for the error code in a message box.
void ReportCreateFolderError(int code);

// Deletes the folder with everything in it; read-only entries included.
// Symbolic links are removed, never walked. True when nothing of that name
// is left (also when there was none); the root folder is refused.
bool DeleteTempFolder(const std::wstring& folder);
// Deletes one file, read-only or not: -1 when there is nothing of that
// name, 1 when deleted, 0 when it could not be deleted.
int ForceDeleteFile(const std::wstring& path);

// The size of a regular file up to 0x7FFFFFFF bytes; false (size untouched,
// a line logged) when it cannot be opened, is no regular file (never waited
// on) or is larger.
bool GetFileSizeByPath(const std::wstring& path, uint32_t& size);
// True when the owner's write bit is clear, and when there is no such file.
bool IsReadOnlyFile(const std::wstring& path);

// Whether a file can be written in the folder (isFolder) or the file can be
// written. Leaves nothing behind and never changes an existing file's
// content. A null path passes.
bool TestWritePermission(const wchar_t* path, bool isFolder);

// Logged when something that is not a regular file stands where the run
// puts a work file ("kxp.bin", the files in the work folders) and cannot be
// removed.
inline constexpr wchar_t kNotRegularFileInTheWay[] = L"Unable to replace %s, which is not a regular file.\n";

// After a work file could not be made at the path (platform::CreateNewFile):
// logs what still stands at its name, naming it; nothing when the name is
// free, as then the file itself could not be made.
void ReportNameInTheWay(const std::wstring& path);

// Logged when a symbolic link stands where the run makes a work folder and
// cannot be removed.
inline constexpr wchar_t kLinkInPlaceOfFolder[] = L"Unable to replace %s, which is a link, by a folder.\n";
// Logged after the system's reason when a work folder could not be made.
inline constexpr wchar_t kWorkFolderNotMade[] = L"Unable to create the work folder %s.\n";

// Makes a work folder of the run, and the folders above it that are
// missing. A symbolic link standing at its name is removed first, never
// followed, so that what the run writes there lands in a folder of its
// own; a file or anything else standing there is left alone. False when the
// folder is not there afterwards; report: say once why, naming the folder
// (the message boxes of CreateFolderTree, then a line for a folder that
// could not be made).
bool CreateWorkFolder(const std::wstring& folder, bool report);

#include "common/FileUtils.h"

#include <cstdio>
#include <vector>

#include "common/Print.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"

namespace {

const wchar_t kTestFileName[] = L"zelmoraqdl_testfile";
const wchar_t kBaseFileName[] = L"Programme.exe";

// The text before the last separator; "/" when that separator is the
// leading one (the empty text would not name the root); the whole text when
// there is none.
std::wstring FolderOf(const std::wstring& path)
{
    const size_t last = platform::FindLastSeparator(path);
    if (last == std::wstring::npos) {
        return path;
    }
    if (last == 0) {
        return platform::RootFolder();
    }
    return path.substr(0, last);
}

std::wstring WithoutTrailingSeparators(const std::wstring& path)
{
    std::wstring result = path;
    while (result.size() > 1 && platform::IsSeparator(result.back())) {
        result.pop_back();
    }
    return result;
}

// Removes what is inside the folder, then the folder. Failures are left for
// the caller to see: the folder is then still there.
void DeleteTree(const std::wstring& folder)
{
    // Entries of a folder can only be listed and removed with owner rwx.
    platform::SetOwnerFullAccess(folder);
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(folder, entries);
    for (const platform::FolderEntry& entry : entries) {
        // A name holding a separator ('\\' is one to the path layer) would
        // reach another file, possibly outside the tree ("..\\x"). Leave it.
        if (platform::FindLastSeparator(entry.name) != std::wstring::npos) {
            continue;
        }
        const std::wstring child = platform::JoinFolderAndName(folder, entry.name);
        switch (entry.type) {
        case platform::EntryType::kFolder:
            DeleteTree(child);
            break;
        default:
            // A file goes with its name, whatever its mode: its mode is
            // never touched, as it may be a second name of a user's file.
            platform::RemoveFile(child);
            break;
        }
    }
    platform::RemoveFolder(folder);
}

// Creates the file, which must not exist yet ("x": never through a link
// placed there), closes it and removes it again.
bool CanCreateFile(const std::wstring& path)
{
    if (!platform::OpenedFile(platform::OpenFile(path, "w+x")).Get()) {
        return false;
    }
    platform::RemoveFile(path);
    return true;
}

void ReportFileInPlaceOfFolder(const std::wstring& folder)
{
    MessageBoxPrintf(L"File %s has exist,don't create the same name folder", folder);
}

// Creates the folder (no trailing separator) and every missing folder above
// it, outermost first. False at the first folder that cannot be made, with
// the system's error code; folders made before stay.
bool CreateMissingFolders(const std::wstring& target, int& code)
{
    std::vector<std::wstring> missing{target};
    std::wstring current = target;
    for (;;) {
        const size_t last = platform::FindLastSeparator(current);
        if (last == std::wstring::npos) {
            break;
        }
        current.erase(last);
        if (current.empty() || platform::Exists(current)) {
            break;
        }
        missing.insert(missing.begin(), current);
    }

    for (const std::wstring& name : missing) {
        if (!platform::CreateFolder(name)) {
            code = platform::LastErrorCode();
            // Made meanwhile by someone else, or a spelling of a folder made
            // just before ("a/./b" lists "a/."): nothing is missing.
            if (platform::IsAlreadyExistsError(code) && platform::IsFolder(name)) {
                continue;
            }
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring GetProgramFolder()
{
    return FolderOf(platform::GetExecutablePath());
}

std::wstring GetCurrentFolder()
{
    return platform::GetWorkingFolder();
}

std::wstring GetParentFolder(const std::wstring& path)
{
    return FolderOf(path);
}

void StripPathToFileName(std::wstring& path)
{
    const size_t last = platform::FindLastSeparator(path);
    if (last != std::wstring::npos) {
        path.erase(0, last + 1);
    }
}

bool IsRelativePath(const std::wstring& path)
{
    return !platform::IsAbsolutePath(path);
}

bool IsPathWithoutDrive(const std::wstring& path)
{
    return !platform::IsAbsolutePath(path);
}

std::wstring CombinePathIfRelative(const std::wstring& base, const std::wstring& path)
{
    if (!IsRelativePath(path)) {
        return path;
    }
    return platform::JoinPath(base, path);
}

std::wstring GetPathInProgramFolder(const std::wstring& path)
{
    return CombinePathIfRelative(GetProgramFolder(), path);
}

bool GetAbsPath(std::wstring& path, const std::wstring& baseFile)
{
    if (!IsPathWithoutDrive(path)) {
        return true;
    }
    const size_t last = platform::FindLastSeparator(baseFile);
    std::wstring baseFolder = last == std::wstring::npos ? std::wstring() : baseFile.substr(0, last + 1);
    if (!platform::IsAbsolutePath(baseFolder)) {
        const std::wstring current = platform::GetWorkingFolder();
        if (current.empty()) {
            return false;
        }
        baseFolder = platform::JoinPath(current, baseFolder);
    }
    path = platform::JoinPath(baseFolder, path);
    return true;
}

bool SetAbsolutePath(std::wstring& path)
{
    if (path.empty() || !IsPathWithoutDrive(path)) {
        return true;
    }
    const std::wstring folder = GetProgramFolder();
    if (folder.empty()) {
        return false;
    }
    return GetAbsPath(path, platform::JoinFolderAndName(folder, kBaseFileName));
}

bool CreateFolderTree(const std::wstring& folder)
{
    if (platform::Exists(folder)) {
        if (platform::IsFolder(folder)) {
            return true;
        }
        ReportFileInPlaceOfFolder(folder);
        return false;
    }
    const std::wstring target = WithoutTrailingSeparators(folder);
    int code = 0;
    if (!CreateMissingFolders(target, code)) {
        ReportCreateFolderError(code);
        return false;
    }
    return platform::Exists(target);
}

void ReportCreateFolderError(int code)
{
    const std::wstring text = platform::ErrorText(code);
    if (!text.empty()) {
        MessageBoxPrintf(L"%s:%s", L"Create Folder Failed", text);
    }
}

bool DeleteTempFolder(const std::wstring& folder)
{
    // Without the trailing separator, lstat sees a link itself rather than
    // the folder it points to.
    const std::wstring target = WithoutTrailingSeparators(folder);
    if (platform::IsRootFolder(target)) {
        return false;
    }
    switch (platform::GetEntryType(target)) {
    case platform::EntryType::kNone:
        return true;
    case platform::EntryType::kLink:
        platform::RemoveFile(target);
        break;
    case platform::EntryType::kFolder:
        DeleteTree(target);
        break;
    default:
        // Not a folder: not ours to delete.
        break;
    }
    return platform::GetEntryType(target) == platform::EntryType::kNone;
}

int ForceDeleteFile(const std::wstring& path)
{
    const platform::EntryType type = platform::GetEntryType(path);
    if (type == platform::EntryType::kNone) {
        return -1;
    }
    // Removing a name needs no write permission on the file, and the mode
    // of what may be another name's file stays as it is.
    return platform::RemoveFile(path) ? 1 : 0;
}

bool GetFileSizeByPath(const std::wstring& path, uint32_t& size)
{
    const platform::OpenedFile file(platform::OpenRegularFile(path));
    if (!file.Get()) {
        PrintLog(L"Open file %s failed when get file size.", path);
        return false;
    }
    uint64_t end = 0;
    const bool measured = platform::GetStreamEnd(file.Get(), end);
    if (!measured) {
        PrintLog(L"Seek in file %s failed when get file size.", path);
        return false;
    }
    // Sizes are 32-bit signed file positions here; a larger file must not
    // report a wrapped size.
    if (end > 0x7FFFFFFF) {
        PrintLog(L"File %s is too large to get its size.", path);
        return false;
    }
    size = static_cast<uint32_t>(end);
    return true;
}

bool IsReadOnlyFile(const std::wstring& path)
{
    return !platform::HasOwnerWriteBit(path);
}

bool TestWritePermission(const wchar_t* path, bool isFolder)
{
    if (path == nullptr) {
        return true;
    }
    const std::wstring given(path);
    if (isFolder) {
        const std::wstring testFile = platform::JoinFolderAndName(given, kTestFileName);
        if (platform::GetEntryType(testFile) != platform::EntryType::kNone) {
            // A leftover of an earlier test: removing it needs the same right.
            return platform::RemoveFile(testFile);
        }
        return CanCreateFile(testFile);
    }
    if (!platform::Exists(given)) {
        return CanCreateFile(given);
    }
    // Appending opens for writing without truncating and without needing
    // read permission; nothing is written.
    return platform::OpenedFile(platform::OpenFile(given, "a")).Get() != nullptr;
}

void ReportNameInTheWay(const std::wstring& path)
{
    switch (platform::GetEntryType(path)) {
    case platform::EntryType::kNone:
        break;
    case platform::EntryType::kFile:
        PrintLog(L"Unable to replace %s.\n", path);
        break;
    default:
        PrintLog(kNotRegularFileInTheWay, path);
        break;
    }
}

bool CreateWorkFolder(const std::wstring& folder, bool report)
{
    // Without the trailing separator, lstat sees a link itself.
    const std::wstring target = WithoutTrailingSeparators(folder);
    switch (platform::GetEntryType(target)) {
    case platform::EntryType::kFolder:
        return true;
    case platform::EntryType::kLink:
        if (!platform::RemoveFile(target)) {
            if (report) {
                PrintLog(kLinkInPlaceOfFolder, target);
            }
            return false;
        }
        break;
    case platform::EntryType::kNone:
        break;
    default:
        // Someone else's file: never removed, and the run cannot go on
        // without the folder.
        if (report) {
            ReportFileInPlaceOfFolder(target);
        }
        return false;
    }
    int code = 0;
    if (!CreateMissingFolders(target, code)) {
        if (report) {
            ReportCreateFolderError(code);
            PrintLog(kWorkFolderNotMade, target);
        }
        return false;
    }
    return true;
}

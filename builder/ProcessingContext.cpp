#include "builder/ProcessingContext.h"

#include "builder/OldBlfConvert.h"
#include "builder/VirtualFileStore.h"
#include "common/FileUtils.h"
#include "common/Print.h"
#include "common/ProcessorPlatforms.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Path.h"
#include "timlib/BlfParseFlow.h"

CProcessingContext::CProcessingContext()
{
    Reset();
    m_PlatformType = kUnknownPlatformType;
    m_bWebUpgrade = 0;
}

void CProcessingContext::SetProgramFolder(const std::wstring& folder)
{
    m_ProgramFolder = folder;
    m_TempFolder = platform::JoinPath(m_ProgramFolder, L"temp");
    m_AbsBlfTempFolder = platform::JoinPath(m_ProgramFolder, L"AbsBlfTemp");
    m_TempSplitFolder = platform::JoinPath(m_ProgramFolder, L"TempSplit");
}

bool CProcessingContext::PrepareWorkFiles(bool report)
{
    // Each folder reports its own failure, once, where the run stops.
    m_bWorkFoldersMade = true;
    for (const std::wstring* folder : {&m_TempFolder, &m_AbsBlfTempFolder}) {
        if (!CreateWorkFolder(*folder, report)) {
            return false;
        }
    }
    // Creates the empty store file; the first write opens it again.
    if (!g_VirtualFileStore.Open(m_TempFolder.c_str(), L"wb")) {
        if (report) {
            ReportNameInTheWay(g_VirtualFileStore.StorePath());
        }
        return false;
    }
    g_VirtualFileStore.CloseStream();
    return true;
}

void CProcessingContext::RemoveWorkFolders()
{
    for (std::wstring* folder : {&m_AbsBlfTempFolder, &m_TempFolder, &m_TempSplitFolder}) {
        // A run that never made them leaves the folders of the build that
        // may be working there.
        if (m_bWorkFoldersMade && !folder->empty() && platform::Exists(*folder) && !DeleteTempFolder(*folder)) {
            platform::Print(L"DeleteTempFolder failed\n");
        }
        // Once: by the time the process ends, the folders may be those of
        // the next run.
        folder->clear();
    }
}

CProcessingContext::~CProcessingContext()
{
    RemoveWorkFolders();
    Reset();
}

void CProcessingContext::Reset()
{
    m_PlatformType = kUnknownPlatformType;
    m_bWebUpgrade = 0;
    m_TimDescriptor.Reset();
    m_OldBlfTimDescriptor.Reset();
    m_BlfPath.clear();
    m_LayoutText.reset();
}

bool CProcessingContext::ProcessBLF(const std::wstring& blfPath)
{
    platform::Print(L"\nProcessBLF.....\n");
    std::wstring absolutePath = blfPath;
    if (!SetAbsolutePath(absolutePath)) {
        throw CZorlixexception(L"SetAbsolutePath failed ");
    }
    if (!platform::Exists(absolutePath)) {
        MessageBoxPrintf(L" file \"%s\" is not exist!\n", absolutePath);
        return false;
    }
    m_BlfParser.UseText(nullptr);
    m_LayoutText = layout::LayoutText::Read(absolutePath);
    m_BlfParser.UseText(m_LayoutText);
    if (!GetPlatFormType(m_PlatformType, m_BlfParser, absolutePath)) {
        PrintLog(L"GetPlatFormType failed in blf %s\n", absolutePath);
        throw CZorlixexception(L"GetPlatFormType failed");
    }

    if (m_PlatformType == kUnknownPlatformType) {
        PrintLog(L"\nUnknown PlatformType.....\n");
        return false;
    }
    if (m_PlatformType == kOldFormatPlatformType) {
        // The absolute path: the copy's image paths start from this file's
        // folder, which a relative path would not name.
        std::wstring fileName = absolutePath;
        StripPathToFileName(fileName);
        m_CvtBlfPath = platform::JoinPath(m_AbsBlfTempFolder, L"Cvt_" + fileName);
        OldBlfContext conversion{m_BlfParser,          m_FlashSettings,   m_OldBlfTimDescriptor,
                                 m_FlasherSettingsPath, m_NumberOfBlocks0, m_StartAddress0,
                                 m_CvtBlfPath,          m_ProgramFolder};
        if (!ConvertAndParseOldBlf(conversion, absolutePath, m_bWebUpgrade)) {
            return false;
        }
    } else if (!ParseBlfFile(absolutePath, m_BlfParser, m_bWebUpgrade)) {
        PrintLog(L"Parse blf failed:%s\n", absolutePath);
        return false;
    }
    m_TimDescriptor = m_BlfParser.m_TimDescriptor;
    m_FlashSettings = m_BlfParser.m_FlashSettings;
    m_BlfPath = m_BlfParser.m_BlfPath;
    m_LayoutText = m_BlfParser.HeldText();
    platform::Print(L"\nProcessBLF return.....\n");

    m_PlatformType = m_BlfParser.m_PlatformType;
    if (!GetFlashType(m_FlashSettings.Flash_Family, m_FlashType)) {
        PrintLog(L"Get flash type failed.\n");
        return false;
    }
    platform::Print(L"\nProcessBLF return.....\n");
    return true;
}

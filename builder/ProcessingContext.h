// The state of one package build: the text of the layout file, the parser
// that reads it, the TIM descriptor of the package, the copied settings,
// the platform and the program's work folders. Constructing it touches no
// file: the run names the work folders, makes them once it may build, and
// removes them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/ProcessorPlatforms.h"
#include "timlib/BlfParser.h"
#include "timlib/TimDescriptor.h"

class CProcessingContext {
public:
    CProcessingContext();
    CProcessingContext(const CProcessingContext&) = delete;
    CProcessingContext& operator=(const CProcessingContext&) = delete;
    // Removes the work folders RemoveWorkFolders has not removed yet.
    ~CProcessingContext();

    // Names the work folders "temp", "AbsBlfTemp" and "TempSplit" in the
    // folder; nothing is made.
    void SetProgramFolder(const std::wstring& folder);
    // Once PrepareWorkFiles ran, deletes the work folders that exist
    // ("DeleteTempFolder failed" for one that stays); forgets their names
    // either way, so that nothing is deleted a second time.
    void RemoveWorkFolders();

    // Forgets the build: descriptors, path, text, platform and flag.
    void Reset();
    // Makes the path absolute, detects the platform and parses the layout
    // file into the context. False after a reported failure; raises
    // CZorlixexception when the path cannot be made absolute or the
    // platform cannot be detected.
    bool ProcessBLF(const std::wstring& blfPath);
    // Makes the work folders "temp" and "AbsBlfTemp" and the empty store
    // file the run's own: a link standing at a folder's name is replaced by
    // a real folder, and whatever stands at the store file's name is
    // removed. False when a name could not be cleared or the store file not
    // made; report: log which name could not be cleared.
    bool PrepareWorkFiles(bool report);

    std::wstring m_BlfPath;
    // The text of m_BlfPath, read once and shared with the parsers and the
    // package writer. While ProcessBLF runs, that of the given file; for an
    // older-format file, then that of its converted copy, read by the
    // copy's parse.
    std::shared_ptr<const layout::LayoutText> m_LayoutText;
    std::wstring m_TempFolder;
    std::wstring m_AbsBlfTempFolder;
    std::wstring m_TempSplitFolder;
    std::wstring m_CvtBlfPath;
    std::wstring m_FlasherSettingsPath;
    CTimDescriptor m_TimDescriptor;
    FlashSettings m_FlashSettings;
    int32_t m_PlatformType = kUnknownPlatformType;
    int32_t m_FlashType = 0;
    CBlfParser m_BlfParser;
    CTimDescriptor m_OldBlfTimDescriptor;
    std::wstring m_ProgramFolder;
    uint8_t m_bWebUpgrade = 0;
    int32_t m_NumberOfBlocks0 = 0;
    uint32_t m_StartAddress0 = 0;

private:
    bool m_bWorkFoldersMade = false;
};

// The program's one context; see Globals.cpp for its construction order.
extern CProcessingContext g_ProcessingContext;

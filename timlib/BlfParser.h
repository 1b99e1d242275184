// The reader of one BLF layout file. It answers single-key lookups from the
// file's text (layout::LayoutText), and holds everything a full parse of a
// layout file produces: the TIM descriptor, the flash settings, the
// erase-only areas, the NAND and eMMC image lists, platform and flash type
// and a set of flags.
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include "common/TimLib.h"
#include "common/platform/FileSystem.h"
#include "timlib/ImageDescription.h"
#include "timlib/LayoutText.h"
#include "timlib/TimDescriptor.h"

// The flash type codes of m_FlashType (GetFlashType).
constexpr int32_t kFlashTypeNand = 0;
constexpr int32_t kFlashTypeEmmc = 1;
constexpr int32_t kFlashTypeSpiNor = 2;
constexpr int32_t kFlashTypeSpiNand = 4;
constexpr int32_t kFlashTypeUnknown = 10;

// The flash and option settings of a layout file.
struct FlashSettings {
    std::wstring Blf_Version_Number;
    std::wstring Flash_Family;
    std::wstring Skip_Blocks_Number;
    std::wstring Data_Area_Size;
    std::wstring Spare_Area_Size;
    std::wstring FlasherLoadAddress;  // nothing fills it
    std::wstring OTA_Image_Split_Size;
    uint32_t Flash_Block_Size = 0;
    int32_t KXP_Sector_Size = 0;
    uint32_t Max_KXP_Split_Size = 0;
    uint32_t Max_OTA_Image_Size = 0;
    int32_t ProductionMode = 0;
    uint32_t Max_Upload_Split_Size = 0;
    uint16_t Flash_NandID = 0;
    int32_t Erase_All_Flash = 0;
    int32_t UE_Boot_Option = 0;
    uint8_t Reset_BBT = 0;
    uint8_t BbcsEnabled = 0;
    uint8_t CrcsEnabled = 0;
    uint8_t Trusted = 0;
    // 1 for layout files with 64-bit flash addresses.
    int32_t BlfVersionFlag = 0;
};

struct EraseOnlyArea {
    std::wstring FlashStartAddress;  // normalised hexadecimal text
    std::wstring Size;               // as written in the file
    int32_t Partition = 0;
};

// The images of one eMMC type.
struct EmmcTypeImageList {
    std::wstring EmmcSize;
    ImageList Images;
};

// The images of one NAND ID.
struct NandIdImageList {
    std::wstring NandId;
    std::wstring NandSize;
    ImageList Images;
};

// The NAND IDs of one NAND signature.
struct NandSignImageList {
    std::wstring NandSignValue;
    std::list<std::unique_ptr<NandIdImageList>> NandIdLists;
};

class CBlfParser : public CTimLib {
public:
    CBlfParser();
    CBlfParser(const CBlfParser&) = delete;
    CBlfParser& operator=(const CBlfParser&) = delete;
    ~CBlfParser() override;

    // Empties what a parse produces: flags, descriptor and the three lists.
    // Settings, platform and flash type, paths and text stay.
    void Reset();
    // The lookups of text's path answer from text, which the parser holds
    // too; a lookup of another path reads that file in its place. After
    // null, the next lookup reads its file.
    void UseText(std::shared_ptr<const layout::LayoutText> text) { m_pText = std::move(text); }
    // The text the lookups read; null before the first.
    const std::shared_ptr<const layout::LayoutText>& HeldText() const { return m_pText; }

    // Looks key up in section of the layout file at filePath and writes the
    // value found, or defaultText when there is none, into value. True when
    // value ends up non-empty. Raises CZorlixexception when the file cannot
    // be read.
    // The texts are taken as views: a layout read makes thousands of
    // lookups, mostly with literal section names and defaults.
    bool GetKeyValue(std::wstring_view defaultText, std::wstring& value, std::wstring_view section,
                     std::wstring_view key, const std::wstring& filePath);
    // The key's value as a number; defaultNumber when the key is missing or
    // its value does not read as one.
    int32_t GetKeyInt(const std::wstring& filePath, std::wstring_view section, std::wstring_view key,
                      int32_t defaultNumber);

    bool ParseEraseOnlyAreas();
    // Appends every "[Reserved_Data]" package of m_BlfPath to the
    // descriptor and sets the BBCS and CRCS enabled flags. Raises
    // CZorlixexception when the file cannot be read.
    bool ParseReservedData();
    bool ParseNandImageLists();
    bool ParseEmmcImageLists();

    // The key material of a trusted layout file. ParseKeyInfo reads the
    // "Keys_Data" section into the descriptor's keys, ParseDSAInfo the
    // "Digital_Signature_Data" section into its signature and signature
    // record, ParseDtimKeyInfo the "DTIM_Keys_Data" section into its DTIM
    // key. Each returns true or raises CZorlixexception.
    bool ParseKeyInfo();
    bool ParseDSAInfo();
    bool ParseDtimKeyInfo();
    // Copies the words of the descriptor's signature key into its signature
    // record, never more than the key's lists hold or an area takes.
    bool StoreSignatureKeyWords(CTimDescriptor& tim);
    // The key sections of a trusted file: keys, signature, and the DTIM key
    // when the platform reads it and an image map asks for it.
    void ParseKeySections();

    std::wstring m_BlfPath;
    CTimDescriptor m_TimDescriptor;
    FlashSettings m_FlashSettings;
    std::list<std::unique_ptr<EraseOnlyArea>> m_EraseOnlyAreas;
    int32_t m_PlatformType = 0;  // a code of common/ProcessorPlatforms.h
    int32_t m_FlashType = 0;
    uint8_t m_bBbcsEnabled = 0;
    uint8_t m_bCrcsEnabled = 0;
    uint8_t m_bWebUpgrade = 0;
    uint8_t m_bTimhPartition1 = 0;
    uint8_t m_bTimhPartition2 = 0;
    uint8_t m_bTimhPartition3 = 0;
    uint8_t m_bDtimNeeded = 0;
    uint8_t m_bEmmcImageLists = 0;
    std::wstring m_OriginalBlfPath;
    // Set while the parser reads the new-format copy it made of an older-
    // format file: the copy keeps the older processor text, and its image
    // paths are relative to the folder of m_OriginalBlfPath.
    bool m_bConvertedCopy = false;
    std::list<std::unique_ptr<EmmcTypeImageList>> m_EmmcImageLists;
    std::list<std::unique_ptr<NandSignImageList>> m_NandSignImageLists;

private:
    // The value of key in the file's text, a view into it (valid until the
    // next lookup of another file), or defaultText.
    std::wstring_view LookUp(std::wstring_view defaultText, std::wstring_view section, std::wstring_view key,
                             const std::wstring& filePath);

    std::shared_ptr<const layout::LayoutText> m_pText;
};

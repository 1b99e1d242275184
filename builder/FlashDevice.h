// The package writer's model of the flash device the package upgrades: its
// device header, which images of the layout go into the package and with
// which entry values, their runs of sectors and checksums, and the copy of
// their data into the virtual file store.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "builder/FlasherBinary.h"
#include "builder/KxpFormat.h"
#include "timlib/BlfParser.h"
#include "timlib/ImageDescription.h"

// The image files of one build, in entry order. The build step owns the
// list; a device takes the binaries over when they are attached.
using BinaryList = std::list<std::unique_ptr<CFlasherBinary>>;
// Erase-only areas handed to the writer; the build never fills it.
using EraseOnlyList = std::list<EraseOnlyArea>;

// One image entry of the package.
class CFlashImage {
public:
    explicit CFlashImage(const CFlasherBinary& binary);
    virtual ~CFlashImage();

    // Prints the entry and stores its 52 bytes at destination.
    void WriteEntry(uint8_t* destination) const;

    KXP_ImageEntry m_Entry{};
    const CFlasherBinary* m_pBinary = nullptr;
    std::wstring m_FileName;
    std::wstring m_Type;
};

class CFlashDevice {
public:
    // Reads the device settings of the layout file. Raises
    // CZorlixexception when they cannot be read or the skip-block list has
    // more entries than the device header holds. The layout's text, when
    // given, is the one the run read of layoutPath.
    CFlashDevice(uint8_t platformIndex, const std::wstring& layoutPath, uint32_t sectorSize, uint32_t eraseAllFlash,
                 uint8_t resetBbt, uint16_t flashNandId, uint32_t productionMode, uint8_t ueBootOption,
                 std::shared_ptr<const layout::LayoutText> layoutText = nullptr);
    CFlashDevice(const CFlashDevice&) = delete;
    CFlashDevice& operator=(const CFlashDevice&) = delete;
    virtual ~CFlashDevice();

    // Turns the packaged images of the list, last to first, into binaries
    // appended to binaries. False after a reported failure.
    bool AddImages(const std::wstring& writerFlashFamily, const std::wstring& layoutPath, BinaryList& binaries,
                   const ImageList& images, uint32_t writerFlashBlockSize);
    // Takes over every binary of the list.
    void AttachBinaries(BinaryList& binaries);
    // Gives every binary its run of sectors from sectorCounter on, builds
    // the entries and their checksums. False after a reported failure (an
    // unreadable image, or a package past 4 GiB).
    bool AssignSectors(uint32_t& sectorCounter);
    uint32_t WriteDeviceHeader(uint8_t* destination) const;
    void WriteImageEntries(uint8_t* destination) const;
    // Copies every image's data into the store under storeName; records
    // the re-layout checksums in the header buffer. False after a reported
    // failure.
    bool WriteImages(uint8_t* headerBuffer, uint8_t* blockBuffer, const std::wstring& storeName);

    // Sums of the entries' lengths whose commands have any bit of mask.
    uint64_t SumLengths(uint32_t mask) const;

    const KXP_DeviceHeader& Header() const { return m_dev; }
    uint32_t ImageCount() const { return m_dev.nOfImages; }
    int32_t SpareAreaSize() const { return m_SpareAreaSize; }
    int32_t FlashBlockSize() const { return m_FlashBlockSize; }

    void SetEraseOnlyAreas(const EraseOnlyList& areas) { m_EraseOnlyAreas = areas; }

private:
    void ReadDeviceSettings();
    void DeleteBinaries();

    KXP_DeviceHeader m_dev{};
    int32_t m_SpareAreaSize = -1;
    int32_t m_DataAreaSize = -1;
    int32_t m_FlashBlockSize = -1;
    std::wstring m_LayoutPath;
    std::wstring m_CurrentType;
    std::wstring m_FlashFamily;
    uint32_t m_CurrentImageId = 0;
    std::list<std::unique_ptr<CFlashImage>> m_Images;
    BinaryList m_Binaries;
    EraseOnlyList m_EraseOnlyAreas;
    int32_t m_ImageCount = 0;
    uint32_t m_SectorSize = 0;
    uint32_t m_EraseAllFlash = 0;
    uint32_t m_ResetBbt = 0;
    uint32_t m_FlashNandId = 0;
    uint32_t m_ProductionMode = 0;
    uint8_t m_UeBootOption = 0;
    uint8_t m_PlatformIndex = 0;
    int32_t m_DeviceKind = 0;
    int32_t m_PageGeometry = 0;
    CBlfParser m_Parser;
};

// The block numbers of a Skip_Blocks_Number text: items split at ",",
// "a-b" ranges expanded in ascending order. False when the text names more
// than limit blocks; blocks then holds the first limit of them.
bool ParseSkipBlocks(std::wstring text, std::vector<uint32_t>& blocks, size_t limit);

// The NAND page geometry index (see GetNandGeometry) of a device: base 0
// for Data_Area_Size 2048 and 2 for 4096; Flash_Family exactly "NAND" adds
// 1 for boot-flash-signature code 13, exactly "ONENAND" adds 4, and any
// other family has none (kNoNandGeometry). Any other Data_Area_Size gives 0.
int SelectNandGeometry(int32_t dataAreaSize, const std::wstring& flashFamily, uint32_t bootFlashSignatureCode);

// Builds the package in the virtual file store. It takes the settings that
// apply to the whole device from the layout file, makes the flash device,
// plans the header sector, then stores that sector followed by the data of
// each image. Callers go through construct, SetSectorSize, AddDevice,
// createVirtualKXP and DumpToFile, in that order.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "builder/FlashDevice.h"
#include "builder/KxpFormat.h"

class CKXP_File {
public:
    explicit CKXP_File(const std::wstring& layoutPath);
    CKXP_File(const CKXP_File&) = delete;
    CKXP_File& operator=(const CKXP_File&) = delete;
    virtual ~CKXP_File();

    void SetSectorSize(uint16_t sectorSize) { m_SectorSize = sectorSize; }
    // The text the run read of the layout file, for the device to read its
    // settings from; without it the file is read.
    void UseLayoutText(std::shared_ptr<const layout::LayoutText> text) { m_LayoutText = std::move(text); }
    uint16_t SectorSize() const { return m_SectorSize; }

    // Creates the device and its binaries from the image list. False when
    // an image cannot be packaged (already reported); raises
    // CZorlixexception "unknown platform" for a Processor_Type it does not
    // know.
    bool AddDevice(BinaryList* binaries, const ImageList& images, const EraseOnlyList& eraseOnlyAreas,
                   uint32_t eraseAllFlash, uint8_t resetBbt, uint16_t flashNandId, uint32_t productionMode);
    // Lays out the header sector. The total data length (1 when nothing is
    // packaged); 0 on failure.
    uint32_t createVirtualKXP(BinaryList* binaries);
    // Writes the package into the store under outputName. False after a
    // reported failure. The version is stamped later by the front end.
    bool DumpToFile(const std::wstring& outputName, const std::wstring& versionText);
    // Produces block blockIndex into buffer: 1 when there is a block to
    // write, 0 when there is none left, -1 on failure.
    int FillBlock(uint32_t blockIndex, uint8_t* buffer);

    const KXP_MasterHeader& MasterHeader() const { return m_MasterHeader; }
    const std::vector<uint8_t>& HeaderBuffer() const { return m_HeaderBuffer; }

private:
    std::wstring m_LayoutPath;
    std::shared_ptr<const layout::LayoutText> m_LayoutText;
    std::wstring m_FlashFamily;
    std::wstring m_OutputName;
    bool m_bHasDevices = false;
    int32_t m_Mode = 2;
    std::list<std::unique_ptr<CFlashDevice>> m_Devices;
    uint16_t m_SectorSize = 4096;
    BinaryList* m_pBinaryList = nullptr;
    KXP_MasterHeader m_MasterHeader{};
    uint32_t m_FlashBlockSize = 0;
    uint32_t m_DevicesWritten = 0;
    std::vector<uint8_t> m_HeaderBuffer;
};

// The platform index of a Processor_Type text (exact comparison); false
// when the table does not hold it.
bool GetPlatformIndex(const std::wstring& processorType, uint8_t& index);

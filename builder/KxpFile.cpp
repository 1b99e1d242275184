#include "builder/KxpFile.h"

#include <cstring>
#include <memory>
#include <new>

#include "builder/VirtualFileStore.h"
#include "common/Print.h"
#include "common/ProcessorPlatforms.h"
#include "common/TimLib.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "timlib/LayoutLookup.h"

namespace {

constexpr uint64_t kMaxLength = 0xFFFFFFFFu;

}  // namespace

bool GetPlatformIndex(const std::wstring& processorType, uint8_t& index)
{
    const PlatformRow* row = FindPlatformByProcessor(processorType);
    if (row == nullptr) {
        return false;
    }
    index = row->packageIndex;
    return true;
}

CKXP_File::CKXP_File(const std::wstring& layoutPath) : m_LayoutPath(layoutPath) {}

CKXP_File::~CKXP_File() = default;

bool CKXP_File::AddDevice(BinaryList* binaries, const ImageList& images, const EraseOnlyList& eraseOnlyAreas,
                          uint32_t eraseAllFlash, uint8_t resetBbt, uint16_t flashNandId, uint32_t productionMode)
{
    CBlfParser parser;
    parser.m_BlfPath = m_LayoutPath;
    parser.UseText(m_LayoutText);
    m_FlashFamily = layout::Text(parser, layout::kFlashProperties, L"Flash_Family", layout::kNotAvailable);
    m_FlashBlockSize = CTimLib::ParseUInt32(layout::Text(parser, layout::kFlashProperties, L"Flash_Block_Size", L"0x20000"));

    m_HeaderBuffer.assign(m_SectorSize, 0);

    const std::wstring processor =
        layout::Text(parser, layout::kTimConfiguration, L"Processor_Type", layout::kNotAvailable);
    uint8_t platformIndex = 0;
    if (!GetPlatformIndex(processor, platformIndex)) {
        throw CZorlixexception(L"unknown platform");
    }
    const uint8_t ueBootOption = static_cast<uint8_t>(layout::Int(parser, L"UE_Options", L"UE_Boot_Option", 0));

    std::unique_ptr<CFlashDevice> device;
    try {
        device = std::make_unique<CFlashDevice>(platformIndex, m_LayoutPath, m_SectorSize, eraseAllFlash, resetBbt,
                                                flashNandId, productionMode, ueBootOption, m_LayoutText);
    } catch (const std::bad_alloc&) {
        throw CZorlixexception(L"Not enough memory");
    }
    if (m_Mode == 2 && binaries) {
        if (!device->AddImages(m_FlashFamily, m_LayoutPath, *binaries, images, m_FlashBlockSize)) {
            return false;
        }
    }
    device->SetEraseOnlyAreas(eraseOnlyAreas);
    m_Devices.push_back(std::move(device));
    m_bHasDevices = true;
    return true;
}

uint32_t CKXP_File::createVirtualKXP(BinaryList* binaries)
{
    m_pBinaryList = binaries;
    uint32_t flag = (!binaries || binaries->empty()) ? 1 : 0;
    m_MasterHeader = KXP_MasterHeader{};
    if (!m_bHasDevices || m_Devices.empty()) {
        return 0;
    }
    if (binaries) {
        for (std::unique_ptr<CFlasherBinary>& binary : *binaries) {
            if (!binary) {
                continue;
            }
            binary->m_SectorSize = m_SectorSize;
            if (binary->m_Commands & kKxpCommandData4) {
                flag = 1;
            }
        }
    }

    m_MasterHeader.Device_Header_Offset[0] = kKxpDeviceHeaderOffset;
    uint64_t headerEnd = kKxpDeviceHeaderOffset;
    uint32_t sectorCounter = 1;
    size_t k = 0;
    BinaryList none;
    for (std::unique_ptr<CFlashDevice>& device : m_Devices) {
        device->AttachBinaries(binaries ? *binaries : none);
        if (k < kKxpMaxDevices) {
            m_MasterHeader.Spare_Area_Size[k] = static_cast<uint16_t>(device->SpareAreaSize());
        }
        if (!device->AssignSectors(sectorCounter)) {
            m_bHasDevices = false;
            return 0;
        }
        headerEnd += kKxpDeviceHeaderBytes + uint64_t(kKxpImageEntryBytes) * device->ImageCount();
        ++k;
        if (k < kKxpMaxDevices) {
            m_MasterHeader.Device_Header_Offset[k] = static_cast<uint32_t>(headerEnd);
        }
    }
    // The entries live in the header sector; past it they would be lost.
    // The buffer was made for the sector size AddDevice saw.
    if (m_HeaderBuffer.size() != m_SectorSize) {
        m_bHasDevices = false;
        return 0;
    }
    if (headerEnd > m_HeaderBuffer.size()) {
        PrintLog(L"Too many images for one package: the image entries do not fit into the header sector.\n");
        m_bHasDevices = false;
        return 0;
    }

    uint64_t sums[3] = {0, 0, 0};
    for (const std::unique_ptr<CFlashDevice>& device : m_Devices) {
        sums[0] += device->SumLengths(kKxpCommandData1 | kKxpCommandData2 | kKxpCommandData4);
        sums[1] += device->SumLengths(kKxpCommandData1);
        sums[2] += device->SumLengths(kKxpCommandData2);
    }
    if (sums[0] > kMaxLength) {
        PrintLog(L"The images are too large for one package.\n");
        m_bHasDevices = false;
        return 0;
    }
    m_MasterHeader.Data_Length = static_cast<uint32_t>(sums[0]);
    m_MasterHeader.Data_Length_Cmd1 = static_cast<uint32_t>(sums[1]);
    m_MasterHeader.Data_Length_Cmd2 = static_cast<uint32_t>(sums[2]);

    m_MasterHeader.Constant_11 = 11;
    m_MasterHeader.Sector_Size = m_SectorSize;
    m_MasterHeader.Constant_1 = 1;
    m_MasterHeader.Reserved = 0;
    std::memcpy(m_MasterHeader.Magic, kKxpMagic, sizeof m_MasterHeader.Magic);

    uint32_t offset = kKxpDeviceHeaderOffset;
    size_t j = 0;
    m_DevicesWritten = 0;
    for (const std::unique_ptr<CFlashDevice>& device : m_Devices) {
        if (j < kKxpMaxDevices) {
            m_MasterHeader.Device_Header_Offset[j] = offset;
        }
        device->WriteDeviceHeader(m_HeaderBuffer.data() + offset);
        device->WriteImageEntries(m_HeaderBuffer.data() + offset + kKxpDeviceHeaderBytes);
        offset += static_cast<uint32_t>(kKxpDeviceHeaderBytes + kKxpImageEntryBytes * device->ImageCount());
        ++m_DevicesWritten;
        ++j;
    }
    m_MasterHeader.nOfDevices = m_DevicesWritten;
    m_MasterHeader.Store(m_HeaderBuffer.data());
    return m_MasterHeader.Data_Length | flag;
}

int CKXP_File::FillBlock(uint32_t blockIndex, uint8_t* buffer)
{
    if (blockIndex == 0) {
        std::memcpy(buffer, m_HeaderBuffer.data(), m_HeaderBuffer.size());
        return 1;
    }
    if (blockIndex == 1) {
        for (std::unique_ptr<CFlashDevice>& device : m_Devices) {
            if (!device->WriteImages(m_HeaderBuffer.data(), buffer, m_OutputName)) {
                return -1;
            }
        }
    }
    return 0;
}

bool CKXP_File::DumpToFile(const std::wstring& outputName, const std::wstring& versionText)
{
    (void)versionText;
    platform::Print(L"\ndump to kxp file\n");
    m_OutputName = outputName;
    if (m_HeaderBuffer.size() != m_SectorSize) {
        return false;
    }
    // Not zeroed: every byte that reaches the store is written first, and
    // pages the images never touch (their data go in the kernel) cost nothing.
    const std::unique_ptr<uint8_t[]> block(new uint8_t[size_t(CFlasherBinary::kSectorsPerBlock) * m_SectorSize]);
    int produced = 0;
    for (uint32_t i = 0; (produced = FillBlock(i, block.get())) == 1; ++i) {
        if (!g_VirtualFileStore.Write(m_OutputName, block.get(), m_SectorSize)) {
            PrintLog(L"Unable to write file: %s\n", g_VirtualFileStore.StorePath());
            return false;
        }
    }
    if (produced < 0) {
        return false;
    }
    // The header again, now with the checksums recorded while the images
    // were written.
    if (g_VirtualFileStore.Seek(m_OutputName, 0) != 0 ||
        !g_VirtualFileStore.Write(m_OutputName, m_HeaderBuffer.data(), m_SectorSize)) {
        PrintLog(L"Unable to write file: %s\n", g_VirtualFileStore.StorePath());
        return false;
    }
    platform::Print(L"Finish to dump to kxp file\n");
    return true;
}

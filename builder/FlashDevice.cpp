#include "builder/FlashDevice.h"

#include <algorithm>

#include "builder/ImageConvert.h"
#include "builder/ImageFile.h"
#include "common/Print.h"
#include "common/TimLib.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/Scan.h"
#include "common/platform/Text.h"
#include "timlib/ImageListParser.h"
#include "timlib/LayoutLookup.h"
#include "timlib/ReservedDataSection.h"

namespace {

// A device without Flash_Block_Size uses the same block size as the
// reader and the writer; -1 would leave every NAND and SPI-NOR image out.
constexpr int32_t kDefaultFlashBlockSize = 0x20000;
constexpr uint64_t kMaxPackageBytes = 0xFFFFFFFFu;
// The boot-flash-signature code of NAND devices whose spare area takes 30
// (2048-byte pages) or 62 (4096-byte pages) tag bytes from offset 2.
constexpr uint32_t kBootFlashSignatureNand13 = 13;

uint32_t RoundUpTo4(uint32_t length)
{
    return (length + 3u) & ~3u;
}

}  // namespace

bool ParseSkipBlocks(std::wstring text, std::vector<uint32_t>& blocks, size_t limit)
{
    blocks.clear();
    TrimText(text);
    if (text.empty()) {
        return true;
    }
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(L',', start);
        const std::wstring item = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        const size_t dash = item.find(L'-');
        if (dash != std::wstring::npos) {
            const long long a = platform::ToInt(item.substr(0, dash));
            const long long b = platform::ToInt(item.substr(dash + 1));
            // Counted before expanding: a range may span billions of blocks.
            for (long long n = std::min(a, b); n <= std::max(a, b); ++n) {
                if (blocks.size() == limit) {
                    return false;
                }
                blocks.push_back(static_cast<uint32_t>(n));
            }
        } else {
            if (blocks.size() == limit) {
                return false;
            }
            blocks.push_back(static_cast<uint32_t>(platform::ToInt(item)));
        }
        if (comma == std::wstring::npos) {
            return true;
        }
        start = comma + 1;
    }
}

int SelectNandGeometry(int32_t dataAreaSize, const std::wstring& flashFamily, uint32_t bootFlashSignatureCode)
{
    int base = 0;
    if (dataAreaSize == 4096) {
        base = 2;
    } else if (dataAreaSize != 2048) {
        return 0;
    }
    if (flashFamily == L"NAND") {
        return bootFlashSignatureCode == kBootFlashSignatureNand13 ? base + 1 : base;
    }
    if (flashFamily == L"ONENAND") {
        return base + 4;
    }
    return kNoNandGeometry;
}

CFlashImage::CFlashImage(const CFlasherBinary& binary) : m_pBinary(&binary)
{
    m_FileName = binary.HasPath() ? binary.m_Path : L"Not a filename";
    m_Type = binary.m_Type.empty() ? L"Error" : binary.m_Type;
    m_Entry.Image_ID = binary.m_ImageId;
    m_Entry.Image_In_TIM = static_cast<uint32_t>(binary.m_ImageInTim);
    m_Entry.Flash_partition = static_cast<uint32_t>(binary.m_Partition);
    m_Entry.Flash_erase_size = binary.m_EraseSize;
    m_Entry.commands = binary.m_Commands;
    m_Entry.Flash_Start_Address = binary.m_FlashStartAddress;
    if (binary.m_Commands & kKxpCommandDataBits) {
        m_Entry.length = RoundUpTo4(binary.m_Length);
    }
}

CFlashImage::~CFlashImage() = default;

void CFlashImage::WriteEntry(uint8_t* destination) const
{
    const KXP_ImageEntry& e = m_Entry;
    std::wstring text = L"\nimage header:\n";
    text += platform::Format(L"image->Image_ID = 0x%08x \n", e.Image_ID);
    text += platform::Format(L"image->Image_In_TIM = 0x%x \n", e.Image_In_TIM);
    text += platform::Format(L"image->Flash_partition = 0x%08x \n", e.Flash_partition);
    text += platform::Format(L"image->Flash_erase_size = 0x%08x \n", e.Flash_erase_size);
    text += platform::Format(L"image->commands = 0x%x \n", e.commands);
    text += platform::Format(L"image->First_Sector = 0x%x \n", e.First_Sector);
    text += platform::Format(L"image->length = 0x%08x \n", e.length);
    text += platform::Format(L"image->Flash_Start_Address = 0x%08x \n", e.Flash_Start_Address);
    text += platform::Format(L"image->ChecksumFormatVersion2 = 0x%x \n", e.ChecksumFormatVersion2);
    platform::WriteOut(platform::CutText(text, 1023));
    e.Store(destination);
}

CFlashDevice::CFlashDevice(uint8_t platformIndex, const std::wstring& layoutPath, uint32_t sectorSize,
                           uint32_t eraseAllFlash, uint8_t resetBbt, uint16_t flashNandId, uint32_t productionMode,
                           uint8_t ueBootOption, std::shared_ptr<const layout::LayoutText> layoutText)
    : m_LayoutPath(layoutPath),
      m_SectorSize(sectorSize),
      m_EraseAllFlash(eraseAllFlash),
      m_ResetBbt(resetBbt),
      m_FlashNandId(flashNandId),
      m_ProductionMode(productionMode),
      m_UeBootOption(ueBootOption),
      m_PlatformIndex(platformIndex),
      m_DeviceKind(platformIndex)
{
    m_Parser.m_BlfPath = layoutPath;
    m_Parser.UseText(std::move(layoutText));
    ReadDeviceSettings();
}

CFlashDevice::~CFlashDevice()
{
    m_Images.clear();
    DeleteBinaries();
}

void CFlashDevice::DeleteBinaries()
{
    m_Binaries.clear();
}

void CFlashDevice::ReadDeviceSettings()
{
    m_dev.DeviceFlags = 0;
    m_dev.Erase_All_Flash = m_EraseAllFlash;
    m_dev.Reset_BBT = m_ResetBbt;
    m_dev.Flash_NandID = m_FlashNandId;
    m_dev.ProductionMode = m_ProductionMode;
    m_dev.UE_Boot_Option = m_UeBootOption;
    m_dev.Platform_Index = m_PlatformIndex;
    const auto& text = m_Parser.HeldText();
    m_dev.BBCS_Enabled = static_cast<uint8_t>(GetReservedPackageEnabled(m_LayoutPath, L"BBCS", L"End_BBCS", text));
    m_dev.CRCS_Enabled = static_cast<uint8_t>(GetReservedPackageEnabled(m_LayoutPath, L"CRCS", L"End_CRCS", text));

    const std::wstring skipText = layout::Text(m_Parser, layout::kFlashProperties, L"Skip_Blocks_Number", L"");
    std::vector<uint32_t> blocks;
    if (!ParseSkipBlocks(skipText, blocks, kKxpMaxSkipBlocks)) {
        // The device header has room for 32 block numbers; dropping the
        // rest would let the device write over bad blocks.
        throw CZorlixexception(L"Skip_Blocks_Number names more than 32 blocks");
    }
    std::copy(blocks.begin(), blocks.end(), m_dev.Skip_Blocks);
    m_dev.nOfSkipBlocks = static_cast<uint32_t>(blocks.size());

    m_FlashFamily = layout::Text(m_Parser, layout::kFlashProperties, L"Flash_Family", L"");
    m_SpareAreaSize = layout::Int(m_Parser, layout::kFlashProperties, L"Spare_Area_Size", -1);
    m_DataAreaSize = layout::Int(m_Parser, layout::kFlashProperties, L"Data_Area_Size", -1);
    m_FlashBlockSize = layout::Int(m_Parser, layout::kFlashProperties, L"Flash_Block_Size", kDefaultFlashBlockSize);

    const uint32_t signatureCode = GetBootFlashSignatureCode(
        layout::Text(m_Parser, layout::kTimConfiguration, L"Boot_Flash_Signature", layout::kNotAvailable));
    m_PageGeometry = SelectNandGeometry(m_DataAreaSize, m_FlashFamily, signatureCode);
}

bool CFlashDevice::AddImages(const std::wstring& writerFlashFamily, const std::wstring& layoutPath,
                             BinaryList& binaries, const ImageList& images, uint32_t writerFlashBlockSize)
{
    CBlfParser versionParser;
    versionParser.m_BlfPath = layoutPath;
    versionParser.UseText(m_Parser.HeldText());
    const std::wstring version =
        layout::Text(versionParser, L"BLF_Version", L"Blf_Version_Number", layout::kNotAvailable);
    const bool sectorAddresses = layout::Contains(version, L"V2.1.0") || layout::Contains(version, L"V2.2.0");

    m_dev.nOfImages = 0;
    m_ImageCount = 0;
    if (images.empty()) {
        return true;
    }
    const bool writerNand = layout::Contains(writerFlashFamily, L"NAND");
    const bool deviceFirstBlockReserved = layout::Contains(m_FlashFamily, L"NAND") || m_FlashFamily == L"SPI-NOR";
    const uint64_t deviceBlockSize = static_cast<uint32_t>(m_FlashBlockSize);

    for (auto it = images.end(); it != images.begin();) {
        --it;
        const CImageDescription& image = **it;
        const bool first = (it == images.begin());
        if (!image.Enable) {
            continue;
        }
        const uint64_t entryAddress = StrToUInt64(image.GetFlashEntryAddress());
        if (writerNand && layout::Contains(image.IdName, L"OBM") && entryAddress < writerFlashBlockSize && !first) {
            continue;
        }
        m_CurrentType = image.ImageType;
        m_CurrentImageId = CTimLib::ParseUInt32(image.GetImageId());
        const std::wstring path = image.GetImagePath();
        const uint32_t eraseValue = image.EraseSize.empty() ? image.ImageSize : image.EraseSizeValue;
        const uint32_t commands = GetImageTypeCode(m_CurrentType) | kKxpCommandDataBits;

        const bool bySector =
            sectorAddresses && (image.PartitionNumber == 3 || IsExactlyByteAddressedTag(image.IdName));
        const uint32_t flashStartAddress =
            CTimLib::ParseUInt32(bySector ? image.GetFlashEntrySector() : image.GetFlashAddress());

        if (entryAddress < deviceBlockSize && deviceFirstBlockReserved && IsNotTimhId(image.IdName)) {
            continue;
        }

        if (m_CurrentType == L"YAFFS" && m_PageGeometry == kNoNandGeometry) {
            // Without a page geometry the image cannot be re-laid out; the
            // build stops before anything is written.
            PrintLog(L"Error: YAFFS image %s cannot be re-laid out: Flash_Family \"%s\" with Data_Area_Size %d "
                     L"has no NAND page geometry\n",
                     path, m_FlashFamily, m_DataAreaSize);
            return false;
        }

        if (!platform::OpenedFile(platform::OpenRegularFile(path)).Get()) {
            if (!ReportNotRegularImage(path, platform::LastErrorCode())) {
                MessageBoxPrintf(L"Unable to open file: %s", path);
            }
            return false;
        }

        try {
            binaries.push_back(std::make_unique<CFlasherBinary>(
                path, m_CurrentType, m_PageGeometry, m_DeviceKind, image.TimIncluded, m_CurrentImageId,
                flashStartAddress, m_SectorSize, commands, m_SpareAreaSize, m_DataAreaSize, image.PartitionNumber,
                eraseValue, 0u));
        } catch (const CZorlixexception& e) {
            PrintLog(L"Error: %s", e.GetMessageText());
            return false;
        }
        ++m_ImageCount;
    }
    return true;
}

void CFlashDevice::AttachBinaries(BinaryList& binaries)
{
    DeleteBinaries();
    for (std::unique_ptr<CFlasherBinary>& binary : binaries) {
        if (binary) {
            m_Binaries.push_back(std::move(binary));
        }
    }
}

bool CFlashDevice::AssignSectors(uint32_t& sectorCounter)
{
    m_Images.clear();
    for (const std::unique_ptr<CFlasherBinary>& binary : m_Binaries) {
        CFlasherBinary& b = *binary;
        const uint32_t length = b.m_Length;
        const uint32_t sector = m_SectorSize;
        b.m_FirstSector = sectorCounter;
        const bool carriesData = (b.m_Commands & kKxpCommandDataBits) != 0;
        if (carriesData) {
            const uint64_t sectors = sector ? (uint64_t(length) + sector - 1) / sector : 0;
            // The package is addressed in 32 bits: its end must stay below 4 GiB.
            if ((uint64_t(sectorCounter) + sectors) * sector > kMaxPackageBytes) {
                PrintLog(L"The images are too large for one package.\n");
                return false;
            }
            b.m_LastSector = static_cast<uint32_t>(sectorCounter + sectors - 1);
            sectorCounter += static_cast<uint32_t>(sectors);
        } else {
            b.m_FirstSector = 0;
            b.m_LastSector = 0;
        }
        b.m_Length = RoundUpTo4(length);

        auto image = std::make_unique<CFlashImage>(b);
        image->m_Entry.First_Sector = b.m_FirstSector;
        image->m_Entry.length = b.m_Length;
        if (carriesData) {
            uint32_t sum = 0;
            if (!CFlasherBinary::ComputeChecksum(b, sum, 0, b.m_Length)) {
                return false;
            }
            image->m_Entry.ChecksumFormatVersion2 = sum;
        }
        m_Images.push_back(std::move(image));
    }
    m_dev.nOfImages = static_cast<uint32_t>(m_Images.size());
    return true;
}

uint32_t CFlashDevice::WriteDeviceHeader(uint8_t* destination) const
{
    std::wstring text = L"\nWriting Device Header:\n";
    text += platform::Format(L"m_dev.nOfImages = %d\n", m_dev.nOfImages);
    text += platform::Format(L"m_dev.DeviceFlags = %d\n", m_dev.DeviceFlags);
    platform::WriteOut(text);
    m_dev.Store(destination);
    return static_cast<uint32_t>(kKxpDeviceHeaderBytes);
}

void CFlashDevice::WriteImageEntries(uint8_t* destination) const
{
    for (const std::unique_ptr<CFlashImage>& image : m_Images) {
        platform::Print(L"\nImage file name:%s", image->m_FileName);
        image->WriteEntry(destination);
        destination += kKxpImageEntryBytes;
    }
}

bool CFlashDevice::WriteImages(uint8_t* headerBuffer, uint8_t* blockBuffer, const std::wstring& storeName)
{
    const size_t n = m_Binaries.size();
    size_t i = 0;
    for (const std::unique_ptr<CFlasherBinary>& binary : m_Binaries) {
        // The middle images go through the interleaved write.
        const bool ok = (i > 0 && i + 1 < n) ? CFlasherBinary::CopyToStoreInterleaved(*binary, blockBuffer, storeName)
                                             : CFlasherBinary::CopyToStore(*binary, blockBuffer, storeName);
        if (!ok) {
            return false;
        }
        if (binary->m_Type == L"YAFFS") {
            StoreLe32(headerBuffer + kKxpFirstEntryOffset + kKxpImageEntryBytes * i +
                          offsetof(KXP_ImageEntry, ChecksumFormatVersion2),
                      binary->m_YaffsChecksum);
        }
        ++i;
    }
    return true;
}

uint64_t CFlashDevice::SumLengths(uint32_t mask) const
{
    uint64_t sum = 0;
    for (const std::unique_ptr<CFlashImage>& image : m_Images) {
        if (image->m_Entry.commands & mask) {
            sum += image->m_Entry.length;
        }
    }
    return sum;
}

#include "builder/RunStep.h"

#include <exception>
#include <utility>

#include "builder/FlashDevice.h"
#include "builder/ImageCompress.h"
#include "builder/ImageFile.h"
#include "builder/ImageSplit.h"
#include "builder/KxpFile.h"
#include "builder/PackageOutput.h"
#include "builder/ProcessingContext.h"
#include "builder/VirtualFileStore.h"
#include "common/FileUtils.h"
#include "common/Print.h"
#include "common/ProcessorPlatforms.h"
#include "common/TimLib.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/OutputFile.h"
#include "common/platform/Path.h"
#include "common/platform/Text.h"

namespace {

constexpr uint16_t kPackageSectorSize = 8192;

bool IsRefusedImage(const CImageDescription& image)
{
    const std::wstring tag = image.GetIdName();
    return image.Enable && (tag == L"TIMH" || tag == L"OBMI" || tag == L"RBLI");
}

// A device gives endless or no bytes and a FIFO blocks the run: only
// regular files are packed. A folder fails later, where it is opened. No
// image may be the output, which the package would replace.
bool ImageFilesAreUsable(const CTimDescriptor& descriptor, const std::wstring& outputPath)
{
    for (const std::unique_ptr<CImageDescription>& image : descriptor.m_Images) {
        if (!image->Enable) {
            continue;
        }
        const std::wstring path = image->GetImagePath();
        if (!platform::IsRegularFile(path) && !platform::IsFolder(path)) {
            LogNotRegularImage(path);
            return false;
        }
        if (OutputIsInput(outputPath, path, L"image file")) {
            return false;
        }
    }
    return true;
}

// An older-format layout names its flasher settings file, which is read,
// and is built from its converted copy: both are inputs, which the package
// must not replace either.
bool OldLayoutInputsAreFree(const CProcessingContext& context, const std::wstring& outputPath)
{
    return context.m_PlatformType != kOldFormatPlatformType ||
           (!OutputIsInput(outputPath, context.m_FlasherSettingsPath, L"flasher settings file") &&
            !OutputIsInput(outputPath, context.m_CvtBlfPath, L"converted layout file"));
}

bool SplitAndCompress(CProcessingContext& context, const std::wstring& commandLineSplitText)
{
    const PlatformRow* platformRow = FindPlatform(context.m_PlatformType);
    const PlatformSplit split = platformRow != nullptr ? platformRow->split : PlatformSplit::kNone;
    std::wstring splitText;
    if (split == PlatformSplit::kByCommandLine) {
        splitText = commandLineSplitText;
    } else if (split == PlatformSplit::kCompressThenByLayout) {
        if (!CompressLzmaTypeImages(context.m_TimDescriptor.m_Images, context.m_AbsBlfTempFolder)) {
            PrintLog(L"CompressSpecLzmaImage failed.\n");
            return false;
        }
        // No OTA_Image_Split_Size (or an empty one): no split.
        splitText = context.m_FlashSettings.OTA_Image_Split_Size;
        if (splitText.empty()) {
            return true;
        }
    } else {
        return true;
    }
    // Read by the value-text rule, not the front end's split-size rule.
    // A size that reads as 0 could never make progress: "-i 0800000" passes
    // the front end's decimal test but reads here as octal, that is 0.
    const uint32_t splitSize = CTimLib::ParseUInt32(splitText);
    if (splitSize == 0) {
        PrintLog(L"Error: the split size \"%s\" reads as 0, images cannot be split by it.\n", splitText);
        return false;
    }
    return SplitImages(context.m_TimDescriptor, splitSize, context.m_TempFolder,
                       context.m_FlashSettings.BlfVersionFlag == 1);
}

// Removes the package's work file when the build fails after making it;
// once kept, the delivery owns it.
class PackageWorkFile {
public:
    explicit PackageWorkFile(std::wstring path) : m_Path(std::move(path)) {}
    PackageWorkFile(const PackageWorkFile&) = delete;
    PackageWorkFile& operator=(const PackageWorkFile&) = delete;
    ~PackageWorkFile()
    {
        if (!m_Path.empty() && platform::GetEntryType(m_Path) == platform::EntryType::kFile) {
            ForceDeleteFile(m_Path);
        }
    }
    void Keep() { m_Path.clear(); }

private:
    std::wstring m_Path;
};

}  // namespace

std::wstring GetPackageWorkPath(const std::wstring& outputPath)
{
    const std::wstring packagePath = GetIntermediatePackagePath();
    if (!outputPath.empty() && platform::ResolveOutput(outputPath, packagePath).own) {
        return platform::JoinFolderAndName(g_ProcessingContext.m_AbsBlfTempFolder, L"kxp.bin");
    }
    return packagePath;
}

bool DoTarvokfileforWebUpgrade(const std::wstring& blfPath, const std::wstring& splitSizeText,
                               const std::wstring& outputPath)
{
    CProcessingContext& context = g_ProcessingContext;
    context.Reset();
    // Made at start-up; made again now, so that what took their names since
    // is never written through and what cannot be cleared fails the run.
    if (!context.PrepareWorkFiles(true)) {
        return false;
    }
    context.m_bWebUpgrade = 1;
    if (blfPath.empty()) {
        return false;
    }
    context.m_BlfPath = blfPath;
    platform::Print(L"\nDoTarvokfileforWebUpgrade....\n\n");
    if (!context.ProcessBLF(blfPath)) {
        throw CZorlixexception(L"ProcessBLF failed for some enable image is not exist ");
    }
    for (const std::unique_ptr<CImageDescription>& image : context.m_TimDescriptor.m_Images) {
        if (IsRefusedImage(*image)) {
            throw CZorlixexception(
                L"TIM,OBM and ReliableData can't be upgrate through OTA,please disable these images in blf.");
        }
    }
    if (!OldLayoutInputsAreFree(context, outputPath) || !ImageFilesAreUsable(context.m_TimDescriptor, outputPath)) {
        return false;
    }
    if (!SplitAndCompress(context, splitSizeText)) {
        return false;
    }
    if (context.m_TimDescriptor.m_Images.size() > kMaxPackageImages) {
        PrintLog(kTooManyImagesMessage);
        return false;
    }

    const FlashSettings& settings = context.m_FlashSettings;
    CKXP_File writer(context.m_BlfPath);
    writer.UseLayoutText(context.m_LayoutText);
    writer.SetSectorSize(kPackageSectorSize);
    BinaryList binaries;
    const EraseOnlyList eraseOnlyAreas;
    if (!writer.AddDevice(&binaries, context.m_TimDescriptor.m_Images, eraseOnlyAreas,
                          static_cast<uint32_t>(settings.Erase_All_Flash), settings.Reset_BBT, settings.Flash_NandID,
                          static_cast<uint32_t>(settings.ProductionMode))) {
        PrintLog(L"ERROR: invalid flash ini file, cannot create the KXP image file!");
        return false;
    }
    if (writer.createVirtualKXP(&binaries) == 0) {
        PrintLog(L"createVirtualKXP failed.\n");
        return false;
    }

    const std::wstring packagePath = GetPackageWorkPath(outputPath);
    // "kxp.bin" as the output is the program's own name all the same: a
    // folder or a device node there is refused before anything is written.
    const std::wstring ownName = GetIntermediatePackagePath();
    if (packagePath != ownName &&
        (platform::GetEntryType(ownName) == platform::EntryType::kFolder || platform::IsDeviceNode(ownName))) {
        g_VirtualFileStore.Close();
        PrintLog(kNotRegularFileInTheWay, ownName);
        return false;
    }
    // The package's work file is made anew like every other: what stands at
    // its name is removed, never written through, and a device node or a
    // folder there fails the build.
    if (!platform::OpenedFile(platform::CreateNewFile(packagePath, "wb")).Close()) {
        g_VirtualFileStore.Close();
        ReportNameInTheWay(packagePath);
        return false;
    }
    // From here on the work file goes with any failure.
    PackageWorkFile workFile(packagePath);
    if (!writer.DumpToFile(packagePath, std::wstring())) {
        g_VirtualFileStore.Close();
        return false;
    }
    // The store knows the package's size; nothing has to open it to learn it.
    const uint64_t size = g_VirtualFileStore.GetSize(packagePath);
    // A package that did not reach the disk whole is never reported as built.
    const bool copied = g_VirtualFileStore.CopyOut(packagePath);
    g_VirtualFileStore.Close();
    if (!copied) {
        PrintLog(L"Write file failed:%s\n", packagePath);
        return false;
    }
    if (size > settings.Max_OTA_Image_Size) {
        PrintLog(L"OTA image size is too larger and Max_OTA_Image_Size is 0x%x!\n\n", settings.Max_OTA_Image_Size);
        return false;
    }
    workFile.Keep();
    return true;
}

bool DoTarvokforSplitImage(const std::wstring& blfPath, const std::wstring& splitSizeText,
                           const std::wstring& outputPath)
{
    bool result = true;
    try {
        if (!DoTarvokfileforWebUpgrade(blfPath, splitSizeText, outputPath)) {
            platform::Print(L"DoTarvokfileforWebUpgrade failed.\n");
            result = false;
        }
    } catch (const CZorlixexception& e) {
        MessageBoxPrintf(L"\nZorlix exception:\n%s\n\n", e.GetMessageText());
        result = false;
    } catch (const std::exception& e) {
        MessageBoxPrintf(L"\n exception: %s\n", platform::DecodeText(e.what()));
        result = false;
    } catch (...) {
        MessageBoxPrintf(L"\n error catch\n");
        result = false;
    }
    g_ProcessingContext.Reset();
    return result;
}

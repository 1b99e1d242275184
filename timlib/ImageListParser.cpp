#include "timlib/ImageListParser.h"

#include <cstdio>
#include <utility>

#include "common/FileUtils.h"
#include "common/Print.h"
#include "common/TimLib.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Path.h"
#include "timlib/LayoutLookup.h"

namespace {

using namespace layout;

const wchar_t kImageList[] = L"Image_List";
const wchar_t kNandImagesList[] = L"Nand_Images_list_Property";
const wchar_t kEmmcImagesList[] = L"EMMC_Images_list_Property";
const wchar_t kNotSet64[] = L"0xFFFFFFFFFF";

// The flash entry address as normalised text: 64-bit for layout files with
// 64-bit addresses, 32-bit otherwise.
std::wstring NormaliseFlashAddress(const std::wstring& text, bool wide)
{
    return wide ? CTimLib::FormatHex64(StrToUInt64(text)) : CTimLib::FormatHex32(CTimLib::ParseUInt32(text));
}

std::wstring NormaliseAddress32(const std::wstring& text)
{
    return CTimLib::FormatHex32(CTimLib::ParseUInt32(text));
}

// An erase size counts only when it is written in hexadecimal; its text is
// then normalised.
void ApplyEraseSize(CImageDescription& image, std::wstring text)
{
    uint32_t value = 0;
    if (ContainsHexPrefix(text)) {
        value = CTimLib::ParseUInt32(text);
        text = CTimLib::FormatHex32(value);
    }
    image.SetEraseSize(std::move(text));
    image.EraseSizeValue = value;
}

void ApplySizeToHash(CImageDescription& image, std::wstring text)
{
    image.ImageSizeToHash = text.empty() ? 0 : CTimLib::ParseUInt32(text);
    image.SetImageSizeToHash(std::move(text));
}

// Counts the entries a list section is about to create, so that no count
// in a layout file can make the reader allocate and loop without bound.
class EntryBudget {
public:
    // False, with the key and its value printed, when count more entries
    // would exceed the limit. A count of entries may stand for several per
    // unit of the key's value.
    bool Take(const std::wstring& key, int64_t value, int64_t count)
    {
        if (count <= 0) {
            return true;
        }
        if (count > kMaxLayoutCount - m_Used) {
            platform::Print(L"%s\n", CountRefusal(platform::Format(L"%s = %lld", key, static_cast<long long>(value))));
            return false;
        }
        m_Used += count;
        return true;
    }
    bool Take(const std::wstring& key, int64_t count) { return Take(key, count, count); }

private:
    int64_t m_Used = 0;
};

// Resolves a list image's path against the layout file's folder; a
// failure is reported and the path used as it is.
std::wstring ResolveListPath(const CBlfParser& parser, std::wstring path)
{
    if (!GetAbsPath(path, parser.m_BlfPath)) {
        platform::Print(L"GetAbsPath failed:%s\n", path);
    }
    return path;
}

}  // namespace

std::wstring ByteAddressToSectorText(const std::wstring& addressText)
{
    if (ContainsNotSetMarker32(addressText)) {
        return L"0xFFFFFFFF";
    }
    // Shift the whole 64-bit address, so that addresses at or above 4 GiB
    // give their own sector.
    return CTimLib::FormatHex32(static_cast<uint32_t>(StrToUInt64(addressText) >> 9));
}

bool IsByteAddressedTag(const std::wstring& tag)
{
    for (const wchar_t* byteAddressed : kByteAddressedTags) {
        if (Contains(tag, byteAddressed)) {
            return true;
        }
    }
    return false;
}

bool IsExactlyByteAddressedTag(const std::wstring& tag)
{
    for (const wchar_t* byteAddressed : kByteAddressedTags) {
        if (tag == byteAddressed) {
            return true;
        }
    }
    return false;
}

std::wstring CreateEmptyImageFile(std::wstring imagePath)
{
    std::wstring result = imagePath;
    if (!result.empty()) {
        const std::wstring folder = GetParentFolder(imagePath);
        if (!TestWritePermission(folder.c_str(), true)) {
            platform::Print(L"Dircetory have not written permission: %s.\n", folder);
            std::wstring name = imagePath;
            StripPathToFileName(name);
            result = platform::JoinFolderAndName(platform::JoinFolderAndName(GetProgramFolder(), L"temp"), name);
        }
        // In the work folder the file is the run's own: never written
        // through what stood at its name.
        const bool workFile = result != imagePath;
        const platform::OpenedFile file(workFile ? platform::CreateNewFile(result, "wb")
                                                  : platform::OpenFile(result, "wb"));
        if (file.Get()) {
            return result;
        }
        if (workFile) {
            ReportNameInTheWay(result);
        }
    }
    // An empty path names no file that could be created.
    MessageBoxPrintf(L"Open file \"%s\" failed!", result);
    return result;
}

namespace {

// The image's path from the layout file, resolved; false when a path
// without a drive cannot be made absolute.
bool ReadImagePath(CBlfParser& parser, const std::wstring& key, std::wstring& path)
{
    path = Text(parser, kImageList, key, kNotAvailable);
    if (IsPathWithoutDrive(path) && !path.empty()) {
        // A converted copy's paths start from the file it was made from.
        if (!GetAbsPath(path, parser.m_bConvertedCopy ? parser.m_OriginalBlfPath : parser.m_BlfPath)) {
            return false;
        }
    }
    return true;
}

// An enabled image whose file is missing is disabled, unless it is the
// descriptor's, whose file is then made empty.
void CheckImageFile(const std::wstring& idName, std::wstring& path, bool& enable)
{
    if (enable && !platform::Exists(path)) {
        if (Contains(idName, L"TIMH")) {
            path = CreateEmptyImageFile(path);
        } else {
            PrintLog(L"file %s is not exist\n", path);
            enable = false;
        }
    }
}

// Which partition an enabled descriptor image of the list goes into.
void NoteTimhPartition(CBlfParser& parser, const CImageDescription& image)
{
    const bool enabledTimh = image.IdName == L"TIMH" && image.Enable;
    const int32_t timIncluded = image.TimIncluded;
    const int32_t partition = image.PartitionNumber;
    if (parser.m_FlashType == kFlashTypeEmmc) {
        if (enabledTimh && timIncluded == 1 && partition == 1) {
            parser.m_bTimhPartition1 = 1;
        } else if (enabledTimh && timIncluded == 5 && partition == 2) {
            parser.m_bTimhPartition2 = 1;
        } else if (enabledTimh && partition == 3) {
            parser.m_bTimhPartition3 = 1;
        }
    } else if (enabledTimh && timIncluded == 1) {
        parser.m_bTimhPartition1 = 1;
    }
}

// Image i of the list; null when its path cannot be resolved.
std::unique_ptr<CImageDescription> ReadImage(CBlfParser& parser, int32_t i, bool wideAddresses)
{
    // Each key is "<i>_Image_<suffix>", made in one buffer: an image has
    // fifteen of them. Every use of a key ends before the next is made.
    const std::wstring prefix = platform::Format(L"%d_Image_", i);
    std::wstring keyText;
    keyText.reserve(prefix.size() + 32);
    const auto key = [&prefix, &keyText](const wchar_t* suffix) -> const std::wstring& {
        keyText.assign(prefix).append(suffix);
        return keyText;
    };

    bool enable = Int(parser, kImageList, key(L"Enable"), 1) == 1;
    const int32_t timIncluded = Int(parser, kImageList, key(L"Tim_Included"), 0);
    // The texts are moved into the image, each once.
    std::wstring imageId = Text(parser, kImageList, key(L"Image_ID"), kNotAvailable);
    std::wstring idName = Text(parser, kImageList, key(L"ID_Name"), L"");
    std::wstring nextImageId = Text(parser, kImageList, key(L"Next_Image_ID"), kNotAvailable);
    std::wstring path;
    if (!ReadImagePath(parser, key(L"Path"), path)) {
        return nullptr;
    }
    CheckImageFile(idName, path, enable);

    std::wstring flashEntry =
        NormaliseFlashAddress(Text(parser, kImageList, key(L"Flash_Entry_Address"), kNotSet64), wideAddresses);
    std::wstring loadAddress = NormaliseAddress32(Text(parser, kImageList, key(L"Load_Address"), kNotSet64));
    std::wstring imageType = Text(parser, kImageList, key(L"Type"), kNotSet64);
    std::wstring eraseSize = Text(parser, kImageList, key(L"Erase_Size"), L"");
    std::wstring sizeToHash = Text(parser, kImageList, key(L"Image_Size_To_Hash_in_bytes"), L"");
    std::wstring hashAlgorithm = Text(parser, kImageList, key(L"Hash_Algorithm_ID"), L"");
    std::wstring sizeToCrc = Text(parser, kImageList, key(L"Size_To_CRC_in_bytes"), L"");
    const int32_t partition = Int(parser, kImageList, key(L"Partition_Number"), 0);

    auto image = std::make_unique<CImageDescription>();
    image->SetIdName(std::move(idName));
    image->SetImageId(std::move(imageId));
    image->SetNextImageId(std::move(nextImageId));
    image->SetFlashEntrySector(ByteAddressToSectorText(flashEntry));
    image->SetFlashEntryAddress(std::move(flashEntry));

    // Images the boot ROM finds by byte address keep it; all others are
    // addressed by sector in layout files with 64-bit addresses.
    const bool byteAddressed = !wideAddresses || IsByteAddressedTag(image->IdName);
    image->SetFlashAddress(byteAddressed ? image->FlashEntryAddress : image->FlashEntrySector);

    image->SetLoadAddress(std::move(loadAddress));
    image->SetSizeToCrc(std::move(sizeToCrc));
    image->SetImagePath(std::move(path));
    image->SetImageType(std::move(imageType));
    image->Enable = enable;
    image->PartitionNumber = partition;
    image->Changed = true;
    image->SetHashAlgorithmId(std::move(hashAlgorithm));
    ApplyEraseSize(*image, std::move(eraseSize));
    ApplySizeToHash(*image, std::move(sizeToHash));
    image->TimIncluded = timIncluded;
    return image;
}

// The eMMC and NAND image lists. A plain search of the whole text: a
// mention anywhere, even in a comment, has the list read.
bool ReadFlashImageLists(CBlfParser& parser)
{
    const std::wstring* text = parser.CachedText();
    if (text != nullptr && Contains(*text, kEmmcImagesList)) {
        parser.m_bEmmcImageLists = 1;
        if (!parser.ParseEmmcImageLists()) {
            return false;
        }
    }
    text = parser.CachedText();
    return text == nullptr || !Contains(*text, kNandImagesList) || parser.ParseNandImageLists();
}

}  // namespace

bool ParseImageInfo(CBlfParser& parser)
{
    platform::Print(L"begin to parsing image\n");
    CTimDescriptor& tim = parser.m_TimDescriptor;
    tim.ClearImages();

    const int32_t count = Int(parser, kTimConfiguration, L"Number_of_Images", -1);
    tim.m_HeaderWords[CTimDescriptor::kWordNumberOfImages] = static_cast<uint32_t>(count);
    platform::Print(L"Number of images in blf file is %d\n", count);
    EntryBudget budget;
    if (!budget.Take(L"Number_of_Images", count)) {
        return false;
    }

    const bool wideAddresses = parser.m_FlashSettings.BlfVersionFlag == 1;
    for (int32_t i = 1; i <= count; ++i) {
        std::unique_ptr<CImageDescription> image = ReadImage(parser, i, wideAddresses);
        if (!image) {
            return false;
        }
        NoteTimhPartition(parser, *image);
        tim.m_Images.push_back(std::move(image));
    }

    if (!ReadFlashImageLists(parser)) {
        return false;
    }
    platform::Print(L"Complete to parsing image info in blf file\n");
    return true;
}

bool CBlfParser::ParseNandImageLists()
{
    EntryBudget budget;
    const int32_t signatures = Int(*this, kFlashProperties, L"Nand_Signature_Number", 0);
    if (signatures < 1) {
        return true;
    }
    if (!budget.Take(L"Nand_Signature_Number", signatures)) {
        return false;
    }
    for (int32_t s = 1; s <= signatures; ++s) {
        m_NandSignImageLists.push_back(std::make_unique<NandSignImageList>());
        NandSignImageList& sign = *m_NandSignImageLists.back();
        sign.NandSignValue = Text(*this, kNandImagesList, platform::Format(L"%d_%s", s, L"NandSign_Value"), L"");
        const std::wstring idCountKey = platform::Format(L"%d_%s", s, L"NandSign_NandIdNumber");
        const int32_t ids = Int(*this, kNandImagesList, idCountKey, 0);
        if (!budget.Take(idCountKey, ids)) {
            return false;
        }
        for (int32_t e = 1; e <= ids; ++e) {
            sign.NandIdLists.push_back(std::make_unique<NandIdImageList>());
            NandIdImageList& nand = *sign.NandIdLists.back();
            const auto idKey = [s, e](const wchar_t* name) {
                return platform::Format(L"%d_%s_%d_%s", s, L"NandSign", e, name);
            };
            nand.NandId = Text(*this, kNandImagesList, idKey(L"NandId"), L"");
            nand.NandSize = Text(*this, kNandImagesList, idKey(L"NandSize"), L"");
            const std::wstring imageCountKey =
                platform::Format(L"%d_%s_%d_%s_%s", s, L"NandSign", e, L"NandId", L"ImageNumber");
            const int32_t images = Int(*this, kNandImagesList, imageCountKey, 0);
            if (!budget.Take(imageCountKey, images)) {
                return false;
            }
            for (int32_t g = 1; g <= images; ++g) {
                const auto key = [s, e, g](const wchar_t* suffix) {
                    return platform::Format(L"%d_%s_%d_%s_%d_Image_%s", s, L"NandSign", e, L"NandId", g, suffix);
                };
                nand.Images.push_back(std::make_unique<CImageDescription>());
                CImageDescription& image = *nand.Images.back();
                image.SetIdName(Text(*this, kNandImagesList, key(L"ID_Name"), L""));
                image.SetImagePath(ResolveListPath(*this, Text(*this, kNandImagesList, key(L"Path"), L"")));
                image.FlashEntryAddress =
                    NormaliseAddress32(Text(*this, kNandImagesList, key(L"Flash_Entry_Address"), L""));
                image.FlashEntrySector = ByteAddressToSectorText(image.FlashEntryAddress);
                image.FlashAddress = image.FlashEntryAddress;
                image.LoadAddress = NormaliseAddress32(Text(*this, kNandImagesList, key(L"Load_Address"), L""));
                ApplyEraseSize(image, Text(*this, kNandImagesList, key(L"Erase_Size"), L""));
                image.Changed = true;
                ApplySizeToHash(image, Text(*this, kNandImagesList, key(L"Image_Size_To_Hash_in_bytes"), L""));
                image.Changed = true;
            }
        }
    }
    return true;
}

bool CBlfParser::ParseEmmcImageLists()
{
    EntryBudget budget;
    const int32_t types = Int(*this, kFlashProperties, L"Number_of_EMMCTypes", 1);
    const int32_t images = Int(*this, kEmmcImagesList, L"ImageID_num", -1);
    if (types < 1) {
        return true;
    }
    if (!budget.Take(L"Number_of_EMMCTypes", types)) {
        return false;
    }
    // Every type reads the same number of images.
    if (images > 0 && !budget.Take(L"ImageID_num", images, static_cast<int64_t>(images) * types)) {
        return false;
    }
    const bool wideAddresses = m_FlashSettings.BlfVersionFlag == 1;
    for (int32_t t = 1; t <= types; ++t) {
        auto list = std::make_unique<EmmcTypeImageList>();
        list->EmmcSize = Text(*this, kEmmcImagesList, platform::Format(L"%d_EMMC_Size", t), L"");
        for (int32_t g = 1; g <= images; ++g) {
            const auto key = [t, g](const wchar_t* suffix) {
                return platform::Format(L"%d_%s_%d_Image_%s", t, L"EmmcType", g, suffix);
            };
            const std::wstring idName = Text(*this, kEmmcImagesList, key(L"ID_Name"), L"");
            const std::wstring path = ResolveListPath(*this, Text(*this, kEmmcImagesList, key(L"Path"), kNotAvailable));
            const std::wstring flashEntry = NormaliseFlashAddress(
                Text(*this, kEmmcImagesList, key(L"Flash_Entry_Address"), kNotSet64), wideAddresses);
            const std::wstring loadAddress =
                NormaliseAddress32(Text(*this, kEmmcImagesList, key(L"Load_Address"), kNotSet64));
            const std::wstring eraseSize = Text(*this, kEmmcImagesList, key(L"Erase_Size"), L"");
            const std::wstring sizeToHash = Text(*this, kEmmcImagesList, key(L"Image_Size_To_Hash_in_bytes"), L"");

            auto image = std::make_unique<CImageDescription>();
            image->SetIdName(idName);
            image->SetFlashEntryAddress(flashEntry);
            image->SetFlashEntrySector(ByteAddressToSectorText(flashEntry));
            image->FlashAddress = wideAddresses ? image->FlashEntrySector : image->FlashEntryAddress;
            image->SetLoadAddress(loadAddress);
            image->SetImagePath(path);
            ApplyEraseSize(*image, eraseSize);
            image->Changed = true;
            ApplySizeToHash(*image, sizeToHash);
            image->Changed = true;
            list->Images.push_back(std::move(image));
        }
        m_EmmcImageLists.push_back(std::move(list));
    }
    return true;
}

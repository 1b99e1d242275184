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

// The flash entry address as normalised text, written over the text it
// is read from: 64-bit for layout files with 64-bit addresses, 32-bit
// otherwise.
void NormaliseFlashAddressIn(std::wstring& text, bool wide)
{
    if (wide) {
        CTimLib::AssignHex64(text, StrToUInt64(text));
    } else {
        CTimLib::AssignHex32(text, CTimLib::ParseUInt32(text));
    }
}

std::wstring NormaliseFlashAddress(std::wstring text, bool wide)
{
    NormaliseFlashAddressIn(text, wide);
    return text;
}

void NormaliseAddress32In(std::wstring& text)
{
    CTimLib::AssignHex32(text, CTimLib::ParseUInt32(text));
}

std::wstring NormaliseAddress32(std::wstring text)
{
    NormaliseAddress32In(text);
    return text;
}

// An erase size counts only when it is written in hexadecimal; its text is
// then normalised (in place).
void ApplyEraseSizeIn(CImageDescription& image, std::wstring& text)
{
    uint32_t value = 0;
    if (ContainsHexPrefix(text)) {
        value = CTimLib::ParseUInt32(text);
        CTimLib::AssignHex32(text, value);
    }
    image.SetEraseSize(text);
    image.EraseSizeValue = value;
}

void ApplyEraseSize(CImageDescription& image, std::wstring text)
{
    ApplyEraseSizeIn(image, text);
}

void ApplySizeToHash(CImageDescription& image, const std::wstring& text)
{
    image.ImageSizeToHash = text.empty() ? 0 : CTimLib::ParseUInt32(text);
    image.SetImageSizeToHash(text);
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
    parser.GetKeyValue(kNotAvailable, path, kImageList, key, parser.m_BlfPath);
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

// The texts of an image as they are read, kept from one image to the
// next.
struct ImageTexts {
    std::wstring prefix;
    std::wstring key;
    std::wstring imageId;
    std::wstring idName;
    std::wstring nextImageId;
    std::wstring path;
    std::wstring value;
};

// Image i of the list; null when its path cannot be resolved. The keys are
// looked up in their usual order, and each text is written into the image
// once it is read (the tag only after the path is checked).
std::unique_ptr<CImageDescription> ReadImage(CBlfParser& parser, int32_t i, bool wideAddresses, ImageTexts& t)
{
    // Each key is "<i>_Image_<suffix>", made in one buffer: an image has
    // fifteen of them. Every use of a key ends before the next is made.
    const platform::FormatArg number[] = {platform::MakeFormatArg(i), platform::FormatArg()};
    platform::FormatArgsInto(t.prefix, L"%d_Image_", number, 1);
    const auto key = [&t](const wchar_t* suffix) -> const std::wstring& {
        t.key.assign(t.prefix).append(suffix);
        return t.key;
    };
    const auto text = [&](const wchar_t* suffix, const wchar_t* defaultText, std::wstring& into) -> std::wstring& {
        parser.GetKeyValue(defaultText, into, kImageList, key(suffix), parser.m_BlfPath);
        return into;
    };

    auto image = std::make_unique<CImageDescription>();
    bool enable = Int(parser, kImageList, key(L"Enable"), 1) == 1;
    const int32_t timIncluded = Int(parser, kImageList, key(L"Tim_Included"), 0);
    text(L"Image_ID", kNotAvailable, t.imageId);
    text(L"ID_Name", L"", t.idName);
    text(L"Next_Image_ID", kNotAvailable, t.nextImageId);
    if (!ReadImagePath(parser, key(L"Path"), t.path)) {
        return nullptr;
    }
    CheckImageFile(t.idName, t.path, enable);
    // The tag first: the ID then gives the tag that stays.
    image->SetIdName(t.idName);
    image->SetImageId(t.imageId);
    image->SetNextImageId(t.nextImageId);
    image->SetImagePath(t.path);

    std::wstring& flashEntry = text(L"Flash_Entry_Address", kNotSet64, t.value);
    NormaliseFlashAddressIn(flashEntry, wideAddresses);
    image->SetFlashEntryAddress(flashEntry);
    image->SetFlashEntrySector(ByteAddressToSectorText(flashEntry));
    // Images the boot ROM finds by byte address keep it; all others are
    // addressed by sector in layout files with 64-bit addresses.
    const bool byteAddressed = !wideAddresses || IsByteAddressedTag(image->IdName);
    image->SetFlashAddress(byteAddressed ? image->FlashEntryAddress : image->FlashEntrySector);

    NormaliseAddress32In(text(L"Load_Address", kNotSet64, t.value));
    image->SetLoadAddress(t.value);
    image->SetImageType(text(L"Type", kNotSet64, t.value));
    ApplyEraseSizeIn(*image, text(L"Erase_Size", L"", t.value));
    ApplySizeToHash(*image, text(L"Image_Size_To_Hash_in_bytes", L"", t.value));
    image->SetHashAlgorithmId(text(L"Hash_Algorithm_ID", L"", t.value));
    image->SetSizeToCrc(text(L"Size_To_CRC_in_bytes", L"", t.value));
    image->PartitionNumber = Int(parser, kImageList, key(L"Partition_Number"), 0);
    image->Enable = enable;
    image->Changed = true;
    image->TimIncluded = timIncluded;
    return image;
}

// The eMMC and NAND image lists. A plain search of the whole text: a
// mention anywhere, even in a comment, has the list read.
bool ReadFlashImageLists(CBlfParser& parser)
{
    const auto holds = [&parser](const wchar_t* part) {
        return parser.HeldText() != nullptr && Contains(parser.HeldText()->text, part);
    };
    if (holds(kEmmcImagesList)) {
        parser.m_bEmmcImageLists = 1;
        if (!parser.ParseEmmcImageLists()) {
            return false;
        }
    }
    return !holds(kNandImagesList) || parser.ParseNandImageLists();
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
    ImageTexts texts;
    for (int32_t i = 1; i <= count; ++i) {
        std::unique_ptr<CImageDescription> image = ReadImage(parser, i, wideAddresses, texts);
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

#include "builder/ImageSplit.h"

#include "common/Print.h"

namespace {

bool IsLzmaImageType(const std::wstring& type)
{
    return type == L"YAFFS_LZMA" || type == L"UBIFS_LZMA" || type == L"JFFS2_LZMA" || type == L"RAW_LZMA";
}

}  // namespace

// Splitting is not part of this build yet. A package for a platform that
// splits its images is refused rather than built from unsplit images.
bool SplitImages(CTimDescriptor& descriptor, uint32_t splitSize)
{
    (void)descriptor;
    PrintLog(L"Image splitting (split size 0x%x) is not available yet.\n", splitSize);
    return false;
}

// Compression is not part of this build yet: a list without an image of
// an LZMA type needs none; any other is refused.
bool CompressSpecLzmaImage(ImageList& images)
{
    for (const std::unique_ptr<CImageDescription>& image : images) {
        if (IsLzmaImageType(image->ImageType)) {
            PrintLog(L"LZMA compression of images is not available yet: %s\n", image->GetImagePath());
            return false;
        }
    }
    return true;
}

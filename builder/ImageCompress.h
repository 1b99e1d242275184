// LZMA compression of the images of the LZMA image types before packing.
#pragma once

#include <string>

#include "timlib/ImageDescription.h"

// Whether the type text is exactly one of "YAFFS_LZMA", "UBIFS_LZMA",
// "JFFS2_LZMA" and "RAW_LZMA".
bool IsLzmaImageType(const std::wstring& type);

// Compresses every enabled image of an LZMA type into
// "<folder>/<file name>.lzma" and points the image at it, with the
// compressed file's size; the type text stays. Images whose files share a
// name get distinct copies ("a(2).bin.lzma"). Disabled images are left
// alone. False after a reported failure.
bool CompressSpecLzmaImage(ImageList& images, const std::wstring& folder);

// Compresses source into target in the LZMA SDK's stand-alone form (5
// property bytes, the 64-bit little-endian source length, the stream), at
// level 5. 1 on success; 0 after a reported failure, with no target left.
int CompressFile(const std::wstring& source, const std::wstring& target);

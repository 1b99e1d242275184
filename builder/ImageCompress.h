// LZMA compression of the images of the LZMA image types before packing.
#pragma once

#include <cstddef>
#include <cstdint>
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
// The images are compressed side by side; the console shows what one image
// after another would show, and a failure is that of the first failing
// image in list order, with no copies of the images after it left.
bool CompressLzmaTypeImages(ImageList& images, const std::wstring& folder);
// The same with at most cores images at once (1: one after another).
bool CompressLzmaTypeImages(ImageList& images, const std::wstring& folder, size_t cores);

// How many images are compressed at once: at most one encoder per image and
// per core, and no more encoders than fit into 2 GiB at about 11 times
// their dictionary each; at least 1.
size_t LzmaWorkers(size_t images, size_t cores, uint64_t dictionaryBytes);

// Compresses source into target in the LZMA SDK's stand-alone form (5
// property bytes, the 64-bit little-endian source length, the stream), at
// level 5. 1 on success; 0 after a reported failure, with no target left.
int CompressFile(const std::wstring& source, const std::wstring& target);

// Reshaping the image list before packing: splitting large images into
// parts and LZMA-compressing the images of the LZMA image types.
#pragma once

#include <cstdint>

#include "timlib/ImageDescription.h"
#include "timlib/TimDescriptor.h"

// Splits every enabled image of the descriptor larger than splitSize into
// parts; its list then holds only enabled images. False after a reported failure.
bool SplitImages(CTimDescriptor& descriptor, uint32_t splitSize);
// Compresses every image of the four LZMA image types. False after a
// reported failure.
bool CompressSpecLzmaImage(ImageList& images);

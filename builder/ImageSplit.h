// Splitting large images into part files before packing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "timlib/TimDescriptor.h"

// The most images a package holds, split parts counted one by one.
constexpr size_t kMaxPackageImages = 30;
// Logged when a package would hold more.
inline constexpr wchar_t kTooManyImagesMessage[] =
    L"\n\nError:Splite size is too small or total images size is too large.\n\n";

// Splits every enabled image of the descriptor whose file is larger than
// splitSize into part files of at most splitSize bytes, written into
// tempFolder as "<k>_<file name>"; each part gets its own description in
// the image's place. Disabled images leave the list. sectorAddresses: the
// layout file addresses most images by 512-byte sector (64-bit layouts),
// so the parts' addresses are given that way too. False after a reported
// failure; the list is then unchanged. A splitSize of 0 is refused, and so
// is one that would make more than kMaxPackageImages images: before any
// part is written.
bool SplitImages(CTimDescriptor& descriptor, uint32_t splitSize, const std::wstring& tempFolder,
                 bool sectorAddresses);

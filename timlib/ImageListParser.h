// The image list sections of a layout file: [Image_List] into the
// descriptor's images, and the NAND and eMMC image lists into the parser's
// own lists.
#pragma once
#include <cstdint>
#include <string>
#include "timlib/BlfParser.h"

bool ParseImageInfo(CBlfParser& parser);
// Creates the missing file of a TIMH image empty and returns its path (in
// the program's temp folder when the image's folder is not writable).
std::wstring CreateEmptyImageFile(std::wstring imagePath);
// A byte address text as a 512-byte sector address, "0x%08X";
// "0xFFFFFFFF" for a not-set address.
std::wstring ByteAddressToSectorText(std::wstring addressText);
// Whether the image's tag names one that the boot ROM finds by byte address;
// in layout files with 64-bit addresses all others are addressed by sector.
bool IsByteAddressedTag(const std::wstring& tag);

// The image list sections of a layout file: [Image_List] into the
// descriptor's images, and the NAND and eMMC image lists into the parser's
// own lists.
#pragma once
#include <cstdint>
#include <string>
#include "timlib/BlfParser.h"

bool ParseImageInfo(CBlfParser& parser);
// Creates the missing file of a TIMH image empty and returns its path (in
// the program's temp folder when the image's folder is not writable; made
// anew there, never through what stood at its name).
std::wstring CreateEmptyImageFile(std::wstring imagePath);
// A byte address text as a 512-byte sector address, "0x%08X";
// "0xFFFFFFFF" for a not-set address.
std::wstring ByteAddressToSectorText(const std::wstring& addressText);
// The tags of the images that the boot ROM finds by byte address.
inline constexpr const wchar_t* kByteAddressedTags[] = {L"TIMH", L"OBMI", L"VKTI", L"TZII"};
// Whether the tag contains one of those tags: the reader's rule, by which
// they keep their byte address in layout files with 64-bit addresses and
// all others are addressed by sector.
bool IsByteAddressedTag(const std::wstring& tag);
// Whether the tag is exactly one of those tags: the flash device's rule for
// the images whose sector address it packs.
bool IsExactlyByteAddressedTag(const std::wstring& tag);

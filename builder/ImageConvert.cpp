#include "builder/ImageConvert.h"

#include <algorithm>
#include <array>

#include "builder/KxpFormat.h"
#include "builder/VirtualFileStore.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Format.h"
#include "common/platform/Stop.h"

namespace {

struct GeometryRow {
    NandGeometry geometry;
    uint32_t tagBytes;  // T: how many tag bytes the ranges should take
    size_t rangeCount;
    OobRange ranges[kMaxOobRanges];
};

// Indexes 4 and 6 place only 20 of 28 and 32 of 62 tag bytes: their eight
// ranges are the device's layout.
constexpr GeometryRow kGeometries[kNandGeometryCount] = {
    {{2048, 64, 0, 0}, 38, 1, {{2, 38}}},
    {{2048, 64, 0, 1}, 30, 1, {{2, 30}}},
    {{4096, 128, 0, 0}, 0, 0, {}},
    {{4096, 128, 0, 1}, 62, 1, {{2, 62}}},
    {{2048, 64, 1, 0}, 28, 8, {{2, 3}, {14, 2}, {18, 3}, {30, 2}, {34, 3}, {46, 2}, {50, 3}, {62, 2}}},
    {{2048, 64, 1, 1}, 0, 0, {}},
    {{4096, 128, 1, 0}, 62, 8, {{2, 4}, {18, 4}, {34, 4}, {50, 4}, {66, 4}, {82, 4}, {98, 4}, {114, 4}}},
    {{4096, 128, 1, 1}, 0, 0, {}},
};

constexpr uint32_t kMaxPageSize = 4096;
constexpr uint32_t kMaxSpareSize = 128;
constexpr uint32_t kPaddingPiece = 4096;

// Every row follows the index's bits, and its ranges stay inside both the
// source's tag bytes and the spare area.
constexpr bool RowsFollowTheIndexBits()
{
    for (int i = 0; i < kNandGeometryCount; ++i) {
        const GeometryRow& row = kGeometries[i];
        const bool large = (i & 2) != 0;
        if (row.geometry.pageSize != (large ? 4096u : 2048u) || row.geometry.spareSize != (large ? 128u : 64u) ||
            row.geometry.x != ((i >> 2) & 1u) || row.geometry.y != (i & 1u) || row.rangeCount > kMaxOobRanges ||
            row.tagBytes > row.geometry.spareSize) {
            return false;
        }
        uint32_t taken = 0;
        for (size_t r = 0; r < row.rangeCount; ++r) {
            taken += row.ranges[r].length;
            if (row.ranges[r].offset + row.ranges[r].length > row.geometry.spareSize) {
                return false;
            }
        }
        if (taken > row.geometry.spareSize) {
            return false;
        }
    }
    return true;
}
static_assert(RowsFollowTheIndexBits(), "NAND geometry table");

}  // namespace

bool GetNandGeometry(int index, NandGeometry& geometry)
{
    if (index < 0 || index >= kNandGeometryCount) {
        return false;
    }
    geometry = kGeometries[index].geometry;
    return true;
}

uint32_t ScatterOobTags(const uint8_t* source, const OobRange* ranges, size_t rangeCount, uint8_t* spare,
                        uint32_t tagLength)
{
    uint32_t copied = 0;
    for (size_t r = 0; r < std::min(rangeCount, kMaxOobRanges) && copied < tagLength; ++r) {
        std::copy_n(source + copied, ranges[r].length, spare + ranges[r].offset);
        copied += ranges[r].length;
    }
    return copied;
}

CImageConvert::CImageConvert() = default;

CImageConvert::~CImageConvert() = default;

bool CImageConvert::ConvertYaffs2(uint32_t& checksum, const std::wstring& storeName, FILE* image,
                                  int geometryIndex, uint32_t sectorSize, std::wstring& message)
{
    NandGeometry geometry;
    if (!GetNandGeometry(geometryIndex, geometry)) {
        message = platform::Format(L" Yaffs2 image has no NAND page geometry (index %d)", geometryIndex);
        return false;
    }
    const GeometryRow& row = kGeometries[geometryIndex];
    const uint32_t page = geometry.pageSize;
    const uint32_t spare = geometry.spareSize;

    uint64_t size = 0;
    if (image == nullptr || !platform::GetStreamEnd(image, size) || !platform::SeekStream(image, 0)) {
        message = L" Yaffs2 image cannot be read";
        return false;
    }
    if (sectorSize == 0) {
        message = L" Yaffs2 image has no sector size to be padded to";
        return false;
    }
    if (size == 0 || size % (page + spare) != 0) {
        message = L" Yaffs2 image size is not multiple of page size and oob area size";
        return false;
    }
    const uint64_t tail = size % sectorSize;
    const uint64_t padding = tail == 0 ? 0 : sectorSize - tail;

    // The page and its rebuilt spare area go out as one piece.
    std::array<uint8_t, kMaxPageSize + kMaxSpareSize> out;
    std::array<uint8_t, kMaxSpareSize> sourceSpare;
    const auto writeFailed = [&message]() {
        message = L"Unable to write file: " + g_VirtualFileStore.StorePath();
        return false;
    };
    for (uint64_t left = size; left > 0; left -= page + spare) {
        // A large image takes seconds; a stopped run ends within a page.
        if (platform::StopRequested()) {
            message.clear();
            return false;
        }
        std::fill_n(out.begin(), page + spare, 0xFF);
        sourceSpare.fill(0xFF);
        // The size was measured: a short read means the file changed, and
        // the missing bytes must not reach the package as 0xFF.
        if (std::fread(out.data(), 1, page, image) != page ||
            std::fread(sourceSpare.data(), 1, spare, image) != spare) {
            message = L" Yaffs2 image ended before its measured size";
            return false;
        }
        ScatterOobTags(sourceSpare.data(), row.ranges, row.rangeCount, out.data() + page, row.tagBytes);
        checksum ^= XorLe32Words(out.data(), page + spare);
        if (!g_VirtualFileStore.Write(storeName, out.data(), page + spare)) {
            return writeFailed();
        }
    }

    std::array<uint8_t, kPaddingPiece> ones;
    ones.fill(0xFF);
    for (uint64_t left = padding; left > 0;) {
        const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(left, kPaddingPiece));
        if (!g_VirtualFileStore.Write(storeName, ones.data(), piece)) {
            return writeFailed();
        }
        left -= piece;
    }
    return true;
}

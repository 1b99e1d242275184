// The master header at the start of a package of one device, checked field
// by field; for the tests that lay a package out and those that read one the
// tool built.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/PackageBytes.h"

namespace testsupport {

struct MasterHeader {
    std::string version;     // all 12 bytes of the field
    uint16_t spareAreaSize;  // the low 16 bits of the layout's value
    uint16_t sectorSize;
    uint32_t dataLength;  // each of the three length fields
    uint32_t images;      // entries of the device header
};

// Bytes is std::string or std::vector<uint8_t>.
template <class Bytes>
void ExpectMasterHeader(const Bytes& h, const MasterHeader& expected)
{
    ASSERT_GE(h.size(), 0x4Cu);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 12), std::string("Zelmora_KXP\0", 12)) << "magic";
    EXPECT_EQ(std::string(h.begin() + 12, h.begin() + 24), expected.version) << "version";
    EXPECT_EQ(Le16(h, 0x18), expected.spareAreaSize) << "spare area size of the device";
    EXPECT_EQ(Le16(h, 0x1A), 0u) << "spare area size of a second device";
    EXPECT_EQ(Le16(h, 0x20), 11u) << "constant 11";
    EXPECT_EQ(Le16(h, 0x22), expected.sectorSize) << "sector size";
    for (const size_t at : {size_t{0x24}, size_t{0x28}, size_t{0x2C}}) {
        EXPECT_EQ(Le32(h, at), expected.dataLength) << "data length at " << at;
    }
    EXPECT_EQ(Le32(h, 0x30), 0u) << "reserved word";
    EXPECT_EQ(Le32(h, 0x34), 1u) << "number of devices";
    EXPECT_EQ(Le32(h, 0x38), 1u) << "constant 1";
    EXPECT_EQ(Le32(h, 0x3C), 76u) << "offset of the device header";
    EXPECT_EQ(Le32(h, 0x40), 320u + 52 * expected.images) << "end of the device's entries";
    EXPECT_EQ(Le32(h, 0x44), 0u) << "third device offset";
    EXPECT_EQ(Le32(h, 0x48), 0u) << "fourth device offset";
}

}  // namespace testsupport

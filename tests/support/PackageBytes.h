// Bytes of images and packages for the package tests: varied image
// contents, little-endian fields, and the image checksum worked out apart
// from the code under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// Bytes that differ from one offset to the next, so a misplaced or
// repeated range shows up in a comparison.
inline std::string Pattern(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// The XOR of the little-endian words that start below length, bytes past
// the end of the data counting as 0xFF.
inline uint32_t XorWords(const std::string& data, uint32_t length)
{
    uint32_t sum = 0;
    for (uint32_t i = 0; i < length; i += 4) {
        uint32_t word = 0;
        for (uint32_t b = 0; b < 4; ++b) {
            const uint8_t byte = i + b < data.size() ? static_cast<uint8_t>(data[i + b]) : 0xFF;
            word |= static_cast<uint32_t>(byte) << (8 * b);
        }
        sum ^= word;
    }
    return sum;
}

// Fields of a package held as bytes (std::string or std::vector<uint8_t>).
template <class Bytes>
uint16_t Le16(const Bytes& data, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(data.at(at)) | static_cast<uint8_t>(data.at(at + 1)) << 8);
}

template <class Bytes>
uint32_t Le32(const Bytes& data, size_t at)
{
    return static_cast<uint32_t>(Le16(data, at)) | static_cast<uint32_t>(Le16(data, at + 2)) << 16;
}

}  // namespace testsupport

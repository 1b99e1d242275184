// Little-endian stores and loads of 16- and 32-bit words in byte buffers,
// whatever the host's byte order: every binary record goes through them.
#pragma once

#include <cstdint>

inline void StoreLe16(uint8_t* destination, uint16_t value)
{
    destination[0] = static_cast<uint8_t>(value);
    destination[1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreLe32(uint8_t* destination, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        destination[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline uint16_t LoadLe16(const uint8_t* source)
{
    return static_cast<uint16_t>(source[0] | (source[1] << 8));
}

// Inline: the image checksum reads every word of every image through it.
inline uint32_t LoadLe32(const uint8_t* source)
{
    return static_cast<uint32_t>(source[0]) | (static_cast<uint32_t>(source[1]) << 8) |
           (static_cast<uint32_t>(source[2]) << 16) | (static_cast<uint32_t>(source[3]) << 24);
}

// Decodes an LZMA stand-alone file with xz, a decoder that shares no code
// with the project's encoder.
#pragma once

#include <cstdio>
#include <string>

namespace testsupport {

// The decoded bytes; false when xz is missing or refuses the file.
inline bool XzDecode(const std::string& path, std::string& bytes)
{
    bytes.clear();
    const std::string command = "xz --format=lzma --decompress --stdout '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return false;
    }
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        bytes.append(buffer, got);
    }
    return pclose(pipe) == 0;
}

}  // namespace testsupport

// How a fuzz input becomes a layout file; shared by the fuzzer and the
// regression test that replays its findings, so both read the same bytes.
#pragma once

#include <string>

namespace fuzzinput {

// The reader creates the missing file of an image whose ID_Name holds
// "TIMH", and paths in the input may be absolute or climb out with "..".
// Without separators every such path stays in the layout file's folder.
inline void KeepPathsInside(std::string& bytes)
{
    if (bytes.find("TIMH") == std::string::npos) {
        return;
    }
    for (char& c : bytes) {
        if (c == '/' || c == '\\') {
            c = '_';
        }
    }
}

}  // namespace fuzzinput

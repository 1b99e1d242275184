// How a fuzz input becomes the files it stands for; shared by the fuzzers
// and the regression tests that replay their findings, so both read the
// same bytes.
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

// An input of the older-format conversion: the older-format layout file,
// then this line and the flasher settings file. Without the line there is
// no flasher settings file.
inline constexpr char kFlasherSeparator[] = "\n=== flasher settings file ===\n";
// The file name the layouts of the seeds give their flasher settings file;
// the second part of the input is written under it.
inline constexpr char kFlasherFileName[] = "flasher.ini";

// Splits an input of the older-format conversion; true when it holds a
// flasher settings file. The layout loses its separators: the flasher
// settings file it names and the image files of its copy stay in the folder
// the input's files are written to.
inline bool SplitOldLayoutInput(const std::string& bytes, std::string& layout, std::string& flasher)
{
    const size_t at = bytes.find(kFlasherSeparator);
    layout = bytes.substr(0, at);
    flasher = at == std::string::npos ? std::string() : bytes.substr(at + sizeof kFlasherSeparator - 1);
    for (char& c : layout) {
        if (c == '/' || c == '\\') {
            c = '_';
        }
    }
    return at != std::string::npos;
}

}  // namespace fuzzinput

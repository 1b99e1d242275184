// How a fuzz input becomes the files it stands for; shared by the fuzzers
// and the regression tests that replay their findings, so both read the
// same bytes.
#pragma once

#include <cstring>
#include <string>

namespace fuzzinput {

// Turns every '/' and '\\' into '_'. Each is looked for with memchr: this
// runs over every byte of every input.
inline void DropSeparators(std::string& bytes)
{
    for (const char separator : {'/', '\\'}) {
        char* at = &bytes[0];
        char* const end = at + bytes.size();
        while (at < end && (at = static_cast<char*>(std::memchr(at, separator, static_cast<size_t>(end - at))))) {
            *at++ = '_';
        }
    }
}

// The reader creates the missing file of an image whose ID_Name holds
// "TIMH", and paths in the input may be absolute or climb out with "..".
// Without separators every such path stays in the layout file's folder.
inline void KeepPathsInside(std::string& bytes)
{
    if (bytes.find("TIMH") == std::string::npos) {
        return;
    }
    DropSeparators(bytes);
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
    DropSeparators(layout);
    return at != std::string::npos;
}

}  // namespace fuzzinput

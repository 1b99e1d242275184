// Layout files and package reading for the tests that run the tool: a
// layout file written from a small description, the tool run on it, and the
// package's image entries read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/PackageBytes.h"
#include "support/TestSupport.h"

namespace testsupport {

inline constexpr uint32_t kSector = 8192;

struct Image {
    Image(std::string tag_, std::string id_, std::string fileName_, std::string bytes_,
          std::string entryAddress_ = "0x00100000", std::string type_ = "RAW", bool enable_ = true,
          std::string extra_ = "", bool writeFile_ = true)
        : tag(std::move(tag_)), id(std::move(id_)), fileName(std::move(fileName_)), bytes(std::move(bytes_)),
          entryAddress(std::move(entryAddress_)), type(std::move(type_)), enable(enable_), extra(std::move(extra_)),
          writeFile(writeFile_)
    {
    }

    std::string tag;
    std::string id;  // Image_ID text
    std::string fileName;
    std::string bytes;
    std::string entryAddress;
    std::string type;
    bool enable;
    std::string extra;  // more "N_Image_..." keys, each "Key = value\n"
    bool writeFile;     // false: the test provides what the path names
};

struct Layout {
    std::string processor = "NLT122";
    std::string family = "eMMC";
    std::string version = "V3.0.0";
    std::string flash;     // more [Flash_Properties] lines
    std::string sections;  // whole sections after [Flash_Properties]
    std::vector<Image> images;
};

// Writes the layout file and its image files into the tool's folder.
inline std::string WriteLayout(const ToolCopy& tool, const Layout& layout, const std::string& name = "layout.blf")
{
    std::string text = "[BLF_Version]\nBlf_Version_Number = " + layout.version + "\n";
    text += "[TIM_Configuration]\nProcessor_Type = " + layout.processor + "\n";
    text += "Number_of_Images = " + std::to_string(layout.images.size()) + "\n";
    text += "[Flash_Properties]\nFlash_Family = " + layout.family + "\n" + layout.flash;
    text += layout.sections;
    text += "[Image_List]\n";
    for (size_t i = 0; i < layout.images.size(); ++i) {
        const Image& image = layout.images[i];
        const std::string key = std::to_string(i + 1) + "_Image_";
        text += key + "Enable = " + (image.enable ? "1" : "0") + "\n";
        text += key + "ID_Name = " + image.tag + "\n";
        text += key + "Image_ID = " + image.id + "\n";
        text += key + "Path = " + image.fileName + "\n";
        text += key + "Flash_Entry_Address = " + image.entryAddress + "\n";
        text += key + "Type = " + image.type + "\n";
        std::string extra = image.extra;
        for (size_t at = 0; !extra.empty() && at < extra.size();) {
            text += key + extra.substr(at, extra.find('\n', at) + 1 - at);
            at = extra.find('\n', at) + 1;
        }
        if (image.writeFile) {
            WriteFile(tool.Folder() + "/" + image.fileName, image.bytes);
        }
    }
    WriteFile(tool.Folder() + "/" + name, text);
    return name;
}

inline uint32_t RoundUp4(size_t n)
{
    return static_cast<uint32_t>((n + 3) / 4 * 4);
}

inline uint32_t Checksum(const std::string& bytes)
{
    return XorWords(bytes, RoundUp4(bytes.size()));
}

inline uint32_t Sectors(size_t n)
{
    return static_cast<uint32_t>((n + kSector - 1) / kSector);
}

struct Entry {
    uint32_t imageId, inTim, partition, eraseSize, commands, firstSector, length, flashStart, checksum;
    std::string reserved;
};

inline Entry ReadEntry(const std::string& package, uint32_t index)
{
    const size_t at = 320 + 52 * index;
    return Entry{Le32(package, at),      Le32(package, at + 4),  Le32(package, at + 8),
                 Le32(package, at + 12), Le32(package, at + 16), Le32(package, at + 20),
                 Le32(package, at + 24), Le32(package, at + 28), Le32(package, at + 48),
                 package.substr(at + 32, 16)};
}

inline const std::string kSuccess = "\nTarvok for WEB successfully....\n";

inline bool Succeeded(const RunResult& r)
{
    return r.exitCode == 0 && r.out.size() >= kSuccess.size() &&
           r.out.compare(r.out.size() - kSuccess.size(), kSuccess.size(), kSuccess) == 0;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Runs the tool on the layout with "-o out.kxp" and the extra arguments.
inline RunResult Build(const ToolCopy& tool, const std::string& layoutName, std::vector<std::string> extra = {})
{
    std::vector<std::string> args = {"-f", layoutName, "-i", "0x100000", "-o", "out.kxp"};
    args.insert(args.end(), extra.begin(), extra.end());
    return tool.Run(args);
}

// The work files and folders of a run, all gone once it ends.
inline void ExpectWorkFilesGone(const ToolCopy& tool)
{
    for (const char* name : {"temp", "AbsBlfTemp", "TempSplit", "kxp.bin", "Tarvok_WEB.lock"}) {
        EXPECT_FALSE(FileExists(tool.Folder() + "/" + name)) << name;
    }
}

}  // namespace testsupport

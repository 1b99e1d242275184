// The work files and folders belong to the run: what already stands at their
// names in the program's folder (a link, a folder) is never written through.
// The links are put there before the tool starts, as the processing context
// makes "temp", "AbsBlfTemp" and the store file at start-up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/PackageLayout.h"

using namespace testsupport;

namespace {

// The builds that make each kind of work file.
enum class Build { kPlain, kCompressed, kOldFormat, kSplit, kMissingTimh };

// An older-format layout of one image and the flasher settings it names.
void WriteOldFormatLayout(const ToolCopy& tool)
{
    WriteFile(tool.Folder() + "/flasher.ini",
              "[DEV_HEADER_0]\nBlock_Size_0 = 0x20000\nFlashFamily = NAND\nNumber_of_Blocks_0 = 1024\n"
              "Data Area Size = 2048\nSpare Area Size = 64\n[INTEL_FLASHER_INPUT_FILE]\nKXP_Sector_Size = 8192\n");
    WriteFile(tool.Folder() + "/a.bin", Pattern(3 * kSector + 7, 1));
    const std::string k = "1 Image ";
    WriteFile(tool.Folder() + "/old.blf",
              "[TIM Configuration]\nVersion = 0x00030102\nTrusted = 0\nIssue Date = 0x20240101\n"
              "OEM UniqueID = 0x12345678\nProcessor Type = NLT07x\nBoot Flash Signature = 0x4E414E0D\n"
              "Number of Images = 1\nNumber of Keys = 0\n"
              "[Varsic Flasher Properties]\nFlash Configuration File Path = flasher.ini\n[Image List]\n" +
                  k + "Enable = 1\n" + k + "ID Name = AAAA\n" + k + "Image ID = 0x41414141\n" + k +
                  "Next Image ID = 0xFFFFFFFF\n" + k + "Path = a.bin\n" + k + "Flash Entry Address = 0x00100000\n" +
                  k + "Load Address = 0xFFFFFFFF\n" + k + "Type = RAW\n" + k + "Erase Size = 0x40000\n" + k +
                  "Partition Number = 1\n" + k + "Image Size To CRC in bytes = 0\n");
}

// Writes the build's layout and images; the tool's arguments.
std::vector<std::string> Prepare(const ToolCopy& tool, Build build)
{
    std::string split = "0x100000";
    std::string layoutName = "layout.blf";
    Layout layout;
    switch (build) {
    case Build::kPlain:
        layout.images = {{"KERN", "0x4B45524E", "kern.bin", Pattern(5000, 8)}};
        break;
    case Build::kCompressed:
        // The platform that compresses its LZMA-typed images.
        layout.processor = "NLT118";
        layout.images = {{"ROOT", "0x524F4F54", "root.bin", Pattern(40000, 3), "0x00100000", "RAW_LZMA"}};
        break;
    case Build::kOldFormat:
        WriteOldFormatLayout(tool);
        layoutName = "old.blf";
        break;
    case Build::kSplit:
        // Split by the command line's size: parts "1_big.bin" and on.
        layout.processor = "NLT115";
        layout.images = {{"BIGI", "0x42494749", "big.bin", Pattern(2 * 0x20000 + 100, 1), "0x00200000"}};
        split = "0x20000";
        break;
    case Build::kMissingTimh:
        // Its file is made empty in "temp", as its folder cannot take it;
        // the build then refuses the image.
        layout.images = {{"TIMH", "0x54494D48", "missing/timh.bin", "", "0x00000000", "RAW", true, "", false}};
        break;
    }
    if (build != Build::kOldFormat) {
        WriteLayout(tool, layout, layoutName);
    }
    return {"-f", layoutName, "-i", split, "-o", "out.kxp"};
}

// What is put at the work file's name before the run.
// A second name of the user's read-only file (kReadOnlyFileLink) must leave
// that file's mode as it was.
enum class Standing { kLinkToFile, kDanglingLink, kLinkToFolder, kFolder, kReadOnlyFileLink };

void Plant(const std::string& path, Standing standing, const std::string& elsewhere)
{
    // The work folder the name lies in, when it is not itself the name.
    const std::string parent = path.substr(0, path.rfind('/'));
    mkdir(parent.c_str(), 0777);
    switch (standing) {
    case Standing::kLinkToFile:
        ASSERT_EQ(symlink((elsewhere + "/victim").c_str(), path.c_str()), 0);
        break;
    case Standing::kDanglingLink:
        ASSERT_EQ(symlink((elsewhere + "/missing").c_str(), path.c_str()), 0);
        break;
    case Standing::kLinkToFolder:
        ASSERT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
        break;
    case Standing::kFolder:
        ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
        break;
    case Standing::kReadOnlyFileLink:
        ASSERT_EQ(chmod((elsewhere + "/victim").c_str(), 0444), 0);
        ASSERT_EQ(link((elsewhere + "/victim").c_str(), path.c_str()), 0);
        break;
    }
}

unsigned ModeOf(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<unsigned>(info.st_mode & 07777) : 0;
}

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(WorkFileTest, WhatStandsAtAWorkFilesNameIsNeverWrittenThrough)
{
    struct Case {
        const char* name;  // in the program's folder
        Build build;
        Standing standing;
        // Empty: the run ends as a run without it does, with the same
        // package. Otherwise it fails with this text ("@" for the program's
        // folder).
        std::string failure;
    };
    const char* const kNotRegular = ", which is not a regular file.\n";
    const Case cases[] = {
        {"temp/BinFile.bin", Build::kPlain, Standing::kLinkToFile, ""},
        {"temp/BinFile.bin", Build::kPlain, Standing::kDanglingLink, ""},
        {"AbsBlfTemp/root.bin.lzma", Build::kCompressed, Standing::kLinkToFile, ""},
        {"AbsBlfTemp/root.bin.lzma", Build::kCompressed, Standing::kDanglingLink, ""},
        {"AbsBlfTemp/Cvt_old.blf", Build::kOldFormat, Standing::kLinkToFile, ""},
        {"temp/1_big.bin", Build::kSplit, Standing::kLinkToFile, ""},
        {"temp/2_big.bin", Build::kSplit, Standing::kDanglingLink, ""},
        {"temp/timh.bin", Build::kMissingTimh, Standing::kLinkToFile, ""},
        {"temp", Build::kSplit, Standing::kLinkToFolder, ""},
        {"AbsBlfTemp", Build::kCompressed, Standing::kLinkToFolder, ""},
        {"AbsBlfTemp", Build::kOldFormat, Standing::kLinkToFolder, ""},
        {"kxp.bin", Build::kPlain, Standing::kLinkToFile, ""},
        {"kxp.bin", Build::kPlain, Standing::kDanglingLink, ""},
        {"kxp.bin", Build::kPlain, Standing::kReadOnlyFileLink, ""},
        {"temp/users.bin", Build::kPlain, Standing::kReadOnlyFileLink, ""},
        {"AbsBlfTemp/users.bin", Build::kCompressed, Standing::kReadOnlyFileLink, ""},
        {"temp/BinFile.bin", Build::kPlain, Standing::kReadOnlyFileLink, ""},
        {"temp/BinFile.bin", Build::kPlain, Standing::kFolder,
         std::string("Unable to replace @/temp/BinFile.bin") + kNotRegular + "DoTarvokfileforWebUpgrade failed.\n"},
        {"AbsBlfTemp/root.bin.lzma", Build::kCompressed, Standing::kFolder,
         std::string("Unable to replace @/AbsBlfTemp/root.bin.lzma") + kNotRegular +
             "Can not open output file\nCompress file failed:@/root.bin\nCompressSpecLzmaImage failed.\n"},
        {"AbsBlfTemp/Cvt_old.blf", Build::kOldFormat, Standing::kFolder,
         std::string("Unable to replace @/AbsBlfTemp/Cvt_old.blf") + kNotRegular +
             "Unable to write file: @/AbsBlfTemp/Cvt_old.blf\n"},
        {"temp/1_big.bin", Build::kSplit, Standing::kFolder,
         std::string("Unable to replace @/temp/1_big.bin") + kNotRegular},
        {"temp/timh.bin", Build::kMissingTimh, Standing::kFolder,
         std::string("Unable to replace @/temp/timh.bin") + kNotRegular},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + std::string(" ") + std::to_string(static_cast<int>(c.standing)));
        const ToolCopy tool;
        const std::vector<std::string> args = Prepare(tool, c.build);
        const RunResult alone = tool.Run(args);
        const bool built = Succeeded(alone);
        ASSERT_EQ(built, c.build != Build::kMissingTimh) << alone.out << alone.err;
        const std::string package = built ? ReadFile(tool.Folder() + "/out.kxp") : std::string();
        ASSERT_TRUE(!built || unlink((tool.Folder() + "/out.kxp").c_str()) == 0);

        const TempFolder elsewhere;
        WriteFile(elsewhere.File("victim"), "not the run's");
        Plant(tool.Folder() + "/" + c.name, c.standing, elsewhere.Path());
        const unsigned victimMode = ModeOf(elsewhere.File("victim"));
        const RunResult r = tool.Run(args);
        if (c.failure.empty()) {
            EXPECT_EQ(r.exitCode, alone.exitCode);
            EXPECT_EQ(r.out, alone.out);
            EXPECT_EQ(r.err, alone.err);
            EXPECT_EQ(FileExists(tool.Folder() + "/out.kxp"), built);
            EXPECT_TRUE(!built || ReadFile(tool.Folder() + "/out.kxp") == package);
        } else {
            std::string failure = c.failure;
            for (size_t at; (at = failure.find('@')) != std::string::npos;) {
                failure.replace(at, 1, tool.Folder());
            }
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(Contains(r.out, failure)) << r.out;
            EXPECT_FALSE(FileExists(tool.Folder() + "/out.kxp"));
        }
        // Compared whole: a victim overwritten with package bytes would flood
        // the log.
        EXPECT_TRUE(ReadFile(elsewhere.File("victim")) == "not the run's");
        EXPECT_EQ(Entries(elsewhere.Path()), std::set<std::string>{"victim"});
        EXPECT_EQ(ModeOf(elsewhere.File("victim")), victimMode);
        ExpectWorkFilesGone(tool);
    }
}

}  // namespace

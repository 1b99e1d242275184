// Bad inputs through the tool: each run fails with exit 1 and a message
// that names the problem, leaves no package behind and changes no file that
// was there before it, byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/PackageLayout.h"
#include "support/RsaTestKeys.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

// Every entry under the folder: a regular file by its bytes, a link by its
// target, anything else by its kind. Links are not followed.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).string();
        if (entry.is_symlink()) {
            entries[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            entries[name] = ReadFile(entry.path().string());
        } else {
            entries[name] = entry.is_directory() ? "folder" : "other";
        }
    }
    return entries;
}

// One enabled image, "a.bin", on a platform that neither splits nor
// compresses.
std::string PlainLayout(const ToolCopy& tool)
{
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "a.bin", "ABCDE"}};
    return WriteLayout(tool, layout);
}

// The plain layout with a second image at the path, which the test makes.
std::string ImageLayout(const ToolCopy& tool, const std::string& imagePath)
{
    Layout layout;
    layout.images = {{"AAAA", "0x41414141", "a.bin", "ABCDE"},
                     {"BBBB", "0x42424242", imagePath, "", "0x00200000", "RAW", true, "", false}};
    return WriteLayout(tool, layout);
}

std::vector<std::string> Args(const std::string& layout, std::vector<std::string> extra = {})
{
    std::vector<std::string> args = {"-f", layout, "-i", "0x100000"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

struct BadInput {
    const char* name;
    // Prepares the tool's folder and gives the run's arguments.
    std::function<std::vector<std::string>(const ToolCopy&)> prepare;
    std::string message;  // a part of standard output or error
};

// One case per test, so that the runs go side by side.
const std::vector<BadInput> kBadInputs = {
    {"layout is a device", [](const ToolCopy&) { return Args("/dev/zero"); }, "Open blf file failed"},
    {"layout is a link to a device",
     [](const ToolCopy& tool) {
         symlink("/dev/zero", (tool.Folder() + "/zero.blf").c_str());
         return Args("zero.blf");
     },
     "Open blf file failed"},
    {"layout is a FIFO",
     [](const ToolCopy& tool) {
         mkfifo((tool.Folder() + "/fifo.blf").c_str(), 0600);
         return Args("fifo.blf");
     },
     "Open blf file failed"},
    {"layout saved as UTF-16",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/wide.blf", std::string("\xff\xfe[\0T\0", 6));
         return Args("wide.blf");
     },
     "wide.blf is UTF-16 text; it must be saved as UTF-8"},
    {"image is a device", [](const ToolCopy& tool) { return Args(ImageLayout(tool, "/dev/zero")); },
     "Error: image file /dev/zero is not a regular file.\n"},
    {"image is a link to a device",
     [](const ToolCopy& tool) {
         symlink("/dev/urandom", (tool.Folder() + "/random.bin").c_str());
         return Args(ImageLayout(tool, "random.bin"));
     },
     "random.bin is not a regular file.\n"},
    {"image is a FIFO",
     [](const ToolCopy& tool) {
         mkfifo((tool.Folder() + "/fifo.bin").c_str(), 0600);
         return Args(ImageLayout(tool, "fifo.bin"));
     },
     "fifo.bin is not a regular file.\n"},
    {"output is the layout file",
     [](const ToolCopy& tool) { return Args(PlainLayout(tool), {"-o", "layout.blf"}); },
     "is the layout file "},
    {"output is a link to the layout file",
     [](const ToolCopy& tool) {
         const std::string layout = PlainLayout(tool);
         symlink("layout.blf", (tool.Folder() + "/out.kxp").c_str());
         return Args(layout, {"-o", "out.kxp"});
     },
     "is the layout file "},
    {"output is a hard link to an image file",
     [](const ToolCopy& tool) {
         const std::string layout = PlainLayout(tool);
         link((tool.Folder() + "/a.bin").c_str(), (tool.Folder() + "/out.kxp").c_str());
         return Args(layout, {"-o", "out.kxp"});
     },
     "is the image file "},
    {"output is the key file",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/key.pem", Pem(RsaKey(1024), PemForm::kTraditional));
         return Args(PlainLayout(tool), {"-s", "key.pem", "-o", "key.pem"});
     },
     "is the key file "},
    {"output is the program",
     [](const ToolCopy& tool) { return Args(PlainLayout(tool), {"-o", "Tarvok_WEB"}); }, "is the program "},
    {"output is the layout file, without -o",
     [](const ToolCopy& tool) {
         const std::string layout = PlainLayout(tool);
         fs::rename(tool.Folder() + "/" + layout, tool.Folder() + "/kxp.bin");
         return Args("kxp.bin");
     },
     "kxp.bin is the layout file "},
    {"output in temp", [](const ToolCopy& tool) { return Args(PlainLayout(tool), {"-o", "temp/out.kxp"}); },
     "/temp/out.kxp is in the work folder "},
    {"output in AbsBlfTemp",
     [](const ToolCopy& tool) { return Args(PlainLayout(tool), {"-o", "AbsBlfTemp/out.kxp"}); },
     "is in the work folder "},
    {"output in TempSplit",
     [](const ToolCopy& tool) { return Args(PlainLayout(tool), {"-o", "sub/../TempSplit/out.kxp"}); },
     "is in the work folder "},
    {"output in temp through a link",
     [](const ToolCopy& tool) {
         symlink("temp", (tool.Folder() + "/work").c_str());
         return Args(PlainLayout(tool), {"-o", "work/out.kxp"});
     },
     "/work/out.kxp is in the work folder "},
    {"key file is a FIFO",
     [](const ToolCopy& tool) {
         mkfifo((tool.Folder() + "/key.pem").c_str(), 0600);
         return Args(PlainLayout(tool), {"-s", "key.pem"});
     },
     "key.pem is not a regular file.\n\n"},
    {"key file is a device", [](const ToolCopy& tool) { return Args(PlainLayout(tool), {"-s", "/dev/zero"}); },
     "private key file /dev/zero is not a regular file.\n\n"},
    {"key file is a folder, with an existing output",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/out.kxp", "the user's file");
         return Args(PlainLayout(tool), {"-s", tool.Folder(), "-o", "out.kxp"});
     },
     "is not a regular file.\n\n"},
    {"EC key, with an existing output",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/out.kxp", "the user's file");
         WriteFile(tool.Folder() + "/key.pem", Pem(TestKey("EC"), PemForm::kPkcs8));
         return Args(PlainLayout(tool), {"-s", "key.pem", "-o", "out.kxp"});
     },
     "holds no RSA private key (key kind: EC).\n\n"},
    {"public key",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/key.pem", Pem(RsaKey(1024), PemForm::kPublic));
         return Args(PlainLayout(tool), {"-s", "key.pem"});
     },
     "(key kind: public key).\n\n"},
    {"key too short to sign, with an existing output",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/out.kxp", "the user's file");
         WriteFile(tool.Folder() + "/key.pem", Pem(RsaKey(256), PemForm::kTraditional));
         return Args(PlainLayout(tool), {"-s", "key.pem", "-o", "out.kxp"});
     },
     "paddingsize is smaller than 0\nCalc signature failed\nTarvok for WEB failed......\n"},
    {"missing key, with an existing output that is the intermediate",
     [](const ToolCopy& tool) {
         WriteFile(tool.Folder() + "/kxp.bin", "the user's file");
         return Args(PlainLayout(tool), {"-s", "key.pem"});
     },
     "failed.\n\npaddingsize is smaller than 0\nCalc signature failed\nTarvok for WEB failed......\n"},
};

void PrintTo(const BadInput& c, std::ostream* os)
{
    *os << c.name;
}

class RefusedInputTest : public testing::TestWithParam<BadInput> {};

TEST_P(RefusedInputTest, RefusedWithoutTouchingAnyFile)
{
    const BadInput& c = GetParam();
    const ToolCopy tool;
    const std::vector<std::string> args = c.prepare(tool);
    const std::map<std::string, std::string> before = Snapshot(tool.Folder());
    const RunResult r = tool.Run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out + r.err, c.message)) << r.out << r.err;
    EXPECT_EQ(Snapshot(tool.Folder()), before);
}

std::string CaseName(const testing::TestParamInfo<BadInput>& info)
{
    std::string name = info.param.name;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(BadInputs, RefusedInputTest, testing::ValuesIn(kBadInputs), CaseName);

TEST(BadInputTest, LayoutWithAUtf8ByteOrderMarkBuilds)
{
    const ToolCopy tool;
    const std::string name = PlainLayout(tool);
    const std::string path = tool.Folder() + "/" + name;
    // The mark stands before the first section header.
    WriteFile(path, "\xef\xbb\xbf" + ReadFile(path));
    const RunResult r = tool.Run(Args(name, {"-o", "out.kxp"}));
    ASSERT_TRUE(Succeeded(r)) << r.out << r.err;
    EXPECT_EQ(Le32(ReadFile(tool.Folder() + "/out.kxp"), 76 + 240), 1u);
}

}  // namespace

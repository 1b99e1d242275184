// Runs that are disturbed: a second run of the same program copy, a failure
// after the build, a FIFO without a reader, a stop signal. The package
// appears whole or not at all, an existing output stays as it was until the
// finished package replaces it, and the program's folder keeps nothing of a
// run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/PackageLayout.h"
#include "support/RsaTestKeys.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kCompressingProcessor[] = "NLT118";
const char kWaitLine[] = "Another run of this program is working in its folder; waiting for it to finish...\n";
const std::string kOldOutput = "the package of an earlier run";

// The layout and its images in a folder of their own, so that the
// program's folder holds only the program and what a run leaves there.
struct Inputs {
    TempFolder folder;
    std::string layout;
};

void MakeInputs(Inputs& inputs, const std::string& processor, const std::string& type, size_t imageBytes,
                bool sparse)
{
    const std::string image = inputs.folder.File("image.bin");
    if (sparse) {
        WriteFile(image, "");
        if (truncate(image.c_str(), static_cast<off_t>(imageBytes)) != 0) throw std::runtime_error("truncate");
    } else {
        WriteFile(image, Pattern(imageBytes, 7));
    }
    inputs.layout = inputs.folder.File("layout.blf");
    WriteFile(inputs.layout, "[BLF_Version]\nBlf_Version_Number = V3.0.0\n[TIM_Configuration]\nProcessor_Type = " +
                                 processor +
                                 "\nNumber_of_Images = 1\n[Flash_Properties]\nFlash_Family = eMMC\n"
                                 "Max_OTA_Image_Size = 0x7FFFFFFF\n[Image_List]\n1_Image_Enable = 1\n"
                                 "1_Image_ID_Name = ROOT\n1_Image_Image_ID = 0x524F4F54\n1_Image_Path = " +
                                 image + "\n1_Image_Flash_Entry_Address = 0x00100000\n1_Image_Type = " + type + "\n");
}

std::vector<std::string> Args(const Inputs& inputs, const std::string& output, std::vector<std::string> extra = {})
{
    std::vector<std::string> args = {"-f", inputs.layout, "-i", "0x100000", "-o", output};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::set<std::string> Entries(const std::string& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A folder on another file system than the program's: the package is then
// copied there, not renamed. Empty when the machine has none.
std::string OtherFileSystemFolder(const ToolCopy& tool)
{
    struct stat shm, ours;
    if (stat("/dev/shm", &shm) != 0 || stat(tool.Folder().c_str(), &ours) != 0 || shm.st_dev == ours.st_dev) {
        return std::string();
    }
    char pattern[] = "/dev/shm/tarvok-test-XXXXXX";
    return mkdtemp(pattern) ? std::string(pattern) : std::string();
}

struct RemovedFolder {
    std::string path;
    ~RemovedFolder()
    {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

TEST(DisturbedRunTest, TwoRunsOfOneCopyTakeTurnsAndTwoCopiesDoNot)
{
    const ToolCopy tool, otherTool;
    Inputs inputs;
    // Compressing takes long enough for the runs to meet.
    MakeInputs(inputs, kCompressingProcessor, "RAW_LZMA", 3 << 20, false);
    const RunResult solo = tool.Run(Args(inputs, "solo.kxp"), inputs.folder.Path());
    ASSERT_TRUE(Succeeded(solo)) << solo.out << solo.err;
    const std::string expected = ReadFile(tool.File("solo.kxp"));

    const int first = tool.Start(Args(inputs, "first.kxp"), inputs.folder.Path(), -1, "first");
    const int other = otherTool.Start(Args(inputs, "other.kxp"), inputs.folder.Path(), -1, "other");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int second = tool.Start(Args(inputs, "second.kxp"), inputs.folder.Path(), -1, "second");
    const RunResult a = tool.Wait(first, "first"), b = tool.Wait(second, "second");
    const RunResult c = otherTool.Wait(other, "other");

    ASSERT_TRUE(Succeeded(a)) << a.out << a.err;
    ASSERT_TRUE(Succeeded(b)) << b.out << b.err;
    ASSERT_TRUE(Succeeded(c)) << c.out << c.err;
    EXPECT_TRUE(ReadFile(tool.File("first.kxp")) == expected);
    EXPECT_TRUE(ReadFile(tool.File("second.kxp")) == expected);
    EXPECT_TRUE(ReadFile(otherTool.File("other.kxp")) == expected);
    EXPECT_TRUE(Contains(a.out + b.out, kWaitLine)) << a.out << b.out;
    EXPECT_FALSE(Contains(c.out, kWaitLine));
    EXPECT_EQ(Entries(tool.Folder()), (std::set<std::string>{"Tarvok_WEB", "solo.kxp", "first.kxp", "second.kxp"}));
}

TEST(DisturbedRunTest, AFailureAfterTheBuildLeavesTheOldOutput)
{
    struct Case {
        const char* name;
        bool otherFileSystem;
        bool key;
        long long limitPastPackage;  // the file size limit past the unsigned package's size; -1 none
        bool succeeds;
    };
    const Case cases[] = {
        {"no room for the signature sector", false, true, 100, false},
        {"no room for the signature sector, output on another file system", true, true, 100, false},
        {"output on another file system", true, false, -1, true},
        {"signed, output on another file system", true, true, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolCopy tool;
        Inputs inputs;
        MakeInputs(inputs, "NLT122", "RAW", 300000, false);
        WriteFile(inputs.folder.File("key.pem"), Pem(TestKey("1024"), PemForm::kTraditional));
        const std::vector<std::string> key = c.key ? std::vector<std::string>{"-s", inputs.folder.File("key.pem")}
                                                   : std::vector<std::string>{};
        const RunResult plain = tool.Run(Args(inputs, "plain.kxp", key), inputs.folder.Path());
        ASSERT_TRUE(Succeeded(plain)) << plain.out;
        const std::string expected = ReadFile(tool.File("plain.kxp"));
        fs::remove(tool.File("plain.kxp"));

        RemovedFolder other{c.otherFileSystem ? OtherFileSystemFolder(tool) : std::string()};
        if (c.otherFileSystem && other.path.empty()) {
            continue;  // no second file system here
        }
        const std::string folder = c.otherFileSystem ? other.path : tool.Folder();
        const std::string output = folder + "/out.kxp";
        WriteFile(output, kOldOutput);
        const long long unsignedSize = static_cast<long long>(expected.size()) - (c.key ? kSector : 0);
        const RunResult r = tool.Run(Args(inputs, output, key), inputs.folder.Path(),
                                     c.limitPastPackage < 0 ? -1 : unsignedSize + c.limitPastPackage);
        if (c.succeeds) {
            EXPECT_TRUE(Succeeded(r)) << r.out;
            EXPECT_TRUE(ReadFile(output) == expected);
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_TRUE(Contains(r.out, "Write file failed:" + output + "\n")) << r.out;
            EXPECT_EQ(ReadFile(output), kOldOutput);
        }
        EXPECT_EQ(Entries(folder).size(), c.otherFileSystem ? 1u : 2u) << "a temporary file was left";
        ExpectWorkFilesGone(tool);
    }
}

TEST(DisturbedRunTest, AFifoWithoutAReaderFailsAtOnce)
{
    const ToolCopy tool;
    Inputs inputs;
    MakeInputs(inputs, "NLT122", "RAW", 20000, false);
    const std::string fifo = tool.File("out.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const Clock::time_point start = Clock::now();
    const RunResult r = tool.Run(Args(inputs, fifo), inputs.folder.Path());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "Open file failed:" + fifo + " has no reader\n")) << r.out;
    ExpectWorkFilesGone(tool);
}

// A stop signal in the middle of a long step: compressing a large image,
// or copying the package to another file system.
struct StopCase {
    const char* name;
    int signal;
    bool duringCopy;
};

class StopSignalTest : public testing::TestWithParam<StopCase> {};

TEST_P(StopSignalTest, EndsSoonLeavingNothingBehind)
{
    const StopCase& c = GetParam();
    const ToolCopy tool;
    Inputs inputs;
    RemovedFolder other{c.duringCopy ? OtherFileSystemFolder(tool) : std::string()};
    if (c.duringCopy && other.path.empty()) {
        GTEST_SKIP() << "no second file system here";
    }
    if (c.duringCopy) {
        MakeInputs(inputs, "NLT122", "RAW", size_t(192) << 20, true);
    } else {
        MakeInputs(inputs, kCompressingProcessor, "RAW_LZMA", size_t(48) << 20, false);
    }
    const std::string folder = c.duringCopy ? other.path : tool.Folder();
    const std::string output = folder + "/out.kxp";
    WriteFile(output, kOldOutput);

    const int pid = tool.Start(Args(inputs, output), inputs.folder.Path());
    // Waits for the step: the compressed copy, or the copy beside the
    // output, has appeared.
    const std::string watched = c.duringCopy ? folder : tool.File("AbsBlfTemp");
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    bool seen = false;
    while (!seen && Clock::now() < deadline) {
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(watched, ec)) {
            const std::string name = entry.path().filename().string();
            seen = seen || (c.duringCopy ? name != "out.kxp" : name.size() > 5 &&
                                                                     name.compare(name.size() - 5, 5, ".lzma") == 0);
        }
        if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const Clock::time_point signalled = Clock::now();
    kill(pid, c.signal);
    const RunResult r = tool.Wait(pid);
    const Clock::duration took = Clock::now() - signalled;

    ASSERT_TRUE(seen) << "the step was never seen: " << r.out;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(r.exitCode, 128 + c.signal) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nStopped by signal " + std::to_string(c.signal) + " (")) << r.out;
    EXPECT_EQ(ReadFile(output), kOldOutput);
    if (c.duringCopy) {
        EXPECT_EQ(Entries(folder), (std::set<std::string>{"out.kxp"}));
    }
    const std::set<std::string> left =
        c.duringCopy ? std::set<std::string>{"Tarvok_WEB"} : std::set<std::string>{"Tarvok_WEB", "out.kxp"};
    EXPECT_EQ(Entries(tool.Folder()), left);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest,
                         testing::Values(StopCase{"SIGTERM_while_compressing", SIGTERM, false},
                                         StopCase{"SIGINT_while_compressing", SIGINT, false},
                                         StopCase{"SIGHUP_while_compressing", SIGHUP, false},
                                         StopCase{"SIGTERM_while_copying", SIGTERM, true},
                                         StopCase{"SIGINT_while_copying", SIGINT, true},
                                         StopCase{"SIGHUP_while_copying", SIGHUP, true}),
                         [](const testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });

}  // namespace

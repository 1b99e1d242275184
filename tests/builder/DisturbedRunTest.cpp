// Runs that are disturbed: a second run of the same program copy, a failure
// after the build, a FIFO without a reader, an image swapped for a FIFO
// during the build, a stop signal. The package appears whole or not at all,
// an existing output stays as it was until the finished package replaces
// it, and the program's folder keeps nothing of a run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/PackageLayout.h"
#include "support/RsaTestKeys.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

const char kCompressingProcessor[] = "NLT118";
const char kWaitLine[] = "Another run of this program is working in its folder; waiting for it to finish...\n";
const std::string kOldOutput = "the package of an earlier run";

// The layout and its images in a folder of their own, so that the
// program's folder holds only the program and what a run leaves there.
struct Inputs {
    TempFolder folder;
    std::string layout;
};

// An image of the layout: its file in the inputs' folder and its type.
struct LayoutImage {
    std::string path;
    std::string type;
};

// Writes the layout of the images, with more [Flash_Properties] lines.
void WriteLayoutFile(Inputs& inputs, const std::string& processor, const std::string& flash,
                     const std::vector<LayoutImage>& images)
{
    // Tags, image ids and flash addresses, one row per image.
    static const char* const kEntries[][3] = {{"ROOT", "0x524F4F54", "0x00100000"},
                                              {"KERN", "0x4B45524E", "0x08000000"}};
    std::string text = "[BLF_Version]\nBlf_Version_Number = V3.0.0\n[TIM_Configuration]\nProcessor_Type = " +
                       processor + "\nNumber_of_Images = " + std::to_string(images.size()) +
                       "\n[Flash_Properties]\nFlash_Family = eMMC\nMax_OTA_Image_Size = 0x7FFFFFFF\n" + flash +
                       "[Image_List]\n";
    for (size_t i = 0; i < images.size(); ++i) {
        const std::string key = std::to_string(i + 1) + "_Image_";
        text += key + "Enable = 1\n" + key + "ID_Name = " + kEntries[i][0] + "\n" + key + "Image_ID = " +
                kEntries[i][1] + "\n" + key + "Path = " + images[i].path + "\n" + key +
                "Flash_Entry_Address = " + kEntries[i][2] + "\n" + key + "Type = " + images[i].type + "\n";
    }
    inputs.layout = inputs.folder.File("layout.blf");
    WriteFile(inputs.layout, text);
}

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
    WriteLayoutFile(inputs, processor, "", {{image, type}});
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

// The size of the file; -1 when there is none.
long long SizeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Asks ready() until it holds or the run has ended; true when it held. The
// deadline only ends the wait for a run that hangs (ToolCopy ends its runs
// well before it).
bool WaitWhileRunning(int pid, const std::function<bool()>& ready, const std::string& what)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!ready()) {
        if (ToolCopy::Ended(pid)) {
            return ready();
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "hung: the run is still going and " << what << " never came";
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// How a run that the test will freeze is started: in a session of its own.
// A stopped process in a process group that the kernel finds orphaned (when
// some other process of the group exits) gets SIGHUP and SIGCONT, which
// would stop the run behind the test's back; alone in its own session and
// group, nothing but its own parent's end can orphan it.
RunOptions FreezableRun(const std::string& workingFolder, const std::string& outputName = "run")
{
    RunOptions options;
    options.workingFolder = workingFolder;
    options.outputName = outputName;
    options.newSession = true;
    return options;
}

// Holds a run still (SIGSTOP) until Thaw or the end of the scope, so that
// the test can look at its files and send it signals while it cannot move
// on. Held() is false when the run ended first.
class Frozen {
public:
    explicit Frozen(int pid) : m_Pid(pid)
    {
        kill(pid, SIGSTOP);
        siginfo_t info{};
        m_Held = waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED | WEXITED | WNOWAIT) == 0 &&
                 info.si_code == CLD_STOPPED;
    }
    ~Frozen() { Thaw(); }
    Frozen(const Frozen&) = delete;
    Frozen& operator=(const Frozen&) = delete;

    bool Held() const { return m_Held; }
    void Thaw()
    {
        if (m_Held) {
            kill(m_Pid, SIGCONT);
            m_Held = false;
        }
    }

private:
    int m_Pid;
    bool m_Held = false;
};

// The first run of the copy is held still inside its build, where it holds
// its turn, while meanwhile() runs and a second run is started: the second
// waits until the first has finished, and both build the expected package
// at their output ("first.kxp", "second.kxp"). The runs' results, for
// more checks.
struct TwoRuns {
    RunResult first, second;
};

TwoRuns TakeTurns(const ToolCopy& tool, const Inputs& inputs, const std::string& expected,
                  const std::function<RunOptions(const std::string& name)>& options,
                  const std::function<void()>& meanwhile)
{
    const int first = tool.Start(Args(inputs, "first.kxp"), options("first"));
    const std::string compressed = tool.File("AbsBlfTemp/image.bin.lzma");
    const bool building = WaitWhileRunning(first, [&] { return FileExists(compressed); }, "its compression");
    Frozen frozen(first);
    const bool held = frozen.Held();
    if (held) {
        meanwhile();
    }
    const int second = tool.Start(Args(inputs, "second.kxp"), options("second"));
    const bool waited =
        WaitWhileRunning(second, [&] { return Contains(tool.PrintedSoFar("second"), kWaitLine); }, "the wait line");
    const bool secondGoesOn = !ToolCopy::Ended(second);
    frozen.Thaw();
    TwoRuns runs{tool.Wait(first, "first"), tool.Wait(second, "second")};
    const RunResult &a = runs.first, &b = runs.second;

    EXPECT_TRUE(building && held) << "the first run ended before it was seen building: " << a.out;
    EXPECT_TRUE(Succeeded(a)) << a.out << a.err;
    EXPECT_TRUE(Succeeded(b)) << b.out << b.err;
    EXPECT_TRUE(waited) << b.out;
    EXPECT_TRUE(secondGoesOn) << "the second run ended while the first one held its turn: " << b.out;
    EXPECT_FALSE(Contains(a.out, kWaitLine));
    EXPECT_TRUE(ReadFile(tool.File("first.kxp")) == expected);
    EXPECT_TRUE(ReadFile(tool.File("second.kxp")) == expected);
    return runs;
}

TEST(DisturbedRunTest, TwoRunsOfOneCopyTakeTurnsAndTwoCopiesDoNot)
{
    const ToolCopy tool, otherTool;
    Inputs inputs;
    MakeInputs(inputs, kCompressingProcessor, "RAW_LZMA", 512 << 10, false);
    const RunResult solo = tool.Run(Args(inputs, "solo.kxp"), inputs.folder.Path());
    ASSERT_TRUE(Succeeded(solo)) << solo.out << solo.err;
    const std::string expected = ReadFile(tool.File("solo.kxp"));

    // A run of another copy goes through while the first run of this one
    // holds its folder.
    RunResult c;
    TakeTurns(
        tool, inputs, expected, [&](const std::string& name) { return FreezableRun(inputs.folder.Path(), name); },
        [&] { c = otherTool.Run(Args(inputs, "other.kxp"), inputs.folder.Path()); });
    ASSERT_TRUE(Succeeded(c)) << c.out << c.err;
    EXPECT_TRUE(ReadFile(otherTool.File("other.kxp")) == expected);
    EXPECT_FALSE(Contains(c.out, kWaitLine));
    EXPECT_EQ(Entries(tool.Folder()), (std::set<std::string>{"Tarvok_WEB", "solo.kxp", "first.kxp", "second.kxp"}));
}

// A program folder its user may write but not read (mode 0333) cannot be
// locked itself: two runs of the copy there still take turns, by the lock
// file, which is never an output; where that cannot be had either, the run
// builds nothing.
TEST(DisturbedRunTest, RunsTakeTurnsWhereTheProgramFolderMayNotBeRead)
{
    const ToolCopy tool, plainTool;
    Inputs inputs;
    MakeInputs(inputs, kCompressingProcessor, "RAW_LZMA", size_t(4) << 20, false);
    ASSERT_EQ(chmod(inputs.folder.Path().c_str(), 0755), 0);
    const RunResult plain = plainTool.Run(Args(inputs, "plain.kxp"), inputs.folder.Path());
    ASSERT_TRUE(Succeeded(plain)) << plain.out << plain.err;
    const std::string expected = ReadFile(plainTool.File("plain.kxp"));
    ASSERT_EQ(chmod(tool.Executable().c_str(), 0755), 0);
    ASSERT_EQ(chown(tool.Folder().c_str(), kOtherUser, kOtherGroup), 0);
    ASSERT_EQ(chmod(tool.Folder().c_str(), 0333), 0);
    const auto asOtherUser = [&](const std::string& name) {
        RunOptions options = FreezableRun(inputs.folder.Path(), name);
        options.asOtherUser = true;
        return options;
    };

    TakeTurns(tool, inputs, expected, asOtherUser, [] {});
    EXPECT_EQ(Entries(tool.Folder()),
              (std::set<std::string>{"Tarvok_WEB", "first.kxp", "second.kxp", "kxp.lock"}));

    // The lock file is no output; something else at its name is left alone,
    // and the run stops before it reads the layout file.
    const std::string lockFile = tool.File("kxp.lock");
    const RunResult intoLock = tool.Run(Args(inputs, "kxp.lock"), asOtherUser("lock"));
    EXPECT_EQ(intoLock.exitCode, 1);
    EXPECT_TRUE(Contains(intoLock.out, "Invalid Input,output file " + lockFile + " is the lock file " + lockFile +
                                           "!\n"))
        << intoLock.out;
    EXPECT_EQ(ReadFile(lockFile), "");
    ASSERT_EQ(unlink(lockFile.c_str()), 0);
    ASSERT_EQ(mkfifo(lockFile.c_str(), 0666), 0);
    const RunResult noTurn = tool.Run(Args(inputs, "third.kxp"), asOtherUser("fifo"));
    EXPECT_EQ(noTurn.exitCode, 1);
    EXPECT_TRUE(Contains(noTurn.out, "Unable to lock the program folder " + tool.Folder() + " or its lock file " +
                                         lockFile + ", which keep other runs of this program out: File exists\n"))
        << noTurn.out;
    EXPECT_FALSE(Contains(noTurn.out, "ProcessBLF")) << noTurn.out;
    struct stat st;
    EXPECT_TRUE(lstat(lockFile.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(Entries(tool.Folder()),
              (std::set<std::string>{"Tarvok_WEB", "first.kxp", "second.kxp", "kxp.lock"}));
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

        const OtherFileSystemFolder other =
            c.otherFileSystem ? OtherFileSystemFolder(tool.Folder()) : OtherFileSystemFolder();
        if (c.otherFileSystem && other.Path().empty()) {
            continue;  // no second file system here
        }
        const std::string folder = c.otherFileSystem ? other.Path() : tool.Folder();
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
    const RunResult r = tool.Run(Args(inputs, fifo), inputs.folder.Path());
    EXPECT_NE(r.exitCode, 128 + SIGALRM) << "hung: the run waited for a reader of the FIFO";
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "Open file failed:" + fifo + " has no reader\n")) << r.out;
    ExpectWorkFilesGone(tool);
}

// Whether the process holds the file open, as a run holds an image while it
// compresses it.
bool HoldsOpen(int pid, const std::string& path)
{
    const fs::path file = fs::canonical(path);
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code readError;
        if (fs::read_symlink(entry.path(), readError) == file) {
            return true;
        }
    }
    return false;
}

TEST(DisturbedRunTest, AnImageThatBecomesAFifoAfterTheChecksIsRefusedWithoutWaitingOnIt)
{
    // The second image becomes a FIFO while the run, past its checks, is
    // held in the compression of the first one; it is opened afterwards.
    struct Case {
        const char* name;
        const char* type;   // of the second image
        const char* flash;  // more [Flash_Properties] lines
    };
    const Case cases[] = {
        {"compressed after the first image", "RAW_LZMA", ""},
        {"split after the compression", "RAW", "OTA_Image_Split_Size = 0x20000\n"},
        {"copied into the package", "RAW", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Should the first image's compression be over before the run could
        // be held, the run is made again with a larger first image.
        const std::vector<size_t> sizes = {size_t(2) << 20, size_t(24) << 20};
        for (const size_t firstBytes : sizes) {
            const ToolCopy tool;
            Inputs inputs;
            const std::string first = inputs.folder.File("root.bin");
            const std::string second = inputs.folder.File("kernel.bin");
            WriteFile(first, Pattern(firstBytes, 7));
            WriteFile(second, Pattern(0x30000, 8));
            WriteLayoutFile(inputs, kCompressingProcessor, c.flash, {{first, "RAW_LZMA"}, {second, c.type}});
            RunOptions options = FreezableRun(inputs.folder.Path());
            options.cpu = 0;  // one image compressed after the other
            const int pid = tool.Start(Args(inputs, "out.kxp"), options);
            const std::string compressed = tool.File("AbsBlfTemp/root.bin.lzma");
            WaitWhileRunning(pid, [&] { return FileExists(compressed); }, "the first image's compression");
            bool swapped = false;
            {
                Frozen frozen(pid);
                swapped = frozen.Held() && HoldsOpen(pid, first);
                if (swapped) {
                    ASSERT_EQ(unlink(second.c_str()), 0);
                    ASSERT_EQ(mkfifo(second.c_str(), 0600), 0);
                }
            }
            const RunResult r = tool.Wait(pid);
            if (!swapped && firstBytes != sizes.back()) {
                continue;  // the compression was over too soon
            }
            ASSERT_TRUE(swapped) << "the run was never held in its compression: " << r.out;
            EXPECT_NE(r.exitCode, 128 + SIGALRM) << "hung: the run waited on the FIFO";
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_TRUE(Contains(r.out, "Error: image file " + second + " is not a regular file.\n")) << r.out;
            EXPECT_EQ(Entries(tool.Folder()), (std::set<std::string>{"Tarvok_WEB"}));
            ExpectWorkFilesGone(tool);
            struct stat st;
            EXPECT_TRUE(lstat(second.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "the FIFO did not stay";
            break;
        }
    }
}

// A stop signal while the layout file is parsed, in a step the run shows
// it has begun and not ended when it is held: the run ends as a stop with
// nothing built. Thirty images of one small file, after comment lines that
// make the file large; should the step be over before the run could be
// held, the run is made again with more comment lines.
TEST(DisturbedRunTest, AStopWhileTheLayoutIsParsedEndsTheRunAsAStop)
{
    struct Step {
        const char* name;
        const char* begun;  // the line the step prints first
        const char* ended;  // the line that comes once it is over
    };
    const Step steps[] = {
        {"reserved data", "\nParsing Blf file: ", "begin to parsing Erase Only Area\n"},
        {"image entries", "Number of images in blf file is 30\n", "Complete to parsing image info in blf file\n"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        for (const size_t commentBytes : {size_t(20) << 20, size_t(60) << 20}) {
            const ToolCopy tool;
            Inputs inputs;
            const std::string image = inputs.folder.File("image.bin");
            WriteFile(image, Pattern(4096, 3));
            std::string layout = "[BLF_Version]\nBlf_Version_Number = V3.0.0\n[TIM_Configuration]\n"
                                 "Processor_Type = NLT122\nNumber_of_Images = 30\n[Flash_Properties]\n"
                                 "Flash_Family = eMMC\nMax_OTA_Image_Size = 0x7FFFFFFF\n";
            const std::string comment = "; " + std::string(76, 'c') + "\n";
            for (size_t size = 0; size < commentBytes; size += comment.size()) {
                layout += comment;
            }
            layout += "[Image_List]\n";
            for (int i = 1; i <= 30; ++i) {
                const std::string n = std::to_string(i);
                layout += n + "_Image_ID_Name = IMG" + n + "\n" + n + "_Image_Path = " + image + "\n" + n +
                          "_Image_Flash_Entry_Address = 0x" + std::to_string(i) + "00000\n" + n +
                          "_Image_Type = RAW\n";
            }
            inputs.layout = inputs.folder.File("layout.blf");
            WriteFile(inputs.layout, layout);
            const std::string output = tool.File("out.kxp");
            WriteFile(output, kOldOutput);

            const int pid = tool.Start(Args(inputs, output), FreezableRun(inputs.folder.Path()));
            const bool begun = WaitWhileRunning(
                pid, [&] { return Contains(tool.PrintedSoFar(), step.begun); }, "the step's first line");
            bool inTheStep = false;
            {
                Frozen frozen(pid);
                inTheStep = begun && frozen.Held() && !Contains(tool.PrintedSoFar(), step.ended);
                // Taken once the run goes on again.
                kill(pid, SIGTERM);
            }
            const RunResult r = tool.Wait(pid);
            if (!inTheStep && commentBytes == size_t(20) << 20) {
                continue;  // the step was over too soon
            }
            ASSERT_TRUE(inTheStep) << "the run was never held in the step: " << r.out;
            EXPECT_EQ(r.signal, SIGTERM) << "exit status " << r.exitCode << ": " << r.out;
            EXPECT_TRUE(Contains(r.out, "\nStopped by signal " + std::to_string(SIGTERM) + " (")) << r.out;
            EXPECT_FALSE(Contains(r.out, "ProcessBLF return")) << r.out;
            EXPECT_FALSE(Contains(r.out, kSuccess)) << r.out;
            EXPECT_EQ(ReadFile(output), kOldOutput);
            EXPECT_EQ(Entries(tool.Folder()), (std::set<std::string>{"Tarvok_WEB", "out.kxp"}));
            break;
        }
    }
}

// A stop signal in the middle of a long step: compressing a large image,
// copying a large part of an image that is split, or copying the package to
// another file system.
enum class Step { kCompress, kSplit, kCopy };

struct StopCase {
    const char* name;
    int signal;
    Step step;
};

void PrintTo(const StopCase& c, std::ostream* out)
{
    *out << c.name;
}

// What a run stopped in the middle of its step showed.
struct StoppedRun {
    bool stepSeen = false;    // the step was seen under way
    bool held = false;        // the run was held still with it
    long long atSignal = -1;  // the work file's size when the signal was sent
    long long atEnd = -1;     // its size when the run had ended, removed or not
    RunResult result;
};

// How far the step has gone when the signal is sent: past its first
// writes, so that a stop looked at only as the step starts does not pass.
constexpr long long kStepUnderWay = 256 << 10;

// The size of an open file.
long long SizeOf(int descriptor)
{
    struct stat st;
    return fstat(descriptor, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Starts the run, holds it still once the step's work file has grown to
// kStepUnderWay bytes, sends the signal and lets the run end. The work file
// is kept open from then on, so that its last size shows even once the run
// has removed it.
StoppedRun StopInTheStep(const ToolCopy& tool, const Inputs& inputs, const std::vector<std::string>& args,
                         int signal, const std::function<std::string()>& workFile)
{
    StoppedRun run;
    const int pid = tool.Start(args, FreezableRun(inputs.folder.Path()));
    std::string work;
    run.stepSeen = WaitWhileRunning(
        pid,
        [&] {
            work = workFile();
            return !work.empty() && SizeOf(work) >= kStepUnderWay;
        },
        "the step's work file");
    int descriptor = -1;
    {
        Frozen frozen(pid);
        run.held = frozen.Held();
        descriptor = run.held ? open(work.c_str(), O_RDONLY) : -1;
        run.atSignal = descriptor >= 0 ? SizeOf(descriptor) : -1;
        // Taken once the run goes on again.
        kill(pid, signal);
    }
    WaitWhileRunning(pid, [] { return false; }, "its end after the signal");
    run.result = tool.Wait(pid);
    if (descriptor >= 0) {
        run.atEnd = SizeOf(descriptor);
        close(descriptor);
    }
    return run;
}

class StopSignalTest : public testing::TestWithParam<StopCase> {};

TEST_P(StopSignalTest, StopsInTheMiddleOfTheStepLeavingNothingBehind)
{
    const StopCase& c = GetParam();
    const bool copy = c.step == Step::kCopy, split = c.step == Step::kSplit;
    // Incompressible bytes: the compressed image is at least as large as the
    // image, and so is the package. A copy from a sparse image is quick;
    // should it be over before the run could be held, the run is made again
    // with a larger image.
    const std::vector<size_t> sizes = c.step == Step::kCompress
                                          ? std::vector<size_t>{size_t(48) << 20}
                                          : std::vector<size_t>{size_t(256) << 20, size_t(2) << 30};
    for (const size_t imageBytes : sizes) {
        SCOPED_TRACE(testing::Message() << imageBytes << " bytes of image");
        const ToolCopy tool;
        Inputs inputs;
        const OtherFileSystemFolder other = copy ? OtherFileSystemFolder(tool.Folder()) : OtherFileSystemFolder();
        if (copy && other.Path().empty()) {
            GTEST_SKIP() << "no second file system here";
        }
        // A split makes two parts of the image, the first one copied whole
        // before the second is begun.
        const size_t partBytes = imageBytes / 2;
        if (c.step == Step::kCompress) {
            MakeInputs(inputs, kCompressingProcessor, "RAW_LZMA", imageBytes, false);
        } else {
            MakeInputs(inputs, split ? "NLT115" : "NLT122", "RAW", imageBytes, true);
        }
        const std::string folder = copy ? other.Path() : tool.Folder();
        const std::string output = folder + "/out.kxp";
        WriteFile(output, kOldOutput);
        std::vector<std::string> args = Args(inputs, output);
        if (split) {
            args[3] = std::to_string(partBytes);
        }

        // The step's work file: the compressed image, the first part, or the
        // copy beside the output.
        const auto workFile = [&]() -> std::string {
            if (!copy) {
                const std::string file = tool.File(split ? "temp/1_image.bin" : "AbsBlfTemp/image.bin.lzma");
                return FileExists(file) ? file : std::string();
            }
            std::error_code ec;
            for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
                if (entry.path().filename() != "out.kxp") {
                    return entry.path().string();
                }
            }
            return std::string();
        };
        const StoppedRun run = StopInTheStep(tool, inputs, args, c.signal, workFile);
        const RunResult& r = run.result;
        // Less than the step's result when whole.
        const long long whole = static_cast<long long>(split ? partBytes : imageBytes);
        const bool inTheStep = run.stepSeen && run.held && run.atSignal >= kStepUnderWay && run.atSignal < whole;
        if (!inTheStep && imageBytes != sizes.back()) {
            continue;  // the copy was over too soon
        }

        ASSERT_TRUE(run.stepSeen && run.held) << "the run ended before its step was seen: " << r.out;
        // The signal came while the step was running...
        EXPECT_GE(run.atSignal, kStepUnderWay) << "the work file was gone";
        EXPECT_LT(run.atSignal, whole) << "the step was over";
        EXPECT_TRUE(Contains(r.out, copy ? "Finish to dump to kxp file\n" : "ProcessBLF return.....\n")) << r.out;
        // ...and it was never finished, nor was anything after it done.
        EXPECT_LT(run.atEnd, whole);
        const std::string after = copy ? kSuccess : split ? "dump to kxp file" : "Writing Device Header:";
        EXPECT_FALSE(Contains(r.out, after)) << r.out;
        // Ended by the signal itself, once it had cleaned up.
        EXPECT_EQ(r.signal, c.signal) << "exit status " << r.exitCode << ": " << r.out;
        EXPECT_TRUE(Contains(r.out, "\nStopped by signal " + std::to_string(c.signal) + " (")) << r.out;
        EXPECT_EQ(ReadFile(output), kOldOutput);
        if (copy) {
            EXPECT_EQ(Entries(folder), (std::set<std::string>{"out.kxp"}));
        }
        const std::set<std::string> left =
            copy ? std::set<std::string>{"Tarvok_WEB"} : std::set<std::string>{"Tarvok_WEB", "out.kxp"};
        EXPECT_EQ(Entries(tool.Folder()), left);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest,
                         testing::Values(StopCase{"SIGTERM_while_compressing", SIGTERM, Step::kCompress},
                                         StopCase{"SIGINT_while_compressing", SIGINT, Step::kCompress},
                                         StopCase{"SIGHUP_while_compressing", SIGHUP, Step::kCompress},
                                         StopCase{"SIGTERM_while_splitting", SIGTERM, Step::kSplit},
                                         StopCase{"SIGTERM_while_copying", SIGTERM, Step::kCopy},
                                         StopCase{"SIGINT_while_copying", SIGINT, Step::kCopy},
                                         StopCase{"SIGHUP_while_copying", SIGHUP, Step::kCopy}),
                         [](const testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });

}  // namespace

// Shared test helpers: private temporary folders and running the tool.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_Path; }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

struct RunResult {
    // Its exit status; for a run that a signal ended, 128 + the signal's
    // number, as a shell reports it.
    int exitCode = -1;
    int signal = 0;  // the signal that ended the run; 0 when it exited
    std::string out;
    std::string err;
    long maxResidentKiB = 0;  // the tool's peak resident memory
};

// A folder of its own on another file system than the given folder's
// (where a package is copied, not renamed), removed with its contents when
// the object goes. Path() is empty when the machine has none, or when none
// was asked for.
class OtherFileSystemFolder {
public:
    OtherFileSystemFolder() = default;
    explicit OtherFileSystemFolder(const std::string& besideFolder);
    ~OtherFileSystemFolder();
    OtherFileSystemFolder(const OtherFileSystemFolder&) = delete;
    OtherFileSystemFolder& operator=(const OtherFileSystemFolder&) = delete;

    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

// The user and group a run is handed to where root would pass every
// permission check.
constexpr unsigned kOtherUser = 65534;
constexpr unsigned kOtherGroup = 65534;

// How a run of the tool is set up, beyond its arguments.
struct RunOptions {
    std::string workingFolder;  // the tool's folder when empty
    // 0 or more caps every file the tool writes at that many bytes, as a
    // full disk would: writes past it fail instead of killing the tool.
    long long fileSizeLimit = -1;
    // Runs started at once need their own name for their captured output.
    std::string outputName = "run";
    // Set to their default action, then ignoredSignals to ignored, with
    // every signal unblocked: by default the stop signals as a shell leaves
    // them for a command it runs in the foreground.
    std::vector<int> defaultSignals = {SIGINT, SIGTERM, SIGHUP};
    std::vector<int> ignoredSignals;
    bool newSession = false;   // no controlling terminal
    bool asOtherUser = false;  // as kOtherUser and kOtherGroup; needs root
    int input = -1;            // standard input, when not the test's own
    int output = -1;           // standard output, when not a captured file
    int cpu = -1;              // the one processor the run may use, when not -1
};

// A private copy of the tool, so that its work files ("temp", "kxp.bin")
// never meet those of a test running beside it.
class ToolCopy {
public:
    ToolCopy();

    const std::string& Folder() const { return m_Folder.Path(); }
    const std::string& Executable() const { return m_Executable; }
    std::string File(const std::string& name) const { return m_Folder.File(name); }

    // Runs the tool with the arguments in the given working folder (the
    // tool's folder when empty). A fileSizeLimit of 0 or more caps every
    // file the tool writes at that many bytes, as a full disk would: writes
    // past it fail instead of killing the tool.
    RunResult Run(const std::vector<std::string>& args, const std::string& workingFolder = std::string(),
                  long long fileSizeLimit = -1) const;
    RunResult Run(const std::vector<std::string>& args, const RunOptions& options) const;

    // The same in two steps, so that a test can act while the tool runs:
    // Start returns the process id, Wait its result. Runs started at once
    // need their own name for their captured output.
    int Start(const std::vector<std::string>& args, const std::string& workingFolder = std::string(),
              long long fileSizeLimit = -1, const std::string& outputName = "run") const;
    int Start(const std::vector<std::string>& args, const RunOptions& options) const;
    RunResult Wait(int pid, const std::string& outputName = "run") const;
    // Whether a started run has ended, leaving it for Wait to collect.
    static bool Ended(int pid);
    // What a run started with that name has printed to its standard output
    // so far.
    std::string PrintedSoFar(const std::string& outputName = "run") const;

private:
    TempFolder m_Folder;
    std::string m_Executable;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// A process id that no process has: a child that has ended and been
// waited for.
int GoneProcess();

// The eleven banner and usage lines every run prints first.
extern const char kBanner[];

}  // namespace testsupport

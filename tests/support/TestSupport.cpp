#include "support/TestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

constexpr unsigned kRunSeconds = 240;

const char kBanner[] =
    "\n\nTarvok for WEBUI software upgrade Version: 4.9.0.0\n"
    "Tarvok for WEBUI software upgrade Date: 2019-3-19\n\n"
    "Usage:  Tarvok_WEB.exe -f BlfFile -i SplitSize [-o kxpFile] [-v version] [-s keyFile] "
    "[-d Enable Differential Upgrading]\n"
    "\nCommand line description:\n"
    "\t-f:Input blf file name\n"
    "\t-i:Image split size\n"
    "\t[-o]:Optional parameter to set output kxp file name\n"
    "\t[-v]:Optional parameter to set software version number\n"
    "\t[-s]:Optional parameter,Signature kxp file with key.\n"
    "\t[-d]:Differential Upgrading Sign\n"
    "\t:Openssl command create keyfile,for example:genrsa -out test.key 1024\n";

TempFolder::TempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarvok-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_Path = buffer.data();
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    // Tests may leave read-only entries behind; give them back their bits.
    for (auto it = fs::recursive_directory_iterator(m_Path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(m_Path, ec);
}

OtherFileSystemFolder::OtherFileSystemFolder(const std::string& besideFolder)
{
    struct stat shm, ours;
    if (stat("/dev/shm", &shm) != 0 || stat(besideFolder.c_str(), &ours) != 0 || shm.st_dev == ours.st_dev) {
        return;
    }
    char pattern[] = "/dev/shm/tarvok-test-XXXXXX";
    if (mkdtemp(pattern)) m_Path = pattern;
}

OtherFileSystemFolder::~OtherFileSystemFolder()
{
    std::error_code ec;
    if (!m_Path.empty()) fs::remove_all(m_Path, ec);
}

ToolCopy::ToolCopy()
{
    m_Executable = m_Folder.Path() + "/Tarvok_WEB";
    fs::copy_file(TARVOK_EXE, m_Executable);
    fs::permissions(m_Executable, fs::perms::owner_all);
}

RunResult ToolCopy::Run(const std::vector<std::string>& args, const std::string& workingFolder,
                        long long fileSizeLimit) const
{
    return Wait(Start(args, workingFolder, fileSizeLimit));
}

RunResult ToolCopy::Run(const std::vector<std::string>& args, const RunOptions& options) const
{
    return Wait(Start(args, options), options.outputName);
}

int ToolCopy::Start(const std::vector<std::string>& args, const std::string& workingFolder, long long fileSizeLimit,
                    const std::string& outputName) const
{
    RunOptions options;
    options.workingFolder = workingFolder;
    options.fileSizeLimit = fileSizeLimit;
    options.outputName = outputName;
    return Start(args, options);
}

int ToolCopy::Start(const std::vector<std::string>& args, const RunOptions& options) const
{
    // Beside the tool's folder, not in it: tests look at what a run leaves
    // there.
    const std::string outPath = m_Folder.Path() + "." + options.outputName + ".stdout";
    const std::string errPath = m_Folder.Path() + "." + options.outputName + ".stderr";
    const std::string cwd = options.workingFolder.empty() ? m_Folder.Path() : options.workingFolder;

    std::vector<std::string> argv;
    argv.push_back(m_Executable);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(&a[0]);
    pointers.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int out =
            options.output >= 0 ? options.output : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        if (dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
        if (options.input >= 0 && dup2(options.input, 0) < 0) _exit(127);
        if (options.newSession) setsid();
        for (const int s : options.defaultSignals) signal(s, SIG_DFL);
        for (const int s : options.ignoredSignals) signal(s, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (options.fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        if (options.cpu >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(options.cpu, &set);
            if (sched_setaffinity(0, sizeof set, &set) != 0) _exit(127);
        }
        if (options.asOtherUser &&
            (setgroups(0, nullptr) != 0 || setgid(kOtherGroup) != 0 || setuid(kOtherUser) != 0)) {
            _exit(126);
        }
        // A run that hangs (on a FIFO, say) fails its test instead of
        // stalling the whole suite.
        alarm(kRunSeconds);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    return pid;
}

RunResult ToolCopy::Wait(int pid, const std::string& outputName) const
{
    const std::string outPath = m_Folder.Path() + "." + outputName + ".stdout";
    const std::string errPath = m_Folder.Path() + "." + outputName + ".stderr";
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    RunResult result;
    result.maxResidentKiB = usage.ru_maxrss;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

bool ToolCopy::Ended(int pid)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

std::string ToolCopy::PrintedSoFar(const std::string& outputName) const
{
    return ReadFile(m_Folder.Path() + "." + outputName + ".stdout");
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

int GoneProcess()
{
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

}  // namespace testsupport

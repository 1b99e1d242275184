// The tool's entry point: checks the command line, runs the build and writes
// the package.
#include "builder/CommandLine.h"
#include "builder/PackageOutput.h"
#include "builder/ProcessingContext.h"
#include "builder/RunStep.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Main.h"
#include "common/platform/OutputFile.h"
#include "common/platform/RunLock.h"
#include "common/platform/Stop.h"

namespace {

CommandLineOptions s_Options;
// Two builds of one program copy share its work files: the second waits.
platform::RunLock s_RunLock;

// The package replaces whatever the output path leads to: never an input of
// the run, and never a work folder or a file in one, which go at exit.
bool OutputPathIsFree(const std::wstring& outputPath, const std::wstring& blfPath, const std::wstring& keyPath)
{
    if (OutputIsInput(outputPath, blfPath, L"layout file") || OutputIsInput(outputPath, keyPath, L"key file") ||
        OutputIsInput(outputPath, platform::GetExecutablePath(), L"program") ||
        OutputIsInput(outputPath, platform::RunLock::LockFilePath(GetProgramFolder()), L"lock file")) {
        return false;
    }
    // Where the package lands, every link resolved, also those that lead
    // to a work folder not made yet. The links are followed also past the
    // program's own "kxp.bin", which the delivery replaces rather than
    // follows: a link there into a work folder is refused as well.
    const std::wstring place = platform::ResolveOutput(outputPath, GetIntermediatePackagePath()).place;
    const CProcessingContext& context = g_ProcessingContext;
    for (const std::wstring* folder : {&context.m_TempFolder, &context.m_AbsBlfTempFolder, &context.m_TempSplitFolder}) {
        if (platform::IsWithinFolder(place, *folder)) {
            platform::Print(L"Invalid Input,output file %s is in the work folder %s, which is deleted at exit!\n",
                            outputPath, *folder);
            return false;
        }
    }
    return true;
}

int RunTool(int argc, wchar_t** argv)
{
    CommandLineOptions& options = s_Options;
    PrintUsage();
    if (argc < 5) {
        platform::Print(L"Invalid parameters input\n");
        platform::Print(L"Function:  Make kxp file for WEBUI Upgrade\n");
        return 1;
    }
    if (!ParseCommandLine(argc, argv, options)) {
        platform::Print(L"ParseCommandLine failed\n");
        return 1;
    }
    if (options.m_bKeyGiven && options.m_KeyFilePath.empty()) {
        platform::Print(L"\nCommand Line Error:\n\t<-s>:please input keyfile.\n");
        return 1;
    }
    if (options.m_BlfFilePath.empty()) {
        platform::Print(L"\nCommand Line Error:\n\t<-f>:please input blffile.\n");
        return 1;
    }
    if (options.m_SplitSizeText.empty()) {
        platform::Print(L"\nCommand Line Error:\n\t<-i>:please split size.\n");
        return 1;
    }
    if (options.m_bVersionGiven && !CheckVersionText(options.m_VersionText)) {
        return 1;
    }

    const std::wstring currentFolder = GetCurrentFolder();
    const std::wstring blfPath = CombinePathIfRelative(currentFolder, options.m_BlfFilePath);
    const std::wstring keyPath = CombinePathIfRelative(currentFolder, options.m_KeyFilePath);

    const long long splitSize = ReadSplitSizeText(options.m_SplitSizeText);
    if (splitSize < static_cast<long long>(kMinimumSplitSize)) {
        platform::Print(L"Invalid Input,Split Size is too small!\n");
        return 1;
    }
    if (splitSize > static_cast<long long>(kMaximumSplitSize)) {
        platform::Print(L"Invalid Input,Split Size is too large!\n");
        return 1;
    }

    // Only the names: the folders are made once the run may build.
    g_ProcessingContext.SetProgramFolder(GetProgramFolder());
    const std::wstring intermediatePath = GetIntermediatePackagePath();
    const std::wstring outputPath =
        options.m_bOutputGiven ? GetPathInProgramFolder(options.m_OutputFilePath) : intermediatePath;
    if (!OutputPathIsFree(outputPath, blfPath, options.m_bKeyGiven ? keyPath : std::wstring())) {
        return 1;
    }

    // The key is loaded and tried before anything is built, so a key that
    // cannot sign leaves every file as it was.
    CRsaKeyFile key(keyPath);
    if (options.m_bKeyGiven && !LoadSigningKey(key)) {
        return 1;
    }

    // Only a build waits for another, once nothing but the build can fail.
    // A run that cannot take its turn builds nothing: beside another run it
    // would write that run's work files. The stop signals are taken over
    // once the lock is held, so that a run that still waits, and has made
    // nothing, ends on them at once.
    if (!s_RunLock.Acquire(GetProgramFolder(), [] {
            platform::Print(L"Another run of this program is working in its folder; waiting for it to finish...\n");
        })) {
        const int code = platform::LastErrorCode();
        platform::Print(L"Unable to lock the program folder %s or its lock file %s, which keep other runs of this "
                        L"program out: %s",
                        GetProgramFolder(), platform::RunLock::LockFilePath(GetProgramFolder()),
                        platform::ErrorText(code));
        return 1;
    }
    platform::WatchStopSignals();
    // Quietly, as the build makes them again and reports what stands in
    // the way. An output that leads into one, or to the lock file, through
    // a link that only now leads somewhere, or made only now, is refused
    // before anything is built.
    g_ProcessingContext.PrepareWorkFiles(false);
    if (!OutputPathIsFree(outputPath, blfPath, options.m_bKeyGiven ? keyPath : std::wstring())) {
        return 1;
    }

    if (!DoTarvokforSplitImage(blfPath, options.m_SplitSizeText, outputPath)) {
        platform::Print(L"DoTarvokforSplitImage failed....\n");
        return 1;
    }

    return WritePackageOutput(GetPackageWorkPath(outputPath), outputPath, options, options.m_bKeyGiven ? &key : nullptr)
               ? 0
               : 1;
}

// A stop makes the run fail on its ordinary path, which removes what it
// made; one that came after the package was in place changes nothing. The
// signal that stopped the run; 0 when none did.
int StoppingSignal(int status)
{
    const int signal = platform::StopSignal();
    if (status == 0 || signal == 0) {
        return 0;
    }
    platform::Print(L"\nStopped by signal %d (%s): the work files are removed and the output is as it was.\n",
                    signal, platform::SignalName(signal));
    return signal;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // A console or output whose reader went away then fails its writes
    // with EPIPE, which the run handles, instead of killing it.
    platform::IgnoreBrokenPipes();
    const int status = RunTool(argc, argv);
    const int signal = StoppingSignal(status);
    // Still under the lock: once it is released, work folders in the
    // program's folder may be the next run's.
    g_ProcessingContext.RemoveWorkFolders();
    s_RunLock.Release();
    if (signal != 0) {
        // Nothing is left to clean up: the caller learns that the signal
        // ended the run, as it would had the run not taken it.
        platform::EndByStopSignal(signal);
    }
    return status;
}

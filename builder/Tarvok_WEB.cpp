// The tool's entry point: checks the command line, runs the build and writes
// the package.
#include "builder/CommandLine.h"
#include "builder/PackageOutput.h"
#include "builder/RunStep.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"

namespace {

CommandLineOptions s_Options;

}  // namespace

int wmain(int argc, wchar_t** argv)
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

    if (ReadSplitSizeText(options.m_SplitSizeText) < static_cast<long long>(kMinimumSplitSize)) {
        platform::Print(L"Invalid Input,Split Size is too small!\n");
        return 1;
    }

    if (!DoTarvokforSplitImage(blfPath, options.m_SplitSizeText)) {
        platform::Print(L"DoTarvokforSplitImage failed....\n");
        return 1;
    }

    const std::wstring intermediatePath = GetProgramFolder() + L"/kxp.bin";
    const std::wstring outputPath =
        options.m_bOutputGiven ? GetPathInProgramFolder(options.m_OutputFilePath) : intermediatePath;
    return WritePackageOutput(intermediatePath, outputPath, options, keyPath);
}

#include "builder/CommandLine.h"

#include <algorithm>
#include <cwchar>

#include "common/TimLib.h"
#include "common/platform/Console.h"
#include "common/platform/Scan.h"
#include "common/platform/Text.h"

namespace {

const wchar_t kProgramVersion[] = L"4.9.0.0";
const wchar_t kBuildDate[] = L"2019-3-19";

bool ReportInvalidOption(wchar_t letter)
{
    platform::Print(L"\n  Error: Command line option -%c is invalid!\n", letter);
    return false;
}

}  // namespace

void PrintUsage()
{
    platform::Print(L"\n\nTarvok for WEBUI software upgrade Version: %s\n", kProgramVersion);
    platform::Print(L"Tarvok for WEBUI software upgrade Date: %s\n\n", kBuildDate);
    platform::Print(L"Usage:  Tarvok_WEB.exe -f BlfFile -i SplitSize [-o kxpFile] [-v version] [-s keyFile] "
                    L"[-d Enable Differential Upgrading]\n");
    platform::Print(L"\nCommand line description:\n");
    platform::Print(L"\t-f:Input blf file name\n");
    platform::Print(L"\t-i:Image split size\n");
    platform::Print(L"\t[-o]:Optional parameter to set output kxp file name\n");
    platform::Print(L"\t[-v]:Optional parameter to set software version number\n");
    platform::Print(L"\t[-s]:Optional parameter,Signature kxp file with key.\n");
    platform::Print(L"\t[-d]:Differential Upgrading Sign\n");
    platform::Print(L"\t:Openssl command create keyfile,for example:genrsa -out test.key 1024\n");
}

bool ParseCommandLine(int argc, wchar_t** argv, CommandLineOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (!arg || arg[0] != L'-') {
            continue;
        }
        const wchar_t letter = arg[1];
        std::wstring* value = nullptr;
        uint8_t* given = nullptr;
        switch (platform::ToUpperAscii(letter)) {
        case L'D':
            options.m_DifferentialFlag = 1;
            continue;
        case L'F': value = &options.m_BlfFilePath; break;
        case L'I': value = &options.m_SplitSizeText; break;
        case L'O': value = &options.m_OutputFilePath; given = &options.m_bOutputGiven; break;
        case L'S': value = &options.m_KeyFilePath; given = &options.m_bKeyGiven; break;
        case L'V': value = &options.m_VersionText; given = &options.m_bVersionGiven; break;
        default:
            return ReportInvalidOption(letter);
        }
        // A value that does not fit the option text is refused: cutting it
        // would name another file or version.
        if (i + 1 >= argc || !argv[i + 1] || std::wcslen(argv[i + 1]) >= kOptionTextChars) {
            return ReportInvalidOption(letter);
        }
        *value = argv[i + 1];
        if (given) {
            *given = 1;
        }
        // The walk goes on at the value itself, so a value that begins with
        // '-' is read as an option too.
    }
    return true;
}

bool CheckVersionText(std::wstring text)
{
    if (text.empty()) {
        platform::Print(L"version number is empty.\n");
        return false;
    }
    // The header field holds 12 bytes: a text longer than that in characters
    // or in its stamped bytes does not fit.
    if (text.size() > kMaxVersionChars || VersionTextBytes(text).size() > kMaxVersionChars) {
        platform::Print(L"version number can't more than %d byte.\n", static_cast<int>(kMaxVersionChars));
        return false;
    }
    return true;
}

std::string VersionTextBytes(const std::wstring& text)
{
    return platform::EncodeText(text);
}

long long ReadSplitSizeText(const std::wstring& text)
{
    if (ContainsHexPrefix(text)) {
        return static_cast<long long>(platform::ScanInteger(text, platform::ScanBase::Hex, 64));
    }
    return static_cast<long long>(platform::ScanInteger(text, platform::ScanBase::Decimal, 64));
}

void ReverseBytes(uint8_t* begin, uint8_t* end)
{
    if (begin && end && begin < end) {
        std::reverse(begin, end);
    }
}

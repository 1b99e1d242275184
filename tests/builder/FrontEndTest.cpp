// Runs the tool itself, from a private copy, and checks what a user sees.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/RsaTestKeys.h"
#include "support/TestSupport.h"

using testsupport::kBanner;
using testsupport::Pem;
using testsupport::PemForm;
using testsupport::RsaKey;
using testsupport::ToolCopy;
using testsupport::WriteFile;

namespace {

struct FrontEndCase {
    const char* name;
    std::vector<std::string> args;
    std::string after;  // what follows the banner
};

const char kTooFew[] = "Invalid parameters input\nFunction:  Make kxp file for WEBUI Upgrade\n";
const char kTooSmall[] = "Invalid Input,Split Size is too small!\n";
const char kTooLarge[] = "Invalid Input,Split Size is too large!\n";
// A command line that passes every check goes on to the build, which
// stops at the missing layout file "a.blf" in the tool's folder.
const char kRunFailed[] =
    "\nDoTarvokfileforWebUpgrade....\n\n\nProcessBLF.....\nDoTarvokforSplitImage failed....\n";

std::string MissingLayoutBoxes(const std::string& folder)
{
    return " file \"" + folder + "/a.blf\" is not exist!\n\n"
           "\nZorlix exception:\nProcessBLF failed for some enable image is not exist \n\n\n";
}

std::string Invalid(const std::string& letter)
{
    return "\n  Error: Command line option -" + letter + " is invalid!\nParseCommandLine failed\n";
}

}  // namespace

TEST(FrontEndTest, ChecksTheCommandLine)
{
    const std::string longVersion = "1234567890123";
    const ToolCopy tool;
    // A key that signs lets a run go on to the build; a missing one stops it
    // before.
    WriteFile(tool.Folder() + "/k.pem", Pem(RsaKey(1024), PemForm::kTraditional));
    const std::string missingKey = "Open file " + std::filesystem::canonical(tool.Folder()).string() +
                                   "/none.pem failed.\n\npaddingsize is smaller than 0\n"
                                   "Calc signature failed\nTarvok for WEB failed......\n";
    const FrontEndCase cases[] = {
        {"no arguments", {}, kTooFew},
        {"three arguments", {"-f", "a.blf", "-i"}, kTooFew},
        {"unknown letter", {"-f", "a.blf", "-i", "0x20000", "-q"}, Invalid("q")},
        {"value option last", {"-f", "a.blf", "-i", "0x20000", "-o"}, Invalid("o")},
        {"value read as option", {"-f", "a.blf", "-i", "0x20000", "-o", "-x"}, Invalid("x")},
        {"negative split size", {"-f", "a.blf", "-i", "-5", "-d"}, Invalid("5")},
        {"too long a value", {"-f", std::string(600, 'a'), "-i", "0x20000"}, Invalid("f")},
        {"empty key", {"-f", "a.blf", "-i", "0x20000", "-s", ""},
         "\nCommand Line Error:\n\t<-s>:please input keyfile.\n"},
        {"empty key before empty layout", {"-f", "", "-i", "0x20000", "-s", ""},
         "\nCommand Line Error:\n\t<-s>:please input keyfile.\n"},
        {"empty layout", {"-f", "", "-i", "0x20000", "-d"}, "\nCommand Line Error:\n\t<-f>:please input blffile.\n"},
        {"no layout", {"-i", "0x20000", "-d", "-d"}, "\nCommand Line Error:\n\t<-f>:please input blffile.\n"},
        {"empty split size", {"-f", "a.blf", "-i", ""}, "\nCommand Line Error:\n\t<-i>:please split size.\n"},
        {"empty version", {"-f", "a.blf", "-i", "0x20000", "-v", ""}, "version number is empty.\n"},
        {"long version", {"-f", "a.blf", "-i", "0x20000", "-v", longVersion},
         "version number can't more than 12 byte.\n"},
        {"version of 13 bytes", {"-f", "a.blf", "-i", "0x20000", "-v", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9x"},
         "version number can't more than 12 byte.\n"},
        {"split 0x1FFFF", {"-f", "a.blf", "-i", "0x1FFFF"}, kTooSmall},
        {"split 131071", {"-f", "a.blf", "-i", "131071"}, kTooSmall},
        {"split abc", {"-f", "a.blf", "-i", "abc"}, kTooSmall},
        // Wider than 32 bits: the build would read 0x20000.
        {"split 0x100020000", {"-f", "a.blf", "-i", "0x100020000"}, kTooLarge},
        {"split 4294967296", {"-f", "a.blf", "-i", "4294967296"}, kTooLarge},
        {"split 0xFFFFFFFF", {"-f", "a.blf", "-i", "0xFFFFFFFF"}, kRunFailed},
        {"split 0x20000", {"-f", "a.blf", "-i", "0x20000"}, kRunFailed},
        {"split 131072", {"-F", "a.blf", "-I", "131072"}, kRunFailed},
        {"every option", {"-fx", "a.blf", "-i", "0X100000", "-o", "o.kxp", "-v", "123456789012", "-s", "k.pem", "-d"},
         kRunFailed},
        {"missing key", {"-f", "a.blf", "-i", "0x20000", "-s", "none.pem"}, missingKey},
    };
    for (const FrontEndCase& c : cases) {
        const testsupport::RunResult r = tool.Run(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.out, std::string(kBanner) + c.after) << c.name;
        EXPECT_EQ(r.err, c.after == kRunFailed ? MissingLayoutBoxes(tool.Folder()) : "") << c.name;
    }
}

TEST(FrontEndTest, BytesOfArgumentsThatAreNotUtf8AreKept)
{
    const ToolCopy tool;
    const testsupport::RunResult r = tool.Run({"-f", "a.blf", "-i", "0x20000", "-\xff"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, std::string(kBanner) + Invalid("\xff"));
}

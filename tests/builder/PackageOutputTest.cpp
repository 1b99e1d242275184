#include <gtest/gtest.h>
#include <fcntl.h>
#include <openssl/core_dispatch.h>
#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "builder/PackageOutput.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"
#include "support/RsaTestKeys.h"
#include "support/TestSupport.h"

using testsupport::FileExists;
using testsupport::OtherFileSystemFolder;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

constexpr uint32_t kSector = 8192;
constexpr size_t kDevice = 76;

uint32_t Le32(const std::vector<uint8_t>& d, size_t at)
{
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}

void PutLe32(std::vector<uint8_t>& d, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A package as the writer leaves it: a header sector with one device of
// `images` entries, then `dataSectors` sectors of 0xFF.
std::vector<uint8_t> MakePackage(uint32_t images, uint32_t dataSectors)
{
    std::vector<uint8_t> p(kSector * (1 + dataSectors), 0xFF);
    std::fill(p.begin(), p.begin() + kSector, 0);
    const char magic[] = "Zelmora_KXP";
    std::copy(magic, magic + 12, p.begin());
    p[0x18] = 0xAA;  // first byte of Spare_Area_Size, just past the version field
    p[0x20] = 11;
    p[0x22] = kSector & 0xFF;
    p[0x23] = kSector >> 8;
    PutLe32(p, 0x3C, kDevice);
    PutLe32(p, kDevice + 240, images);
    return p;
}

CommandLineOptions Options(const std::wstring& version, bool key, uint32_t differential)
{
    CommandLineOptions o;
    o.m_VersionText = version;
    o.m_bVersionGiven = !version.empty();
    o.m_bKeyGiven = key;
    o.m_KeyFilePath = key ? L"/nonexistent/key.pem" : L"";
    o.m_DifferentialFlag = differential;
    return o;
}

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

TEST(StampPackageTest, VersionField)
{
    struct Case {
        std::wstring version;
        std::string field;  // the 12 bytes at offset 12
    };
    const Case cases[] = {
        {L"", std::string(12, '\0')},
        {L"1.2.3", std::string("1.2.3\0\0\0\0\0\0\0", 12)},
        {L"123456789012", "123456789012"},  // fills the field, no terminator
        {L"v\u00e9", std::string("v\xc3\xa9\0\0\0\0\0\0\0\0\0", 12)},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> p = MakePackage(1, 1);
        uint32_t sector = 0;
        ASSERT_TRUE(StampPackage(p, Options(c.version, false, 0), sector));
        EXPECT_EQ(sector, kSector);
        EXPECT_EQ(std::string(p.begin() + 12, p.begin() + 24), c.field);
        EXPECT_EQ(p[0x18], 0xAA);
    }
}

TEST(StampPackageTest, SignatureEntryAndDifferentialFlag)
{
    std::vector<uint8_t> p = MakePackage(2, 3);
    const std::vector<uint8_t> before = p;
    uint32_t sector = 0;
    ASSERT_TRUE(StampPackage(p, Options(L"", true, 1), sector));
    const size_t entry = kDevice + 244 + 52 * 2;
    EXPECT_EQ(Le32(p, entry), 0x52534149u);
    EXPECT_EQ(std::string(p.begin() + entry, p.begin() + entry + 4), "IASR");
    EXPECT_EQ(Le32(p, entry + 20), 4u);  // the sector the signature will occupy
    EXPECT_EQ(Le32(p, entry + 24), 128u);
    EXPECT_EQ(Le32(p, kDevice + 240), 3u);
    EXPECT_EQ(Le32(p, kDevice + 232), 1u);
    // Nothing else changes.
    for (size_t i = 0; i < p.size(); ++i) {
        const bool stamped = (i >= entry && i < entry + 28) || (i >= kDevice + 232 && i < kDevice + 244);
        if (!stamped) {
            ASSERT_EQ(p[i], before[i]) << "offset " << i;
        }
    }

    std::vector<uint8_t> q = MakePackage(0, 0);
    PutLe32(q, kDevice + 232, 7);
    ASSERT_TRUE(StampPackage(q, Options(L"", false, 0), sector));
    EXPECT_EQ(Le32(q, kDevice + 232), 0u);
    EXPECT_EQ(Le32(q, kDevice + 240), 0u);
}

TEST(StampPackageTest, RefusesHeadersThatPointOutsideThePackage)
{
    uint32_t sector = 0;
    std::vector<uint8_t> tiny(40, 0);
    EXPECT_FALSE(StampPackage(tiny, Options(L"1", false, 0), sector));

    std::vector<uint8_t> p = MakePackage(1, 0);
    PutLe32(p, 0x3C, 0xFFFFFF00u);
    EXPECT_FALSE(StampPackage(p, Options(L"", false, 0), sector));

    p = MakePackage(1, 0);
    p[0x22] = p[0x23] = 0;
    EXPECT_FALSE(StampPackage(p, Options(L"", false, 0), sector));

    // No room left in the header sector for the signature entry.
    p = MakePackage((kSector - kDevice - 244) / 52, 1);
    const std::vector<uint8_t> before = p;
    EXPECT_FALSE(StampPackage(p, Options(L"1", true, 1), sector));
    EXPECT_EQ(p, before);
    p = MakePackage(0xFFFFFFFFu, 1);
    EXPECT_FALSE(StampPackage(p, Options(L"", true, 0), sector));
}

class WritePackageOutputTest : public testing::Test {
protected:
    std::wstring W(const std::string& s) { return platform::DecodeText(s); }
    bool Run(const std::string& output, const CommandLineOptions& options)
    {
        CRsaKeyFile key(options.m_KeyFilePath);
        testing::internal::CaptureStdout();
        if (options.m_bKeyGiven) {
            key.Load();
        }
        const bool written = WritePackageOutput(W(m_Intermediate), W(output), options, &key);
        m_Out = testing::internal::GetCapturedStdout();
        return written;
    }

    TempFolder m_Folder;
    std::string m_Intermediate = m_Folder.File("kxp.bin");
    std::string m_Out;
};

TEST_F(WritePackageOutputTest, WritesTheStampedPackageAndDeletesTheIntermediate)
{
    const std::vector<uint8_t> package = MakePackage(1, 2);
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    const std::string output = m_Folder.File("out.kxp");
    EXPECT_TRUE(Run(output, Options(L"2.0", false, 1)));
    EXPECT_EQ(m_Out, "\n\n\nTarvok for WEB successfully....\n");
    EXPECT_FALSE(FileExists(m_Intermediate));
    const std::vector<uint8_t> written = Bytes(ReadFile(output));
    ASSERT_EQ(written.size(), package.size());
    EXPECT_EQ(std::string(written.begin() + 12, written.begin() + 16), std::string("2.0\0", 4));
    EXPECT_EQ(Le32(written, kDevice + 232), 1u);
}

TEST_F(WritePackageOutputTest, OutputMayBeTheIntermediateItself)
{
    const std::vector<uint8_t> package = MakePackage(0, 0);
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    EXPECT_TRUE(Run(m_Intermediate, Options(L"", false, 0)));
    EXPECT_EQ(ReadFile(m_Intermediate).size(), kSector);
}

TEST_F(WritePackageOutputTest, Failures)
{
    // No intermediate package.
    EXPECT_FALSE(Run(m_Folder.File("out.kxp"), Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "Open file " + m_Intermediate + " failed when get file size.\nDoTarvok for WEB failed....\n");

    // An intermediate too large to be a package goes.
    WriteFile(m_Intermediate, "");
    ASSERT_EQ(truncate(m_Intermediate.c_str(), 0x80000000LL), 0);  // sparse
    EXPECT_FALSE(Run(m_Folder.File("out.kxp"), Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "File " + m_Intermediate + " is too large to get its size.\nDoTarvok for WEB failed....\n");
    EXPECT_FALSE(FileExists(m_Intermediate));
    EXPECT_FALSE(FileExists(m_Folder.File("out.kxp")));

    // An intermediate too short to be a package goes as well.
    WriteFile(m_Intermediate, "short");
    EXPECT_FALSE(Run(m_Folder.File("out.kxp"), Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "\nDoTarvok for WEB failed....\n");
    EXPECT_FALSE(FileExists(m_Folder.File("out.kxp")));
    EXPECT_FALSE(FileExists(m_Intermediate));

    // A folder at the intermediate's name is not the run's to remove.
    ASSERT_EQ(mkdir(m_Intermediate.c_str(), 0700), 0);
    EXPECT_FALSE(Run(m_Folder.File("out.kxp"), Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "Open file " + m_Intermediate + " failed when get file size.\nDoTarvok for WEB failed....\n");
    EXPECT_TRUE(FileExists(m_Intermediate));
    ASSERT_EQ(rmdir(m_Intermediate.c_str()), 0);

    // An output that cannot be created is not deleted: here a folder.
    const std::vector<uint8_t> package = MakePackage(0, 0);
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    EXPECT_FALSE(Run(m_Folder.Path(), Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "Open file failed:" + m_Folder.Path() + "\n");
    EXPECT_TRUE(FileExists(m_Folder.Path()));
}

TEST_F(WritePackageOutputTest, AFullDiskIsAFailureAndRemovesNothingButOurFile)
{
    struct stat st;
    if (stat("/dev/full", &st) != 0) GTEST_SKIP() << "no /dev/full";
    // Past the stamped header prefix, where the kernel refuses to copy.
    const std::vector<uint8_t> package = MakePackage(1, 12);
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    EXPECT_FALSE(Run("/dev/full", Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "Write file failed:/dev/full\n");
    EXPECT_EQ(stat("/dev/full", &st), 0);
}

// The kernel copies into no pipe: the package goes through the buffer.
TEST_F(WritePackageOutputTest, APipeGetsTheWholePackage)
{
    std::vector<uint8_t> package = MakePackage(1, 200);
    for (size_t i = kSector; i < package.size(); i += 4099) package[i] = static_cast<uint8_t>(i / 4099);
    std::vector<uint8_t> stamped = package;
    uint32_t sector = 0;
    ASSERT_TRUE(StampPackage(stamped, Options(L"1.2", false, 0), sector));
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    const std::string fifo = m_Folder.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The reader is there before the tool opens the FIFO, which never waits
    // for one; a second writer held here keeps it from seeing the end before
    // the tool has written.
    const int readEnd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    const int heldWriter = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(heldWriter, 0);
    ASSERT_EQ(fcntl(readEnd, F_SETFL, 0), 0);
    std::string received;
    std::thread reader([&] {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = read(readEnd, buffer, sizeof(buffer))) > 0) received.append(buffer, static_cast<size_t>(n));
        close(readEnd);
    });
    const bool written = Run(fifo, Options(L"1.2", false, 0));
    close(heldWriter);
    reader.join();
    EXPECT_TRUE(written) << m_Out;
    EXPECT_TRUE(received == std::string(stamped.begin(), stamped.end())) << received.size() << " bytes";
    EXPECT_FALSE(FileExists(m_Intermediate));
}

// An output that is a link of /proc to a file open under a name it no
// longer has is refused: nothing is written through the link, and no file
// takes the name the link shows.
TEST_F(WritePackageOutputTest, AnOpenFileThatLostItsNameIsRefused)
{
    const std::vector<uint8_t> package = MakePackage(0, 0);
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    const std::string removed = m_Folder.File("removed");
    WriteFile(removed, "old package");
    const int fd = open(removed.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(unlink(removed.c_str()), 0);
    const std::string output = "/dev/fd/" + std::to_string(fd);
    EXPECT_FALSE(Run(output, Options(L"", false, 0)));
    EXPECT_EQ(m_Out, "Open file failed:" + output + "\n");
    char old[16] = {};
    EXPECT_EQ(pread(fd, old, sizeof old, 0), 11);
    EXPECT_EQ(std::string(old), "old package");
    close(fd);
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(m_Folder.Path())) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::set<std::string>{});
}

TEST_F(WritePackageOutputTest, FailedSigningIsReportedAndLeavesNoPackage)
{
    const std::vector<uint8_t> package = MakePackage(1, 1);
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    const std::string output = m_Folder.File("signed.kxp");
    EXPECT_FALSE(Run(output, Options(L"", true, 0)));
    const std::string tail = "Calc signature failed\nTarvok for WEB failed......\n";
    ASSERT_GE(m_Out.size(), tail.size());
    EXPECT_EQ(m_Out.substr(m_Out.size() - tail.size()), tail);
    EXPECT_FALSE(FileExists(output));
    EXPECT_FALSE(FileExists(m_Intermediate));

    // An output that was there before stays as it was.
    WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
    WriteFile(output, "old package");
    EXPECT_FALSE(Run(output, Options(L"", true, 0)));
    EXPECT_EQ(ReadFile(output), "old package");
    EXPECT_FALSE(FileExists(m_Intermediate));
}

TEST_F(WritePackageOutputTest, AnExistingOutputEndsAsIfRewritten)
{
    // Whether the intermediate is moved into place or copied, the output
    // must end up as rewriting it would leave it: same bytes, the old
    // permission bits, the file a symbolic link leads to replaced and the
    // link kept. A second hard link keeps the old bytes: the output is
    // replaced whole, never written in place. Longer than the stamped
    // header prefix: a copy moves the rest in the kernel.
    std::vector<uint8_t> package = MakePackage(1, 12);
    package[kSector + 5] = 0x42;
    package[package.size() - 3] = 0x24;
    std::vector<uint8_t> stamped = package;
    uint32_t sector = 0;
    ASSERT_TRUE(StampPackage(stamped, Options(L"9.9", false, 1), sector));
    const std::string expected(stamped.begin(), stamped.end());

    struct Case {
        const char* name;
        std::string prepare;  // "", "file", "hardlink", "symlink"
        bool otherFileSystem;  // the output on another file system than the work file: copied, not moved
    };
    for (const Case& c : {Case{"new output", "", false}, Case{"existing file", "file", false},
                          Case{"hard link", "hardlink", false}, Case{"symbolic link", "symlink", false},
                          Case{"existing file on another file system", "file", true},
                          Case{"hard link on another file system", "hardlink", true}}) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const OtherFileSystemFolder otherFileSystem =
            c.otherFileSystem ? OtherFileSystemFolder(folder.Path()) : OtherFileSystemFolder();
        if (c.otherFileSystem && otherFileSystem.Path().empty()) {
            std::cout << "no second file system at /dev/shm: " << c.name << " left out\n";
            continue;
        }
        const std::string outputFolder = c.otherFileSystem ? otherFileSystem.Path() : folder.Path();
        const std::string intermediate = folder.File("kxp.bin");
        const std::string output = outputFolder + "/out.kxp";
        const std::string other = outputFolder + "/other";
        WriteFile(intermediate, std::string(package.begin(), package.end()));
        if (c.prepare == "file") {
            WriteFile(output, "old content");
            chmod(output.c_str(), 0640);
        } else if (c.prepare == "hardlink") {
            WriteFile(other, "old content");
            ASSERT_EQ(link(other.c_str(), output.c_str()), 0);
        } else if (c.prepare == "symlink") {
            WriteFile(other, "old content");
            ASSERT_EQ(symlink(other.c_str(), output.c_str()), 0);
        }
        testing::internal::CaptureStdout();
        const bool written = WritePackageOutput(W(intermediate), W(output), Options(L"9.9", false, 1), nullptr);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(written) << out;
        EXPECT_EQ(ReadFile(output), expected);
        EXPECT_FALSE(FileExists(intermediate));
        struct stat st;
        ASSERT_EQ(lstat(output.c_str(), &st), 0);
        if (c.prepare == "file") {
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
        if (c.prepare == "symlink") {
            EXPECT_EQ(ReadFile(other), expected);
        }
        if (c.prepare == "hardlink") {
            EXPECT_EQ(ReadFile(other), "old content");
        }
        EXPECT_EQ(S_ISLNK(st.st_mode), c.prepare == "symlink");
        if (c.otherFileSystem) {
            std::set<std::string> left;
            for (const auto& entry : std::filesystem::directory_iterator(outputFolder)) {
                left.insert(entry.path().filename().string());
            }
            EXPECT_EQ(left, (c.prepare == "hardlink" ? std::set<std::string>{"out.kxp", "other"}
                                                     : std::set<std::string>{"out.kxp"}));
        }
    }
}

namespace {

// SHA-1 from a provider of the test's own, preferred over the default one
// while an object of this class lives: the digest is the default
// provider's, but its first piece raises the stop flag, as a signal coming
// in the middle of signing would.
class StopInTheDigest {
public:
    StopInTheDigest()
    {
        s_Real = EVP_MD_fetch(nullptr, "SHA1", "provider=default");
        testsupport::Require(s_Real != nullptr, "SHA1 of the default provider");
        testsupport::Require(OSSL_PROVIDER_add_builtin(nullptr, "stop-in-digest", Init) == 1, "add provider");
        m_Default = OSSL_PROVIDER_load(nullptr, "default");
        m_Own = OSSL_PROVIDER_load(nullptr, "stop-in-digest");
        testsupport::Require(m_Default && m_Own && EVP_set_default_properties(nullptr, "?provider=stop-in-digest") == 1,
                             "prefer the provider");
    }
    ~StopInTheDigest()
    {
        EVP_set_default_properties(nullptr, "");
        OSSL_PROVIDER_unload(m_Own);
        OSSL_PROVIDER_unload(m_Default);
        EVP_MD_free(s_Real);
        s_Real = nullptr;
        platform::SetStopSignal(0);
    }
    StopInTheDigest(const StopInTheDigest&) = delete;
    StopInTheDigest& operator=(const StopInTheDigest&) = delete;

private:
    static void* NewContext(void*) { return EVP_MD_CTX_new(); }
    static void FreeContext(void* context) { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context)); }
    static void* CopyContext(void* context)
    {
        EVP_MD_CTX* copy = EVP_MD_CTX_new();
        if (copy && EVP_MD_CTX_copy_ex(copy, static_cast<EVP_MD_CTX*>(context)) != 1) {
            EVP_MD_CTX_free(copy);
            copy = nullptr;
        }
        return copy;
    }
    static int Start(void* context, const OSSL_PARAM[])
    {
        return EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context), s_Real, nullptr);
    }
    static int Update(void* context, const unsigned char* data, size_t length)
    {
        platform::SetStopSignal(SIGTERM);
        return EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context), data, length);
    }
    static int Final(void* context, unsigned char* digest, size_t* length, size_t room)
    {
        unsigned int got = 0;
        if (room < static_cast<size_t>(EVP_MD_get_size(s_Real)) ||
            EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context), digest, &got) != 1) {
            return 0;
        }
        *length = got;
        return 1;
    }
    static int GetParams(OSSL_PARAM params[])
    {
        OSSL_PARAM* size = OSSL_PARAM_locate(params, OSSL_DIGEST_PARAM_SIZE);
        OSSL_PARAM* block = OSSL_PARAM_locate(params, OSSL_DIGEST_PARAM_BLOCK_SIZE);
        return (!size || OSSL_PARAM_set_size_t(size, static_cast<size_t>(EVP_MD_get_size(s_Real)))) &&
               (!block || OSSL_PARAM_set_size_t(block, static_cast<size_t>(EVP_MD_get_block_size(s_Real))));
    }
    static const OSSL_PARAM* GettableParams(void*)
    {
        static const OSSL_PARAM kGettable[] = {OSSL_PARAM_size_t(OSSL_DIGEST_PARAM_SIZE, nullptr),
                                               OSSL_PARAM_size_t(OSSL_DIGEST_PARAM_BLOCK_SIZE, nullptr),
                                               OSSL_PARAM_END};
        return kGettable;
    }
    static const OSSL_ALGORITHM* Query(void*, int operation, int* noCache)
    {
        static const OSSL_DISPATCH kDigest[] = {
            {OSSL_FUNC_DIGEST_NEWCTX, reinterpret_cast<void (*)()>(NewContext)},
            {OSSL_FUNC_DIGEST_FREECTX, reinterpret_cast<void (*)()>(FreeContext)},
            {OSSL_FUNC_DIGEST_DUPCTX, reinterpret_cast<void (*)()>(CopyContext)},
            {OSSL_FUNC_DIGEST_INIT, reinterpret_cast<void (*)()>(Start)},
            {OSSL_FUNC_DIGEST_UPDATE, reinterpret_cast<void (*)()>(Update)},
            {OSSL_FUNC_DIGEST_FINAL, reinterpret_cast<void (*)()>(Final)},
            {OSSL_FUNC_DIGEST_GET_PARAMS, reinterpret_cast<void (*)()>(GetParams)},
            {OSSL_FUNC_DIGEST_GETTABLE_PARAMS, reinterpret_cast<void (*)()>(GettableParams)},
            {0, nullptr}};
        static const OSSL_ALGORITHM kDigests[] = {{"SHA1:SHA-1:SSL3-SHA1", "provider=stop-in-digest", kDigest, ""},
                                                  {nullptr, nullptr, nullptr, nullptr}};
        *noCache = 0;
        return operation == OSSL_OP_DIGEST ? kDigests : nullptr;
    }
    static int Init(const OSSL_CORE_HANDLE*, const OSSL_DISPATCH*, const OSSL_DISPATCH** out, void** context)
    {
        static const OSSL_DISPATCH kProvider[] = {
            {OSSL_FUNC_PROVIDER_QUERY_OPERATION, reinterpret_cast<void (*)()>(Query)}, {0, nullptr}};
        *out = kProvider;
        *context = nullptr;
        return 1;
    }

    static inline EVP_MD* s_Real = nullptr;
    OSSL_PROVIDER* m_Default = nullptr;
    OSSL_PROVIDER* m_Own = nullptr;
};

}  // namespace

// A stop that comes while the package is digested for its signature fails
// the delivery: nothing is put in place, whatever the output, and no
// success line is printed for a package that was never signed.
TEST_F(WritePackageOutputTest, AStopWhileSigningFailsTheDelivery)
{
    // Longer than one piece of the digest, so that it looks at the flag.
    const std::vector<uint8_t> package = MakePackage(1, (5u << 20) / kSector);
    const std::string keyPath = m_Folder.File("key.pem");
    WriteFile(keyPath, testsupport::Pem(testsupport::RsaKey(1024), testsupport::PemForm::kTraditional));
    CommandLineOptions options = Options(L"", true, 0);
    options.m_KeyFilePath = W(keyPath);
    CRsaKeyFile key(options.m_KeyFilePath);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(LoadSigningKey(key)) << testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStdout();
    struct Case {
        const char* name;
        std::string output;  // the work file itself when empty
    };
    for (const Case& c : {Case{"an existing output", m_Folder.File("signed.kxp")}, Case{"the work file itself", ""}}) {
        SCOPED_TRACE(c.name);
        WriteFile(m_Intermediate, std::string(package.begin(), package.end()));
        const std::string output = c.output.empty() ? m_Intermediate : c.output;
        if (!c.output.empty()) {
            WriteFile(output, "old package");
        }
        bool written = false;
        {
            const StopInTheDigest stopper;
            testing::internal::CaptureStdout();
            written = WritePackageOutput(W(m_Intermediate), W(output), options, &key);
            m_Out = testing::internal::GetCapturedStdout();
            EXPECT_TRUE(platform::StopRequested()) << "the digest never ran";
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(m_Out, "");
        if (!c.output.empty()) {
            EXPECT_EQ(ReadFile(output), "old package");
            EXPECT_FALSE(FileExists(m_Intermediate));
        }
    }
}

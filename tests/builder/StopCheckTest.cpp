// Each long step looks at the stop flag: raised before the step runs, the
// step fails at once, prints nothing of its own beyond its usual failure
// line, and leaves no work file behind.
#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "builder/FlasherBinary.h"
#include "builder/ImageCompress.h"
#include "builder/ImageSplit.h"
#include "builder/RsaKeyFile.h"
#include "builder/VirtualFileStore.h"
#include "common/TimLib.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Stop.h"
#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/PrivateStore.h"
#include "support/RsaTestKeys.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Capture;
using testsupport::FileExists;
using testsupport::Outcome;
using testsupport::Pattern;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

constexpr uint32_t kSector = 8192;

// A private folder with the program's store opened in it, and the stop
// flag, raised by Stop() and cleared again when the object goes (before
// the store is closed).
class Work {
public:
    Work() = default;
    ~Work() { platform::SetStopSignal(0); }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;

    void Stop() { platform::SetStopSignal(SIGTERM); }

    std::string Image(const std::string& name, const std::string& bytes)
    {
        const std::string path = temp.File(name);
        WriteFile(path, bytes);
        return path;
    }
    std::string Folder(const std::string& name)
    {
        const std::string path = temp.File(name);
        std::filesystem::create_directory(path);
        return path;
    }

    TempFolder temp;
    testsupport::PrivateStore store;
};

// What a stopped step did.
struct Stopped {
    Outcome outcome;
    std::string expectedOut;        // the failure line the step always prints, if any
    std::vector<std::string> left;  // work files it left behind
};

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// What the store holds after a step wrote under name.
std::vector<std::string> StoreContent(const testsupport::PrivateStore& store, const std::wstring& name)
{
    std::vector<std::string> left;
    if (g_VirtualFileStore.GetSize(name) != 0) {
        left.push_back("bytes under the store name");
    }
    const std::string storeFile = store.Path() + "/" + platform::EncodeText(CVirtualFileStore::kStoreFileName);
    if (FileExists(storeFile) && std::filesystem::file_size(storeFile) != 0) {
        left.push_back("BinFile.bin");
    }
    return left;
}

std::unique_ptr<CFlasherBinary> Binary(const std::string& path, const std::wstring& type)
{
    return std::make_unique<CFlasherBinary>(Wide(path), type, 0, 0, 1, 0x54494D48, 0x1000, kSector, 3, 64, 2048, 0,
                                            0, 0);
}

Stopped CopyIntoStore(Work& w, const std::wstring& type, const std::string& bytes)
{
    auto binary = Binary(w.Image("image.bin", bytes), type);
    std::vector<uint8_t> block(CFlasherBinary::kSectorsPerBlock * kSector);
    const std::wstring name = Wide(w.temp.File("out.kxp"));
    w.Stop();
    Stopped s;
    s.outcome = Capture([&] { return CFlasherBinary::CopyToStore(*binary, block.data(), name); });
    s.left = StoreContent(w.store, name);
    return s;
}

std::vector<uint8_t> LeNumber(EVP_PKEY* key, const char* name)
{
    BIGNUM* raw = nullptr;
    testsupport::Require(EVP_PKEY_get_bn_param(key, name, &raw) == 1, name);
    const testsupport::Bn bn(raw);
    std::vector<uint8_t> bytes(CRsaKeyFile::kMaxBytes);
    testsupport::Require(BN_bn2lebinpad(bn.get(), bytes.data(), static_cast<int>(bytes.size())) > 0, "bn2lebinpad");
    return bytes;
}

struct StopCase {
    const char* step;
    std::function<Stopped(Work&)> run;
};

const StopCase kStopCases[] = {
    {"split",
     [](Work& w) {
         const std::string temp = w.Folder("temp");
         CTimDescriptor descriptor;
         auto image = std::make_unique<CImageDescription>();
         image->SetIdName(L"KRNL");
         image->SetImagePath(Wide(w.Image("kernel.bin", Pattern(3 * 0x10000, 1))));
         image->SetFlashEntryAddress(L"0x00100000");
         image->SetFlashAddress(L"0x00100000");
         image->SetImageType(L"RAW");
         image->ImageSize = 3 * 0x10000;
         image->Enable = true;
         descriptor.m_Images.push_back(std::move(image));
         w.Stop();
         Stopped s;
         s.outcome = Capture([&] { return SplitImages(descriptor, 0x10000, Wide(temp), false); });
         s.left = Entries(temp);
         return s;
     }},
    {"flasher-binary copy", [](Work& w) { return CopyIntoStore(w, L"RAW", Pattern(3 * kSector, 2)); }},
    {"store copy-out",
     [](Work& w) {
         // Two files, so the store file cannot simply become the output.
         const std::string bytes = Pattern(3 * kSector, 3);
         const std::wstring other = Wide(w.temp.File("other.kxp"));
         const std::wstring name = Wide(w.temp.File("out.kxp"));
         for (const std::wstring* file : {&other, &name}) {
             EXPECT_TRUE(g_VirtualFileStore.Write(*file, reinterpret_cast<const uint8_t*>(bytes.data()),
                                                  static_cast<uint32_t>(bytes.size())));
         }
         w.Stop();
         Stopped s;
         s.outcome = Capture([&] { return g_VirtualFileStore.CopyOut(name); });
         if (FileExists(w.temp.File("out.kxp"))) {
             s.left.push_back("out.kxp");
         }
         return s;
     }},
    // Geometry 0: pages of 2048 bytes with 64-byte spare areas.
    {"YAFFS re-layout", [](Work& w) { return CopyIntoStore(w, L"YAFFS", Pattern(64 * 2112, 4)); }},
    {"LZMA",
     [](Work& w) {
         const std::string work = w.Folder("AbsBlfTemp");
         const std::string source = w.Image("rootfs.bin", Pattern(0x100000, 5));
         ImageList images;
         images.push_back(std::make_unique<CImageDescription>());
         images.back()->ImagePath = Wide(source);
         images.back()->ImageType = L"RAW_LZMA";
         images.back()->Enable = true;
         w.Stop();
         Stopped s;
         s.outcome = Capture([&] { return CompressLzmaTypeImages(images, Wide(work)); });
         s.expectedOut = "Compress file failed:" + source + "\n";
         s.left = Entries(work);
         return s;
     }},
    {"layout reading",
     [](Work& w) {
         // Larger than a text read whole before the first look at the flag.
         std::string layout = "[Padding]\r\n";
         while (layout.size() < (size_t(9) << 20)) {
             layout += "Padding_Text = xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
         }
         const std::wstring path = Wide(w.Image("layout.blf", layout));
         std::wstring text = L"kept";
         w.Stop();
         Stopped s;
         s.outcome = Capture([&] { return platform::ReadTextFile(path, text); });
         EXPECT_EQ(text, L"kept");
         return s;
     }},
    {"signing",
     [](Work& w) {
         EVP_PKEY* key = testsupport::RsaKey(1024);
         const std::vector<uint8_t> d = LeNumber(key, OSSL_PKEY_PARAM_RSA_D);
         const std::vector<uint8_t> n = LeNumber(key, OSSL_PKEY_PARAM_RSA_N);
         const std::vector<uint8_t> e(n.size(), 0);
         // More than one of the pieces the digest takes at a time.
         const std::string package = Pattern(0x400000 + 5, 6);
         std::vector<uint8_t> signature(CRsaKeyFile::kMaxBytes, 0xAA);
         uint32_t length = 0;
         w.Stop();
         Stopped s;
         s.outcome = Capture([&] {
             return SignPackage(reinterpret_cast<const uint8_t*>(package.data()),
                                static_cast<uint32_t>(package.size()), signature.data(), &length, L"SHA-160",
                                d.data(), e.data(), n.data(), EVP_PKEY_get_size(key));
         });
         EXPECT_EQ(length, 0u);
         EXPECT_TRUE(std::all_of(signature.begin(), signature.end(), [](uint8_t b) { return b == 0xAA; }))
             << "a signature was written";
         return s;
     }},
};

TEST(StopCheckTest, EachLongStepFailsOnAStopLeavingNothing)
{
    for (const StopCase& c : kStopCases) {
        SCOPED_TRACE(c.step);
        Stopped s;
        {
            Work w;
            s = c.run(w);
            EXPECT_TRUE(platform::StopRequested());
        }
        EXPECT_FALSE(platform::StopRequested());
        EXPECT_FALSE(s.outcome.result);
        EXPECT_FALSE(s.outcome.thrown) << platform::EncodeText(s.outcome.message);
        EXPECT_EQ(s.outcome.out, s.expectedOut);
        EXPECT_EQ(s.left, std::vector<std::string>{});
    }
}

}  // namespace

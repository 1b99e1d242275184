// The key, signature and DTIM sections, read from one trusted layout file
// (a fuzz seed as well) and from variants of it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/CallCapture.h"
#include "support/PackageBytes.h"
#include "support/TestSupport.h"
#include "timlib/BlfParseFlow.h"
#include "timlib/BlfParser.h"

namespace {

using testsupport::Capture;
using testsupport::Le32;
using testsupport::Outcome;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

constexpr uint32_t kNewVersion = 0x030400;
constexpr uint32_t kOldVersion = 0x030200;

using Edits = std::vector<std::pair<std::string, std::string>>;

const std::string& Fixture()
{
    static const std::string text = ReadFile(TARVOK_FIXTURES "/fuzz/seed-trusted-keys.blf");
    return text;
}

// The fixture with the first occurrence of each text replaced in turn.
std::string Edit(const Edits& edits)
{
    std::string text = Fixture();
    for (const auto& edit : edits) {
        const size_t at = text.find(edit.first);
        if (at == std::string::npos) {
            ADD_FAILURE() << "not in the fixture: " << edit.first;
            continue;
        }
        text.replace(at, edit.first.size(), edit.second);
    }
    return text;
}

// count lines "<name>_<i> = 0x<base + i>", i from 1.
std::string WordLines(const std::string& name, size_t count, uint32_t base)
{
    std::string lines;
    for (size_t i = 1; i <= count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%s_%zu = 0x%08X\n", name.c_str(), i, base + static_cast<uint32_t>(i));
        lines += line;
    }
    return lines;
}

// One line per key: class, ID, sizes, scheme, hash and the lengths of the
// two public numbers (exponent or X, modulus or Y).
std::string Describe(const CKey& key)
{
    std::string kind = "?";
    size_t first = 0;
    size_t second = 0;
    if (const auto* rsa = dynamic_cast<const CRSAKey*>(&key)) {
        kind = "R";
        first = rsa->m_PublicExponent.size();
        second = rsa->m_Modulus.size();
    } else if (const auto* ecdsa = dynamic_cast<const CECCKey*>(&key)) {
        kind = "E";
        first = ecdsa->m_CompX.size();
        second = ecdsa->m_CompY.size();
    }
    return kind + " " + platform::EncodeText(key.m_KeyId) + " " + std::to_string(key.m_KeySize) + " " +
           std::to_string(key.m_PublicKeySize) + " " + platform::EncodeText(key.m_SchemeName) + " " +
           platform::EncodeText(key.m_HashAlgorithm) + " " + std::to_string(first) + " " + std::to_string(second);
}

std::vector<std::string> DescribeKeys(const KeyList& keys)
{
    std::vector<std::string> lines;
    for (const auto& key : keys) {
        lines.push_back(Describe(*key));
    }
    return lines;
}

std::string RecordBytes(const TimSignatureRecord& record)
{
    return std::string(reinterpret_cast<const char*>(record.bytes), sizeof record.bytes);
}

// The words of the record from offset on: the given ones, then zero up to
// the end of the area.
void ExpectArea(const std::string& bytes, size_t offset, size_t areaWords, const std::vector<uint32_t>& words)
{
    for (size_t i = 0; i < areaWords; ++i) {
        ASSERT_EQ(Le32(bytes, offset + 4 * i), i < words.size() ? words[i] : 0u) << "word " << i << " at " << offset;
    }
}

class KeySectionsTest : public testing::Test {
protected:
    // Writes the layout and leaves the parser as ParseBlfFile has it when
    // it reaches the key sections.
    void Use(const std::string& text, uint32_t version = kNewVersion)
    {
        WriteFile(folder.File("keys.blf"), text);
        parser.m_BlfPath = Wide(folder.File("keys.blf"));
        parser.UseText(nullptr);
        parser.m_TimDescriptor.Reset();
        parser.m_TimDescriptor.m_HeaderWords[CTimDescriptor::kWordVersion] = version;
        // A reset keeps the signature record; each case starts from zero.
        parser.m_TimDescriptor.m_SignatureRecord.Clear();
    }

    CTimDescriptor& Tim() { return parser.m_TimDescriptor; }

    TempFolder folder;
    CBlfParser parser;
};

const std::string kJtag = "R JTAG 64 8 PKCS1_v1_5_Ippcp SHA-256 1 2";
const std::string kEcc2 = "E ECC2 256 64 ECDSA_256 SHA-512 2 1";

TEST_F(KeySectionsTest, KeysOfTheFixture)
{
    Use(Fixture());
    const Outcome o = Capture([&] { return parser.ParseKeyInfo(); });
    ASSERT_TRUE(o.result) << o.out << platform::EncodeText(o.message);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(Tim().m_HeaderWords[CTimDescriptor::kWordNumberOfKeys], 2u);
    EXPECT_EQ(DescribeKeys(Tim().m_Keys), (std::vector<std::string>{kJtag, kEcc2}));

    const auto& rsa = static_cast<const CRSAKey&>(*Tim().m_Keys.front());
    EXPECT_EQ(rsa.m_KeyIdHex, L"0x4A544147");
    EXPECT_TRUE(rsa.m_bChanged);
    EXPECT_EQ(rsa.m_PublicExponent, TextList{L"0x00010001"});
    // A value keeps its comment; it still converts.
    EXPECT_EQ(rsa.m_Modulus, (TextList{L"0xA1A1A1A1", L"0xA2A2A2A2 ; top word"}));
    EXPECT_TRUE(rsa.m_PrivateKey.empty());
    const auto& ecdsa = static_cast<const CECCKey&>(*Tim().m_Keys.back());
    EXPECT_EQ(ecdsa.m_CompX, (TextList{L"0xB1B1B1B1", L"0xB2B2B2B2"}));
    EXPECT_EQ(ecdsa.m_CompY, TextList{L"0xC1C1C1C1"});
}

TEST_F(KeySectionsTest, KeyVariants)
{
    struct Case {
        const char* name;
        Edits edits;
        uint32_t version;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        // Sizes in bytes scaled to bits; no scheme line is read, so every
        // key is RSA with its class's scheme, and key 2 reads no ECDSA block.
        {"old version", {}, kOldVersion,
         {"R JTAG 1024 64 PKCS1_v1_5_Ippcp SHA-256 1 2", "R ECC2 256 512 PKCS1_v1_5_Ippcp SHA-512 0 0"}},
        {"scheme carried over from key 1",
         {{"2_KEY_Encrypt_Algorithm_ID = ECDSA_256\n2_KEY_Key_ID = ecc2\n",
           "2_KEY_Key_ID = ecc2\n2_KEY_Encrypt_Algorithm_ID = ECDSA_256\n"}},
         kNewVersion, {kJtag, "R ECC2 256 64 ECDSA_256 SHA-512 0 0"}},
        {"ECDSA scheme carried over",
         {{"1_KEY_Encrypt_Algorithm_ID = PKCS1_v1_5_Ippcp", "1_KEY_Encrypt_Algorithm_ID = ECDSA_521"},
          {"2_KEY_Encrypt_Algorithm_ID = ECDSA_256\n2_KEY_Key_ID = ecc2\n",
           "2_KEY_Key_ID = ecc2\n2_KEY_Encrypt_Algorithm_ID = ECDSA_256\n"}},
         kNewVersion, {"E JTAG 64 8 ECDSA_521 SHA-256 0 0", kEcc2}},
        {"no key 1", {{"Begin_KEY_1", "Begin_KEY_3"}}, kNewVersion, {}},
        {"no key 2", {{"Begin_KEY_2", "Begin_KEY_3"}}, kNewVersion, {kJtag}},
        {"key 2 never ends", {{"End_KEY_2\n", ""}}, kNewVersion, {kJtag}},
        {"missing key ID", {{"1_KEY_Key_ID = jtag\n", ""}}, kNewVersion,
         {"R NOT  64 8 PKCS1_v1_5_Ippcp SHA-256 1 2", kEcc2}},
        // A DTIM header also opens the keys section: its block is key 1, and
        // the real key 1 is then skipped while key 2 is looked for.
        {"DTIM header before the keys",
         {{"[Keys_Data]\n", "[DTIM_Keys_Data]\nBegin_KEY_1\nEncrypt_Algorithm_ID = ECDSA_521\nEnd_KEY_1\n"
                            "[Keys_Data]\n"}},
         kNewVersion, {"E JTAG 64 8 PKCS1_v1_5_Ippcp SHA-256 0 0", kEcc2}},
        {"component line forms",
         {{"Exponent_1 = 0x00010001\n",
           "0x00000005\nWord = 5\n; W = 0x00000006\nExponent_1 = 0x00010001\n  E_2  =  0X7 \n"}},
         kNewVersion, {kJtag, kEcc2}},
        // A scheme line that names no scheme resets the carried scheme.
        {"first line naming no scheme",
         {{"1_KEY_Encrypt_Algorithm_ID = PKCS1_v1_5_Ippcp", "1_KEY_Encrypt_Algorithm_ID = ECDSA_521"},
          {"2_KEY_Encrypt_Algorithm_ID = ECDSA_256\n",
           "Encrypt_Algorithm_ID = none\n2_KEY_Encrypt_Algorithm_ID = ECDSA_256\n"}},
         kNewVersion, {"E JTAG 64 8 ECDSA_521 SHA-256 0 0", "R ECC2 256 64 ECDSA_256 SHA-512 0 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(Edit(c.edits), c.version);
        const Outcome o = Capture([&] { return parser.ParseKeyInfo(); });
        ASSERT_TRUE(o.result) << o.out << platform::EncodeText(o.message);
        EXPECT_EQ(DescribeKeys(Tim().m_Keys), c.keys);
        EXPECT_EQ(Tim().m_HeaderWords[CTimDescriptor::kWordNumberOfKeys], 2u);
    }
}

TEST_F(KeySectionsTest, KeyFailures)
{
    struct Case {
        const char* name;
        Edits edits;
        uint32_t version;
        std::string what;  // printed with a line feed, raised with " in ParseKeyInfo"
    };
    const std::vector<Case> cases = {
        {"no hash name", {{"1_KEY_Hash_Algorithm_ID = SHA-256", "1_KEY_Hash_Algorithm_ID = MD5"}}, kNewVersion,
         "Failed to parse key to get Hash_Algorithm_ID in blf file"},
        {"key size not a number", {{"1_KEY_Key_Size_in_bits = 64", "1_KEY_Key_Size_in_bits = many"}}, kNewVersion,
         "Failed to parse key to get Key_Size_in_bytes in blf file"},
        {"no public key size", {{"1_KEY_Public_Key_Size_in_bytes = 8\n", ""}}, kNewVersion,
         "Failed to parse key to get Public_Key_Size_in_bytes in blf file"},
        {"no scheme name", {{"2_KEY_Encrypt_Algorithm_ID = ECDSA_256", "2_KEY_Encrypt_Algorithm_ID = RSA"}},
         kNewVersion, "Failed to parse key to get Encrypt_Algorithm_ID in blf file"},
        {"old version without a modulus size", {{"2_KEY_Modulus_Size_in_bytes = 32\n", ""}}, kOldVersion,
         "Failed to parse key to get Modulus_Size_in_bytes in blf file"},
        {"old version without a public key size", {{"1_KEY_Public_Key_Size_in_bytes = 8\n", ""}}, kOldVersion,
         "Failed to parse key to get Public_Key_Size_in_bytes in blf file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(Edit(c.edits), c.version);
        const Outcome o = Capture([&] { return parser.ParseKeyInfo(); });
        EXPECT_TRUE(o.thrown);
        EXPECT_EQ(o.out, c.what + "\n");
        EXPECT_EQ(o.message, Wide(c.what + " in ParseKeyInfo"));
        // What was read before the failure stays.
        EXPECT_EQ(Tim().m_Keys.size(), 2u);
    }
}

TEST_F(KeySectionsTest, AtMostAThousandKeys)
{
    std::string text = "[Keys_Data]\n";
    for (int k = 1; k <= 1001; ++k) {
        text += "Begin_KEY_" + std::to_string(k) + "\nKey\nEnd_KEY_" + std::to_string(k) + "\n";
    }
    Use(text + "End_Keys_Data\n");
    const Outcome o = Capture([&] { return parser.ParseKeyInfo(); });
    EXPECT_TRUE(o.thrown);
    EXPECT_EQ(o.out, "Begin_KEY_1001 is refused: at most 1000 entries are allowed\n");
    EXPECT_EQ(o.message, L"Begin_KEY_1001 is refused: at most 1000 entries are allowed");
    EXPECT_EQ(Tim().m_Keys.size(), 1000u);
}

// The section readers read their blocks from the text the lookups read: a
// file that is gone by then changes nothing.
TEST_F(KeySectionsTest, BlocksComeFromTheTextTheLookupsRead)
{
    struct Case {
        const char* name;
        bool (CBlfParser::*parse)();
    };
    const std::vector<Case> cases = {
        {"keys", &CBlfParser::ParseKeyInfo},
        {"signature", &CBlfParser::ParseDSAInfo},
        {"DTIM", &CBlfParser::ParseDtimKeyInfo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(Fixture());
        const Outcome present = Capture([&] { return (parser.*c.parse)(); });
        const std::string presentRecord = RecordBytes(Tim().m_SignatureRecord);
        ASSERT_TRUE(present.result) << present.out << platform::EncodeText(present.message);

        Use(Fixture());
        std::wstring value;
        parser.GetKeyValue(L"", value, L"TIM_Configuration", L"Version", parser.m_BlfPath);
        std::remove(folder.File("keys.blf").c_str());
        const Outcome gone = Capture([&] { return (parser.*c.parse)(); });
        EXPECT_FALSE(gone.thrown) << platform::EncodeText(gone.message);
        EXPECT_EQ(gone.result, present.result);
        EXPECT_EQ(gone.out, present.out);
        EXPECT_EQ(RecordBytes(Tim().m_SignatureRecord), presentRecord);
    }
}

TEST_F(KeySectionsTest, SignatureOfTheFixture)
{
    Use(Fixture());
    const Outcome o = Capture([&] { return parser.ParseDSAInfo(); });
    ASSERT_TRUE(o.result) << o.out << platform::EncodeText(o.message);
    EXPECT_EQ(o.out, "");
    const CDigitalSignature& signature = Tim().m_Signature;
    const auto* key = dynamic_cast<const CRSAKey*>(signature.m_pKey.get());
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Describe(*key), "R  64 64 PKCS1_v1_5_Ippcp SHA-256 1 2");
    EXPECT_TRUE(key->m_bChanged);
    EXPECT_EQ(key->m_PrivateKey, (TextList{L"0xE1E1E1E1", L"0xE2E2E2E2"}));
    EXPECT_EQ(signature.m_RsaSignatureWords, TextList(2, L"0x00000000"));
    const std::string r = RecordBytes(Tim().m_SignatureRecord);
    EXPECT_EQ(Le32(r, 0), 3u);
    EXPECT_EQ(Le32(r, 4), 32u);
    EXPECT_EQ(Le32(r, 8), 64u);
    ExpectArea(r, 12, 8, {});
    ExpectArea(r, 44, 64, {0x00010001});
    ExpectArea(r, 300, 64, {0xD1D1D1D1, 0xD2D2D2D2});
    ExpectArea(r, 556, 64, {});
    // The keys section is not this one's business.
    EXPECT_TRUE(Tim().m_Keys.empty());
}

TEST_F(KeySectionsTest, SignatureVariants)
{
    const std::string rsaBlocks = "RSA_Public_Exponent\nE_1 = 0x00010001\nEnd_RSA_Public_Exponent\n"
                                  "RSA_System_Modulus\nM_1 = 0xD1D1D1D1\nM_2 = 0xD2D2D2D2\nEnd_RSA_System_Modulus\n";
    const auto ecdsaBlocks = [](size_t words) {
        return "ECDSA_Public_Key_CompX\n" + WordLines("X", words, 0x100) +
               "End_ECDSA_Public_Key_CompX\nECDSA_Public_Key_CompY\n" + WordLines("Y", words, 0x200) +
               "End_ECDSA_Public_Key_CompY\n";
    };
    const auto range = [](size_t count, uint32_t base) {
        std::vector<uint32_t> words;
        for (size_t i = 1; i <= count; ++i) {
            words.push_back(base + static_cast<uint32_t>(i));
        }
        return words;
    };
    struct Case {
        const char* name;
        Edits edits;
        uint32_t version;
        std::string key;  // Describe of the signature's key
        uint32_t scheme, bits;  // record words 0 and 2
        size_t rsaWords, ecdsaWords;
        std::vector<uint32_t> first;   // at offset 44: exponent or X
        std::vector<uint32_t> second;  // at 300 (modulus) or 112 (Y)
    };
    const std::vector<Case> cases = {
        // Stored as 4, then rewritten from the key's name.
        {"PKCS1_v2_1_Ippcp", {{"DSA_Algorithm = PKCS1_v1_5_Ippcp", "DSA_Algorithm = PKCS1_v2_1_Ippcp"}}, kNewVersion,
         "R  64 64 Zelmora_DS SHA-256 1 2", 0, 64, 2, 0, {0x00010001}, {0xD1D1D1D1, 0xD2D2D2D2}},
        // The size in bytes is taken as bits, unscaled.
        {"old version", {}, kOldVersion, "R  128 128 PKCS1_v1_5_Ippcp SHA-256 1 2", 3, 128, 4, 0, {0x00010001},
         {0xD1D1D1D1, 0xD2D2D2D2}},
        // Only whole words of the key size are stored.
        {"1000 bits",
         {{"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = 1000"}, {"M_1 = 0xD1D1D1D1\nM_2 = 0xD2D2D2D2\n",
                                                                 WordLines("M", 32, 0x300)}},
         kNewVersion, "R  1000 1000 PKCS1_v1_5_Ippcp SHA-256 1 32", 3, 1000, 32, 0, {0x00010001},
         range(31, 0x300)},
        {"lists shorter than the key", {{"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = 2048"}}, kNewVersion,
         "R  2048 2048 PKCS1_v1_5_Ippcp SHA-256 1 2", 3, 2048, 64, 0, {0x00010001}, {0xD1D1D1D1, 0xD2D2D2D2}},
        // More words than the area takes: the area is filled, no further.
        {"4096 bits",
         {{"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = 4096"}, {"M_1 = 0xD1D1D1D1\nM_2 = 0xD2D2D2D2\n",
                                                                 WordLines("M", 128, 0x300)}},
         kNewVersion, "R  4096 4096 PKCS1_v1_5_Ippcp SHA-256 1 128", 3, 4096, 128, 0, {0x00010001},
         range(64, 0x300)},
        {"a second stretch of the section",
         {{"End_DTIM_Keys_Data\n", "End_DTIM_Keys_Data\n[Digital_Signature_Data]\nRSA_System_Modulus\n"
                                   "M_3 = 0xD3D3D3D3\nEnd_RSA_System_Modulus\nEnd_Digital_Signature_Data\n"}},
         kNewVersion, "R  64 64 PKCS1_v1_5_Ippcp SHA-256 1 3", 3, 64, 2, 0, {0x00010001}, {0xD1D1D1D1, 0xD2D2D2D2}},
        {"ECDSA 521",
         {{"DSA_Algorithm = PKCS1_v1_5_Ippcp", "DSA_Algorithm = ECDSA_521"},
          {"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = 521"},
          {rsaBlocks, ecdsaBlocks(18)}},
         kNewVersion, "E  521 521 ECDSA_521 SHA-256 18 18", 6, 521, 0, 17, range(17, 0x100), range(17, 0x200)},
        // An ECDSA key stays one whatever the version.
        {"ECDSA, old version",
         {{"DSA_Algorithm = PKCS1_v1_5_Ippcp", "DSA_Algorithm = ECDSA_256"},
          {"\nModulus_Size_in_bytes = 128", "\nModulus_Size_in_bytes = 64"},
          {rsaBlocks, ecdsaBlocks(3)}},
         kOldVersion, "E  64 64 ECDSA_256 SHA-256 3 3", 5, 64, 0, 2, range(2, 0x100), range(2, 0x200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(Edit(c.edits), c.version);
        const Outcome o = Capture([&] { return parser.ParseDSAInfo(); });
        ASSERT_TRUE(o.result) << o.out << platform::EncodeText(o.message);
        const CDigitalSignature& signature = Tim().m_Signature;
        ASSERT_NE(signature.m_pKey, nullptr);
        EXPECT_EQ(Describe(*signature.m_pKey), c.key);
        EXPECT_EQ(signature.m_RsaSignatureWords.size(), c.rsaWords);
        EXPECT_EQ(signature.m_EcdsaRWords.size(), c.ecdsaWords);
        EXPECT_EQ(signature.m_EcdsaSWords.size(), c.ecdsaWords);
        const std::string r = RecordBytes(Tim().m_SignatureRecord);
        EXPECT_EQ(Le32(r, 0), c.scheme);
        EXPECT_EQ(Le32(r, 4), 32u);
        EXPECT_EQ(Le32(r, 8), c.bits);
        if (c.ecdsaWords > 0) {
            ExpectArea(r, 44, 17, c.first);
            ExpectArea(r, 112, 17, c.second);
            ExpectArea(r, 180, (812 - 180) / 4, {});
        } else {
            ExpectArea(r, 44, 64, c.first);
            ExpectArea(r, 300, 64, c.second);
            ExpectArea(r, 556, 64, {});
        }
    }
}

TEST_F(KeySectionsTest, SignatureFailures)
{
    struct Case {
        const char* name;
        Edits edits;
        uint32_t version;
        std::string out;
        std::wstring message;
        uint32_t scheme;  // record word 0 as the failure leaves it
    };
    const std::vector<Case> cases = {
        {"no scheme name", {{"DSA_Algorithm = PKCS1_v1_5_Ippcp", "DSA_Algorithm = RSA"}}, kNewVersion, "",
         L"unknown DSAID in ParseDSAInfo", 0},
        {"no hash name", {{"Hash_Algorithm_ID = SHA-256\nKey_Size", "Hash_Algorithm_ID = MD5\nKey_Size"}},
         kNewVersion, "", L"unknown HashAlgID in ParseDSAInfo", 3},
        // The scheme as read, before the key's name rewrites it.
        {"no hash name after PKCS1_v2_1_Ippcp",
         {{"DSA_Algorithm = PKCS1_v1_5_Ippcp", "DSA_Algorithm = PKCS1_v2_1_Ippcp"},
          {"Hash_Algorithm_ID = SHA-256\nKey_Size", "Hash_Algorithm_ID = MD5\nKey_Size"}},
         kNewVersion, "", L"unknown HashAlgID in ParseDSAInfo", 4},
        {"key size above the limit", {{"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = 16385"}}, kNewVersion,
         "Key_Size_in_bits = 16385 is refused: at most 16384 bits are allowed\n", L"Key size too large in ParseDSAInfo",
         3},
        {"negative key size", {{"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = -1"}}, kNewVersion,
         "Key_Size_in_bits = -1 is refused: at most 16384 bits are allowed\n", L"Key size too large in ParseDSAInfo",
         3},
        {"old version", {{"\nModulus_Size_in_bytes = 128", "\nModulus_Size_in_bytes = 0x100000"}}, kOldVersion,
         "Modulus_Size_in_bytes = 1048576 is refused: at most 16384 bits are allowed\n",
         L"Key size too large in ParseDSAInfo", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(Edit(c.edits), c.version);
        const Outcome o = Capture([&] { return parser.ParseDSAInfo(); });
        EXPECT_TRUE(o.thrown);
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.message, c.message);
        EXPECT_TRUE(Tim().m_Signature.m_RsaSignatureWords.empty());
        EXPECT_EQ(Tim().m_SignatureRecord.Word(TimSignatureRecord::kScheme), c.scheme);
        EXPECT_EQ(Tim().m_SignatureRecord.Word(TimSignatureRecord::kKeySize), 0u);
    }

    // The limit itself is allowed.
    Use(Edit({{"\nKey_Size_in_bits = 64", "\nKey_Size_in_bits = 16384"}}));
    const Outcome o = Capture([&] { return parser.ParseDSAInfo(); });
    EXPECT_TRUE(o.result);
    EXPECT_EQ(Tim().m_Signature.m_RsaSignatureWords.size(), 512u);
}

TEST_F(KeySectionsTest, DtimKeyOfTheFixture)
{
    Use(Fixture());
    const TimSignatureRecord before = Tim().m_SignatureRecord;
    const Outcome o = Capture([&] { return parser.ParseDtimKeyInfo(); });
    ASSERT_TRUE(o.result) << o.out << platform::EncodeText(o.message);
    EXPECT_EQ(o.out, "");
    const auto* key = dynamic_cast<const CECCKey*>(Tim().m_pKey.get());
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Describe(*key), "E  64 64 ECDSA_256 SHA-512 2 2");
    EXPECT_TRUE(key->m_bChanged);
    EXPECT_EQ(key->m_CompX, (TextList{L"0xF1F1F1F1", L"0xF2F2F2F2"}));
    EXPECT_EQ(key->m_CompY, (TextList{L"0x01010101", L"0x02020202"}));
    EXPECT_EQ(key->m_PrivateKey, TextList{L"0x03030303"});
    EXPECT_EQ(std::memcmp(before.bytes, Tim().m_SignatureRecord.bytes, sizeof before.bytes), 0);
    EXPECT_NE(Tim().m_Signature.m_pKey.get(), Tim().m_pKey.get());

    // Old versions take the byte count as bits here too.
    Use(Fixture(), kOldVersion);
    ASSERT_TRUE(Capture([&] { return parser.ParseDtimKeyInfo(); }).result);
    EXPECT_EQ(Tim().m_pKey->m_KeySize, 8u);
}

TEST_F(KeySectionsTest, DtimFailures)
{
    struct Case {
        const char* name;
        Edits edits;
        std::wstring message;
    };
    const std::vector<Case> cases = {
        {"no scheme name", {{"DSA_Algorithm = ECDSA_256", "DSA_Algorithm = none"}},
         L"unknown DSAID in ParseDtimKeyInfo"},
        {"no DTIM section", {{"[DTIM_Keys_Data]", "[Other]"}}, L"unknown DSAID in ParseDtimKeyInfo"},
        {"no hash name", {{"Hash_Algorithm_ID = SHA-512\nKey_Size", "Hash_Algorithm_ID = SHA-1\nKey_Size"}},
         L"unknown HashAlgID in ParseDSAInfo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Use(Edit(c.edits));
        const Outcome o = Capture([&] { return parser.ParseDtimKeyInfo(); });
        EXPECT_TRUE(o.thrown);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.message, c.message);
    }
}

TEST_F(KeySectionsTest, DtimKeyOnlyWhereThePlatformReadsItAndAMapAsks)
{
    struct Case {
        int32_t platform;
        bool needed;
        bool read;
    };
    const std::vector<Case> cases = {
        {6, true, false}, {7, true, true}, {8, true, true}, {8, false, false}, {19, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.platform) + (c.needed ? " needed" : ""));
        // Without a DTIM section, reading it fails: the failure shows that it was read.
        Use(Edit({{"[DTIM_Keys_Data]", "[Other]"}}));
        parser.m_PlatformType = c.platform;
        parser.m_bDtimNeeded = c.needed ? 1 : 0;
        const Outcome o = Capture([&] {
            parser.ParseKeySections();
            return true;
        });
        EXPECT_EQ(o.thrown, c.read);
        EXPECT_EQ(o.message, c.read ? L"unknown DSAID in ParseDtimKeyInfo" : L"");
        EXPECT_EQ(Tim().m_Keys.size(), 2u);
        EXPECT_NE(Tim().m_Signature.m_pKey, nullptr);
    }
}

TEST_F(KeySectionsTest, ParsedTrustedLayoutHoldsItsKeysAndCopiesThemDeeply)
{
    WriteFile(folder.File("trusted.blf"), Fixture());
    const Outcome o = Capture([&] { return ParseBlfFile(Wide(folder.File("trusted.blf")), parser, 0); });
    ASSERT_TRUE(o.result) << o.out << platform::EncodeText(o.message);
    EXPECT_EQ(DescribeKeys(Tim().m_Keys), (std::vector<std::string>{kJtag, kEcc2}));
    EXPECT_EQ(Tim().m_HeaderWords[CTimDescriptor::kWordNumberOfKeys], 2u);
    ASSERT_NE(Tim().m_Signature.m_pKey, nullptr);
    EXPECT_EQ(Tim().m_pKey, nullptr);  // no image map asks for the DTIM key

    CTimDescriptor copy;
    copy = Tim();
    EXPECT_EQ(DescribeKeys(copy.m_Keys), DescribeKeys(Tim().m_Keys));
    EXPECT_NE(copy.m_Keys.front().get(), Tim().m_Keys.front().get());
    ASSERT_NE(copy.m_Signature.m_pKey, nullptr);
    EXPECT_EQ(Describe(*copy.m_Signature.m_pKey), Describe(*Tim().m_Signature.m_pKey));
    EXPECT_EQ(RecordBytes(copy.m_SignatureRecord), RecordBytes(Tim().m_SignatureRecord));

    // The same file untrusted reads no key section, and needs none.
    WriteFile(folder.File("untrusted.blf"),
              Edit({{"Trusted = 1", "Trusted = 0"}, {"DSA_Algorithm = PKCS1_v1_5_Ippcp", "DSA_Algorithm = none"}}));
    const Outcome untrusted = Capture([&] { return ParseBlfFile(Wide(folder.File("untrusted.blf")), parser, 0); });
    ASSERT_TRUE(untrusted.result) << untrusted.out << platform::EncodeText(untrusted.message);
    EXPECT_TRUE(Tim().m_Keys.empty());
    EXPECT_EQ(Tim().m_Signature.m_pKey, nullptr);
    EXPECT_EQ(Tim().m_HeaderWords[CTimDescriptor::kWordNumberOfKeys], 0u);
}

}  // namespace

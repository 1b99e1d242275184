#include "timlib/Key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/CallCapture.h"
#include "support/PackageBytes.h"

namespace {

using testsupport::Capture;
using testsupport::Le32;
using testsupport::Outcome;

std::wstring Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return std::wstring(text, text + 10);
}

// count word texts, each naming its list and position: base + i.
TextList Words(size_t count, uint32_t base)
{
    TextList list;
    for (size_t i = 0; i < count; ++i) {
        list.push_back(Hex(base + static_cast<uint32_t>(i)));
    }
    return list;
}

template <class Record>
std::string Bytes(const Record& record)
{
    return std::string(reinterpret_cast<const char*>(record.bytes), sizeof record.bytes);
}

// True when the words at offset are base, base + 1, ... for count words.
void ExpectWords(const std::string& bytes, size_t offset, size_t count, uint32_t base)
{
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(Le32(bytes, offset + 4 * i), base + i) << "word " << i << " at " << offset;
    }
}

void ExpectZero(const std::string& bytes, size_t from, size_t to)
{
    for (size_t at = from; at < to; ++at) {
        ASSERT_EQ(bytes[at], '\0') << "byte " << at;
    }
}

TEST(KeyTest, ConstructionValues)
{
    const CRSAKey rsa;
    const CECCKey ecdsa;
    struct Case {
        const CKey* key;
        const wchar_t* scheme;
        uint32_t schemeId;
        uint32_t bits;
    };
    for (const Case& c : {Case{&rsa, L"PKCS1_v1_5_Ippcp", 3, 1024}, Case{&ecdsa, L"ECDSA_256", 5, 256}}) {
        SCOPED_TRACE(testing::PrintToString(c.scheme));
        EXPECT_EQ(c.key->m_SchemeName, c.scheme);
        EXPECT_EQ(c.key->GetEncryptAlgorithmId(), c.schemeId);
        EXPECT_EQ(c.key->m_HashAlgorithm, L"SHA-160");
        EXPECT_EQ(c.key->GetHashSizeInBytes(), 20u);
        EXPECT_EQ(c.key->m_KeySize, c.bits);
        EXPECT_EQ(c.key->m_PublicKeySize, c.bits);
        EXPECT_FALSE(c.key->m_bChanged);
        EXPECT_FALSE(c.key->m_bSchemeFlag);
        EXPECT_TRUE(c.key->m_KeyId.empty());
        EXPECT_TRUE(c.key->m_KeyIdHex.empty());
    }
    EXPECT_TRUE(rsa.m_PublicExponent.empty() && rsa.m_Modulus.empty() && rsa.m_PrivateKey.empty());
    EXPECT_TRUE(ecdsa.m_CompX.empty() && ecdsa.m_CompY.empty() && ecdsa.m_PrivateKey.empty());
}

TEST(KeyTest, SchemeIdsAndNames)
{
    struct Case {
        uint32_t id;
        const wchar_t* name;
        bool flag;
        uint32_t back;  // GetEncryptAlgorithmId afterwards
    };
    const std::vector<Case> cases = {
        {0, L"Zelmora_DS", false, 0},       {1, L"PKCS1_v1_5_Quarn", false, 1},
        {2, L"Zelmora_DS", false, 0},       {3, L"PKCS1_v1_5_Ippcp", false, 3},
        {4, L"Zelmora_DS", false, 0},       {5, L"ECDSA_256", false, 5},
        {6, L"ECDSA_521", false, 6},        {7, L"Zelmora_DS", false, 0},
        {0x80000003, L"PKCS1_v1_5_Ippcp", true, 3}, {0x80000000, L"Zelmora_DS", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        CRSAKey key;
        key.SetEncryptAlgorithmId(c.id);
        EXPECT_EQ(key.m_SchemeName, c.name);
        EXPECT_EQ(key.m_bSchemeFlag, c.flag);
        EXPECT_EQ(key.GetEncryptAlgorithmId(), c.back);
    }
    // Names are compared exactly.
    CECCKey key;
    key.m_SchemeName = L"ecdsa_256";
    EXPECT_EQ(key.GetEncryptAlgorithmId(), 0u);
}

TEST(KeyTest, HashIdsAndNames)
{
    struct Case {
        uint32_t id;
        const wchar_t* name;
        uint32_t size;
        bool message;
    };
    const std::vector<Case> cases = {
        {1, L"SHA-160", 20, false},  {20, L"SHA-160", 20, false}, {160, L"SHA-160", 20, false},
        {2, L"SHA-256", 32, false},  {32, L"SHA-256", 32, false}, {256, L"SHA-256", 32, false},
        {64, L"SHA-512", 64, false}, {512, L"SHA-512", 64, false}, {3, L"SHA-160", 20, true},
        {0, L"SHA-160", 20, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        CRSAKey key;
        key.m_HashAlgorithm = L"SHA-512";
        const Outcome o = Capture([&] {
            key.SetHashAlgorithmId(c.id);
            return true;
        });
        EXPECT_EQ(key.m_HashAlgorithm, c.name);
        EXPECT_EQ(key.GetHashSizeInBytes(), c.size);
        EXPECT_EQ(o.out, c.message ? "\nUnrecognized Hash Algorithm Id. Defaulting to SHA-160.\n" : "");
    }
    CRSAKey key;
    key.m_HashAlgorithm = L"sha-256";
    EXPECT_EQ(key.GetHashSizeInBytes(), 20u);
}

TEST(KeyTest, KeyIdIsFourUpperCaseCharacters)
{
    struct Case {
        std::wstring text;
        std::wstring id;
        std::wstring hex;
    };
    const std::vector<Case> cases = {
        {L"ab", std::wstring(L"AB\0\0", 4), L"0x41420000"},
        {L"abcdef", L"ABCD", L"0x41424344"},
        {L"NOT AVAILABLE", L"NOT ", L"0x4E4F5420"},
        {L"", std::wstring(4, L'\0'), L"0x00000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        CECCKey key;
        key.SetKeyId(c.text);
        EXPECT_EQ(key.m_KeyId, c.id);
        EXPECT_EQ(key.m_KeyIdHex, c.hex);
        EXPECT_TRUE(key.m_bChanged);
    }
}

TEST(KeyTest, SizesAndPrivateKeyAndWordLists)
{
    CRSAKey key;
    key.SetPublicKeySize(7);
    EXPECT_EQ(key.m_KeySize, 1024u);
    EXPECT_EQ(key.m_PublicKeySize, 7u);
    key.SetKeySize(2048);
    EXPECT_EQ(key.m_PublicKeySize, 2048u);
    EXPECT_EQ(key.WordCount(), 64u);
    key.SetKeySize(0xFFFFFFFFu);
    EXPECT_EQ(key.WordCount(), 0x8000000u);  // no wrap at 32 bits

    key.ZeroPrivateKey();  // nothing to zero, still marked
    EXPECT_TRUE(key.m_PrivateKey.empty());
    EXPECT_TRUE(key.m_bChanged);
    key.m_PrivateKey = Words(3, 0x100);
    key.ZeroPrivateKey();
    EXPECT_EQ(key.m_PrivateKey, TextList(3, L"0x00000000"));

    key.m_Modulus = Words(3, 0x200);
    key.m_PublicExponent = Words(2, 0x300);
    const uint32_t three[3] = {7, 8, 9};
    EXPECT_FALSE(key.SetExponentOrY(three, 3));  // shorter list: unchanged
    EXPECT_EQ(key.m_PublicExponent, Words(2, 0x300));
    EXPECT_TRUE(key.SetModulusOrX(three, 2));
    EXPECT_EQ(key.m_Modulus, (TextList{L"0x00000007", L"0x00000008", L"0x00000202"}));
    EXPECT_TRUE(key.SetPrivateKeyWords(three, 3));
    EXPECT_EQ(key.m_PrivateKey, (TextList{L"0x00000007", L"0x00000008", L"0x00000009"}));

    uint32_t out[3] = {1, 1, 1};
    EXPECT_FALSE(key.GetModulusOrX(out, 2));  // more texts than room: nothing written
    EXPECT_EQ(out[0], 1u);
    EXPECT_TRUE(key.GetExponentOrY(out, 3));
    EXPECT_EQ(out[0], 0x300u);
    EXPECT_EQ(out[1], 0x301u);
    EXPECT_TRUE(key.GetPrivateKeyWords(out, 3));
    EXPECT_EQ(out[2], 9u);

    CECCKey ecdsa;
    ecdsa.m_CompX = Words(1, 0x10);
    ecdsa.m_CompY = Words(1, 0x20);
    EXPECT_TRUE(ecdsa.SetModulusOrX(three, 1));
    EXPECT_TRUE(ecdsa.SetExponentOrY(three + 1, 1));
    EXPECT_EQ(ecdsa.m_CompX.front(), L"0x00000007");
    EXPECT_EQ(ecdsa.m_CompY.front(), L"0x00000008");

    key.ClearKeyWords();
    EXPECT_TRUE(key.m_Modulus.empty() && key.m_PublicExponent.empty() && key.m_PrivateKey.empty());
}

TEST(KeyTest, CloneIsADeepCopyOfTheSameClass)
{
    CECCKey key;
    key.SetKeyId(L"dtim");
    key.SetEncryptAlgorithmId(0x80000006);
    key.SetKeySize(521);
    key.m_CompX = Words(17, 0x10);
    key.m_PrivateKey = Words(2, 0x30);
    const std::unique_ptr<CKey> clone = key.Clone();
    auto* copy = dynamic_cast<CECCKey*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->m_KeyId, L"DTIM");
    EXPECT_EQ(copy->m_SchemeName, L"ECDSA_521");
    EXPECT_TRUE(copy->m_bSchemeFlag);
    EXPECT_EQ(copy->m_KeySize, 521u);
    EXPECT_EQ(copy->m_CompX, key.m_CompX);
    copy->m_CompX.front() = L"changed";
    EXPECT_EQ(key.m_CompX.front(), L"0x00000010");

    CRSAKey rsa;
    rsa.m_Modulus = Words(2, 1);
    EXPECT_NE(dynamic_cast<CRSAKey*>(rsa.Clone().get()), nullptr);
}

// A 2048-bit RSA key with full lists and a flagged scheme.
CRSAKey FullRsaKey()
{
    CRSAKey key;
    key.SetKeyId(L"JTAG");
    key.SetEncryptAlgorithmId(0x80000003);
    key.SetHashAlgorithmId(32);
    key.SetKeySize(2048);
    key.SetPublicKeySize(256);
    key.m_PublicExponent = Words(64, 0x1000);
    key.m_Modulus = Words(64, 0x2000);
    key.m_PrivateKey = Words(64, 0x3000);
    return key;
}

TEST(KeyTest, RsaKeyRecordFillsBothAreas)
{
    const CRSAKey key = FullRsaKey();
    TimKeyRecord record;
    std::memset(record.bytes, 0xEE, sizeof record.bytes);  // stale bytes are cleared
    key.StoreToKeyRecord(record);
    const std::string b = Bytes(record);
    EXPECT_EQ(Le32(b, 0), 0x4A544147u);
    EXPECT_EQ(Le32(b, 4), 32u);
    EXPECT_EQ(Le32(b, 8), 2048u);
    EXPECT_EQ(Le32(b, 12), 256u);
    EXPECT_EQ(Le32(b, 16), 0x80000003u);
    ExpectWords(b, 20, 64, 0x1000);
    ExpectWords(b, 276, 64, 0x2000);
    ExpectZero(b, 532, 596);

    TimSignatureRecord signature;
    std::memset(signature.bytes, 0xEE, sizeof signature.bytes);
    key.StoreToSignatureRecord(signature);
    const std::string s = Bytes(signature);
    EXPECT_EQ(Le32(s, 0), 3u);  // without the flag
    EXPECT_EQ(Le32(s, 4), 32u);
    EXPECT_EQ(Le32(s, 8), 2048u);
    ExpectZero(s, 12, 44);
    ExpectWords(s, 44, 64, 0x1000);
    ExpectWords(s, 300, 64, 0x2000);
    ExpectZero(s, 556, 812);
}

TEST(KeyTest, NumbersThatDoNotFitLeaveTheirAreaZero)
{
    struct Case {
        const char* name;
        uint32_t bits;
        size_t modulusWords;
        size_t exponentWords;
        bool modulusStored;
        bool exponentStored;
    };
    const std::vector<Case> cases = {
        {"65-word modulus", 2048, 65, 64, false, true},
        {"short lists", 2048, 3, 1, true, true},
        {"longer than the key size", 64, 3, 2, false, true},
        {"4096 bits", 4096, 128, 128, false, false},
        {"4096 bits, short lists", 4096, 64, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRSAKey key;
        key.SetKeySize(c.bits);
        key.m_Modulus = Words(c.modulusWords, 0x2000);
        key.m_PublicExponent = Words(c.exponentWords, 0x1000);
        TimKeyRecord record;
        key.StoreToKeyRecord(record);
        TimSignatureRecord signature;
        key.StoreToSignatureRecord(signature);
        const std::string b = Bytes(record);
        const std::string s = Bytes(signature);
        if (c.modulusStored) {
            ExpectWords(b, 276, c.modulusWords, 0x2000);
            ExpectZero(b, 276 + 4 * c.modulusWords, 596);
            ExpectWords(s, 300, c.modulusWords, 0x2000);
            ExpectZero(s, 300 + 4 * c.modulusWords, 812);
        } else {
            ExpectZero(b, 276, 596);
            ExpectZero(s, 300, 812);
        }
        if (c.exponentStored) {
            ExpectWords(b, 20, c.exponentWords, 0x1000);
            ExpectZero(b, 20 + 4 * c.exponentWords, 276);
            ExpectWords(s, 44, c.exponentWords, 0x1000);
            ExpectZero(s, 44 + 4 * c.exponentWords, 300);
        } else {
            ExpectZero(b, 20, 276);
            ExpectZero(s, 44, 300);
        }
    }
}

// The signature record's one store: the words asked for, a longer number
// cut to them or skipped, never past an area, nothing else touched.
TEST(KeyTest, SignatureWordsCutOrSkipALongerNumber)
{
    struct Case {
        const char* name;
        bool ecdsa;
        uint32_t bits;
        size_t firstWords;   // modulus or X
        size_t secondWords;  // exponent or Y
        uint64_t words;
        CKey::LongerNumber longer;
        size_t firstStored;
        size_t secondStored;
    };
    using L = CKey::LongerNumber;
    const std::vector<Case> cases = {
        {"RSA, whole words of 1000 bits, cut", false, 1000, 32, 32, 31, L::kCut, 31, 31},
        {"RSA, whole words of 1000 bits, skipped", false, 1000, 32, 31, 31, L::kSkip, 0, 31},
        {"RSA, short lists", false, 2048, 3, 1, 64, L::kCut, 3, 1},
        {"RSA, more than the area", false, 4096, 128, 70, 128, L::kCut, 64, 64},
        {"ECDSA, a partial word counts", true, 521, 20, 17, 17, L::kCut, 17, 17},
        {"ECDSA, skipped", true, 521, 20, 17, 17, L::kSkip, 0, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CKey> key = CreateKeyForScheme(c.ecdsa ? kSchemeEcdsa521 : kSchemePkcs1V15Ippcp);
        key->SetEncryptAlgorithmId(c.ecdsa ? kSchemeEcdsa521 : kSchemePkcs1V15Ippcp);
        key->SetKeySize(c.bits);
        key->SetHashAlgorithmId(32);
        CRSAKey* rsa = dynamic_cast<CRSAKey*>(key.get());
        CECCKey* ecc = dynamic_cast<CECCKey*>(key.get());
        (rsa ? rsa->m_Modulus : ecc->m_CompX) = Words(c.firstWords, 0x1000);
        (rsa ? rsa->m_PublicExponent : ecc->m_CompY) = Words(c.secondWords, 0x2000);

        TimSignatureRecord signature;
        std::memset(signature.bytes, 0xEE, sizeof signature.bytes);
        key->StoreSignatureWords(signature, c.words, c.longer);
        const std::string s = Bytes(signature);
        EXPECT_EQ(Le32(s, 0), c.ecdsa ? 6u : 3u);
        EXPECT_EQ(Le32(s, 4), 32u);
        EXPECT_EQ(Le32(s, 8), c.bits);
        const size_t first = c.ecdsa ? 44 : 300;
        const size_t second = c.ecdsa ? 112 : 44;
        ExpectWords(s, first, c.firstStored, 0x1000);
        ExpectWords(s, second, c.secondStored, 0x2000);
        // The word after each stored run, and the bytes between the header
        // and the first area, keep what they held.
        const size_t area = c.ecdsa ? 17 : 64;
        for (const auto& [offset, stored] : {std::pair(first, c.firstStored), std::pair(second, c.secondStored)}) {
            if (stored < area) {
                EXPECT_EQ(Le32(s, offset + 4 * stored), 0xEEEEEEEEu) << offset;
            }
        }
        EXPECT_EQ(Le32(s, std::max(first, second) + 4 * area), 0xEEEEEEEEu);
        EXPECT_EQ(s.substr(12, 32), std::string(32, '\xEE'));
    }
}

TEST(KeyTest, EcdsaRecordsHoldSeventeenWordsPerComponent)
{
    CECCKey key;
    key.SetKeyId(L"ECC1");
    key.SetEncryptAlgorithmId(6);
    key.SetHashAlgorithmId(64);
    key.SetKeySize(521);
    key.m_CompX = Words(17, 0x100);
    key.m_CompY = Words(17, 0x200);
    key.m_PrivateKey = Words(17, 0x300);
    TimKeyRecord record;
    key.StoreToKeyRecord(record);
    const std::string b = Bytes(record);
    EXPECT_EQ(Le32(b, 0), 0x45434331u);
    EXPECT_EQ(Le32(b, 4), 64u);
    EXPECT_EQ(Le32(b, 8), 521u);
    EXPECT_EQ(Le32(b, 16), 6u);
    ExpectWords(b, 20, 17, 0x100);
    ExpectWords(b, 88, 17, 0x200);
    ExpectZero(b, 156, 596);

    TimSignatureRecord signature;
    key.StoreToSignatureRecord(signature);
    const std::string s = Bytes(signature);
    EXPECT_EQ(Le32(s, 0), 6u);
    ExpectWords(s, 44, 17, 0x100);
    ExpectWords(s, 112, 17, 0x200);
    ExpectZero(s, 180, 812);

    // A component beyond 17 words is not stored.
    key.SetKeySize(1024);
    key.m_CompX = Words(32, 0x100);
    key.StoreToKeyRecord(record);
    ExpectZero(Bytes(record), 20, 88);
    ExpectWords(Bytes(record), 88, 17, 0x200);
}

TEST(KeyTest, RecordsRoundTrip)
{
    const CRSAKey source = FullRsaKey();
    TimKeyRecord record;
    source.StoreToKeyRecord(record);

    // Loads overwrite lists of the right length in place.
    CRSAKey loaded;
    loaded.m_Modulus = TextList(64, L"x");
    loaded.m_PublicExponent = TextList(64, L"x");
    EXPECT_TRUE(loaded.LoadFromKeyRecord(record));
    EXPECT_EQ(loaded.m_KeyId, L"JTAG");
    EXPECT_EQ(loaded.m_KeyIdHex, L"0x4A544147");
    EXPECT_EQ(loaded.m_SchemeName, L"PKCS1_v1_5_Ippcp");
    EXPECT_TRUE(loaded.m_bSchemeFlag);
    EXPECT_EQ(loaded.m_HashAlgorithm, L"SHA-256");
    EXPECT_EQ(loaded.m_KeySize, 2048u);
    EXPECT_EQ(loaded.m_PublicKeySize, 2048u);  // word 3 is not read
    EXPECT_EQ(loaded.m_Modulus, source.m_Modulus);
    EXPECT_EQ(loaded.m_PublicExponent, source.m_PublicExponent);

    TimSignatureRecord signature;
    source.StoreToSignatureRecord(signature);
    CRSAKey fromSignature;
    fromSignature.SetKeyId(L"KEEP");
    fromSignature.m_Modulus = TextList(64, L"x");
    fromSignature.m_PublicExponent = TextList(64, L"x");
    EXPECT_TRUE(fromSignature.LoadFromSignatureRecord(signature));
    EXPECT_EQ(fromSignature.m_KeyId, L"KEEP");
    EXPECT_FALSE(fromSignature.m_bSchemeFlag);
    EXPECT_EQ(fromSignature.m_Modulus, source.m_Modulus);
    EXPECT_EQ(fromSignature.m_PublicExponent, source.m_PublicExponent);

    CECCKey ecdsa;
    ecdsa.SetEncryptAlgorithmId(5);
    ecdsa.SetKeySize(256);
    ecdsa.m_CompX = Words(8, 0x10);
    ecdsa.m_CompY = Words(8, 0x20);
    ecdsa.StoreToKeyRecord(record);
    CECCKey ecdsaLoaded;
    ecdsaLoaded.m_CompX = TextList(8, L"x");
    ecdsaLoaded.m_CompY = TextList(8, L"x");
    EXPECT_TRUE(ecdsaLoaded.LoadFromKeyRecord(record));
    EXPECT_EQ(ecdsaLoaded.m_CompX, ecdsa.m_CompX);
    EXPECT_EQ(ecdsaLoaded.m_CompY, ecdsa.m_CompY);
}

TEST(KeyTest, LoadsRefuseShortListsAndKeysLargerThanTheArea)
{
    struct Case {
        const char* name;
        uint32_t bits;
        size_t modulusWords;
        size_t exponentWords;
        bool result;
        bool modulusLoaded;
    };
    const std::vector<Case> cases = {
        {"short modulus list", 2048, 63, 64, false, false},
        {"short exponent list", 2048, 64, 10, false, true},
        {"4096 bits", 4096, 128, 128, false, false},
        {"2049 bits", 2049, 65, 65, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRSAKey source = FullRsaKey();
        source.SetKeySize(c.bits);
        TimKeyRecord record;
        source.StoreToKeyRecord(record);
        TimSignatureRecord signature;
        source.StoreToSignatureRecord(signature);
        for (int form = 0; form < 2; ++form) {
            CRSAKey key;
            key.m_Modulus = TextList(c.modulusWords, L"x");
            key.m_PublicExponent = TextList(c.exponentWords, L"x");
            EXPECT_EQ(form == 0 ? key.LoadFromKeyRecord(record) : key.LoadFromSignatureRecord(signature), c.result);
            EXPECT_EQ(key.m_KeySize, c.bits);
            EXPECT_EQ(key.m_Modulus.front() != L"x", c.modulusLoaded);
            EXPECT_EQ(key.m_PublicExponent.front(), L"x");
        }
    }
}

TEST(KeyTest, SchemeAndHashNamesInLayoutTexts)
{
    struct Case {
        std::wstring text;
        bool found;
        uint32_t id;
    };
    const std::vector<Case> cases = {
        {L"Zelmora_DS", true, 0},           {L"PKCS1_v1_5_Quarn", true, 1}, {L"PKCS1_v2_1_Quarn", true, 2},
        {L"PKCS1_v1_5_Ippcp", true, 3},     {L"x PKCS1_v2_1_Ippcp ; y", true, 4}, {L"ECDSA_256", true, 5},
        {L"ECDSA_521", true, 6},            {L"ECDSA_521 Zelmora_DS", true, 0}, {L"ecdsa_256", false, 0},
        {L"NOT AVAILABLE", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        uint32_t id = 99;
        EXPECT_EQ(FindSchemeInText(c.text, id), c.found);
        EXPECT_EQ(id, c.found ? c.id : 99u);
        if (c.found) {
            const bool ecdsa = c.id == 5 || c.id == 6;
            EXPECT_EQ(IsEcdsaScheme(c.id), ecdsa);
            EXPECT_EQ(dynamic_cast<CECCKey*>(CreateKeyForScheme(c.id).get()) != nullptr, ecdsa);
        }
    }
    uint32_t id = 99;
    EXPECT_TRUE(FindSchemeInText(L"Zelmora_DS PKCS1_v1_5_Ippcp", id, 2));
    EXPECT_EQ(id, 3u);

    uint32_t size = 0;
    std::wstring name;
    EXPECT_TRUE(FindHashInText(L"SHA-512 SHA-256", size, name));
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(name, L"SHA-256");
    EXPECT_FALSE(FindHashInText(L"SHA-1", size, name));
}

}  // namespace

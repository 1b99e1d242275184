#include "timlib/DigitalSignature.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(DigitalSignatureTest, NewObjectHasADefaultRsaKeyAndNoWords)
{
    const CDigitalSignature signature;
    ASSERT_NE(dynamic_cast<CRSAKey*>(signature.m_pKey.get()), nullptr);
    EXPECT_EQ(signature.m_pKey->m_SchemeName, L"PKCS1_v1_5_Ippcp");
    EXPECT_FALSE(signature.m_pKey->m_bSchemeFlag);
    EXPECT_EQ(signature.GetKeySize(), 1024u);
    EXPECT_TRUE(signature.m_RsaSignatureWords.empty());
    EXPECT_TRUE(signature.m_EcdsaRWords.empty());
    EXPECT_TRUE(signature.m_EcdsaSWords.empty());
    EXPECT_FALSE(signature.m_bChanged);
}

TEST(DigitalSignatureTest, KeySizeSizesTheListsOfTheScheme)
{
    struct Case {
        const char* name;
        uint32_t scheme;
        uint32_t bits;
        size_t rsaWords;
        size_t ecdsaWords;
    };
    const std::vector<Case> cases = {
        {"RSA 2048", 3, 2048, 64, 0},
        {"RSA 1000", 0, 1000, 32, 0},
        {"ECDSA 521", 6, 521, 0, 17},
        {"ECDSA 256", 5, 256, 0, 8},
        {"zero", 3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDigitalSignature signature;
        signature.m_pKey = CreateKeyForScheme(c.scheme);
        signature.m_pKey->SetEncryptAlgorithmId(c.scheme);
        signature.SetKeySize(c.bits);
        EXPECT_EQ(signature.GetKeySize(), c.bits);
        EXPECT_EQ(signature.m_pKey->m_PublicKeySize, c.bits);
        EXPECT_EQ(signature.m_RsaSignatureWords, TextList(c.rsaWords, L"0x00000000"));
        EXPECT_EQ(signature.m_EcdsaRWords, TextList(c.ecdsaWords, L"0x00000000"));
        EXPECT_EQ(signature.m_EcdsaSWords, TextList(c.ecdsaWords, L"0x00000000"));
        EXPECT_EQ(signature.m_bChanged, c.rsaWords + c.ecdsaWords > 0);
    }
}

TEST(DigitalSignatureTest, ResizingMarksAChangeOnlyWhenALengthChanges)
{
    CDigitalSignature signature;
    signature.SetKeySize(64);
    EXPECT_TRUE(signature.m_bChanged);
    signature.m_bChanged = false;
    signature.SetKeySize(64);
    EXPECT_FALSE(signature.m_bChanged);
    signature.SetKeySize(0);
    EXPECT_TRUE(signature.m_RsaSignatureWords.empty());
    EXPECT_TRUE(signature.m_bChanged);
}

TEST(DigitalSignatureTest, ClearAllDropsTheKey)
{
    CDigitalSignature signature;
    signature.SetKeySize(96);
    signature.ClearAll();
    EXPECT_EQ(signature.m_pKey, nullptr);
    EXPECT_EQ(signature.GetKeySize(), 0u);
    EXPECT_TRUE(signature.m_RsaSignatureWords.empty());
    signature.SetKeySize(2048);  // no key: nothing happens
    EXPECT_TRUE(signature.m_RsaSignatureWords.empty());
}

TEST(DigitalSignatureTest, AssignmentIsDeep)
{
    CDigitalSignature source;
    source.m_pKey = std::make_unique<CECCKey>();
    source.m_pKey->SetEncryptAlgorithmId(6);
    source.SetKeySize(521);
    static_cast<CECCKey&>(*source.m_pKey).m_CompX = {L"0x00000001"};

    CDigitalSignature target;
    target.m_bChanged = false;
    target.m_RsaSignatureWords = {L"stale"};
    target = source;
    EXPECT_FALSE(target.m_bChanged);  // not copied
    EXPECT_TRUE(target.m_RsaSignatureWords.empty());
    EXPECT_EQ(target.m_EcdsaRWords.size(), 17u);
    EXPECT_EQ(target.m_EcdsaSWords.size(), 17u);
    auto* key = dynamic_cast<CECCKey*>(target.m_pKey.get());
    ASSERT_NE(key, nullptr);
    EXPECT_NE(key, source.m_pKey.get());
    EXPECT_EQ(key->m_SchemeName, L"ECDSA_521");
    EXPECT_EQ(key->m_CompX, TextList{L"0x00000001"});

    target = target;  // itself: unchanged
    EXPECT_EQ(target.GetKeySize(), 521u);

    CDigitalSignature keyless;
    keyless.ClearAll();
    target = keyless;
    EXPECT_EQ(target.m_pKey, nullptr);
    EXPECT_TRUE(target.m_EcdsaRWords.empty());
}

}  // namespace

#include "timlib/TimDescriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Tags(const ImageList& images)
{
    std::vector<std::wstring> tags;
    for (const auto& image : images) {
        tags.push_back(image->GetIdName());
    }
    return tags;
}

void AddImage(ImageList& images, const std::wstring& tag)
{
    images.push_back(std::make_unique<CImageDescription>());
    images.back()->SetIdName(tag);
}

// A descriptor filled the way the layout-file parser leaves one.
class TimDescriptorFilled : public testing::Test {
protected:
    void SetUp() override
    {
        d.Reset();
        d.m_Version = L"0x030400";
        d.m_bTrusted = true;
        d.m_IssueDate = L"0x01022024";
        d.m_OemUniqueId = L"0x12345678";
        d.m_BootFlashSignature = L"0x4E414E44";
        d.m_ProcessorType = L"PXA9xx";
        d.SetVktSaveStateBackUpEntryAddress(L"0x00080000");
        d.SetVktSaveStateFlashSignature(L"0x4E414E44");
        d.SetVktSaveStateFlashEntryAddress(L"0x00040000");
        d.m_bDirty = false;
        for (size_t i = 0; i < CTimDescriptor::kHeaderWordCount; ++i) {
            d.m_HeaderWords[i] = 0x100u + static_cast<uint32_t>(i);
        }
        for (const wchar_t* tag : {L"TIMH", L"OBMI", L"OSLO"}) {
            AddImage(d.m_Images, tag);
        }
    }

    CTimDescriptor d;
};

TEST(TimDescriptorTest, ConstructorValues)
{
    const CTimDescriptor d;
    for (const std::wstring* text : {&d.m_Version, &d.m_IssueDate, &d.m_OemUniqueId, &d.m_BootFlashSignature,
                                     &d.m_ProcessorType}) {
        EXPECT_TRUE(text->empty()) << testing::PrintToString(*text);
    }
    EXPECT_EQ(d.m_VktSaveStateFlashSignature, L"0x4D4D4308");
    EXPECT_EQ(d.m_VktSaveStateFlashEntryAddress, L"0x00000000");
    EXPECT_EQ(d.m_VktSaveStateBackUpEntryAddress, L"0x00000000");
    EXPECT_FALSE(d.m_bTrusted);
    for (size_t i = 0; i < CTimDescriptor::kHeaderWordCount; ++i) {
        SCOPED_TRACE(i);
        const bool reserved = i == CTimDescriptor::kWordReserved1 || i == CTimDescriptor::kWordReserved2;
        EXPECT_EQ(d.m_HeaderWords[i], reserved ? 0xFFFFFFFFu : 0u);
    }
    EXPECT_TRUE(d.m_Images.empty());
    EXPECT_FALSE(d.m_bChanged);
    EXPECT_TRUE(d.m_bDirty);
    EXPECT_EQ(d.GetReservedDataSize(), 0u);
}

TEST_F(TimDescriptorFilled, ResetRestoresTextsAndKeepsHeaderWords)
{
    d.m_bChanged = false;
    d.Reset();
    EXPECT_EQ(d.m_Version, L"0x030201");
    EXPECT_FALSE(d.m_bTrusted);
    EXPECT_EQ(d.m_IssueDate, L"0x08042008");
    EXPECT_EQ(d.m_OemUniqueId, L"0xFEDCBA98");
    EXPECT_EQ(d.m_BootFlashSignature, L"0x4D4D4308");
    EXPECT_TRUE(d.m_ProcessorType.empty());
    EXPECT_EQ(d.m_VktSaveStateFlashSignature, L"0x4D4D4308");
    EXPECT_EQ(d.m_VktSaveStateFlashEntryAddress, L"0x00000000");
    EXPECT_EQ(d.m_VktSaveStateBackUpEntryAddress, L"0x00000000");
    EXPECT_TRUE(d.m_Images.empty());
    EXPECT_TRUE(d.m_bChanged);
    EXPECT_TRUE(d.m_bDirty);
    for (size_t i = 0; i < CTimDescriptor::kHeaderWordCount; ++i) {
        EXPECT_EQ(d.m_HeaderWords[i], 0x100u + i) << "word " << i;
    }
}

TEST_F(TimDescriptorFilled, AssignmentIsDeepAndReplacesTarget)
{
    CTimDescriptor copy;
    AddImage(copy.m_Images, L"OLD1");
    copy = d;
    EXPECT_EQ(copy.m_Version, d.m_Version);
    EXPECT_EQ(copy.m_bTrusted, d.m_bTrusted);
    EXPECT_EQ(copy.m_IssueDate, d.m_IssueDate);
    EXPECT_EQ(copy.m_OemUniqueId, d.m_OemUniqueId);
    EXPECT_EQ(copy.m_BootFlashSignature, d.m_BootFlashSignature);
    EXPECT_EQ(copy.m_ProcessorType, d.m_ProcessorType);
    EXPECT_EQ(copy.m_VktSaveStateFlashSignature, d.m_VktSaveStateFlashSignature);
    EXPECT_EQ(copy.m_VktSaveStateFlashEntryAddress, d.m_VktSaveStateFlashEntryAddress);
    EXPECT_EQ(copy.m_VktSaveStateBackUpEntryAddress, d.m_VktSaveStateBackUpEntryAddress);
    EXPECT_TRUE(copy.m_bChanged);
    EXPECT_FALSE(copy.m_bDirty);
    for (size_t i = 0; i < CTimDescriptor::kHeaderWordCount; ++i) {
        EXPECT_EQ(copy.m_HeaderWords[i], d.m_HeaderWords[i]) << "word " << i;
    }
    const std::vector<std::wstring> order = {L"TIMH", L"OBMI", L"OSLO"};
    ASSERT_EQ(Tags(copy.m_Images), order);

    copy.m_Images.front()->SetImagePath(L"changed.bin");
    copy.m_Images.front()->ImageSize = 77;
    EXPECT_TRUE(d.m_Images.front()->GetImagePath().empty());
    EXPECT_EQ(d.m_Images.front()->ImageSize, 0u);
    copy.m_Images.pop_back();
    EXPECT_EQ(Tags(d.m_Images), order);
}

TEST_F(TimDescriptorFilled, SelfAssignmentKeepsEverything)
{
    const CTimDescriptor& alias = d;
    d = alias;
    EXPECT_EQ(d.m_Version, L"0x030400");
    EXPECT_EQ(d.m_HeaderWords[0], 0x100u);
    EXPECT_EQ(Tags(d.m_Images), (std::vector<std::wstring>{L"TIMH", L"OBMI", L"OSLO"}));
}

TEST_F(TimDescriptorFilled, ReplaceAndClearImages)
{
    ImageList other;
    AddImage(other, L"NEW1");
    AddImage(other, L"NEW2");
    d.ReplaceImages(other);
    EXPECT_EQ(Tags(d.m_Images), (std::vector<std::wstring>{L"NEW1", L"NEW2"}));
    d.m_Images.front()->SetImagePath(L"copy.bin");
    EXPECT_TRUE(other.front()->GetImagePath().empty());

    // The splitting step may hand back the descriptor's own list.
    d.ReplaceImages(d.m_Images);
    EXPECT_EQ(Tags(d.m_Images), (std::vector<std::wstring>{L"NEW1", L"NEW2"}));
    EXPECT_EQ(d.m_Images.front()->GetImagePath(), L"copy.bin");

    d.ReplaceImages(ImageList());
    EXPECT_TRUE(d.m_Images.empty());
    EXPECT_EQ(Tags(other), (std::vector<std::wstring>{L"NEW1", L"NEW2"}));

    d.ReplaceImages(other);
    d.ClearImages();
    EXPECT_TRUE(d.m_Images.empty());
    EXPECT_EQ(d.m_Version, L"0x030400");
}

TEST(TimDescriptorTest, SaveStateSettersStoreAndMarkBoth)
{
    struct Case {
        const char* name;
        std::function<void(CTimDescriptor&, std::wstring)> set;
        std::wstring CTimDescriptor::*field;
    };
    const std::vector<Case> cases = {
        {"FlashSignature", &CTimDescriptor::SetVktSaveStateFlashSignature,
         &CTimDescriptor::m_VktSaveStateFlashSignature},
        {"FlashEntryAddress", &CTimDescriptor::SetVktSaveStateFlashEntryAddress,
         &CTimDescriptor::m_VktSaveStateFlashEntryAddress},
        {"BackUpEntryAddress", &CTimDescriptor::SetVktSaveStateBackUpEntryAddress,
         &CTimDescriptor::m_VktSaveStateBackUpEntryAddress},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTimDescriptor d;
        d.m_bDirty = false;
        c.set(d, L"0x00123456");
        EXPECT_EQ(d.*c.field, L"0x00123456");
        EXPECT_TRUE(d.m_bChanged);
        EXPECT_TRUE(d.m_bDirty);
    }
}

}  // namespace

namespace {

CReservedPackageData& AddPackage(CTimDescriptor& d, const std::wstring& id, size_t words)
{
    d.m_ReservedPackages.push_back(std::make_unique<CReservedPackageData>());
    CReservedPackageData& package = *d.m_ReservedPackages.back();
    package.SetPackageId(id);
    for (size_t i = 0; i < words; ++i) {
        package.AddData(L"0x1", L"");
    }
    return package;
}

TEST_F(TimDescriptorFilled, ExtendedReservedDataIsCopiedDeepAndClearedWithTheRest)
{
    CExtendedReservedData& erd = d.m_ExtendedReservedData;
    EXPECT_EQ(erd.m_ProcessorName, L"");
    erd.SetProcessorType(L"NLT104");
    erd.AddOpModeField({0, 5});
    CTimDescriptor copy;
    copy.m_ExtendedReservedData.AddTrustZoneField({1, 1});
    copy = d;
    EXPECT_EQ(copy.m_ExtendedReservedData.Size(), 16u);
    EXPECT_TRUE(copy.m_ExtendedReservedData.m_TrustZoneList.empty());
    EXPECT_EQ(copy.m_ExtendedReservedData.m_OpModeNames.size(), 17u);

    d.Reset();
    EXPECT_EQ(erd.Size(), 0u);
    EXPECT_EQ(erd.m_OpModeNames.size(), 17u);  // the names stay
    EXPECT_EQ(copy.m_ExtendedReservedData.Size(), 16u);
}

}  // namespace

TEST(TimDescriptorTest, ReservedDataSizeCountsPackagesAndTheirWords)
{
    struct Case {
        std::vector<size_t> words;  // data words per package
        uint32_t size;
    };
    const Case cases[] = {
        {{}, 0},
        {{0}, 24},
        {{3}, 36},
        {{0, 5}, 52},
        {{1, 1, 1}, 3 * 12 + 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        CTimDescriptor d;
        for (size_t words : c.words) {
            AddPackage(d, L"0x50524F49", words);
        }
        EXPECT_EQ(d.GetReservedDataSize(), c.size);
    }
}

TEST_F(TimDescriptorFilled, PackagesAreCopiedDeepAndClearedWithTheRest)
{
    AddPackage(d, L"0x4750494F", 2);
    AddPackage(d, L"0x42494E44", 1);
    CTimDescriptor copy;
    AddPackage(copy, L"0x43555354", 4);
    copy = d;
    ASSERT_EQ(copy.m_ReservedPackages.size(), 2u);
    EXPECT_EQ(copy.m_ReservedPackages.front()->m_PackageName, L"GPIOID");
    EXPECT_EQ(copy.m_ReservedPackages.back()->m_PackageName, L"AUTOBIND");
    EXPECT_EQ(copy.GetReservedDataSize(), d.GetReservedDataSize());

    copy.m_ReservedPackages.front()->AddData(L"0x2", L"");
    copy.m_ReservedPackages.pop_back();
    EXPECT_EQ(d.m_ReservedPackages.size(), 2u);
    EXPECT_EQ(d.m_ReservedPackages.front()->m_DataList.size(), 2u);

    d.Reset();
    EXPECT_TRUE(d.m_ReservedPackages.empty());
    EXPECT_EQ(d.GetReservedDataSize(), 0u);
    EXPECT_EQ(copy.m_ReservedPackages.front()->m_DataList.size(), 3u);
}

TEST(TimDescriptorTest, KeysBeforeTheFirstReset)
{
    const CTimDescriptor d;
    ASSERT_NE(dynamic_cast<CRSAKey*>(d.m_pKey.get()), nullptr);
    EXPECT_EQ(d.m_pKey->m_SchemeName, L"PKCS1_v1_5_Ippcp");
    EXPECT_FALSE(d.m_pKey->m_bSchemeFlag);
    ASSERT_NE(d.m_Signature.m_pKey, nullptr);
    EXPECT_TRUE(d.m_Keys.empty());
    for (size_t at = 0; at < TimSignatureRecord::kBytes; ++at) {
        // Only the hash size, SHA-160's 20, is set.
        ASSERT_EQ(d.m_SignatureRecord.bytes[at], at == 4 ? 20 : 0) << "byte " << at;
    }
}

TEST_F(TimDescriptorFilled, KeysSignatureAndRecordAreCopiedDeepAndCleared)
{
    d.m_Keys.push_back(std::make_unique<CRSAKey>());
    d.m_Keys.push_back(std::make_unique<CECCKey>());
    d.m_Keys.front()->SetKeyId(L"KEY1");
    static_cast<CRSAKey&>(*d.m_Keys.front()).m_Modulus = {L"0x00000001"};
    d.m_Signature.m_pKey = std::make_unique<CRSAKey>();  // Reset left it without one
    d.m_Signature.SetKeySize(64);
    d.m_pKey = std::make_unique<CECCKey>();
    static_cast<CECCKey&>(*d.m_pKey).m_CompX = {L"0x00000002"};
    d.m_SignatureRecord.SetWord(TimSignatureRecord::kRsaSignature + 252, 0xA5A5A5A5u);

    CTimDescriptor copy;
    copy.m_Keys.push_back(std::make_unique<CRSAKey>());
    copy = d;
    ASSERT_EQ(copy.m_Keys.size(), 2u);
    EXPECT_EQ(copy.m_Keys.front()->m_KeyId, L"KEY1");
    EXPECT_NE(dynamic_cast<CECCKey*>(copy.m_Keys.back().get()), nullptr);
    EXPECT_NE(copy.m_Keys.front().get(), d.m_Keys.front().get());
    static_cast<CRSAKey&>(*copy.m_Keys.front()).m_Modulus.clear();
    EXPECT_EQ(static_cast<CRSAKey&>(*d.m_Keys.front()).m_Modulus.size(), 1u);
    EXPECT_EQ(copy.m_Signature.GetKeySize(), 64u);
    EXPECT_EQ(copy.m_Signature.m_RsaSignatureWords.size(), 2u);
    EXPECT_NE(copy.m_Signature.m_pKey.get(), d.m_Signature.m_pKey.get());
    auto* dtim = dynamic_cast<CECCKey*>(copy.m_pKey.get());
    ASSERT_NE(dtim, nullptr);
    EXPECT_NE(dtim, d.m_pKey.get());
    EXPECT_EQ(dtim->m_CompX, TextList{L"0x00000002"});
    EXPECT_EQ(std::memcmp(copy.m_SignatureRecord.bytes, d.m_SignatureRecord.bytes, TimSignatureRecord::kBytes), 0);

    d.Reset();
    EXPECT_TRUE(d.m_Keys.empty());
    EXPECT_EQ(d.m_pKey, nullptr);
    EXPECT_EQ(d.m_Signature.m_pKey, nullptr);
    EXPECT_TRUE(d.m_Signature.m_RsaSignatureWords.empty());
    EXPECT_EQ(d.m_SignatureRecord.Word(TimSignatureRecord::kRsaSignature + 252), 0xA5A5A5A5u);  // kept

    // A source without a DTIM key leaves the target without one.
    copy = d;
    EXPECT_EQ(copy.m_pKey, nullptr);
    EXPECT_EQ(copy.m_Signature.m_pKey, nullptr);
    EXPECT_TRUE(copy.m_Keys.empty());
}

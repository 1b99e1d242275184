#include "erd/ReservedPackageData.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Comments(const CReservedPackageData& package)
{
    return {package.m_DataComments.begin(), package.m_DataComments.end()};
}

// The comments words 1..count of a package with this identifier get.
std::vector<std::wstring> DefaultComments(const std::wstring& id, size_t count)
{
    CReservedPackageData package;
    package.SetPackageId(id);
    for (size_t i = 0; i < count; ++i) {
        package.AddData(L"0x0", L"");
    }
    return Comments(package);
}

TEST(ReservedPackageDataTest, IdentifierGivesStoredTextAndName)
{
    struct Case {
        std::wstring id;
        std::wstring stored;
        std::wstring name;
    };
    const Case cases[] = {
        {L"0x42494e44", L"0x42494E44", L"AUTOBIND"},
        {L"0X42494E44", L"0x42494E44", L"AUTOBIND"},
        {L"0x44447248", L"0x44447248", L"DDRID"},
        {L"0x5265736D", L"0x5265736D", L"Resm"},  // not Rsm2's name
        {L"0x52736D32", L"0x52736D32", L"RESUMEBLID"},
        {L"0x00555342", L"0x00555342", L"USBID"},
        {L"0x55534200", L"0x55534200", L"eUSB_DEVICE_DESCRIPTOR"},
        {L"0x55534209", L"0x55534209", L"eUSB_ENDPOINT_DESCRIPTOR"},
        {L"0x43495441", L"0x43495441", L"CITA_CUMIZED_INFO_TRANSFER_TOAP_ID"},
        {L"0x44464D50", L"0x44464D50", L"DDR_Flash_Mcp_Map"},
        // Register categories, whatever the case of the digits on either side.
        {L"0x44445243", L"0x44445243", L"DDR_Custom"},
        {L"0x434C4B45", L"0x434C4B45", L"Clock_Enable"},
        {L"0x564f4c54", L"0x564F4C54", L"Voltages"},
        {L"0x545a4f4e", L"0x545A4F4E", L"Trust_Zone_Regid"},
        {L"0x4D4F4445", L"0x4D4F4445", L"OpMode"},
        {L"0x43494450", L"0x43494450", L"CIPD"},
        {L"0x545A5249", L"0x545A5249", L"TZRI"},
        // Any other identifier is named by its tag.
        {L"0x50524F49", L"0x50524F49", L"PROI"},
        {L"0x42424353", L"0x42424353", L"BBCS"},
        {L"0x00414243", L"0x00414243", L""},  // stops at the zero byte
        {L"garbage", L"GARBAGE", L"0x0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.id));
        CReservedPackageData package;
        package.SetPackageId(c.id);
        EXPECT_EQ(package.m_PackageId, c.stored);
        EXPECT_EQ(package.m_PackageName, c.name);
        EXPECT_TRUE(package.m_bChanged);
    }
}

TEST(ReservedPackageDataTest, DefaultCommentsByIdentifierAndIndex)
{
    const std::wstring none;
    struct Case {
        std::wstring id;
        std::vector<std::wstring> comments;  // words 1..n
    };
    const Case cases[] = {
        {L"0x4750494F", {L"Number of GPIO Address & Value Pairs below", L"Address", L"Value", none}},
        {L"0x42494E44", {L"Autobind", none}},
        {L"0x44447248", {L"ACCR_VALUE", L"MDCNFG_VALUE", L"DDR_HCAL_VALUE", L"MDREFR_VALUE", none}},
        {L"0x52736D32", {L"ResumeAddr", L"ResumeParam", L"ResumeFlag", none}},
        {L"0x5265736D", {L"Image Address", none}},
        {L"0x55415254", {L"Port", L"Enabled", none}},
        {L"0x00555342", {L"Port", L"Enabled", none}},
        {L"0x55534201", {none, none}},
        {L"0x56524551", {L"bm Request Type", L"bm Request", L"wValue", L"wIndex", L"wLength", L"wData", none}},
        {L"0x45534353", {L"EscSeqTimeOutMS", none}},
        {L"0x45537632", {L"GPIO_Number", L"GPIO_Trigger_Value", L"MFPR_pairs_num", L"MFPR_address", L"MFPR_value",
                         none}},
        {L"0x43555354", {L"Enable DDR overwrite setting", none}},
        {L"0x4E4F4643", {L"Enable no frequency change", none}},
        {L"0x4E4F4B44", {L"Enable no key detect", none}},
        {L"0x494D4150", {L"Number of Image Maps below", L"IMAGE_ID", L"IMAGE_TYPE", L"FLASH_ADDRESS_LO",
                         L"FLASH_ADDRESS_HI", L"PARTITION_NUM", none}},
        {L"0x6d444f43", {L"Percent Use", L"Number of BDTL Partitions", L"Number of Binary Partitions",
                         L"Cascaded Device Number", L"Number of Cacaded Devices", L"Progress Callback",
                         L"FP_0_RFU_0", L"FP_1_RFU_0", L"Boot Image Len", L"vm Addressing Limit",
                         L"embedded CIS length", L"embedded CIS", none}},
        {L"0x50524F49", {none}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.id));
        EXPECT_EQ(DefaultComments(c.id, c.comments.size()), c.comments);
    }
}

TEST(ReservedPackageDataTest, ProtectionKeyCommentsFollowTheLeadingWords)
{
    std::vector<std::wstring> keys;
    for (int i = 0; i < 8; ++i) {
        keys.push_back(L"Protection Key[" + std::to_wstring(i) + L"]");
    }
    const auto expected = [&keys](std::vector<std::wstring> leading) {
        leading.insert(leading.end(), keys.begin(), keys.end());
        leading.push_back(L"Protection Type");
        leading.push_back(L"");
        return leading;
    };
    EXPECT_EQ(DefaultComments(L"0x6D42944E", 22),
              expected({L"Length", L"Length Type", L"sign[0]", L"sign[1]", L"sign[2]", L"sign[3]", L"Flags",
                        L"Spare Blocks", L"BDKFP_0_RFU_0", L"BDKFP_1_RFU_0", L"BDKFP_2_RFU_0", L"BDKFP_3_RFU_0"}));
    EXPECT_EQ(DefaultComments(L"0x6D424454", 20),
              expected({L"Length", L"Fast Area Length", L"Length Type", L"Fast Area Length Type",
                        L"Fast Area Virtual Factor", L"Number of Spare Units", L"BDTLFP_0_RFU_0",
                        L"BDTLFP_1_RFU_0", L"BDTLFP_2_RFU_0", L"BDTLFP_3_RFU_0"}));
}

TEST(ReservedPackageDataTest, CitaCommentsOnlyAtTheFirstAndClosingPairs)
{
    const std::vector<std::wstring> comments = DefaultComments(L"0x43495441", 66);
    for (size_t index = 1; index <= comments.size(); ++index) {
        SCOPED_TRACE(index);
        std::wstring expected;
        switch (index) {
        case 1: expected = L"Number_cfg_ID_Value_Pairs_below"; break;
        case 2: expected = L"CFGB"; break;
        case 3: expected = L"CFGB_Cfg_Value"; break;
        case 64: expected = L"CFGE"; break;
        case 65: expected = L"CFGE_Cfg_Value"; break;
        default: break;
        }
        EXPECT_EQ(comments[index - 1], expected);
    }
}

TEST(ReservedPackageDataTest, GivenCommentsAndEarlyWordsKeepTheirComment)
{
    CReservedPackageData package;
    package.AddData(L"0x1", L"");  // no identifier yet
    package.SetPackageId(L"0x4750494F");
    package.AddData(L"0x2", L"");
    package.AddData(L"0x3", L"my own");
    EXPECT_EQ(Comments(package), (std::vector<std::wstring>{L"", L"Address", L"my own"}));
    EXPECT_EQ(package.m_DataList, (TextList{L"0x1", L"0x2", L"0x3"}));
}

TEST(ReservedPackageDataTest, FieldCommentsAndFields)
{
    CReservedPackageData package;
    std::wstring comment = L"untouched";
    EXPECT_FALSE(package.GetFieldComment(L"A", comment));
    EXPECT_EQ(comment, L"untouched");

    package.SetFieldComment(L"A", L"first");
    package.SetFieldComment(L"A", L"second");
    EXPECT_TRUE(package.m_bChanged);
    EXPECT_TRUE(package.GetFieldComment(L"A", comment));
    EXPECT_EQ(comment, L"second");
    EXPECT_EQ(package.m_FieldCommentMap.size(), 1u);

    package.SetFieldComment(L"B", L"");
    EXPECT_FALSE(package.GetFieldComment(L"B", comment));
    EXPECT_EQ(comment, L"");

    package.AddField(L"K1", L"V1");
    package.AddField(L"K1", L"V2");
    const std::list<CReservedPackageData::Field> fields = {{L"K1", L"V1"}, {L"K1", L"V2"}};
    EXPECT_EQ(package.m_FieldList, fields);
}

TEST(ReservedPackageDataTest, CopyIsDeepAndClearKeepsIdentity)
{
    CReservedPackageData source;
    source.SetPackageId(L"0x4750494F");
    source.AddData(L"0x1", L"");
    source.AddField(L"N", L"0x1");
    source.SetFieldComment(L"N", L"note");

    CReservedPackageData copy(source);
    EXPECT_EQ(copy.m_PackageName, L"GPIOID");
    EXPECT_EQ(copy.m_PackageId, L"0x4750494F");
    EXPECT_TRUE(copy.m_bChanged);
    copy.AddData(L"0x2", L"");
    copy.m_FieldList.front().second = L"0x9";
    copy.SetFieldComment(L"N", L"changed");
    EXPECT_EQ(source.m_DataList, TextList{L"0x1"});
    EXPECT_EQ(source.m_FieldList.front().second, L"0x1");
    EXPECT_EQ(source.m_FieldCommentMap.at(L"N"), L"note");

    copy.Clear();
    EXPECT_TRUE(copy.m_DataList.empty());
    EXPECT_TRUE(copy.m_DataComments.empty());
    EXPECT_TRUE(copy.m_FieldList.empty());
    EXPECT_EQ(copy.m_PackageName, L"GPIOID");
    EXPECT_EQ(copy.m_PackageId, L"0x4750494F");
    EXPECT_EQ(copy.m_FieldCommentMap.at(L"N"), L"changed");
    // Counting starts again after a clear.
    copy.AddData(L"0x3", L"");
    EXPECT_EQ(Comments(copy), std::vector<std::wstring>{L"Number of GPIO Address & Value Pairs below"});
}

}  // namespace

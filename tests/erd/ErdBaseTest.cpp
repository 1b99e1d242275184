#include "erd/ErdBase.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "erd/ReservedPackageData.h"

namespace {

// The least a package class must add to the base.
class CBarePackage : public CErdBase {
public:
    CBarePackage(uint32_t fieldCount, uint32_t typeId) : CErdBase(fieldCount, typeId) {}
    uint32_t AddToPackage(CReservedPackageData&) const override { return Size(); }
};

TEST(ErdBaseTest, NewPackageHasEmptyNamesZeroValuesAndEmptyComments)
{
    CBarePackage package(3, kErdUart);
    EXPECT_EQ(package.m_FieldNames, std::vector<std::wstring>(3));
    EXPECT_EQ(package.m_FieldValues, std::vector<std::wstring>(3, L"0"));
    EXPECT_EQ(package.m_FieldComments, std::vector<std::wstring>(3));

    package.m_FieldNames[0] = L"PORT";
    package.m_FieldValues[1] = L"0x1";
    package.m_FieldComments[2] = L"note";
    package.Reset();
    EXPECT_EQ(package.m_FieldNames, std::vector<std::wstring>(3));
    EXPECT_EQ(package.m_FieldValues, std::vector<std::wstring>(3, L"0"));
    EXPECT_EQ(package.m_FieldComments, std::vector<std::wstring>(3));
}

TEST(ErdBaseTest, DefaultsReadAndWriteNothing)
{
    CBarePackage package(1, kErdAutoBind);
    std::wistringstream in(L"AUTOBIND = 1\nEnd_AutoBind\n");
    EXPECT_TRUE(package.Parse(in, L"AutoBind"));
    std::wstring rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, L"AUTOBIND = 1");
    EXPECT_EQ(package.m_FieldValues[0], L"0");

    std::wostringstream out;
    EXPECT_TRUE(package.Write(out, true));
    EXPECT_EQ(out.str(), L"");
    EXPECT_EQ(package.Size(), 0u);
}

TEST(ErdBaseTest, KeywordsComeFromTheClassIndex)
{
    EXPECT_EQ(CBarePackage(0, kErdGpioSet).BeginKeyword(), L"GpioSet");
    EXPECT_EQ(CBarePackage(0, kErdGpioSet).EndKeyword(), L"End GpioSet");
    EXPECT_EQ(CBarePackage(0, kErdVendorDdrInitialization).EndKeyword(), L"END_Vendor_DDR_Initialization");
    EXPECT_EQ(ErdBeginKeyword(99), L"");
    EXPECT_EQ(ErdEndKeyword(127), L"");
    EXPECT_EQ(FindErdClass(99), nullptr);
    EXPECT_EQ(FindErdClass(127), nullptr);
    ASSERT_NE(FindErdClass(kErdCustTransferApInfo), nullptr);
    EXPECT_EQ(FindErdClass(kErdCustTransferApInfo)->typeId, 126u);
}

TEST(ErdBaseTest, CloneOfAnUnknownTypeIdIsNull)
{
    for (uint32_t typeId : {0u, 99u, 127u, 0xFFFFFFFFu}) {
        CBarePackage package(1, typeId);
        EXPECT_EQ(CErdBase::Clone(package), nullptr) << typeId;
    }
}

}  // namespace

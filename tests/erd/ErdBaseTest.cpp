#include "erd/ErdBase.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>

#include "erd/ReservedPackageData.h"
#include "erd/ErdClassTable.h"

namespace {

// The least a package class must add to the base.
class CBarePackage : public CErdBase {
public:
    CBarePackage(uint32_t fieldCount, uint32_t typeId) : CErdBase(typeId, fieldCount) {}
    uint32_t AddToPackage(CReservedPackageData&) const override { return Size(); }
    std::unique_ptr<CErdBase> Clone() const override { return std::make_unique<CBarePackage>(*this); }
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

// The class index against the class table as the package formats give it:
// each type id makes its own class, with its identifier and keywords.
TEST(ErdBaseTest, TheClassIndexHoldsEveryClassUnderItsTypeId)
{
    for (const erdtest::ErdClassFacts& row : erdtest::kErdClassFacts) {
        SCOPED_TRACE(row.name);
        const ErdClassInfo* info = FindErdClass(row.typeId);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->typeId, row.typeId);
        EXPECT_EQ(info->packageId, row.packageId);
        EXPECT_EQ(ErdBeginKeyword(row.typeId), row.begin);
        EXPECT_EQ(ErdEndKeyword(row.typeId), row.end);

        const std::unique_ptr<CErdBase> expected = row.make();
        const std::unique_ptr<CErdBase> made = info->make();
        EXPECT_EQ(typeid(*made), typeid(*expected));
        EXPECT_EQ(made->m_TypeId, row.typeId);
        EXPECT_EQ(made->ReadsBlock(), row.readsBlock);
        const std::unique_ptr<CErdBase> copy = made->Clone();
        EXPECT_EQ(typeid(*copy), typeid(*expected));
        EXPECT_EQ(copy->m_TypeId, row.typeId);
    }
    for (uint32_t typeId : {0u, 99u, 127u, 0xFFFFFFFFu}) {
        EXPECT_EQ(FindErdClass(typeId), nullptr) << typeId;
        EXPECT_EQ(ErdBeginKeyword(typeId), L"") << typeId;
        EXPECT_EQ(ErdEndKeyword(typeId), L"") << typeId;
    }
}

TEST(ErdBaseTest, KeywordsComeFromTheTypeIdsRow)
{
    EXPECT_EQ(CBarePackage(0, kErdGpioSet).BeginKeyword(), L"GpioSet");
    EXPECT_EQ(CBarePackage(0, kErdGpioSet).EndKeyword(), L"End GpioSet");
    EXPECT_EQ(CBarePackage(0, 99).BeginKeyword(), L"");
    EXPECT_TRUE(CBarePackage(0, kErdConsumerId).ReadsBlock());
    EXPECT_FALSE(CBarePackage(0, 99).ReadsBlock());
}

}  // namespace

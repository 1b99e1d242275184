#include "erd/ErdBase.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>

#include "erd/ConsumerId.h"
#include "erd/ImageMaps.h"
#include "erd/Initialization.h"
#include "erd/Instructions.h"
#include "erd/Operations.h"
#include "erd/ReservedPackageData.h"
#include "erd/SetPackages.h"
#include "erd/SimplePackages.h"

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
    struct Row {
        uint32_t typeId;
        const std::type_info& type;
        uint32_t packageId;
        const wchar_t* begin;
        const wchar_t* end;
    };
    const Row rows[] = {
        {100, typeid(CAutoBind), 0x42494E44u, L"AutoBind", L"End_AutoBind"},
        {101, typeid(CEscapeSeq), 0x45534353u, L"Escape_Sequence", L"End_Escape_Sequence"},
        {102, typeid(CGpioSet), 0x4750494Fu, L"GpioSet", L"End GpioSet"},
        {103, typeid(CGpio), 0, L"Gpio", L"End_Gpio"},
        {104, typeid(CResume), 0x5265736Du, L"Resume", L"End_Resume"},
        {105, typeid(CResumeDdr), 0x52736D32u, L"Resume_DDR", L"End_Resume_DDR"},
        {106, typeid(CTBRXferSet), 0x54425258u, L"TBR_Xfer_Set", L"End TBR Xfer Set"},
        {107, typeid(CXfer), 0, L"Xfer", L"End_Xfer"},
        {108, typeid(CUart), 0x55415254u, L"Uart", L"End_Uart"},
        {109, typeid(CUsb), 0x00555342u, L"Usb", L"End_Usb"},
        {110, typeid(CUsbVendorReq), 0x56524551u, L"Usb_Vendor_Request", L"End_Usb_Vendor_Request"},
        {111, typeid(CConsumerID), 0, L"Consumer_ID", L"End_Consumer_ID"},
        {112, typeid(CGPPInitialization), 0, L"GPP", L"End_GPP"},
        {113, typeid(CDDRInitialization), 0, L"DDR_Initialization", L"End_DDR_Initialization"},
        {114, typeid(CVendorDDRInitialization), 0, L"Vendor_DDR_Initialization", L"END_Vendor_DDR_Initialization"},
        {115, typeid(CInstructions), 0, L"Instructions", L"End_Instructions"},
        {116, typeid(CDDROperations), 0, L"DDROperations", L"End_DDROperations"},
        {117, typeid(CGPPOperations), 0, L"GPPOperations", L"End_GPPOperations"},
        {118, typeid(CCoreReset), 0x434F5245u, L"Core_Reset", L"End_Core_Reset"},
        {119, typeid(CTzInitialization), 0, L"TZ_Initialization", L"End_TZ_Initialization"},
        {120, typeid(CTzOperations), 0, L"TZ_Operations", L"End_TZ_Operations"},
        {121, typeid(CBbmt), 0x42424D54u, L"BBMT", L"End_BBMT"},
        {122, typeid(CImageMaps), 0x494D4150u, L"Image_Maps", L"End_Image_Maps"},
        {123, typeid(CImageMapInfo), 0, L"Image_Map_Info", L"End_Image_Map_Info"},
        {124, typeid(CEscapeSeqV2), 0x45537632u, L"Escape_SequenceV2", L"End_Escape_SequenceV2"},
        {125, typeid(CCustTransferAPInfoSet), 0x43495441u, L"CustTransferAPInfoSet", L"End CustTransferAPInfoSet"},
        {126, typeid(CCustTransferAPInfo), 0, L"TRANSFER_AP_INFO", L"End_TRANSFER_AP_INFO"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typeId);
        const ErdClassInfo* info = FindErdClass(row.typeId);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->typeId, row.typeId);
        EXPECT_EQ(info->packageId, row.packageId);
        EXPECT_EQ(ErdBeginKeyword(row.typeId), row.begin);
        EXPECT_EQ(ErdEndKeyword(row.typeId), row.end);

        const std::unique_ptr<CErdBase> made = info->make();
        EXPECT_EQ(typeid(*made), row.type);
        EXPECT_EQ(made->m_TypeId, row.typeId);
        const std::unique_ptr<CErdBase> copy = made->Clone();
        EXPECT_EQ(typeid(*copy), row.type);
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
}

}  // namespace

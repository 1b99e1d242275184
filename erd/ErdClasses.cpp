// The class index: one row per package class, in type-id order, with what
// the block reader and the keyword operations need of each.
#include <array>
#include <cstddef>
#include <iterator>
#include <memory>
#include <string>

#include "common/Tag.h"
#include "erd/ConsumerId.h"
#include "erd/ErdBase.h"
#include "erd/ImageMaps.h"
#include "erd/Initialization.h"
#include "erd/Instructions.h"
#include "erd/Operations.h"
#include "erd/SetPackages.h"
#include "erd/SimplePackages.h"

namespace {

template <class Package>
std::unique_ptr<CErdBase> Make()
{
    return std::make_unique<Package>();
}

// The row of class Package: its type id is the one the class declares.
template <class Package>
constexpr ErdClassInfo Row(uint32_t packageId, const wchar_t* beginKeyword, const wchar_t* endKeyword)
{
    return {Package::kTypeId, packageId, beginKeyword, endKeyword, Make<Package>};
}

constexpr ErdClassInfo kErdClasses[] = {
    Row<CAutoBind>(TagValue("BIND"), L"AutoBind", L"End_AutoBind"),
    Row<CEscapeSeq>(TagValue("ESCS"), L"Escape_Sequence", L"End_Escape_Sequence"),
    Row<CGpioSet>(TagValue("GPIO"), L"GpioSet", L"End GpioSet"),
    Row<CGpio>(0, L"Gpio", L"End_Gpio"),
    Row<CResume>(TagValue("Resm"), L"Resume", L"End_Resume"),
    Row<CResumeDdr>(TagValue("Rsm2"), L"Resume_DDR", L"End_Resume_DDR"),
    Row<CTBRXferSet>(TagValue("TBRX"), L"TBR_Xfer_Set", L"End TBR Xfer Set"),
    Row<CXfer>(0, L"Xfer", L"End_Xfer"),
    Row<CUart>(TagValue("UART"), L"Uart", L"End_Uart"),
    Row<CUsb>(TagValue("USB"), L"Usb", L"End_Usb"),
    Row<CUsbVendorReq>(TagValue("VREQ"), L"Usb_Vendor_Request", L"End_Usb_Vendor_Request"),
    Row<CConsumerID>(0, L"Consumer_ID", L"End_Consumer_ID"),
    Row<CGPPInitialization>(0, L"GPP", L"End_GPP"),
    Row<CDDRInitialization>(0, L"DDR_Initialization", L"End_DDR_Initialization"),
    // The vendor package builds its begin keyword from its PID; this is the
    // class's own constant.
    Row<CVendorDDRInitialization>(0, L"Vendor_DDR_Initialization", L"END_Vendor_DDR_Initialization"),
    Row<CInstructions>(0, L"Instructions", L"End_Instructions"),
    Row<CDDROperations>(0, L"DDROperations", L"End_DDROperations"),
    Row<CGPPOperations>(0, L"GPPOperations", L"End_GPPOperations"),
    Row<CCoreReset>(TagValue("CORE"), L"Core_Reset", L"End_Core_Reset"),
    Row<CTzInitialization>(0, L"TZ_Initialization", L"End_TZ_Initialization"),
    Row<CTzOperations>(0, L"TZ_Operations", L"End_TZ_Operations"),
    Row<CBbmt>(TagValue("BBMT"), L"BBMT", L"End_BBMT"),
    Row<CImageMaps>(TagValue("IMAP"), L"Image_Maps", L"End_Image_Maps"),
    Row<CImageMapInfo>(0, L"Image_Map_Info", L"End_Image_Map_Info"),
    Row<CEscapeSeqV2>(TagValue("ESv2"), L"Escape_SequenceV2", L"End_Escape_SequenceV2"),
    Row<CCustTransferAPInfoSet>(TagValue("CITA"), L"CustTransferAPInfoSet", L"End CustTransferAPInfoSet"),
    Row<CCustTransferAPInfo>(0, L"TRANSFER_AP_INFO", L"End_TRANSFER_AP_INFO"),
};

constexpr size_t kErdClassCount = std::size(kErdClasses);

// Row i is the class whose type id is kErdFirstTypeId + i, every type id
// has one, so a type id indexes the rows.
constexpr bool ErdClassesInTypeIdOrder()
{
    for (size_t i = 0; i < kErdClassCount; ++i) {
        if (kErdClasses[i].typeId != kErdFirstTypeId + i) {
            return false;
        }
    }
    return kErdClassCount == kErdLastTypeId - kErdFirstTypeId + 1;
}
static_assert(ErdClassesInTypeIdOrder(), "the class index must hold one row per type id, in order");

struct KeywordTexts {
    std::array<std::wstring, kErdClassCount> begin;
    std::array<std::wstring, kErdClassCount> end;
};

// Built from the class index on first use and kept to the end of the run,
// so the keyword operations can hand out references.
const KeywordTexts& Keywords()
{
    static const KeywordTexts texts = [] {
        KeywordTexts made;
        for (size_t i = 0; i < kErdClassCount; ++i) {
            made.begin[i] = kErdClasses[i].beginKeyword;
            made.end[i] = kErdClasses[i].endKeyword;
        }
        return made;
    }();
    return texts;
}

const std::wstring& NoKeyword()
{
    static const std::wstring empty;
    return empty;
}

}  // namespace

const ErdClassInfo* FindErdClass(uint32_t typeId)
{
    if (typeId < kErdFirstTypeId || typeId > kErdLastTypeId) {
        return nullptr;
    }
    return &kErdClasses[typeId - kErdFirstTypeId];
}

const std::wstring& ErdBeginKeyword(uint32_t typeId)
{
    return FindErdClass(typeId) != nullptr ? Keywords().begin[typeId - kErdFirstTypeId] : NoKeyword();
}

const std::wstring& ErdEndKeyword(uint32_t typeId)
{
    return FindErdClass(typeId) != nullptr ? Keywords().end[typeId - kErdFirstTypeId] : NoKeyword();
}

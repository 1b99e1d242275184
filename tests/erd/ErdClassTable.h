// The package classes of the extended reserved data, one row each, written
// out here and not read from the code's own class index: the tests hold
// the index and the classes against these facts.
#pragma once

#include <cstdint>
#include <memory>

#include "erd/ConsumerId.h"
#include "erd/ErdBase.h"
#include "erd/ImageMaps.h"
#include "erd/Initialization.h"
#include "erd/Instructions.h"
#include "erd/Operations.h"
#include "erd/SetPackages.h"
#include "erd/SimplePackages.h"

namespace erdtest {

struct ErdClassFacts {
    const char* name;
    uint32_t typeId;
    // A new package of the class the type id stands for.
    std::unique_ptr<CErdBase> (*make)();
    uint32_t packageId;  // 0: the class gives its package no fixed identifier
    const wchar_t* begin;
    const wchar_t* end;
    bool readsBlock;
};

template <class Package>
std::unique_ptr<CErdBase> MakePackage()
{
    return std::make_unique<Package>();
}

inline constexpr ErdClassFacts kErdClassFacts[] = {
    {"AutoBind", 100, MakePackage<CAutoBind>, 0x42494E44u, L"AutoBind", L"End_AutoBind", false},
    {"EscapeSeq", 101, MakePackage<CEscapeSeq>, 0x45534353u, L"Escape_Sequence", L"End_Escape_Sequence", false},
    {"GpioSet", 102, MakePackage<CGpioSet>, 0x4750494Fu, L"GpioSet", L"End GpioSet", false},
    {"Gpio", 103, MakePackage<CGpio>, 0, L"Gpio", L"End_Gpio", false},
    {"Resume", 104, MakePackage<CResume>, 0x5265736Du, L"Resume", L"End_Resume", false},
    {"ResumeDdr", 105, MakePackage<CResumeDdr>, 0x52736D32u, L"Resume_DDR", L"End_Resume_DDR", false},
    {"TBRXferSet", 106, MakePackage<CTBRXferSet>, 0x54425258u, L"TBR_Xfer_Set", L"End TBR Xfer Set", false},
    {"Xfer", 107, MakePackage<CXfer>, 0, L"Xfer", L"End_Xfer", false},
    {"Uart", 108, MakePackage<CUart>, 0x55415254u, L"Uart", L"End_Uart", false},
    {"Usb", 109, MakePackage<CUsb>, 0x00555342u, L"Usb", L"End_Usb", false},
    {"UsbVendorReq", 110, MakePackage<CUsbVendorReq>, 0x56524551u, L"Usb_Vendor_Request", L"End_Usb_Vendor_Request",
     false},
    {"ConsumerID", 111, MakePackage<CConsumerID>, 0, L"Consumer_ID", L"End_Consumer_ID", true},
    {"GPPInitialization", 112, MakePackage<CGPPInitialization>, 0, L"GPP", L"End_GPP", true},
    {"DDRInitialization", 113, MakePackage<CDDRInitialization>, 0, L"DDR_Initialization", L"End_DDR_Initialization",
     true},
    {"VendorDDRInitialization", 114, MakePackage<CVendorDDRInitialization>, 0, L"Vendor_DDR_Initialization",
     L"END_Vendor_DDR_Initialization", true},
    {"Instructions", 115, MakePackage<CInstructions>, 0, L"Instructions", L"End_Instructions", true},
    {"DDROperations", 116, MakePackage<CDDROperations>, 0, L"DDROperations", L"End_DDROperations", true},
    {"GPPOperations", 117, MakePackage<CGPPOperations>, 0, L"GPPOperations", L"End_GPPOperations", true},
    {"CoreReset", 118, MakePackage<CCoreReset>, 0x434F5245u, L"Core_Reset", L"End_Core_Reset", false},
    {"TzInitialization", 119, MakePackage<CTzInitialization>, 0, L"TZ_Initialization", L"End_TZ_Initialization",
     false},
    {"TzOperations", 120, MakePackage<CTzOperations>, 0, L"TZ_Operations", L"End_TZ_Operations", false},
    {"Bbmt", 121, MakePackage<CBbmt>, 0x42424D54u, L"BBMT", L"End_BBMT", false},
    {"ImageMaps", 122, MakePackage<CImageMaps>, 0x494D4150u, L"Image_Maps", L"End_Image_Maps", true},
    {"ImageMapInfo", 123, MakePackage<CImageMapInfo>, 0, L"Image_Map_Info", L"End_Image_Map_Info", false},
    {"EscapeSeqV2", 124, MakePackage<CEscapeSeqV2>, 0x45537632u, L"Escape_SequenceV2", L"End_Escape_SequenceV2",
     false},
    {"CustTransferAPInfoSet", 125, MakePackage<CCustTransferAPInfoSet>, 0x43495441u, L"CustTransferAPInfoSet",
     L"End CustTransferAPInfoSet", false},
    {"CustTransferAPInfo", 126, MakePackage<CCustTransferAPInfo>, 0, L"TRANSFER_AP_INFO", L"End_TRANSFER_AP_INFO",
     false},
};

// The row of a type id; null for one the table does not hold.
inline const ErdClassFacts* FindErdClassFacts(uint32_t typeId)
{
    for (const ErdClassFacts& facts : kErdClassFacts) {
        if (facts.typeId == typeId) {
            return &facts;
        }
    }
    return nullptr;
}

}  // namespace erdtest

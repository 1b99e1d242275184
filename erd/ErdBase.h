// The base of every extended-reserved-data package: a type id, a fixed
// number of named fields whose values stay text, and the operations every
// package kind offers (reset, parse its layout block, write it back, its
// binary size, its keywords, and its 32-bit words for a reserved-data
// package). The index of all package classes lives here as one table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "common/Tag.h"
#include "common/TimLib.h"

class CReservedPackageData;

// The type id of each package class.
enum ErdTypeId : uint32_t {
    kErdAutoBind = 100,
    kErdEscapeSeq = 101,
    kErdGpioSet = 102,
    kErdGpio = 103,
    kErdResume = 104,
    kErdResumeDdr = 105,
    kErdTbrXferSet = 106,
    kErdXfer = 107,
    kErdUart = 108,
    kErdUsb = 109,
    kErdUsbVendorReq = 110,
    kErdConsumerId = 111,
    kErdGppInitialization = 112,
    kErdDdrInitialization = 113,
    kErdVendorDdrInitialization = 114,
    kErdInstructions = 115,
    kErdDdrOperations = 116,
    kErdGppOperations = 117,
    kErdCoreReset = 118,
    kErdTzInitialization = 119,
    kErdTzOperations = 120,
    kErdBbmt = 121,
    kErdImageMaps = 122,
    kErdImageMapInfo = 123,
    kErdEscapeSeqV2 = 124,
    kErdCustTransferApInfoSet = 125,
    kErdCustTransferApInfo = 126,
};

constexpr uint32_t kErdFirstTypeId = kErdAutoBind;
constexpr uint32_t kErdLastTypeId = kErdCustTransferApInfo;

// One row of the class index. packageId is the four-letter identifier that
// AddToPackage gives its package; 0 where the class has no fixed one: a part
// that only adds words to its holder's package, or an initialisation
// package whose identifier comes from its PID value.
struct ErdClassInfo {
    uint32_t typeId;
    uint32_t packageId;
    const wchar_t* beginKeyword;
    const wchar_t* endKeyword;
};

inline constexpr ErdClassInfo kErdClasses[] = {
    {kErdAutoBind, TagValue("BIND"), L"AutoBind", L"End_AutoBind"},
    {kErdEscapeSeq, TagValue("ESCS"), L"Escape_Sequence", L"End_Escape_Sequence"},
    {kErdGpioSet, TagValue("GPIO"), L"GpioSet", L"End GpioSet"},
    {kErdGpio, 0, L"Gpio", L"End_Gpio"},
    {kErdResume, TagValue("Resm"), L"Resume", L"End_Resume"},
    {kErdResumeDdr, TagValue("Rsm2"), L"Resume_DDR", L"End_Resume_DDR"},
    {kErdTbrXferSet, TagValue("TBRX"), L"TBR_Xfer_Set", L"End TBR Xfer Set"},
    {kErdXfer, 0, L"Xfer", L"End_Xfer"},
    {kErdUart, TagValue("UART"), L"Uart", L"End_Uart"},
    {kErdUsb, TagValue("USB"), L"Usb", L"End_Usb"},
    {kErdUsbVendorReq, TagValue("VREQ"), L"Usb_Vendor_Request", L"End_Usb_Vendor_Request"},
    {kErdConsumerId, 0, L"Consumer_ID", L"End_Consumer_ID"},
    {kErdGppInitialization, 0, L"GPP", L"End_GPP"},
    {kErdDdrInitialization, 0, L"DDR_Initialization", L"End_DDR_Initialization"},
    // The vendor package builds its begin keyword from its PID; this is the
    // class's own constant.
    {kErdVendorDdrInitialization, 0, L"Vendor_DDR_Initialization", L"END_Vendor_DDR_Initialization"},
    {kErdInstructions, 0, L"Instructions", L"End_Instructions"},
    {kErdDdrOperations, 0, L"DDROperations", L"End_DDROperations"},
    {kErdGppOperations, 0, L"GPPOperations", L"End_GPPOperations"},
    {kErdCoreReset, TagValue("CORE"), L"Core_Reset", L"End_Core_Reset"},
    {kErdTzInitialization, 0, L"TZ_Initialization", L"End_TZ_Initialization"},
    {kErdTzOperations, 0, L"TZ_Operations", L"End_TZ_Operations"},
    {kErdBbmt, TagValue("BBMT"), L"BBMT", L"End_BBMT"},
    {kErdImageMaps, TagValue("IMAP"), L"Image_Maps", L"End_Image_Maps"},
    {kErdImageMapInfo, 0, L"Image_Map_Info", L"End_Image_Map_Info"},
    {kErdEscapeSeqV2, TagValue("ESv2"), L"Escape_SequenceV2", L"End_Escape_SequenceV2"},
    {kErdCustTransferApInfoSet, TagValue("CITA"), L"CustTransferAPInfoSet", L"End CustTransferAPInfoSet"},
    {kErdCustTransferApInfo, 0, L"TRANSFER_AP_INFO", L"End_TRANSFER_AP_INFO"},
};

constexpr size_t kErdClassCount = sizeof(kErdClasses) / sizeof(kErdClasses[0]);

// The rows stand in type-id order without gaps, so a type id indexes them.
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

// The row of a type id; null outside the known range.
inline const ErdClassInfo* FindErdClass(uint32_t typeId)
{
    if (typeId < kErdFirstTypeId || typeId > kErdLastTypeId) {
        return nullptr;
    }
    return &kErdClasses[typeId - kErdFirstTypeId];
}

class CErdBase : public CTimLib {
public:
    // Stores both numbers and gives every field an empty name, the value "0"
    // and an empty comment; the derived constructor then names the fields.
    CErdBase(uint32_t fieldCount, uint32_t typeId);
    ~CErdBase() override;

    // Recreates the three field lists with m_FieldCount entries: names
    // empty, values "0", comments empty. Containers override it to drop
    // their children instead.
    virtual void Reset();
    // Reads the package's block from stream, which stands after the line
    // that opened it (line is a copy of that line). The default reads
    // nothing and succeeds.
    virtual bool Parse(std::wistream& stream, std::wstring line);
    // Writes the package's block as layout text; flag selects a variant
    // where a class has one, and holders pass false. The default writes
    // nothing and succeeds.
    virtual bool Write(std::wostream& stream, bool flag);
    // Bytes of the package in its 32-bit word form; 0 by default.
    virtual uint32_t Size() const;
    // The keywords of the class's row in the class index.
    virtual const std::wstring& BeginKeyword() const;
    virtual const std::wstring& EndKeyword() const;
    // Sets the package's identifier (where the class has one), appends one
    // value text and comment per data word, then lets each member or child
    // append its own, and returns Size().
    virtual uint32_t AddToPackage(CReservedPackageData& package) const = 0;

    // A new copy of package made by its own class's copy constructor
    // (owned by the caller); null when the type id names no class or the
    // object is not of the class its type id names.
    static CErdBase* Clone(const CErdBase& package);

    uint32_t m_TypeId;
    uint32_t m_FieldCount;
    std::vector<std::wstring> m_FieldNames;
    std::vector<std::wstring> m_FieldValues;
    std::vector<std::wstring> m_FieldComments;

protected:
    // Copies exist only between packages of one class: the derived classes'
    // copy operations use these, which take the whole field lists.
    CErdBase(const CErdBase& other) = default;
    CErdBase& operator=(const CErdBase& other) = default;
};

// The keywords of a type id's row as texts that live for the whole run;
// empty texts for a type id that names no class.
const std::wstring& ErdBeginKeyword(uint32_t typeId);
const std::wstring& ErdEndKeyword(uint32_t typeId);

// The class index: one row per package class, in type-id order, with what
// the block reader, the keyword operations and the simple packages' fields
// need of each.
#include <array>
#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/LayoutLines.h"
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

enum Block : bool { kLeavesBlock = false, kReadsBlock = true };

// The block reader's place for a class: a rank in the order it tries the
// begin keywords on a line, anywhere in the line or as the whole line.
constexpr ErdLineMatch Line(uint32_t rank)
{
    return {rank, false};
}
constexpr ErdLineMatch WholeLine(uint32_t rank)
{
    return {rank, true};
}
// Not looked for on the block's lines: a part that stands inside another
// package's block, or a class the block reader does not make.
constexpr ErdLineMatch kNotLookedFor = {0, false};

// The row of class Package: its type id is the one the class declares. A
// class built on CSimplePackage names its fields in its row, every other
// class has none there.
template <class Package>
constexpr ErdClassInfo Row(uint32_t packageId, const wchar_t* beginKeyword, const wchar_t* endKeyword,
                           ErdLineMatch lineMatch, Block block)
{
    static_assert(!std::is_base_of_v<CSimplePackage, Package>, "a class built on CSimplePackage takes a SimpleRow, with its fields");
    return {Package::kTypeId, packageId, beginKeyword, endKeyword, lineMatch, block == kReadsBlock, {},
            Make<Package>};
}

template <class Package>
constexpr ErdClassInfo SimpleRow(uint32_t packageId, const wchar_t* beginKeyword, const wchar_t* endKeyword,
                                 ErdLineMatch lineMatch, Block block, const ErdFields& fields)
{
    static_assert(std::is_base_of_v<CSimplePackage, Package>, "a SimpleRow is for a class built on CSimplePackage");
    return {Package::kTypeId, packageId, beginKeyword, endKeyword, lineMatch, block == kReadsBlock, fields,
            Make<Package>};
}

// A row: the class, its package id, its keywords; how the block reader
// finds it, whether it reads its block, and for a simple package its fields.
constexpr ErdClassInfo kErdClasses[] = {
    SimpleRow<CAutoBind>(TagValue("BIND"), L"AutoBind", L"End_AutoBind",
                         Line(5), kLeavesBlock, {8, 0, {L"AUTOBIND"}, {}}),
    SimpleRow<CEscapeSeq>(TagValue("ESCS"), L"Escape_Sequence", L"End_Escape_Sequence",
                          Line(9), kLeavesBlock, {8, 0, {L"ESCAPE_SEQ_TIMEOUT_MS"}, {}}),
    SimpleRow<CGpioSet>(TagValue("GPIO"), L"GpioSet", L"End GpioSet",
                        Line(1), kLeavesBlock, {8, 0, {L"NUM_GPIOS"}, {}}),
    SimpleRow<CGpio>(0, L"Gpio", L"End_Gpio",
                     kNotLookedFor, kLeavesBlock, {0, 0, {L"ADDRESS", L"VALUE"}, {}}),
    SimpleRow<CResume>(TagValue("Resm"), L"Resume", L"End_Resume",
                       Line(7), kLeavesBlock, {8, 0, {L"IMAGE_ADDRESS"}, {}}),
    SimpleRow<CResumeDdr>(TagValue("Rsm2"), L"Resume_DDR", L"End_Resume_DDR",
                          Line(6), kLeavesBlock,
                          {8, 0,
                           {L"RESUME_DDR_ADDRESS", L"RESUME_DDR_PARAM", L"RESUME_DDR_FLAG"},
                           {L"RESUME_DDR_ADDR"}}),
    SimpleRow<CTBRXferSet>(TagValue("TBRX"), L"TBR_Xfer_Set", L"End TBR Xfer Set",
                           Line(8), kLeavesBlock, {8, 0, {L"XFER_LOC", L"NUM_DATA_PAIRS"}, {}}),
    SimpleRow<CXfer>(0, L"Xfer", L"End_Xfer",
                     kNotLookedFor, kLeavesBlock, {0, 0, {L"DATA_ID", L"LOCATION"}, {}}),
    SimpleRow<CUart>(TagValue("UART"), L"Uart", L"End_Uart",
                     Line(4), kLeavesBlock, {8, 0, {L"PORT", L"ENABLED"}, {}}),
    SimpleRow<CUsb>(TagValue("USB"), L"Usb", L"End_Usb",
                    Line(3), kLeavesBlock, {8, 0, {L"PORT", L"ENABLED"}, {}}),
    // The comments of the vendor request's two packed words stand in its
    // AddToPackage.
    SimpleRow<CUsbVendorReq>(TagValue("VREQ"), L"Usb_Vendor_Request", L"End_Usb_Vendor_Request",
                             Line(2), kLeavesBlock,
                             {8, 0, {L"REQUEST_TYPE", L"REQUEST", L"VALUE", L"INDEX", L"LENGTH", L"DATA"}, {}}),
    Row<CConsumerID>(0, L"Consumer_ID", L"End_Consumer_ID",
                     Line(12), kReadsBlock),
    Row<CGPPInitialization>(0, L"GPP", L"End_GPP",
                            Line(15), kReadsBlock),
    // Vendor_DDR_Initialization holds this keyword: both match whole lines.
    Row<CDDRInitialization>(0, L"DDR_Initialization", L"End_DDR_Initialization",
                            WholeLine(13), kReadsBlock),
    // The vendor package builds its begin keyword from its PID; this is the
    // class's own constant.
    Row<CVendorDDRInitialization>(0, L"Vendor_DDR_Initialization", L"END_Vendor_DDR_Initialization",
                                  WholeLine(14), kReadsBlock),
    Row<CInstructions>(0, L"Instructions", L"End_Instructions",
                       kNotLookedFor, kReadsBlock),
    Row<CDDROperations>(0, L"DDROperations", L"End_DDROperations",
                        kNotLookedFor, kReadsBlock),
    Row<CGPPOperations>(0, L"GPPOperations", L"End_GPPOperations",
                        kNotLookedFor, kReadsBlock),
    SimpleRow<CCoreReset>(TagValue("CORE"), L"Core_Reset", L"End_Core_Reset",
                          Line(10), kLeavesBlock,
                          {8, 16, {L"CORE ID", L"ADDRESS_MAPPING"}, {L"Core ID", L"Address Mapping"}}),
    Row<CTzInitialization>(0, L"TZ_Initialization", L"End_TZ_Initialization",
                           Line(16), kLeavesBlock),
    Row<CTzOperations>(0, L"TZ_Operations", L"End_TZ_Operations",
                       Line(17), kLeavesBlock),
    SimpleRow<CBbmt>(TagValue("BBMT"), L"BBMT", L"End_BBMT",
                     Line(11), kLeavesBlock, {8, 12, {L"BBMT_TYPE"}, {L"BBMT Type"}}),
    SimpleRow<CImageMaps>(TagValue("IMAP"), L"Image_Maps", L"End_Image_Maps",
                          Line(18), kReadsBlock, {8, 0, {L"NUM_MAPS"}, {}}),
    Row<CImageMapInfo>(0, L"Image_Map_Info", L"End_Image_Map_Info",
                       kNotLookedFor, kLeavesBlock),
    // A line with its begin keyword holds Escape_Sequence's, and the block
    // reader takes it for that class.
    SimpleRow<CEscapeSeqV2>(TagValue("ESv2"), L"Escape_SequenceV2", L"End_Escape_SequenceV2",
                            kNotLookedFor, kLeavesBlock,
                            {8, 0,
                             {L"ESCAPE_SEQV2_GPIONUMBER", L"ESCAPE_SEQV2_GPIO_TRIGGERVAL", L"ESCAPE_SEQV2_MFPR_NUM",
                              L"ESCAPE_SEQV2_MFPR_ADDR", L"ESCAPE_SEQV2_MFPR_VALUE"},
                             {}}),
    SimpleRow<CCustTransferAPInfoSet>(TagValue("CITA"), L"CustTransferAPInfoSet", L"End CustTransferAPInfoSet",
                                      kNotLookedFor, kLeavesBlock, {8, 0, {L"NUM_TRANSFERTAPINFOCFGS"}, {}}),
    SimpleRow<CCustTransferAPInfo>(0, L"TRANSFER_AP_INFO", L"End_TRANSFER_AP_INFO",
                                   kNotLookedFor, kLeavesBlock, {0, 0, {L"ADDRESS", L"VALUE"}, {}}),
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

// Each rank once; a begin keyword ranks before every keyword it holds that
// is found anywhere in a line (Usb_Vendor_Request before Usb), or its lines
// would go to the other class.
constexpr bool LineMatchesInOrder()
{
    for (const ErdClassInfo& a : kErdClasses) {
        for (const ErdClassInfo& b : kErdClasses) {
            if (&a == &b || a.lineMatch.rank == 0 || b.lineMatch.rank == 0) {
                continue;
            }
            if (a.lineMatch.rank == b.lineMatch.rank) {
                return false;
            }
            const bool holdsB = std::wstring_view(a.beginKeyword).find(b.beginKeyword) != std::wstring_view::npos;
            const bool shadowed = holdsB && !b.lineMatch.wholeLine;
            if (shadowed && a.lineMatch.rank > b.lineMatch.rank) {
                return false;
            }
        }
    }
    return true;
}
static_assert(LineMatchesInOrder(), "every rank once, a keyword before the keywords it holds");

// The rows the block reader tries, in rank order.
struct LineOrder {
    std::array<const ErdClassInfo*, kErdClassCount> rows{};
    size_t count = 0;
};

constexpr LineOrder MakeLineOrder()
{
    LineOrder order;
    uint32_t last = 0;
    for (;;) {
        const ErdClassInfo* next = nullptr;
        for (const ErdClassInfo& row : kErdClasses) {
            if (row.lineMatch.rank > last && (next == nullptr || row.lineMatch.rank < next->lineMatch.rank)) {
                next = &row;
            }
        }
        if (next == nullptr) {
            return order;
        }
        order.rows[order.count++] = next;
        last = next->lineMatch.rank;
    }
}

constexpr LineOrder kLineOrder = MakeLineOrder();

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

const ErdClassInfo* FindErdClassOfLine(const std::wstring& line)
{
    for (size_t i = 0; i < kLineOrder.count; ++i) {
        const ErdClassInfo& row = *kLineOrder.rows[i];
        const std::wstring& keyword = Keywords().begin[row.typeId - kErdFirstTypeId];
        if (row.lineMatch.wholeLine ? line == keyword : layout::Contains(line, keyword)) {
            return &row;
        }
    }
    return nullptr;
}

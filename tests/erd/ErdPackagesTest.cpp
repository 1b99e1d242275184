// The package classes through their common interface: keywords, sizes and
// the words they add to a reserved-data package, and their copies.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "erd/ConsumerId.h"
#include "erd/ErdBase.h"
#include "erd/ErdClassTable.h"
#include "erd/ImageMaps.h"
#include "erd/ReservedPackageData.h"
#include "erd/SetPackages.h"
#include "erd/SimplePackages.h"

namespace {

// Packages are assigned only within their own class: through a base
// reference an assignment could mix field lists and children of two kinds.
static_assert(!std::is_assignable_v<CErdBase&, const CErdBase&>);
static_assert(!std::is_assignable_v<CSimplePackage&, const CSimplePackage&>);
static_assert(!std::is_assignable_v<CUart&, const CUsb&>);
static_assert(!std::is_assignable_v<CGpioSet&, const CTBRXferSet&>);
static_assert(std::is_copy_assignable_v<CGpioSet> && std::is_copy_constructible_v<CGpioSet>);

using Words = std::vector<std::pair<std::wstring, std::wstring>>;  // value, comment

Words WordsOf(const CReservedPackageData& package)
{
    Words words;
    auto comment = package.m_DataComments.begin();
    for (const std::wstring& value : package.m_DataList) {
        words.emplace_back(value, comment == package.m_DataComments.end() ? L"(none)" : *comment++);
    }
    return words;
}

struct Packed {
    std::wstring id;
    Words words;
    uint32_t result;
};

Packed Pack(const CErdBase& package)
{
    CReservedPackageData data;
    Packed packed;
    packed.result = package.AddToPackage(data);
    packed.id = data.m_PackageId;
    packed.words = WordsOf(data);
    return packed;
}

// What a new package of each class holds and adds to its package; its
// class, keywords and identifier come from the shared class table.
struct ClassCase {
    uint32_t typeId;
    std::vector<std::wstring> fieldNames;
    uint32_t size;
    Words words;
    uint32_t result;
};

const std::vector<ClassCase>& ClassCases()
{
    static const std::vector<ClassCase> cases = {
        {100, {L"AUTOBIND"}, 12, {{L"0", L"AUTOBIND"}}, 12},
        {101, {L"ESCAPE_SEQ_TIMEOUT_MS"}, 12, {{L"0", L"ESCAPE_SEQ_TIMEOUT_MS"}}, 12},
        {102, {L"NUM_GPIOS"}, 12, {{L"0", L"NUM_GPIOS"}}, 12},
        {103, {L"ADDRESS", L"VALUE"}, 8, {{L"0", L"ADDRESS"}, {L"0", L"VALUE"}}, 8},
        {104, {L"IMAGE_ADDRESS"}, 12, {{L"0", L"IMAGE_ADDRESS"}}, 12},
        {105, {L"RESUME_DDR_ADDRESS", L"RESUME_DDR_PARAM", L"RESUME_DDR_FLAG"}, 20,
         {{L"0", L"RESUME_DDR_ADDR"}, {L"0", L"RESUME_DDR_PARAM"}, {L"0", L"RESUME_DDR_FLAG"}}, 20},
        {106, {L"XFER_LOC", L"NUM_DATA_PAIRS"}, 16, {{L"0", L"XFER_LOC"}, {L"0", L"NUM_DATA_PAIRS"}}, 16},
        {107, {L"DATA_ID", L"LOCATION"}, 8, {{L"0", L"DATA_ID"}, {L"0", L"LOCATION"}}, 8},
        {108, {L"PORT", L"ENABLED"}, 16, {{L"0", L"PORT"}, {L"0", L"ENABLED"}}, 16},
        {109, {L"PORT", L"ENABLED"}, 16, {{L"0", L"PORT"}, {L"0", L"ENABLED"}}, 16},
        {110, {L"REQUEST_TYPE", L"REQUEST", L"VALUE", L"INDEX", L"LENGTH", L"DATA"}, 16,
         {{L"0x00000000", L"wVALUE, bREQUEST, bREQUEST_TYPE"}, {L"0x00000000", L"wLENGTH, wINDEX"}}, 16},
        {111, {L"CID", L"PID"}, 8, {{L"0x00000030", L"0"}, {L"0x00000000", L"num PIDs"}}, 16},
        {118, {L"CORE ID", L"ADDRESS_MAPPING"}, 16, {{L"0", L"Core ID"}, {L"0", L"Address Mapping"}}, 16},
        {121, {L"BBMT_TYPE"}, 12, {{L"0", L"BBMT Type"}}, 12},
        {122, {L"NUM_MAPS"}, 12, {{L"0", L"NUM_MAPS"}}, 12},
        {123, {L"Image_ID", L"Image_Type", L"Flash_Address_Lo", L"Flash_Address_Hi", L"Partition", L"Enable"}, 24,
         {{L"0", L"Image_ID"},
          {L"PRIMARY", L"Type_ID"},
          {L"0xFFFFFFFF", L"Flash_Address_Lo"},
          {L"0xFFFFFFFF", L"Flash_Address_Hi"},
          {L"0", L"Partition"}},
         24},
        {124, {L"ESCAPE_SEQV2_GPIONUMBER", L"ESCAPE_SEQV2_GPIO_TRIGGERVAL", L"ESCAPE_SEQV2_MFPR_NUM",
          L"ESCAPE_SEQV2_MFPR_ADDR", L"ESCAPE_SEQV2_MFPR_VALUE"},
         28,
         {{L"0", L"ESCAPE_SEQV2_GPIONUMBER"}, {L"0", L"ESCAPE_SEQV2_GPIO_TRIGGERVAL"}, {L"0", L"ESCAPE_SEQV2_MFPR_NUM"},
          {L"0", L"ESCAPE_SEQV2_MFPR_ADDR"}, {L"0", L"ESCAPE_SEQV2_MFPR_VALUE"}},
         28},
        {125, {L"NUM_TRANSFERTAPINFOCFGS"}, 12, {{L"0", L"NUM_TRANSFERTAPINFOCFGS"}}, 12},
        {126, {L"ADDRESS", L"VALUE"}, 8, {{L"0", L"ADDRESS"}, {L"0", L"VALUE"}}, 8},
    };
    return cases;
}

const erdtest::ErdClassFacts& FactsOf(const ClassCase& c)
{
    const erdtest::ErdClassFacts* facts = erdtest::FindErdClassFacts(c.typeId);
    if (facts == nullptr) {
        ADD_FAILURE() << "no class row for type id " << c.typeId;
        return erdtest::kErdClassFacts[0];
    }
    return *facts;
}

// The identifier text a class's package gets; empty for a class without
// a fixed one.
std::wstring PackageIdText(uint32_t packageId)
{
    if (packageId == 0) {
        return L"";
    }
    wchar_t text[11];
    std::swprintf(text, std::size(text), L"0x%08X", static_cast<unsigned>(packageId));
    return text;
}

TEST(ErdPackagesTest, NewPackagesOfEveryClass)
{
    for (const ClassCase& c : ClassCases()) {
        const erdtest::ErdClassFacts& facts = FactsOf(c);
        SCOPED_TRACE(facts.name);
        const std::unique_ptr<CErdBase> package = facts.make();
        EXPECT_EQ(package->m_TypeId, c.typeId);
        EXPECT_EQ(package->BeginKeyword(), facts.begin);
        EXPECT_EQ(package->EndKeyword(), facts.end);
        EXPECT_EQ(package->m_FieldCount, c.fieldNames.size());
        EXPECT_EQ(package->m_FieldNames, c.fieldNames);
        EXPECT_EQ(package->m_FieldComments, std::vector<std::wstring>(c.fieldNames.size()));
        EXPECT_EQ(package->Size(), c.size);
        const Packed packed = Pack(*package);
        EXPECT_EQ(packed.id, PackageIdText(facts.packageId));
        EXPECT_EQ(packed.words, c.words);
        EXPECT_EQ(packed.result, c.result);
    }
}

TEST(ErdPackagesTest, FixedSizesIgnoreTheFieldLists)
{
    CCoreReset core;
    CBbmt bbmt;
    core.m_FieldValues.push_back(L"0x1");
    bbmt.m_FieldValues.clear();
    EXPECT_EQ(core.Size(), 16u);
    EXPECT_EQ(bbmt.Size(), 12u);
    EXPECT_EQ(Pack(bbmt).result, 12u);
}

TEST(ErdPackagesTest, UsbVendorRequestPacksItsFieldsIntoTwoWords)
{
    CUsbVendorReq request;
    request.m_FieldValues = {L"0x1C1", L"0x2", L"0x12345", L"0x10004", L"0x40", L"0x99"};
    const Words packedWords = {{L"0x234502C1", L"wVALUE, bREQUEST, bREQUEST_TYPE"},
                               {L"0x00400004", L"wLENGTH, wINDEX"}};
    Packed packed = Pack(request);
    EXPECT_EQ(packed.words, packedWords);
    EXPECT_EQ(packed.result, 16u);

    request.m_Data = {L"0x11", L"22", L"0x33"};
    packed = Pack(request);
    Words withData = packedWords;
    withData.insert(withData.end(), {{L"0x11", L"data"}, {L"22", L"data"}, {L"0x33", L"data"}});
    EXPECT_EQ(packed.words, withData);
    EXPECT_EQ(packed.result, 28u);
    EXPECT_EQ(request.Size(), 28u);

    // Its own reset drops the data and keeps the fields.
    request.Reset();
    EXPECT_TRUE(request.m_Data.empty());
    EXPECT_EQ(request.m_FieldValues[2], L"0x12345");
    EXPECT_EQ(request.m_FieldNames[2], L"VALUE");
}

std::unique_ptr<CGpio> Gpio(const wchar_t* address, const wchar_t* value)
{
    auto gpio = std::make_unique<CGpio>();
    gpio->m_FieldValues = {address, value};
    return gpio;
}

TEST(ErdPackagesTest, SetsPackTheirCountAsWrittenAndEachChild)
{
    CGpioSet set;
    set.m_FieldValues[0] = L"2";
    set.m_Children.push_back(Gpio(L"0x100", L"0x1"));
    set.m_Children.push_back(Gpio(L"0x104", L"0x0"));
    const Packed packed = Pack(set);
    EXPECT_EQ(packed.id, L"0x4750494F");
    EXPECT_EQ(packed.words, (Words{{L"2", L"NUM_GPIOS"},
                                   {L"0x100", L"ADDRESS"},
                                   {L"0x1", L"VALUE"},
                                   {L"0x104", L"ADDRESS"},
                                   {L"0x0", L"VALUE"}}));
    EXPECT_EQ(packed.result, 28u);

    // The size follows the children, not the count text.
    set.m_FieldValues[0] = L"3";
    set.m_Children.pop_back();
    EXPECT_EQ(set.Size(), 20u);

    CTBRXferSet transfers;
    transfers.m_Children.push_back(std::make_unique<CXfer>());
    transfers.m_Children.push_back(std::make_unique<CXfer>());
    EXPECT_EQ(transfers.Size(), 32u);
    CCustTransferAPInfoSet custom;
    custom.m_Children.push_back(std::make_unique<CCustTransferAPInfo>());
    custom.m_Children.push_back(std::make_unique<CCustTransferAPInfo>());
    EXPECT_EQ(custom.Size(), 28u);

    // Reset drops only the children.
    set.Reset();
    EXPECT_TRUE(set.m_Children.empty());
    EXPECT_EQ(set.m_FieldValues[0], L"3");
    EXPECT_EQ(set.m_FieldNames[0], L"NUM_GPIOS");
}

// Every class with distinct texts in its fields and, where it has them,
// children or data texts.
std::vector<std::unique_ptr<CErdBase>> FilledPackages()
{
    std::vector<std::unique_ptr<CErdBase>> packages;
    for (const ClassCase& c : ClassCases()) {
        std::unique_ptr<CErdBase> package = FactsOf(c).make();
        for (size_t i = 0; i < package->m_FieldCount; ++i) {
            package->m_FieldValues[i] = L"0x" + std::to_wstring(i + 1);
            package->m_FieldComments[i] = L"note " + std::to_wstring(i);
        }
        if (auto* gpios = dynamic_cast<CGpioSet*>(package.get())) {
            gpios->m_Children.push_back(Gpio(L"0x100", L"0x1"));
            gpios->m_Children.push_back(Gpio(L"0x104", L"0x0"));
            gpios->m_Children.push_back(Gpio(L"0x108", L"0x7"));
        }
        if (auto* transfers = dynamic_cast<CTBRXferSet*>(package.get())) {
            transfers->m_Children.push_back(std::make_unique<CXfer>());
            transfers->m_Children.back()->m_FieldValues = {L"0x5", L"0x6"};
        }
        if (auto* custom = dynamic_cast<CCustTransferAPInfoSet*>(package.get())) {
            custom->m_Children.push_back(std::make_unique<CCustTransferAPInfo>());
            custom->m_Children.back()->m_FieldValues = {L"0xA", L"0xB"};
        }
        if (auto* request = dynamic_cast<CUsbVendorReq*>(package.get())) {
            request->m_Data = {L"0x1", L"0x2"};
        }
        if (auto* consumer = dynamic_cast<CConsumerID*>(package.get())) {
            consumer->m_PIDs = {L"DDRH", L"GPIO"};
        }
        if (auto* maps = dynamic_cast<CImageMaps*>(package.get())) {
            maps->m_Children.push_back(std::make_unique<CImageMapInfo>());
            maps->m_Children.push_back(std::make_unique<CImageMapInfo>());
            maps->m_Children.back()->m_FieldValues = {L"TIMH", L"0x1", L"0x20000", L"0x0", L"0x2", L"0"};
            maps->m_FieldValues[0] = L"0x00000002";  // what a copy writes
        }
        packages.push_back(std::move(package));
    }
    return packages;
}

void ExpectSamePackage(const CErdBase& copy, const CErdBase& source)
{
    EXPECT_EQ(typeid(copy), typeid(source));
    EXPECT_EQ(copy.m_TypeId, source.m_TypeId);
    EXPECT_EQ(copy.m_FieldCount, source.m_FieldCount);
    EXPECT_EQ(copy.m_FieldNames, source.m_FieldNames);
    EXPECT_EQ(copy.m_FieldValues, source.m_FieldValues);
    EXPECT_EQ(copy.m_FieldComments, source.m_FieldComments);
    EXPECT_EQ(copy.Size(), source.Size());
    // Children and data texts show in the packed words.
    const Packed copyPacked = Pack(copy);
    const Packed sourcePacked = Pack(source);
    EXPECT_EQ(copyPacked.id, sourcePacked.id);
    EXPECT_EQ(copyPacked.words, sourcePacked.words);
}

TEST(ErdPackagesTest, CloneCopiesEveryClassWhole)
{
    for (const std::unique_ptr<CErdBase>& source : FilledPackages()) {
        SCOPED_TRACE(source->m_TypeId);
        std::unique_ptr<CErdBase> copy(source->Clone());
        ASSERT_NE(copy, nullptr);
        ExpectSamePackage(*copy, *source);

        // The source outlives its copy untouched.
        const Packed before = Pack(*source);
        copy.reset();
        EXPECT_EQ(Pack(*source).words, before.words);
    }
}

TEST(ErdPackagesTest, SetCopiesAreDeepAndAssignmentReplacesTheChildren)
{
    CGpioSet source;
    source.m_Children.push_back(Gpio(L"0x100", L"0x1"));
    source.m_Children.push_back(Gpio(L"0x104", L"0x0"));
    source.m_Children.push_back(Gpio(L"0x108", L"0x7"));

    auto copy = std::make_unique<CGpioSet>(source);
    ASSERT_EQ(copy->m_Children.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(copy->m_Children[i].get(), source.m_Children[i].get());
        EXPECT_EQ(copy->m_Children[i]->m_FieldValues, source.m_Children[i]->m_FieldValues);
    }
    copy->m_Children[0]->m_FieldValues[0] = L"changed";
    copy.reset();
    EXPECT_EQ(source.m_Children[0]->m_FieldValues[0], L"0x100");

    CGpioSet& same = source;
    source = same;
    EXPECT_EQ(source.m_Children.size(), 3u);
    EXPECT_EQ(source.m_Children[2]->m_FieldValues[1], L"0x7");

    CGpioSet empty;
    empty.m_FieldValues[0] = L"0";
    source = empty;
    EXPECT_TRUE(source.m_Children.empty());
    EXPECT_EQ(source.m_FieldValues[0], L"0");
    EXPECT_EQ(source.m_FieldNames[0], L"NUM_GPIOS");
}

TEST(ErdPackagesTest, VendorRequestAssignmentCopiesTheDataTexts)
{
    CUsbVendorReq request;
    request.m_Data = {L"0x1", L"0x2"};
    CUsbVendorReq& same = request;
    request = same;
    EXPECT_EQ(request.m_Data, (TextList{L"0x1", L"0x2"}));

    CUsbVendorReq other;
    other.m_Data = {L"0x9"};
    other.m_FieldValues[0] = L"0x5";
    request = other;
    EXPECT_EQ(request.m_Data, (TextList{L"0x9"}));
    EXPECT_EQ(request.m_FieldValues[0], L"0x5");
}

}  // namespace

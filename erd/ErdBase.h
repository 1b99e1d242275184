// The base of every extended-reserved-data package: a type id, a fixed
// number of named fields whose values stay text, and the operations every
// package kind offers (reset, parse its layout block, write it back, its
// binary size, its keywords, its 32-bit words for a reserved-data package,
// and a copy of itself).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/TimLib.h"

class CErdBase;
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

// One row of the class index, which holds one row per package class in
// type-id order (erd/ErdClasses.cpp). packageId is the four-letter
// identifier that AddToPackage gives its package; 0 where the class has no
// fixed one: a part that only adds words to its holder's package, or an
// initialisation package whose identifier comes from its PID value.
struct ErdClassInfo {
    uint32_t typeId;
    uint32_t packageId;
    const wchar_t* beginKeyword;
    const wchar_t* endKeyword;
    // A new package of the class, as its default constructor makes it.
    std::unique_ptr<CErdBase> (*make)();
};

// The row of a type id; null outside the known range.
const ErdClassInfo* FindErdClass(uint32_t typeId);

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
    // Whether Parse reads the lines of the package's block; false for the
    // default, which leaves them to the caller.
    virtual bool ReadsBlock() const;
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

    // A copy made by the package's own class's copy constructor; every
    // class gets it from CErdClass.
    virtual std::unique_ptr<CErdBase> Clone() const = 0;

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

// The base every package class derives through: it names the class's type
// id once, for the class index and the constructors, and gives the class
// its own Clone. Base is the class's own base (CErdBase or one of its
// shared kinds), whose constructors it passes on.
template <class Derived, uint32_t TypeId, class Base = CErdBase>
class CErdClass : public Base {
public:
    static constexpr uint32_t kTypeId = TypeId;

    std::unique_ptr<CErdBase> Clone() const override
    {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }

protected:
    // For the bases that take the type id alone.
    CErdClass() : Base(TypeId) {}
    using Base::Base;
};

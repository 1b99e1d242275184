// The base of every extended-reserved-data package: a type id, a fixed
// number of named fields whose values stay text, and the operations every
// package kind offers (reset, parse its layout block, write it back, its
// binary size, its keywords, its 32-bit words for a reserved-data package,
// and a copy of itself).
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
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

// The fields of a class built on CSimplePackage (erd/SimplePackages.h): their
// names and the comment of each packed word (null: the field's name is its
// comment), the header bytes (8 for a package of its own, 0 for a set's
// child) and a fixed size (0: the size follows the number of values).
struct ErdFields {
    uint32_t headerBytes;
    uint32_t fixedSize;
    std::array<const wchar_t*, 6> names;
    std::array<const wchar_t*, 6> comments;
};

// How the reader of the layout's extended-reserved-data block finds a
// package of the class on a line. It tries the classes in rank order, 1
// first, and takes the first whose begin keyword the line holds (the whole
// line, with wholeLine). Rank 0: the class is never looked for there, as a
// part that stands inside another package's block or a class the reader
// does not make.
struct ErdLineMatch {
    uint32_t rank;
    bool wholeLine;
};

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
    ErdLineMatch lineMatch;
    // Whether the class's packages read the lines of their block (and
    // write it back); the block reader passes a closing line that names a
    // class which does not. The initialisation packages and operation
    // lists go by it.
    bool readsBlock;
    // All names null for a class not built on CSimplePackage.
    ErdFields fields;
    // A new package of the class, as its default constructor makes it.
    std::unique_ptr<CErdBase> (*make)();
};

// The row of a type id; null outside the known range.
const ErdClassInfo* FindErdClass(uint32_t typeId);
// The row of the class the block reader takes line for, by the classes'
// line matches; null when the line names none.
const ErdClassInfo* FindErdClassOfLine(const std::wstring& line);

class CErdBase : public CTimLib {
public:
    // Stores both numbers and gives every field an empty name, the value "0"
    // and an empty comment; the derived constructor then names the fields.
    explicit CErdBase(uint32_t typeId, uint32_t fieldCount = 0);
    ~CErdBase() override;

    // Recreates the three field lists with m_FieldCount entries: names
    // empty, values "0", comments empty. Containers override it to drop
    // their children instead.
    virtual void Reset();
    // Reads the package's block from stream, which stands after the line
    // that opened it (line is a copy of that line). The default reads
    // nothing and succeeds.
    virtual bool Parse(std::wistream& stream, std::wstring line);
    // Whether Parse reads the lines of the package's block, as the type
    // id's row in the class index says; false for a type id outside it.
    bool ReadsBlock() const;
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
// shared kinds); its constructors take the type id first, and CErdClass
// passes it on with whatever the class gives besides.
template <class Derived, uint32_t TypeId, class Base = CErdBase>
class CErdClass : public Base {
public:
    static_assert(TypeId >= kErdFirstTypeId && TypeId <= kErdLastTypeId, "every class has a row in the class index");
    static constexpr uint32_t kTypeId = TypeId;

    std::unique_ptr<CErdBase> Clone() const override
    {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }

protected:
    CErdClass() : Base(TypeId) {}
    // A package is never an argument: copies go through the copy
    // constructor.
    template <class Arg, class = std::enable_if_t<!std::is_base_of_v<CErdBase, std::decay_t<Arg>>>>
    explicit CErdClass(Arg&& arg) : Base(TypeId, std::forward<Arg>(arg))
    {
    }
};

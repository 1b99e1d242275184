// The packages that carry a fixed list of named settings and nothing else,
// and the base they share with the two-field children of the sets. Each
// class's row in the class index (erd/ErdClasses.cpp) names its fields, the
// comment of each packed word and the size rule.
#pragma once

#include <cstdint>

#include "common/TimLib.h"
#include "erd/ErdBase.h"

// A package whose words are its field values in field order, each under the
// data comment of its row; the identifier is the class index's, when the
// class has one.
class CSimplePackage : public CErdBase {
public:
    // The row's fixed size, else its header bytes plus one word per value.
    uint32_t Size() const override;
    uint32_t AddToPackage(CReservedPackageData& package) const override;

protected:
    // Names the fields from the type id's row of the class index; values
    // "0", comments empty.
    explicit CSimplePackage(uint32_t typeId);
    CSimplePackage(const CSimplePackage& other) = default;
    CSimplePackage& operator=(const CSimplePackage& other) = default;

    // The class index's identifier of the type id; 0 where there is none.
    uint32_t PackageId() const;
    // Gives the package the class's identifier and appends the field words.
    void AddFieldWords(CReservedPackageData& package) const;

private:
    const ErdFields* m_Fields;
};

class CAutoBind final : public CErdClass<CAutoBind, kErdAutoBind, CSimplePackage> {};
class CEscapeSeq final : public CErdClass<CEscapeSeq, kErdEscapeSeq, CSimplePackage> {};
class CEscapeSeqV2 final : public CErdClass<CEscapeSeqV2, kErdEscapeSeqV2, CSimplePackage> {};
class CResume final : public CErdClass<CResume, kErdResume, CSimplePackage> {};
class CResumeDdr final : public CErdClass<CResumeDdr, kErdResumeDdr, CSimplePackage> {};
class CUart final : public CErdClass<CUart, kErdUart, CSimplePackage> {};
class CUsb final : public CErdClass<CUsb, kErdUsb, CSimplePackage> {};
class CCoreReset final : public CErdClass<CCoreReset, kErdCoreReset, CSimplePackage> {};
class CBbmt final : public CErdClass<CBbmt, kErdBbmt, CSimplePackage> {};

// A vendor request: its six fields pack into two words, followed by the
// data texts, one word each.
class CUsbVendorReq final : public CErdClass<CUsbVendorReq, kErdUsbVendorReq, CSimplePackage> {
public:
    // Drops the data texts; the fields stay.
    void Reset() override;
    uint32_t Size() const override;
    uint32_t AddToPackage(CReservedPackageData& package) const override;

    TextList m_Data;
};

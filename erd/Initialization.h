// The initialisation packages: GPP, DDR, vendor DDR and trust-zone
// initialisation. Each holds its PID as text, one operation list and one
// instruction block, and hands the sub-blocks of its layout block to them.
// Its words are NumOps, NumInst, the operations' words and the
// instructions' words, under a package id taken from the PID as a tag.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

#include "erd/ErdBase.h"
#include "erd/Instructions.h"
#include "erd/Operations.h"

// How a package reads and writes its layout block.
struct InitializationRules {
    const wchar_t* fieldName;        // the PID line's name
    // The text that opens the operation sub-block; null for the operation
    // list's own begin keyword.
    const wchar_t* operationsStart;
    // A failing sub-block fails the package; otherwise the package reads
    // on and passes over the sub-blocks' end lines that a failure left.
    bool strict;
    bool hexPid;                     // a PID without "0x" or "0X" gets "0x" in front
};

template <class Operations>
class CInitializationPackage : public CErdBase {
public:
    // With the class's begin keyword in line, reads the block up to the end
    // keyword: the PID line and the operation and instruction sub-blocks.
    bool Parse(std::wistream& stream, std::wstring line) override;
    // The block as Parse reads it; always true.
    bool Write(std::wostream& stream, bool flag) override;
    // NumOps and NumInst, the package header, and the members' bytes.
    uint32_t Size() const override;
    uint32_t AddToPackage(CReservedPackageData& package) const override;

    // Mutable: the vendor package's begin keyword gives a bare PID its "0x".
    mutable std::wstring m_PidValue;
    Operations m_Ops;
    CInstructions m_Insts;

protected:
    CInitializationPackage(uint32_t typeId, const InitializationRules& rules);
    CInitializationPackage(const CInitializationPackage& other) = default;
    CInitializationPackage& operator=(const CInitializationPackage& other) = default;
    ~CInitializationPackage() override;

private:
    const InitializationRules* m_Rules;
};

extern template class CInitializationPackage<CGPPOperations>;
extern template class CInitializationPackage<CDDROperations>;
extern template class CInitializationPackage<CTzOperations>;

class CGPPInitialization final
    : public CErdClass<CGPPInitialization, kErdGppInitialization, CInitializationPackage<CGPPOperations>> {
public:
    CGPPInitialization();
};

class CDDRInitialization final
    : public CErdClass<CDDRInitialization, kErdDdrInitialization, CInitializationPackage<CDDROperations>> {
public:
    CDDRInitialization();
};

// Reads and writes its block under "Vendor_DDR_Initialization", but names
// itself after the memory vendor in bits 8 to 15 of its PID.
class CVendorDDRInitialization final
    : public CErdClass<CVendorDDRInitialization, kErdVendorDdrInitialization, CInitializationPackage<CDDROperations>> {
public:
    CVendorDDRInitialization();
    // "<vendor>_DDR_Initialization", "_DDR_Initialization" for an id no
    // vendor bears; a PID without "0x" or "0X" gets "0x" in front first.
    const std::wstring& BeginKeyword() const override;

private:
    mutable std::wstring m_VendorKeyword;
};

// Reads and writes nothing: the lines of its block go back to the caller.
class CTzInitialization final
    : public CErdClass<CTzInitialization, kErdTzInitialization, CInitializationPackage<CTzOperations>> {
public:
    CTzInitialization();
};

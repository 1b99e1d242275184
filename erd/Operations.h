// The operation lists of the initialisation packages: named 32-bit settings
// ("DDR_INIT_ENABLE = 1"), one per layout line, each emitted as its id word
// and its value word. Three families share one list template; they differ
// in their definitions, type id and keywords, and the trust-zone list
// neither reads nor writes its block.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "common/TimLib.h"
#include "erd/Definitions.h"
#include "erd/ErdBase.h"

// One named setting and its value.
class COperation : public CTimLib {
public:
    explicit COperation(const OperationDefinition& definition);

    // "DDR_INIT_ENABLE = 0x00000001" and a line feed; the flag is not used.
    // Always true.
    bool Write(std::wostream& stream, bool flag) const;

    uint32_t m_OperationId;
    std::wstring m_Name;
    uint32_t m_Value = 0;
};

// An operation of the family whose vocabulary is Definitions.
template <const auto& Definitions>
class CFamilyOperation : public COperation {
public:
    using COperation::COperation;
    static const OperationDefinition* Find(const std::wstring& name) { return FindDefinition(Definitions, name); }
};

using CDDROperation = CFamilyOperation<kDdrOperationDefinitions>;
using CGPPOperation = CFamilyOperation<kGppOperationDefinitions>;
using CTzOperation = CFamilyOperation<kTzOperationDefinitions>;

template <class Operation>
class COperationList : public CErdBase {
public:
    // Drops every operation.
    void Reset() override;
    // Reads "name = value" lines up to the end keyword when line holds the
    // begin keyword. False at once for a line that is not name = value (a
    // comment line, or a last line of blanks without a line feed, too) or a
    // name the family does not know; the operations
    // read so far stay. The value is the whole text after '=', a trailing
    // comment included.
    bool Parse(std::wistream& stream, std::wstring line) override;
    bool Write(std::wostream& stream, bool flag) override;
    // Two words per operation.
    uint32_t Size() const override;
    uint32_t AddToPackage(CReservedPackageData& package) const override;
    uint32_t GetNumOps() const { return static_cast<uint32_t>(m_Operations.size()); }

    std::vector<Operation> m_Operations;

protected:
    explicit COperationList(uint32_t typeId);
    COperationList(const COperationList& other) = default;
    COperationList& operator=(const COperationList& other) = default;
    ~COperationList() override;
};

extern template class COperationList<CDDROperation>;
extern template class COperationList<CGPPOperation>;
extern template class COperationList<CTzOperation>;

class CDDROperations final : public CErdClass<CDDROperations, kErdDdrOperations, COperationList<CDDROperation>> {};
class CGPPOperations final : public CErdClass<CGPPOperations, kErdGppOperations, COperationList<CGPPOperation>> {};
class CTzOperations final : public CErdClass<CTzOperations, kErdTzOperations, COperationList<CTzOperation>> {};

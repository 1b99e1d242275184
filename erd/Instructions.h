// The register script of an initialisation package: one instruction per
// layout line ("WRITE = <0x1000, 0x1> ; comment"), written back as text,
// sized and emitted as 32-bit words. The two table pseudo-instructions
// PP_TABLEHEADER and PP_WRITE expand into three WRITEs each.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "common/TimLib.h"
#include "erd/Definitions.h"
#include "erd/ErdBase.h"

class CInstruction : public CTimLib {
public:
    // The definition's opcode, mnemonic and parameter names; values 0, no
    // comment.
    explicit CInstruction(const InstructionDefinition& definition);

    // "WRITE = <0x00001000,0x00000001> " or, with a comment,
    // "WRITE = <0x00000001,0x00000002>    ; set clock"; a line feed ends it.
    // The flag is not used. Always true.
    virtual bool Write(std::wostream& stream, bool flag) const;

    uint32_t m_Opcode;
    std::wstring m_Name;
    uint32_t m_NumParams;
    std::array<std::wstring, kMaxInstructionParams> m_ParamNames;
    std::array<uint32_t, kMaxInstructionParams> m_Values{};
    std::wstring m_Comment;
};

class CInstructions final : public CErdClass<CInstructions, kErdInstructions> {
public:
    CInstructions();
    CInstructions(const CInstructions& other);
    CInstructions& operator=(const CInstructions& other);
    ~CInstructions() override;

    // Drops every instruction.
    void Reset() override;
    // Reads the lines up to "End_Instructions" when line holds
    // "Instructions". False at once for an unknown mnemonic, and at the end
    // when only one of PP_TABLEHEADER and PP_WRITE appeared in the block
    // (on any line, comments included). A value list without its angle
    // brackets throws std::out_of_range.
    bool Parse(std::wistream& stream, std::wstring line) override;
    bool Write(std::wostream& stream, bool flag) override;
    // Bytes the instructions add to their package: an opcode word plus one
    // word per parameter, 36 for a PP_WRITE that has a table header to
    // expand against, nothing for a PP_TABLEHEADER.
    uint32_t Size() const override;
    // The instruction count of the emitted words, counted as Size counts.
    uint32_t GetNumInst() const;
    // Appends the words; a PP_WRITE becomes three WRITEs of its values to
    // the addresses the table header in force holds.
    uint32_t AddToPackage(CReservedPackageData& package) const override;

    std::vector<CInstruction> m_Instructions;

private:
    static constexpr size_t kNoTableHeader = static_cast<size_t>(-1);

    // Index of the list's first PP_TABLEHEADER, or kNoTableHeader.
    size_t FirstTableHeader() const;

    // Index of the PP_TABLEHEADER in force while the words are emitted; it
    // stays from one AddToPackage to the next and is dropped whenever the
    // list is replaced.
    mutable size_t m_TableHeader = kNoTableHeader;
};

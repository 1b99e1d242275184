// The fixed vocabularies of the initialisation packages: the instructions
// of their register scripts (opcode, mnemonic, parameter names) and the
// named operations of each family. Lookups take the first row whose name
// matches exactly (case-sensitive), so the row order is the lookup order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

// The first row of the table whose name equals name, or null.
template <class Row, size_t N>
const Row* FindDefinition(const Row (&rows)[N], const std::wstring& name)
{
    for (const Row& row : rows) {
        if (name == row.name) {
            return &row;
        }
    }
    return nullptr;
}

inline constexpr size_t kMaxInstructionParams = 5;

struct InstructionDefinition {
    uint32_t opcode;
    const wchar_t* name;
    uint32_t numParams;
    // Null beyond numParams. The names are the comments of the emitted words.
    const wchar_t* paramNames[kMaxInstructionParams];
};

inline constexpr uint32_t kPpWriteOpcode = 10001;
inline constexpr uint32_t kPpTableHeaderOpcode = 10002;
inline constexpr wchar_t kPpWriteName[] = L"PP_WRITE";
inline constexpr wchar_t kPpTableHeaderName[] = L"PP_TABLEHEADER";

// "TimeOut Value" (4, 5) and "TimeoutValue" (9) differ on purpose, and
// opcode 34 names its source first.
inline constexpr InstructionDefinition kInstructionDefinitions[] = {
    {0, L"NOP", 0, {}},
    {1, L"WRITE", 2, {L"Address", L"Value"}},
    {2, L"READ", 2, {L"Address", L"Number of Reads"}},
    {3, L"DELAY", 1, {L"Value"}},
    {4, L"WAIT_FOR_BIT_SET", 3, {L"Address", L"Mask", L"TimeOut Value"}},
    {5, L"WAIT_FOR_BIT_CLEAR", 3, {L"Address", L"Mask", L"TimeOut Value"}},
    {6, L"AND_VAL", 2, {L"Address", L"Value"}},
    {7, L"OR_VAL", 2, {L"Address", L"Value"}},
    {8, L"SET_BITFIELD", 3, {L"Address", L"Mask", L"Value"}},
    {9, L"WAIT_FOR_BIT_PATTERN", 4, {L"Address", L"Mask", L"Value", L"TimeoutValue"}},
    {10, L"TEST_IF_ZERO_AND_SET", 5, {L"TestAddress", L"TestMask", L"SetAddress", L"SetMask", L"SetValue"}},
    {11, L"TEST_IF_NOT_ZERO_AND_SET", 5, {L"TestAddress", L"TestMask", L"SetAddress", L"SetMask", L"SetValue"}},
    {12, L"LOAD_SM_ADDR", 2, {L"ScratchMemory", L"Address"}},
    {13, L"LOAD_SM_VAL", 2, {L"ScratchMemory", L"Value"}},
    {14, L"STORE_SM_ADDR", 2, {L"ScratchMemory", L"Address"}},
    {15, L"MOV_SM_SM", 2, {L"DestScratchMemory", L"SrcScratchMemory"}},
    {16, L"RSHIFT_SM_VAL", 2, {L"ScratchMemory", L"Value"}},
    {17, L"LSHIFT_SM_VAL", 2, {L"ScratchMemory", L"Value"}},
    {18, L"AND_SM_VAL", 2, {L"ScratchMemory", L"Value"}},
    {19, L"OR_SM_VAL", 2, {L"ScratchMemory", L"Value"}},
    {20, L"OR_SM_SM", 2, {L"DestScratchMemory", L"SrcScratchMemory"}},
    {21, L"AND_SM_SM", 2, {L"DestScratchMemory", L"SrcScratchMemory"}},
    {22, L"TEST_SM_IF_ZERO_AND_SET", 5,
     {L"TestScratchMemoryID", L"TestMask", L"SetScratchMemoryID", L"SetMask", L"SetValue"}},
    {23, L"TEST_SM_IF_NOT_ZERO_AND_SET", 5,
     {L"TestScratchMemoryID", L"TestMask", L"SetScratchMemoryID", L"SetMask", L"SetValue"}},
    {24, L"LABEL", 1, {L"Label"}},
    {25, L"TEST_ADDR_AND_BRANCH", 5, {L"TestAddress", L"TestMask", L"TestValue", L"Operation", L"BranchLabel"}},
    {26, L"TEST_SM_AND_BRANCH", 5, {L"ScratchMemoryID", L"Mask", L"Value", L"Operation", L"BranchLabel"}},
    {27, L"BRANCH", 1, {L"Label"}},
    {28, L"END", 0, {}},
    {29, L"ADD_SM_VAL", 2, {L"ScratchMemoryID", L"Value"}},
    {30, L"ADD_SM_SM", 2, {L"DestScratchMemoryID", L"SrcScratchMemoryID"}},
    {31, L"SUB_SM_VAL", 2, {L"ScratchMemoryID", L"Value"}},
    {32, L"SUB_SM_SM", 2, {L"DestScratchMemoryID", L"SrcScratchMemoryID"}},
    {33, L"LOAD_SM_FROM_ADDR_IN_SM", 2, {L"DestScratchMemoryID", L"SrcScratchMemoryID"}},
    {34, L"STORE_SM_TO_ADDR_IN_SM", 2, {L"SrcScratchMemoryID", L"DestScratchMemoryID"}},
    {kPpWriteOpcode, kPpWriteName, 3, {L"Offset", L"Value", L"Index"}},
    {kPpTableHeaderOpcode, kPpTableHeaderName, 3, {L"Offset", L"Value", L"Index"}},
};

namespace erd_detail {
// Every row names exactly its parameters.
constexpr bool RowsNameTheirParameters()
{
    for (const InstructionDefinition& row : kInstructionDefinitions) {
        if (row.numParams > kMaxInstructionParams) {
            return false;
        }
        for (size_t i = 0; i < kMaxInstructionParams; ++i) {
            if ((row.paramNames[i] != nullptr) != (i < row.numParams)) {
                return false;
            }
        }
    }
    return true;
}
}  // namespace erd_detail
static_assert(std::size(kInstructionDefinitions) == 37);
static_assert(erd_detail::RowsNameTheirParameters());

struct OperationDefinition {
    uint32_t id;
    const wchar_t* name;
};

inline constexpr OperationDefinition kDdrOperationDefinitions[] = {
    {0, L"NOP"},
    {1, L"DDR_INIT_ENABLE"},
    {2, L"DDR_MEMTEST_ENABLE"},
    {3, L"DDR_MEMTEST_START_ADDR"},
    {4, L"DDR_MEMTEST_SIZE"},
    {5, L"DDR_INIT_LOOP_COUNT"},
    {6, L"DDR_IGNORE_INST_TO"},
};

// The GPP family shares the DDR code for ignoring instruction time-outs.
inline constexpr OperationDefinition kGppOperationDefinitions[] = {
    {0, L"NOP"},
    {6, L"GPP_IGNORE_INST_TO"},
};

inline constexpr OperationDefinition kTzOperationDefinitions[] = {
    {0, L"NOP"},
    {1, L"TZ_CONFIG_ENABLE"},
};

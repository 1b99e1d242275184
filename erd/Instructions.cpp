#include "erd/Instructions.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "common/LayoutLines.h"
#include "common/platform/Format.h"
#include "erd/LayoutText.h"
#include "erd/ReservedPackageData.h"

namespace {

// What a PP_WRITE expands into.
constexpr const InstructionDefinition& kWrite = kInstructionDefinitions[1];
static_assert(kInstructionDefinitions[1].opcode == 1);

// Value i comes from item i of the comma-separated list; a short list
// repeats its last item and surplus items are ignored.
void ReadValues(const std::wstring& list, CInstruction& instruction)
{
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(L',', start);
        items.push_back(list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    for (uint32_t i = 0; i < instruction.m_NumParams; ++i) {
        instruction.m_Values[i] = CTimLib::ParseUInt32(items[std::min<size_t>(i, items.size() - 1)]);
    }
}

struct EmittedCount {
    uint32_t instructions = 0;
    uint32_t words = 0;
};

// What AddToPackage emits for the list: nothing for a PP_TABLEHEADER; for a
// PP_WRITE one WRITE of three words per parameter, or nothing when the list
// holds no header to expand against; for any other instruction its opcode
// and one word per parameter.
EmittedCount Emitted(const std::vector<CInstruction>& instructions)
{
    const bool expandable = std::any_of(instructions.begin(), instructions.end(), [](const CInstruction& i) {
        return i.m_Opcode == kPpTableHeaderOpcode;
    });
    EmittedCount count;
    for (const CInstruction& instruction : instructions) {
        if (instruction.m_Opcode == kPpWriteOpcode) {
            if (expandable) {
                count.instructions += instruction.m_NumParams;
                count.words += 3 * instruction.m_NumParams;
            }
        } else if (instruction.m_Opcode != kPpTableHeaderOpcode) {
            count.instructions += 1;
            count.words += 1 + instruction.m_NumParams;
        }
    }
    return count;
}

}  // namespace

CInstruction::CInstruction(const InstructionDefinition& definition)
    : m_Opcode(definition.opcode), m_Name(definition.name), m_NumParams(definition.numParams)
{
    for (uint32_t i = 0; i < m_NumParams; ++i) {
        m_ParamNames[i] = definition.paramNames[i];
    }
}

bool CInstruction::Write(std::wostream& stream, bool /*flag*/) const
{
    std::wstring values;
    for (uint32_t i = 0; i < m_NumParams; ++i) {
        if (i > 0) {
            values += L',';
        }
        values += FormatHex32(m_Values[i]);
    }
    // The whole line goes out however long it is: a cut line would lose its
    // line feed and run into the next one.
    erd::WriteText(stream, m_Comment.empty() ? platform::Format(L"%s = <%s> \n", m_Name, values)
                                              : platform::Format(L"%s = <%s>    ;%s\n", m_Name, values, m_Comment));
    return true;
}

CInstructions::CInstructions() = default;

CInstructions::CInstructions(const CInstructions& other) : CErdClass(other), m_Instructions(other.m_Instructions) {}

CInstructions& CInstructions::operator=(const CInstructions& other)
{
    if (this != &other) {
        CErdBase::operator=(other);
        m_Instructions = other.m_Instructions;
        m_TableHeader = kNoTableHeader;
    }
    return *this;
}

CInstructions::~CInstructions() = default;

void CInstructions::Reset()
{
    CErdBase::Reset();
    m_Instructions.clear();
    m_TableHeader = kNoTableHeader;
}

bool CInstructions::Parse(std::wistream& stream, std::wstring line)
{
    if (!erd::Contains(line, BeginKeyword())) {
        return true;
    }
    bool headerSeen = false;
    bool writeSeen = false;
    while (layout::NextLine(stream, line)) {
        if (erd::Contains(line, EndKeyword())) {
            break;
        }
        std::wstring name;
        std::wstring values;
        if (!SplitNameValue(name, values, line)) {
            continue;
        }
        std::wstring comment;
        SplitAtClosingBracket(comment, values);
        RemoveAngleBrackets(values);
        // The pairing looks at the whole line, a comment included.
        headerSeen = headerSeen || erd::Contains(line, kPpTableHeaderName);
        writeSeen = writeSeen || erd::Contains(line, kPpWriteName);
        const InstructionDefinition* definition = FindDefinition(kInstructionDefinitions, name);
        if (definition == nullptr) {
            return false;
        }
        CInstruction instruction(*definition);
        ReadValues(values, instruction);
        instruction.m_Comment = comment;
        m_Instructions.push_back(std::move(instruction));
    }
    return headerSeen == writeSeen;
}

bool CInstructions::Write(std::wostream& stream, bool /*flag*/)
{
    return erd::WriteBlock(stream, BeginKeyword(), m_Instructions, EndKeyword());
}

size_t CInstructions::FirstTableHeader() const
{
    const auto first = std::find_if(m_Instructions.begin(), m_Instructions.end(),
                                    [](const CInstruction& i) { return i.m_Opcode == kPpTableHeaderOpcode; });
    return first == m_Instructions.end() ? kNoTableHeader : static_cast<size_t>(first - m_Instructions.begin());
}

uint32_t CInstructions::Size() const
{
    return 4 * Emitted(m_Instructions).words;
}

uint32_t CInstructions::GetNumInst() const
{
    return Emitted(m_Instructions).instructions;
}

uint32_t CInstructions::AddToPackage(CReservedPackageData& package) const
{
    // The list is public: a header kept from an earlier call counts only
    // while it still stands at its place.
    if (m_TableHeader >= m_Instructions.size() || m_Instructions[m_TableHeader].m_Opcode != kPpTableHeaderOpcode) {
        m_TableHeader = kNoTableHeader;
    }
    for (size_t index = 0; index < m_Instructions.size(); ++index) {
        const CInstruction& instruction = m_Instructions[index];
        if (instruction.m_Opcode == kPpTableHeaderOpcode) {
            m_TableHeader = index;
            continue;
        }
        if (instruction.m_Opcode != kPpWriteOpcode) {
            package.AddData(FormatHex32(instruction.m_Opcode), instruction.m_Name);
            for (uint32_t i = 0; i < instruction.m_NumParams; ++i) {
                package.AddData(FormatHex32(instruction.m_Values[i]), instruction.m_ParamNames[i]);
            }
            continue;
        }
        // A PP_WRITE ahead of every header takes the first one of the list.
        if (m_TableHeader == kNoTableHeader) {
            m_TableHeader = FirstTableHeader();
            if (m_TableHeader == kNoTableHeader) {
                continue;  // nothing to expand against: no words, as Size counts it
            }
        }
        const CInstruction& header = m_Instructions[m_TableHeader];
        for (uint32_t i = 0; i < instruction.m_NumParams; ++i) {
            package.AddData(FormatHex32(kWrite.opcode), kWrite.name);
            package.AddData(FormatHex32(header.m_Values[i]), header.m_ParamNames[i]);
            package.AddData(FormatHex32(instruction.m_Values[i]), instruction.m_ParamNames[i]);
        }
    }
    return Size();
}

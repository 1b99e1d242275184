// The register names of the register categories of the extended reserved
// data, per processor family. A name's position in its table is the
// register index that a "name = value" line of its category stands for, so
// the order of every list is part of the data format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class CExtendedReservedData;

// A mark of the characters a text holds, each setting one of 64 bits: a
// line that holds a name holds each of its characters, so the line's mark
// covers the name's. A line is looked up in a table of some 80 names, and
// the marks pass by most names without a search for them.
constexpr uint64_t CharacterMark(std::wstring_view text)
{
    uint64_t mark = 0;
    for (const wchar_t c : text) {
        mark |= uint64_t(1) << (static_cast<uint32_t>(c) & 63u);
    }
    return mark;
}

// The mark of the first characters of the names: a text that holds one of
// them holds its first character. An empty name stands in every text, so
// it marks every character.
constexpr uint64_t FirstCharacterMark(const std::wstring_view* names, size_t count)
{
    uint64_t mark = 0;
    for (size_t i = 0; i < count; ++i) {
        mark |= names[i].empty() ? ~uint64_t(0) : CharacterMark(names[i].substr(0, 1));
    }
    return mark;
}

// An ordered table of register names; position i names register i. A
// table views one of the constant lists and the character marks of its
// names: it is loaded for every layout read, and copying some 300 names
// each time was most of its cost.
class NameTable {
public:
    NameTable() = default;
    // marks[i] is CharacterMark(names[i]); firstMark is FirstCharacterMark
    // of the names.
    NameTable(const std::wstring_view* names, const uint64_t* marks, uint64_t firstMark, size_t count)
        : m_Names(names), m_Marks(marks), m_FirstMark(firstMark), m_Count(count)
    {
    }
    // False only when no name can stand in a text of this character mark:
    // the text holds no name's first character.
    bool AnyMayBeIn(uint64_t textMark) const { return (m_FirstMark & textMark) != 0; }
    // False only when name i cannot stand in a text of this character mark.
    bool MayBeIn(size_t i, uint64_t textMark) const { return (m_Marks[i] & ~textMark) == 0; }
    size_t size() const { return m_Count; }
    bool empty() const { return m_Count == 0; }
    std::wstring_view operator[](size_t i) const { return m_Names[i]; }
    const std::wstring_view* begin() const { return m_Names; }
    const std::wstring_view* end() const { return m_Names + m_Count; }

private:
    const std::wstring_view* m_Names = nullptr;
    const uint64_t* m_Marks = nullptr;
    uint64_t m_FirstMark = 0;
    size_t m_Count = 0;
};

// Empties the table.
void FreeNameTable(NameTable& table);

// The list loaders: each makes the table hold exactly its list.
void LoadSdramSpecNames(NameTable& table);
void LoadCmccNames(NameTable& table);

// The family loaders: each makes the tables of its family hold exactly its
// lists and empties the voltages table, which no family fills. Tables
// outside the family keep what they held.
void LoadRhevoRegisterNames(CExtendedReservedData& erd);
void LoadQuon2RegisterNames(CExtendedReservedData& erd);
void LoadQuon3RegisterNames(CExtendedReservedData& erd);
void LoadNlt104RegisterNames(CExtendedReservedData& erd);

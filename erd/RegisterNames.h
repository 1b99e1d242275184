// The register names of the register categories of the extended reserved
// data, per processor family. A name's position in its table is the
// register index that a "name = value" line of its category stands for, so
// the order of every list is part of the data format.
#pragma once

#include <cstddef>
#include <string_view>

class CExtendedReservedData;

// An ordered table of register names; position i names register i. A
// table views one of the constant lists.
class NameTable {
public:
    NameTable() = default;
    NameTable(const std::wstring_view* names, size_t count) : m_Names(names), m_Count(count) {}
    size_t size() const { return m_Count; }
    bool empty() const { return m_Count == 0; }
    std::wstring_view operator[](size_t i) const { return m_Names[i]; }
    const std::wstring_view* begin() const { return m_Names; }
    const std::wstring_view* end() const { return m_Names + m_Count; }

private:
    const std::wstring_view* m_Names = nullptr;
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

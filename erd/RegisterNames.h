// The register names of the register categories of the extended reserved
// data, per processor family. A name's position in its table is the
// register index that a "name = value" line of its category stands for, so
// the order of every list is part of the data format.
#pragma once

#include <string_view>
#include <vector>

class CExtendedReservedData;

// An ordered table of register names; position i names register i. The
// names are views of the constant lists: a table is loaded for every
// layout read, and copying some 300 names each time was most of its cost.
using NameTable = std::vector<std::wstring_view>;

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

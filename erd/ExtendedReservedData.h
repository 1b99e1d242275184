// Everything one layout file's "[Extended_Reserved_Data]" blocks hold:
// for each register category its (register index, value) records and the
// per-processor register-name tables that the indexes refer to, and the
// package objects made from the package blocks. It stays in memory; only
// its size counts towards the TIM header.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/TimLib.h"
#include "erd/ConsumerId.h"
#include "erd/ErdBase.h"
#include "erd/RegisterNames.h"

// One "register = value" line of a register category.
struct RegisterField {
    uint32_t FieldIndex = 0;  // position of the register's name in its table
    uint32_t Value = 0;
};

using RegisterList = std::vector<RegisterField>;

class CExtendedReservedData : public CTimLib {
public:
    // Fills the name tables of every family, whatever processorName is:
    // SDRAM and memory-controller names first, then Quon2, then Rhevo. A
    // table that Quon2 and Rhevo both provide is left with Rhevo's names.
    explicit CExtendedReservedData(std::wstring processorName);
    CExtendedReservedData(const CExtendedReservedData&) = delete;
    // Deep copy: records, name tables, processor name and a clone of every
    // package; assigning to itself does nothing.
    CExtendedReservedData& operator=(const CExtendedReservedData& other);
    ~CExtendedReservedData() override;

    // Replaces the name tables with those of the processor's family
    // (compared case-blind). False, every table left empty, for a
    // processor that no row names; an empty name loads only the SDRAM and
    // memory-controller names.
    bool SetProcessorType(const std::wstring& processorName);

    // Looks the line up in a name table: first the name that equals the
    // trimmed text before "=", then the first name the line contains.
    // fieldIndex is the name's position, value the number read after it (0
    // when no name is found). Comment lines never match.
    static bool FindField(const std::wstring& line, const NameTable& names, uint32_t& fieldIndex, uint32_t& value);

    // Appends a record to the category's list and marks the data changed.
    void AddField(RegisterList& list, RegisterField field);
    void AddConfigureMemoryControlField(RegisterField field);
    void AddTrustZoneField(RegisterField field);
    void AddTrustZoneRegidField(RegisterField field);
    void AddOpDivField(RegisterField field);
    void AddOpModeField(RegisterField field);

    // Whether "DDR_Custom" lines use the Rhevo family's table and list: when
    // the Rhevo DDR table is the only one loaded; when both are (before any
    // SetProcessorType), when the processor name says "NLT07x" or "NLT07X".
    bool UsesRhevoDdrCustom() const;

    // Bytes in the binary form: each non-empty register list 8 per record
    // plus an 8-byte header, every package's size, and the consumer ids
    // with one shared 12-byte header. 0 when empty.
    uint32_t Size() const;
    // Drops every record, package and consumer id and clears m_bChanged;
    // name tables and processor name stay.
    void Reset();
    void ClearNameTables();
    // Reset, then ClearNameTables.
    void ClearAll();

    NameTable m_ClockEnableNames;
    NameTable m_DdrCustomNames;
    NameTable m_DdrCustomNlt07xNames;
    NameTable m_FrequencyNames;
    NameTable m_SdramSpecNames;
    NameTable m_VoltagesNames;
    NameTable m_CmccNames;
    NameTable m_TrustZoneNames;
    NameTable m_TrustZoneRegidNames;
    NameTable m_OpDivNames;
    NameTable m_OpModeNames;

    RegisterList m_ClockEnableList;
    RegisterList m_DdrGeometryList;
    RegisterList m_DdrTimingList;
    RegisterList m_DdrCustomList;
    RegisterList m_DdrCustomNlt07xList;
    RegisterList m_FrequencyList;
    RegisterList m_VoltagesList;
    RegisterList m_CmccList;
    RegisterList m_TrustZoneList;
    RegisterList m_TrustZoneRegidList;
    RegisterList m_OpDivList;
    RegisterList m_OpModeList;

    // Every package but the consumer ids, in read order.
    std::vector<std::unique_ptr<CErdBase>> m_Packages;
    bool m_bChanged = false;
    std::wstring m_ProcessorName;
    std::vector<std::unique_ptr<CConsumerID>> m_ConsumerIds;
};

// Hands the block to package.Parse. The line is taken by value because
// Parse owns its copy of the opening line.
bool ParseErdPackage(CErdBase& package, std::wistream& stream, std::wstring line);

// Reads every "[Extended_Reserved_Data]" block of the layout file's text,
// given as a line stream, into erd, adding to what it holds. False when a
// package rejects its block; what was read before stays.
bool ParseExtendedReservedData(std::wistream& stream, CExtendedReservedData& erd);

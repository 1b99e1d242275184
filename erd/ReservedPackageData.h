// A single reserved-data package of a TIM descriptor. It is known by the
// hexadecimal text of its four-character tag, from which its display name
// follows. Its payload is a list of 32-bit word texts, each paired with a
// comment; beside them it keeps the source "name = value" lines, each with
// the comment that came after it. Copying duplicates all of it.
#pragma once
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <utility>
#include "common/TimLib.h"

class CReservedPackageData : public CTimLib {
public:
    using Field = std::pair<std::wstring, std::wstring>;

    CReservedPackageData() = default;
    CReservedPackageData(const CReservedPackageData& other) = default;
    CReservedPackageData& operator=(const CReservedPackageData&) = delete;
    ~CReservedPackageData() override;

    // Appends a data word. An empty comment gets the package's default
    // comment for the word's position (counted from 1), if it has one.
    void AddData(std::wstring value, std::wstring comment);
    void AddField(std::wstring key, std::wstring value);
    // The default comment of word wordIndex (counted from 1) for this
    // package's identifier; comment is left as it is where there is none.
    void SetDefaultComment(uint32_t wordIndex, std::wstring& comment) const;
    // Empties the words, their comments and the fields; name, identifier
    // and field comments stay.
    void Clear();
    // Stores the identifier upper-cased (a leading "0X" as "0x") and derives
    // the display name from it.
    void SetPackageId(std::wstring id);
    void SetFieldComment(std::wstring name, std::wstring comment);
    // False, leaving comment untouched, when the name has no entry;
    // otherwise comment gets the stored text and the result tells whether
    // it is non-empty.
    bool GetFieldComment(const std::wstring& name, std::wstring& comment) const;

    std::wstring m_PackageName;
    std::wstring m_PackageId;
    TextList m_DataList;
    TextList m_DataComments;
    std::list<Field> m_FieldList;
    std::map<std::wstring, std::wstring> m_FieldCommentMap;
    bool m_bChanged = false;
};

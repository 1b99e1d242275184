// Helpers for the package tests: a package's words, its written text, and
// a block of layout lines to parse.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "erd/ErdBase.h"
#include "erd/ReservedPackageData.h"

namespace erdtest {

// A data word's value text and comment.
using Word = std::pair<std::wstring, std::wstring>;
using Words = std::vector<Word>;

inline Words WordsOf(const CReservedPackageData& package)
{
    Words words;
    auto comment = package.m_DataComments.begin();
    for (const std::wstring& value : package.m_DataList) {
        words.emplace_back(value, comment != package.m_DataComments.end() ? *comment++ : L"<none>");
    }
    return words;
}

inline Words AddedWords(const CErdBase& package, uint32_t* result = nullptr)
{
    CReservedPackageData data;
    const uint32_t size = package.AddToPackage(data);
    if (result != nullptr) {
        *result = size;
    }
    return WordsOf(data);
}

inline std::wstring Written(CErdBase& package)
{
    std::wostringstream out;
    package.Write(out, false);
    return out.str();
}

// The lines joined by line feeds.
inline std::wstring Lines(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line + L"\n";
    }
    return text;
}

// What is left of the stream after a parse.
inline std::wstring Rest(std::wistream& stream)
{
    std::wstring rest;
    std::wstring line;
    while (std::getline(stream, line)) {
        rest += line + L"\n";
    }
    return rest;
}

}  // namespace erdtest

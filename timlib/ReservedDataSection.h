// The "[Reserved_Data]" blocks of a layout file: packages of 32-bit words,
// each under a tag line naming the package kind and closed by "End_" and
// the tag, one name = value line per word. CBlfParser::ParseReservedData
// reads them all into the parser's descriptor.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "erd/ReservedPackageData.h"

namespace layout {
struct LayoutText;
}

// Adds one "name = value [; comment]" line to the package: the value (up
// to the ';') as a data word with its default comment, the (name, value)
// field and, when there is a comment, the field's comment. Lines that do
// not split into name and value add nothing.
void ParseReservedDataLine(CReservedPackageData& package, const std::wstring& line);

// The value of the last line containing "Enabled" inside a package opened
// by beginTag and closed by endTag within a "[Reserved_Data]" block of the
// layout file; 0 when there is none. The file's text is text when it is
// blfPath's; otherwise the file is read. Raises CZorlixexception when the
// file cannot be read.
uint32_t GetReservedPackageEnabled(const std::wstring& blfPath, const std::wstring& beginTag, const std::wstring& endTag,
                                   std::shared_ptr<const layout::LayoutText> text = nullptr);

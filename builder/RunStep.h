// The run step: builds the package for one layout file into "kxp.bin" in
// the program's folder.
#pragma once

#include <string>

bool DoTarvokforSplitImage(const std::wstring& blfPath, const std::wstring& splitSizeText);

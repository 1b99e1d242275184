// The run and build steps: one layout file becomes "kxp.bin" in the
// program's folder.
#pragma once

#include <string>

// Where the build writes the package: "kxp.bin" in the program's folder.
std::wstring GetIntermediatePackagePath();

// Builds the package and turns every exception into a message box and a
// failed result; always resets the processing context afterwards. An
// enabled image that is the file at outputPath fails the build before
// anything is written.
bool DoTarvokforSplitImage(const std::wstring& blfPath, const std::wstring& splitSizeText,
                           const std::wstring& outputPath = std::wstring());
// One build. False after a reported failure; exceptions pass.
bool DoTarvokfileforWebUpgrade(const std::wstring& blfPath, const std::wstring& splitSizeText,
                               const std::wstring& outputPath = std::wstring());

// The run and build steps: one layout file becomes "kxp.bin" in the
// program's folder.
#pragma once

#include <string>

// "kxp.bin" in the program's folder: the output when none is given.
std::wstring GetIntermediatePackagePath();
// Where the build leaves the package for that output: "kxp.bin" in the
// program's folder, or, when the output is that very entry (also by a link
// at its end), "kxp.bin" in the AbsBlfTemp work folder, so that the old
// one stays as it was until the finished package replaces it.
std::wstring GetPackageWorkPath(const std::wstring& outputPath);

// Builds the package and turns every exception into a message box and a
// failed result; always resets the processing context afterwards. An
// enabled image that is the file at outputPath fails the build before
// anything is written.
bool DoTarvokforSplitImage(const std::wstring& blfPath, const std::wstring& splitSizeText,
                           const std::wstring& outputPath = std::wstring());
// One build. False after a reported failure; exceptions pass.
bool DoTarvokfileforWebUpgrade(const std::wstring& blfPath, const std::wstring& splitSizeText,
                               const std::wstring& outputPath = std::wstring());

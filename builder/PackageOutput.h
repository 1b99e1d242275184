// The front end's last steps: the built package is read back, stamped with
// the version, the signature entry and the differential flag, written to the
// output path and, with a key, signed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/CommandLine.h"
#include "builder/RsaKeyFile.h"

// Stamps the options into a package held in memory. False when the package
// is too small or its header offsets point outside it; nothing is written
// then. sectorSize receives the package's sector size.
bool StampPackage(std::vector<uint8_t>& package, const CommandLineOptions& options, uint32_t& sectorSize);
// The same for the first bytes of a package of packageSize bytes, which
// must hold its header sector.
bool StampPackageHeader(std::vector<uint8_t>& header, uint64_t packageSize, const CommandLineOptions& options,
                        uint32_t& sectorSize);

// True, after a message naming both, when the output path leads to the
// input file (the same file after links), which the package would replace.
// kind names the input in the message.
bool OutputIsInput(const std::wstring& outputPath, const std::wstring& inputPath, const wchar_t* kind);

// Loads the key and signs a probe with it, so that a key that cannot sign
// fails the run before anything is built or written. False after the
// loader's or signer's message and the signing failure lines.
bool LoadSigningKey(CRsaKeyFile& key);

// Stamps the package the build left at intermediatePath, signs it with the
// loaded key when one was given, and puts it at the output path. Prints
// every failure and the success line; false after a failure. The work file
// is gone afterwards, whatever happened, unless it is the output.
bool WritePackageOutput(const std::wstring& intermediatePath, const std::wstring& outputPath,
                        const CommandLineOptions& options, const CRsaKeyFile* key);

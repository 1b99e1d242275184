// Options of one run of the tool and the checks made on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Option values are held in texts of 512 characters with their terminator.
constexpr size_t kOptionTextChars = 512;
constexpr uint32_t kMinimumSplitSize = 0x20000;
// The build reads the split size in 32 bits: a wider one would wrap.
constexpr uint32_t kMaximumSplitSize = 0xFFFFFFFF;
constexpr size_t kMaxVersionChars = 12;

struct CommandLineOptions {
    std::wstring m_SplitSizeText;
    std::wstring m_KeyFilePath;
    std::wstring m_VersionText;
    std::wstring m_OutputFilePath;
    std::wstring m_BlfFilePath;
    uint8_t m_bVersionGiven = 0;
    uint8_t m_bKeyGiven = 0;
    uint8_t m_bOutputGiven = 0;
    uint32_t m_DifferentialFlag = 0;
};

void PrintUsage();

// Fills options from the arguments; prints the invalid-option line and
// returns false for an unknown letter, a value option with no value, or a
// value too long for the option texts.
bool ParseCommandLine(int argc, wchar_t** argv, CommandLineOptions& options);

// True when the text has 1 to 12 characters and its stamped bytes are at
// most 12; otherwise prints why and returns false.
bool CheckVersionText(std::wstring text);

// The version text as the bytes stamped into the package header.
std::string VersionTextBytes(const std::wstring& text);

// The "-i" text as the front end reads it for its lower-bound test: hexadecimal
// when it holds "0x" or "0X", signed decimal otherwise, 0 when unreadable.
// The build step reads the same text by the value-text rule instead.
long long ReadSplitSizeText(const std::wstring& text);

void ReverseBytes(uint8_t* begin, uint8_t* end);

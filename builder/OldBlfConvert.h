// Conversion of a layout file of the older format (keys with blanks, flash
// geometry in a separate flasher settings file, reserved data as a bare
// word list) into a new-format copy.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "common/platform/FileSystem.h"
#include "timlib/BlfParser.h"
#include "timlib/TimDescriptor.h"

// The converted copy: texts written as UTF-8, the reader's codec, with CR LF
// line ends. Once a write failed nothing more is written, and Close reports
// it.
class CConvertedFile {
public:
    CConvertedFile() = default;
    CConvertedFile(const CConvertedFile&) = delete;
    CConvertedFile& operator=(const CConvertedFile&) = delete;

    // Creates or empties the file (a file opened before is closed). False
    // when it cannot be opened.
    bool Open(const std::wstring& path);
    // Open for a work file of the run: the file is made anew
    // (platform::CreateNewFile), never written through what stood at its
    // name; what could not be removed from there is logged.
    bool Create(const std::wstring& path);
    // Writes and flushes the text while the file is good.
    void Write(const std::wstring& text);
    bool Good() const { return m_Good; }
    // False when the file was never opened, a write failed or the close did.
    bool Close();

private:
    std::optional<platform::OpenedFile> m_File;
    bool m_Good = false;  // open, and every write went out
    // The bytes of each text as written; kept from one write to the next,
    // as the image list is written one image at a time.
    std::string m_Bytes;
};

// The processing context's members that the conversion reads and fills,
// handed over so that the conversion runs on any such set.
struct OldBlfContext {
    CBlfParser& parser;
    FlashSettings& flashSettings;
    CTimDescriptor& oldBlfTimDescriptor;
    std::wstring& flasherSettingsPath;
    int32_t& numberOfBlocks0;
    uint32_t& startAddress0;
    const std::wstring& cvtBlfPath;
    const std::wstring& programFolder;
};

// The members of a conversion held in one place, for a caller without a
// processing context (the converter's tests, the fuzzer).
struct OldBlfConversion {
    OldBlfConversion(std::wstring cvtBlfPath_, std::wstring programFolder_)
        : cvtBlfPath(std::move(cvtBlfPath_)), programFolder(std::move(programFolder_))
    {
    }
    OldBlfConversion(const OldBlfConversion&) = delete;
    OldBlfConversion& operator=(const OldBlfConversion&) = delete;

    CBlfParser parser;
    FlashSettings flashSettings;
    CTimDescriptor oldBlfTimDescriptor;
    std::wstring flasherSettingsPath;
    int32_t numberOfBlocks0 = 0;
    uint32_t startAddress0 = 0;
    std::wstring cvtBlfPath;
    std::wstring programFolder;
    OldBlfContext context{parser,          flashSettings, oldBlfTimDescriptor, flasherSettingsPath,
                          numberOfBlocks0, startAddress0, cvtBlfPath,          programFolder};
};

// What a build does with the old file at blfPath, an absolute path: refuses
// a trusted file, writes the new-format copy to cvtBlfPath and parses the
// copy into the context's parser, whose image paths then start from
// blfPath's folder. False after a logged reason; lets the exceptions of the
// conversion and of the parse pass.
bool ConvertAndParseOldBlf(OldBlfContext& context, const std::wstring& blfPath, uint8_t webUpgrade);

// Whether the old file at blfPath says "Trusted = 1". Its keys and
// signature settings are not converted.
bool OldBlfIsTrusted(OldBlfContext& context, const std::wstring& blfPath);

// Translates the old file at blfPath into a new-format layout file at
// cvtBlfPath, written in this order: the header sections, then the
// erase-only areas, the reserved data, the extended reserved data and last
// the images. False after a logged reason. A missing flasher settings file
// raises CZorlixexception "file %s is not exist"; exceptions from the
// parser propagate unchanged.
bool ConvertOldBlf2New(OldBlfContext& context, const std::wstring& blfPath);

// Turns the old "[Reserved Data]" word list into the packages of the
// context's old descriptor. Size and count errors are printed and pass;
// false after a logged reason when the file cannot be read or a list with
// its header has no terminator.
bool ParseNLT07x_ReservedData(OldBlfContext& context, const std::wstring& blfPath);

// Writes the old descriptor's packages as a "[Reserved_Data]" block;
// nothing when it has none. False when the copy has not taken every write
// so far.
bool WriteReservedDataBlock(const CTimDescriptor& oldBlfTimDescriptor, CConvertedFile& out);

// Rewrites the old extended-reserved-data blocks in the new syntax, from
// the text reader holds when it is the old file's (the file is read
// otherwise). False after a logged reason when the old file cannot be
// read, and when the copy has not taken every write so far.
bool ConvertExtendedReservedDataBlock(CBlfParser& reader, const std::wstring& blfPath, CConvertedFile& out);

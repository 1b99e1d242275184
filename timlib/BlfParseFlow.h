// Reading a whole layout file into a CBlfParser, and the lookups of its
// platform code (common/ProcessorPlatforms.h) and flash type code.
#pragma once
#include <cstdint>
#include <string>
#include "timlib/BlfParser.h"

// The platform code of the layout file's processor model. False, code
// untouched, for a "V2.0.0" file whose processor no row names (other than
// the parser's own converted copy, which is judged by its older processor
// text); raises CZorlixexception "Unknown platform type" for any other
// unknown processor.
bool GetPlatFormType(int32_t& platformType, CBlfParser& parser, const std::wstring& blfPath);
// The flash type code of a flash family; raises CZorlixexception for a
// family it does not know.
bool GetFlashType(std::wstring flashFamily, int32_t& flashType);
// Reads the whole layout file into the parser. False after a printed
// failure line (or, for an old "V2.0.0" file, without one); lookup and
// section failures propagate as CZorlixexception.
bool ParseBlfFile(const std::wstring& blfPath, CBlfParser& parser, uint8_t webUpgrade);

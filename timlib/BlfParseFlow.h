// Reading a whole layout file into a CBlfParser, and the codes of the
// processor models and flash families it names.
#pragma once
#include <cstdint>
#include <string>
#include "timlib/BlfParser.h"

// A processor model that no row of the platform table names.
constexpr int32_t kUnknownPlatformType = 255;
// The platform code of a layout file of the older format.
constexpr int32_t kOldFormatPlatformType = 0;

// Platform codes from this one on read "ProductionMode" and the DTIM keys.
constexpr int32_t kFirstProductionModePlatform = 7;

// The flash type codes.
constexpr int32_t kFlashTypeNand = 0;
constexpr int32_t kFlashTypeEmmc = 1;
constexpr int32_t kFlashTypeSpiNor = 2;
constexpr int32_t kFlashTypeSpiNand = 4;
constexpr int32_t kFlashTypeUnknown = 10;

// The platform code of the layout file's processor model. False, code
// untouched, for a "V2.0.0" file whose processor no row names; raises
// CZorlixexception "Unknown platform type" for any other unknown processor.
bool GetPlatFormType(int32_t& platformType, CBlfParser& parser, const std::wstring& blfPath);
// The flash type code of a flash family; raises CZorlixexception for a
// family it does not know.
bool GetFlashType(std::wstring flashFamily, int32_t& flashType);
// Reads the whole layout file into the parser. False after a printed
// failure line (or, for an old "V2.0.0" file, without one); lookup and
// section failures propagate as CZorlixexception.
bool ParseBlfFile(const std::wstring& blfPath, CBlfParser& parser, uint8_t webUpgrade);

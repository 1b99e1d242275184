// Conversion of a layout file of the older format into a new-format copy
// at the processing context's m_CvtBlfPath.
#pragma once

#include <string>

// False after a printed reason when the file cannot be converted.
bool ConvertOldBlf2New(const std::wstring& blfPath);

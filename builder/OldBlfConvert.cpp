#include "builder/OldBlfConvert.h"

#include "common/Print.h"

// The converter is not part of this build yet: such a file is refused with
// a reason instead of being read by the rules of the newer format.
bool ConvertOldBlf2New(const std::wstring& blfPath)
{
    PrintLog(L"Layout files of the older format cannot be converted yet: %s\n", blfPath);
    return false;
}

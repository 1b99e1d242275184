#include "builder/RunStep.h"

// The package build is not in place yet. Until it is, no package is ever
// claimed: the run step reports failure and the front end says so.
bool DoTarvokforSplitImage(const std::wstring& blfPath, const std::wstring& splitSizeText)
{
    (void)blfPath;
    (void)splitSizeText;
    return false;
}

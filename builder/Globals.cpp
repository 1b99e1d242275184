// The build's global objects, in one place so that their order is fixed:
// the store first, since the processing context uses it. Making them
// touches no file: a run names and makes its work files only once it may
// build.
#include "builder/ProcessingContext.h"
#include "builder/VirtualFileStore.h"

CVirtualFileStore g_VirtualFileStore;
CProcessingContext g_ProcessingContext;

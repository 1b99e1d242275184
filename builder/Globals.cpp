// The program's two global objects, in one place so that their order is
// fixed: the processing context's constructor opens the store.
#include "builder/ProcessingContext.h"
#include "builder/VirtualFileStore.h"

CVirtualFileStore g_VirtualFileStore;
CProcessingContext g_ProcessingContext;

// The store the package-writing code writes to. The test program has no
// processing context: that would create and delete work folders beside the
// test program while other tests run.
#include "builder/VirtualFileStore.h"

CVirtualFileStore g_VirtualFileStore;
